#include "search/index_calibration.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "search/candidates.hpp"
#include "search/more_indices.hpp"

namespace morvik {
namespace {

constexpr double kDipHours[] = {1.0, 2.0, 4.0};
constexpr std::size_t kDipFewest = 3;

// splitmix64 and Box-Muller: the same numbers on every machine.
struct Normal {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform() { return (static_cast<double>(Next() >> 11) + 0.5) * 0x1.0p-53; }
  double operator()() { return std::sqrt(-2.0 * std::log(Uniform())) * std::cos(2.0 * std::numbers::pi * Uniform()); }
};

} // namespace

double DipSignalToNoise(std::span<const double> mags, std::span<const double> errs, std::span<const double> times) {
  const std::size_t n = std::min({mags.size(), errs.size(), times.size()});
  if (n < 2 * kDipFewest) return 0.0;
  // Prefix sums of the weights and weighted magnitudes in time order (the rows are).
  std::vector<double> w(n + 1, 0.0), wy(n + 1, 0.0);
  const double ref = mags[0];
  for (std::size_t i = 0; i < n; ++i) {
    const double wi = errs[i] > 0.0 ? 1.0 / (errs[i] * errs[i]) : 0.0;
    w[i + 1] = w[i] + wi;
    wy[i + 1] = wy[i] + wi * (mags[i] - ref);
  }
  double best = 0.0;
  for (double hours : kDipHours) {
    const double length = hours / 24.0;
    std::size_t end = 0;
    for (std::size_t first = 0; first < n; ++first) {
      end = std::max(end, first);
      while (end < n && times[end] - times[first] <= length)
        ++end;
      const std::size_t in = end - first;
      if (in < kDipFewest || n - in < kDipFewest) continue;
      const double wIn = w[end] - w[first], wOut = w[n] - wIn;
      if (!(wIn > 0.0) || !(wOut > 0.0)) continue;
      const double yIn = (wy[end] - wy[first]) / wIn, yOut = (wy[n] - (wy[end] - wy[first])) / wOut;
      best = std::max(best, (yIn - yOut) / std::sqrt(1.0 / wIn + 1.0 / wOut));
    }
  }
  return std::isfinite(best) ? best : 0.0;
}

double CalibratedIndexValue(const MoreIndices& m, int k) {
  if (k == kDipIndex) return m.DipSnr;
  // The excess scatter with its residuals clipped: outliers are common among few points.
  if (kScoredIndices[k] == 5) return m.ClippedExcess;
  if (kScoredIndices[k] == 4) {
    // 1/eta has a long upper tail among few points; eta itself is nearly normal for
    // white noise, of mean 2 and variance 4 (n - 2) / (n^2 - 1) (von Neumann 1941, Ann.
    // Math. Stat. 12, 367): the score takes its standardised shortfall.
    const double n = m.N;
    if (!(m.InverseEta > 0.0) || n < 3.0) return 0.0;
    return (2.0 - 1.0 / m.InverseEta) / std::sqrt(4.0 * (n - 2.0) / (n * n - 1.0));
  }
  return MoreIndexValue(m, kScoredIndices[k]);
}

void CalibrateIndices(std::span<const double> errs, std::span<const double> times, std::uint64_t seed, int rounds,
                      MoreIndices& out) {
  const std::size_t n = std::min(errs.size(), times.size());
  if (n < 2 || rounds < 4) return;
  Normal gauss{seed * 0x2545F4914F6CDD1Dull + 0x632BE59BD9B4E019ull};
  std::vector<double> mags(n), scratch(n);
  std::vector<std::vector<double>> values(kCalibratedCount);
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t i = 0; i < n; ++i)
      mags[i] = errs[i] * gauss();
    MoreIndices sim = IndicesOf(mags, errs.first(n), times.first(n), scratch);
    sim.DipSnr = DipSignalToNoise(mags, errs.first(n), times.first(n));
    for (int k = 0; k < kCalibratedCount; ++k)
      values[static_cast<std::size_t>(k)].push_back(CalibratedIndexValue(sim, k));
  }
  for (int k = 0; k < kCalibratedCount; ++k) {
    std::vector<double>& v = values[static_cast<std::size_t>(k)];
    std::sort(v.begin(), v.end());
    const double median = v[v.size() / 2];
    const double upper = v[std::min(v.size() - 1, static_cast<std::size_t>(0.8413 * static_cast<double>(v.size())))];
    out.NullCentre[k] = median;
    out.NullSpread[k] = upper - median;
  }
}

} // namespace morvik
