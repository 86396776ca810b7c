#include "reduction/sky.hpp"

#include <algorithm>
#include <cmath>

namespace morvik::reduction {

SkyLevel AnnulusSky(float* ring, std::size_t n, double sigmaGuess) {
  SkyLevel s;
  if (n < 12) return s;
  std::sort(ring, ring + n);
  // Sorted: what a clip keeps is a stretch [from, to).
  auto medianOf = [&](std::size_t from, std::size_t to) {
    const std::size_t m = from + (to - from) / 2;
    return (to - from) % 2 == 1 ? static_cast<double>(ring[m])
                                : 0.5 * (static_cast<double>(ring[m - 1]) + static_cast<double>(ring[m]));
  };
  auto stats = [&](std::size_t from, std::size_t to, double& mean, double& sigma) {
    double sum = 0, sum2 = 0;
    for (std::size_t k = from; k < to; ++k) {
      const double v = static_cast<double>(ring[k]);
      sum += v;
      sum2 += v * v;
    }
    const double c = static_cast<double>(to - from);
    mean = sum / c;
    sigma = std::sqrt(std::max(0.0, sum2 / c - mean * mean));
  };
  std::size_t from = 0, to = n;
  double mean = 0, sigma = 0;
  stats(from, to, mean, sigma);
  const double firstSigma = sigma;
  double median = medianOf(from, to);
  double clip = sigmaGuess > 0 ? sigmaGuess : sigma;
  for (int pass = 0; pass < 5; ++pass) {
    const float low = static_cast<float>(median - 3.0 * clip), high = static_cast<float>(median + 3.0 * clip);
    const std::size_t f = static_cast<std::size_t>(std::lower_bound(ring, ring + n, low) - ring);
    const std::size_t t = static_cast<std::size_t>(std::upper_bound(ring, ring + n, high) - ring);
    if (t <= f + 8) return s;
    const bool same = f == from && t == to;
    from = f;
    to = t;
    stats(from, to, mean, sigma);
    median = medianOf(from, to);
    clip = sigma;
    if (same && pass > 0) break;
  }
  s.count = to - from;
  s.sigma = sigma;
  const double root = std::sqrt(static_cast<double>(s.count));
  if (std::abs(sigma - firstSigma) <= 0.2 * firstSigma) {
    s.level = mean;
    s.levelErr = sigma / root;
  } else if (std::abs(mean - median) > 0.3 * sigma) {
    s.level = median;
    s.levelErr = 1.2533 * sigma / root; // the median scatters sqrt(pi / 2) times more
  } else {
    s.level = 2.5 * median - 1.5 * mean;
    s.levelErr = 1.2533 * sigma / root;
  }
  s.ok = s.count >= 8 && sigma >= 0;
  return s;
}

} // namespace morvik::reduction
