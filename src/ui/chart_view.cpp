#include "ui/chart_view.hpp"

#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPointingDevice>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/format.hpp"
#include "common/rounding.hpp"

namespace morvik {

namespace {

constexpr int kPad = 6;        // space around the text blocks
constexpr int kTickLength = 4; // tick marks, outside the frame
constexpr int kLabelGap = 3;   // between tick mark and its label
constexpr int kRightMargin = 16;
constexpr int kMinYTickSpacing = 28;
constexpr int kMinXTickSpacing = 60;
// Pixel coordinates beyond this are certainly off the widget; keeping them bounded keeps
// the painter's integer arithmetic sane for points far outside a zoomed view.
constexpr double kPixelLimit = 1.0e6;

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

bool Finite(const ChartPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Text of a tick value; decimals follow the tick step so that neighbours differ.
QString TickText(double v, double step) {
  if (std::fabs(v) < step * 1e-6) v = 0.0; // no "-0" from accumulated rounding
  const double biggest = std::max(std::fabs(v), step);
  if (biggest >= 1e9 || step < 1e-6) return QString::fromStdString(FormatGeneral(v));
  const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
  std::string text = FormatFixed(v, decimals);
  const char separator = MessageDecimalSeparator();
  if (separator != '.') std::replace(text.begin(), text.end(), '.', separator);
  return QString::fromStdString(text);
}

// Ticks at multiples of 1, 2 or 5 times a power of ten, at least minSpacing pixels
// apart; with a font, also far enough apart for their labels side by side.
template <typename Tick>
std::vector<Tick> MakeTicks(double lo, double hi, int pixels, int minSpacing, const QFontMetrics* sideBySide) {
  std::vector<Tick> ticks;
  const double span = hi - lo;
  if (!(span > 0.0) || !std::isfinite(span) || pixels <= 0) return ticks;
  const int maxTicks = std::max(2, pixels / minSpacing);
  const double raw = span / maxTicks;
  double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  static constexpr double kNice[] = {1.0, 2.0, 5.0};
  std::size_t nice = 0;
  while (kNice[nice] * magnitude < raw) {
    if (++nice == std::size(kNice)) {
      nice = 0;
      magnitude *= 10.0;
    }
  }
  for (int attempt = 0; attempt < 12; ++attempt) {
    const double step = kNice[nice] * magnitude;
    ticks.clear();
    const double first = std::ceil(lo / step);
    for (int k = 0; k < 1000; ++k) {
      const double v = (first + k) * step;
      if (v > hi + step * 1e-9) break;
      ticks.push_back(Tick{v, TickText(v, step)});
    }
    if (!sideBySide) break;
    int widest = 0;
    for (const Tick& t : ticks)
      widest = std::max(widest, sideBySide->horizontalAdvance(t.text));
    if (step / span * pixels >= widest + 12) break;
    if (++nice == std::size(kNice)) {
      nice = 0;
      magnitude *= 10.0;
    }
  }
  return ticks;
}

QFont TitleFont(const QFont& base) {
  QFont f = base;
  f.setBold(true);
  if (base.pointSizeF() > 0) f.setPointSizeF(base.pointSizeF() * 1.2);
  return f;
}

} // namespace

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
  setMouseTracking(false);
}

void ChartView::SetModel(const ChartModel* model) {
  model_ = model;
  seenZoomResets_ = model ? model->zoomResets : 0;
  zoomed_ = false;
  pressing_ = false;
  Refresh();
}

void ChartView::Refresh() {
  layout_.valid = false;
  cacheValid_ = false;
  update();
}

void ChartView::UndoZoom() {
  zoomed_ = false;
  Refresh();
}

void ChartView::ZoomTo(Range x, Range y) {
  if (!(x.min < x.max) || !(y.min < y.max)) return;
  EnsureLayout(); // a pending reset of the model must not undo this zoom later
  zoomX_ = x;
  zoomY_ = y;
  zoomed_ = true;
  Refresh();
}

bool ChartView::IsZoomed() const {
  EnsureLayout();
  return zoomed_;
}

void ChartView::PostReleaseAfterPopup() {
  QCoreApplication::postEvent(this,
                              new QMouseEvent(QEvent::MouseButtonRelease, QPointF(0, 0), mapToGlobal(QPointF(0, 0)),
                                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

ChartView::Range ChartView::BottomRange() const {
  EnsureLayout();
  return layout_.x;
}

ChartView::Range ChartView::LeftRange() const {
  EnsureLayout();
  return layout_.y;
}

QRect ChartView::PlotArea() const {
  EnsureLayout();
  return layout_.plot;
}

void ChartView::EnsureLayout() const {
  if (model_ && model_->zoomResets != seenZoomResets_) {
    seenZoomResets_ = model_->zoomResets;
    zoomed_ = false;
    layout_.valid = false;
  }
  std::size_t points = 0;
  if (model_)
    for (const PointSeries& s : model_->series)
      points += s.Count();
  const std::size_t seriesCount = model_ ? model_->series.size() : 0;
  if (layout_.valid && layout_.model == model_ && layout_.size == size() && layout_.seriesCount == seriesCount &&
      layout_.pointCount == points && layout_.inverted == (model_ && model_->leftInverted))
    return;
  ComputeLayout();
  layout_.seriesCount = seriesCount;
  layout_.pointCount = points;
}

ChartView::Range ChartView::FullRange(bool horizontal, int axisPixels) const {
  double lo = 0.0, hi = 0.0;
  bool any = false;
  int margin = 0; // pixels that keep the largest marker whole at both ends
  if (model_) {
    for (std::size_t k = 0; k < model_->series.size(); ++k) {
      const PointSeries& s = model_->series[k];
      if (s.Count() == 0 || SeriesHidden(k)) continue;
      margin = std::max(margin, s.halfSize + 2);
      for (const ChartPoint& p : s.Points()) {
        if (!Finite(p)) continue;
        const double v = horizontal ? p.x : p.y;
        if (!any) {
          lo = hi = v;
          any = true;
        } else {
          lo = std::min(lo, v);
          hi = std::max(hi, v);
        }
      }
    }
  }
  if (!any) return Range{0.0, 1.0};
  if (!(lo < hi)) {
    // One value: centre it in a range of its own size (or of 1 around 0).
    const double d = lo != 0.0 ? std::fabs(lo) * 0.05 : 1.0;
    if (lo - d < lo + d) return Range{lo - d, lo + d};
    return Range{lo - 1.0, lo + 1.0};
  }
  const double span = hi - lo;
  const int usable = axisPixels - 2 * margin;
  const double d = usable >= 8 ? span * margin / usable : span * 0.05;
  Range r{lo - d, hi + d};
  if (!std::isfinite(r.max - r.min)) r = Range{lo, hi}; // values near the limits of double
  return r;
}

void ChartView::ComputeLayout() const {
  Layout& l = layout_;
  l.valid = true;
  l.model = model_;
  l.size = size();
  l.inverted = model_ && model_->leftInverted;
  cacheValid_ = false;

  const QFontMetrics labels(font());
  const QFontMetrics titles(TitleFont(font()));
  const bool hasTitle = model_ && !model_->title.empty();
  const bool hasBottomTitle = model_ && !model_->bottomTitle.empty();
  const bool hasLeftTitle = model_ && !model_->leftTitle.empty();

  const int top = kPad + (hasTitle ? titles.height() + kPad : kPad);
  const int bottom = kTickLength + kLabelGap + labels.height() + (hasBottomTitle ? kPad + labels.height() : 0) + kPad;
  const int plotHeight = std::max(1, height() - top - bottom);

  l.y = zoomed_ ? zoomY_ : FullRange(false, plotHeight);
  l.yTicks = MakeTicks<Tick>(l.y.min, l.y.max, plotHeight, kMinYTickSpacing, nullptr);
  int widest = 0;
  for (const Tick& t : l.yTicks)
    widest = std::max(widest, labels.horizontalAdvance(t.text));
  const int left = kPad + (hasLeftTitle ? labels.height() + kPad : 0) + widest + kLabelGap + kTickLength;
  // The last bottom label is centred on its tick and may reach past the area: make
  // room for it (one more pass, since the ticks depend on the width).
  int right = kRightMargin;
  for (int pass = 0; pass < 2; ++pass) {
    const int plotWidth = std::max(1, width() - left - right);
    l.plot = QRect(left, top, plotWidth, plotHeight);
    l.x = zoomed_ ? zoomX_ : FullRange(true, plotWidth);
    MakeBottomTicks(plotWidth, labels);
    if (l.xTicks.empty()) break;
    const double lastPixel = XPixel(l.xTicks.back().value);
    const int overhang =
        static_cast<int>(std::ceil(lastPixel + labels.horizontalAdvance(l.xTicks.back().text) / 2.0 + 2 - width()));
    if (overhang <= 0) break;
    right += overhang;
  }
}

void ChartView::MakeBottomTicks(int plotWidth, const QFontMetrics& labels) const {
  Layout& l = layout_;
  l.xOffset = 0.0;
  const double span = l.x.max - l.x.min;
  if (offsetLabels_ && std::fabs(l.x.min) >= 1e4 && span > 0.0 && std::isfinite(span)) {
    // A round offset: the range's start cut to a power of ten above its span.
    const double unit = std::pow(10.0, std::ceil(std::log10(span)));
    l.xOffset = std::floor(l.x.min / unit) * unit;
  }
  l.xTicks = MakeTicks<Tick>(l.x.min - l.xOffset, l.x.max - l.xOffset, plotWidth, kMinXTickSpacing, &labels);
  for (Tick& t : l.xTicks)
    t.value += l.xOffset;
}

double ChartView::XPixel(double v) const {
  const Layout& l = layout_;
  double t = (v - l.x.min) / (l.x.max - l.x.min);
  if (!std::isfinite(t)) t = 0.5;
  return std::clamp(l.plot.left() + t * l.plot.width(), -kPixelLimit, kPixelLimit);
}

double ChartView::YPixel(double v) const {
  const Layout& l = layout_;
  double t = (v - l.y.min) / (l.y.max - l.y.min);
  if (!std::isfinite(t)) t = 0.5;
  const double py = l.inverted ? l.plot.top() + t * l.plot.height() : l.plot.top() + (1.0 - t) * l.plot.height();
  return std::clamp(py, -kPixelLimit, kPixelLimit);
}

double ChartView::XValue(double px) const {
  const Layout& l = layout_;
  return l.x.min + (px - l.plot.left()) / l.plot.width() * (l.x.max - l.x.min);
}

double ChartView::YValue(double py) const {
  const Layout& l = layout_;
  double t = (py - l.plot.top()) / l.plot.height();
  if (!l.inverted) t = 1.0 - t;
  return l.y.min + t * (l.y.max - l.y.min);
}

bool ChartView::Visible(const ChartPoint& p) const {
  const Layout& l = layout_;
  return Finite(p) && p.x >= l.x.min && p.x <= l.x.max && p.y >= l.y.min && p.y <= l.y.max;
}

QPointF ChartView::PixelPosition(std::size_t series, std::size_t i) const {
  EnsureLayout();
  if (!model_ || series >= model_->series.size() || i >= model_->series[series].Count()) return {};
  const ChartPoint& p = model_->series[series].Point(i);
  return QPointF(RoundHalfEvenToDouble(XPixel(p.x)), RoundHalfEvenToDouble(YPixel(p.y)));
}

int ChartView::PixelHeight(std::size_t /*series: every series uses the left axis*/, double v) const {
  EnsureLayout();
  const double range = layout_.y.max - layout_.y.min;
  if (!(v > 0.0) || !(range > 0.0)) return 0;
  const double h = v * layout_.plot.height() / range;
  return static_cast<int>(RoundHalfEven(std::min(h, kPixelLimit)));
}

std::optional<std::pair<std::size_t, std::size_t>> ChartView::HitTest(QPoint pos) const {
  EnsureLayout();
  if (!model_ || !layout_.plot.contains(pos)) return std::nullopt;
  for (std::size_t k = model_->series.size(); k-- > 0;) {
    if (SeriesHidden(k)) continue;
    const PointSeries& s = model_->series[k];
    const double half = s.halfSize;
    for (std::size_t i = 0; i < s.Count(); ++i) {
      const ChartPoint& p = s.Point(i);
      if (!Visible(p)) continue;
      const double cx = RoundHalfEvenToDouble(XPixel(p.x));
      const double cy = RoundHalfEvenToDouble(YPixel(p.y));
      if (std::fabs(pos.x() - cx) < half && std::fabs(pos.y() - cy) < half) return std::make_pair(k, i);
    }
  }
  return std::nullopt;
}

void ChartView::DrawMarkers(QPainter& painter) const {
  if (!model_) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setClipRect(layout_.plot.adjusted(1, 1, 0, 0));
  for (std::size_t k = 0; k < model_->series.size(); ++k) {
    if (SeriesHidden(k)) continue;
    const PointSeries& s = model_->series[k];
    const double h = s.halfSize;
    std::optional<Rgb> current;
    for (std::size_t i = 0; i < s.Count(); ++i) {
      const ChartPoint& p = s.Point(i);
      if (!Visible(p)) continue;
      const Rgb c = s.ColorOf(i);
      if (!current || !(*current == c)) {
        current = c;
        const QColor fill = ToQColor(c);
        painter.setPen(QPen(fill.darker(160), 1.0));
        painter.setBrush(fill);
      }
      // Half a pixel on: the marker centres on the pixel an owner's line at the
      // point's integer position covers.
      const double cx = RoundHalfEvenToDouble(XPixel(p.x)) + 0.5;
      const double cy = RoundHalfEvenToDouble(YPixel(p.y)) + 0.5;
      switch (pointerStyle ? pointerStyle(k, i) : s.style) {
      case MarkerStyle::Rectangle:
        painter.drawRect(QRectF(cx - h, cy - h, 2 * h, 2 * h));
        break;
      case MarkerStyle::Circle:
        painter.drawEllipse(QPointF(cx, cy), h, h);
        break;
      case MarkerStyle::Triangle: {
        const QPointF corners[3] = {{cx, cy - h}, {cx + h, cy + h}, {cx - h, cy + h}};
        painter.drawPolygon(corners, 3);
        break;
      }
      case MarkerStyle::DownTriangle: {
        const QPointF corners[3] = {{cx - h, cy - h}, {cx + h, cy - h}, {cx, cy + h}};
        painter.drawPolygon(corners, 3);
        break;
      }
      }
    }
  }
  painter.restore();
}

void ChartView::DrawChart(QPainter& painter) const {
  const Layout& l = layout_;
  const QRect plot = l.plot;
  painter.fillRect(rect(), Qt::white);

  const QFont labelFont = font();
  const QFont titleFont = TitleFont(labelFont);
  const QFontMetrics labels(labelFont);

  if (model_ && !model_->title.empty()) {
    painter.setFont(titleFont);
    painter.setPen(Qt::black);
    const QFontMetrics titles(titleFont);
    painter.drawText(QRect(0, kPad, width(), titles.height()), Qt::AlignHCenter | Qt::AlignVCenter,
                     QString::fromStdString(model_->title));
  }

  // Grid, then the frame over it.
  painter.setPen(QPen(QColor(228, 228, 228), 1));
  for (const Tick& t : l.xTicks) {
    const int px = static_cast<int>(RoundHalfEven(XPixel(t.value)));
    painter.drawLine(px, plot.top(), px, plot.bottom());
  }
  for (const Tick& t : l.yTicks) {
    const int py = static_cast<int>(RoundHalfEven(YPixel(t.value)));
    painter.drawLine(plot.left(), py, plot.right(), py);
  }
  painter.setPen(QPen(QColor(64, 64, 64), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(plot.adjusted(0, 0, -1, -1));

  painter.setFont(labelFont);
  const int labelHeight = labels.height();
  const int xLabelTop = plot.bottom() + 1 + kTickLength + kLabelGap;
  for (const Tick& t : l.xTicks) {
    const int px = static_cast<int>(RoundHalfEven(XPixel(t.value)));
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(px, plot.bottom() + 1, px, plot.bottom() + kTickLength);
    const int w = labels.horizontalAdvance(t.text);
    // Labels near the ends slide inwards rather than being cut at the widget's edge.
    const int x = std::clamp(px - w / 2, 0, std::max(0, width() - w - 1));
    painter.setPen(Qt::black);
    painter.drawText(QRect(x, xLabelTop, w + 1, labelHeight), Qt::AlignLeft | Qt::AlignVCenter, t.text);
  }
  for (const Tick& t : l.yTicks) {
    const int py = static_cast<int>(RoundHalfEven(YPixel(t.value)));
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(plot.left() - kTickLength, py, plot.left() - 1, py);
    const int right = plot.left() - kTickLength - kLabelGap;
    const int y = std::clamp(py - labelHeight / 2, 0, std::max(0, height() - labelHeight));
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, y, right, labelHeight), Qt::AlignRight | Qt::AlignVCenter, t.text);
  }

  if (model_ && !model_->bottomTitle.empty()) {
    painter.setPen(Qt::black);
    painter.drawText(QRect(plot.left(), xLabelTop + labelHeight + kPad, plot.width(), labelHeight),
                     Qt::AlignHCenter | Qt::AlignVCenter, BottomTitleShown());
  }
  if (model_ && !model_->leftTitle.empty()) {
    painter.save();
    painter.setPen(Qt::black);
    painter.translate(kPad, plot.top() + plot.height() / 2.0);
    painter.rotate(-90.0);
    painter.drawText(QRectF(-plot.height() / 2.0, 0, plot.height(), labelHeight), Qt::AlignHCenter | Qt::AlignVCenter,
                     QString::fromStdString(model_->leftTitle));
    painter.restore();
  }

  DrawMarkers(painter);

  if (afterDraw) {
    painter.save();
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    afterDraw(painter, *this);
    painter.restore();
  }
}

void ChartView::PaintTo(QPainter& painter) const {
  EnsureLayout();
  DrawChart(painter);
}

void ChartView::paintEvent(QPaintEvent* /*event*/) {
  EnsureLayout();
  const qreal dpr = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * dpr).toSize();
  if (!cacheValid_ || cache_.size() != pixels) {
    cache_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    cache_.setDevicePixelRatio(dpr);
    QPainter painter(&cache_);
    DrawChart(painter);
    cacheValid_ = true;
  }
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), cache_);
  if (pressing_ && dragTo_ != pressAt_) {
    painter.setPen(QPen(QColor(32, 32, 32), 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(pressAt_, dragTo_).normalized());
  }
}

void ChartView::resizeEvent(QResizeEvent* event) {
  layout_.valid = false;
  cacheValid_ = false;
  QWidget::resizeEvent(event);
}

void ChartView::mousePressEvent(QMouseEvent* event) {
  EnsureLayout();
  const QPoint pos = event->position().toPoint();
  if (!layout_.plot.contains(pos)) {
    QWidget::mousePressEvent(event);
    return;
  }
  // The press is recorded before the click handler runs: a handler that opens a popup
  // menu ends this press later with a posted release.
  if (event->button() == Qt::LeftButton) {
    pressing_ = true;
    pressAt_ = dragTo_ = pos;
  }
  if (const auto hit = HitTest(pos); hit && clickPointer) clickPointer(hit->first, hit->second, pos.x(), pos.y());
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
  if (!pressing_) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  dragTo_ = event->position().toPoint();
  update();
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressing_) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  EndPress(event->position().toPoint());
}

void ChartView::EndPress(QPoint release) {
  pressing_ = false;
  update(); // the band goes away in any case
  const int dx = release.x() - pressAt_.x();
  const int dy = release.y() - pressAt_.y();
  if (std::abs(dx) <= kZoomThreshold || std::abs(dy) <= kZoomThreshold) return;
  if (dx < 0 || dy < 0) {
    UndoZoom();
    return;
  }
  EnsureLayout();
  const QRect plot = layout_.plot;
  // The band is cut to the plotting area, so a zoom never reaches beyond the view.
  const double x0 = std::clamp(pressAt_.x(), plot.left(), plot.left() + plot.width());
  const double x1 = std::clamp(release.x(), plot.left(), plot.left() + plot.width());
  const double y0 = std::clamp(pressAt_.y(), plot.top(), plot.top() + plot.height());
  const double y1 = std::clamp(release.y(), plot.top(), plot.top() + plot.height());
  const Range x{XValue(x0), XValue(x1)};
  const double ya = YValue(y0), yb = YValue(y1);
  const Range y{std::min(ya, yb), std::max(ya, yb)};
  if (!(x.min < x.max) || !(y.min < y.max)) return;
  zoomX_ = x;
  zoomY_ = y;
  zoomed_ = true;
  Refresh();
}

} // namespace morvik
