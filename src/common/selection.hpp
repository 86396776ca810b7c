#pragma once
// Order statistics of a set of values without ordering them all.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

namespace morvik {

// The values of the given 0-based ranks (each below values.size()). The
// values are counted into bins between their minimum and maximum first; only the few
// in the bin that holds a rank are then ordered, which is much cheaper than ordering
// them all. The bin of a value never decreases as the value grows, so the selection is
// exact. values keeps its order; bin is scratch of values.size().
inline void SelectRanks(std::span<const double> values, const std::size_t* ranks, int count, double* out,
                        std::span<double> bin) {
  constexpr std::size_t kBins = 256;
  const std::size_t n = values.size();
  const auto [lowIt, highIt] = std::minmax_element(values.begin(), values.end());
  const double low = *lowIt, high = *highIt;
  const double scale = static_cast<double>(kBins - 1) / (high - low);
  if (!(high > low) || !std::isfinite(scale)) {
    // One value throughout, or a range too narrow or wide to divide: order them all.
    std::copy(values.begin(), values.end(), bin.begin());
    std::sort(bin.begin(), bin.begin() + static_cast<std::ptrdiff_t>(n));
    for (int r = 0; r < count; ++r)
      out[r] = bin[ranks[r]];
    return;
  }
  auto binOf = [low, scale](double x) { return std::min(static_cast<std::size_t>((x - low) * scale), kBins - 1); };
  std::size_t start[kBins + 1] = {};
  for (double x : values)
    ++start[binOf(x) + 1];
  for (std::size_t b = 1; b <= kBins; ++b)
    start[b] += start[b - 1];
  // Ranks in ascending order share a bin often (the two middle ones of a median): a
  // bin is gathered and ordered once.
  std::size_t gathered = kBins; // none yet
  for (int r = 0; r < count; ++r) {
    std::size_t b = 0;
    while (start[b + 1] <= ranks[r])
      ++b;
    if (b != gathered) {
      std::size_t m = 0;
      for (double x : values)
        if (binOf(x) == b) bin[m++] = x;
      std::sort(bin.begin(), bin.begin() + static_cast<std::ptrdiff_t>(m));
      gathered = b;
    }
    out[r] = bin[ranks[r] - start[b]];
  }
}

// Median of values (the mean of the two middle ones for an even count); 0 when empty.
// bin is scratch of values.size().
inline double MedianOf(std::span<const double> values, std::span<double> bin) {
  const std::size_t n = values.size();
  if (n == 0) return 0.0;
  const std::size_t ranks[2] = {(n - 1) / 2, n / 2};
  double v[2];
  SelectRanks(values, ranks, 2, v, bin);
  return 0.5 * (v[0] + v[1]);
}

} // namespace morvik
