#include "ui/settings_store.hpp"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QSettings>
#include <QSpinBox>

#include "ui/settings_page.hpp"

namespace morvik {
namespace {

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

void Check(QButtonGroup* group, int id) {
  if (QAbstractButton* b = group->button(id)) b->setChecked(true);
}

} // namespace

void ShowSettings(SettingsPage& page, const Settings& s) {
  Check(page.rgChartX, s.ChartX);
  Check(page.rgChartY, s.ChartY);
  page.debugch->setChecked(s.Debug);
  page.spFrameBorder->setValue(s.FrameBorder);
  page.spFrameBorderPX->setValue(s.FrameBorderPX);
  page.spPart4select->setValue(s.Part4select);
  page.edVariance4Comp->setText(Text(s.Variance4Comp));
  page.edNotMoreComp->setText(Text(s.NotMoreComp));
  page.spSkipLessPercFrame->setValue(s.SkipLessPercFrame);
}

void SaveDesktopState(QSettings& store, const SettingsPage& page, const QMainWindow& window) {
  Settings s;
  page.Fill(s);
  store.beginGroup(QStringLiteral("desktop"));
  store.setValue(QStringLiteral("ChartX"), s.ChartX);
  store.setValue(QStringLiteral("ChartY"), s.ChartY);
  store.setValue(QStringLiteral("Debug"), s.Debug);
  store.setValue(QStringLiteral("FrameBorder"), s.FrameBorder);
  store.setValue(QStringLiteral("FrameBorderPX"), s.FrameBorderPX);
  store.setValue(QStringLiteral("Part4select"), s.Part4select);
  store.setValue(QStringLiteral("Variance4Comp"), Text(s.Variance4Comp));
  store.setValue(QStringLiteral("NotMoreComp"), Text(s.NotMoreComp));
  store.setValue(QStringLiteral("SkipLessPercFrame"), s.SkipLessPercFrame);
  store.setValue(QStringLiteral("geometry"), window.saveGeometry());
  store.endGroup();
}

void RestoreDesktopState(const QSettings& store, SettingsPage& page, QMainWindow& window) {
  Settings s;
  page.Fill(s); // what is not stored keeps the page's value
  const QString g = QStringLiteral("desktop/");
  auto whole = [&](const char* key, int& field) { field = store.value(g + QLatin1String(key), field).toInt(); };
  whole("ChartX", s.ChartX);
  whole("ChartY", s.ChartY);
  whole("FrameBorder", s.FrameBorder);
  whole("FrameBorderPX", s.FrameBorderPX);
  whole("Part4select", s.Part4select);
  whole("SkipLessPercFrame", s.SkipLessPercFrame);
  s.Debug = store.value(g + QStringLiteral("Debug"), s.Debug).toBool();
  s.Variance4Comp = store.value(g + QStringLiteral("Variance4Comp"), Text(s.Variance4Comp)).toString().toStdString();
  s.NotMoreComp = store.value(g + QStringLiteral("NotMoreComp"), Text(s.NotMoreComp)).toString().toStdString();
  ShowSettings(page, s);
  const QByteArray geometry = store.value(g + QStringLiteral("geometry")).toByteArray();
  if (!geometry.isEmpty()) window.restoreGeometry(geometry);
}

QStringList RecentFiles(const QSettings& store) {
  QStringList files = store.value(QStringLiteral("recent/files")).toStringList();
  files.removeAll(QString());
  return files.mid(0, kRecentFiles);
}

void AddRecentFile(QSettings& store, const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  QStringList files = RecentFiles(store);
  files.removeAll(full);
  files.prepend(full);
  store.setValue(QStringLiteral("recent/files"), files.mid(0, kRecentFiles));
}

} // namespace morvik
