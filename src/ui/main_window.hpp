#pragma once
// The main window: menus, the three pages, the contrast track bar, the status bar and
// the log. It owns the workspace and carries out every command on it.

#include <QMainWindow>
#include <QSettings>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "session/undo_history.hpp"
#include "ui/dialogs.hpp"
#include "workspace/workspace.hpp"

class QAction;
class QCloseEvent;

class QLabel;
class QMenu;
class QScrollArea;
class QSlider;
class QSplitter;
class QStackedWidget;
class QTabBar;
class QToolBar;

namespace morvik {

class CandidatesPane;
class ChartView;
class EnsembleWarning;
class LogPane;
class PeriodSearchWindow;
class PictureView;
class SettingsPage;

class MainWindow : public QMainWindow, public UiHooks {
  Q_OBJECT
public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  Workspace& workspace() { return *ws_; }
  const Workspace& workspace() const { return *ws_; }

  // The modal pieces; tests replace them to answer without a person.
  Dialogs dialogs = DefaultDialogs();

  // Opens a frame as File > Open does once its dialog has given the path.
  void OpenPath(const QString& path);
  // `morvik FILE`: File > Open with FILE chosen in the dialog.
  void OpenFromCommandLine(const QString& path);
  // What the file dialog's name box holds now: the pattern at start, later the name
  // last chosen in it.
  QString LastFileName() const { return lastFileName_; }

  // UiHooks
  void ShowPage(int page) override;
  void SetStatusText(int panel, const std::string& text) override;
  void PictureChanged() override;
  void VarChartChanged() override;
  void LightCurveChanged() override;

  // Widgets and actions, reachable for tests.
  LogPane* logPane() const { return log_; }
  PictureView* imageView() const { return img_; }
  QScrollArea* scrollBox() const { return scrollBox_; }
  ChartView* varChart() const { return chart1_; }
  ChartView* lightCurveChart() const { return chart2_; }
  SettingsPage* settingsPage() const { return settings_; }
  QSlider* contrastBar() const { return tb1_; }
  QTabBar* pageTabs() const { return tabs_; }
  QStackedWidget* pages() const { return pages_; }
  QLabel* statusPanel(int panel) const { return panel == 0 ? panel0_ : panel1_; }
  QSplitter* imageSplitter() const { return splitter1_; }
  QSplitter* logSplitter() const { return splitter2_; }

  QAction* menuOpen = nullptr;
  QAction* menuNewField = nullptr;
  QAction* menuSaveImg = nullptr;
  QAction* menuRun = nullptr;
  QAction* menuCCDonly = nullptr;
  QAction* menuCCDandChart = nullptr;
  QAction* menuResetZoom = nullptr;
  QAction* menuCompManual = nullptr;
  QAction* menuCancelUed = nullptr;
  QAction* menuSearchVars = nullptr;
  QAction* menuLK = nullptr;
  QAction* menuContrast = nullptr;
  QAction* menuPeriodSearch = nullptr;
  // The Period Search window, once opened.
  PeriodSearchWindow* periodSearchWindow() const { return periodSearch_; }
  // File > Period Search: the window for the star whose light curve is shown.
  void OpenPeriodSearch();
  QAction* menuAutoContrast = nullptr; // View > "Automatic contrast"
  QAction* test11 = nullptr;
  QAction* menuCheckEnsemble = nullptr;
  QAction* menuDropVarying = nullptr;
  QAction* menuCandidates = nullptr;
  EnsembleWarning* ensembleWarning() const { return warning_; }
  CandidatesPane* candidatesPane() const { return candidates_; }
  QWidget* candidatesDock() const { return candidatesDock_; }

  // Beyond the original menus: undo, fitting the light curve, quitting, help and the
  // status bar's word on each command (main_window_work.cpp).
  QAction* menuUndo = nullptr;
  QAction* menuRedo = nullptr;
  QAction* menuFitCorrected = nullptr;
  QAction* menuQuit = nullptr;
  QAction* menuShortcuts = nullptr;
  QAction* menuAbout = nullptr;
  QAction* menuMarkColours = nullptr;
  QAction* menuMarkLegend = nullptr;
  QAction* menuGoToStar = nullptr;
  QAction* menuZoomIn = nullptr;
  QAction* menuZoomOut = nullptr;
  QAction* menuZoomFit = nullptr;
  QAction* menuZoomActual = nullptr;
  // Shows the frame at `zoom`, keeping the frame point under the view's `anchor`
  // (a position in the scroll box's viewport) where it is.
  void SetImageZoom(double zoom, QPoint anchor);
  QAction* menuShowRaw = nullptr;
  QAction* menuShowCorrected = nullptr;
  QAction* menuExportAavso = nullptr;
  QAction* menuExportCsv = nullptr;
  QAction* menuExportImage = nullptr;
  QAction* menuExportChart = nullptr;
  QToolBar* commandBar = nullptr;
  // Scrolls the image so that star `id` (catalog number) is in view.
  void ScrollToStar(int id);
  QLabel* feedbackPanel() const { return feedback_; }
  const UndoHistory& undoHistory() const { return undo_; }
  QAction* menuSaveSession = nullptr;
  QMenu* recentMenu = nullptr;
  // Keeps the Settings page, the window's geometry and the recent files in `store`
  // between runs (the program passes its own; without one nothing is kept).
  void UseSettingsStore(std::unique_ptr<QSettings> store);
  // File > Save Session: writes <base>.morvik beside the frame; false when nothing
  // was written.
  bool SaveSession();
  // Reads a session file and, when it fits the opened table, restores it and runs.
  bool RestoreSession(const QString& path);
  // A plain sentence on what the last command did, at the right of the status bar.
  void ShowFeedback(const QString& text);

private:
  void BuildWorkMenus();
  // Command() for the files beside this one.
  void RunCommand(bool busy, const std::function<void()>& action);
  void RunClick();
  void LaflerKinmanClick();
  void ContrastClick();
  // "Star #12: the comparison star": the star's number and its role now.
  QString StarTitle(int id) const;
  void SearchVariablesClick();
  void AfterOpen(const QString& path);
  void ShowImageFromTopLeft();
  // Runs a command that may delete points or change marks; what it changed becomes one
  // step of the undo history, and a deletion is logged.
  void RecordEdit(const char* name, const std::function<void()>& command);
  void UndoRedo(bool undo);
  void SyncUndoMenu();
  void FitToCorrectedPoints();
  void ShowShortcuts();
  void GoToStar();
  void BuildExportMenus(QMenu* file);
  // Legends, error bars of the corrected series, tooltips, hidden series and offset
  // time labels on the charts (main_window_charts.cpp).
  void WireChartExtras();
  void BuildChartMenus(QMenu* view);
  void BuildZoomMenus(QMenu* view);
  // The star whose light curve an export writes: the one shown, else the one picked.
  int ExportStar() const;
  void ExportLightCurve(bool aavso);
  void ExportPicture(bool chart);
  void SaveImageClick();
  // Logs and shows what a command wrote (or that it could not).
  void ReportWritten(const QString& what, const QString& path, bool ok);

  void BuildSessionMenus(QMenu* file);
  void OfferSession();
  void FillRecentMenu();
  void closeEvent(QCloseEvent* event) override;

  UndoHistory undo_;
  std::vector<bool> validAsRead_;
  std::unique_ptr<QSettings> store_;
  std::string obsCode_, filter_;
  std::map<int, std::string> starNames_;
  QLabel* feedback_ = nullptr;

private:
  void BuildMenus();
  void BuildPages();
  void WireCharts();

  // Runs one command: the settings are read from the controls, a failure that ends the
  // command is shown in a message box, and the menus follow the state afterwards.
  template <typename F> void Command(bool busy, F&& action);
  void FillSettings();
  void SyncMenus();
  void FitFrameToView();
  QString ChooseSaveFile(const QString& proposed);
  bool MayReplace(const QString& path);

  // Handlers of the menus and events.
  void menuOpenClick();
  void menuNewFieldClick();
  void imgContextPopup(int x, int y, const QPoint& globalPos);
  void Series1ClickPointer(std::size_t i, int x, int y);
  void Series2ClickPointer(std::size_t series, std::size_t i, int x, int y);
  void menuSaveLCClick();
  void menuSavePeriodogramClick();

  void BuildEnsembleUi(QMenu* view);
  void AfterRun();

  LogPane* log_ = nullptr;
  std::unique_ptr<Workspace> ws_;
  EnsembleWarning* warning_ = nullptr;
  CandidatesPane* candidates_ = nullptr;
  QWidget* candidatesDock_ = nullptr;
  QString lastFileName_ = QStringLiteral("*.fit;*.fts");

  QTabBar* tabs_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QSlider* tb1_ = nullptr;
  QLabel* panel0_ = nullptr;
  QLabel* panel1_ = nullptr;
  QSplitter* splitter1_ = nullptr;
  QSplitter* splitter2_ = nullptr;
  QScrollArea* scrollBox_ = nullptr;
  PictureView* img_ = nullptr;
  ChartView* chart1_ = nullptr;
  ChartView* chart2_ = nullptr;
  SettingsPage* settings_ = nullptr;
  PeriodSearchWindow* periodSearch_ = nullptr;
};

} // namespace morvik
