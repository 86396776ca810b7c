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
  const double maxPeriod = r.maxPeriod > 0.0 ? r.maxPeriod : span;
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

std::vector<double> BoxFrequencies(double span, const GridRequest& r, double shortestDuration, int bins) {
  const FrequencyGrid common = MakeFrequencyGrid(span, r);
  const double fmax = 1.0 / r.minPeriod;
  const double d = std::max(shortestDuration, 0.0);
  const double floorPhase = 1.0 / std::max(1, bins);
  auto stepAt = [&](double f) { return std::max(d * f, floorPhase) / (r.oversampling * span); };
  // The count first, by the integral of 1 / step, so that a grid too large is refused
  // before it is built.
  const double fKnee = d > 0.0 ? floorPhase / d : fmax; // below it the phase-bin floor rules
  const double lo = common.first, scale = r.oversampling * span;
  double estimate = 0.0;
  const double flat = std::min(fKnee, fmax);
  if (flat > lo) estimate += (flat - lo) * scale / floorPhase;
  if (fmax > std::max(lo, fKnee) && d > 0.0) estimate += scale / d * std::log(fmax / std::max(lo, fKnee));
  if (!(estimate <= static_cast<double>(r.maxFrequencies))) {
    throw CommandError("The box-search grid would hold about " + FormatGeneral(std::ceil(estimate)) +
                       " frequencies, more than the limit of " + std::to_string(r.maxFrequencies) +
                       ": raise the shortest period or the shortest duration, or lower the oversampling.");
  }
  std::vector<double> f;
  f.reserve(static_cast<std::size_t>(estimate) + 16);
  for (double v = lo; v <= fmax; v += stepAt(v))
    f.push_back(v);
  return f;
}

} // namespace morvik
