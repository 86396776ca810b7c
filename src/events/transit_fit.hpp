#pragma once
// Fitting a transit: the occultation model times a baseline (a polynomial in time,
// airmass and any extra columns, its coefficients solved linearly at every step),
// a Levenberg-Marquardt start, then the ensemble sampler for the posterior.

#include "events/transit_model.hpp"

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace morvik::events {

struct TransitSeries {
  std::vector<double> t, flux, err; // relative flux
  std::vector<double> airmass;      // empty when unknown
  std::vector<std::string> extraNames;
  std::vector<std::vector<double>> extra; // one vector per named column
};

struct BaselineTerms {
  int timeOrder = 0; // 0..2
  bool airmass = false;
  std::vector<int> extra; // indexes into TransitSeries::extra
  std::string Describe(const TransitSeries& s) const;
};

struct TransitFitOptions {
  double t0 = std::numeric_limits<double>::quiet_NaN(); // guess; NaN: searched in the data
  double period = 3.0;                                  // days
  bool fitPeriod = false;                               // needs several transits
  double u1 = 0.4, u2 = 0.2;
  bool fitLimbDarkening = false; // free with Gaussian priors of ldSigma about u1, u2
  double ldSigma = 0.1;
  double exposure = 0.0; // days; with supersample > 1 the model is averaged over it
  int supersample = 1;
  // Baseline: every combination up to these terms is tried and the lowest BIC kept,
  // unless chooseBaseline is false and `baseline` is used as given.
  int maxTimeOrder = 2;
  bool tryAirmass = true;
  bool chooseBaseline = true;
  BaselineTerms baseline;
  int walkers = 32, steps = 5000;
  int burnIn = -1; // -1: a quarter of the steps
  std::uint64_t seed = 1;
  bool scaleErrors = true; // reduced chi2 to 1, then the red-noise beta
  std::function<bool(double)> progress;
};

struct Estimate {
  std::string name;
  double best = 0.0; // least-squares value
  double p16 = 0.0, p50 = 0.0, p84 = 0.0;
  bool free = true;
  double Minus() const { return p50 - p16; }
  double Plus() const { return p84 - p50; }
  double Sigma() const { return 0.5 * (p84 - p16); }
};

struct BaselineCandidate {
  BaselineTerms terms;
  int parameters = 0;
  double chi2 = 0.0, bic = 0.0;
};

struct TransitFitResult {
  bool ok = false;
  std::string message;
  std::vector<Estimate> parameters; // t0, period, rp_rs, a_rs, b, u1, u2
  std::vector<Estimate> derived;    // depth, t14, t23, density, inclination
  BaselineTerms baseline;
  std::vector<BaselineCandidate> candidates;
  std::vector<double> baselineCoefficients;
  double chi2Reduced = 0.0; // of the best fit with the errors as given
  double beta = 1.0;        // red-noise factor
  double errorScale = 1.0;  // every error was multiplied by this
  int walkers = 0, steps = 0, burnIn = 0;
  std::vector<double> tau; // per free parameter
  double tauMax = 0.0;
  bool longEnough = false; // steps after burn-in >= 50 tau
  double acceptance = 0.0;
  bool cancelled = false;
  TransitShape best;
  std::vector<double> model, baselineModel, residuals; // per point
  const Estimate* Find(const std::string& name) const;
};

TransitFitResult FitTransit(const TransitSeries& series, const TransitFitOptions& options);

// Quadratic limb darkening for a main-sequence star (log g 4.5, solar metallicity),
// rounded from the tables of A. Claret (2000, A&A 363, 1081) and interpolated in
// temperature: a starting value and prior centre, not a measurement. Unknown filters
// fall back to V.
void TabulatedLimbDarkening(const std::string& filter, double teff, double& u1, double& u2);

// The red-noise factor of Winn et al. (2008, ApJ 683, 1076) after Pont, Zucker &
// Queloz (2006, MNRAS 373, 231): residuals averaged in bins of N consecutive points
// scatter by beta sigma_1 / sqrt(N) sqrt(M / (M - 1)). Over the bin lengths between
// binLo and binHi days the largest beta is kept (their mean, as Winn et al. take it,
// left the true mid-time outside 2 sigma too often on nights with red noise); never
// below 1.
double RedNoiseBeta(const std::vector<double>& t, const std::vector<double>& residuals, double binLo, double binHi);

} // namespace morvik::events
