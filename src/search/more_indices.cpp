#include "search/more_indices.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "common/selection.hpp"
#include "photometry/parallel.hpp"
#include "search/index_calibration.hpp"

namespace morvik {

namespace {

inline double Finite(double v) { return std::isfinite(v) ? v : 0.0; }

// The values of the given ascending 0-based ranks, as SelectRanks gives them, in fewer
// passes: the extremes in one branch-free pass, the counts per bin in a second, and the
// values of every bin holding a rank gathered together in a third. False, with nothing
// done, for a NaN or a range that cannot be divided into bins.
bool SelectFewRanks(std::span<const double> values, const std::size_t* ranks, int count, double* out,
                    std::span<double> scratch) {
  constexpr std::size_t kBins = 256;
  double low = values[0], high = values[0];
  bool nan = false;
  for (double x : values) {
    low = std::min(low, x);
    high = std::max(high, x);
    nan |= x != x;
  }
  const double scale = static_cast<double>(kBins - 1) / (high - low);
  if (nan || !(high > low) || !std::isfinite(scale)) return false;
  auto binOf = [low, scale](double x) { return std::min(static_cast<std::size_t>((x - low) * scale), kBins - 1); };
  std::size_t start[kBins + 1] = {};
  for (double x : values)
    ++start[binOf(x) + 1];
  for (std::size_t b = 1; b <= kBins; ++b)
    start[b] += start[b - 1];
  // Where each bin holding a rank is gathered in scratch (kNone: a bin holding none).
  constexpr std::size_t kNone = ~std::size_t{0};
  std::size_t at[kBins];
  std::fill_n(at, kBins, kNone);
  std::size_t binOfRank[4], used[4], nUsed = 0, filled = 0;
  for (int r = 0; r < count; ++r) {
    std::size_t b = 0;
    while (start[b + 1] <= ranks[r])
      ++b;
    binOfRank[r] = b;
    if (at[b] != kNone) continue;
    at[b] = filled;
    filled += start[b + 1] - start[b];
    used[nUsed++] = b;
  }
  std::size_t next[4];
  for (std::size_t u = 0; u < nUsed; ++u)
    next[u] = at[used[u]];
  for (double x : values) {
    const std::size_t b = binOf(x);
    if (at[b] == kNone) continue;
    std::size_t u = 0;
    while (used[u] != b)
      ++u;
    scratch[next[u]++] = x;
  }
  for (std::size_t u = 0; u < nUsed; ++u) {
    const std::size_t b = used[u];
    std::sort(scratch.begin() + static_cast<std::ptrdiff_t>(at[b]),
              scratch.begin() + static_cast<std::ptrdiff_t>(at[b] + start[b + 1] - start[b]));
  }
  for (int r = 0; r < count; ++r)
    out[r] = scratch[at[binOfRank[r]] + ranks[r] - start[binOfRank[r]]];
  return true;
}

// Interquartile range: the quartiles by linear interpolation between the order
// statistics at the positions (n - 1) q, counted from 0.
double InterquartileRange(std::span<const double> values, std::span<double> scratch) {
  const std::size_t n = values.size();
  const double p1 = 0.25 * static_cast<double>(n - 1), p3 = 0.75 * static_cast<double>(n - 1);
  const auto r1 = static_cast<std::size_t>(p1), r3 = static_cast<std::size_t>(p3);
  const std::size_t ranks[4] = {r1, std::min(r1 + 1, n - 1), r3, std::min(r3 + 1, n - 1)};
  double v[4];
  if (!SelectFewRanks(values, ranks, 4, v, scratch)) SelectRanks(values, ranks, 4, v, scratch);
  const double q1 = v[0] + (p1 - static_cast<double>(r1)) * (v[1] - v[0]);
  const double q3 = v[2] + (p3 - static_cast<double>(r3)) * (v[3] - v[2]);
  return q3 - q1;
}

double Sign(double v) { return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0); }

} // namespace

// The indices follow the definitions collected by Sokolovsky et al. (2017, MNRAS 464,
// 274), with the errors as weights where the definition has them:
// - the interquartile range of the magnitudes (Kim et al. 2014, A&A 566, A43);
// - Stetson's J, K and L (Stetson 1996, PASP 108, 851): the normalised residual
//   delta_i = sqrt(n / (n - 1)) (m_i - weighted mean) / sigma_i; J sums
//   sgn(P) sqrt(|P|) over pairs of measurements close in time (P = delta_i delta_j)
//   and single ones (P = delta_i^2 - 1), each of weight 1, divided by their number;
//   K = (1/n sum |delta|) / sqrt(1/n sum delta^2); L = J K / 0.798, every measurement
//   being present here;
// - 1/eta, eta being von Neumann's ratio of the mean square successive difference to
//   the variance (von Neumann 1941, Ann. Math. Stat. 12, 367; Shin et al. 2009, MNRAS
//   400, 1897): a smooth variation makes it large;
// - the excess over the expected scatter: sqrt(chi^2 / (n - 1)) about the weighted
//   mean, 1 for a star as quiet as its errors say.
MoreIndices IndicesOf(std::span<const double> mags, std::span<const double> errs, std::span<const double> times,
                      std::span<double> scratch) {
  MoreIndices out;
  const std::size_t n = mags.size();
  out.N = static_cast<std::uint32_t>(n);
  if (n < 2) return out;
  const double count = static_cast<double>(n);

  double sumW = 0.0, sumWM = 0.0, sumM = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double w = errs[i] > 0.0 ? 1.0 / (errs[i] * errs[i]) : 0.0;
    sumW += w;
    sumWM += w * mags[i];
    sumM += mags[i];
  }
  const double meanW = sumW > 0.0 && std::isfinite(sumW) ? sumWM / sumW : sumM / count;
  const double mean = sumM / count;

  out.Iqr = InterquartileRange(mags, scratch);

  const double bessel = std::sqrt(count / (count - 1.0));
  double chi = 0.0, clipped = 0.0, absDelta = 0.0, sqDelta = 0.0, sq = 0.0, succ = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double e = errs[i];
    const double delta = e > 0.0 ? bessel * (mags[i] - meanW) / e : 0.0;
    scratch[i] = delta;
    absDelta += std::fabs(delta);
    sqDelta += delta * delta;
    if (e > 0.0) {
      const double z = (mags[i] - meanW) / e;
      chi += z * z;
      clipped += std::min(z * z, kClipSigmas * kClipSigmas);
    }
    sq += (mags[i] - mean) * (mags[i] - mean);
    if (i > 0) succ += (mags[i] - mags[i - 1]) * (mags[i] - mags[i - 1]);
  }
  double j = 0.0;
  std::size_t terms = 0;
  for (std::size_t i = 0; i < n; ++terms) {
    if (i + 1 < n && times[i + 1] - times[i] <= kStetsonPairDays) {
      const double p = scratch[i] * scratch[i + 1];
      j += Sign(p) * std::sqrt(std::fabs(p));
      i += 2;
    } else {
      const double p = scratch[i] * scratch[i] - 1.0;
      j += Sign(p) * std::sqrt(std::fabs(p));
      i += 1;
    }
  }
  out.StetsonJ = Finite(j / static_cast<double>(terms));
  out.StetsonK = sqDelta > 0.0 ? Finite((absDelta / count) / std::sqrt(sqDelta / count)) : 0.0;
  out.StetsonL = Finite(out.StetsonJ * out.StetsonK / 0.798);
  out.InverseEta = succ > 0.0 ? Finite(sq / succ) : 0.0;
  out.ExcessScatter = Finite(std::sqrt(chi / (count - 1.0)));
  out.ClippedExcess = Finite(std::sqrt(clipped / (count - 1.0)));
  out.Iqr = Finite(out.Iqr);
  return out;
}

// Simulated constant stars per star that calibrate its indices: enough for a median and
// an 84th percentile good to about a tenth of the spread.
constexpr int kCalibrationRounds = 64;

std::vector<MoreIndices> ComputeMoreIndices(const TTimeSeries& series, double starSigmaFactor, double dataSigmaFactor) {
  std::vector<MoreIndices> out;
  const std::size_t stars = series.StarCount;
  if (stars == 0 || series.Stats.size() < stars) return out;
  out.resize(stars);
  const std::size_t rows =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(series.RowCount, 0)), series.Rows.size());
  const double frameLimit = dataSigmaFactor * series.MeanSigmaAll;
  std::vector<std::size_t> accepted;
  for (std::size_t r = 0; r < rows; ++r)
    if (series.Rows[r].FrameErr <= frameLimit) accepted.push_back(r);

  // Stars are gathered in blocks, row after row, so that the table is read in order.
  constexpr std::size_t kBlock = 64;
  const std::size_t perStar = std::max<std::size_t>(accepted.size(), 1);
  ForEachSlice(stars, stars * rows, [&](std::size_t sliceFirst, std::size_t sliceLast) {
    std::vector<double> mags(kBlock * perStar), errs(kBlock * perStar), times(kBlock * perStar), scratch(perStar);
    std::vector<std::size_t> count(kBlock);
    std::vector<double> limit(kBlock);
    for (std::size_t first = sliceFirst; first < sliceLast; first += kBlock) {
      const std::size_t nb = std::min(kBlock, sliceLast - first);
      std::fill_n(count.begin(), nb, 0);
      for (std::size_t k = 0; k < nb; ++k)
        limit[k] = starSigmaFactor * series.Stats[first + k].MeanErr;
      for (std::size_t r : accepted) {
        const TDataLine& row = series.Rows[r];
        if (row.Items.size() <= first) continue;
        const std::size_t avail = std::min(nb, row.Items.size() - first);
        for (std::size_t k = 0; k < avail; ++k) {
          const TMeasurement& x = row.Items[first + k];
          if (!x.Valid || !(x.Err <= limit[k])) continue;
          const std::size_t pos = k * perStar + count[k]++;
          mags[pos] = x.RunMag;
          errs[pos] = x.Err;
          times[pos] = row.Time;
        }
      }
      for (std::size_t k = 0; k < nb; ++k) {
        const std::size_t at = k * perStar;
        const std::span<const double> m(mags.data() + at, count[k]), e(errs.data() + at, count[k]),
            t(times.data() + at, count[k]);
        MoreIndices& x = out[first + k];
        x = IndicesOf(m, e, t, scratch);
        x.DipSnr = DipSignalToNoise(m, e, t);
        CalibrateIndices(e, t, first + k + 1, kCalibrationRounds, x);
      }
    }
  });
  return out;
}

double MoreIndexValue(const MoreIndices& m, int k) {
  switch (k) {
  case 0:
    return m.Iqr;
  case 1:
    return m.StetsonJ;
  case 2:
    return m.StetsonK;
  case 3:
    return m.StetsonL;
  case 4:
    return m.InverseEta;
  case 5:
    return m.ExcessScatter;
  default:
    return 0.0;
  }
}

} // namespace morvik
