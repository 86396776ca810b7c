#include "periods/period_significance.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace morvik {

double BaluevFapFromTimeVariance(double z, std::size_t n, double fmax, double timeVariance) {
  if (n <= 3 || !(z > 0.0)) return 1.0;
  if (z >= 1.0) return 0.0;
  const double nh = static_cast<double>(n) - 1.0;
  const double nk = static_cast<double>(n) - 3.0;
  const double single = std::pow(1.0 - z, 0.5 * nk);
  const double gamma = std::sqrt(2.0 / nh) * std::exp(std::lgamma(0.5 * nh) - std::lgamma(0.5 * (nh - 1.0)));
  const double w = fmax * std::sqrt(4.0 * std::numbers::pi * timeVariance);
  const double tau = gamma * w * std::pow(1.0 - z, 0.5 * (nk - 1.0)) * std::sqrt(0.5 * nh * z);
  // 1 - (1 - single) e^-tau, written to keep small probabilities accurate.
  const double fap = single - std::expm1(-tau) * (1.0 - single);
  return std::clamp(fap, 0.0, 1.0);
}

double BaluevFap(double z, std::size_t n, double fmax, std::span<const double> t, std::span<const double> dy) {
  const bool weighted = dy.size() >= t.size();
  double ws = 0.0, wt = 0.0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const double w = weighted ? 1.0 / (dy[i] * dy[i]) : 1.0;
    ws += w;
    wt += w * t[i];
  }
  const double mean = ws > 0.0 ? wt / ws : 0.0;
  double var = 0.0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const double w = weighted ? 1.0 / (dy[i] * dy[i]) : 1.0;
    var += w * (t[i] - mean) * (t[i] - mean);
  }
  return BaluevFapFromTimeVariance(z, n, fmax, ws > 0.0 ? var / ws : 0.0);
}

namespace {

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Uniform in [0, bound) without bias: draws past the last whole multiple are redrawn.
std::uint64_t Below(std::uint64_t& state, std::uint64_t bound) {
  const std::uint64_t limit = ~std::uint64_t{0} - (~std::uint64_t{0} % bound);
  for (;;) {
    const std::uint64_t v = SplitMix(state);
    if (v < limit) return v % bound;
  }
}

} // namespace

std::vector<std::uint32_t> Permutation(std::size_t n, std::uint64_t seed, std::uint64_t round) {
  std::vector<std::uint32_t> p(n);
  for (std::size_t i = 0; i < n; ++i)
    p[i] = static_cast<std::uint32_t>(i);
  std::uint64_t state = seed ^ (round * 0xD1B54A32D192ED03ull);
  SplitMix(state);
  for (std::size_t i = n; i > 1; --i)
    std::swap(p[i - 1], p[Below(state, i)]);
  return p;
}

double PermutationFap(std::size_t beaten, std::size_t rounds) {
  return static_cast<double>(1 + beaten) / static_cast<double>(1 + rounds);
}

} // namespace morvik
