#pragma once
// The main window: menus, the three pages, the contrast track bar, the status bar and
// the log. It owns the workspace and carries out every command on it.

#include <QMainWindow>
#include <QString>
#include <memory>

#include "ui/dialogs.hpp"
#include "workspace/workspace.hpp"

class QAction;
class QLabel;
class QMenu;
class QScrollArea;
class QSlider;
class QSplitter;
class QStackedWidget;
class QTabBar;

namespace morvik {

class ChartView;
class LogPane;
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
  QAction* menuAutoContrast = nullptr; // View > "Automatic contrast"
  QAction* test11 = nullptr;

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
  void imgContextPopup(int x, int y, const QPoint& globalPos);
  void Series1ClickPointer(std::size_t i, int x, int y);
  void Series2ClickPointer(std::size_t series, std::size_t i, int x, int y);
  void menuSaveLCClick();
  void menuSavePeriodogramClick();

  LogPane* log_ = nullptr;
  std::unique_ptr<Workspace> ws_;
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
};

} // namespace morvik
