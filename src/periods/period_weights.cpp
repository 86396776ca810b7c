#include "periods/period_weights.hpp"

#include <algorithm>
#include <cmath>

namespace morvik {

WeightedSeries::WeightedSeries(std::span<const double> tIn, std::span<const double> yIn, std::span<const double> dyIn) {
  const std::size_t n = std::min(tIn.size(), yIn.size());
  const bool weighted = dyIn.size() >= n;
  double lo = 0.0, hi = 0.0, wsum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double e = weighted ? dyIn[i] : 1.0;
    if (!std::isfinite(tIn[i]) || !std::isfinite(yIn[i]) || !std::isfinite(e) || !(e > 0.0)) continue;
    if (t.empty() || tIn[i] < lo) lo = tIn[i];
    if (t.empty() || tIn[i] > hi) hi = tIn[i];
    t.push_back(tIn[i]);
    y.push_back(yIn[i]);
    w.push_back(1.0 / (e * e));
    wsum += w.back();
  }
  tMid = 0.5 * (lo + hi);
  for (double& v : t)
    v -= tMid;
  for (double& v : w)
    v /= wsum;
  for (std::size_t i = 0; i < y.size(); ++i)
    mean += w[i] * y[i];
  wy.resize(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) {
    y[i] -= mean;
    wy[i] = w[i] * y[i];
    yy += wy[i] * y[i];
  }
}

} // namespace morvik
