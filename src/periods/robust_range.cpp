#include "periods/robust_range.hpp"

#include <algorithm>
#include <cmath>

namespace morvik {

std::optional<ValueRange> RobustRange(std::vector<double> values, double tail, double margin) {
  values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }), values.end());
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double t = std::clamp(tail, 0.0, 0.5);
  // Nearest rank: with few points both quantiles are the extremes themselves.
  const auto lo = static_cast<std::size_t>(std::floor(t * static_cast<double>(n - 1)));
  const auto hi = n - 1 - lo;
  ValueRange r{values[lo], values[hi]};
  double pad = (r.max - r.min) * margin;
  if (!(pad > 0.0)) pad = std::abs(r.min) > 0.0 ? std::abs(r.min) * margin : margin;
  r.min -= pad;
  r.max += pad;
  return r;
}

std::optional<FitView> FitToSeries(const PointSeries& series) {
  std::vector<double> xs, ys;
  xs.reserve(series.Count());
  ys.reserve(series.Count());
  for (const ChartPoint& p : series.Points()) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    xs.push_back(p.x);
    ys.push_back(p.y);
  }
  // Every time is shown: the quantiles only tame the magnitudes.
  const auto x = RobustRange(std::move(xs), 0.0, 0.02);
  const auto y = RobustRange(std::move(ys));
  if (!x || !y) return std::nullopt;
  return FitView{*x, *y};
}

} // namespace morvik
