#pragma once
// A scatter chart painted with QPainter: title, bottom and left axes with titles and
// ticks, point series drawn as markers, rubber-band zoom, clickable points and an
// after-draw hook on which owners draw their own marks. It draws a ChartModel that
// someone else owns and fills; call Refresh() after changing the model.

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/chart_model.hpp"

class QFontMetrics;
class QPainter;

namespace morvik {

class ChartView : public QWidget {
  Q_OBJECT

public:
  // A band must be larger than this in both directions to zoom or unzoom.
  static constexpr int kZoomThreshold = 16;

  explicit ChartView(QWidget* parent = nullptr);

  // The model stays owned by the caller and must outlive the view (or be replaced).
  void SetModel(const ChartModel* model);
  const ChartModel* Model() const { return model_; }

  // Marker of point i of series k; unset: the series' own style.
  std::function<MarkerStyle(std::size_t series, std::size_t point)> pointerStyle;
  // Runs after every complete redraw, clipped to the plotting area, in widget pixels.
  std::function<void(QPainter&, const ChartView&)> afterDraw;
  // A press hit point i of series k at widget pixel (x, y).
  std::function<void(std::size_t series, std::size_t point, int x, int y)> clickPointer;
  // The tooltip of point i of series k (the mouse rests on it); unset or empty: none.
  std::function<QString(std::size_t series, std::size_t point)> pointTip;

  // A hidden series is neither drawn, nor hit, nor part of the automatic ranges.
  void SetSeriesHidden(std::size_t series, bool hidden);
  bool SeriesHidden(std::size_t series) const;
  // Time axis: large bottom values are labelled as their difference from a round
  // offset, which the bottom title then names ("JD - 2460210").
  void SetBottomOffsetLabels(bool on);
  // The offset subtracted from the bottom labels now (0: none).
  double BottomOffset() const;
  QString BottomTitleShown() const;

  // Back to the automatic ranges of all points.
  void UndoZoom();
  bool IsZoomed() const;

  // A click handler that opened a popup menu calls this afterwards: the posted release
  // (at 0, 0, no buttons) ends the press the click began, by the usual release rule.
  void PostReleaseAfterPopup();

  struct Range {
    double min = 0.0;
    double max = 1.0;
  };
  // Shows the given ranges, as a zoom band would; an empty range is ignored.
  void ZoomTo(Range x, Range y);
  // Value ranges of the current view (full view or zoom).
  Range BottomRange() const;
  Range LeftRange() const;
  // The plotting area in widget pixels.
  QRect PlotArea() const;

  // Centre of point i of series k in widget pixels (whole pixels) in the current view.
  QPointF PixelPosition(std::size_t series, std::size_t i) const;
  // Pixels that a span v takes on the vertical axis: round(v * length / range); 0 when
  // v <= 0 or the range is empty.
  int PixelHeight(std::size_t series, double v) const;
  // The point a press at pos would hit: series from last to first, points in index
  // order, strictly within the half-size in both directions, visible points only.
  std::optional<std::pair<std::size_t, std::size_t>> HitTest(QPoint pos) const;

  // Paints the chart as the screen shows it, without the zoom band, onto any device
  // of the view's size (an SVG generator keeps it as vector shapes and text).
  void PaintTo(QPainter& painter) const;

  // Whether a left press is in progress (the band is being dragged).
  bool Pressing() const { return pressing_; }

public slots:
  // Redraw from the model (the after-draw hook runs again).
  void Refresh();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

private:
  struct Tick {
    double value;
    QString text;
  };
  struct Layout {
    bool valid = false;
    const ChartModel* model = nullptr;
    unsigned zoomResets = 0;
    std::size_t seriesCount = 0;
    std::size_t pointCount = 0;
    QSize size;
    QRect plot;
    Range x, y;
    bool inverted = false;
    std::vector<Tick> xTicks, yTicks;
    double xOffset = 0.0;
  };

  void EnsureLayout() const;
  void ComputeLayout() const;
  Range FullRange(bool horizontal, int axisPixels) const;
  double XPixel(double v) const;
  double YPixel(double v) const;
  double XValue(double px) const;
  double YValue(double py) const;
  bool Visible(const ChartPoint& p) const;
  void DrawChart(QPainter& painter) const;
  void DrawMarkers(QPainter& painter) const;
  void EndPress(QPoint release);

  const ChartModel* model_ = nullptr;
  // Synced with the model's zoomResets whenever the view looks at the model.
  mutable unsigned seenZoomResets_ = 0;
  mutable bool zoomed_ = false;
  Range zoomX_, zoomY_;

  bool pressing_ = false;
  QPoint pressAt_, dragTo_;

  std::vector<bool> hidden_;
  bool offsetLabels_ = false;
  // Bottom ticks of the layout's range, with the offset labels when they are on.
  void MakeBottomTicks(int plotWidth, const QFontMetrics& labels) const;

  mutable Layout layout_;
  mutable QImage cache_; // the last complete redraw; the band is drawn over it
  mutable bool cacheValid_ = false;
};

} // namespace morvik
