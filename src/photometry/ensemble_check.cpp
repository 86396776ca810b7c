#include "photometry/ensemble_check.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

#include "common/format.hpp"
#include "common/selection.hpp"
#include "photometry/parallel.hpp"

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
void FrameSums(const TTimeSeries& data, const std::vector<double>& weight, const std::vector<double>& meanW,
               std::vector<double>& w, std::vector<double>& a) {
  const std::size_t rows = std::min(data.Rows.size(), static_cast<std::size_t>(std::max(data.RowCount, 0)));
  w.assign(rows, 0.0);
  a.assign(rows, 0.0);
  ForEachSlice(rows, rows * weight.size(), [&](std::size_t first, std::size_t last) {
    for (std::size_t r = first; r < last; ++r) {
      const TMeasurement* items = data.Rows[r].Items.data();
      const std::size_t n = std::min(data.Rows[r].Items.size(), weight.size());
      double sw = 0.0, sa = 0.0;
      for (std::size_t j = 0; j < n; ++j) {
        if (!items[j].Valid || weight[j] <= 0.0) continue;
        sw += weight[j];
        sa += weight[j] * (items[j].Mag - meanW[j]);
      }
      w[r] = sw;
      a[r] = sa;
    }
  });
}

// The checked stars' light curves against the ensemble without each of them, gathered
// for a block of stars at a time, row after row, so that the table is read in order.
struct LeaveOneOutBlock {
  std::vector<double> values, errs; // star k of the block at k * rows
  std::vector<std::size_t> count;
};

void GatherBlock(const TTimeSeries& data, const std::size_t* ids, std::size_t nb, const std::vector<double>& weight,
                 const std::vector<double>& meanW, const std::vector<double>& w, const std::vector<double>& a,
                 LeaveOneOutBlock& b) {
  const std::size_t rows = w.size();
  b.values.resize(nb * rows);
  b.errs.resize(nb * rows);
  b.count.assign(nb, 0);
  for (std::size_t r = 0; r < rows; ++r) {
    const auto& items = data.Rows[r].Items;
    for (std::size_t k = 0; k < nb; ++k) {
      const std::size_t j = ids[k];
      if (j >= items.size() || !items[j].Valid) continue;
      const TMeasurement& m = items[j];
      const double d = m.Mag - meanW[j];
      // Weights below a millionth of the frame's are rounding noise, not a zero point.
      const double rest = w[r] - weight[j];
      if (!(rest > 1e-6 * w[r])) continue;
      const std::size_t at = k * rows + b.count[k]++;
      b.values[at] = d - (a[r] - weight[j] * d) / rest;
      b.errs[at] = std::fabs(m.Err);
    }
  }
}

// The longest run of consecutive values beyond `limit` from centre, all on one side.
std::uint32_t LongestRun(const double* values, std::size_t n, double centre, double limit) {
  std::uint32_t longest = 0, run = 0;
  int side = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = values[i] - centre;
    const int s = d > limit ? 1 : (d < -limit ? -1 : 0);
    run = s != 0 && s == side ? run + 1 : (s != 0 ? 1 : 0);
    side = s;
    longest = std::max(longest, run);
  }
  return longest;
}

// A light curve's robust scatter (a few outliers are common in any star and must not
// flag it) and the scatter its errors predict, both as a standard deviation of a normal
// distribution would be, and its longest run of deviant frames.
void Scatter(double* values, const double* errs, std::size_t n, std::vector<double>& scratch, StarCheck& out) {
  out.N = static_cast<std::uint32_t>(n);
  if (n < 2) return;
  scratch.resize(n);
  const std::span<double> v(values, n);
  out.ErrScatter = MedianOf(std::span<const double>(errs, n), scratch);
  const double centre = MedianOf(v, scratch);
  std::vector<double> deviation(n);
  for (std::size_t i = 0; i < n; ++i)
    deviation[i] = std::fabs(values[i] - centre);
  out.Scatter = kMadToSigma * MedianOf(deviation, scratch);
  const double sigma = std::max(out.Scatter, out.ErrScatter);
  if (sigma > 0.0) out.LongestRun = LongestRun(values, n, centre, kEpisodeSigmas * sigma);
}

// Rows of two stars the same in every frame: both measured or both not, and equal
// magnitudes where measured.
bool SameInEveryRow(const TTimeSeries& data, std::size_t a, std::size_t b) {
  std::size_t shared = 0;
  for (const TDataLine& row : data.Rows) {
    const bool va = a < row.Items.size() && row.Items[a].Valid, vb = b < row.Items.size() && row.Items[b].Valid;
    if (va != vb) return false;
    if (!va) continue;
    if (std::fabs(row.Items[a].Mag - row.Items[b].Mag) > 1e-9) return false;
    ++shared;
  }
  return shared >= 2;
}

// Comparison stars that are copies of one another (a star detected twice at one place):
// grouped by the sum of their magnitudes, then compared row by row. Returns how many.
int MarkCopies(const TTimeSeries& data, EnsembleCheck& result) {
  std::vector<std::pair<double, std::size_t>> keys;
  for (std::size_t j = 0; j < data.Stats.size(); ++j) {
    if (!data.Stats[j].Used) continue;
    double sum = 0.0;
    for (const TDataLine& row : data.Rows)
      if (j < row.Items.size() && row.Items[j].Valid) sum += row.Items[j].Mag;
    keys.emplace_back(sum, j);
  }
  std::sort(keys.begin(), keys.end());
  int copies = 0;
  for (std::size_t i = 0; i < keys.size(); ++i)
    for (std::size_t k = i + 1;
         k < keys.size() && keys[k].first - keys[i].first <= 1e-6 * (1.0 + std::fabs(keys[i].first)); ++k) {
      const std::size_t a = keys[i].second, b = keys[k].second;
      if (!SameInEveryRow(data, a, b)) continue;
      for (std::size_t j : {a, b})
        if (result.Stars[j].CopyOf == 0) ++copies;
      result.Stars[a].CopyOf = static_cast<std::uint16_t>(b + 1);
      result.Stars[b].CopyOf = static_cast<std::uint16_t>(a + 1);
    }
  return copies;
}

void Flag(EnsembleCheck& result, std::size_t j) {
  if (result.Stars[j].Flagged) return;
  result.Stars[j].Flagged = true;
  ++result.FlaggedCount;
}

} // namespace

EnsembleCheck CheckEnsemble(const TTimeSeries& data, std::uint16_t compStarId, const EnsembleCheckSettings& settings,
                            Log& log) {
  EnsembleCheck result;
  if (!data.HasStats()) return result;
  const std::size_t stars = data.Stats.size();
  result.Stars.resize(stars);

  std::vector<double> weight(stars, 0.0), meanW(stars);
  for (std::size_t j = 0; j < stars; ++j) {
    if (data.Stats[j].Used && data.Stats[j].Weight > 0.0) weight[j] = data.Stats[j].Weight;
    meanW[j] = data.Stats[j].MeanW;
  }
  std::vector<double> w, a;
  FrameSums(data, weight, meanW, w, a);

  std::vector<std::size_t> checked;
  for (std::size_t j = 0; j < stars; ++j)
    if (data.Stats[j].Used || (compStarId >= 1 && j + 1 == compStarId)) checked.push_back(j);
  // Stars are independent: each slice is done by one thread with its own buffers.
  constexpr std::size_t kBlock = 64;
  ForEachSlice(checked.size(), checked.size() * w.size(), [&](std::size_t sliceFirst, std::size_t sliceLast) {
    LeaveOneOutBlock block;
    std::vector<double> scratch;
    for (std::size_t first = sliceFirst; first < sliceLast; first += kBlock) {
      const std::size_t nb = std::min(kBlock, sliceLast - first);
      GatherBlock(data, checked.data() + first, nb, weight, meanW, w, a, block);
      for (std::size_t k = 0; k < nb; ++k) {
        StarCheck& c = result.Stars[checked[first + k]];
        c.Checked = true;
        Scatter(block.values.data() + k * w.size(), block.errs.data() + k * w.size(), block.count[k], scratch, c);
      }
    }
  });

  // Copies are said whether or not there are enough stars to judge their scatter.
  result.CopyCount = MarkCopies(data, result);
  for (std::size_t j = 0; j < stars; ++j) {
    const StarCheck& c = result.Stars[j];
    if (c.CopyOf == 0 || j + 1 > c.CopyOf) continue; // each pair once
    Flag(result, j);
    Flag(result, c.CopyOf - 1u);
    log.Add(FormatMessage("Comparison stars %d and %d are identical in every frame: one star catalogued twice",
                          {j + 1, static_cast<int>(c.CopyOf)}));
  }

  // The pool that sets the expected scatter: comparison stars with a usable ratio.
  std::vector<std::size_t> pool;
  for (std::size_t j : checked)
    if (data.Stats[j].Used && result.Stars[j].N >= 2 && result.Stars[j].ErrScatter > 0.0) pool.push_back(j);
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
    if (!c.Checked) continue;
    c.Episodic = c.LongestRun >= kEpisodeRun;
    if (c.Excess > result.Limit) {
      Flag(result, j);
      log.Add(FormatMessage("Varying comparison star %d: scatter %.4f, expected %.4f, excess %f (limit %f)",
                            {j + 1, c.Scatter, c.Expected, c.Excess, result.Limit}));
    } else if (c.Episodic) {
      Flag(result, j);
      log.Add(
          FormatMessage("Varying comparison star %d: %d consecutive frames beyond %.0f times its scatter %.4f "
                        "(an eclipse or a jump)",
                        {j + 1, static_cast<int>(c.LongestRun), kEpisodeSigmas, std::max(c.Scatter, c.ErrScatter)}));
    }
  }
  return result;
}

} // namespace morvik
