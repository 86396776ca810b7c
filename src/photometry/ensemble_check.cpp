#include "photometry/ensemble_check.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "common/format.hpp"
#include "common/selection.hpp"

namespace morvik {

namespace {

constexpr double kMadToSigma = 1.4826; // MAD of a normal distribution x this = sigma

// Reorders v.
double Median(std::vector<double>& v) {
  if (v.empty()) return 0.0;
  const std::size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
  const double upper = v[mid];
  if (v.size() % 2 == 1) return upper;
  return 0.5 * (upper + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid)));
}

// Per frame: the weight W and the weighted offset A of the comparison stars measured in it.
void FrameSums(const TTimeSeries& data, const std::vector<double>& weight, std::vector<double>& w,
               std::vector<double>& a) {
  const std::size_t rows = std::min(data.Rows.size(), static_cast<std::size_t>(std::max(data.RowCount, 0)));
  w.assign(rows, 0.0);
  a.assign(rows, 0.0);
  for (std::size_t r = 0; r < rows; ++r) {
    const auto& items = data.Rows[r].Items;
    const std::size_t n = std::min(items.size(), weight.size());
    for (std::size_t j = 0; j < n; ++j) {
      if (!items[j].Valid || weight[j] <= 0.0) continue;
      w[r] += weight[j];
      a[r] += weight[j] * (items[j].Mag - data.Stats[j].MeanW);
    }
  }
}

// The star's light curve against the ensemble without it: its robust scatter (a few
// outliers are common in any star and must not flag it) and the scatter its errors
// predict, both as a standard deviation of a normal distribution would be.
void LeaveOneOut(const TTimeSeries& data, std::size_t j, double wj, const std::vector<double>& w,
                 const std::vector<double>& a, std::vector<double>& values, std::vector<double>& errs,
                 std::vector<double>& scratch, StarCheck& out) {
  values.clear();
  errs.clear();
  const double meanW = data.Stats[j].MeanW;
  for (std::size_t r = 0; r < w.size(); ++r) {
    const auto& items = data.Rows[r].Items;
    if (j >= items.size() || !items[j].Valid) continue;
    const TMeasurement& m = items[j];
    const double d = m.Mag - meanW;
    // Weights below a millionth of the frame's are rounding noise, not a zero point.
    const double rest = w[r] - wj;
    if (!(rest > 1e-6 * w[r])) continue;
    values.push_back(d - (a[r] - wj * d) / rest);
    errs.push_back(std::fabs(m.Err));
  }
  out.N = static_cast<std::uint32_t>(values.size());
  if (values.size() < 2) return;
  scratch.resize(values.size());
  const double centre = MedianOf(values, scratch);
  for (double& v : values)
    v = std::fabs(v - centre);
  out.Scatter = kMadToSigma * MedianOf(values, scratch);
  out.ErrScatter = MedianOf(errs, scratch);
}
} // namespace

EnsembleCheck CheckEnsemble(const TTimeSeries& data, std::uint16_t compStarId, const EnsembleCheckSettings& settings,
                            Log& log) {
  EnsembleCheck result;
  if (!data.HasStats()) return result;
  const std::size_t stars = data.Stats.size();
  result.Stars.resize(stars);

  std::vector<double> weight(stars, 0.0);
  for (std::size_t j = 0; j < stars; ++j)
    if (data.Stats[j].Used && data.Stats[j].Weight > 0.0) weight[j] = data.Stats[j].Weight;
  std::vector<double> w, a;
  FrameSums(data, weight, w, a);

  // The pool that sets the expected scatter: comparison stars with a usable ratio.
  std::vector<std::size_t> pool;
  std::vector<double> values, errs, scratch;
  for (std::size_t j = 0; j < stars; ++j) {
    const bool comp = compStarId >= 1 && j + 1 == compStarId;
    if (!data.Stats[j].Used && !comp) continue;
    StarCheck& c = result.Stars[j];
    c.Checked = true;
    LeaveOneOut(data, j, weight[j], w, a, values, errs, scratch, c);
    if (data.Stats[j].Used && c.N >= 2 && c.ErrScatter > 0.0) pool.push_back(j);
  }
  if (static_cast<int>(pool.size()) < settings.FewestStars) return result;
  result.Judged = true;

  // Pool ordered by magnitude: the neighbours of a star are the pool stars nearest in MeanW.
  std::sort(pool.begin(), pool.end(),
            [&](std::size_t x, std::size_t y) { return data.Stats[x].MeanW < data.Stats[y].MeanW; });
  const int k = std::min<int>(settings.Neighbours, static_cast<int>(pool.size()) - 1);
  std::vector<double> ratios;
  std::vector<double> excesses;
  for (std::size_t j = 0; j < stars; ++j) {
    StarCheck& c = result.Stars[j];
    if (!c.Checked || c.N < 2 || !(c.ErrScatter > 0.0)) continue;
    const double m = data.Stats[j].MeanW;
    auto at =
        std::lower_bound(pool.begin(), pool.end(), m, [&](std::size_t x, double v) { return data.Stats[x].MeanW < v; });
    std::ptrdiff_t lo = at - pool.begin(), hi = lo; // [lo, hi) taken
    ratios.clear();
    while (static_cast<int>(ratios.size()) < k && (lo > 0 || hi < static_cast<std::ptrdiff_t>(pool.size()))) {
      const bool takeLow = hi >= static_cast<std::ptrdiff_t>(pool.size()) ||
                           (lo > 0 && m - data.Stats[pool[lo - 1]].MeanW <= data.Stats[pool[hi]].MeanW - m);
      const std::size_t p = takeLow ? pool[--lo] : pool[hi++];
      if (p == j) continue;
      ratios.push_back(result.Stars[p].Scatter / result.Stars[p].ErrScatter);
    }
    const double expectedRatio = Median(ratios);
    // Neighbours without any scatter predict nothing beyond the errors.
    c.Expected = c.ErrScatter * (expectedRatio > 0.0 ? expectedRatio : 1.0);
    c.Excess = c.Expected > 0.0 ? c.Scatter / c.Expected : 0.0;
    if (data.Stats[j].Used) excesses.push_back(c.Excess);
  }

  const double centre = Median(excesses);
  std::vector<double> dev;
  for (double e : excesses)
    dev.push_back(std::fabs(e - centre));
  const double spread = kMadToSigma * Median(dev);
  result.Limit = std::max(settings.SmallestLimit, 1.0 + settings.Sigmas * spread);
  for (std::size_t j = 0; j < stars; ++j) {
    StarCheck& c = result.Stars[j];
    if (!c.Checked || !(c.Excess > result.Limit)) continue;
    c.Flagged = true;
    ++result.FlaggedCount;
    log.Add(FormatMessage("Varying comparison star %d: scatter %.4f, expected %.4f, excess %f (limit %f)",
                          {j + 1, c.Scatter, c.Expected, c.Excess, result.Limit}));
  }
  return result;
}

} // namespace morvik
