#include "periods/period_search_steps.hpp"

#include <algorithm>
#include <cmath>

namespace morvik {

CleanSeries Clean(std::span<const double> t, std::span<const double> y, std::span<const double> dy) {
  CleanSeries c;
  const std::size_t n = std::min(t.size(), y.size());
  c.weighted = dy.size() >= n && !dy.empty();
  for (std::size_t i = 0; i < n; ++i) {
    const double e = c.weighted ? dy[i] : 1.0;
    if (!std::isfinite(t[i]) || !std::isfinite(y[i]) || !std::isfinite(e) || !(e > 0.0)) continue;
    c.t.push_back(t[i]);
    c.y.push_back(y[i]);
    c.dy.push_back(e);
  }
  return c;
}

CleanSeries Detrended(const CleanSeries& s, TrendOrder trend) {
  if (trend == TrendOrder::None) return s;
  CleanSeries d = s;
  d.y = TrendResiduals(FitSeries(s.t, s.y, s.dy, s.weighted), trend);
  return d;
}

bool NearlyConstant(const CleanSeries& s) {
  const std::size_t n = s.y.size();
  if (n < 2) return true;
  double mean = 0.0;
  for (double v : s.y)
    mean += v;
  mean /= static_cast<double>(n);
  double var = 0.0;
  for (double v : s.y)
    var += (v - mean) * (v - mean);
  const double rms = std::sqrt(var / static_cast<double>(n - 1));
  // Rounding of magnitudes near |mean| leaves a scatter of about 1e-16 |mean|; a star
  // measured to a micro-magnitude still varies by far more.
  const double rounding = 1e-9 * std::max(1.0, std::fabs(mean));
  if (!(rms > rounding)) return true;
  if (!s.weighted) return false;
  std::vector<double> e(s.dy);
  std::nth_element(e.begin(), e.begin() + static_cast<long>(n / 2), e.end());
  return rms < 0.01 * e[n / 2];
}

double PowerAt(PeriodMethod method, const CleanSeries& s, double f, const PeriodSearchSettings& settings) {
  double p = 0.0;
  MethodRun run;
  run.threads = 1;
  const FrequencyGrid one{f, 1.0, 1};
  const std::span<double> out(&p, 1);
  switch (method) {
  case PeriodMethod::LaflerKinman:
    LaflerKinmanTheta(s.t, s.y, std::span<const double>(&f, 1), out, run);
    break;
  case PeriodMethod::Gls:
    GlsPower(s.t, s.y, s.dy, one, out, run);
    break;
  case PeriodMethod::MultiHarmonicGls:
    MultiHarmonicPower(s.t, s.y, s.dy, one, settings.harmonics, out, run);
    break;
  case PeriodMethod::Bls: {
    BlsSettings b;
    b.durations = settings.blsDurations;
    b.bins = settings.blsBins;
    BlsPower(s.t, s.y, s.dy, std::span<const double>(&f, 1), b, out, run);
    break;
  }
  }
  return p;
}

double FineSearch(PeriodMethod method, const CleanSeries& s, double f, double reach,
                  const PeriodSearchSettings& settings, int fine) {
  const bool lower = method == PeriodMethod::LaflerKinman;
  double bestF = f, best = PowerAt(method, s, f, settings);
  for (int k = 0; k < fine; ++k) {
    const double g = f - reach + 2.0 * reach * k / (fine - 1);
    if (!(g > 0.0)) continue;
    const double p = PowerAt(method, s, g, settings);
    if (lower ? p < best : p > best) {
      best = p;
      bestF = g;
    }
  }
  return bestF;
}

double WindowAt(const CleanSeries& s, double f) {
  double w = 0.0;
  MethodRun run;
  run.threads = 1;
  SpectralWindow(s.t, s.dy, FrequencyGrid{f, 1.0, 1}, std::span<double>(&w, 1), run);
  return w;
}

std::string WindowMark(const CleanSeries& s, double f, std::span<const double> windowPeaks, double tolerance) {
  // The sampling frequencies of ground-based observing: the solar and sidereal day,
  // the lunar month (bright time) and the year (seasons).
  struct Sampling {
    const char* name;
    double frequency;
  };
  static constexpr Sampling kSampling[] = {
      {"1 d", 1.0}, {"1 sidereal d", 1.0027379093}, {"29.5 d", 1.0 / 29.530589}, {"1 yr", 1.0 / 365.25}};
  constexpr double kSamplingLevel = 0.1, kStrongLevel = 0.3, kOwnLevel = 0.5;
  const double span =
      s.t.empty() ? 0.0 : *std::max_element(s.t.begin(), s.t.end()) - *std::min_element(s.t.begin(), s.t.end());
  for (const Sampling& smp : kSampling) // only a sampling the span repeats makes aliases
    if (span * smp.frequency >= 2.0 && std::fabs(f - smp.frequency) < tolerance &&
        WindowAt(s, smp.frequency) >= kSamplingLevel)
      return smp.name;
  for (double w : windowPeaks)
    if (std::fabs(f - w) < tolerance && WindowAt(s, w) >= kStrongLevel) return "window";
  if (WindowAt(s, f) >= kOwnLevel) return "window";
  return "";
}

} // namespace morvik
