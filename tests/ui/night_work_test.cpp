// The desktop around the main steps, as a night's work uses it: opening frame
// after frame, fitting the light curve to its corrected points, undoing deletions and
// marks, and saying what happened in the status bar.

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "session/session_file.hpp"
#include "ui/chart_view.hpp"
#include "ui/log_pane.hpp"
#include "ui/period_search_window.hpp"
#include "ui/picture_view.hpp"
#include "ui/settings_page.hpp"
#include "ui_test_support.hpp"

using namespace morvik;
using namespace morvik::test;

class NightWorkTest : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir_;
  Field field_;
  std::unique_ptr<MainWindow> w_;
  Script script_;

  Workspace& ws() { return w_->workspace(); }
  QString Status() const { return w_->feedbackPanel()->text(); }
  const FieldStar& Star(int id) const { return field_.stars.at(static_cast<std::size_t>(id - 1)); }

  void Open(const QString& path) {
    script_.fileAnswers = {path};
    w_->menuOpen->trigger();
  }
  void ImagePopup(int id, const QString& choice) {
    script_.popupChoice = choice;
    RightClick(w_->imageView(), ViewPixelOf(Star(id)));
    script_.popupChoice.clear();
  }
  QAction* Action(const char* name) { return w_->findChild<QAction*>(QLatin1String(name)); }
  void Shot(const char* name) {
    QCoreApplication::processEvents();
    QVERIFY(w_->grab().save(ScreenshotDir() + QStringLiteral("/night_%1.png").arg(QLatin1String(name))));
  }
  void ClickLightCurvePoint(std::size_t i, const QString& choice) {
    script_.popupChoice = choice;
    ChartView* chart = w_->lightCurveChart();
    Press(chart, chart->PixelPosition(kSeriesRaw, i).toPoint());
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    script_.popupChoice.clear();
  }
  // The statistics a Run gives, as one comparable list.
  std::vector<double> Statistics() {
    std::vector<double> v;
    for (const TStarStat& st : ws().Series.Stats) {
      v.push_back(st.NValid);
      v.push_back(st.Variance);
      v.push_back(st.Used ? 1.0 : 0.0);
      v.push_back(st.Weight);
    }
    // The corrected magnitudes Run gives, every one.
    for (const TDataLine& row : ws().Series.Rows)
      for (const TMeasurement& m : row.Items)
        if (m.Valid) v.push_back(m.RunMag);
    return v;
  }

private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY(QDir::setCurrent(dir_.path()));
    QString error;
    QVERIFY2(
        MakeField(dir_.filePath(QStringLiteral("night")),
                  {QStringLiteral("--stars"), QStringLiteral("60"), QStringLiteral("--frames"), QStringLiteral("80")},
                  field_, error),
        qPrintable(error));
    w_ = std::make_unique<MainWindow>();
    script_.Install(*w_);
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
  }

  void cleanupTestCase() { w_.reset(); }

  void searchVariablesWithNothingOpenedComputesNothing() {
    w_->menuSearchVars->trigger();
    QVERIFY(!w_->logPane()->Lines().contains(QStringLiteral("Mean and Sigma (RUN) calculated")));
    QCOMPARE(ws().SearchCount, 0);
    QVERIFY2(Status().contains(QStringLiteral("nothing is open")), qPrintable(Status()));
    QVERIFY(script_.messages.isEmpty());
  }

  void helpListsTheShortcutsAndTheMarkColours() {
    w_->menuShortcuts->trigger();
    QCOMPARE(script_.messages.size(), 1);
    const QString shortcuts = script_.messages[0].first;
    for (const char* line : {"Ctrl+O\tOpen", "Ctrl+R\tRun", "Ctrl+F\tSearch Variables", "Ctrl+Z\tUndo",
                             "Ctrl+G\tGo to Star...", "Ctrl+Q\tQuit"})
      QVERIFY2(shortcuts.contains(QLatin1String(line)), line);
    w_->menuMarkColours->trigger();
    QVERIFY(script_.messages.last().first.contains(QStringLiteral("marked as variable")));
    script_.messages.clear();
  }

  void openingAFrameAloneSaysSo() {
    QTemporaryDir alone;
    QVERIFY(QFile::copy(field_.frame, alone.filePath(QStringLiteral("lone.fit"))));
    Open(alone.filePath(QStringLiteral("lone.fit")));
    QCOMPARE(Status(), QStringLiteral("No lone.dat or lone.xml beside lone.fit: only the frame is shown"));
    Open(field_.frame);
    QCOMPARE(Status(), QStringLiteral("Opened night.fit: 60 stars in 80 frames"));
  }

  void settingsGeometryAndRecentFilesAreKeptBetweenRuns() {
    const QString ini = dir_.filePath(QStringLiteral("kept.ini"));
    {
      MainWindow first;
      Script answers;
      answers.Install(first);
      first.UseSettingsStore(std::make_unique<QSettings>(ini, QSettings::IniFormat));
      first.settingsPage()->spFrameBorderPX->setValue(77);
      first.settingsPage()->rgChartY->button(5)->setChecked(true);
      first.resize(900, 560);
      answers.answerYes = false;
      answers.fileAnswers = {field_.frame};
      first.menuOpen->trigger();
      first.close();
    }
    MainWindow second;
    second.UseSettingsStore(std::make_unique<QSettings>(ini, QSettings::IniFormat));
    QCOMPARE(second.settingsPage()->spFrameBorderPX->value(), 77);
    QCOMPARE(second.settingsPage()->rgChartY->checkedId(), 5);
    QCOMPARE(second.size(), QSize(900, 560));
    QVERIFY(second.recentMenu->isEnabled());
    QCOMPARE(second.recentMenu->actions().value(0) ? second.recentMenu->actions()[0]->toolTip() : QString(),
             QFileInfo(field_.frame).absoluteFilePath());
  }

  void aSecondFrameIsShownFromItsLeftEdge() {
    Open(field_.frame);
    QScrollBar* bar = w_->scrollBox()->horizontalScrollBar();
    QCoreApplication::processEvents();
    QVERIFY(bar->maximum() > 100);
    bar->setValue(bar->maximum());
    QCOMPARE(w_->imageView()->x(), -bar->maximum());
    Open(field_.frame);
    QCoreApplication::processEvents();
    // What the bar shows is where the picture is, at the left edge and at the right.
    QCOMPARE(bar->value(), 0);
    QCOMPARE(w_->imageView()->pos(), QPoint(0, 0));
    bar->setValue(bar->maximum());
    QCOMPARE(w_->imageView()->x() + w_->imageView()->width(), w_->scrollBox()->viewport()->width());
    bar->setValue(0);
  }

  void runAndSearchSayWhatTheyDid() {
    script_.inputAnswer.reset();
    ImagePopup(field_.comparison, QStringLiteral("Select a Comparison"));
    QCOMPARE(ws().CompStarId, field_.comparison);
    w_->menuRun->trigger();
    int used = 0;
    for (const TStarStat& st : ws().Series.Stats)
      used += st.Used ? 1 : 0;
    QCOMPARE(Status(), QStringLiteral("Run: %1 of %2 stars in the ensemble, comparison #%3")
                           .arg(used)
                           .arg(field_.stars.size())
                           .arg(field_.comparison));
    w_->menuSearchVars->trigger();
    QVERIFY2(Status().startsWith(QStringLiteral("Search Variables: ")), qPrintable(Status()));
    // The image's menu names the star and its part in the work.
    ImagePopup(field_.comparison, QString());
    QCOMPARE(script_.lastPopupTitle, QStringLiteral("Star #%1: the comparison star").arg(field_.comparison));
  }

  void goToStarScrollsTheImageToIt() {
    QScrollArea* box = w_->scrollBox();
    box->horizontalScrollBar()->setValue(0);
    box->verticalScrollBar()->setValue(0);
    // The star of the field farthest right: out of view at the left edge.
    const FieldStar* far = &field_.stars.front();
    for (const FieldStar& st : field_.stars)
      if (st.x > far->x) far = &st;
    QVERIFY(far->x > box->viewport()->width());
    const QRect shown(QPoint(0, 0), box->viewport()->size());
    auto inView = [&](const FieldStar& st) {
      return shown.contains(w_->imageView()->mapTo(box->viewport(), ViewPixelOf(st)));
    };
    QVERIFY(!inView(*far));
    script_.inputAnswer = QString::number(far->id);
    w_->menuGoToStar->trigger();
    QCOMPARE(script_.inputCaptions.last(), QStringLiteral("Go to Star"));
    QCOMPARE(ws().PickedStar, far->id);
    QVERIFY(inView(*far));
    QVERIFY2(Status().startsWith(QStringLiteral("Star #%1 at (").arg(far->id)), qPrintable(Status()));
    Shot("go_to_star");
    // A number that is no star of the table changes nothing.
    for (const char* wrong : {"0", "61", "twelve"}) {
      script_.inputAnswer = QString::fromLatin1(wrong);
      w_->menuGoToStar->trigger();
      QCOMPARE(ws().PickedStar, far->id);
      QVERIFY2(Status().contains(QStringLiteral("no star")), qPrintable(Status()));
    }
    script_.inputAnswer.reset();
  }

  void zoomKeepsPickingTheSameStars() {
    const FieldStar& comp = Star(field_.comparison);
    PictureView* img = w_->imageView();
    const QSize actual = img->size();
    w_->menuZoomIn->trigger();
    w_->menuZoomIn->trigger();
    QCOMPARE(img->Zoom(), 1.25 * 1.25);
    QCOMPARE(img->size(), QSize(qRound(actual.width() * img->Zoom()), qRound(actual.height() * img->Zoom())));
    QCOMPARE(img->Shown().size(), actual); // what is saved stays the frame, 1:1
    // Pointing at the star where it is drawn now still names it.
    const QPoint onScreen = img->ToScreen(ViewPixelOf(comp)) + QPoint(1, 1);
    QCOMPARE(img->ToFrame(onScreen), ViewPixelOf(comp));
    MoveOver(img, onScreen);
    QVERIFY2(w_->statusPanel(1)->text().startsWith(QStringLiteral("STAR %1").arg(comp.id, 3, 10, QLatin1Char('0'))),
             qPrintable(w_->statusPanel(1)->text()));
    // Scrolling to a star works at any zoom.
    script_.inputAnswer = QString::number(comp.id);
    w_->menuGoToStar->trigger();
    script_.inputAnswer.reset();
    const QRect viewport(QPoint(0, 0), w_->scrollBox()->viewport()->size());
    QVERIFY(viewport.contains(img->mapTo(w_->scrollBox()->viewport(), onScreen)));
    Shot("zoomed");
    // Ctrl + wheel zooms out around the pointer; the fit shows the whole frame.
    QWheelEvent wheel(QPointF(10, 10), img->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(img, &wheel);
    QCOMPARE(img->Zoom(), 1.25);
    w_->menuZoomFit->trigger();
    QVERIFY(img->width() <= w_->scrollBox()->maximumViewportSize().width());
    QVERIFY(img->height() <= w_->scrollBox()->maximumViewportSize().height());
    QVERIFY(img->Zoom() < 1.0);
    Shot("zoom_fit");
    w_->menuZoomActual->trigger();
    QCOMPARE(img->size(), actual);
  }

  void undoAndRedoOfDeletionsGiveBackTheStatistics() {
    const int v = field_.variables.front();
    ImagePopup(v, QStringLiteral("Show Light Curve"));
    const ChartModel& lc = ws().LightCurve;
    const std::size_t points = lc.series[kSeriesRaw].Count();
    QVERIFY(points > 10);
    QVERIFY(!w_->menuUndo->isEnabled());
    const std::vector<double> original = Statistics();

    ClickLightCurvePoint(points / 3, QStringLiteral("Delete Point"));
    QCOMPARE(lc.series[kSeriesRaw].Count(), points - 1);
    QCOMPARE(w_->menuUndo->text(), QStringLiteral("Undo Delete Point"));
    QVERIFY(w_->logPane()->Lines().last().startsWith(QStringLiteral("Delete Point: star #%1, row ").arg(v)));
    w_->menuRun->trigger();
    const std::vector<double> onePoint = Statistics();
    QVERIFY(onePoint != original);

    ClickLightCurvePoint(points / 2, QStringLiteral("Delete point for all "));
    QCOMPARE(w_->menuUndo->text(), QStringLiteral("Undo Delete point for all"));
    w_->menuRun->trigger();
    const std::vector<double> wholeFrame = Statistics();
    QVERIFY(wholeFrame != onePoint);
    Shot("deleted");

    // Back step by step: each Run gives the statistics of that step again.
    w_->menuUndo->trigger();
    QCOMPARE(w_->menuUndo->text(), QStringLiteral("Undo Delete Point"));
    QCOMPARE(w_->menuRedo->text(), QStringLiteral("Redo Delete point for all"));
    w_->menuRun->trigger();
    QCOMPARE(Statistics(), onePoint);
    w_->menuUndo->trigger();
    QVERIFY(!w_->menuUndo->isEnabled());
    QCOMPARE(lc.series[kSeriesRaw].Count(), points);
    w_->menuRun->trigger();
    QCOMPARE(Statistics(), original);
    // ... and forward again.
    w_->menuRedo->trigger();
    w_->menuRedo->trigger();
    QVERIFY(!w_->menuRedo->isEnabled());
    w_->menuRun->trigger();
    QCOMPARE(Statistics(), wholeFrame);
    // A new edit drops what could be redone.
    w_->menuUndo->trigger();
    ClickLightCurvePoint(1, QStringLiteral("Delete Point"));
    QVERIFY(!w_->menuRedo->isEnabled());
  }

  void undoAndRedoOfMarks() {
    const int v = field_.variables.back();
    const std::size_t s = static_cast<std::size_t>(v - 1);
    const std::uint8_t before = ws().Series.Stats[s].Mark;
    QVERIFY(before != kMarkVariable);
    ImagePopup(v, QStringLiteral("Mark as Variable"));
    QCOMPARE(ws().Series.Stats[s].Mark, kMarkVariable);
    QCOMPARE(w_->menuUndo->text(), QStringLiteral("Undo Mark as Variable"));
    // Through its shortcut, as a user undoes.
    QApplication::setActiveWindow(w_.get());
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    QTest::keyClick(w_.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ws().Series.Stats[s].Mark, before);
    QCOMPARE(w_->menuRedo->text(), QStringLiteral("Redo Mark as Variable"));
    QTest::keyClick(w_.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(ws().Series.Stats[s].Mark, kMarkVariable);
  }

  void fitToCorrectedPointsIgnoresAWildRawPoint() {
    const int v = field_.variables.front();
    const std::size_t s = static_cast<std::size_t>(v - 1);
    // One raw magnitude far off, as a satellite trail through the aperture gives.
    std::size_t wild = 0;
    while (!ws().Series.Rows[wild].Items[s].Valid)
      ++wild;
    const double asRead = ws().Series.Rows[wild].Items[s].Mag;
    ws().Series.Rows[wild].Items[s].Mag += 8.0;
    ImagePopup(v, QStringLiteral("Show Light Curve"));
    ChartView* chart = w_->lightCurveChart();
    QVERIFY(chart->LeftRange().max - chart->LeftRange().min > 8.0);
    w_->menuFitCorrected->trigger();
    QVERIFY(chart->IsZoomed());
    const PointSeries& run = ws().LightCurve.series[kSeriesRun];
    double lo = run.Point(0).y, hi = lo;
    for (const ChartPoint& p : run.Points()) {
      lo = std::min(lo, p.y);
      hi = std::max(hi, p.y);
    }
    const auto range = chart->LeftRange();
    QVERIFY2(range.max - range.min < 2.0 * (hi - lo), qPrintable(QString::number(range.max - range.min)));
    int inside = 0;
    for (const ChartPoint& p : run.Points())
      inside += (p.y >= range.min && p.y <= range.max) ? 1 : 0;
    QVERIFY(inside >= static_cast<int>(run.Count()) * 95 / 100);
    QCOMPARE(chart->BottomRange().min <= run.Point(0).x, true);
    QCOMPARE(chart->BottomRange().max >= run.Point(run.Count() - 1).x, true);
    Shot("fit_corrected");
    // Reset Zoom goes back to the automatic ranges.
    w_->menuResetZoom->trigger();
    QVERIFY(!chart->IsZoomed());

    // Hiding the raw series leaves the wild point out of the automatic range too.
    w_->menuShowRaw->setChecked(false);
    QVERIFY(chart->LeftRange().max - chart->LeftRange().min < 2.0 * (hi - lo) + 0.1);
    QVERIFY(!chart->HitTest(chart->PixelPosition(kSeriesRaw, 0).toPoint()) ||
            chart->HitTest(chart->PixelPosition(kSeriesRaw, 0).toPoint())->first != kSeriesRaw);
    Shot("raw_hidden");
    w_->menuShowRaw->setChecked(true);

    // Times are labelled from a round offset that the axis title names.
    const double offset = chart->BottomOffset();
    QVERIFY(offset > 2.4e6 && std::fmod(offset, 10.0) == 0.0);
    QVERIFY(run.Point(0).x - offset >= 0.0 && run.Point(0).x - offset < 10.0);
    QCOMPARE(chart->BottomTitleShown(), QStringLiteral("JD - %1").arg(offset, 0, 'f', 0));

    // Resting on a point tells its star, row and values.
    const QPoint at = chart->PixelPosition(kSeriesRun, 3).toPoint();
    QHelpEvent help(QEvent::ToolTip, at, chart->mapToGlobal(at));
    QApplication::sendEvent(chart, &help);
    QVERIFY2(QToolTip::text().startsWith(QStringLiteral("star #%1, row ").arg(v)), qPrintable(QToolTip::text()));
    QVERIFY(QToolTip::text().contains(QStringLiteral("corrected ")));
    QToolTip::hideText();
    ws().Series.Rows[wild].Items[s].Mag = asRead;
  }

  void exportsWriteWhatTheySayAndReadBack() {
    const int v = field_.variables.front();
    ImagePopup(v, QStringLiteral("Show Light Curve"));
    const std::size_t s = static_cast<std::size_t>(v - 1);
    std::vector<std::pair<double, double>> expected; // JD, corrected magnitude
    for (const TDataLine& row : ws().Series.Rows)
      if (row.Items[s].Valid) expected.emplace_back(row.Time, row.Items[s].RunMag);

    // AAVSO: the observer code and filter asked once, the star's name once.
    const QString aavso = dir_.filePath(QStringLiteral("aavso.txt"));
    script_.inputAnswer = QStringLiteral("XYZ");
    script_.fileAnswers = {aavso};
    const qsizetype asked = script_.inputPrompts.size();
    w_->menuExportAavso->trigger();
    QCOMPARE(script_.inputPrompts.size() - asked, 3);
    QVERIFY2(Status().startsWith(QStringLiteral("AAVSO light curve written to aavso.txt")), qPrintable(Status()));
    QVERIFY(w_->logPane()->Lines().last().endsWith(QStringLiteral("written to ") + aavso));
    QFile file(aavso);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const char* header : {"#TYPE=EXTENDED", "#OBSCODE=XYZ", "#DELIM=,", "#DATE=JD", "#OBSTYPE=CCD"})
      QVERIFY2(lines.contains(QLatin1String(header)), header);
    QStringList data;
    for (const QString& line : lines)
      if (!line.startsWith(QLatin1Char('#'))) data << line;
    QCOMPARE(data.size(), static_cast<qsizetype>(expected.size()));
    for (qsizetype i = 0; i < data.size(); ++i) {
      const QStringList f = data[i].split(QLatin1Char(','));
      QCOMPARE(f.size(), 15);
      QCOMPARE(f[0], QStringLiteral("XYZ")); // the star's name, as answered
      QVERIFY(std::abs(f[1].toDouble() - expected[static_cast<std::size_t>(i)].first) < 1e-5);
      QVERIFY(std::abs(f[2].toDouble() - expected[static_cast<std::size_t>(i)].second) < 1e-3);
      QCOMPARE(f[4], QStringLiteral("XYZ"));
      QCOMPARE(f[6], QStringLiteral("STD"));
      QCOMPARE(f[7], QStringLiteral("ENSEMBLE"));
    }
    // A second export asks for nothing but the file.
    script_.fileAnswers = {aavso};
    w_->menuExportAavso->trigger();
    QCOMPARE(script_.inputPrompts.size() - asked, 3);
    script_.inputAnswer.reset();

    const QString csv = dir_.filePath(QStringLiteral("curve.csv"));
    script_.fileAnswers = {csv};
    w_->menuExportCsv->trigger();
    QFile table(csv);
    QVERIFY(table.open(QIODevice::ReadOnly));
    QCOMPARE(table.readLine().trimmed(), QByteArray("JD,corrected_mag,error,raw_mag,flags"));

    // The chart of the page shown, as PNG and as SVG.
    for (const char* name : {"chart.png", "chart.svg"}) {
      script_.fileAnswers = {dir_.filePath(QLatin1String(name))};
      w_->menuExportChart->trigger();
      QVERIFY2(Status().startsWith(QStringLiteral("Chart written to ")), qPrintable(Status()));
    }
    QCOMPARE(QImage(dir_.filePath(QStringLiteral("chart.png"))).size(), w_->lightCurveChart()->size());
    // The SVG is drawn, not a picture: shapes for the frame, grid and points, text for
    // the ticks and the titles.
    QFile svg(dir_.filePath(QStringLiteral("chart.svg")));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    int shapes = 0, images = 0;
    QStringList texts;
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      const QStringView tag = xml.name();
      if (tag == u"path" || tag == u"rect" || tag == u"ellipse" || tag == u"circle" || tag == u"polygon" ||
          tag == u"polyline" || tag == u"line")
        ++shapes;
      images += tag == u"image" ? 1 : 0;
      if (tag == u"text") texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(images, 0);
    QVERIFY2(shapes >= static_cast<int>(expected.size()), qPrintable(QString::number(shapes)));
    QVERIFY(texts.contains(w_->lightCurveChart()->BottomTitleShown()));
    QVERIFY(texts.size() >= 6); // titles and tick labels
    script_.fileAnswers = {dir_.filePath(QStringLiteral("image.png"))};
    w_->menuExportImage->trigger();
    QCOMPARE(QImage(dir_.filePath(QStringLiteral("image.png"))).size(), w_->imageView()->size());
    // Save Image keeps its own name and now says so.
    w_->menuSaveImg->trigger();
    QVERIFY2(Status().startsWith(QStringLiteral("Image written to night.fit.bmp")), qPrintable(Status()));
  }

  void theMarkColoursShowInTheStatusBarOnRequest() {
    auto* legend = w_->findChild<QWidget*>(QStringLiteral("MarkLegend"));
    QVERIFY(legend != nullptr);
    QVERIFY(!legend->isVisible());
    w_->menuMarkLegend->trigger();
    QVERIFY(legend->isVisible());
    QCoreApplication::processEvents();
    QVERIFY(legend->width() >= legend->sizeHint().width()); // every colour readable
    ws().hooks->ShowPage(kPageView);
    Shot("mark_legend");
    w_->menuMarkLegend->trigger();
    QVERIFY(!legend->isVisible());
  }

  void sessionSavedAndRestoredGivesTheSameWork() {
    // A session with deletions, a mark and a changed setting.
    w_->settingsPage()->spPart4select->setValue(65);
    w_->menuRun->trigger();
    const std::vector<bool> validity = ValidityOf(ws().Series);
    std::vector<std::uint8_t> marks;
    for (const TStarStat& st : ws().Series.Stats)
      marks.push_back(st.Mark);
    QVERIFY(std::count(marks.begin(), marks.end(), kMarkVariable) >= 1);
    const std::vector<double> statistics = Statistics();
    // A period kept from the period search comes back with its star.
    const int star = field_.variables.front();
    ws().SelectedStar = static_cast<std::uint16_t>(star - 1);
    w_->menuPeriodSearch->trigger();
    w_->periodSearchWindow()->ShowFolded(0.4375);
    w_->periodSearchWindow()->useButton->click();
    w_->periodSearchWindow()->hide();
    QCOMPARE(ws().ChosenPeriods.at(star), 0.4375);
    w_->menuSaveSession->trigger();
    const QString session = field_.base + QStringLiteral(".morvik");
    QVERIFY(QFileInfo::exists(session));
    QVERIFY(w_->logPane()->Lines().last().startsWith(QStringLiteral("Session written to ")));

    // Declining the offer opens the table as it is in its file.
    script_.answerYes = false;
    w_->settingsPage()->spPart4select->setValue(70);
    Open(field_.frame);
    QCOMPARE(script_.questionCaptions.last(), QStringLiteral("Restore Session"));
    QVERIFY(ValidityOf(ws().Series) != validity);
    QVERIFY(ws().ChosenPeriods.empty());

    script_.answerYes = true;
    Open(field_.frame);
    QVERIFY(script_.messages.isEmpty());
    QCOMPARE(ws().CompStarId, field_.comparison);
    QCOMPARE(w_->settingsPage()->spPart4select->value(), 65);
    QVERIFY(ValidityOf(ws().Series) == validity);
    QCOMPARE(ws().RunCount, 1); // restored and run
    for (std::size_t j = 0; j < marks.size(); ++j)
      QCOMPARE(ws().Series.Stats[j].Mark, marks[j]);
    QCOMPARE(Statistics(), statistics);
    QVERIFY2(Status().startsWith(QStringLiteral("Session restored")), qPrintable(Status()));
    QCOMPARE(ws().ChosenPeriods, (std::map<int, double>{{star, 0.4375}}));
    // The period search opens on the star folded with it, ready for the folded-curve export.
    ws().SelectedStar = static_cast<std::uint16_t>(star - 1);
    w_->menuPeriodSearch->trigger();
    QCOMPARE(w_->periodSearchWindow()->Folded().period, 0.4375);
    w_->periodSearchWindow()->hide();
    ws().hooks->ShowPage(kPageView);
    Shot("restored");
  }

  void sessionsThatDoNotFitAreRefusedAndChangeNothing() {
    const QString session = field_.base + QStringLiteral(".morvik");
    QFile file(session);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    auto writeSession = [&](const QByteArray& bytes) {
      QFile f(session);
      QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(bytes);
    };
    const std::vector<bool> validity = ValidityOf(ws().Series);
    const std::vector<double> statistics = Statistics();
    const int runs = ws().RunCount;
    QByteArray otherTable = good;
    otherTable.replace(QByteArray("table 60 stars"), QByteArray("table 61 stars"));
    const struct {
      QByteArray bytes;
      const char* message;
    } cases[] = {
        {otherTable, "saved for a table of 61 stars"},
        {good.left(good.indexOf('\n') + 1), "cut short"},
        {QByteArray("<?xml version=\"1.0\"?>\n<session/>\n"), "no session this program can restore"},
        {QByteArray("morvik-session 7\ntable 60 stars 80 rows\n"), "format version 7"},
        {QByteArray("\x00\xff\x13garbage", 10), "no session this program can restore"},
        {good + QByteArray("deleted 5000 3\n"), "does not have"},
    };
    for (const auto& c : cases) {
      writeSession(c.bytes);
      script_.messages.clear();
      QVERIFY(!w_->RestoreSession(session));
      QCOMPARE(script_.messages.size(), 1);
      QVERIFY2(script_.messages[0].first.contains(QLatin1String(c.message)), qPrintable(script_.messages[0].first));
      QVERIFY(script_.messages[0].second);
      QVERIFY(ValidityOf(ws().Series) == validity);
      QCOMPARE(Statistics(), statistics);
      QCOMPARE(ws().RunCount, runs);
    }
    script_.messages.clear();
    writeSession(good);
  }
};

QTEST_MAIN(NightWorkTest)
#include "night_work_test.moc"
