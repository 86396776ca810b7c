#include <algorithm>
#include <cmath>
#include <vector>

#include "periods/lafler_kinman.hpp"
#include "periods/period_methods.hpp"
#include "periods/period_weights.hpp"

namespace morvik {
namespace {

// Four doubles the compiler adds, compares and selects as one (a GNU extension that
// GCC and Clang lower to the target's vector registers, or to pairs of scalars).
using Four = double __attribute__((vector_size(32)));
using FourMask = long long __attribute__((vector_size(32)));
struct alignas(32) FourSlot { // keeps the alignment of Four inside a std::vector
  Four v;
};

// The bins of the times dt (days from the earliest, below 2^31 cycles at f): through
// 32-bit integers, the same bins as FoldPhase, in a loop the compiler vectorises, built
// also for the wider vector units the processor may have (chosen when loaded; the
// operations are the same, so are the bins).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void FoldBins(const double* dt, std::size_t n, double f, double nbd, int last, int* bin) {
  for (std::size_t i = 0; i < n; ++i) {
    const double x = dt[i] * f;
    const double phase = x - static_cast<double>(static_cast<int>(x));
    bin[i] = std::min(static_cast<int>(phase * nbd), last);
  }
}

// The largest sy^2 / (r (1 - r)) of the boxes of k[0] .. k[3] bins slid over the bins
// (weights R, weighted values S, counts C, kept twice over): the arithmetic of
// BoxScanner::Slide, four durations side by side and without branches.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
double
SlideFour(const double* R, const double* S, const double* C, std::size_t nb, const std::size_t* k,
          double minPointsOne) {
  Four r{}, sy{}, c{};
  for (std::size_t m = 0; m < 4; ++m)
    for (std::size_t j = 0; j < k[m]; ++j) {
      r[m] += R[j];
      sy[m] += S[j];
      c[m] += C[j];
    }
  const Four zero{}, one = zero + 1.0, minPoints = zero + minPointsOne;
  Four best = zero;
  for (std::size_t j = 0; j < nb; ++j) {
    const FourMask ok = (sy > zero) & (c >= minPoints) & (r < one);
    const Four q = (ok ? sy * sy : zero) / (ok ? r * (one - r) : one);
    best = q > best ? q : best;
    r += Four{R[j + k[0]], R[j + k[1]], R[j + k[2]], R[j + k[3]]} - R[j];
    sy += Four{S[j + k[0]], S[j + k[1]], S[j + k[2]], S[j + k[3]]} - S[j];
    c += Four{C[j + k[0]], C[j + k[1]], C[j + k[2]], C[j + k[3]]} - C[j];
  }
  return std::max(std::max(best[0], best[1]), std::max(best[2], best[3]));
}

// Adds every point (weight, weighted value, 1) to its bin, in the order of the points.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void AddToBins(const FourSlot* points, const int* bin, std::size_t n, FourSlot* sums) {
  for (std::size_t i = 0; i < n; ++i)
    sums[bin[i]].v += points[i].v;
}

template <typename Fn> bool ForEachFreqBlock(std::size_t count, const MethodRun& run, Fn&& fn) {
  const std::size_t blocks = (count + kSearchBlock - 1) / kSearchBlock;
  return ForEachBlock(
      blocks, SearchThreads(run.threads),
      [&](std::size_t b) {
        const std::size_t k0 = b * kSearchBlock;
        fn(k0, std::min(count, k0 + kSearchBlock));
      },
      run.cancel, run.progress, run.progressFrom, run.progressTo);
}

// The box search (Kovacs, Zucker & Mazeh 2002) at one frequency on per-bin sums;
// reused by every frequency of a worker. The folded points are summed into bins once
// per frequency; every duration then slides its box once round the bins (kept twice
// over, so the box never wraps), four durations side by side.
class BoxScanner {
public:
  BoxScanner(const WeightedSeries& ws, const BlsSettings& s)
      : ws_(ws), s_(s), nb_(static_cast<std::size_t>(std::max(1, s.bins))), sums_(nb_), br_(2 * nb_), bs_(2 * nb_),
        bc_(2 * nb_), t0_(ws.t.empty() ? 0.0 : *std::min_element(ws.t.begin(), ws.t.end())), dt_(ws.t),
        bin_(ws.t.size()), wwy_(ws.t.size()) {
    for (double& v : dt_) {
      v -= t0_;
      dtMax_ = std::max(dtMax_, v);
    }
    for (std::size_t i = 0; i < ws.t.size(); ++i) // weight, weighted value and count side by side
      wwy_[i].v = Four{ws.w[i], ws.wy[i], 1.0, 0.0};
  }

  BlsBox Scan(double f, bool detail) {
    FoldIntoBins(f);
    BlsBox best;
    if (!(ws_.yy > 0.0)) return best;
    ks_.clear();
    for (double d : s_.durations)
      ks_.push_back(BoxBins(d, f, s_, nb_));
    // At periods so short that every duration is too long, the longest box allowed.
    if (!ks_.empty() && std::all_of(ks_.begin(), ks_.end(), [](std::size_t k) { return k == 0; }))
      ks_.back() = std::max<std::size_t>(1, static_cast<std::size_t>(s_.maxFraction * static_cast<double>(nb_)));
    if (detail) {
      const double nbd = static_cast<double>(nb_);
      for (std::size_t i = 0; i < ks_.size(); ++i) {
        if (ks_[i] == 0) continue;
        const std::size_t k = ks_[i];
        Slide(k, [&](std::size_t j, double r, double sy, double q) {
          const double p = q / ws_.yy;
          if (!(p > best.power)) return;
          best.power = p;
          best.duration = static_cast<double>(k) / nbd / f; // the box that won, not the nominal duration
          best.midTime = t0_ + ws_.tMid + (static_cast<double>(j) + 0.5 * static_cast<double>(k)) / nbd / f;
          best.depth = sy / r + sy / (1.0 - r); // in-box mean minus out-of-box mean
        });
      }
      best.power = std::min(best.power, 1.0);
      return best;
    }
    // The largest sy^2 / (r (1 - r)) divided by yy once: dividing by a positive number
    // keeps the order, so the power is the same as dividing every box.
    ks_.erase(std::remove(ks_.begin(), ks_.end(), std::size_t{0}), ks_.end());
    double bestQ = 0.0;
    for (std::size_t i = 0; i < ks_.size(); i += 4) {
      std::size_t k[4]; // a short last group repeats its last duration
      for (std::size_t m = 0; m < 4; ++m)
        k[m] = ks_[std::min(i + m, ks_.size() - 1)];
      bestQ = std::max(bestQ, SlideFour(br_.data(), bs_.data(), bc_.data(), nb_, k, minPoints_));
    }
    best.power = std::min(bestQ / ws_.yy, 1.0);
    return best;
  }

  static std::size_t Bin(double phase, double nbd) {
    // Through a signed integer: the conversion to an unsigned one is slow.
    const auto b = static_cast<long>(phase * nbd);
    return static_cast<std::size_t>(std::min(b, static_cast<long>(nbd) - 1));
  }

  // Bins a box of duration d spans at frequency f; 0 when it is too long.
  static std::size_t BoxBins(double d, double f, const BlsSettings& s, std::size_t nb) {
    if (!(d > 0.0) || d * f > s.maxFraction) return 0;
    const double k = std::max(1.0, std::round(d * f * static_cast<double>(nb)));
    return k >= static_cast<double>(nb) ? 0 : static_cast<std::size_t>(k);
  }

private:
  // Per-bin weight, weighted value and count (side by side in sums_) of the points
  // folded at frequency f.
  void FoldIntoBins(double f) {
    std::fill(sums_.begin(), sums_.end(), FourSlot{});
    const double nbd = static_cast<double>(nb_);
    const std::size_t n = dt_.size();
    if (dtMax_ * f < 2147483647.0) {
      // Phases below 2^31 cycles fold through 32-bit integers: the same bins as FoldPhase
      // (times from the earliest are never negative), in a loop the compiler vectorises.
      FoldBins(dt_.data(), n, f, nbd, static_cast<int>(nb_) - 1, bin_.data());
    } else {
      for (std::size_t i = 0; i < n; ++i)
        bin_[i] = static_cast<int>(Bin(FoldPhase(dt_[i] * f), nbd));
    }
    AddToBins(wwy_.data(), bin_.data(), n, sums_.data());
    Unroll();
  }

  // Copies the bins twice over: a box of k bins from bin j is bins j .. j + k - 1.
  void Unroll() {
    for (std::size_t b = 0; b < nb_; ++b) {
      br_[b] = br_[b + nb_] = sums_[b].v[0];
      bs_[b] = bs_[b + nb_] = sums_[b].v[1];
      bc_[b] = bc_[b + nb_] = sums_[b].v[2];
    }
  }

  // Calls fn(j, r, sy, q) for the box of k bins from every bin j: its weight, weighted
  // value and sy^2 / (r (1 - r)), which is 0 when the box holds too few points, all the
  // weight or no rise.
  template <typename Fn> void Slide(std::size_t k, Fn&& fn) const {
    double r = 0.0, sy = 0.0, c = 0.0;
    for (std::size_t j = 0; j < k; ++j) {
      r += br_[j];
      sy += bs_[j];
      c += bc_[j];
    }
    for (std::size_t j = 0; j < nb_; ++j) {
      fn(j, r, sy, sy > 0.0 && c >= minPoints_ && r < 1.0 ? sy * sy / (r * (1.0 - r)) : 0.0);
      r += br_[j + k] - br_[j];
      sy += bs_[j + k] - bs_[j];
      c += bc_[j + k] - bc_[j];
    }
  }

  const WeightedSeries& ws_;
  const BlsSettings& s_;
  std::size_t nb_;
  std::vector<FourSlot> sums_;       // weight, weighted value, count per bin
  std::vector<double> br_, bs_, bc_; // weight, weighted value, count per bin, twice over
  std::vector<std::size_t> ks_;      // bins of every duration at this frequency
  double minPoints_ = static_cast<double>(s_.minPoints);
  double t0_;
  std::vector<double> dt_; // times from the earliest
  double dtMax_ = 0.0;
  std::vector<int> bin_;
  std::vector<FourSlot> wwy_; // weight, weighted value, 1 per point
};

} // namespace

bool LaflerKinmanTheta(std::span<const double> t, std::span<const double> y, std::span<const double> freqs,
                       std::span<double> theta, const MethodRun& run) {
  std::vector<double> dt, mags;
  const std::size_t n = std::min(t.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(t[i]) || !std::isfinite(y[i])) continue;
    dt.push_back(t[i]);
    mags.push_back(y[i]);
  }
  if (!dt.empty()) {
    const double t0 = *std::min_element(dt.begin(), dt.end());
    for (double& v : dt)
      v -= t0;
  }
  double mean = 0.0, ss = 0.0;
  for (double m : mags)
    mean += m;
  mean /= static_cast<double>(std::max<std::size_t>(1, mags.size()));
  for (double m : mags)
    ss += (m - mean) * (m - mean);
  return ForEachFreqBlock(std::min(freqs.size(), theta.size()), run, [&](std::size_t k0, std::size_t k1) {
    LaflerKinmanThetas(dt, mags, freqs.subspan(k0, k1 - k0), kLkExponent, ss, theta.subspan(k0, k1 - k0), 1);
  });
}

bool BlsPower(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
              std::span<const double> freqs, const BlsSettings& settings, std::span<double> power,
              const MethodRun& run) {
  const WeightedSeries ws(t, y, dy);
  return ForEachFreqBlock(std::min(freqs.size(), power.size()), run, [&](std::size_t k0, std::size_t k1) {
    BoxScanner scanner(ws, settings);
    for (std::size_t k = k0; k < k1; ++k)
      power[k] = scanner.Scan(freqs[k], false).power;
  });
}

BlsBox BestBox(std::span<const double> t, std::span<const double> y, std::span<const double> dy, double freq,
               const BlsSettings& settings) {
  const WeightedSeries ws(t, y, dy);
  BoxScanner scanner(ws, settings);
  return scanner.Scan(freq, true);
}

} // namespace morvik
