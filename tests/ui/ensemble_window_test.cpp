// The ensemble check and the candidates in the real window: the warning, the flagged
// stars' colour, the Candidates table and a click through to the light curve.

#include <QDockWidget>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "ui/chart_view.hpp"
#include "ui/ensemble_panes.hpp"
#include "ui/picture_view.hpp"
#include "ui_test_support.hpp"
#include "workspace/ensemble_marks.hpp"

using namespace morvik;
using namespace morvik::test;

class EnsembleWindowTest : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir_;
  Field field_;
  std::unique_ptr<MainWindow> w_;
  Script script_;

  Workspace& ws() { return w_->workspace(); }
  const FieldStar& Star(int id) const { return field_.stars.at(static_cast<std::size_t>(id - 1)); }
  void Shot(const char* name) {
    QCoreApplication::processEvents();
    QVERIFY(w_->grab().save(ScreenshotDir() + QStringLiteral("/ensemble_%1.png").arg(QLatin1String(name))));
  }

private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QString error;
    QVERIFY2(MakeField(dir_.filePath(QStringLiteral("field")), {}, field_, error), qPrintable(error));
    w_ = std::make_unique<MainWindow>();
    script_.Install(*w_);
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    script_.fileAnswers = {field_.frame};
    w_->menuOpen->trigger();
    script_.popupChoice = QStringLiteral("Select a Comparison");
    RightClick(w_->imageView(), ViewPixelOf(Star(field_.comparison)));
    script_.popupChoice.clear();
    QCOMPARE(ws().CompStarId, field_.comparison);
  }

  void cleanupTestCase() { w_.reset(); }

  void offByDefaultRunWarnsOfNothing() {
    QVERIFY(!w_->menuCheckEnsemble->isChecked());
    QVERIFY(!w_->menuDropVarying->isChecked());
    w_->menuRun->trigger();
    QVERIFY(ws().Check.Stars.empty());
    QVERIFY(w_->ensembleWarning()->isHidden());
  }

  void checkWarnsAndColoursTheFlaggedStars() {
    w_->menuCheckEnsemble->trigger();
    QVERIFY(w_->menuCheckEnsemble->isChecked());
    w_->menuRun->trigger();
    QVERIFY(script_.messages.isEmpty());
    // The sample field's automatic ensemble takes in a variable.
    QVERIFY(ws().Check.FlaggedCount > 0);
    int flaggedVariable = 0;
    for (int v : field_.variables)
      if (ws().Check.Stars.at(static_cast<std::size_t>(v - 1)).Flagged) flaggedVariable = v;
    QVERIFY(flaggedVariable > 0);
    QVERIFY(!w_->ensembleWarning()->isHidden());
    const QString text = w_->ensembleWarning()->label()->text();
    QVERIFY(text.contains(QString::number(flaggedVariable)));
    QCOMPARE(w_->statusPanel(1)->text(), text);

    const FieldStar& s = Star(flaggedVariable);
    w_->scrollBox()->ensureVisible(qRound(s.x), qRound(s.y), 120, 120);
    const QRgb magenta = qRgb(kFlaggedColour.r, kFlaggedColour.g, kFlaggedColour.b);
    const QRect box(qRound(s.x) - 9, qRound(s.y) - 9, 18, 18);
    QVERIFY(CountColour(w_->imageView()->Shown(), box, magenta) >= 20);
    Shot("warning");

    QTest::mouseClick(w_->ensembleWarning()->dismissButton(), Qt::LeftButton);
    QVERIFY(w_->ensembleWarning()->isHidden());
  }

  void dropVaryingLeavesTheFlaggedStarsOut() {
    w_->menuDropVarying->trigger();
    w_->menuRun->trigger();
    QVERIFY(ws().Check.FlaggedCount > 0);
    for (std::size_t j = 0; j < ws().Check.Stars.size(); ++j)
      if (ws().Check.Stars[j].Flagged && j + 1 != ws().CompStarId) QVERIFY(!ws().Series.Stats[j].Used);
    QVERIFY(w_->ensembleWarning()->label()->text().contains(QStringLiteral("left out")));
    Shot("dropped");
  }

  void candidatesTableClicksThroughToTheLightCurve() {
    w_->menuSearchVars->trigger();
    QVERIFY(!ws().Candidates.empty());
    w_->menuCandidates->trigger();
    QVERIFY(w_->candidatesDock()->isVisible());
    QTableWidget* table = w_->candidatesPane()->table();
    QCOMPARE(table->rowCount(), static_cast<int>(ws().Candidates.size()));
    // Highest score first, and sortable by any column.
    QCOMPARE(table->item(0, 0)->data(Qt::DisplayRole).toInt(), static_cast<int>(ws().Candidates.front().Id));
    QVERIFY(table->isSortingEnabled());
    Shot("candidates");

    const int id = table->item(0, 0)->data(Qt::DisplayRole).toInt();
    table->selectRow(0);
    QCOMPARE(ws().PickedStar, id);
    QCOMPARE(static_cast<int>(ws().SelectedStar), id - 1);
    // The image has scrolled to the star.
    const QPoint seen = w_->imageView()->mapTo(w_->scrollBox()->viewport(), ViewPixelOf(Star(id)));
    QVERIFY(w_->scrollBox()->viewport()->rect().contains(seen));
    const PointSeries& points = ws().VarChart.series[kSeries1];
    QCOMPARE(points.Point(ws().SelectedPoint).label, std::to_string(id - 1));

    QTest::mouseClick(w_->candidatesPane()->lightCurveButton(), Qt::LeftButton);
    QCOMPARE(w_->pages()->currentIndex(), kPageLightCurve);
    QVERIFY(ws().LightCurve.series[kSeriesRun].Count() > 0);
    Shot("light_curve");
    ws().hooks->ShowPage(kPageView);

    // Marked from the table: a variable stays listed, a false alarm leaves the list.
    QTest::mouseClick(w_->candidatesPane()->variableButton(), Qt::LeftButton);
    QCOMPARE(ws().Series.Stats.at(static_cast<std::size_t>(id - 1)).Mark, kMarkVariable);
    const int rows = table->rowCount();
    table->selectRow(rows - 1);
    const int last = table->item(rows - 1, 0)->data(Qt::DisplayRole).toInt();
    QTest::mouseClick(w_->candidatesPane()->falseAlarmButton(), Qt::LeftButton);
    QCOMPARE(ws().Series.Stats.at(static_cast<std::size_t>(last - 1)).Mark, kMarkFalseAlarm);
    QCOMPARE(table->rowCount(), rows - 1);
  }
};

QTEST_MAIN(EnsembleWindowTest)
#include "ensemble_window_test.moc"
