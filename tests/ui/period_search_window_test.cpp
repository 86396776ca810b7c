// The Period Search window on a generated light curve: search, peaks, folded curve,
// nudging, "Use this period", exports and Cancel; screenshots of the results.

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numbers>

#include "ui/chart_view.hpp"
#include "ui/main_window.hpp"
#include "ui/period_search_window.hpp"
#include "ui_test_support.hpp"

using namespace morvik;

class PeriodSearchWindowTest : public QObject {
  Q_OBJECT

  static constexpr double kPeriod = 0.7317;

  // Two seasons of nightly visits of a sinusoid with a little scatter.
  static void Series(std::vector<double>& t, std::vector<double>& y, std::vector<double>& dy) {
    unsigned state = 12345;
    auto uniform = [&state] {
      state = state * 1103515245u + 12345u;
      return static_cast<double>((state >> 8) & 0xFFFF) / 65536.0;
    };
    for (int night = 0; night < 400; ++night) {
      if (night % 365 > 150 || uniform() < 0.5) continue;
      t.push_back(2460000.5 + night + 0.1 * (uniform() - 0.5));
      y.push_back(12.0 + 0.2 * std::sin(2 * std::numbers::pi * t.back() / kPeriod) + 0.02 * (uniform() - 0.5));
      dy.push_back(0.01);
    }
  }

  static QString Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }

private slots:
  void SearchFoldNudgeUseExport() {
    std::vector<double> t, y, dy;
    Series(t, y, dy);
    PeriodSearchWindow w;
    int usedStar = 0;
    double usedPeriod = 0.0;
    w.onUsePeriod = [&](int star, double p) { usedStar = star, usedPeriod = p; };
    w.SetStar(5, t, y, dy);
    w.minPeriodBox->setValue(0.2);
    w.oversamplingBox->setValue(5);
    w.show();
    QTest::mouseClick(w.searchButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.HasResult(), 120000);
    QVERIFY(!w.Searching());
    QCOMPARE(w.progressBar->value(), 1000);
    QVERIFY(std::fabs(w.Result().combined.period - kPeriod) < 0.01 * kPeriod);
    QCOMPARE(w.peakTable->rowCount(), 15); // five peaks of each of the three methods
    QCOMPARE(w.peakTable->horizontalHeaderItem(2)->text(), QStringLiteral("Period (d)"));
    const ChartModel* pg = w.periodogramChart->Model();
    QCOMPARE(pg->bottomTitle, std::string("Frequency (cycles per day)"));
    QVERIFY(pg->leftTitle == "Power" || pg->leftTitle == "Theta");
    QCOMPARE(pg->series.size(), std::size_t{2});
    QCOMPARE(pg->series[1].Count(), std::size_t{5}); // the peaks marked
    QVERIFY(w.grab().save(test::ScreenshotDir() + QStringLiteral("/period_search_frequency.png")));
    w.axisBox->setCurrentIndex(1);
    QCOMPARE(w.periodogramChart->Model()->bottomTitle, std::string("Period (d)"));

    // A peak of the table: the folded curve of its period, two cycles.
    w.peakTable->selectRow(0);
    emit w.peakTable->cellClicked(0, 0);
    const double p0 = w.peakTable->item(0, 2)->text().toDouble();
    QCOMPARE(w.Folded().period, w.periodBox->value());
    QVERIFY(std::fabs(w.periodBox->value() - p0) < 1e-6 * p0);
    QCOMPARE(w.Folded().phase.size(), 2 * t.size());
    QCOMPARE(w.foldedChart->Model()->bottomTitle, std::string("Phase (epoch at minimum light)"));
    QVERIFY(w.grab().save(test::ScreenshotDir() + QStringLiteral("/period_search_folded.png")));

    // The peak's period comes with its error; the period box nudges by a tenth of it.
    const double err0 = w.peakTable->item(0, 3)->text().toDouble();
    QVERIFY(err0 > 0.0 && err0 < 0.01 * p0);
    const double step = w.periodBox->singleStep();
    QVERIFY(std::fabs(step - 0.1 * err0) < 1e-2 * step);
    w.periodBox->setFocus();
    QTest::keyClick(w.periodBox, Qt::Key_Up);
    QVERIFY(std::fabs(w.periodBox->value() - (p0 + step)) < 1e-7);
    QCOMPARE(w.Folded().period, w.periodBox->value());

    QTest::mouseClick(w.useButton, Qt::LeftButton);
    QCOMPARE(usedStar, 5);
    QCOMPARE(usedPeriod, w.periodBox->value());

    QTemporaryDir dir;
    const QString pgPath = dir.filePath(QStringLiteral("pg.csv")), peaks = dir.filePath(QStringLiteral("peaks.csv")),
                  folded = dir.filePath(QStringLiteral("folded.csv"));
    QVERIFY(w.ExportPeriodogram(pgPath) && w.ExportPeaks(peaks) && w.ExportFolded(folded));
    QVERIFY(Read(pgPath).startsWith(QStringLiteral("method,frequency,period,power\n")));
    QVERIFY(Read(peaks).startsWith(
        QStringLiteral("method,rank,frequency,period,period_error,power,fap,alias,note\ncombined,1,")));
    QVERIFY(Read(folded).contains(QStringLiteral("\nkind,phase,mag\npoint,")));
  }

  void CancelStopsTheSearch() {
    std::vector<double> t, y, dy;
    Series(t, y, dy);
    PeriodSearchWindow w;
    w.SetStar(2, t, y, dy);
    w.minPeriodBox->setValue(0.01); // millions of frequencies: long enough to cancel
    w.oversamplingBox->setValue(50);
    w.show();
    QTest::mouseClick(w.searchButton, Qt::LeftButton);
    QVERIFY(w.Searching());
    QVERIFY(w.cancelButton->isEnabled());
    QTest::mouseClick(w.cancelButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Searching(), 120000);
    QCOMPARE(w.statusLabel->text(), QStringLiteral("Search cancelled."));
    QVERIFY(!w.HasResult());
    QVERIFY(w.searchButton->isEnabled());
    QVERIFY(w.grab().save(test::ScreenshotDir() + QStringLiteral("/period_search_cancelled.png")));
  }

  void MenuOpensTheWindowForTheShownStar() {
    MainWindow main;
    main.menuPeriodSearch->trigger();
    PeriodSearchWindow* w = main.periodSearchWindow();
    QVERIFY(w != nullptr && w->isVisible());
    QCOMPARE(w->Star(), 1);
    QTest::mouseClick(w->searchButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->Searching(), 60000);
    QVERIFY(w->statusLabel->text().contains(QStringLiteral("at least 8 measurements")));
  }
};

QTEST_MAIN(PeriodSearchWindowTest)
#include "period_search_window_test.moc"
