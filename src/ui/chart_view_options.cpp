// The chart view's options beyond the plain chart: hidden series, offset time labels
// and point tooltips.

#include <QHelpEvent>
#include <QToolTip>
#include <cmath>

#include "common/format.hpp"
#include "ui/chart_view.hpp"

namespace morvik {

void ChartView::SetSeriesHidden(std::size_t series, bool hidden) {
  if (series >= hidden_.size()) hidden_.resize(series + 1, false);
  hidden_[series] = hidden;
  Refresh();
}

bool ChartView::SeriesHidden(std::size_t series) const { return series < hidden_.size() && hidden_[series]; }

void ChartView::SetBottomOffsetLabels(bool on) {
  offsetLabels_ = on;
  Refresh();
}

double ChartView::BottomOffset() const {
  EnsureLayout();
  return layout_.xOffset;
}

QString ChartView::BottomTitleShown() const {
  if (!model_) return {};
  QString title = QString::fromStdString(model_->bottomTitle);
  if (layout_.xOffset != 0.0) title += QStringLiteral(" - ") + QString::fromStdString(FormatFixed(layout_.xOffset, 0));
  return title;
}

bool ChartView::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip || !pointTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const auto hit = HitTest(help->pos());
  const QString tip = hit ? pointTip(hit->first, hit->second) : QString();
  if (tip.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(help->globalPos(), tip, this);
  return true;
}

} // namespace morvik
