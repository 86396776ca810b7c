// Drives the real main window through a whole session on a generated field, the way a
// user does: menus, the image's mouse events, the charts' clicks and popup menus, the
// dialogs (answered by a script), and looks at what the widgets show.

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

#include "ui/chart_view.hpp"
#include "ui/log_pane.hpp"
#include "ui/picture_view.hpp"
#include "ui/settings_page.hpp"
#include "ui_test_support.hpp"
#include "workspace/period_commands.hpp"

using namespace morvik;
using namespace morvik::test;

class MainWindowTest : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir_;
  Field field_;
  Field small_;
  std::unique_ptr<MainWindow> w_;
  Script script_;

  Workspace& ws() { return w_->workspace(); }
  QString Panel(int i) const { return w_->statusPanel(i)->text(); }
  QStringList LogLines() { return w_->logPane()->Lines(); }
  const FieldStar& Star(int id) const { return field_.stars.at(static_cast<std::size_t>(id - 1)); }

  // A star with no other star within `radius` pixels, so its mark stands alone.
  int IsolatedStar(bool wantUsed, int radius = 12) {
    for (const FieldStar& s : field_.stars) {
      const TStarStat& st = ws().Series.Stats.at(static_cast<std::size_t>(s.id - 1));
      if (st.Used != wantUsed || st.Mark != kMarkNone) continue;
      if (s.x < 10 || s.y < 10 || s.x > 1000 || s.y > 750) continue;
      bool alone = true;
      for (const FieldStar& o : field_.stars)
        if (o.id != s.id && std::hypot(o.x - s.x, o.y - s.y) < radius) alone = false;
      if (alone) return s.id;
    }
    return 0;
  }

  // The point of a star on the Find Variables chart, or -1.
  int VarPointOf(int id) {
    const PointSeries& s = ws().VarChart.series[kSeries1];
    for (std::size_t i = 0; i < s.Count(); ++i)
      if (s.Point(i).label == std::to_string(id - 1)) return static_cast<int>(i);
    return -1;
  }

  // Clicks a chart point as a user does; the script answers its popup menu.
  void ClickChartPoint(ChartView* chart, std::size_t series, std::size_t i, const QString& choice) {
    script_.popupChoice = choice;
    const QPoint at = chart->PixelPosition(series, i).toPoint();
    Press(chart, at);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    script_.popupChoice.clear();
  }

  void ImagePopup(int id, const QString& choice) {
    script_.popupChoice = choice;
    RightClick(w_->imageView(), ViewPixelOf(Star(id)));
    script_.popupChoice.clear();
  }

  void OpenThroughDialog(const QString& path) {
    script_.fileAnswers = {path};
    w_->menuOpen->trigger();
  }

private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY(QDir::setCurrent(dir_.path())); // "Lafler-Kinman" writes into the working folder
    QString error;
    QVERIFY2(MakeField(dir_.filePath(QStringLiteral("field")), {}, field_, error), qPrintable(error));
    QVERIFY2(
        MakeField(dir_.filePath(QStringLiteral("small")),
                  {QStringLiteral("--width"), QStringLiteral("300"), QStringLiteral("--height"), QStringLiteral("200"),
                   QStringLiteral("--stars"), QStringLiteral("20"), QStringLiteral("--frames"), QStringLiteral("20")},
                  small_, error),
        qPrintable(error));
    QVERIFY(!field_.variables.empty());
    w_ = std::make_unique<MainWindow>();
    script_.Install(*w_);
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
  }

  void cleanupTestCase() { w_.reset(); }

  void startsWithTheGivenLayoutMenusAndSettings() {
    QCOMPARE(w_->windowTitle(), QStringLiteral("Morvik v1.0"));
    QCOMPARE(w_->size(), QSize(1024, 600));
    QCOMPARE(w_->pageTabs()->count(), 3);
    QCOMPARE(w_->pageTabs()->tabText(0), QStringLiteral("View"));
    QCOMPARE(w_->pageTabs()->tabText(1), QStringLiteral("Light Curve"));
    QCOMPARE(w_->pageTabs()->tabText(2), QStringLiteral("Settings"));
    QCOMPARE(w_->pages()->currentIndex(), 0);
    QCOMPARE(w_->contrastBar()->minimum(), 0);
    QCOMPARE(w_->contrastBar()->maximum(), 16);
    QCOMPARE(w_->contrastBar()->value(), 3);
    QCOMPARE(w_->contrastBar()->geometry().left(), 256);
    QCOMPARE(w_->statusPanel(0)->width(), 200);
    QCOMPARE(w_->scrollBox()->width(), 520);
    QCOMPARE(w_->logPane()->height(), 237);

    // Menu bar: two menus and four commands on the bar itself, test1 hidden.
    QStringList bar;
    for (QAction* a : w_->menuBar()->actions())
      if (a->isVisible()) bar << a->text();
    // Edit and Help come beside the original entries, which keep their order.
    bar.removeAll(QStringLiteral("Edit"));
    bar.removeAll(QStringLiteral("Help"));
    QCOMPARE(bar, (QStringList{"File", "Run", "View", "Search Variables", "Lafler-Kinman", "Set Contrast"}));
    QCOMPARE(w_->test11->text(), QStringLiteral("test1"));
    QVERIFY(!w_->test11->isVisible());
    QVERIFY(w_->test11->shortcut().isEmpty());
    QCOMPARE(w_->menuOpen->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QCOMPARE(w_->menuSaveImg->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    QCOMPARE(w_->menuRun->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
    QCOMPARE(w_->menuResetZoom->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
    QCOMPARE(w_->menuSearchVars->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
    QVERIFY(w_->menuLK->shortcut().isEmpty());
    QStringList viewItems;
    for (QAction* a : w_->menuBar()->actions())
      if (a->text() == QStringLiteral("View") && a->menu() != nullptr)
        for (QAction* item : a->menu()->actions())
          viewItems << item->text();
    QCOMPARE(viewItems.mid(0, 5),
             (QStringList{"CCD only", "CCD and Chart", "Reset Zoom", "Select comparison manually", "Set used = 0"}));
    for (const QString& item : {QString("Check comparison stars"), QString("Drop varying comparison stars"),
                                QString("Candidates"),
                                QString("Automatic contrast")}) {
      QVERIFY2(viewItems.contains(item), qPrintable(item));
    }
    QVERIFY(!w_->menuCCDonly->isChecked());
    QVERIFY(w_->menuCCDandChart->isChecked());
    QVERIFY(w_->menuCompManual->isCheckable());
    QVERIFY(!w_->menuCompManual->isChecked());

    // Settings page defaults and ranges.
    SettingsPage* s = w_->settingsPage();
    QCOMPARE(s->rgChartX->checkedId(), 0);
    QCOMPARE(s->rgChartY->checkedId(), 2);
    QCOMPARE(s->rgChartX->buttons().size(), 14); // the eight, then the six further indices
    QCOMPARE(s->rgChartY->button(3)->text(), QStringLiteral("sq.root( Chi-squared )"));
    QVERIFY(s->debugch->isChecked());
    QCOMPARE(s->debugch->text(), QStringLiteral("debug"));
    auto spin = [](QSpinBox* b, int value, int lo, int hi) {
      return b->value() == value && b->minimum() == lo && b->maximum() == hi;
    };
    QVERIFY(spin(s->spFrameBorder, 10, 3, 20));
    QVERIFY(spin(s->spFrameBorderPX, 50, 1, 256));
    QVERIFY(spin(s->spPart4select, 70, 1, 100));
    QVERIFY(spin(s->spSkipLessPercFrame, 20, 1, 100));
    QCOMPARE(s->edVariance4Comp->text(), QStringLiteral("1.5"));
    QCOMPARE(s->edNotMoreComp->text(), QStringLiteral("1000"));
    QCOMPARE(s->edKOEFINDSIGM4GAPH->text(), QStringLiteral("2.0"));
    QCOMPARE(s->edKOEFINDSIGM4GAPHALL->text(), QStringLiteral("2.0"));
    // The sentences around the controls.
    QStringList labels;
    for (QLabel* l : s->findChildren<QLabel*>())
      labels << l->text();
    for (const char* text :
         {"Program Settings and Options",
          "What to plot as the X and Y axes of the Find Variables chart:", "Skip stars closer then 1/",
          "frame width to the frame borders", "px to the frame borders", "Star must be present at",
          "% of frames to be selected", "Star variance <=", "* mean star variance (skip \"noisy\" or very faint stars)",
          "Choose not more then", "comparison stars", "Skip stars that are present on less then", "% frames",
          "Skip measurements with sigma >", "of star mean sigma", "of data mean sigma"})
      QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
  }

  void commandsBeforeAnyFrameDoNothing() {
    w_->menuSaveImg->trigger();
    w_->menuCCDonly->trigger();
    QVERIFY(!w_->menuCCDonly->isChecked());
    QVERIFY(w_->menuCCDandChart->isChecked());
    w_->menuContrast->trigger();
    RightClick(w_->imageView(), QPoint(0, 0));
    QCOMPARE(script_.popups, 0);
    QVERIFY(script_.messages.isEmpty());
    QCOMPARE(QDir(dir_.path()).entryList({QStringLiteral("*.bmp")}).size(), 0);
    // Run without a comparison star: a plain message box, and the program goes on.
    w_->menuRun->trigger();
    QCOMPARE(script_.messages.size(), 1);
    QCOMPARE(script_.messages[0].first, QStringLiteral("Please choose a comparison star"));
    QCOMPARE(script_.messages[0].second, false);
    QCOMPARE(ws().RunCount, 0);
    script_.messages.clear();
    // The same through its shortcut.
    QApplication::setActiveWindow(w_.get());
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    QSignalSpy runs(w_->menuRun, &QAction::triggered);
    QTest::keyClick(w_.get(), Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(script_.messages.size(), 1);
    script_.messages.clear();
  }

  void trackBarShowsItsPositionOnly() {
    w_->contrastBar()->setValue(10);
    QCOMPARE(Panel(1), QStringLiteral("10"));
    w_->contrastBar()->setValue(3);
    QCOMPARE(Panel(1), QStringLiteral("3"));
    // A long status text does not force the window wider.
    ws().hooks->SetStatusText(1, std::string(400, 'W'));
    QVERIFY(w_->minimumSizeHint().width() < 1024);
    QCOMPARE(w_->width(), 1024);
  }

  void openReadsFrameTableAndCatalog() {
    OpenThroughDialog(field_.frame);
    QCOMPARE(script_.fileStarts.last(), QStringLiteral("*.fit;*.fts"));
    QCOMPARE(script_.fileKinds.last(), FileDialogKind::Open);
    QVERIFY(script_.messages.isEmpty());
    QCOMPARE(w_->windowTitle(), QStringLiteral("Morvik v1.0 - field.fit"));
    QCOMPARE(Panel(0), QStringLiteral("field.fit"));
    QCOMPARE(ws().Series.StarCount, field_.stars.size());
    QCOMPARE(w_->imageView()->size(), QSize(ws().Frame->Width, ws().Frame->Height));
    // The picture shows the rendered frame: not a blank page.
    const QImage shown = w_->imageView()->Shown();
    QCOMPARE(shown.size(), QSize(1024, 768));
    QVERIFY(CountColour(shown, shown.rect(), qRgb(255, 255, 255)) < shown.width() * shown.height() / 2);
    QCOMPARE(w_->LastFileName(), field_.frame);
  }

  void contrastTakesEffectAtSetContrastOnly() {
    const QImage atThree = w_->imageView()->Shown();
    w_->contrastBar()->setValue(10);
    QCOMPARE(Panel(1), QStringLiteral("10"));
    QCOMPARE(w_->imageView()->Shown(), atThree);
    w_->menuContrast->trigger();
    QVERIFY(w_->imageView()->Shown() != atThree);
    w_->contrastBar()->setValue(3);
    QVERIFY(w_->imageView()->Shown() != atThree);
    w_->menuContrast->trigger();
    QCOMPARE(w_->imageView()->Shown(), atThree);
  }

  void cancelledOpenClearsTheViewAndTheRunCount() {
    script_.fileAnswers = {QString()};
    w_->menuOpen->trigger();
    QCOMPARE(script_.fileStarts.last(), field_.frame); // the last name chosen
    const QImage shown = w_->imageView()->Shown();
    QCOMPARE(CountColour(shown, shown.rect(), qRgb(255, 255, 255)), shown.width() * shown.height());
    QCOMPARE(ws().RunCount, 0);
    OpenThroughDialog(field_.frame);
    QVERIFY(CountColour(w_->imageView()->Shown(), QRect(0, 0, 1024, 768), qRgb(255, 255, 255)) < 1024 * 768 / 2);
  }

  void refusedFrameLeavesViewCaptionAndDataAsTheyWere() {
    const QString bad = dir_.filePath(QStringLiteral("bad.fit"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QByteArray header;
    for (const char* card :
         {"SIMPLE  =                    T", "BITPIX  =                   16", "NAXIS   =                    2",
          "NAXIS1  =                 12.5", "NAXIS2  =                   10", "END"})
      header += QByteArray(card).leftJustified(80, ' ');
    f.write(header.leftJustified(2880, ' '));
    f.write(QByteArray(2880, '\0'));
    f.close();
    const QImage before = w_->imageView()->Shown();
    const int stars = ws().Series.StarCount;
    OpenThroughDialog(bad);
    QCOMPARE(script_.messages.size(), 1);
    QVERIFY(script_.messages[0].second); // an error box
    script_.messages.clear();
    QCOMPARE(w_->windowTitle(), QStringLiteral("Morvik v1.0 - field.fit"));
    QCOMPARE(Panel(0), QStringLiteral("field.fit"));
    QCOMPARE(ws().Series.StarCount, stars);
    QCOMPARE(w_->imageView()->Shown(), before);
    QVERIFY(w_->isVisible()); // the program goes on
    QVERIFY(!script_.busyDuringBox);
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void tableThatEndsTheOpenKeepsTheNewFrame() {
    // The frame reads, then its table fails: the error box, and the window names the
    // frame that is now shown.
    const QString frame = dir_.filePath(QStringLiteral("broken.fit"));
    QVERIFY(QFile::copy(small_.frame, frame));
    QVERIFY(QFile::copy(small_.base + QStringLiteral(".xml"), dir_.filePath(QStringLiteral("broken.xml"))));
    QFile table(dir_.filePath(QStringLiteral("broken.dat")));
    QVERIFY(table.open(QIODevice::WriteOnly));
    table.write("# broken table\r\n# two stars\r\n2460210.30860 16.924 0.190 1x.946 0.201\r\n");
    table.close();
    OpenThroughDialog(frame);
    QCOMPARE(script_.messages.size(), 1);
    QCOMPARE(script_.messages[0], (QPair<QString, bool>(QStringLiteral("Invalid numeric input"), true)));
    script_.messages.clear();
    QCOMPARE(w_->windowTitle(), QStringLiteral("Morvik v1.0 - broken.fit"));
    QCOMPARE(w_->imageView()->size(), QSize(300, 200));
  }

  void smallFrameNarrowsTheScrollBox() {
    OpenThroughDialog(small_.frame);
    QCOMPARE(w_->imageView()->size(), QSize(300, 200));
    QCOMPARE(w_->imageSplitter()->sizes().at(0), 305);
    QCOMPARE(w_->windowTitle(), QStringLiteral("Morvik v1.0 - small.fit"));
    // A frame of the largest size is shown whole, to its last row and column.
    Field wide;
    QString error;
    QVERIFY2(MakeField(dir_.filePath(QStringLiteral("wide")),
                       {QStringLiteral("--width"), QStringLiteral("2200"), QStringLiteral("--height"),
                        QStringLiteral("2200"), QStringLiteral("--stars"), QStringLiteral("40"),
                        QStringLiteral("--frames"), QStringLiteral("10")},
                       wide, error),
             qPrintable(error));
    OpenThroughDialog(wide.frame);
    QCOMPARE(w_->imageView()->size(), QSize(2200, 2200));
    const QImage whole = w_->imageView()->Shown();
    QCOMPARE(whole.size(), QSize(2200, 2200));
    const QRect corner(2100, 2100, 100, 100);
    QVERIFY(CountColour(whole, corner, qRgb(255, 255, 255)) < 100 * 100 / 2);
    // A bigger frame afterwards shows scroll bars inside the narrow box.
    OpenThroughDialog(field_.frame);
    QCoreApplication::processEvents();
    QVERIFY(w_->scrollBox()->horizontalScrollBar()->isVisible());
    w_->imageSplitter()->setSizes({520, 1024 - 520});
  }

  void pointingShowsTheStarOrTheSky() {
    const FieldStar& comp = Star(field_.comparison);
    MoveOver(w_->imageView(), ViewPixelOf(comp));
    const QString expected =
        QString::asprintf("STAR %03d (%03d, %03d) RAW= %.2f", comp.id, qRound(comp.x), qRound(comp.y), comp.m);
    QCOMPARE(Panel(1), expected);
    // A pixel far from every star shows its coordinates and value.
    QPoint sky(-1, -1);
    for (int y = 20; y < 700 && sky.x() < 0; y += 7)
      for (int x = 20; x < 1000 && sky.x() < 0; x += 7) {
        bool clear = true;
        for (const FieldStar& s : field_.stars)
          if (std::hypot(s.x - (x + 1), s.y - (y + 1)) < 4) clear = false;
        if (clear) sky = QPoint(x, y);
      }
    QVERIFY(sky.x() >= 0);
    MoveOver(w_->imageView(), sky);
    QVERIFY2(Panel(1).startsWith(QString::asprintf("COORD (%03d, %03d) I=", sky.x() + 1, sky.y() + 1)),
             qPrintable(Panel(1)));
  }

  void comparisonStarThroughContextMenuAndInputBox() {
    // Empty sky opens no menu.
    const int picked = ws().PickedStar;
    RightClick(w_->imageView(), QPoint(2, 2));
    QCOMPARE(script_.popups, 0);
    QCOMPARE(ws().PickedStar, picked);

    script_.inputAnswer.reset(); // the user cancels the box: the proposed magnitude counts
    ImagePopup(field_.comparison, QStringLiteral("Select a Comparison"));
    QCOMPARE(script_.popups, 1);
    QCOMPARE(script_.lastPopupItems,
             (QStringList{"Select a Comparison", "Mark as Variable", "False alarm (remove)", "Show Light Curve",
                          "Save Light Curve", "Show Periodogram", "Save Periodogram"}));
    QCOMPARE(script_.lastPopupEnabled, (QList<bool>{true, true, true, false, false, false, false}));
    QCOMPARE(script_.inputCaptions.last(), QStringLiteral("Comparison Star"));
    QCOMPARE(script_.inputPrompts.last(), QStringLiteral("Enter star #%1 magnitude:").arg(field_.comparison));
    QCOMPARE(script_.inputProposed.last().toDouble(), field_.comparisonMag);
    QCOMPARE(ws().CompStarId, field_.comparison);
    QCOMPARE(ws().CompStarMag, field_.comparisonMag);
    QCOMPARE(LogLines().last(),
             QStringLiteral("Selected %1 as comparison = %2").arg(field_.comparison).arg(script_.inputProposed.last()));
  }

  void runMarksTheStarsInTheirColours() {
    w_->menuRun->trigger();
    QVERIFY(script_.messages.isEmpty());
    QCOMPARE(ws().RunCount, 1);
    const QImage shown = w_->imageView()->Shown();
    const int used = IsolatedStar(true);
    const int plain = IsolatedStar(false);
    QVERIFY(used > 0 && plain > 0);
    auto box = [&](int id) { return QRect(qRound(Star(id).x) - 3, qRound(Star(id).y) - 3, 7, 7); };
    const QRgb green = qRgb(0, 128, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    QVERIFY(CountColour(shown, box(used), green) >= 8);
    QCOMPARE(CountColour(shown, box(used), blue), 0);
    QVERIFY(CountColour(shown, box(used), white) >= 4);
    QVERIFY(CountColour(shown, box(plain), blue) >= 8);
    QCOMPARE(CountColour(shown, box(plain), green), 0);

    // The detailed line while pointing, and the light-curve items enabled.
    MoveOver(w_->imageView(), ViewPixelOf(Star(used)));
    QVERIFY2(Panel(1).contains(QStringLiteral(" MEAN= ")) && Panel(1).endsWith(QStringLiteral(" ")),
             qPrintable(Panel(1)));
    ImagePopup(used, QString());
    QCOMPARE(script_.lastPopupEnabled, (QList<bool>{true, true, true, true, true, false, false}));

    // "CCD only" removes the marks, "CCD and Chart" brings them back.
    w_->menuCCDonly->trigger();
    QVERIFY(w_->menuCCDonly->isChecked());
    QVERIFY(!w_->menuCCDandChart->isChecked());
    QCOMPARE(CountColour(w_->imageView()->Shown(), box(used), green), 0);
    w_->menuCCDandChart->trigger();
    QVERIFY(!w_->menuCCDonly->isChecked());
    QVERIFY(w_->menuCCDandChart->isChecked());
    QVERIFY(CountColour(w_->imageView()->Shown(), box(used), green) >= 8);
  }

  void searchVariablesFillsTheChart() {
    ws().hooks->ShowPage(kPageSettings);
    w_->menuSearchVars->trigger();
    QVERIFY(script_.messages.isEmpty());
    QCOMPARE(w_->pages()->currentIndex(), kPageView);
    const ChartModel& m = ws().VarChart;
    QCOMPARE(QString::fromStdString(m.bottomTitle), QStringLiteral("Mean magnitude"));
    QCOMPARE(QString::fromStdString(m.leftTitle), QStringLiteral("Standard deviation"));
    const PointSeries& s = m.series[kSeries1];
    QVERIFY(s.Count() > field_.stars.size() / 2);
    for (std::size_t i = 1; i < s.Count(); ++i)
      QVERIFY(s.Point(i - 1).x <= s.Point(i).x);
    for (int v : field_.variables)
      QVERIFY2(VarPointOf(v) >= 0, qPrintable(QString::number(v)));
    // The points are drawn where the chart says they are.
    const QImage chart = w_->varChart()->grab().toImage();
    const QPoint p = w_->varChart()->PixelPosition(kSeries1, s.Count() / 2).toPoint();
    QVERIFY(Reddish(chart.pixel(p)));
  }

  void clickingAPointSelectsItsStar() {
    const int v = field_.variables.front();
    const int i = VarPointOf(v);
    QVERIFY(i > 0);
    const int popups = script_.popups;
    ClickChartPoint(w_->varChart(), kSeries1, static_cast<std::size_t>(i), QString());
    QCOMPARE(script_.popups, popups + 1);
    QCOMPARE(script_.lastPopupItems, (QStringList{"Show Light Curve", "Mark as Variable", "False alarm (remove)"}));
    QVERIFY(!w_->varChart()->Pressing()); // the posted release ended the press
    QCOMPARE(ws().SelectedPoint, i);
    QCOMPARE(ws().SelectedStar, v - 1);
    QVERIFY2(Panel(1).startsWith(QStringLiteral("Click ")) && Panel(1).endsWith(QStringLiteral(" LABEL %1").arg(v - 1)),
             qPrintable(Panel(1)));
    QCOMPARE(LogLines().last(),
             QString::asprintf("SELECTED STAR %d (%03d; %03d)", v, qRound(Star(v).x), qRound(Star(v).y)));
    // The red cross on the chart and the yellow ring on the image.
    const QImage chart = w_->varChart()->grab().toImage();
    const QPoint c = w_->varChart()->PixelPosition(kSeries1, static_cast<std::size_t>(i)).toPoint();
    // The cross is clipped to the plotting area; a point near its edge shows fewer arms.
    int arms = 0;
    for (QPoint arm : {QPoint(6, 0), QPoint(-6, 0), QPoint(0, 6), QPoint(0, -6)}) {
      if (!w_->varChart()->PlotArea().contains(c + arm)) continue;
      QVERIFY2(Reddish(chart.pixel(c + arm)), qPrintable(QStringLiteral("%1,%2").arg(arm.x()).arg(arm.y())));
      ++arms;
    }
    QVERIFY(arms >= 2);
    const QRect ring(qRound(Star(v).x) - 3, qRound(Star(v).y) - 3, 7, 7);
    QVERIFY(CountColour(w_->imageView()->Shown(), ring, qRgb(255, 255, 0)) >= 6);

    // A left click on the image selects the point of that star.
    const int other = field_.variables.back();
    Press(w_->imageView(), ViewPixelOf(Star(other)));
    Release(w_->imageView(), ViewPixelOf(Star(other)));
    QCOMPARE(ws().PickedStar, other);
    QCOMPARE(ws().SelectedPoint, VarPointOf(other));
    QCOMPARE(LogLines().last(), QStringLiteral("SERIES %1 Label %2").arg(VarPointOf(other)).arg(other - 1));
  }

  void classifyingStars() {
    const int v = field_.variables.front();
    ClickChartPoint(w_->varChart(), kSeries1, static_cast<std::size_t>(VarPointOf(v)),
                    QStringLiteral("Mark as Variable"));
    QCOMPARE(LogLines().last(), QStringLiteral("Confirmed #%1 as VAR").arg(v - 1));
    QCOMPARE(ws().Series.Stats[static_cast<std::size_t>(v - 1)].Mark, kMarkVariable);
    QCOMPARE(ws().VarChart.series[kSeries1].ColorOf(static_cast<std::size_t>(VarPointOf(v))), colors::Green);
    const QRect dot(qRound(Star(v).x) - 2, qRound(Star(v).y) - 2, 4, 4);
    QVERIFY(CountColour(w_->imageView()->Shown(), dot, qRgb(255, 0, 0)) >= 4);

    // A constant star dismissed as false alarm leaves the chart.
    const int constant = IsolatedStar(false);
    QVERIFY(VarPointOf(constant) >= 0);
    Press(w_->imageView(), ViewPixelOf(Star(constant)));
    Release(w_->imageView(), ViewPixelOf(Star(constant)));
    ClickChartPoint(w_->varChart(), kSeries1, static_cast<std::size_t>(VarPointOf(constant)),
                    QStringLiteral("False alarm (remove)"));
    QCOMPARE(VarPointOf(constant), -1);
    QVERIFY(CountColour(w_->imageView()->Shown(),
                        QRect(qRound(Star(constant).x) - 2, qRound(Star(constant).y) - 2, 4, 4),
                        qRgb(128, 128, 128)) >= 10);

    // ... and comes back, in green, when marked as variable on the image.
    ImagePopup(constant, QStringLiteral("Mark as Variable"));
    QCOMPARE(LogLines().last(), QStringLiteral("Confirmed #%1 as VAR").arg(constant - 1));
    QVERIFY(VarPointOf(constant) >= 0);
    QCOMPARE(ws().VarChart.series[kSeries1].ColorOf(static_cast<std::size_t>(VarPointOf(constant))), colors::Green);
    ImagePopup(constant, QStringLiteral("False alarm (remove)"));
    QCOMPARE(VarPointOf(constant), -1);
  }

  void lightCurveAndDeletingPointsAndFrames() {
    const int v = field_.variables.front();
    const std::size_t s = static_cast<std::size_t>(v - 1);
    ClickChartPoint(w_->varChart(), kSeries1, static_cast<std::size_t>(VarPointOf(v)),
                    QStringLiteral("Show Light Curve"));
    QCOMPARE(w_->pages()->currentIndex(), kPageLightCurve);
    const ChartModel& lc = ws().LightCurve;
    QCOMPARE(QString::fromStdString(lc.bottomTitle), QStringLiteral("JD"));
    QCOMPARE(QString::fromStdString(lc.leftTitle), QStringLiteral("Magnitude"));
    int valid = 0;
    for (const TDataLine& row : ws().Series.Rows)
      valid += row.Items[s].Valid ? 1 : 0;
    QCOMPARE(lc.series[kSeriesRaw].Count(), static_cast<std::size_t>(valid));
    QCOMPARE(lc.series[kSeriesRun].Count(), static_cast<std::size_t>(valid));

    // Error bars are drawn over the markers: a RAW point's bar reaches its error's
    // height above and below its centre, beyond the point's own marker.
    ChartView* lcChart = w_->lightCurveChart();
    QCoreApplication::processEvents();
    const QImage drawn = lcChart->grab().toImage();
    int barsSeen = 0;
    for (std::size_t i = 0; i < lc.series[kSeriesRaw].Count(); ++i) {
      const int r = std::stoi(lc.series[kSeriesRaw].Point(i).label);
      const int h = lcChart->PixelHeight(kSeriesRaw, ws().Series.Rows[static_cast<std::size_t>(r)].Items[s].Err);
      const QPoint c = lcChart->PixelPosition(kSeriesRaw, i).toPoint();
      if (h < 4 || !lcChart->PlotArea().adjusted(2, 2, -2, -2).contains(QRect(c.x(), c.y() - h, 1, 2 * h + 1)))
        continue;
      for (int dy : {-h + 1, h - 1})
        QVERIFY2((drawn.pixel(c + QPoint(0, dy)) & 0xFFFFFF) == 0xFF0000,
                 qPrintable(QStringLiteral("point %1 at %2").arg(i).arg(dy)));
      ++barsSeen;
    }
    QVERIFY(barsSeen > 0);

    // Click a point: the menu offers the two deletions; "Delete Point" drops it.
    auto hitRowAt = [&](std::size_t i) {
      const QPoint at = w_->lightCurveChart()->PixelPosition(kSeriesRaw, i).toPoint();
      const auto hit = w_->lightCurveChart()->HitTest(at);
      return hit ? std::stoi(lc.series[hit->first].Point(hit->second).label) : -1;
    };
    const std::size_t k = lc.series[kSeriesRaw].Count() / 3;
    const int row = hitRowAt(k);
    QVERIFY(row >= 0);
    ClickChartPoint(w_->lightCurveChart(), kSeriesRaw, k, QStringLiteral("Delete Point"));
    QCOMPARE(script_.lastPopupItems, (QStringList{"Delete Point", "Delete point for all "}));
    QVERIFY2(Panel(1).startsWith(QStringLiteral("RAW Point")) || Panel(1).startsWith(QStringLiteral("RUN Point")),
             qPrintable(Panel(1)));
    QVERIFY(!ws().Series.Rows[static_cast<std::size_t>(row)].Items[s].Valid);
    QCOMPARE(lc.series[kSeriesRaw].Count(), static_cast<std::size_t>(valid - 1));

    // "Delete point for all " drops the whole frame; the next Run counts without it.
    const std::size_t k2 = lc.series[kSeriesRaw].Count() / 2;
    const int row2 = hitRowAt(k2);
    QVERIFY(row2 >= 0 && row2 != row);
    std::vector<int> nValid;
    for (const TStarStat& st : ws().Series.Stats)
      nValid.push_back(st.NValid);
    std::vector<bool> hadRow2;
    for (const TMeasurement& m : ws().Series.Rows[static_cast<std::size_t>(row2)].Items)
      hadRow2.push_back(m.Valid);
    ClickChartPoint(w_->lightCurveChart(), kSeriesRaw, k2, QStringLiteral("Delete point for all "));
    for (const TMeasurement& m : ws().Series.Rows[static_cast<std::size_t>(row2)].Items)
      QVERIFY(!m.Valid);
    QCOMPARE(lc.series[kSeriesRaw].Count(), static_cast<std::size_t>(valid - 2));
    w_->menuRun->trigger();
    QCOMPARE(ws().RunCount, 2);
    QCOMPARE(ws().Series.Stats[s].NValid, nValid[s] - 2);
    int checked = 0;
    for (std::size_t t = 0; t < hadRow2.size(); ++t) {
      if (t == s || !hadRow2[t]) continue;
      QCOMPARE(ws().Series.Stats[t].NValid, nValid[t] - 1);
      ++checked;
    }
    QVERIFY(checked > 10);
  }

  void periodogramComputeShowAndSave() {
    const int v = field_.variables.front();
    Press(w_->imageView(), ViewPixelOf(Star(v)));
    Release(w_->imageView(), ViewPixelOf(Star(v)));
    QCOMPARE(ws().PickedStar, v);
    w_->menuSearchVars->trigger(); // recomputes the indices without the deleted frame
    w_->menuLK->trigger();
    QVERIFY(script_.messages.isEmpty());
    const QString fixed = dir_.filePath(QStringLiteral("star%1.per").arg(v - 1));
    QVERIFY(QFileInfo::exists(fixed));
    const ChartModel& lc = ws().LightCurve;
    const std::size_t n = lc.series[kSeriesRaw].Count();
    QVERIFY(n > 100);
    QCOMPARE(lc.series[kSeriesRun].Count(), n / 8);
    QVERIFY(LogLines().last().startsWith(QStringLiteral("show %1 points from %1").arg(n)));
    // A periodogram point carries no row: clicking it opens no menu and deletes nothing.
    ws().hooks->ShowPage(kPageLightCurve);
    QCoreApplication::processEvents();
    int validBefore = 0;
    for (const TDataLine& row : ws().Series.Rows)
      validBefore += row.Items[0].Valid ? 1 : 0;
    const int popups = script_.popups;
    ClickChartPoint(w_->lightCurveChart(), kSeriesRaw, n / 2, QStringLiteral("Delete point for all "));
    QCOMPARE(script_.popups, popups);
    int validAfter = 0;
    for (const TDataLine& row : ws().Series.Rows)
      validAfter += row.Items[0].Valid ? 1 : 0;
    QCOMPARE(validAfter, validBefore);
    Release(w_->lightCurveChart(), w_->lightCurveChart()->PixelPosition(kSeriesRaw, n / 2).toPoint());

    // Show Periodogram from the image: the stored one, without the smoothed curve.
    ws().hooks->ShowPage(kPageView);
    ImagePopup(v, QStringLiteral("Show Periodogram"));
    QCOMPARE(script_.lastPopupEnabled, (QList<bool>{true, true, true, true, true, true, true}));
    QCOMPARE(w_->pages()->currentIndex(), kPageLightCurve);
    QCOMPARE(lc.series[kSeriesRaw].Count(), n);
    QCOMPARE(lc.series[kSeriesRun].Count(), std::size_t{0});

    // Save Periodogram: the proposed name, then the replace question.
    const QString chosen = dir_.filePath(QStringLiteral("Star%1_per.dat").arg(v));
    script_.fileAnswers = {chosen};
    ImagePopup(v, QStringLiteral("Save Periodogram"));
    QCOMPARE(script_.fileKinds.last(), FileDialogKind::Save);
    QVERIFY(script_.fileStarts.last().endsWith(QStringLiteral("/Star%1_per.dat").arg(v)));
    QFile saved(chosen);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray content = saved.readAll();
    saved.close();
    QCOMPARE(content.count("\r\n"), static_cast<qsizetype>(n));
    QVERIFY(script_.questionTexts.isEmpty());
    // The file exists now: "No" keeps it, "Yes" replaces it.
    QVERIFY(saved.open(QIODevice::WriteOnly));
    saved.write("old");
    saved.close();
    script_.answerYes = false;
    script_.fileAnswers = {chosen};
    ImagePopup(v, QStringLiteral("Save Periodogram"));
    QCOMPARE(script_.questionCaptions.last(), QStringLiteral("Save Light Curve"));
    QCOMPARE(script_.questionTexts.last(), QStringLiteral("File ") + chosen + QStringLiteral(" exists. Replace?"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("old"));
    saved.close();
    script_.answerYes = true;
    script_.fileAnswers = {chosen};
    ImagePopup(v, QStringLiteral("Save Periodogram"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), content);
    saved.close();
  }

  void savingALightCurveAndTheImage() {
    const int id = field_.comparison;
    const QString chosen = dir_.filePath(QStringLiteral("comparison.dat"));
    script_.fileAnswers = {chosen};
    ImagePopup(id, QStringLiteral("Save Light Curve"));
    QVERIFY(script_.fileStarts.last().endsWith(QStringLiteral("/Star%1.dat").arg(id)));
    QFile f(chosen);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    int valid = 0;
    for (const TDataLine& row : ws().Series.Rows)
      valid += row.Items[static_cast<std::size_t>(id - 1)].Valid ? 1 : 0;
    QCOMPARE(lines.size() - 1, valid);
    QVERIFY(lines.front().endsWith('\r'));
    QCOMPARE(lines.front().size(), 30); // 13 + 1 + 7 + 1 + 7 and the CR
    // The file dialog remembers the name: the next Open starts from it.
    script_.fileAnswers = {QString()};
    w_->menuOpen->trigger();
    QCOMPARE(script_.fileStarts.last(), chosen);
    // That cancelled Open cleared the view: open the field again and run.
    OpenThroughDialog(field_.frame);
    w_->menuRun->trigger();
    QCOMPARE(ws().RunCount, 1);

    w_->menuSaveImg->trigger();
    QFile bmp(field_.frame + QStringLiteral(".bmp"));
    QVERIFY(bmp.open(QIODevice::ReadOnly));
    const QImage image = QImage::fromData(bmp.readAll(), "BMP");
    QCOMPARE(image.size(), QSize(1024, 768));
    QCOMPARE(image.convertToFormat(QImage::Format_RGB32),
             w_->imageView()->Shown().convertToFormat(QImage::Format_RGB32));
  }

  void zoomingAndResettingTheZoom() {
    ws().hooks->ShowPage(kPageView);
    w_->menuSearchVars->trigger();
    ChartView* chart = w_->varChart();
    const QRect plot = chart->PlotArea();
    const auto full = chart->BottomRange();
    Drag(chart, plot.topLeft() + QPoint(30, 20), plot.topLeft() + QPoint(plot.width() / 2, plot.height() / 2));
    QVERIFY(chart->IsZoomed());
    QVERIFY(chart->BottomRange().max - chart->BottomRange().min < full.max - full.min);
    // Reset Zoom acts on the chart of the page shown.
    ws().hooks->ShowPage(kPageLightCurve);
    w_->menuResetZoom->trigger();
    QVERIFY(chart->IsZoomed());
    ws().hooks->ShowPage(kPageView);
    w_->menuResetZoom->trigger();
    QVERIFY(!chart->IsZoomed());
    QCOMPARE(chart->BottomRange().min, full.min);
    QCOMPARE(chart->BottomRange().max, full.max);
  }

  void factorEditsAndTheDebugFilter() {
    SettingsPage* s = w_->settingsPage();
    s->edKOEFINDSIGM4GAPH->setText(QStringLiteral("0.01"));
    QCOMPARE(ws().StarSigmaFactor, 2.0);
    s->edKOEFINDSIGM4GAPH->setText(QStringLiteral("0.05"));
    QCOMPARE(ws().StarSigmaFactor, 0.05);
    s->edKOEFINDSIGM4GAPHALL->setText(QStringLiteral("abc"));
    QCOMPARE(ws().DataSigmaFactor, 2.0);
    s->edKOEFINDSIGM4GAPHALL->setText(QStringLiteral("3.5"));
    QCOMPARE(ws().DataSigmaFactor, 3.5);
    s->edKOEFINDSIGM4GAPH->setText(QStringLiteral("2.0"));
    s->edKOEFINDSIGM4GAPHALL->setText(QStringLiteral("2.0"));

    Log& log = ws().log;
    log.Add("*debug line one");
    log.Add("plain line one");
    s->debugch->setChecked(false);
    log.Add("*debug line two");
    log.Add("plain line two");
    log.Add("");
    s->debugch->setChecked(true);
    const QStringList lines = LogLines();
    QVERIFY(lines.contains(QStringLiteral("*debug line one")));
    QVERIFY(!lines.contains(QStringLiteral("*debug line two")));
    QCOMPARE(lines.mid(lines.size() - 3), (QStringList{"*debug line one", "plain line one", "plain line two"}));
  }

  void manualEnsembleThroughTheViewMenu() {
    QVERIFY(ws().RunCount >= 1);
    w_->menuCompManual->trigger();
    QVERIFY(w_->menuCompManual->isChecked());
    w_->menuCancelUed->trigger();
    QCOMPARE(ws().Series.UsedCount, 0);
    for (const TStarStat& st : ws().Series.Stats)
      QVERIFY(!st.Used);

    // An emptied answer changes nothing and logs nothing.
    const int logged = LogLines().size();
    script_.inputAnswer = QString();
    ImagePopup(field_.comparison, QStringLiteral("Select a Comparison"));
    QCOMPARE(LogLines().size(), logged);
    QVERIFY(!ws().Series.Stats[static_cast<std::size_t>(field_.comparison - 1)].Used);

    // Two stars typed in: both join the ensemble, the last one sets the scale.
    const int first = IsolatedStar(false);
    script_.inputAnswer = QStringLiteral("14.25");
    ImagePopup(first, QStringLiteral("Select a Comparison"));
    script_.inputAnswer = QStringLiteral("10.5");
    ImagePopup(field_.comparison, QStringLiteral("Select a Comparison"));
    script_.inputAnswer.reset();
    QCOMPARE(ws().CompStarId, field_.comparison);
    QCOMPARE(ws().CompStarMag, 10.5);
    QCOMPARE(LogLines().last(), QStringLiteral("Selected %1 as comparison = 10.5").arg(field_.comparison));
    w_->menuRun->trigger();
    int used = 0;
    for (const TStarStat& st : ws().Series.Stats)
      used += st.Used ? 1 : 0;
    QCOMPARE(used, 2);
    QVERIFY(ws().Series.Stats[static_cast<std::size_t>(first - 1)].Used);
    // Exactly those two carry green marks on the image.
    const QImage shown = w_->imageView()->Shown();
    auto box = [&](int id) { return QRect(qRound(Star(id).x) - 3, qRound(Star(id).y) - 3, 7, 7); };
    QVERIFY(CountColour(shown, box(first), qRgb(0, 128, 0)) >= 8);
    QCOMPARE(CountColour(shown, QRect(0, 0, 1024, 768), qRgb(0, 128, 0)),
             CountColour(shown, box(first), qRgb(0, 128, 0)) +
                 CountColour(shown, box(field_.comparison), qRgb(0, 128, 0)));

    // Back to the automatic choice.
    w_->menuCompManual->trigger();
    QVERIFY(!w_->menuCompManual->isChecked());
    w_->menuRun->trigger();
    used = 0;
    for (const TStarStat& st : ws().Series.Stats)
      used += st.Used ? 1 : 0;
    QVERIFY(used > 2);
  }

  void hiddenHistogramCommand() {
    w_->test11->trigger();
    const QStringList lines = LogLines();
    QVERIFY2(lines.size() >= 1 && lines.front().startsWith(QStringLiteral("MIN ")), qPrintable(lines.join('\n')));
    QVERIFY(lines.size() >= 100 && lines.size() <= 102);
    QVERIFY(lines[1].startsWith(QStringLiteral("RANGE ")));
    QFile f(field_.frame + QStringLiteral("_histsigma.txt"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString written = QString::fromLatin1(f.readAll());
    QCOMPARE(written, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
  }

  void commandLineFileOpensAtStart() {
    MainWindow second;
    Script answers;
    answers.Install(second);
    const QString relative = QDir(dir_.path()).relativeFilePath(small_.frame);
    second.OpenFromCommandLine(relative);
    QCOMPARE(second.windowTitle(), QStringLiteral("Morvik v1.0 - small.fit"));
    QCOMPARE(second.statusPanel(0)->text(), QStringLiteral("small.fit"));
    QCOMPARE(second.workspace().Series.StarCount, small_.stars.size());
    // The file dialog starts from it, as if it had been chosen there.
    QCOMPARE(second.LastFileName(), QFileInfo(small_.frame).absoluteFilePath());
    second.menuOpen->trigger();
    QCOMPARE(answers.fileStarts.value(0), QFileInfo(small_.frame).absoluteFilePath());
    // A missing file: nothing read, no box.
    MainWindow third;
    Script none;
    none.Install(third);
    third.OpenFromCommandLine(dir_.filePath(QStringLiteral("missing.fit")));
    QCOMPARE(third.windowTitle(), QStringLiteral("Morvik v1.0"));
    QVERIFY(!third.workspace().CurrentFrame);
    QVERIFY(none.messages.isEmpty());
  }

  void screenshotsOfEveryPage() {
    // Leave each page the way a user would look at it.
    w_->menuSearchVars->trigger();
    const int v = field_.variables.front();
    ClickChartPoint(w_->varChart(), kSeries1, static_cast<std::size_t>(VarPointOf(v)), QString());
    w_->scrollBox()->ensureVisible(qRound(Star(v).x), qRound(Star(v).y), 100, 100);
    MoveOver(w_->imageView(), ViewPixelOf(Star(v)));
    const QString dir = ScreenshotDir();
    const char* names[] = {"view", "light_curve", "settings"};
    for (int page = 0; page < 3; ++page) {
      if (page == kPageLightCurve) {
        Press(w_->imageView(), ViewPixelOf(Star(v)));
        Release(w_->imageView(), ViewPixelOf(Star(v)));
        ImagePopup(v, QStringLiteral("Show Light Curve"));
      }
      ws().hooks->ShowPage(page);
      QCoreApplication::processEvents();
      const QString path = dir + QStringLiteral("/main_window_%1.png").arg(QLatin1String(names[page]));
      QVERIFY(w_->grab().save(path));
    }
    // The periodogram on the Light Curve page too.
    w_->menuLK->trigger();
    ws().hooks->ShowPage(kPageLightCurve);
    QCoreApplication::processEvents();
    QVERIFY(w_->grab().save(dir + QStringLiteral("/main_window_periodogram.png")));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
