#include "ui/mark_legend.hpp"

#include <QPainter>

#include "common/chart_model.hpp"

namespace morvik {
namespace {

struct Swatch {
  Rgb pen, fill;
  const char* label;
};

// The colours the image draws its marks in: ensemble roles as white discs with a
// coloured ring, marks as solid discs, the picked star as a bare ring.
const Swatch kSwatches[] = {
    {colors::Green, colors::White, "ensemble"}, {colors::Blue, colors::White, "others"},
    {colors::Red, colors::Red, "variable"},     {colors::Grey, colors::Grey, "false alarm"},
    {colors::Yellow, colors::Black, "picked"},
};
QColor Colour(Rgb c) { return QColor(c.r, c.g, c.b); }
constexpr int kDot = 10, kGap = 3, kSpacing = 9;

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
    p.setPen(QPen(Colour(s.pen), 2.0));
    p.setBrush(Colour(s.fill));
    p.drawEllipse(QRectF(x, mid - kDot / 2.0, kDot - 1, kDot - 1));
    x += kDot + kGap;
    const QString label = QLatin1String(s.label);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(x, 0, fm.horizontalAdvance(label) + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, label);
    x += fm.horizontalAdvance(label) + kSpacing;
  }
}

} // namespace morvik
