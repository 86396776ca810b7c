#include "ui/main_window.hpp"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>
#include <exception>
#include <optional>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/format.hpp"
#include "periods/period_star.hpp"
#include "ui/chart_view.hpp"
#include "ui/ensemble_panes.hpp"
#include "ui/log_pane.hpp"
#include "ui/new_field_dialog.hpp"
#include "ui/period_search_window.hpp"
#include "ui/picture_view.hpp"
#include "ui/settings_page.hpp"
#include "workspace/candidate_commands.hpp"
#include "workspace/ensemble_marks.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/image_view.hpp"
#include "workspace/period_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"

namespace morvik {
namespace {

constexpr int kScrollBoxWidth = 520;
constexpr int kMinPaneWidth = 256;
constexpr int kLogHeight = 237;

// The wait cursor for as long as a long command runs; gone before any message box.
class BusyCursor {
public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// Paths go to the core in the file system's own encoding.
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QAction* AddItem(QMenu* menu, const char* name, const char* text, const QKeySequence& shortcut = {}) {
  QAction* action = menu->addAction(QString::fromLatin1(text));
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

} // namespace

template <typename F> void MainWindow::Command(bool busy, F&& action) {
  FillSettings();
  try {
    std::optional<BusyCursor> cursor;
    if (busy) cursor.emplace();
    action();
  } catch (const CommandError& e) {
    log_->Flush();
    dialogs.message(this, Text(e.what()), e.kind() == CommandError::Kind::Error);
  } catch (const std::exception& e) {
    // Anything else that ends a command: the user sees it and the program goes on.
    log_->Flush();
    dialogs.message(this, Text(e.what()), true);
  }
  SyncMenus();
}

void MainWindow::RunCommand(bool busy, const std::function<void()>& action) { Command(busy, action); }

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), log_(new LogPane), ws_(std::make_unique<Workspace>(*log_)) {
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  ws_->SetHooks(this);

  BuildPages();
  BuildMenus();
  WireCharts();
  WireChartExtras();
  log_->SetDebugSource([this] { return settings_->Debug(); });
  SyncMenus();

  resize(1024, 600);
  if (const QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

MainWindow::~MainWindow() {
  // The charts and the image view read the workspace; they must not outlive it.
  ws_->SetHooks(nullptr);
  chart1_->SetModel(nullptr);
  chart2_->SetModel(nullptr);
  delete takeCentralWidget();
}

void MainWindow::BuildPages() {
  auto* central = new QWidget;
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // Top row: the page tabs (small flat buttons) and, at 256 pixels, the contrast bar.
  auto* top = new QWidget;
  top->setFixedHeight(22);
  auto* tabHolder = new QWidget(top);
  tabHolder->setGeometry(0, 0, 256, 22);
  tabs_ = new QTabBar(tabHolder);
  tabs_->setObjectName(QStringLiteral("PageControl1"));
  tabs_->setDrawBase(false);
  tabs_->setExpanding(false);
  tabs_->setStyleSheet(QStringLiteral(
      "QTabBar::tab { height: 16px; padding: 0px 8px; margin: 2px 1px 2px 1px; border: 1px solid #a0a0a0;"
      " border-radius: 2px; background: #ececec; }"
      "QTabBar::tab:selected { background: #cfdcf0; border-color: #4a78b8; }"));
  tabs_->addTab(QStringLiteral("View"));
  tabs_->addTab(QStringLiteral("Light Curve"));
  tabs_->addTab(QStringLiteral("Settings"));
  tabs_->setGeometry(2, 0, 254, 22);
  tb1_ = new QSlider(Qt::Horizontal, top);
  tb1_->setObjectName(QStringLiteral("tb1"));
  tb1_->setRange(kContrastRange.min, kContrastRange.max);
  tb1_->setValue(Settings{}.ContrastLevel);
  tb1_->setPageStep(1);
  tb1_->setTickPosition(QSlider::NoTicks);
  tb1_->setToolTip(QStringLiteral("Contrast"));
  tb1_->setGeometry(256, 0, 73, 22);
  column->addWidget(top);
  warning_ = new EnsembleWarning;
  column->addWidget(warning_);

  pages_ = new QStackedWidget;
  column->addWidget(pages_, 1);
  connect(tabs_, &QTabBar::currentChanged, pages_, &QStackedWidget::setCurrentIndex);

  // "View": image | log over the Find Variables chart.
  splitter1_ = new QSplitter(Qt::Horizontal);
  splitter1_->setObjectName(QStringLiteral("Splitter1"));
  splitter1_->setHandleWidth(5);
  splitter1_->setChildrenCollapsible(false);
  img_ = new PictureView(ws_->picture);
  img_->setObjectName(QStringLiteral("img"));
  scrollBox_ = new QScrollArea;
  scrollBox_->setObjectName(QStringLiteral("ScrollBox1"));
  scrollBox_->setWidgetResizable(false);
  scrollBox_->setWidget(img_);
  scrollBox_->setMinimumWidth(kMinPaneWidth);
  splitter1_->addWidget(scrollBox_);

  splitter2_ = new QSplitter(Qt::Vertical);
  splitter2_->setObjectName(QStringLiteral("Splitter2"));
  splitter2_->setHandleWidth(3);
  splitter2_->setChildrenCollapsible(false);
  splitter2_->setMinimumWidth(kMinPaneWidth);
  log_->setObjectName(QStringLiteral("Memo1"));
  splitter2_->addWidget(log_);
  chart1_ = new ChartView;
  chart1_->setObjectName(QStringLiteral("Chart1"));
  splitter2_->addWidget(chart1_);
  splitter2_->setStretchFactor(0, 0);
  splitter2_->setStretchFactor(1, 1);
  splitter2_->setSizes({kLogHeight, 400});
  splitter1_->addWidget(splitter2_);
  splitter1_->setStretchFactor(0, 0);
  splitter1_->setStretchFactor(1, 1);
  splitter1_->setSizes({kScrollBoxWidth, 1024 - kScrollBoxWidth});
  pages_->addWidget(splitter1_);

  // "Light Curve".
  chart2_ = new ChartView;
  chart2_->setObjectName(QStringLiteral("Chart2"));
  pages_->addWidget(chart2_);

  // "Settings".
  settings_ = new SettingsPage;
  settings_->setObjectName(QStringLiteral("SettingsPage"));
  auto* settingsScroll = new QScrollArea;
  settingsScroll->setWidgetResizable(true);
  settingsScroll->setFrameShape(QFrame::NoFrame);
  settingsScroll->setWidget(settings_);
  pages_->addWidget(settingsScroll);

  tabs_->setCurrentIndex(kPageView);
  pages_->setCurrentIndex(kPageView);
  setCentralWidget(central);

  panel0_ = new QLabel;
  panel0_->setObjectName(QStringLiteral("StatusPanel0"));
  panel0_->setFixedWidth(200);
  panel1_ = new QLabel;
  panel1_->setObjectName(QStringLiteral("StatusPanel1"));
  // A long status text is cut at the window's edge rather than widening the window.
  panel1_->setMinimumWidth(50);
  panel1_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  panel1_->setTextInteractionFlags(Qt::NoTextInteraction);
  statusBar()->addWidget(panel0_);
  statusBar()->addWidget(panel1_, 1);

  connect(tb1_, &QSlider::valueChanged, this, [this](int value) { SetStatusText(1, std::to_string(value)); });
  connect(img_, &PictureView::pointerMoved, this, [this](int x, int y) {
    const std::string text = ImageStatusText(*ws_, x, y);
    if (!text.empty()) SetStatusText(1, text);
  });
  connect(img_, &PictureView::leftReleased, this,
          [this](int x, int y) { Command(false, [&] { ImageLeftClick(*ws_, x, y); }); });
  connect(img_, &PictureView::contextMenuAt, this, &MainWindow::imgContextPopup);
  connect(settings_->edKOEFINDSIGM4GAPH, &QLineEdit::textChanged, this,
          [this](const QString& text) { SetStarSigmaText(*ws_, text.toStdString()); });
  connect(settings_->edKOEFINDSIGM4GAPHALL, &QLineEdit::textChanged, this,
          [this](const QString& text) { SetDataSigmaText(*ws_, text.toStdString()); });
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("File"));
  menuOpen = AddItem(file, "menuOpen", "Open", QKeySequence(Qt::CTRL | Qt::Key_O));
  menuNewField = AddItem(file, "menuNewField", "New Field from Frames...");
  menuSaveImg = AddItem(file, "menuSaveImg", "Save Image", QKeySequence(Qt::CTRL | Qt::Key_S));
  menuPeriodSearch = AddItem(file, "menuPeriodSearch", "Period Search");

  menuRun = bar->addAction(QStringLiteral("Run"));
  menuRun->setObjectName(QStringLiteral("menuRun"));
  menuRun->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));

  QMenu* view = bar->addMenu(QStringLiteral("View"));
  menuCCDonly = AddItem(view, "menuCCDonly", "CCD only");
  menuCCDonly->setCheckable(true);
  menuCCDandChart = AddItem(view, "menuCCDandChart", "CCD and Chart");
  menuCCDandChart->setCheckable(true);
  menuResetZoom = AddItem(view, "menuResetZoom", "Reset Zoom", QKeySequence(Qt::CTRL | Qt::Key_A));
  menuCompManual = AddItem(view, "menuCompManual", "Select comparison manually");
  menuCompManual->setCheckable(true);
  menuCancelUed = AddItem(view, "menuCancelUed", "Set used = 0");
  BuildEnsembleUi(view);
  menuAutoContrast = AddItem(view, "menuAutoContrast", "Automatic contrast");
  menuAutoContrast->setCheckable(true);

  menuSearchVars = bar->addAction(QStringLiteral("Search Variables"));
  menuSearchVars->setObjectName(QStringLiteral("menuSearchVars"));
  menuSearchVars->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  menuLK = bar->addAction(QStringLiteral("Lafler-Kinman"));
  menuLK->setObjectName(QStringLiteral("menuLK"));
  menuContrast = bar->addAction(QStringLiteral("Set Contrast"));
  menuContrast->setObjectName(QStringLiteral("menuContrast"));
  test11 = bar->addAction(QStringLiteral("test1"));
  test11->setObjectName(QStringLiteral("test11"));
  test11->setVisible(false);

  connect(menuOpen, &QAction::triggered, this, &MainWindow::menuOpenClick);
  connect(menuNewField, &QAction::triggered, this, &MainWindow::menuNewFieldClick);
  connect(menuSaveImg, &QAction::triggered, this, &MainWindow::SaveImageClick);
  connect(menuRun, &QAction::triggered, this, &MainWindow::RunClick);
  connect(menuCCDonly, &QAction::triggered, this, [this] { Command(false, [&] { ToggleViewMode(*ws_, false); }); });
  connect(menuCCDandChart, &QAction::triggered, this, [this] { Command(false, [&] { ToggleViewMode(*ws_, true); }); });
  connect(menuResetZoom, &QAction::triggered, this,
          [this] { Command(false, [&] { ResetZoom(*ws_, pages_->currentIndex()); }); });
  connect(menuCompManual, &QAction::triggered, this, [this] { Command(false, [&] { ToggleCompManual(*ws_); }); });
  connect(menuCancelUed, &QAction::triggered, this, [this] { Command(false, [&] { SetUsedZero(*ws_); }); });
  connect(menuSearchVars, &QAction::triggered, this, &MainWindow::SearchVariablesClick);
  connect(menuLK, &QAction::triggered, this, &MainWindow::LaflerKinmanClick);
  connect(menuContrast, &QAction::triggered, this, &MainWindow::ContrastClick);
  connect(menuPeriodSearch, &QAction::triggered, this, &MainWindow::OpenPeriodSearch);
  connect(menuAutoContrast, &QAction::triggered, this, [this](bool on) {
    Command(true, [&] {
      ws_->settings.AutoContrast = on;
      ApplyContrast(*ws_);
    });
  });
  connect(test11, &QAction::triggered, this, [this] { Command(true, [&] { SigmaHistogram(*ws_); }); });
  BuildWorkMenus();
}

void MainWindow::WireCharts() {
  chart1_->SetModel(&ws_->VarChart);
  chart1_->pointerStyle = [this](std::size_t, std::size_t i) { return VarPointStyle(*ws_, i); };
  chart1_->afterDraw = [this](QPainter& painter, const ChartView& view) {
    const long i = VarCrossPoint(*ws_);
    if (i < 0) return;
    const QPointF c = view.PixelPosition(kSeries1, static_cast<std::size_t>(i));
    painter.setPen(QColor(255, 0, 0));
    painter.drawLine(QPointF(c.x() - 7, c.y()), QPointF(c.x() + 7, c.y()));
    painter.drawLine(QPointF(c.x(), c.y() - 7), QPointF(c.x(), c.y() + 7));
  };
  chart1_->clickPointer = [this](std::size_t, std::size_t i, int x, int y) { Series1ClickPointer(i, x, y); };

  chart2_->SetModel(&ws_->LightCurve);
  chart2_->pointerStyle = [this](std::size_t series, std::size_t i) { return LightCurvePointStyle(*ws_, series, i); };
  chart2_->afterDraw = [this](QPainter& painter, const ChartView& view) {
    // Periodogram points carry no row, hence no error.
    if (ws_->LightCurveShowsPeriodogram || ws_->LightCurve.series.empty()) return;
    painter.setPen(QColor(255, 0, 0));
    const std::size_t n = ws_->LightCurve.series[kSeriesRaw].Count();
    for (std::size_t i = 0; i < n; ++i) {
      const int h = view.PixelHeight(kSeriesRaw, LightCurveErrorBar(*ws_, i));
      if (h <= 0) continue;
      const QPointF c = view.PixelPosition(kSeriesRaw, i);
      painter.drawLine(QPointF(c.x(), c.y() - h), QPointF(c.x(), c.y() + h));
    }
  };
  chart2_->clickPointer = [this](std::size_t series, std::size_t i, int x, int y) {
    Series2ClickPointer(series, i, x, y);
  };
}

void MainWindow::FillSettings() {
  settings_->Fill(ws_->settings);
  ws_->settings.ContrastLevel = tb1_->value();
}

void MainWindow::SyncMenus() {
  log_->Flush();
  menuCCDandChart->setChecked(ws_->settings.CCDandChart);
  menuCCDonly->setChecked(!ws_->settings.CCDandChart);
  menuCompManual->setChecked(ws_->settings.CompManual);
  menuCheckEnsemble->setChecked(ws_->settings.CheckEnsemble);
  menuDropVarying->setChecked(ws_->settings.DropVarying);
  SyncUndoMenu();
}

// --- UiHooks ---

void MainWindow::ShowPage(int page) {
  if (page < 0 || page >= tabs_->count()) return;
  tabs_->setCurrentIndex(page);
  pages_->setCurrentIndex(page);
}

void MainWindow::SetStatusText(int panel, const std::string& text) {
  (panel == 0 ? panel0_ : panel1_)->setText(Text(text));
}

void MainWindow::PictureChanged() { img_->PictureChanged(); }
void MainWindow::VarChartChanged() { chart1_->Refresh(); }
void MainWindow::LightCurveChanged() { chart2_->Refresh(); }

void MainWindow::OpenPeriodSearch() {
  if (periodSearch_ == nullptr) {
    periodSearch_ = new PeriodSearchWindow(this);
    periodSearch_->onUsePeriod = [this](int star, double period) {
      ws_->ChosenPeriods[star] = period;
      ws_->log.Add("Star " + std::to_string(star) + ": period " + FormatShortest(period) + " d kept");
    };
  }
  const int star = ws_->SelectedStar + 1;
  if (periodSearch_->Star() != star || !periodSearch_->HasResult()) {
    StarSeries s = SeriesOfStar(ws_->Series, star);
    periodSearch_->SetStar(star, std::move(s.t), std::move(s.y), std::move(s.dy));
    if (const auto kept = ws_->ChosenPeriods.find(star); kept != ws_->ChosenPeriods.end())
      periodSearch_->ShowFolded(kept->second);
  }
  periodSearch_->show();
  periodSearch_->raise();
}

// --- File ---

void MainWindow::menuOpenClick() {
  const QString chosen = dialogs.chooseFile(this, FileDialogKind::Open, QStringLiteral("Open"), lastFileName_);
  if (chosen.isEmpty()) {
    Command(false, [&] { OpenCancelled(*ws_); });
    return;
  }
  lastFileName_ = chosen;
  OpenPath(chosen);
}

void MainWindow::menuNewFieldClick() {
  NewFieldDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  lastFileName_ = dialog.FieldPath();
  OpenPath(lastFileName_);
}

void MainWindow::OpenFromCommandLine(const QString& path) {
  lastFileName_ = QFileInfo(path).absoluteFilePath();
  OpenPath(lastFileName_);
}

void MainWindow::OpenPath(const QString& path) {
  Command(true, [&] { OpenFrame(*ws_, LocalPath(path)); });
  AfterOpen(path);
  // The caption and the view follow the frame object: a frame the reader refused left
  // it as it was, and a table that failed after the frame was read leaves the new one.
  if (!ws_->CurrentFrame) return;
  const QString name = QFileInfo(QFile::decodeName(ws_->Frame->FileName.c_str())).fileName();
  setWindowTitle(QString::fromLatin1(kProgramTitle) + QStringLiteral(" - ") + name);
  panel0_->setText(name);
  FitFrameToView();
}

void MainWindow::FitFrameToView() {
  img_->SetFrameSize(ws_->Frame->Width, ws_->Frame->Height);
  img_->PictureChanged();
  const int wanted = img_->width() + 5;
  const QList<int> sizes = splitter1_->sizes();
  if (sizes.size() == 2 && wanted < sizes[0]) {
    const int total = sizes[0] + sizes[1];
    const int left = std::max(wanted, kMinPaneWidth);
    splitter1_->setSizes({left, total - left});
  }
  ShowImageFromTopLeft();
}

QString MainWindow::ChooseSaveFile(const QString& proposed) {
  const QString folder = lastFileName_.contains(QLatin1Char('/')) ? QFileInfo(lastFileName_).path() : QString();
  const QString start = folder.isEmpty() ? proposed : folder + QLatin1Char('/') + proposed;
  const QString chosen = dialogs.chooseFile(this, FileDialogKind::Save, QStringLiteral("Save"), start);
  if (!chosen.isEmpty()) lastFileName_ = chosen;
  return chosen;
}

bool MainWindow::MayReplace(const QString& path) {
  if (!QFileInfo::exists(path)) return true;
  return dialogs.askYesNo(this, QStringLiteral("Save Light Curve"),
                          QStringLiteral("File ") + path + QStringLiteral(" exists. Replace?"));
}

// --- Image ---

void MainWindow::imgContextPopup(int x, int y, const QPoint& globalPos) {
  bool open = false;
  Command(false, [&] { open = ImageContextPopup(*ws_, x, y); });
  if (!open) return;
  const ImageMenuState state = ImageMenu(*ws_);

  QMenu menu(this);
  menu.setObjectName(QStringLiteral("PopupMenu1"));
  menu.addSection(StarTitle(ws_->PickedStar));
  QAction* selComp = AddItem(&menu, "menuSelComp", "Select a Comparison");
  QAction* markVar = AddItem(&menu, "MarkasVariable1", "Mark as Variable");
  QAction* falseAlarm = AddItem(&menu, "Falsealarmremove1", "False alarm (remove)");
  QAction* showChart = AddItem(&menu, "menuShowChart", "Show Light Curve");
  QAction* saveLC = AddItem(&menu, "menuSaveLC", "Save Light Curve");
  QAction* showPer = AddItem(&menu, "menuShowPeriodogram", "Show Periodogram");
  QAction* savePer = AddItem(&menu, "menuSavePeriodogram", "Save Periodogram");
  selComp->setEnabled(state.selectComparison);
  markVar->setEnabled(state.markAsVariable);
  falseAlarm->setEnabled(state.falseAlarm);
  showChart->setEnabled(state.showLightCurve);
  saveLC->setEnabled(state.saveLightCurve);
  showPer->setEnabled(state.showPeriodogram);
  savePer->setEnabled(state.savePeriodogram);

  QAction* chosen = dialogs.popup(menu, globalPos);
  if (chosen == nullptr || !chosen->isEnabled()) return;
  if (chosen == selComp) {
    FillSettings();
    const ComparisonQuestion q = AskComparison(*ws_);
    if (!q.ask) return;
    const QString answer = dialogs.inputText(this, Text(q.caption), Text(q.prompt), Text(q.proposed));
    Command(false, [&] { SelectComparison(*ws_, answer.toStdString()); });
  } else if (chosen == markVar) {
    RecordEdit("Mark as Variable", [&] { Command(false, [&] { MarkasVariable1Click(*ws_); }); });
  } else if (chosen == falseAlarm) {
    RecordEdit("False alarm", [&] { Command(false, [&] { Falsealarmremove1Click(*ws_); }); });
  } else if (chosen == showChart) {
    Command(false, [&] { ShowLightCurveFromImage(*ws_); });
  } else if (chosen == saveLC) {
    menuSaveLCClick();
  } else if (chosen == showPer) {
    Command(true, [&] { ShowPeriodogram(*ws_); });
  } else if (chosen == savePer) {
    menuSavePeriodogramClick();
  }
}

void MainWindow::menuSaveLCClick() {
  if (!CanSaveLightCurve(*ws_)) return;
  const QString path = ChooseSaveFile(Text(ProposedLightCurveName(*ws_)));
  if (path.isEmpty() || !MayReplace(path)) return;
  bool ok = false;
  Command(false, [&] { ok = WriteLightCurve(*ws_, LocalPath(path), ws_->PickedStar); });
  ReportWritten(QStringLiteral("Light curve"), path, ok);
}

void MainWindow::menuSavePeriodogramClick() {
  if (!CanSavePeriodogram(*ws_)) return;
  const QString path = ChooseSaveFile(Text(ProposedPeriodogramName(*ws_)));
  if (path.isEmpty() || !MayReplace(path)) return;
  bool ok = false;
  Command(false, [&] { ok = WritePeriodogram(*ws_, LocalPath(path), ws_->PickedStar); });
  ReportWritten(QStringLiteral("Periodogram"), path, ok);
}

// --- Charts ---

void MainWindow::Series1ClickPointer(std::size_t i, int x, int y) {
  Command(false, [&] { ClickVarPoint(*ws_, i, x, y); });
  ScrollToStar(static_cast<int>(ws_->SelectedStar) + 1);
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("PopupChart1"));
  QAction* show = AddItem(&menu, "ShowLightCurve1", "Show Light Curve");
  QAction* confirm = AddItem(&menu, "ConfirmVariable1", "Mark as Variable");
  QAction* remove = AddItem(&menu, "RemoveStar1", "False alarm (remove)");
  QAction* chosen = dialogs.popup(menu, chart1_->mapToGlobal(QPoint(x, y)));
  chart1_->PostReleaseAfterPopup();
  if (chosen == show) {
    Command(false, [&] { ShowLightCurveFromChart(*ws_); });
  } else if (chosen == confirm) {
    RecordEdit("Mark as Variable", [&] { Command(false, [&] { ConfirmVariable1Click(*ws_); }); });
  } else if (chosen == remove) {
    RecordEdit("False alarm", [&] { Command(false, [&] { RemoveStar1Click(*ws_); }); });
  }
}

void MainWindow::Series2ClickPointer(std::size_t series, std::size_t i, int x, int y) {
  bool openMenu = false;
  Command(false, [&] { openMenu = ClickLightCurvePoint(*ws_, series, i, x, y); });
  if (!openMenu) return;
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("PopupChart2"));
  QAction* deletePoint = AddItem(&menu, "DeletePoint", "Delete Point");
  QAction* deleteForAll = AddItem(&menu, "Deletepointforall1", "Delete point for all ");
  QAction* chosen = dialogs.popup(menu, chart2_->mapToGlobal(QPoint(x, y)));
  chart2_->PostReleaseAfterPopup();
  if (chosen == deletePoint) {
    RecordEdit("Delete Point", [&] { Command(false, [&] { DeletePoint(*ws_); }); });
  } else if (chosen == deleteForAll) {
    RecordEdit("Delete point for all", [&] { Command(false, [&] { DeletePointForAll(*ws_); }); });
  }
}

// --- Ensemble check and candidates ---

void MainWindow::BuildEnsembleUi(QMenu* view) {
  menuCheckEnsemble = AddItem(view, "menuCheckEnsemble", "Check comparison stars");
  menuCheckEnsemble->setCheckable(true);
  menuDropVarying = AddItem(view, "menuDropVarying", "Drop varying comparison stars");
  menuDropVarying->setCheckable(true);
  menuCandidates = AddItem(view, "menuCandidates", "Candidates");
  menuCandidates->setCheckable(true);
  connect(menuCheckEnsemble, &QAction::triggered, this,
          [this] { Command(false, [&] { ws_->settings.CheckEnsemble = !ws_->settings.CheckEnsemble; }); });
  connect(menuDropVarying, &QAction::triggered, this,
          [this] { Command(false, [&] { ws_->settings.DropVarying = !ws_->settings.DropVarying; }); });

  candidates_ = new CandidatesPane(*ws_, [this](const std::function<void()>& action) { Command(false, action); });
  candidates_->onSelected = [this](int id) {
    const TCatalogStar& c = ws_->Catalog[id];
    scrollBox_->ensureVisible(qRound(c.X), qRound(c.Y), 100, 100);
  };
  auto* dock = new QDockWidget(QStringLiteral("Candidates"), this);
  dock->setObjectName(QStringLiteral("CandidatesDock"));
  dock->setWidget(candidates_);
  addDockWidget(Qt::RightDockWidgetArea, dock);
  dock->hide();
  candidatesDock_ = dock;
  connect(menuCandidates, &QAction::toggled, dock, &QDockWidget::setVisible);
  connect(dock, &QDockWidget::visibilityChanged, menuCandidates, &QAction::setChecked);
}

void MainWindow::AfterRun() {
  const std::string text = EnsembleWarningText(*ws_);
  warning_->ShowText(Text(text));
  if (!text.empty()) SetStatusText(1, text);
  candidates_->Refresh();
}

} // namespace morvik
