#include "search/var_chart.hpp"

#include <algorithm>
#include <cmath>

namespace morvik {

namespace {
inline bool ValidItem(int item) { return item >= 0 && item < kAxisItemCount; }
// Stored variances are never negative; the guard keeps a rounding accident from
// turning into a NaN on the chart.
inline double Root(double v) { return v > 0.0 ? std::sqrt(v) : 0.0; }
} // namespace

double AxisValue(const TStarStat& st, int item) {
  switch (item) {
  case 0:
    return st.RunMean;
  case 1:
    return Root(st.Variance);
  case 2:
    return Root(st.RunVariance);
  case 3:
    return Root(st.ChiSq);
  case 4:
    return st.Mad;
  case 5:
    return st.RobustMedian;
  case 6:
    return st.ExcessVariance;
  case 7:
    return st.VonNeumann;
  default:
    return 0.0;
  }
}

std::vector<ChartPoint> VarChartPoints(const TTimeSeries& series, int itemX, int itemY, int skipPercent) {
  std::vector<ChartPoint> points;
  if (!series.HasStats() || !ValidItem(itemX) || !ValidItem(itemY)) return points;
  const double threshold = static_cast<double>(skipPercent) / 100.0 * static_cast<double>(series.RowCount);
  for (std::size_t s = 0; s < series.Stats.size(); ++s) {
    const TStarStat& st = series.Stats[s];
    if (st.Mark == kMarkFalseAlarm) continue;
    if (!(static_cast<double>(st.NValid) > threshold && static_cast<double>(st.NAccepted) > threshold)) continue;
    ChartPoint p;
    p.x = AxisValue(st, itemX);
    p.y = AxisValue(st, itemY);
    p.label = std::to_string(s);
    if (st.Mark == kMarkVariable) p.color = colors::Green;
    points.push_back(std::move(p));
  }
  return points;
}

} // namespace morvik
