#include <algorithm>
#include <cmath>
#include <vector>

#include "periods/lafler_kinman.hpp"
#include "periods/period_methods.hpp"
#include "periods/period_weights.hpp"

namespace morvik {
namespace {

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

// The box search at one frequency on per-bin sums; reused by every frequency of a
// worker.
class BoxScanner {
public:
  BoxScanner(const WeightedSeries& ws, const BlsSettings& s)
      : ws_(ws), s_(s), nb_(static_cast<std::size_t>(std::max(1, s.bins))), r_(nb_), sy_(nb_), cnt_(nb_),
        t0_(ws.t.empty() ? 0.0 : *std::min_element(ws.t.begin(), ws.t.end())), dt_(ws.t), bin_(ws.t.size()) {
    for (double& v : dt_) {
      v -= t0_;
      dtMax_ = std::max(dtMax_, v);
    }
  }

  BlsBox Scan(double f, bool detail) {
    std::fill(r_.begin(), r_.end(), 0.0);
    std::fill(sy_.begin(), sy_.end(), 0.0);
    std::fill(cnt_.begin(), cnt_.end(), 0);
    const double nbd = static_cast<double>(nb_);
    const std::size_t n = dt_.size();
    if (dtMax_ * f < 2147483647.0) {
      // Phases below 2^31 cycles fold through 32-bit integers: the same bins as FoldPhase
      // (times from the earliest are never negative), in a loop the compiler vectorises.
      const int last = static_cast<int>(nb_) - 1;
      for (std::size_t i = 0; i < n; ++i) {
        const double x = dt_[i] * f;
        const double phase = x - static_cast<double>(static_cast<int>(x));
        bin_[i] = std::min(static_cast<int>(phase * nbd), last);
      }
    } else {
      for (std::size_t i = 0; i < n; ++i)
        bin_[i] = static_cast<int>(Bin(FoldPhase(dt_[i] * f), nbd));
    }
    for (std::size_t i = 0; i < n; ++i) {
      const auto b = static_cast<std::size_t>(bin_[i]);
      r_[b] += ws_.w[i];
      sy_[b] += ws_.wy[i];
      ++cnt_[b];
    }
    BlsBox best;
    if (!(ws_.yy > 0.0)) return best;
    for (double d : s_.durations) {
      const std::size_t k = BoxBins(d, f, s_, nb_);
      if (k == 0) continue;
      double r = 0.0, sy = 0.0;
      long cnt = 0;
      for (std::size_t j = 0; j < k; ++j) {
        r += r_[j];
        sy += sy_[j];
        cnt += cnt_[j];
      }
      for (std::size_t j = 0; j < nb_; ++j) { // box over bins j .. j + k - 1
        if (sy > 0.0 && cnt >= s_.minPoints && r < 1.0) {
          const double p = sy * sy / (r * (1.0 - r)) / ws_.yy;
          if (p > best.power) {
            best.power = p;
            if (detail) {
              best.duration = d;
              best.midTime = t0_ + ws_.tMid + (static_cast<double>(j) + 0.5 * static_cast<double>(k)) / nbd / f;
              best.depth = sy / r + sy / (1.0 - r); // in-box mean minus out-of-box mean
            }
          }
        }
        const std::size_t out = j, in = (j + k) % nb_;
        r += r_[in] - r_[out];
        sy += sy_[in] - sy_[out];
        cnt += cnt_[in] - cnt_[out];
      }
    }
    best.power = std::min(best.power, 1.0);
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
  const WeightedSeries& ws_;
  const BlsSettings& s_;
  std::size_t nb_;
  std::vector<double> r_, sy_;
  std::vector<long> cnt_;
  double t0_;
  std::vector<double> dt_; // times from the earliest
  double dtMax_ = 0.0;
  std::vector<int> bin_;
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
