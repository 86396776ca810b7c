#include "ui/mark_legend.hpp"

#include <QPainter>

namespace morvik {
namespace {

struct Swatch {
  QColor colour;
  bool filled; // a dot; otherwise an open circle
  const char* label;
};

// The colours the image draws its marks in.
const Swatch kSwatches[] = {
    {QColor(0, 128, 0), false, "ensemble"}, {QColor(0, 0, 255), false, "not in ensemble"},
    {QColor(255, 0, 0), true, "variable"},  {QColor(128, 128, 128), true, "false alarm"},
    {QColor(200, 180, 0), true, "picked"},
};
constexpr int kDot = 10, kGap = 4, kSpacing = 12;

} // namespace

MarkLegend::MarkLegend(QWidget* parent) : QWidget(parent) {
  setToolTip(QStringLiteral("Colours of the marks on the image"));
}

QSize MarkLegend::sizeHint() const {
  const QFontMetrics fm(font());
  int w = 0;
  for (const Swatch& s : kSwatches)
    w += kDot + kGap + fm.horizontalAdvance(QLatin1String(s.label)) + kSpacing;
  return {w, std::max(fm.height(), kDot) + 2};
}

void MarkLegend::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QFontMetrics fm(font());
  const int mid = height() / 2;
  int x = 1;
  for (const Swatch& s : kSwatches) {
    p.setPen(QPen(s.colour, s.filled ? 1.0 : 2.0));
    p.setBrush(s.filled ? QBrush(s.colour) : QBrush(Qt::NoBrush));
    p.drawEllipse(QRectF(x, mid - kDot / 2.0, kDot - 1, kDot - 1));
    x += kDot + kGap;
    const QString label = QLatin1String(s.label);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(x, 0, fm.horizontalAdvance(label) + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, label);
    x += fm.horizontalAdvance(label) + kSpacing;
  }
}

} // namespace morvik
