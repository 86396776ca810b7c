#include "periods/period_search.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <utility>

#include "common/errors.hpp"
#include "periods/period_methods.hpp"
#include "periods/period_search_steps.hpp"
#include "periods/period_significance.hpp"

namespace morvik {
namespace {

// What every step of one search shares.
struct Search {
  Search(const PeriodSearchSettings& set, CleanSeries measured, TrendOrder order)
      : settings(set), raw(std::move(measured)), series(Detrended(raw, order)), fit(raw.t, raw.y, raw.dy, raw.weighted),
        trend(order) {}
  const PeriodSearchSettings& settings;
  CleanSeries raw;    // as measured
  CleanSeries series; // the trend taken off: what the periodograms see
  FitSeries fit;      // the measured series for the models, which fit the trend with the period
  TrendOrder trend = TrendOrder::None;
  FrequencyGrid grid;
  std::vector<double> freqs;
  std::vector<double> windowPeaks;
  double span = 0.0, fmax = 0.0;
  std::size_t minSep = 1;
  std::size_t rounds = 0;
  double units = 1.0, done = 0.0; // progress
  SearchProgress* progress = nullptr;
  const std::atomic<bool>* cancel = nullptr;

  MethodRun RunFor(double share) {
    MethodRun run;
    run.threads = settings.threads;
    run.cancel = cancel;
    run.progress = progress;
    run.progressFrom = done / units;
    done += share;
    run.progressTo = done / units;
    return run;
  }
  BlsSettings Box() const {
    BlsSettings b;
    b.durations = settings.blsDurations;
    b.bins = settings.blsBins;
    return b;
  }
};

TrendOrder ResolveTrend(TrendChoice choice, double span, double longestPeriod) {
  switch (choice) {
  case TrendChoice::None:
    return TrendOrder::None;
  case TrendChoice::Linear:
    return TrendOrder::Linear;
  case TrendChoice::Quadratic:
    return TrendOrder::Quadratic;
  case TrendChoice::Auto:
    break;
  }
  return span > kTrendSpans * longestPeriod ? TrendOrder::Linear : TrendOrder::None;
}

// The periodogram of one method; false when cancelled.
bool Periodogram(PeriodMethod method, const CleanSeries& s, const Search& x, std::span<const double> freqs,
                 std::span<double> out, const MethodRun& run) {
  switch (method) {
  case PeriodMethod::LaflerKinman:
    return LaflerKinmanTheta(s.t, s.y, freqs, out, run);
  case PeriodMethod::Gls:
    if (x.settings.approximate) return GlsPowerApproximate(s.t, s.y, s.dy, x.grid, out);
    return GlsPower(s.t, s.y, s.dy, x.grid, out, run);
  case PeriodMethod::MultiHarmonicGls:
    return MultiHarmonicPower(s.t, s.y, s.dy, x.grid, x.settings.harmonics, out, run);
  case PeriodMethod::Bls: {
    const BlsSettings b = x.Box();
    return BlsPower(s.t, s.y, s.dy, freqs, b, out, run);
  }
  }
  return false;
}

double BestScore(std::span<const double> power, bool lowerIsBetter) {
  double best = -HUGE_VAL;
  for (double v : power)
    best = std::max(best, lowerIsBetter ? -v : v);
  return best;
}

// The harmonic model of least BIC with 1 to maxHarmonics terms, its frequency refined
// within f +- reach (reach 0: f as it is).
struct ModelChoice {
  FitResult fit;
  double bic = std::numeric_limits<double>::quiet_NaN();
};
ModelChoice BestHarmonicModel(const Search& x, double f, double reach, int maxHarmonics) {
  ModelChoice best;
  for (int h = 1; h <= std::max(1, maxHarmonics); ++h) {
    const HarmonicModel model{h, x.trend};
    if (x.fit.Size() <= model.LinearTerms() + 2) break;
    FitResult fit;
    if (reach > 0.0) {
      fit = FitFrequency(x.fit, f, reach, model);
    } else { // at a frequency already refined: the model's chi-squared there
      fit.chi2 = ChiSquaredAt(x.fit, f, model);
      fit.ok = std::isfinite(fit.chi2);
      fit.frequency = f;
      fit.parameters = model.LinearTerms() + 1;
    }
    if (!fit.ok) continue;
    const double bic = Bic(fit.chi2, fit.parameters, x.fit.Size());
    if (std::isnan(best.bic) || bic < best.bic) best = {fit, bic};
  }
  return best;
}

// The models compared across methods go up to twice the harmonics searched: the model
// at P then holds every model at P/2 (its harmonics 2f, 4f, ...), so narrow eclipses of
// unequal depth are not lost to the half period for want of terms.
constexpr int kCompareHarmonics = 2;

// Moves a peak off the grid: the method's own statistic on a fine grid around it, then
// the least-squares frequency of the harmonic model (the method's own, or for
// Lafler-Kinman the one of least BIC), which also gives the period's error. Box peaks
// keep the fine search's frequency.
void RefinePeak(const Search& x, PeriodMethod method, std::span<const double> mf, std::size_t k, PeriodPeak& p) {
  const double local =
      method == PeriodMethod::Bls ? (k + 1 < mf.size() ? mf[k + 1] - mf[k] : mf[k] - mf[k - 1]) : x.grid.step;
  double f = FineSearch(method, x.series, mf[k], local, x.settings);
  if (method != PeriodMethod::Bls) {
    const double reach = 0.2 * local; // the fine points are a tenth of a step apart
    FitResult fit;
    if (method == PeriodMethod::LaflerKinman)
      fit = BestHarmonicModel(x, f, reach, x.settings.harmonics).fit;
    else
      fit =
          FitFrequency(x.fit, f, reach, HarmonicModel{method == PeriodMethod::Gls ? 1 : x.settings.harmonics, x.trend});
    if (fit.ok && std::fabs(fit.frequency - f) <= local) {
      f = fit.frequency;
      p.periodError = fit.PeriodError();
    }
  }
  p.frequency = f;
  p.period = 1.0 / f;
  p.power = PowerAt(method, x.series, f, x.settings);
}

// The probability that noise (about the trend) shows a peak as high as the observed one
// anywhere on the grid, from `rounds` permutations of the magnitudes; false when
// cancelled.
bool PermutationRounds(Search& x, PeriodMethod method, std::span<const double> mf, double observed, MethodResult& m) {
  const bool lower = m.lowerIsBetter;
  std::vector<double> roundBest(x.rounds);
  MethodRun outer = x.RunFor(static_cast<double>(x.rounds));
  const bool finished = ForEachBlock(
      x.rounds, SearchThreads(x.settings.threads),
      [&](std::size_t round) {
        const std::vector<std::uint32_t> perm = Permutation(x.series.t.size(), x.settings.seed, round);
        CleanSeries shuffled = x.series;
        for (std::size_t i = 0; i < perm.size(); ++i) {
          shuffled.y[i] = x.series.y[perm[i]];
          shuffled.dy[i] = x.series.dy[perm[i]];
        }
        std::vector<double> power(mf.size());
        MethodRun inner;
        inner.threads = 1;
        Periodogram(method, shuffled, x, mf, power, inner);
        roundBest[round] = BestScore(power, lower);
      },
      x.cancel, outer.progress, outer.progressFrom, outer.progressTo);
  if (!finished) return false;
  const auto beaten = static_cast<std::size_t>(
      std::count_if(roundBest.begin(), roundBest.end(), [&](double b) { return b >= observed; }));
  m.bestFap = PermutationFap(beaten, x.rounds);
  m.bestFapIsBound = beaten == 0;
  if (!m.peaks.empty()) {
    m.peaks[0].fap = m.bestFap;
    m.peaks[0].fapIsBound = m.bestFapIsBound;
  }
  return true;
}

// The statistics of the best box: duration, epoch, depth and its error, and the BIC of
// the box model (mean, depth, period, epoch, duration and the trend).
void DescribeBox(const Search& x, MethodResult& m) {
  const BoxFit b = FitBox(x.series, m.peaks[0].frequency, x.Box());
  m.boxDuration = b.box.duration;
  m.boxMidTime = b.box.midTime;
  m.boxDepth = b.box.depth;
  m.boxDepthError = b.depthError;
  m.boxSnr = b.depthError > 0.0 ? b.box.depth / b.depthError : 0.0;
  if (b.chi2 > 0.0) m.bic = Bic(b.chi2, 5 + static_cast<std::size_t>(x.trend), x.series.t.size());
}

// One method: its periodogram, its top peaks refined, their significance; false when
// cancelled.
bool RunMethod(Search& x, PeriodMethod method, MethodResult& m) {
  m.method = method;
  m.lowerIsBetter = method == PeriodMethod::LaflerKinman;
  const BlsSettings box = x.Box();
  if (method == PeriodMethod::Bls) {
    const double shortest = x.settings.blsDurations.empty()
                                ? 0.0
                                : *std::min_element(x.settings.blsDurations.begin(), x.settings.blsDurations.end());
    m.frequency = BoxFrequencies(x.span, x.settings.grid, shortest, x.settings.blsBins);
  }
  const std::vector<double>& mf = m.frequency.empty() ? x.freqs : m.frequency;
  m.power.resize(mf.size());
  if (!Periodogram(method, x.series, x, mf, m.power, x.RunFor(1.0))) return false;

  std::vector<double> score(m.power);
  if (m.lowerIsBetter)
    for (double& v : score)
      v = -v;
  const double mean = std::accumulate(score.begin(), score.end(), 0.0) / static_cast<double>(score.size());
  double var = 0.0;
  for (double v : score)
    var += (v - mean) * (v - mean);
  const double sd = std::sqrt(var / static_cast<double>(score.size()));
  const std::size_t count = std::max<std::size_t>(1, x.settings.topPeaks);
  std::vector<std::size_t> top = method == PeriodMethod::Bls ? BoxPeakIndices(x.series, mf, score, box, x.span, count)
                                                             : TopPeakIndices(score, x.minSep, count);
  const double strongestPeriod = top.empty() ? 0.0 : 1.0 / mf[top[0]];
  const int halvings = method == PeriodMethod::Bls ? PreferHalfPeriodOfBox(x.series, mf, score, x.minSep, box, top) : 0;
  // The detection (for the box search: the signal detection efficiency of Kovacs,
  // Zucker & Mazeh 2002) from the grid value, before refinement.
  if (!top.empty()) m.detection = sd > 0.0 ? (score[top[0]] - mean) / sd : 0.0;
  if (!top.empty()) m.edge = top[0] == 0 ? -1 : (top[0] + 1 == mf.size() ? 1 : 0);
  const std::size_t nEff = x.series.t.size() - static_cast<std::size_t>(x.trend);
  for (std::size_t k : top) {
    PeriodPeak p;
    RefinePeak(x, method, mf, k, p);
    if (method == PeriodMethod::Gls) p.fap = BaluevFap(p.power, nEff, x.fmax, x.series.t, x.series.dy);
    if (!m.peaks.empty()) p.aliasOf = AliasMarks(p.frequency, m.peaks[0].frequency, x.windowPeaks, 1.0 / x.span);
    m.peaks.push_back(p);
  }
  if (halvings > 0) { // marked as the others are, against the strongest peak
    m.peaks[0].aliasOf = "P/" + std::to_string(1 << halvings);
    m.halvedFrom = strongestPeriod;
  }
  if (!m.peaks.empty()) m.bestFap = m.peaks[0].fap;
  if (x.rounds > 0 && !top.empty() && !PermutationRounds(x, method, mf, score[top[0]], m)) return false;
  if (m.peaks.empty()) return true;
  if (method == PeriodMethod::Bls)
    DescribeBox(x, m);
  else
    m.bic = BestHarmonicModel(x, m.peaks[0].frequency, 0.0, kCompareHarmonics * x.settings.harmonics).bic;
  return true;
}

// Half the period when a harmonic model there has the lower BIC: a method that found a
// multiple of the period (the model at P/2 has harmonics of 2f only, so a light curve
// with two unequal halves keeps P).
void PreferHalfByEvidence(const Search& x, CombinedPeriod& c, double bicAtP) {
  if (c.method == PeriodMethod::Bls || std::isnan(bicAtP)) return;
  const double f2 = 2.0 / c.period;
  if (f2 > x.fmax) return;
  const ModelChoice half = BestHarmonicModel(x, f2, 0.0, kCompareHarmonics * x.settings.harmonics);
  if (std::isnan(half.bic) || !(half.bic < bicAtP)) return;
  char buf[120];
  std::snprintf(buf, sizeof buf, "half of %s's %.6g d: its BIC is %.1f lower", MethodName(c.method), c.period,
                bicAtP - half.bic);
  c.period *= 0.5;
  c.periodError *= 0.5;
  c.power = PowerAt(c.method, x.series, half.fit.frequency, x.settings);
  c.fap = -1.0;
  c.fapIsBound = false;
  c.note = c.note.empty() ? std::string(buf) : buf + std::string("; ") + c.note;
}

void AddNote(CombinedPeriod& c, const std::string& text) { c.note = c.note.empty() ? text : c.note + "; " + text; }

// A drift looks like a long period: when a polynomial trend alone (up to quadratic)
// explains the light curve with a lower BIC than the model of the period, the note
// says so.
void SayWhenATrendFitsBetter(const Search& x, CombinedPeriod& c, double bicAtP) {
  if (std::isnan(bicAtP)) return;
  for (TrendOrder t : {TrendOrder::Linear, TrendOrder::Quadratic}) {
    if (static_cast<int>(t) < static_cast<int>(x.trend)) continue;
    const double bic = Bic(TrendChiSquared(x.fit, t), 1 + static_cast<std::size_t>(t), x.fit.Size());
    if (!(bic < bicAtP)) continue;
    c.trendFitsBetter = true;
    char buf[120];
    std::snprintf(buf, sizeof buf,
                  "a %s trend without a period fits better (BIC %.1f lower): the period may be a drift", TrendName(t),
                  bicAtP - bic);
    AddNote(c, buf);
    return;
  }
}

// The combined answer with its warnings: a window peak under it, the edge of the range.
void Combine(const Search& x, PeriodSearchResult& r) {
  r.combined = CombinePeriods(r.methods, x.settings.agreement);
  CombinedPeriod& c = r.combined;
  if (!c.found) return;
  double bicAtP = std::numeric_limits<double>::quiet_NaN();
  for (const MethodResult& m : r.methods)
    if (m.method == c.method) {
      bicAtP = m.bic;
      if (m.halvedFrom > 0.0) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "box period halved from %.6g d: transits of one parity fit both", m.halvedFrom);
        c.methodPeriod = m.halvedFrom;
        c.note = c.note.empty() ? std::string(buf) : buf + std::string("; ") + c.note;
      }
    }
  if (c.methodPeriod == 0.0) c.methodPeriod = c.period;
  PreferHalfByEvidence(x, c, bicAtP);
  const double f = 1.0 / c.period;
  c.window = WindowMark(x.series, f, r.windowPeaks, 1.0 / x.span);
  if (!c.window.empty()) AddNote(c, "on a peak of the spectral window (" + c.window + "): may be the sampling");
  int edge = 0;
  for (const MethodResult& m : r.methods)
    if (m.method == c.method && c.period == c.methodPeriod) edge = m.edge;
  if (edge != 0) {
    c.atGridEdge = true;
    AddNote(c, edge < 0 ? "at the longest period searched: the period may be longer"
                        : "at the shortest period searched: the period may be shorter");
  }
  SayWhenATrendFitsBetter(x, c, bicAtP);
  if (c.fap < 0.0 && x.rounds == 0) {
    // Without permutation rounds: the analytic probability of the strongest sinusoid
    // the answer accounts for, at its frequency or the first harmonic (two minima per
    // cycle), as if found anywhere on the grid.
    const double z = std::max(PowerAt(PeriodMethod::Gls, x.series, f, x.settings),
                              PowerAt(PeriodMethod::Gls, x.series, 2.0 * f, x.settings));
    c.fap = BaluevFap(z, x.series.t.size() - static_cast<std::size_t>(x.trend), x.fmax, x.series.t, x.series.dy);
  }
}

} // namespace

PeriodSearchResult SearchPeriods(std::span<const double> tIn, std::span<const double> yIn, std::span<const double> dyIn,
                                 const PeriodSearchSettings& settings, SearchProgress* progress,
                                 const std::atomic<bool>* cancel) {
  CleanSeries raw = Clean(tIn, yIn, dyIn);
  if (raw.t.size() < kMinSearchPoints)
    throw CommandError("A period search needs at least " + std::to_string(kMinSearchPoints) + " measurements; " +
                       std::to_string(raw.t.size()) + " given.");
  PeriodSearchResult r;
  r.points = raw.t.size();
  const double span = TimeSpan(raw.t);
  r.grid = MakeFrequencyGrid(span, settings.grid);
  if (NearlyConstant(raw)) {
    r.constant = true;
    r.combined.methodsRun = static_cast<int>(settings.methods.size());
    r.combined.note = "no significant period: the magnitudes do not vary";
    if (progress != nullptr) progress->Report(1.0);
    return r;
  }
  const TrendOrder trend = ResolveTrend(settings.trend, span, 1.0 / r.grid.first);
  Search x(settings, std::move(raw), trend);
  r.trend = trend;
  x.grid = r.grid;
  x.freqs = r.grid.Values();
  x.span = span;
  x.fmax = r.grid.At(r.grid.count - 1);
  x.minSep = static_cast<std::size_t>(std::max(1.0, std::ceil(settings.grid.oversampling)));
  x.rounds = static_cast<std::size_t>(std::max(0, settings.fapRounds));
  // Progress shares: the window half a unit, every periodogram one, every permutation round one.
  x.units = 0.5 + static_cast<double>(settings.methods.size() * (1 + x.rounds));
  x.progress = progress;
  x.cancel = cancel;
  auto stop = [&] {
    r.cancelled = true;
    return r;
  };

  r.window.resize(r.grid.count);
  if (settings.approximate ? !SpectralWindowApproximate(x.series.t, x.series.dy, r.grid, r.window)
                           : !SpectralWindow(x.series.t, x.series.dy, r.grid, r.window, x.RunFor(0.5)))
    return stop();
  for (std::size_t k : TopPeakIndices(r.window, x.minSep, 3))
    if (r.window[k] >= 0.1) r.windowPeaks.push_back(x.freqs[k]);
  x.windowPeaks = r.windowPeaks;

  for (PeriodMethod method : settings.methods) {
    MethodResult m;
    if (!RunMethod(x, method, m)) return stop();
    r.methods.push_back(std::move(m));
  }
  Combine(x, r);
  if (progress != nullptr) progress->Report(1.0);
  return r;
}

} // namespace morvik
