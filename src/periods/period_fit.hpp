#pragma once
// The model behind a period: a Fourier series of a few harmonics plus a polynomial
// trend, fitted by weighted least squares, with the frequency itself a parameter of
// the fit (refined off the trial grid) and its standard error from the covariance.

#include <cstddef>
#include <span>
#include <vector>

namespace morvik {

// Polynomial terms beyond the mean: 0 none, 1 linear, 2 quadratic.
enum class TrendOrder { None = 0, Linear = 1, Quadratic = 2 };

struct HarmonicModel {
  int harmonics = 1;
  TrendOrder trend = TrendOrder::None;
  std::size_t LinearTerms() const {
    return 1 + 2 * static_cast<std::size_t>(harmonics) + static_cast<std::size_t>(trend);
  }
};

// A series ready for fits: the times from the middle of the span, the weights 1 / dy^2
// (all 1 when not weighted).
struct FitSeries {
  FitSeries(std::span<const double> t, std::span<const double> y, std::span<const double> dy, bool weighted);
  std::vector<double> t, y, w;
  double tMid = 0.0, halfSpan = 1.0; // trend terms in (t - tMid) / halfSpan
  std::size_t Size() const { return t.size(); }
};

struct FitResult {
  bool ok = false;
  double frequency = 0.0;
  double frequencyError = 0.0; // standard error, scaled by the reduced chi-squared
  double chi2 = 0.0;           // weighted sum of squared residuals
  std::size_t parameters = 0;  // the frequency included
  double semiAmplitude = 0.0;  // of the first harmonic
  double PeriodError() const { return frequency > 0.0 ? frequencyError / (frequency * frequency) : 0.0; }
};

// Weighted chi-squared of the model at a fixed frequency (the linear terms fitted);
// +inf when singular.
double ChiSquaredAt(const FitSeries& s, double f, const HarmonicModel& model);

// Weighted chi-squared of the trend alone (no period): the null model.
double TrendChiSquared(const FitSeries& s, TrendOrder trend);

// The residuals of the trend alone, in the order of s.
std::vector<double> TrendResiduals(const FitSeries& s, TrendOrder trend);

// The least-squares frequency near f0: the smallest chi-squared among `fine` points
// spread over f0 +- reach, then the minimum between that point's neighbours by golden
// section. The frequency's standard error comes from the inverse of the full normal
// matrix (the linear terms and the frequency: the nonlinear least-squares fit at the
// minimum), scaled by chi2 / (n - parameters). For one harmonic and white noise it
// follows sigma_f = sqrt(6 / n) sigma / (pi T A) (Montgomery & O'Donoghue 1999, Delta
// Scuti Star Newsletter 13, 28, eq. 3), T the span and A the semi-amplitude.
FitResult FitFrequency(const FitSeries& s, double f0, double reach, const HarmonicModel& model, int fine = 21);

// Bayesian information criterion with the error scale unknown: n ln(chi2 / n) + k ln n
// (Schwarz 1978, Ann. Stat. 6, 461).
double Bic(double chi2, std::size_t parameters, std::size_t n);

} // namespace morvik
