#include "periods/period_refine.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "periods/period_methods.hpp"

namespace morvik {
namespace {

constexpr double kLongerShare = 0.1;
constexpr double kHintedLonger = 0.05;
// A shorter period must also explain most of what the longer one does: among noise
// no fit differs significantly from another.
constexpr double kShorterShare = 0.75;

double BetaFraction(double a, double b, double x) {
  constexpr double kTiny = 1e-300;
  double c = 1.0, d = 1.0 - (a + b) * x / (a + 1.0);
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= 300; ++m) {
    const double md = m;
    double num = md * (b - md) * x / ((a + 2 * md - 1) * (a + 2 * md));
    for (int step = 0; step < 2; ++step) {
      d = 1.0 + num * d;
      if (std::fabs(d) < kTiny) d = kTiny;
      c = 1.0 + num / c;
      if (std::fabs(c) < kTiny) c = kTiny;
      d = 1.0 / d;
      const double del = d * c;
      h *= del;
      if (step == 1 && std::fabs(del - 1.0) < 1e-15) return h;
      num = -(a + md) * (a + b + md) * x / ((a + 2 * md) * (a + 2 * md + 1));
    }
  }
  return h;
}

struct FitAt {
  double frequency;
  double power;
};

// The best multi-harmonic fit among 2 * half + 1 frequencies around f.
FitAt BestFitNear(std::span<const double> t, std::span<const double> y, std::span<const double> dy, double f,
                  int harmonics, double step, int half) {
  FrequencyGrid g{f - half * step, step, static_cast<std::size_t>(2 * half + 1)};
  std::vector<double> p(g.count);
  MethodRun run;
  run.threads = 1;
  MultiHarmonicPower(t, y, dy, g, harmonics, p, run);
  const auto k = static_cast<std::size_t>(std::max_element(p.begin(), p.end()) - p.begin());
  return {g.At(k), p[k]};
}

struct BinnedFit {
  double power = 0.0;   // fraction of the weighted variance the bin means remove
  std::size_t used = 0; // bins holding a point
};

// Weighted means in `bins` equal phase bins per cycle of f / cycles, the phase counted
// from the earliest time, so that the bins of one cycle split exactly into those of two.
BinnedFit BinnedFitAt(std::span<const double> t, std::span<const double> y, std::span<const double> dy, double f,
                      std::size_t bins, int cycles) {
  const std::size_t n = std::min(t.size(), y.size());
  const bool weighted = dy.size() >= n;
  const std::size_t nb = bins * static_cast<std::size_t>(cycles);
  const double g = f / cycles;
  const double t0 = n > 0 ? *std::min_element(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(n)) : 0.0;
  std::vector<double> sw(nb, 0.0), swy(nb, 0.0);
  double W = 0, WY = 0, WYY = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double w = weighted ? 1.0 / (dy[i] * dy[i]) : 1.0;
    const double x = (t[i] - t0) * g;
    const auto b = std::min(nb - 1, static_cast<std::size_t>((x - std::floor(x)) * static_cast<double>(nb)));
    sw[b] += w;
    swy[b] += w * y[i];
    W += w;
    WY += w * y[i];
    WYY += w * y[i] * y[i];
  }
  BinnedFit fit;
  double explained = 0.0;
  for (std::size_t b = 0; b < nb; ++b)
    if (sw[b] > 0.0) {
      ++fit.used;
      explained += swy[b] * swy[b] / sw[b];
    }
  const double total = WYY - WY * WY / W;
  fit.power = total > 0.0 ? (explained - WY * WY / W) / total : 0.0;
  return fit;
}

} // namespace

double IncompleteBeta(double a, double b, double x) {
  if (!(x > 0.0)) return 0.0;
  if (!(x < 1.0)) return 1.0;
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * BetaFraction(a, b, x) / a;
  return 1.0 - front * BetaFraction(b, a, 1.0 - x) / b;
}

double NestedFitProbability(double pSimple, std::size_t kSimple, double pComplex, std::size_t kComplex, std::size_t n) {
  if (kComplex <= kSimple || n <= kComplex) return 1.0;
  const double d1 = static_cast<double>(kComplex - kSimple);
  const double d2 = static_cast<double>(n - kComplex);
  const double gain = std::max(0.0, pComplex - pSimple);
  const double rest = std::max(1.0 - pComplex, 1e-300);
  const double f = (gain / d1) / (rest / d2);
  // P(F > f) = I_{d2 / (d2 + d1 f)}(d2 / 2, d1 / 2)
  return IncompleteBeta(0.5 * d2, 0.5 * d1, d2 / (d2 + d1 * f));
}

HarmonicChoice ChooseHarmonic(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
                              double period, int harmonics, double step, double hint, double fLo, double fHi,
                              double keepShorter, double takeLonger) {
  HarmonicChoice choice;
  choice.period = period;
  if (!(period > 0.0)) return choice;
  const std::size_t n = std::min(t.size(), y.size());
  const auto h = static_cast<std::size_t>(std::max(1, harmonics));
  FitAt base = BestFitNear(t, y, dy, 1.0 / period, harmonics, step, 1);
  bool shortened = false;
  for (int round = 0; round < 3; ++round) {
    bool changed = false;
    for (int k : {3, 2}) {
      if (k * base.frequency > fHi) continue;
      const FitAt shorter = BestFitNear(t, y, dy, k * base.frequency, harmonics, step, k);
      const FitAt full = BestFitNear(t, y, dy, base.frequency, k * harmonics, step, 0);
      const double p = NestedFitProbability(shorter.power, 2 * h + 1, full.power, 2 * k * h + 1, n);
      if (p > keepShorter && shorter.power >= kShorterShare * full.power) {
        base = shorter;
        shortened = changed = true;
        break;
      }
    }
    if (!changed) break;
  }
  if (!shortened && 0.5 * base.frequency >= fLo) {
    // Phase bins rather than harmonics: a few harmonics miss narrow eclipses, and the
    // misfit would pass for a difference between odd and even cycles.
    const std::size_t bins = std::clamp<std::size_t>(n / 10, 5, 20);
    const BinnedFit atP = BinnedFitAt(t, y, dy, base.frequency, bins, 1);
    const BinnedFit at2P = BinnedFitAt(t, y, dy, base.frequency, bins, 2);
    const double p = NestedFitProbability(atP.power, atP.used, at2P.power, at2P.used, n);
    // Outliers make small gains look significant; odd and even cycles that truly
    // differ remove a good share of what is left.
    const double share = (at2P.power - atP.power) / std::max(1.0 - atP.power, 1e-12);
    const FitAt longer{0.5 * base.frequency, at2P.power};
    const bool hintSaysLonger = hint > 0.0 && std::fabs(hint - 2.0 / base.frequency) <= 0.01 * hint;
    const bool doubled = (hintSaysLonger && p < kHintedLonger) || (p < takeLonger && share >= kLongerShare);
    if (doubled) {
      base = longer;
      choice.note = "twice the period: unequal minima";
    }
  } else {
    char buf[80];
    std::snprintf(buf, sizeof buf, "period shortened from %.6g d: a subharmonic", period);
    choice.note = buf;
  }
  if (!choice.note.empty()) choice.period = 1.0 / base.frequency;
  return choice;
}

} // namespace morvik
