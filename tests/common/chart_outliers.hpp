#pragma once
// How far each point of a chart stands above its neighbours in x: its y over the median
// y of the `neighbours` other points nearest in x (0 when that median is 0).

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "common/chart_model.hpp"

namespace morvik::testing {

inline std::vector<double> RatioToNeighbours(const std::vector<ChartPoint>& pts, std::size_t neighbours) {
  std::vector<double> ratio(pts.size());
  for (std::size_t i = 0; i < pts.size(); ++i) {
    std::vector<std::size_t> others;
    for (std::size_t j = 0; j < pts.size(); ++j)
      if (j != i) others.push_back(j);
    const std::size_t k = std::min(neighbours, others.size());
    std::partial_sort(
        others.begin(), others.begin() + static_cast<std::ptrdiff_t>(k), others.end(),
        [&](std::size_t a, std::size_t b) { return std::fabs(pts[a].x - pts[i].x) < std::fabs(pts[b].x - pts[i].x); });
    std::vector<double> ys;
    for (std::size_t n = 0; n < k; ++n)
      ys.push_back(pts[others[n]].y);
    if (ys.empty()) continue;
    std::nth_element(ys.begin(), ys.begin() + static_cast<std::ptrdiff_t>(ys.size() / 2), ys.end());
    const double median = ys[ys.size() / 2];
    ratio[i] = median > 0 ? pts[i].y / median : 0.0;
  }
  return ratio;
}

} // namespace morvik::testing
