#include "periods/lafler_kinman.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>
#include <utility>

#include "common/capacities.hpp"
#include "common/errors.hpp"
#include "common/format.hpp"

namespace morvik {

void ShellSortByPhase(std::span<PhasePoint> a) {
  const std::size_t n = a.size();
  std::size_t h = 1;
  while (static_cast<double>(n) / 9.0 > static_cast<double>(h))
    h = 3 * h + 1;
  do {
    // Positions are 1-based here, as the gap rule is stated that way.
    for (std::size_t i = h + 1; i <= n; ++i) {
      std::size_t j = i - h;
      while (j >= 1 && a[j - 1].phase > a[j + h - 1].phase) {
        std::swap(a[j - 1], a[j + h - 1]);
        if (j <= h) break;
        j -= h;
      }
    }
    h /= 3;
  } while (h >= 1);
}

double FoldPhase(double x) {
  // Below 2^52 the integer conversion truncates exactly and costs far less than a
  // library call; larger doubles have no fraction at all.
  constexpr double kTwo52 = 4503599627370496.0;
  const double whole = std::fabs(x) < kTwo52 ? static_cast<double>(static_cast<long long>(x)) : x;
  double phase = x - whole;
  if (phase < 0.0) phase += 1.0;
  return phase;
}

double DifferenceTerm(double d, double exponent) {
  if (exponent == 2.0) return d * d;
  return std::pow(std::fabs(d), exponent);
}

double ThetaOf(double sum, double denominator) {
  if (denominator == 0.0) return 0.0;
  const double theta = sum / denominator;
  return std::isfinite(theta) ? theta : 0.0;
}

std::vector<double> LaflerKinmanFrequencies(double fLo, double fHi, double step, std::size_t count) {
  std::vector<double> freqs;
  freqs.reserve(count);
  double f = fLo;
  for (std::size_t k = 0; k < count; ++k) {
    if (f > fHi) break;
    freqs.push_back(f);
    f += step;
  }
  return freqs;
}

namespace {

// The work buffers of one worker, sized once.
class ThetaWorker {
public:
  ThetaWorker(std::span<const double> dt, std::span<const double> mags, double exponent, double denominator)
      : dt_(dt), mags_(mags), exponent_(exponent), denominator_(denominator), sorted_(dt.size()), bucket_(dt.size()),
        start_(2 * dt.size() + 2) {}

  double Theta(double f) {
    const std::size_t n = dt_.size();
    if (n == 0) return ThetaOf(0.0, denominator_);
    bool tieMatters = !FoldAndDistribute(f);
    double sum = 0.0;
    if (!tieMatters) {
      OrderWithinBuckets();
      sum = exponent_ == 2.0 ? Sum<true>(tieMatters) : Sum<false>(tieMatters);
      // Most ties are at the smallest phase (the first time, and a time a whole number
      // of cycles later): those follow the reference ordering without it.
      if (tieMatters && OrderLeadingTie(f)) {
        tieMatters = false;
        bool unused = false;
        sum = exponent_ == 2.0 ? Sum<true>(unused) : Sum<false>(unused);
      }
    }
    if (tieMatters) {
      // Equal phases with different magnitudes: only the reference ordering tells
      // which comes first.
      for (std::size_t i = 0; i < n; ++i)
        sorted_[i] = PhasePoint{FoldPhase(dt_[i] * f), mags_[i]};
      ShellSortByPhase(sorted_);
      bool unused = false;
      sum = exponent_ == 2.0 ? Sum<true>(unused) : Sum<false>(unused);
    }
    return ThetaOf(sum, denominator_);
  }

private:
  // Folds in row order and spreads the points over 2n + 1 buckets of equal phase
  // width (two per point, so that few buckets hold more than one); the bucket index never decreases with the phase, so
  // after this only points within one bucket can be out of order. False when a phase is not a number (a time too large
  // to fold), which only the reference ordering handles.
  bool FoldAndDistribute(double f) {
    const std::size_t n = dt_.size();
    const double scale = static_cast<double>(2 * n);
    std::fill(start_.begin(), start_.end(), 0u);
    for (std::size_t i = 0; i < n; ++i) {
      const double v = FoldPhase(dt_[i] * f) * scale;
      if (!(v >= 0.0 && v <= scale)) return false;
      const auto b = static_cast<std::uint32_t>(v);
      bucket_[i] = b;
      ++start_[b + 1];
    }
    for (std::size_t b = 1; b < start_.size(); ++b)
      start_[b] += start_[b - 1];
    // Folding again is cheaper than storing and reloading the folded points.
    for (std::size_t i = 0; i < n; ++i)
      sorted_[start_[bucket_[i]]++] = PhasePoint{FoldPhase(dt_[i] * f), mags_[i]};
    return true;
  }

  // Insertion sort over the whole array moves points only within their bucket.
  // Phases crowded into few buckets (a frequency that is a multiple of a regular
  // cadence) would make it quadratic, so past a budget of moves a general sort
  // finishes the work.
  void OrderWithinBuckets() {
    const std::size_t n = sorted_.size();
    const std::size_t budget = 8 * n + 64;
    std::size_t moves = 0;
    for (std::size_t k = 1; k < n; ++k) {
      const PhasePoint v = sorted_[k];
      std::size_t j = k;
      while (j > 0 && sorted_[j - 1].phase > v.phase) {
        sorted_[j] = sorted_[j - 1];
        --j;
      }
      sorted_[j] = v;
      moves += k - j;
      if (moves > budget) {
        std::sort(sorted_.begin(), sorted_.end(),
                  [](const PhasePoint& a, const PhasePoint& b) { return a.phase < b.phase; });
        return;
      }
    }
  }

  // Orders the points that share the smallest phase as the reference Shell sort would,
  // when no other equal phases differ in magnitude; false otherwise. Each gap's pass is
  // an insertion sort of every h-th position that never moves equal points past one
  // another, so points of the smallest phase go to the first slots of their class in
  // the order they held: their paths depend on nothing else and are followed alone.
  bool OrderLeadingTie(double f) {
    const std::size_t n = sorted_.size();
    const double least = sorted_[0].phase;
    std::size_t g = 1;
    while (g < n && sorted_[g].phase == least)
      ++g;
    for (std::size_t j = g + 1; j < n; ++j)
      if (sorted_[j].phase == sorted_[j - 1].phase && sorted_[j].mag != sorted_[j - 1].mag) return false;
    // (row, position) of every point of the smallest phase, rows in order.
    tied_.clear();
    for (std::size_t i = 0; i < n; ++i)
      if (FoldPhase(dt_[i] * f) == least) tied_.push_back({i, i});
    if (tied_.size() != g) return false;
    std::size_t h = 1;
    while (static_cast<double>(n) / 9.0 > static_cast<double>(h))
      h = 3 * h + 1;
    for (;; h /= 3) {
      std::sort(tied_.begin(), tied_.end(), [h](const auto& a, const auto& b) {
        return a.second % h != b.second % h ? a.second % h < b.second % h : a.second < b.second;
      });
      for (std::size_t k = 0; k < g;) {
        const std::size_t c = tied_[k].second % h;
        for (std::size_t slot = c; k < g && tied_[k].second % h == c; ++k, slot += h)
          tied_[k].second = slot;
      }
      if (h == 1) break;
    }
    // After the last gap (1) the points hold positions 0 ... g-1 in their final order.
    for (const auto& [row, position] : tied_)
      sorted_[position] = PhasePoint{least, mags_[row]};
    return true;
  }

  // The closing term first, then the neighbours in phase order: the order of the
  // additions is part of the result.
  template <bool kSquare> double Sum(bool& tieMatters) const {
    const std::size_t n = sorted_.size();
    auto term = [this](double d) { return kSquare ? d * d : DifferenceTerm(d, exponent_); };
    double sum = term(sorted_[n - 1].mag - sorted_[0].mag);
    bool tie = false;
    for (std::size_t j = 1; j < n; ++j) {
      sum += term(sorted_[j].mag - sorted_[j - 1].mag);
      tie |= sorted_[j].phase == sorted_[j - 1].phase && sorted_[j].mag != sorted_[j - 1].mag;
    }
    tieMatters = tie;
    return sum;
  }

  std::span<const double> dt_;
  std::span<const double> mags_;
  double exponent_;
  double denominator_;
  std::vector<PhasePoint> sorted_;
  std::vector<std::uint32_t> bucket_;
  std::vector<std::uint32_t> start_;
  std::vector<std::pair<std::size_t, std::size_t>> tied_;
};

} // namespace

void LaflerKinmanThetas(std::span<const double> dt, std::span<const double> mags, std::span<const double> freqs,
                        double exponent, double denominator, std::span<double> theta, unsigned threads) {
  const std::size_t nf = std::min(freqs.size(), theta.size());
  const std::size_t n = std::min(dt.size(), mags.size());
  dt = dt.first(n);
  mags = mags.first(n);
  if (nf == 0) return;

  std::size_t workers = threads;
  if (workers == 0) {
    workers = std::max(1u, std::thread::hardware_concurrency());
    // Starting a thread costs about as much as a few thousand folded points.
    if ((n + 16) * nf < 200000) workers = 1;
  }
  constexpr std::size_t kChunk = 32;
  workers = std::max<std::size_t>(1, std::min(workers, (nf + kChunk - 1) / kChunk));

  // Buffers are taken here, before any thread starts, so that a failed allocation
  // ends the computation in this thread.
  std::vector<ThetaWorker> pool;
  pool.reserve(workers);
  for (std::size_t w = 0; w < workers; ++w)
    pool.emplace_back(dt, mags, exponent, denominator);

  std::atomic<std::size_t> next{0};
  auto work = [&](ThetaWorker& worker) {
    for (;;) {
      const std::size_t k0 = next.fetch_add(kChunk, std::memory_order_relaxed);
      if (k0 >= nf) return;
      const std::size_t k1 = std::min(nf, k0 + kChunk);
      for (std::size_t k = k0; k < k1; ++k)
        theta[k] = worker.Theta(freqs[k]);
    }
  };

  std::vector<std::thread> threadsRunning;
  threadsRunning.reserve(workers - 1);
  for (std::size_t w = 1; w < workers; ++w) {
    try {
      threadsRunning.emplace_back(work, std::ref(pool[w]));
    } catch (const std::system_error&) {
      break; // fewer workers: same result, later
    }
  }
  work(pool[0]);
  for (auto& t : threadsRunning)
    t.join();
}

void ComputeLaflerKinman(const TTimeSeries& series, const std::vector<TStarStat>& stats,
                         std::vector<TPeriodogram>& periodograms, std::uint16_t star, double shortest, double longest,
                         double phaseStep, double exponent, Log& log, unsigned threads) {
  if (star >= periodograms.size()) return; // the caller sizes the table first

  const double runVariance = star < stats.size() ? stats[star].RunVariance : 0.0;
  if (runVariance == 0.0) {
    log.Add("Sigma is 0");
    return;
  }
  if (phaseStep == 0.0) phaseStep = kLkPhaseStep;
  if (shortest == 0.0 || longest == 0.0) {
    shortest = 0.04;
    longest = 10.0;
  }
  const double fLo = 1.0 / longest;
  const double fHi = 1.0 / shortest;
  if (!std::isfinite(fLo) || !std::isfinite(fHi)) {
    log.Add("Start and end period should not be zero.");
    return;
  }

  const std::size_t rows =
      std::min(static_cast<std::size_t>(std::max(series.RowCount, std::int32_t{0})), series.Rows.size());
  const double t0 = rows > 0 ? series.Rows[0].Time : 0.0;
  const double span = rows > 0 ? series.Rows[rows - 1].Time - t0 : 0.0;
  if (span == 0.0)
    throw CommandError("The first and last frames have the same time: a time span of zero gives no "
                       "frequency step, so no period can be searched.");

  double step = phaseStep / span;
  double steps = (fHi - fLo) / step;
  if (steps >= kMaxGridSteps) {
    step = (fHi - fLo) / kMaxGridSteps;
    steps = (fHi - fLo) / step;
  }
  // f_lo above f_hi gives no grid at all; a step that cannot be formed leaves only
  // f_lo.
  std::size_t count = 1;
  if (!std::isnan(steps)) {
    if (steps <= -1.0)
      count = 0;
    else
      count = static_cast<std::size_t>(std::min(steps, static_cast<double>(kMaxGridSteps))) + 1;
  }
  std::vector<double> freqs = LaflerKinmanFrequencies(fLo, fHi, step, count);

  std::vector<double> dt;
  std::vector<double> mags;
  for (std::size_t r = 0; r < rows; ++r) {
    const TDataLine& row = series.Rows[r];
    if (star >= row.Items.size() || !row.Items[star].Valid) continue;
    dt.push_back(row.Time - t0);
    mags.push_back(row.Items[star].RunMag);
  }
  const double nValid = star < stats.size() ? static_cast<double>(stats[star].NValid) : 0.0;
  std::vector<double> theta(freqs.size());
  LaflerKinmanThetas(dt, mags, freqs, exponent, nValid * runVariance, theta, threads);

  TPeriodogram& out = periodograms[star];
  out.Freq = std::move(freqs);
  out.Theta = std::move(theta);
  log.Add(FormatMessage("PERIOD_LK: %.3d periods, last th = %f",
                        {out.Freq.size(), out.Theta.empty() ? 0.0 : out.Theta.back()}));
  out.Computed = true;
}

} // namespace morvik
