// The chart view on the offscreen platform: ranges, pixel mapping, hit test, zoom
// rules and the hooks, through real mouse events.

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <string>
#include <vector>

#include "ui/chart_view.hpp"

using morvik::ChartModel;
using morvik::ChartView;
using morvik::MarkerStyle;
using morvik::PointSeries;

namespace {

// A view of 600 x 400 showing the model, on screen so that mouse events reach it.
struct Shown {
  explicit Shown(const ChartModel& model) {
    view.resize(600, 400);
    view.SetModel(&model);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) qWarning("chart view not exposed");
  }
  ChartView view;
};

ChartModel TwoAxisModel() {
  ChartModel m;
  m.title = "Chart";
  m.bottomTitle = "X";
  m.leftTitle = "Y";
  m.series.emplace_back("S", morvik::colors::Red, MarkerStyle::Circle, 3);
  m.series[0].Add(0.0, 5.0, "0");
  m.series[0].Add(5.0, 10.0, "1");
  m.series[0].Add(10.0, 15.0, "2");
  return m;
}

QPoint At(const QPointF& p) { return p.toPoint(); }

void Drag(ChartView& view, QPoint from, QPoint to) {
  QTest::mousePress(&view, Qt::LeftButton, {}, from);
  QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
}

bool Near(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(a) + std::fabs(b)); }

} // namespace

class ChartViewTest : public QObject {
  Q_OBJECT

private slots:
  void FullRangeKeepsExtremeMarkersWhole() {
    const ChartModel m = TwoAxisModel();
    Shown s(m);
    const auto x = s.view.BottomRange();
    const auto y = s.view.LeftRange();
    QVERIFY(x.min < 0.0 && x.max > 10.0);
    QVERIFY(y.min < 5.0 && y.max > 15.0);
    // Margins stay small: the data fill most of the axis.
    QVERIFY((10.0 - 0.0) / (x.max - x.min) > 0.9);
    QVERIFY((15.0 - 5.0) / (y.max - y.min) > 0.9);

    const QRect plot = s.view.PlotArea();
    const int half = m.series[0].halfSize;
    const QPointF first = s.view.PixelPosition(0, 0);
    const QPointF last = s.view.PixelPosition(0, 2);
    QVERIFY(first.x() - half > plot.left());
    QVERIFY(last.x() + half < plot.left() + plot.width());
    QVERIFY(first.y() + half < plot.top() + plot.height()); // lowest value at the bottom
    QVERIFY(last.y() - half > plot.top());
    // The middle point lies halfway in both directions.
    const QPointF mid = s.view.PixelPosition(0, 1);
    QVERIFY(std::fabs(mid.x() - (first.x() + last.x()) / 2) <= 1.0);
    QVERIFY(std::fabs(mid.y() - (first.y() + last.y()) / 2) <= 1.0);
  }

  void RangesSpanAllSeries() {
    ChartModel m = TwoAxisModel();
    m.series.emplace_back("T", morvik::colors::Green, MarkerStyle::Rectangle, 2);
    m.series[1].Add(-20.0, 100.0);
    Shown s(m);
    QVERIFY(s.view.BottomRange().min < -20.0);
    QVERIFY(s.view.BottomRange().max > 10.0);
    QVERIFY(s.view.LeftRange().min < 5.0);
    QVERIFY(s.view.LeftRange().max > 100.0);
  }

  void DegenerateDataGiveUsableRanges() {
    ChartModel one;
    one.series.emplace_back("S", morvik::colors::Red, MarkerStyle::Circle, 3);
    one.series[0].Add(2459000.5, 12.3);
    Shown s(one);
    QVERIFY(s.view.BottomRange().min < 2459000.5 && s.view.BottomRange().max > 2459000.5);
    QVERIFY(s.view.LeftRange().min < 12.3 && s.view.LeftRange().max > 12.3);
    QVERIFY(s.view.PlotArea().contains(At(s.view.PixelPosition(0, 0))));

    // Equal y values over different x, all at zero.
    ChartModel flat;
    flat.series.emplace_back("S", morvik::colors::Red, MarkerStyle::Circle, 3);
    for (int i = 0; i < 5; ++i)
      flat.series[0].Add(i, 0.0);
    s.view.SetModel(&flat);
    QVERIFY(s.view.LeftRange().min < 0.0 && s.view.LeftRange().max > 0.0);
    QVERIFY(s.view.PixelHeight(0, 1.0) > 0);
    const QPointF p = s.view.PixelPosition(0, 3);
    QVERIFY(std::isfinite(p.x()) && std::isfinite(p.y()));
    QVERIFY(s.view.PlotArea().contains(At(p)));

    // A model whose series are all empty draws empty axes.
    ChartModel empty;
    empty.series.emplace_back("S", morvik::colors::Red, MarkerStyle::Circle, 3);
    s.view.SetModel(&empty);
    QVERIFY(s.view.BottomRange().min < s.view.BottomRange().max);
    QVERIFY(!s.view.grab().isNull());
  }

  void InvertedAxisPutsLargerValuesLower() {
    ChartModel m = TwoAxisModel();
    Shown s(m);
    const double normalLow = s.view.PixelPosition(0, 0).y();  // y = 5
    const double normalHigh = s.view.PixelPosition(0, 2).y(); // y = 15
    QVERIFY(normalHigh < normalLow);
    m.leftInverted = true;
    s.view.Refresh();
    const double invertedLow = s.view.PixelPosition(0, 0).y();
    const double invertedHigh = s.view.PixelPosition(0, 2).y();
    QVERIFY(invertedHigh > invertedLow);
    // The same margins, mirrored about the middle of the plotting area.
    const QRect plot = s.view.PlotArea();
    QCOMPARE(invertedLow - plot.top(), plot.top() + plot.height() - normalLow);
    QCOMPARE(s.view.PixelPosition(0, 0).x(), s.view.PixelPosition(0, 0).x());
  }

  void PixelHeightRule() {
    const ChartModel m = TwoAxisModel();
    Shown s(m);
    const auto y = s.view.LeftRange();
    const int length = s.view.PlotArea().height();
    QCOMPARE(s.view.PixelHeight(0, 0.0), 0);
    QCOMPARE(s.view.PixelHeight(0, -1.0), 0);
    QCOMPARE(s.view.PixelHeight(0, std::nan("")), 0);
    QCOMPARE(s.view.PixelHeight(0, y.max - y.min), length);
    const double v = 2.5;
    QCOMPARE(s.view.PixelHeight(0, v), static_cast<int>(std::lrint(v * length / (y.max - y.min))));
    // It agrees with the distance between two points' pixel positions (5 apart in y).
    const int between = static_cast<int>(s.view.PixelPosition(0, 0).y() - s.view.PixelPosition(0, 1).y());
    QVERIFY(std::abs(s.view.PixelHeight(0, 5.0) - between) <= 1);
  }

  void HitNeedsStrictlyLessThanHalfSize() {
    const ChartModel m = TwoAxisModel();
    Shown s(m);
    std::vector<std::size_t> hits;
    s.view.clickPointer = [&](std::size_t k, std::size_t i, int, int) {
      QCOMPARE(k, std::size_t{0});
      hits.push_back(i);
    };
    const QPoint c = At(s.view.PixelPosition(0, 1));
    const int h = m.series[0].halfSize;
    struct Case {
      int dx, dy;
      bool hit;
    };
    const Case cases[] = {{0, 0, true},      {h - 1, 0, true},    {-(h - 1), h - 1, true}, {h, 0, false},
                          {-h, 0, false},    {0, h, false},       {0, -h, false},          {h - 1, h, false},
                          {h, h - 1, false}, {1 - h, 1 - h, true}};
    for (const Case& cs : cases) {
      hits.clear();
      const QPoint at = c + QPoint(cs.dx, cs.dy);
      QTest::mouseClick(&s.view, Qt::LeftButton, {}, at);
      QVERIFY2(hits.size() == (cs.hit ? 1u : 0u), qPrintable(QStringLiteral("offset %1,%2").arg(cs.dx).arg(cs.dy)));
      if (cs.hit) QCOMPARE(hits[0], std::size_t{1});
      QCOMPARE(s.view.HitTest(at).has_value(), cs.hit);
    }
  }

  void HitTriesLastSeriesFirstAndLowestIndexWithin() {
    ChartModel m;
    m.series.emplace_back("RAW", morvik::colors::Red, MarkerStyle::Circle, 2);
    m.series.emplace_back("RUN", morvik::colors::Green, MarkerStyle::Rectangle, 2);
    // Same place in both series, and two equal points inside the second.
    m.series[0].Add(1.0, 1.0, "a");
    m.series[0].Add(2.0, 2.0, "b");
    m.series[1].Add(0.0, 0.0, "c");
    m.series[1].Add(1.0, 1.0, "d");
    m.series[1].Add(1.0, 1.0, "e");
    Shown s(m);
    std::vector<std::pair<std::size_t, std::size_t>> hits;
    s.view.clickPointer = [&](std::size_t k, std::size_t i, int, int) { hits.emplace_back(k, i); };
    QTest::mouseClick(&s.view, Qt::LeftButton, {}, At(s.view.PixelPosition(0, 0)));
    QCOMPARE(hits.size(), std::size_t{1});
    QCOMPARE(hits[0], std::make_pair(std::size_t{1}, std::size_t{1}));
    // A point only the first series has.
    hits.clear();
    QTest::mouseClick(&s.view, Qt::LeftButton, {}, At(s.view.PixelPosition(0, 1)));
    QCOMPARE(hits.size(), std::size_t{1});
    QCOMPARE(hits[0], std::make_pair(std::size_t{0}, std::size_t{1}));
    // The right button hits too; it starts no band.
    hits.clear();
    QTest::mouseClick(&s.view, Qt::RightButton, {}, At(s.view.PixelPosition(1, 0)));
    QCOMPARE(hits.size(), std::size_t{1});
    QCOMPARE(hits[0], std::make_pair(std::size_t{1}, std::size_t{0}));
    QVERIFY(!s.view.Pressing());
  }

  void ClickReportsMousePosition() {
    const ChartModel m = TwoAxisModel();
    Shown s(m);
    QPoint got(-1, -1);
    s.view.clickPointer = [&](std::size_t, std::size_t, int x, int y) { got = QPoint(x, y); };
    const QPoint at = At(s.view.PixelPosition(0, 2)) + QPoint(1, -2);
    QTest::mouseClick(&s.view, Qt::LeftButton, {}, at);
    QCOMPARE(got, at);
  }

  void EmptyChartNeverClicks() {
    ChartModel m;
    m.series.emplace_back("S", morvik::colors::Red, MarkerStyle::Circle, 3);
    Shown s(m);
    int clicks = 0;
    s.view.clickPointer = [&](std::size_t, std::size_t, int, int) { ++clicks; };
    const QRect plot = s.view.PlotArea();
    for (const QPoint& at : {plot.center(), plot.topLeft() + QPoint(2, 2), plot.bottomRight() - QPoint(2, 2)})
      QTest::mouseClick(&s.view, Qt::LeftButton, {}, at);
    ChartModel none; // no series at all
    s.view.SetModel(&none);
    QTest::mouseClick(&s.view, Qt::LeftButton, {}, s.view.PlotArea().center());
    s.view.SetModel(nullptr);
    QTest::mouseClick(&s.view, Qt::LeftButton, {}, s.view.PlotArea().center());
    QVERIFY(!s.view.grab().isNull());
    QCOMPARE(clicks, 0);
  }

  void ZoomNeedsMoreThanSixteenPixelsBothWays() {
    ChartModel m = TwoAxisModel();
    Shown s(m);
    const auto full = s.view.BottomRange();
    const QPoint a = s.view.PlotArea().topLeft() + QPoint(40, 40);
    for (const QPoint d : {QPoint(16, 100), QPoint(100, 16), QPoint(16, 16), QPoint(0, 0), QPoint(-16, -90)}) {
      Drag(s.view, a, a + d);
      QVERIFY2(!s.view.IsZoomed(), qPrintable(QStringLiteral("band %1,%2").arg(d.x()).arg(d.y())));
    }
    Drag(s.view, a, a + QPoint(17, 17));
    QVERIFY(s.view.IsZoomed());
    QVERIFY(s.view.BottomRange().max - s.view.BottomRange().min < (full.max - full.min) / 10);
    // A short band while zoomed changes nothing either.
    const auto zoomed = s.view.BottomRange();
    Drag(s.view, a, a + QPoint(-100, 10));
    QVERIFY(s.view.IsZoomed());
    QCOMPARE(s.view.BottomRange().min, zoomed.min);
  }

  void ZoomToBandAndUndoByOtherDirections() {
    ChartModel m = TwoAxisModel();
    Shown s(m);
    const auto fullX = s.view.BottomRange();
    const auto fullY = s.view.LeftRange();
    // A band around the middle point only.
    const QPoint mid = At(s.view.PixelPosition(0, 1));
    Drag(s.view, mid - QPoint(30, 30), mid + QPoint(30, 30));
    QVERIFY(s.view.IsZoomed());
    const auto x = s.view.BottomRange();
    const auto y = s.view.LeftRange();
    QVERIFY(x.min > 0.0 && x.max < 10.0 && x.min < 5.0 && x.max > 5.0);
    QVERIFY(y.min > 5.0 && y.max < 15.0 && y.min < 10.0 && y.max > 10.0);
    // The middle point stays at the middle of the zoomed view; the others leave it and
    // can no longer be hit, even where their pixel position would be.
    const QRect plot = s.view.PlotArea();
    QVERIFY(std::abs(s.view.PixelPosition(0, 1).x() - plot.center().x()) <= 2);
    QVERIFY(!plot.contains(At(s.view.PixelPosition(0, 0))));
    QVERIFY(!s.view.HitTest(At(s.view.PixelPosition(0, 0))).has_value());
    // A point just left of the view: its marker would reach into the area, but it is
    // not shown and so cannot be clicked.
    m.series[0].Add(x.min - (x.max - x.min) * 1e-4, (y.min + y.max) / 2, "hidden");
    s.view.Refresh();
    QVERIFY(s.view.IsZoomed());
    const QPointF hidden = s.view.PixelPosition(0, 1);
    QVERIFY(std::abs(hidden.x() - plot.left()) <= 1);
    QVERIFY(!s.view.HitTest(QPoint(plot.left() + 1, static_cast<int>(hidden.y()))).has_value());
    m.series[0].Add(x.min + (x.max - x.min) * 1e-4, (y.min + y.max) / 2, "shown");
    s.view.Refresh();
    QVERIFY(s.view.HitTest(QPoint(plot.left() + 1, static_cast<int>(hidden.y()))).has_value());

    for (const QPoint d : {QPoint(-40, -40), QPoint(40, -40), QPoint(-40, 40)}) {
      Drag(s.view, mid - QPoint(30, 30), mid + QPoint(30, 30)); // zoom again (within the zoom)
      QVERIFY(s.view.IsZoomed());
      const QPoint from = s.view.PlotArea().center();
      Drag(s.view, from, from + d);
      QVERIFY2(!s.view.IsZoomed(), qPrintable(QStringLiteral("band %1,%2").arg(d.x()).arg(d.y())));
      QVERIFY(Near(s.view.BottomRange().min, fullX.min) && Near(s.view.BottomRange().max, fullX.max));
      QVERIFY(Near(s.view.LeftRange().min, fullY.min) && Near(s.view.LeftRange().max, fullY.max));
    }
  }

  void ZoomOnInvertedAxisKeepsBandContents() {
    ChartModel m = TwoAxisModel();
    m.leftInverted = true;
    Shown s(m);
    const QPoint mid = At(s.view.PixelPosition(0, 1));
    Drag(s.view, mid - QPoint(25, 25), mid + QPoint(25, 25));
    QVERIFY(s.view.IsZoomed());
    const auto y = s.view.LeftRange();
    QVERIFY(y.min < 10.0 && y.max > 10.0 && y.min > 5.0 && y.max < 15.0);
    QVERIFY(s.view.PlotArea().contains(At(s.view.PixelPosition(0, 1))));
  }

  void ModelZoomResetsReturnToFullView() {
    ChartModel m = TwoAxisModel();
    Shown s(m);
    const auto full = s.view.BottomRange();
    const QPoint a = s.view.PlotArea().topLeft() + QPoint(20, 20);
    Drag(s.view, a, a + QPoint(60, 60));
    QVERIFY(s.view.IsZoomed());
    // The owner undoes the zoom and refills with other data; the view follows.
    m.UndoZoom();
    m.series[0].Clear();
    m.series[0].Add(100.0, 1.0);
    m.series[0].Add(200.0, 2.0);
    s.view.Refresh();
    QVERIFY(!s.view.IsZoomed());
    QVERIFY(s.view.BottomRange().min < 100.0 && s.view.BottomRange().max > 200.0);
    QVERIFY(s.view.BottomRange().min > full.max);
    // The view's own undo works as well.
    Drag(s.view, a, a + QPoint(60, 60));
    QVERIFY(s.view.IsZoomed());
    s.view.UndoZoom();
    QVERIFY(!s.view.IsZoomed());
  }

  void PostedReleaseAfterPopupEndsThePress() {
    ChartModel m = TwoAxisModel();
    Shown s(m);
    int clicks = 0;
    s.view.clickPointer = [&](std::size_t, std::size_t, int, int) {
      ++clicks;
      s.view.PostReleaseAfterPopup(); // as an owner does after its popup menu closed
    };
    // Zoom on a band holding every point, so that the middle one stays clickable.
    const QPoint lowLeft = At(s.view.PixelPosition(0, 0));
    const QPoint highRight = At(s.view.PixelPosition(0, 2));
    Drag(s.view, QPoint(lowLeft.x() - 5, highRight.y() - 5), QPoint(highRight.x() + 5, lowLeft.y() + 5));
    QVERIFY(s.view.IsZoomed());
    QCOMPARE(clicks, 0);

    // The press on the point ends at (0, 0): a band to the upper left, so the zoom goes.
    const QPoint point = At(s.view.PixelPosition(0, 1));
    QVERIFY(point.x() > 16 && point.y() > 16);
    QTest::mousePress(&s.view, Qt::LeftButton, {}, point);
    QCOMPARE(clicks, 1);
    QVERIFY(s.view.Pressing());
    QCoreApplication::processEvents();
    QVERIFY(!s.view.Pressing());
    QVERIFY(!s.view.IsZoomed());
  }

  void ReleasesWithoutAPressInTheAreaDoNothing() {
    ChartModel m = TwoAxisModel();
    Shown s(m);
    const QPoint a = s.view.PlotArea().topLeft() + QPoint(30, 30);
    Drag(s.view, a, a + QPoint(100, 100));
    QVERIFY(s.view.IsZoomed());
    // Posted release with no press; then a press outside the plotting area.
    s.view.PostReleaseAfterPopup();
    QCoreApplication::processEvents();
    QVERIFY(s.view.IsZoomed());
    Drag(s.view, QPoint(2, 2), s.view.PlotArea().center());
    QVERIFY(s.view.IsZoomed());
    QVERIFY(!s.view.Pressing());
  }

  void AfterDrawRunsAfterEveryRedrawInWidgetPixels() {
    ChartModel m = TwoAxisModel();
    Shown s(m);
    int calls = 0;
    s.view.afterDraw = [&](QPainter& painter, const ChartView& view) {
      ++calls;
      const QPointF p = view.PixelPosition(0, 1);
      painter.setPen(QColor(0, 0, 255));
      painter.drawLine(QPointF(p.x() - 20, p.y() - 10), QPointF(p.x() + 20, p.y() - 10));
    };
    s.view.Refresh();
    const QImage first = s.view.grab().toImage();
    QVERIFY(calls >= 1);
    const QPoint p = At(s.view.PixelPosition(0, 1));
    QCOMPARE(first.pixelColor(p + QPoint(15, -10)), QColor(0, 0, 255));
    // A plain expose reuses the picture; Refresh draws anew and calls the hook again.
    const int before = calls;
    s.view.Refresh();
    QCoreApplication::processEvents();
    s.view.grab();
    QVERIFY(calls > before);
    // The points sit under the hook's marks: the marker's colour at its centre.
    QCOMPARE(first.pixelColor(p), QColor(255, 0, 0));
  }

  void PointColourAndMarkerStyleFollowTheModelAndHook() {
    ChartModel m;
    m.series.emplace_back("S", morvik::colors::Red, MarkerStyle::Circle, 5);
    m.series[0].Add(0.0, 0.0);
    m.series[0].Add(1.0, 1.0, "", morvik::colors::Green);
    m.series[0].Add(2.0, 0.0);
    Shown s(m);
    std::vector<std::size_t> asked;
    s.view.pointerStyle = [&](std::size_t, std::size_t i) {
      asked.push_back(i);
      return i == 2 ? MarkerStyle::DownTriangle : MarkerStyle::Rectangle;
    };
    s.view.Refresh();
    const QImage img = s.view.grab().toImage();
    QCOMPARE(asked.size(), std::size_t{3});
    const QPoint p0 = At(s.view.PixelPosition(0, 0));
    const QPoint p1 = At(s.view.PixelPosition(0, 1));
    const QPoint p2 = At(s.view.PixelPosition(0, 2));
    QCOMPARE(img.pixelColor(p0), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(p1), QColor(0, 128, 0));
    // Rectangle: its corner region is filled. Down triangle: the top corners are
    // filled, the bottom corners are not.
    QCOMPARE(img.pixelColor(p0 + QPoint(-3, 3)), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(p2 + QPoint(-3, -3)), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(p2 + QPoint(-4, 4)), QColor(Qt::white));
  }

  void ManyPointsScreenshot() {
    ChartModel m;
    m.title = "Light Curve";
    m.bottomTitle = "JD";
    m.leftTitle = "Magnitude";
    m.leftInverted = true;
    m.series.emplace_back("SeriesRAW", morvik::colors::Red, MarkerStyle::Circle, 2);
    m.series.emplace_back("SeriesRUN", morvik::colors::Green, MarkerStyle::Rectangle, 2);
    for (int r = 0; r < 300; ++r) {
      const double t = 2459000.3 + r * 0.013;
      const double phase = std::sin(r * 0.09);
      m.series[0].Add(t, 12.8 + 0.35 * phase + 0.02 * std::cos(r * 1.7), std::to_string(r));
      m.series[1].Add(t, 12.1 + 0.35 * phase, std::to_string(r));
    }
    ChartView view;
    view.resize(820, 480);
    view.SetModel(&m);
    view.pointerStyle = [&](std::size_t k, std::size_t i) {
      if (i % 37 == 5) return MarkerStyle::Triangle;
      if (i % 53 == 7) return MarkerStyle::DownTriangle;
      return m.series[k].style;
    };
    view.afterDraw = [&](QPainter& painter, const ChartView& v) {
      painter.setPen(Qt::red);
      for (std::size_t i = 0; i < m.series[0].Count(); i += 10) {
        const QPointF p = v.PixelPosition(0, i);
        const int h = v.PixelHeight(0, 0.03);
        painter.drawLine(QPointF(p.x(), p.y() - h), QPointF(p.x(), p.y() + h));
      }
    };
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QImage img = view.grab().toImage();
    const QString dir = QStringLiteral(MORVIK_BINARY_DIR) + QStringLiteral("/screenshots");
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(img.save(dir + QStringLiteral("/chart_view.png")));
    // Brighter (smaller) magnitudes are drawn higher up.
    QVERIFY(view.PixelPosition(1, 0).y() < view.PixelPosition(0, 0).y());

    // Ten thousand points redraw quickly enough to stay interactive.
    ChartModel big;
    big.series.emplace_back("S", morvik::colors::Red, MarkerStyle::Circle, 3);
    std::vector<morvik::ChartPoint> pts;
    for (int i = 0; i < 10000; ++i)
      pts.push_back({std::sin(i * 0.37) * 5.0, std::cos(i * 0.11) * 3.0, std::to_string(i),
                     i % 7 ? std::nullopt : std::optional(morvik::colors::Green)});
    big.series[0].AddMany(std::move(pts));
    view.SetModel(&big);
    big.title = "Find Variables";
    big.bottomTitle = "Mean magnitude";
    big.leftTitle = "Standard deviation";
    view.pointerStyle = [](std::size_t, std::size_t i) {
      return i == 0 ? MarkerStyle::Rectangle : MarkerStyle::Circle;
    };
    view.afterDraw = [](QPainter& painter, const ChartView& v) {
      const QPointF p = v.PixelPosition(0, 0);
      painter.setPen(Qt::red);
      painter.drawLine(QPointF(p.x() - 7, p.y()), QPointF(p.x() + 7, p.y()));
      painter.drawLine(QPointF(p.x(), p.y() - 7), QPointF(p.x(), p.y() + 7));
    };
    QElapsedTimer timer;
    timer.start();
    const QImage scatter = view.grab().toImage();
    qInfo("10000 points drawn in %lld ms", static_cast<long long>(timer.elapsed()));
    QVERIFY(scatter.save(dir + QStringLiteral("/chart_view_scatter.png")));
    // Every bottom label lies inside the widget: the right-most column holds no text.
    for (int y = 0; y < scatter.height(); ++y)
      QCOMPARE(scatter.pixelColor(scatter.width() - 1, y), QColor(Qt::white));
  }
};

QTEST_MAIN(ChartViewTest)
#include "chart_view_test.moc"
