#include "common/chart_model.hpp"

#include <algorithm>

namespace morvik {

std::size_t PointSeries::Add(double x, double y, std::string label, std::optional<Rgb> c) {
  ChartPoint p{x, y, std::move(label), c};
  if (points_.empty() || !(x < points_.back().x)) {
    points_.push_back(std::move(p));
    return points_.size() - 1;
  }
  auto it = std::upper_bound(points_.begin(), points_.end(), x,
                             [](double v, const ChartPoint& q) { return v < q.x; });
  auto pos = static_cast<std::size_t>(it - points_.begin());
  points_.insert(it, std::move(p));
  return pos;
}

void PointSeries::AddMany(std::vector<ChartPoint> pts) {
  std::stable_sort(pts.begin(), pts.end(), [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
  if (points_.empty()) {
    points_ = std::move(pts);
    return;
  }
  std::vector<ChartPoint> merged;
  merged.reserve(points_.size() + pts.size());
  std::merge(std::make_move_iterator(points_.begin()), std::make_move_iterator(points_.end()),
             std::make_move_iterator(pts.begin()), std::make_move_iterator(pts.end()), std::back_inserter(merged),
             [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
  points_ = std::move(merged);
}

} // namespace morvik
