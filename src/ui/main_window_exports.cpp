// The main window's exports beside the program's own files: the light curve in the AAVSO
// Extended File Format and as CSV, the image and the charts as PNG or SVG, and a word in
// the log and the status bar on everything written.

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QStackedWidget>
#include <QSvgGenerator>

#include "common/files.hpp"
#include "periods/light_curve_exports.hpp"
#include "ui/chart_view.hpp"
#include "ui/log_pane.hpp"
#include "ui/main_window.hpp"
#include "ui/picture_view.hpp"
#include "workspace/frame_commands.hpp"

namespace morvik {
namespace {

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

// An SVG document that carries the picture as an embedded PNG: it opens in every SVG
// viewer and keeps the pixels exact.
QByteArray SvgOf(const QImage& image) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  const QByteArray w = QByteArray::number(image.width()), h = QByteArray::number(image.height());
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
         "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"" +
         w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + ' ' + h + "\">\n<image width=\"" + w + "\" height=\"" + h +
         "\" xlink:href=\"data:image/png;base64," + png.toBase64() + "\"/>\n</svg>\n";
}

// The chart as vector SVG: the view's own paint routine drawn onto the generator, so
// axes, ticks and points stay lines, shapes and text.
QByteArray SvgOf(const ChartView& view) {
  QByteArray svg;
  QBuffer buffer(&svg);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator generator;
  generator.setOutputDevice(&buffer);
  generator.setSize(view.size());
  generator.setViewBox(QRect(QPoint(0, 0), view.size()));
  generator.setTitle(view.Model() ? QString::fromStdString(view.Model()->title) : QString());
  QPainter painter(&generator);
  view.PaintTo(painter);
  painter.end();
  return svg;
}

} // namespace

void MainWindow::BuildExportMenus(QMenu* file) {
  menuExportAavso = file->addAction(QStringLiteral("Export Light Curve (AAVSO)..."));
  menuExportAavso->setObjectName(QStringLiteral("menuExportAavso"));
  menuExportCsv = file->addAction(QStringLiteral("Export Light Curve (CSV)..."));
  menuExportCsv->setObjectName(QStringLiteral("menuExportCsv"));
  menuExportImage = file->addAction(QStringLiteral("Export Image (PNG, SVG)..."));
  menuExportImage->setObjectName(QStringLiteral("menuExportImage"));
  menuExportChart = file->addAction(QStringLiteral("Export Chart (PNG, SVG)..."));
  menuExportChart->setObjectName(QStringLiteral("menuExportChart"));
  connect(menuExportAavso, &QAction::triggered, this, [this] { ExportLightCurve(true); });
  connect(menuExportCsv, &QAction::triggered, this, [this] { ExportLightCurve(false); });
  connect(menuExportImage, &QAction::triggered, this, [this] { ExportPicture(false); });
  connect(menuExportChart, &QAction::triggered, this, [this] { ExportPicture(true); });
}

void MainWindow::ReportWritten(const QString& what, const QString& path, bool ok) {
  if (path.isEmpty()) return;
  if (ok) {
    ws_->log.Add(what.toStdString() + " written to " + Local(path));
    ShowFeedback(QStringLiteral("%1 written to %2").arg(what, QFileInfo(path).fileName()));
  } else {
    ShowFeedback(QStringLiteral("%1: could not write %2").arg(what, QFileInfo(path).fileName()));
  }
  log_->Flush();
}

void MainWindow::SaveImageClick() {
  std::string written;
  RunCommand(false, [&] { written = SaveImage(*ws_); });
  if (!written.empty()) ReportWritten(QStringLiteral("Image"), QFile::decodeName(written.c_str()), true);
}

int MainWindow::ExportStar() const {
  const bool shown = !ws_->LightCurveShowsPeriodogram && !ws_->LightCurve.series.empty() &&
                     ws_->LightCurve.series[kSeriesRaw].Count() > 0;
  return shown ? static_cast<int>(ws_->SelectedStar) + 1 : ws_->PickedStar;
}

void MainWindow::ExportLightCurve(bool aavso) {
  const int id = ExportStar();
  if (ws_->RunCount < 1 || !ws_->Series.HasStats() || id < 1 || id > static_cast<int>(ws_->Series.StarCount)) {
    ShowFeedback(QStringLiteral("Export Light Curve: Run first and show or pick a star"));
    return;
  }
  AavsoObserver observer;
  if (aavso) {
    // Asked once and kept: the observer code and the filter rarely change in a night.
    auto ask = [&](std::string& kept, const char* key, const QString& prompt, const QString& fallback) {
      if (kept.empty() && store_) kept = store_->value(QLatin1String(key)).toString().toStdString();
      if (!kept.empty()) return;
      kept = dialogs.inputText(this, QStringLiteral("AAVSO Export"), prompt, fallback).trimmed().toStdString();
      if (store_ && !kept.empty()) store_->setValue(QLatin1String(key), Text(kept));
    };
    ask(obsCode_, "aavso/obscode", QStringLiteral("Your AAVSO observer code:"), QString());
    ask(filter_, "aavso/filter", QStringLiteral("Filter (V, B, R, I, CV, TG, ...):"), QStringLiteral("V"));
    std::string& name = starNames_[id];
    if (name.empty())
      name = dialogs
                 .inputText(this, QStringLiteral("AAVSO Export"),
                            QStringLiteral("Name of star #%1 (e.g. SS CYG):").arg(id), QStringLiteral("#%1").arg(id))
                 .trimmed()
                 .toStdString();
    observer = {obsCode_, name, filter_};
  }
  const QString proposed =
      QStringLiteral("Star%1.%2").arg(id).arg(aavso ? QStringLiteral("txt") : QStringLiteral("csv"));
  const QString path = ChooseSaveFile(proposed);
  if (path.isEmpty() || !MayReplace(path)) return;
  int used = 0;
  for (const TStarStat& st : ws_->Series.Stats)
    used += st.Used ? 1 : 0;
  const std::string text =
      aavso ? AavsoExtendedText(ws_->Series, id, observer, {ws_->CompStarId, ws_->CompStarMag, used}, kProgramTitle)
            : LightCurveCsv(ws_->Series, id);
  const bool ok = WriteFileReplacing(Local(path), text);
  if (!ok) ws_->log.Add("Could not write " + Local(path));
  ReportWritten(aavso ? QStringLiteral("AAVSO light curve") : QStringLiteral("CSV light curve"), path, ok);
}

void MainWindow::ExportPicture(bool chart) {
  QImage image;
  ChartView* view = pages_->currentIndex() == kPageLightCurve ? chart2_ : chart1_;
  if (chart) {
    image = view->grab().toImage();
  } else {
    image = img_->Shown();
  }
  if (image.isNull() || (!chart && !ws_->CurrentFrame)) {
    ShowFeedback(QStringLiteral("Export: nothing is shown"));
    return;
  }
  const QString path = ChooseSaveFile(chart ? QStringLiteral("chart.png") : QStringLiteral("image.png"));
  if (path.isEmpty() || !MayReplace(path)) return;
  bool ok = false;
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    const QByteArray svg = chart ? SvgOf(*view) : SvgOf(image);
    ok = WriteFileReplacing(Local(path), std::string_view(svg.constData(), static_cast<std::size_t>(svg.size())));
  } else {
    // Written beside and renamed into place, as every export is.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ok = image.save(&buffer, "PNG") &&
         WriteFileReplacing(Local(path), std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
  }
  if (!ok) ws_->log.Add("Could not write " + Local(path));
  ReportWritten(chart ? QStringLiteral("Chart") : QStringLiteral("Image"), path, ok);
}

} // namespace morvik
