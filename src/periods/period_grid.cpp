#include "periods/period_grid.hpp"

#include <algorithm>
#include <cmath>

#include "common/errors.hpp"
#include "common/format.hpp"

namespace morvik {

std::vector<double> FrequencyGrid::Values() const {
  std::vector<double> v(count);
  for (std::size_t k = 0; k < count; ++k)
    v[k] = At(k);
  return v;
}

double TimeSpan(std::span<const double> t) {
  if (t.size() < 2) return 0.0;
  auto [lo, hi] = std::minmax_element(t.begin(), t.end());
  return *hi - *lo;
}

FrequencyGrid MakeFrequencyGrid(double span, const GridRequest& r) {
  if (!(span > 0.0) || !std::isfinite(span))
    throw CommandError("The times span no interval, so no period can be searched.");
  if (!(r.oversampling > 0.0) || !std::isfinite(r.oversampling))
    throw CommandError("The oversampling must be a positive number.");
  const double maxPeriod = r.maxPeriod > 0.0 ? r.maxPeriod : span / 2.0;
  if (!(r.minPeriod > 0.0) || !(maxPeriod > r.minPeriod) || !std::isfinite(maxPeriod))
    throw CommandError("The period range is empty: the shortest period must be positive and below the longest (" +
                       FormatGeneral(maxPeriod) + " d).");
  FrequencyGrid g;
  g.first = 1.0 / maxPeriod;
  g.step = 1.0 / (r.oversampling * span);
  const double steps = std::floor((1.0 / r.minPeriod - g.first) / g.step);
  const double count = steps + 1.0;
  if (!(count <= static_cast<double>(r.maxFrequencies))) {
    throw CommandError("The frequency grid would hold " + FormatGeneral(count) +
                       " frequencies, more than the limit of " + std::to_string(r.maxFrequencies) +
                       ": raise the shortest period, lower the oversampling or search a shorter span.");
  }
  g.count = static_cast<std::size_t>(count);
  return g;
}

} // namespace morvik
