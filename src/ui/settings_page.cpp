#include "ui/settings_page.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "workspace/candidate_commands.hpp"

namespace morvik {
namespace {

QSpinBox* MakeSpin(const char* name, SpinRange range, int value) {
  auto* spin = new QSpinBox;
  spin->setObjectName(QString::fromLatin1(name));
  spin->setRange(range.min, range.max);
  spin->setValue(value);
  spin->setFixedWidth(64);
  return spin;
}

QLineEdit* MakeEdit(const char* name, const std::string& text) {
  auto* edit = new QLineEdit(QString::fromStdString(text));
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(64);
  return edit;
}

// One line of a group: the text before the control, the control, the text after it.
void AddSentence(QVBoxLayout* group, const QString& before, QWidget* control, const QString& after) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(before));
  row->addWidget(control);
  // The text after the control wraps rather than being cut on a narrow window.
  auto* tail = new QLabel(after);
  tail->setWordWrap(true);
  tail->setMinimumWidth(120);
  row->addWidget(tail, 1);
  group->addLayout(row);
}

QButtonGroup* MakeAxisGroup(QWidget* owner, const char* name, const QString& title, int checked, QHBoxLayout* into) {
  auto* box = new QGroupBox(title);
  auto* layout = new QVBoxLayout(box);
  layout->setSpacing(2);
  auto* group = new QButtonGroup(owner);
  group->setObjectName(QString::fromLatin1(name));
  // The eight, then the indices beside them.
  for (int i = 0; i < kAllAxisItemCount; ++i) {
    auto* radio = new QRadioButton(QString::fromStdString(AxisItemName(i)));
    radio->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i));
    group->addButton(radio, i);
    layout->addWidget(radio);
    if (i == checked) radio->setChecked(true);
  }
  into->addWidget(box);
  return group;
}

} // namespace

SettingsPage::SettingsPage(QWidget* parent) : QWidget(parent) {
  const Settings defaults;
  auto* page = new QVBoxLayout(this);

  auto* heading = new QLabel(QStringLiteral("Program Settings and Options"));
  QFont headingFont = heading->font();
  headingFont.setBold(true);
  headingFont.setPointSizeF(headingFont.pointSizeF() * 1.3);
  heading->setFont(headingFont);
  page->addWidget(heading);

  auto* columns = new QHBoxLayout;
  page->addLayout(columns);

  // Left column: the chart axes and the debug box.
  auto* left = new QVBoxLayout;
  columns->addLayout(left, 0);
  left->addWidget(new QLabel(QStringLiteral("What to plot as the X and Y axes of the Find Variables chart:")));
  auto* axes = new QHBoxLayout;
  left->addLayout(axes);
  rgChartX = MakeAxisGroup(this, "rgChartX", QStringLiteral("X Axis"), defaults.ChartX, axes);
  rgChartY = MakeAxisGroup(this, "rgChartY", QStringLiteral("Y Axis"), defaults.ChartY, axes);
  debugch = new QCheckBox(QStringLiteral("debug"));
  debugch->setObjectName(QStringLiteral("debugch"));
  debugch->setChecked(defaults.Debug);
  left->addWidget(debugch);
  left->addStretch(1);

  // Right column: the two groups of numbers.
  auto* right = new QVBoxLayout;
  columns->addLayout(right, 1);

  auto* compBox = new QGroupBox(QStringLiteral("Comparison star selection"));
  auto* comp = new QVBoxLayout(compBox);
  spFrameBorder = MakeSpin("spFrameBorder", kFrameBorderRange, defaults.FrameBorder);
  AddSentence(comp, QStringLiteral("Skip stars closer then 1/"), spFrameBorder,
              QStringLiteral("frame width to the frame borders"));
  spFrameBorderPX = MakeSpin("spFrameBorderPX", kFrameBorderPXRange, defaults.FrameBorderPX);
  AddSentence(comp, QStringLiteral("Skip stars closer then"), spFrameBorderPX,
              QStringLiteral("px to the frame borders"));
  spPart4select = MakeSpin("spPart4select", kPart4selectRange, defaults.Part4select);
  AddSentence(comp, QStringLiteral("Star must be present at"), spPart4select,
              QStringLiteral("% of frames to be selected"));
  edVariance4Comp = MakeEdit("edVariance4Comp", defaults.Variance4Comp);
  AddSentence(comp, QStringLiteral("Star variance <="), edVariance4Comp,
              QStringLiteral("* mean star variance (skip \"noisy\" or very faint stars)"));
  edNotMoreComp = MakeEdit("edNotMoreComp", defaults.NotMoreComp);
  AddSentence(comp, QStringLiteral("Choose not more then"), edNotMoreComp, QStringLiteral("comparison stars"));
  right->addWidget(compBox);

  auto* varBox = new QGroupBox(QStringLiteral("Variability indicators calculation"));
  auto* var = new QVBoxLayout(varBox);
  spSkipLessPercFrame = MakeSpin("spSkipLessPercFrame", kSkipLessPercFrameRange, defaults.SkipLessPercFrame);
  AddSentence(var, QStringLiteral("Skip stars that are present on less then"), spSkipLessPercFrame,
              QStringLiteral("% frames"));
  edKOEFINDSIGM4GAPH = MakeEdit("edKOEFINDSIGM4GAPH", "2.0");
  AddSentence(var, QStringLiteral("Skip measurements with sigma >"), edKOEFINDSIGM4GAPH,
              QStringLiteral("of star mean sigma"));
  edKOEFINDSIGM4GAPHALL = MakeEdit("edKOEFINDSIGM4GAPHALL", "2.0");
  AddSentence(var, QStringLiteral("Skip measurements with sigma >"), edKOEFINDSIGM4GAPHALL,
              QStringLiteral("of data mean sigma"));
  right->addWidget(varBox);
  right->addStretch(1);
}

bool SettingsPage::Debug() const { return debugch->isChecked(); }

void SettingsPage::Fill(Settings& settings) const {
  settings.ChartX = rgChartX->checkedId();
  settings.ChartY = rgChartY->checkedId();
  settings.Debug = debugch->isChecked();
  settings.FrameBorder = spFrameBorder->value();
  settings.FrameBorderPX = spFrameBorderPX->value();
  settings.Part4select = spPart4select->value();
  settings.Variance4Comp = edVariance4Comp->text().toStdString();
  settings.NotMoreComp = edNotMoreComp->text().toStdString();
  settings.SkipLessPercFrame = spSkipLessPercFrame->value();
}

} // namespace morvik
