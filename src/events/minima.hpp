#pragma once
// Times of minimum of eclipses, and ephemerides from lists of them.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace morvik::events {

struct MinimumOptions {
  int folds = 5; // reflections about the trial times: 3 (Kwee & van Woerden), 5 or 7
  double noise = std::numeric_limits<double>::quiet_NaN(); // per point; NaN: from the data
  int bootstrap = 200;                                     // draws for the symmetric-polynomial error
  bool polynomial = false;                                 // FindMinima measures by the symmetric polynomial, not KvW
  std::uint64_t seed = 1;
};

struct Minimum {
  double time = 0.0, error = 0.0;
  double errorOriginal = 0.0; // Kwee & van Woerden's own estimate, for comparison
  std::string method;
  int points = 0;
  double depth = 0.0; // of the minimum below the highest level in its window, in the data's units
  bool primary = true;
  double cycle = 0.0, oc = 0.0; // against an ephemeris, when one is given
  bool ok = false;
};

// y is brightness (flux: the minimum is the lowest value). The points should hold the
// eclipse and little of the level outside it.
//
// Kwee & van Woerden (1956, BAN 12, 327): the light curve is interpolated onto an even
// grid and reflected about trial times; the sum of squared differences S(T) is fitted
// by a parabola whose vertex is the minimum. The error follows Deeg (2021, Galaxies
// 9, 1): S is turned into a chi-squared with the noise of each difference, and the
// error is where that chi-squared has risen by one; five or seven folds (trial times)
// steady the parabola.
Minimum KweeVanWoerden(const std::vector<double>& t, const std::vector<double>& y, const MinimumOptions& options);

// A model-free alternative: y = c0 + c2 (t - T)^2 + c4 (t - T)^4 + c6 (t - T)^6 by least
// squares with T found by a one-dimensional search; the error is the scatter of T
// over bootstrap resamplings of the points.
Minimum SymmetricPolynomialMinimum(const std::vector<double>& t, const std::vector<double>& y,
                                   const MinimumOptions& options);

// Finds the minima in a long series: one per night (runs of points separated by more
// than gap days) whose lowest point lies inside the night, each measured (KvW or the
// symmetric polynomial) on the points below 90 % of the dip. Deeper minima are called primary, those shallower than
// 0.7 of the deepest secondary.
std::vector<Minimum> FindMinima(const std::vector<double>& t, const std::vector<double>& y,
                                const MinimumOptions& options, double gap = 0.25);

struct Ephemeris {
  double t0 = 0.0, period = 0.0, quadratic = 0.0; // T(E) = t0 + period E + quadratic E^2
  std::vector<double> covariance;                 // 2x2 or 3x3, row-major
  bool hasQuadratic = false;
  double chi2Linear = 0.0, chi2Quadratic = 0.0, bicLinear = 0.0, bicQuadratic = 0.0;
  double Predict(double cycle) const { return t0 + period * cycle + quadratic * cycle * cycle; }
  // The period change per unit time, dP/dt = 2 Q / P (dimensionless).
  double PeriodChange() const { return period != 0.0 ? 2.0 * quadratic / period : 0.0; }
};

// Cycle numbers against a period and epoch: whole for primaries, halves for secondaries.
double CycleOf(double time, double t0, double period, bool primary);

// The weighted linear ephemeris of minima times (cycles from the guess t0, period),
// with the quadratic term kept when it lowers the BIC. Returns an ephemeris with
// period 0 when fewer than two minima are given.
Ephemeris FitEphemeris(const std::vector<double>& times, const std::vector<double>& errors,
                       const std::vector<double>& cycles);

// Sets cycle and O-C of every minimum against the ephemeris.
void ApplyEphemeris(std::vector<Minimum>& minima, const Ephemeris& e);

} // namespace morvik::events
