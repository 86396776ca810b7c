// The desktop around the specified steps, as a night's work uses it: opening frame
// after frame, fitting the light curve to its corrected points, undoing deletions and
// marks, and saying what happened in the status bar.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "ui/chart_view.hpp"
#include "ui/log_pane.hpp"
#include "ui/picture_view.hpp"
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
  // The statistics a Run gives, as one comparable list.
  std::vector<double> Statistics() {
    std::vector<double> v;
    for (const TStarStat& st : ws().Series.Stats) {
      v.push_back(st.NValid);
      v.push_back(st.Variance);
    }
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
};

QTEST_MAIN(NightWorkTest)
#include "night_work_test.moc"
