#include "search/variability.hpp"

#include "photometry/parallel.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace morvik {

void SortValues(std::span<double> values) {
  const long long n = static_cast<long long>(values.size());
  if (n < 2) return;
  // 1-based positions below, as the gap rule is stated on them.
  auto at = [&](long long pos) -> double& { return values[static_cast<std::size_t>(pos - 1)]; };
  long long h = 1;
  while (static_cast<double>(h) < static_cast<double>(n) / 9.0)
    h = 3 * h + 1;
  for (; h >= 1; h /= 3) {
    for (long long i = h + 1; i <= n; ++i) {
      for (long long k = i - h; k >= 1 && at(k) > at(k + h); k -= h)
        std::swap(at(k), at(k + h));
    }
  }
}

double MedianOfRange(std::span<const double> sorted, long long lo, long long hi) {
  const long long count = static_cast<long long>(sorted.size());
  if (count <= 0 || lo >= hi || lo < 1 || hi > count) return 0.0;
  const long long length = hi - lo + 1;
  const long long c = lo + length / 2;
  auto at = [&](long long pos) { return sorted[static_cast<std::size_t>(pos - 1)]; };
  if (length % 2 != 0) return at(c);
  return (at(c - 1) + at(c)) / 2.0;
}

namespace {

// Below this many candidates the middle values are left to nth_element.
constexpr std::size_t kSmallSelection = 48;
constexpr std::size_t kSelectionBins = 256;

// The values of 0-based ranks k1 and k2 (k2 = k1 or k1 + 1) of values, reordering them.
// nth_element alone spends most of its time in mispredicted branches; sorting the values
// into bins between their minimum and maximum first leaves only the few in the bin that
// holds the middle ranks. The bin of a value never decreases as the value grows, so every
// value of a lower bin ranks below every value of a higher one and the selection stays
// exact. False, with values untouched, when a NaN or an infinity is among them or their
// range overflows.
bool SelectMiddle(std::span<double> values, std::size_t k1, std::size_t k2, double& low, double& high) {
  double* v = values.data();
  std::size_t n = values.size();
  while (n > kSmallSelection) {
    // Four running extremes, so that each comparison does not wait for the previous one.
    double lo4[4] = {v[0], v[0], v[0], v[0]};
    double hi4[4] = {v[0], v[0], v[0], v[0]};
    bool nan = false;
    std::size_t at = 0;
    for (; at + 4 <= n; at += 4) {
      for (std::size_t l = 0; l < 4; ++l) {
        lo4[l] = std::min(lo4[l], v[at + l]);
        hi4[l] = std::max(hi4[l], v[at + l]);
        nan |= v[at + l] != v[at + l];
      }
    }
    for (; at < n; ++at) {
      lo4[0] = std::min(lo4[0], v[at]);
      hi4[0] = std::max(hi4[0], v[at]);
      nan |= v[at] != v[at];
    }
    const double lo = std::min(std::min(lo4[0], lo4[1]), std::min(lo4[2], lo4[3]));
    const double hi = std::max(std::max(hi4[0], hi4[1]), std::max(hi4[2], hi4[3]));
    if (nan || !std::isfinite(hi - lo)) return false; // only ever on the whole, untouched set
    if (hi == lo) {
      low = high = lo;
      return true;
    }
    const double scale = static_cast<double>(kSelectionBins - 1) / (hi - lo);
    if (!std::isfinite(scale)) break; // a range too narrow to divide: the rest is few values
    auto bin = [lo, scale](double x) {
      return std::min(static_cast<std::size_t>((x - lo) * scale), kSelectionBins - 1);
    };
    std::uint32_t count[kSelectionBins] = {};
    for (std::size_t i = 0; i < n; ++i)
      ++count[bin(v[i])];
    std::size_t b1 = 0, below = 0;
    while (below + count[b1] <= k1)
      below += count[b1++];
    if (k2 - below >= count[b1]) {
      // k1 is the last rank of its bin and k2 the first of the next bin in use.
      std::size_t b2 = b1 + 1;
      while (count[b2] == 0)
        ++b2;
      double last = -std::numeric_limits<double>::infinity();
      double first = std::numeric_limits<double>::infinity();
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t b = bin(v[i]);
        if (b == b1) last = std::max(last, v[i]);
        if (b == b2) first = std::min(first, v[i]);
      }
      low = last;
      high = first;
      return true;
    }
    // The minimum and the maximum lie in different bins, so this always shrinks.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double x = v[i];
      v[kept] = x;
      kept += bin(x) == b1 ? 1 : 0;
    }
    n = kept;
    k1 -= below;
    k2 -= below;
  }
  auto mid = v + k2;
  std::nth_element(v, mid, v + n);
  high = *mid;
  // Everything before mid is <= *mid, so the largest of them is rank k1.
  low = k1 == k2 ? high : *std::max_element(v, mid);
  return true;
}

} // namespace

double MiddleMedian(std::span<double> values) {
  const std::size_t n = values.size();
  if (n < 2) return 0.0; // a single value has median 0, as with the sorted range
  const std::size_t k = n / 2;
  const std::size_t k1 = n % 2 != 0 ? k : k - 1;
  double low = 0.0, high = 0.0;
  if (!SelectMiddle(values, k1, k, low, high)) {
    auto mid = values.begin() + static_cast<std::ptrdiff_t>(k);
    std::nth_element(values.begin(), mid, values.end());
    high = *mid;
    low = k1 == k ? high : *std::max_element(values.begin(), mid);
  }
  return n % 2 != 0 ? high : (low + high) / 2.0;
}

namespace {

// Weight 1/Err^2, or 0 when that is not a finite number (Err 0, or so small that its
// inverse square overflows): such a measurement adds nothing to the weighted sums,
// ChiSq or RobustMedian, but still counts everywhere else.
inline double InverseSquare(double e) {
  const double w = 1.0 / (e * e);
  return std::isfinite(w) ? w : 0.0;
}

// No NaN or infinity may be stored, whatever extreme values the table held.
inline double Finite(double v) { return std::isfinite(v) ? v : 0.0; }

// Stars are gathered in blocks so that the table is read once, row after row, with
// each row's block of measurements contiguous; the block's accepted values then fit in
// the cache for the two passes and the two medians.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kMinBlock = 4;
constexpr std::size_t kMaxBlock = 256;
// Bytes gathered per accepted value: RunMag, Err and the row.
constexpr std::size_t kValueBytes = 2 * sizeof(double) + sizeof(std::uint32_t);

void ClearIndices(TStarStat& st) {
  st.NAccepted = 0;
  st.RunMeanW = 0.0;
  st.RunMedian = 0.0;
  st.RunVariance = 0.0;
  st.ChiSq = 0.0;
  st.Mad = 0.0;
  st.RobustMedian = 0.0;
  st.ExcessVariance = 0.0;
  st.VonNeumann = 0.0;
}

// Both passes and the results of one star whose n accepted values, in row order, are
// mags[0..n) with errors errs[0..n), taken from the rows rows[0..n). The star's values
// stay in the cache, so the sums run in registers. scratch holds at least n values.
void FinishStar(TStarStat& st, std::size_t n, const double* mags, const double* errs, const std::uint32_t* rows,
                double* scratch) {
  if (n == 0) {
    ClearIndices(st);
    return;
  }
  double sumWM = 0.0, sumW = 0.0, sumM = 0.0, sumV = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double m = mags[i];
    const double w = InverseSquare(errs[i]);
    sumWM += w * m;
    sumW += w;
    sumM += m;
    // A successive difference counts only when both rows are accepted.
    if (i > 0 && rows[i] == rows[i - 1] + 1) {
      const double d = m - mags[i - 1];
      sumV += d * d;
    }
    scratch[i] = m;
  }
  const double count = static_cast<double>(n);
  // Without any usable weight the weighted mean falls back to the plain mean.
  const double meanW = sumW > 0.0 ? sumWM / sumW : sumM / count;

  const double median = MiddleMedian(std::span<double>(scratch, n));

  double s = 0.0, c = 0.0, r = 0.0, e2 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double m = mags[i];
    const double e = errs[i];
    const double d = m - meanW;
    const double d2 = d * d;
    s += d2;
    const double a = std::fabs(m - median);
    scratch[i] = a;
    if (InverseSquare(e) != 0.0) {
      c += d2 / (e * e);
      r += a / e;
    }
    e2 += d2 - e * e;
  }
  const double mad = MiddleMedian(std::span<double>(scratch, n));

  st.NAccepted = static_cast<std::uint16_t>(std::min<std::size_t>(n, std::numeric_limits<std::uint16_t>::max()));
  st.RunMeanW = Finite(meanW);
  st.RunMedian = Finite(median);
  st.Mad = Finite(mad);
  st.RunVariance = Finite(s / count);
  st.ChiSq = Finite(c);
  st.RobustMedian = n > 1 ? Finite(r / (count - 1.0)) : 0.1;
  const double scale = meanW * meanW * count;
  st.ExcessVariance = scale != 0.0 ? Finite(e2 / scale) : 0.0;
  st.VonNeumann = sumV > 0.0 ? Finite(s / sumV) : 0.0;
}

} // namespace

void ComputeVariabilityIndices(TTimeSeries& series, double starSigmaFactor, double dataSigmaFactor, Log& log,
                               std::vector<MoreIndices>* more) {
  const std::size_t stars = series.StarCount;
  const std::size_t rows =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(series.RowCount, 0)), series.Rows.size());
  if (stars > 0 && series.Stats.size() >= stars) {
    // A frame whose mean error is too large is skipped for every star.
    const double frameLimit = dataSigmaFactor * series.MeanSigmaAll;
    std::vector<char> rowAccepted(rows);
    for (std::size_t j = 0; j < rows; ++j)
      rowAccepted[j] = series.Rows[j].FrameErr <= frameLimit;

    if (more != nullptr) more->assign(stars, MoreIndices{});
    const std::size_t perStar = std::max<std::size_t>(rows, 1);
    std::size_t block = kBlockBytes / (perStar * kValueBytes);
    block = std::clamp(block, kMinBlock, kMaxBlock);

    // Stars are independent: each slice of stars is computed by one thread with its own
    // buffers, in the same order as a single thread would, so the results do not depend
    // on the number of threads.
    auto computeSlice = [&](std::size_t sliceFirst, std::size_t sliceLast) {
      const std::size_t width = std::min(block, sliceLast - sliceFirst);
      std::vector<double> mags(width * perStar), errs(width * perStar), scratch(perStar);
      std::vector<std::uint32_t> rowOf(width * perStar);
      std::vector<std::size_t> count(width);
      std::vector<double> limit(width); // starSigmaFactor x MeanErr
      std::vector<double> times(more != nullptr ? perStar : 0);
      for (std::size_t first = sliceFirst; first < sliceLast; first += width) {
        const std::size_t nb = std::min(width, sliceLast - first);
        std::fill_n(count.begin(), nb, 0);
        for (std::size_t k = 0; k < nb; ++k)
          limit[k] = starSigmaFactor * series.Stats[first + k].MeanErr;

        for (std::size_t j = 0; j < rows; ++j) {
          if (!rowAccepted[j]) continue;
          const std::vector<TMeasurement>& items = series.Rows[j].Items;
          if (items.size() <= first) continue;
          const std::size_t avail = std::min(nb, items.size() - first);
          const TMeasurement* it = items.data() + first;
          const auto row = static_cast<std::uint32_t>(j);
          for (std::size_t k = 0; k < avail; ++k) {
            const TMeasurement& x = it[k];
            if (!x.Valid || !(x.Err <= limit[k])) continue;
            const std::size_t pos = k * perStar + count[k]++;
            mags[pos] = x.RunMag;
            errs[pos] = x.Err;
            rowOf[pos] = row;
          }
        }

        for (std::size_t k = 0; k < nb; ++k) {
          const std::size_t at = k * perStar;
          FinishStar(series.Stats[first + k], count[k], mags.data() + at, errs.data() + at, rowOf.data() + at,
                     scratch.data());
          if (more == nullptr) continue;
          // The further indices from the values just gathered, while they are in the cache.
          for (std::size_t i = 0; i < count[k]; ++i)
            times[i] = series.Rows[rowOf[at + i]].Time;
          (*more)[first + k] = IndicesOf(std::span<const double>(mags.data() + at, count[k]),
                                         std::span<const double>(errs.data() + at, count[k]),
                                         std::span<const double>(times.data(), count[k]), scratch);
        }
      }
    };
    ForEachSlice(stars, stars * rows, computeSlice);
  }
  log.Add("Mean and Sigma (RUN) calculated");
}

} // namespace morvik
