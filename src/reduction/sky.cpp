#include "reduction/sky.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace morvik::reduction {
namespace {

// Sorts ring[0, n) ascending by a least-significant-digit radix sort of the floats'
// bits, made monotonic (negative values' bits all flipped, positive ones' sign bit
// set), a byte per pass; a pass where every key has the same byte is skipped. A
// comparison sort of a few hundred noisy values loses most of its time to mispredicted
// branches; this one has none. NaN never reaches it (the annulus takes clean pixels).
void RadixSort(float* ring, std::size_t n) {
  thread_local std::vector<std::uint32_t> keys, spare;
  keys.resize(n);
  spare.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    std::uint32_t b;
    std::memcpy(&b, ring + k, sizeof b);
    keys[k] = (b & 0x80000000u) != 0 ? ~b : b | 0x80000000u;
  }
  std::uint32_t* from = keys.data();
  std::uint32_t* to = spare.data();
  for (int shift = 0; shift < 32; shift += 8) {
    std::array<std::size_t, 256> count{};
    for (std::size_t k = 0; k < n; ++k)
      ++count[(from[k] >> shift) & 0xffu];
    if (count[(from[0] >> shift) & 0xffu] == n) continue;
    std::size_t start = 0;
    for (std::size_t& c : count) {
      const std::size_t here = c;
      c = start;
      start += here;
    }
    for (std::size_t k = 0; k < n; ++k)
      to[count[(from[k] >> shift) & 0xffu]++] = from[k];
    std::swap(from, to);
  }
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t b = (from[k] & 0x80000000u) != 0 ? from[k] & 0x7fffffffu : ~from[k];
    std::memcpy(ring + k, &b, sizeof b);
  }
}

} // namespace

SkyLevel AnnulusSky(float* ring, std::size_t n, double sigmaGuess) {
  SkyLevel s;
  if (n < 12) return s;
  RadixSort(ring, n);
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
