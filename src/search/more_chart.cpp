#include "search/more_chart.hpp"

#include <string>

#include "search/var_chart.hpp"

namespace morvik {

namespace {

constexpr int kLastItem = kAxisItemCount + kMoreIndexCount - 1;

double Value(const TTimeSeries& series, const std::vector<MoreIndices>& more, std::size_t s, int item) {
  if (item < kAxisItemCount) return AxisValue(series.Stats[s], item);
  return s < more.size() ? MoreIndexValue(more[s], item - kAxisItemCount) : 0.0;
}

} // namespace

std::vector<ChartPoint> VarChartPointsWithMore(const TTimeSeries& series, const std::vector<MoreIndices>& more,
                                               int itemX, int itemY, int skipPercent) {
  std::vector<ChartPoint> points;
  if (itemX < 0 || itemX > kLastItem || itemY < 0 || itemY > kLastItem) return points;
  // The eight alone keep their own road; the points and their order are the same.
  const int x0 = itemX < kAxisItemCount ? itemX : 0;
  const int y0 = itemY < kAxisItemCount ? itemY : 0;
  points = VarChartPoints(series, x0, y0, skipPercent);
  for (ChartPoint& p : points) {
    const auto s = static_cast<std::size_t>(std::stoul(p.label));
    p.x = Value(series, more, s, itemX);
    p.y = Value(series, more, s, itemY);
  }
  return points;
}

} // namespace morvik
