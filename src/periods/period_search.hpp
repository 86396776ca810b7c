#pragma once
// The period search of one star over the full frequency grid of its time span: the
// periodograms of the chosen methods, their top peaks with likely aliases marked, the
// significance of the best peaks and one combined answer.

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "periods/period_fit.hpp"
#include "periods/period_grid.hpp"
#include "periods/period_parallel.hpp"

namespace morvik {

enum class PeriodMethod { LaflerKinman, Gls, MultiHarmonicGls, Bls };

// The trend fitted with every model and in the null hypothesis. Auto: linear when the
// span exceeds kTrendSpans times the longest period searched, else none.
enum class TrendChoice { Auto, None, Linear, Quadratic };
inline constexpr double kTrendSpans = 10.0;
// "auto", "none", "linear", "quadratic".
std::optional<TrendChoice> TrendFromName(const std::string& name);
const char* TrendName(TrendOrder t);

// "lk", "gls", "mhgls", "bls".
const char* MethodName(PeriodMethod m);
std::optional<PeriodMethod> MethodFromName(const std::string& name);

struct PeriodSearchSettings {
  GridRequest grid;
  std::vector<PeriodMethod> methods{PeriodMethod::Gls, PeriodMethod::MultiHarmonicGls, PeriodMethod::LaflerKinman};
  int harmonics = 3;
  std::vector<double> blsDurations{0.04, 0.06, 0.08, 0.12, 0.16, 0.24}; // days
  int blsBins = 200;
  std::size_t topPeaks = 5;
  int fapRounds = 0; // permutation rounds per method; 0: only the analytic probability
  std::uint64_t seed = 1;
  double agreement = 0.01;  // relative period difference counted as the same period
  unsigned threads = 0;     // 0: the machine's cores
  bool approximate = false; // generalised Lomb-Scargle and the window by the transform (GlsPowerApproximate)
  TrendChoice trend = TrendChoice::Auto;
};

struct PeriodPeak {
  double frequency = 0.0;
  double period = 0.0;
  double power = 0.0;  // the method's statistic (theta for Lafler-Kinman)
  double fap = -1.0;   // -1: not known
  std::string aliasOf; // e.g. "1d", "2d", "P/2", "2P", "window", joined by "+"; on the best box
                       // least squares peak "P/2" ("P/4") when preferred to the stronger peak at twice (4x) its period
  double periodError = 0.0; // standard error of the refined period; 0: not known
  bool fapIsBound = false;  // fap is the floor of the permutation rounds: the probability is below it
};

struct MethodResult {
  PeriodMethod method = PeriodMethod::Gls;
  std::vector<double> frequency; // box least squares: its own finer grid; otherwise empty (the common grid)
  std::vector<double> power;     // one value per frequency
  bool lowerIsBetter = false;    // true for Lafler-Kinman theta
  std::vector<PeriodPeak> peaks; // best first
  double detection = 0.0;        // (best - mean) / standard deviation of the periodogram
  double bestFap = -1.0;         // permutation probability when rounds ran, else the analytic one (GLS), else -1
  bool bestFapIsBound = false;   // bestFap is the floor of the permutation rounds
  double bic = std::numeric_limits<double>::quiet_NaN();      // of the best peak's model (harmonic series or box,
                                                              // with the trend); NaN: not known
  double boxDuration = 0.0, boxMidTime = 0.0, boxDepth = 0.0; // box least squares only
  double boxDepthError = 0.0, boxSnr = 0.0;                   // the depth's standard error and depth / error
  int edge = 0;            // the best peak at the end of the grid: -1 the longest period, 1 the shortest, else 0
  double halvedFrom = 0.0; // box least squares: the strongest peak's period when a half of it was preferred, else 0
};

struct CombinedPeriod {
  bool found = false;
  double period = 0.0;
  double periodError = 0.0; // standard error from the fit; 0: not known
  double power = 0.0;
  double fap = -1.0;
  bool fapIsBound = false;                 // fap is a floor: the probability is below it
  PeriodMethod method = PeriodMethod::Gls; // the method whose peak is given
  int agreeing = 0;                        // methods whose best period is within the agreement
  int methodsRun = 0;
  double secondPeriod = 0.0;    // the next peak of that method, 0 if none
  double methodPeriod = 0.0;    // the method's own best period, before the choice among its multiples
  std::string note;             // why this answer when the methods disagree, and any warning
  std::string window;           // the window peak the answer lies on ("1 d", "1 yr", ...), empty if none
  bool atGridEdge = false;      // the answer sits at the end of the range searched
  bool trendFitsBetter = false; // a polynomial trend without any period has the lower BIC
};

struct PeriodSearchResult {
  FrequencyGrid grid;
  std::size_t points = 0;
  std::vector<double> window;      // spectral window on the grid
  std::vector<double> windowPeaks; // its strongest peak frequencies
  std::vector<MethodResult> methods;
  CombinedPeriod combined;
  TrendOrder trend = TrendOrder::None;
  bool constant = false; // the magnitudes do not vary: no period is searched
  bool cancelled = false;
};

// Searches t (days), y (magnitudes), dy (errors; empty: equal weights). Throws
// CommandError for a grid that cannot be formed or is too large, and for fewer than
// kMinSearchPoints usable points. progress and cancel may be null; a cancelled search
// returns with cancelled set and no answer.
inline constexpr std::size_t kMinSearchPoints = 8;
PeriodSearchResult SearchPeriods(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
                                 const PeriodSearchSettings& settings, SearchProgress* progress = nullptr,
                                 const std::atomic<bool>* cancel = nullptr);

// The local maxima of score (higher is better), best first, at least minSeparation
// grid steps apart, at most count.
std::vector<std::size_t> TopPeakIndices(std::span<const double> score, std::size_t minSeparation, std::size_t count);

// Marks for a peak at f given the best peak at best: "1d"/"2d"/"3d" (a daily
// alias), "P/2", "2P", "window" (offset by a window peak); tolerance in cycles per day.
std::string AliasMarks(double f, double best, std::span<const double> windowPeaks, double tolerance);

// Picks the combined answer from the methods' results (their peaks filled): the model
// of least BIC when the methods disagree (bic set), else the period most agree on.
CombinedPeriod CombinePeriods(const std::vector<MethodResult>& methods, double agreement);

// "< 0.032" for a bound, the shortest form of the number otherwise; "" when not known.
std::string FapText(double fap, bool bound);

} // namespace morvik
