#include "periods/period_fit.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace morvik {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Solves the symmetric positive definite system a x = b (m x m, row-major) in place by
// Cholesky; false when not positive definite. a is left holding the factor.
bool CholeskySolve(std::vector<double>& a, std::vector<double>& b, std::size_t m) {
  for (std::size_t j = 0; j < m; ++j) {
    double d = a[j * m + j];
    for (std::size_t k = 0; k < j; ++k)
      d -= a[j * m + k] * a[j * m + k];
    if (!(d > 1e-12 * std::max(1.0, std::fabs(a[j * m + j])))) return false;
    d = std::sqrt(d);
    a[j * m + j] = d;
    for (std::size_t i = j + 1; i < m; ++i) {
      double v = a[i * m + j];
      for (std::size_t k = 0; k < j; ++k)
        v -= a[i * m + k] * a[j * m + k];
      a[i * m + j] = v / d;
    }
  }
  for (std::size_t i = 0; i < m; ++i) { // L z = b
    double v = b[i];
    for (std::size_t k = 0; k < i; ++k)
      v -= a[i * m + k] * b[k];
    b[i] = v / a[i * m + i];
  }
  for (std::size_t i = m; i-- > 0;) { // L^T x = z
    double v = b[i];
    for (std::size_t k = i + 1; k < m; ++k)
      v -= a[k * m + i] * b[k];
    b[i] = v / a[i * m + i];
  }
  return true;
}

// The model's basis functions at one point: the constant, the trend powers, then
// cos and sin of every harmonic.
void Basis(const FitSeries& s, std::size_t i, double f, const HarmonicModel& model, std::vector<double>& row) {
  row.clear();
  row.push_back(1.0);
  const double u = s.t[i] / s.halfSpan;
  double p = 1.0;
  for (int k = 0; k < static_cast<int>(model.trend); ++k) {
    p *= u;
    row.push_back(p);
  }
  const double x = kTwoPi * f * s.t[i];
  for (int h = 1; h <= model.harmonics; ++h) {
    row.push_back(std::cos(h * x));
    row.push_back(std::sin(h * x));
  }
}

struct LinearFit {
  bool ok = false;
  std::vector<double> coef;
  double chi2 = HUGE_VAL;
};

LinearFit FitLinear(const FitSeries& s, double f, const HarmonicModel& model) {
  LinearFit fit;
  const std::size_t m = model.LinearTerms();
  if (s.Size() <= m) return fit;
  std::vector<double> a(m * m, 0.0), b(m, 0.0), row;
  for (std::size_t i = 0; i < s.Size(); ++i) {
    Basis(s, i, f, model, row);
    for (std::size_t j = 0; j < m; ++j) {
      b[j] += s.w[i] * row[j] * s.y[i];
      for (std::size_t k = 0; k <= j; ++k)
        a[j * m + k] += s.w[i] * row[j] * row[k];
    }
  }
  for (std::size_t j = 0; j < m; ++j)
    for (std::size_t k = j + 1; k < m; ++k)
      a[j * m + k] = a[k * m + j];
  if (!CholeskySolve(a, b, m)) return fit;
  fit.ok = true;
  fit.coef = b;
  fit.chi2 = 0.0;
  for (std::size_t i = 0; i < s.Size(); ++i) {
    Basis(s, i, f, model, row);
    double v = s.y[i];
    for (std::size_t j = 0; j < m; ++j)
      v -= fit.coef[j] * row[j];
    fit.chi2 += s.w[i] * v * v;
  }
  return fit;
}

// The standard error of f at the minimum: the last diagonal element of the inverse of
// the normal matrix of all parameters, the derivative of the model by f the last column.
double FrequencyError(const FitSeries& s, double f, const HarmonicModel& model, const LinearFit& fit) {
  const std::size_t m = model.LinearTerms(), p = m + 1;
  const std::size_t firstHarmonic = 1 + static_cast<std::size_t>(model.trend);
  std::vector<double> a(p * p, 0.0), row;
  for (std::size_t i = 0; i < s.Size(); ++i) {
    Basis(s, i, f, model, row);
    double d = 0.0;
    for (int h = 1; h <= model.harmonics; ++h) {
      const double c = fit.coef[firstHarmonic + 2 * static_cast<std::size_t>(h - 1)];
      const double sn = fit.coef[firstHarmonic + 2 * static_cast<std::size_t>(h - 1) + 1];
      const double x = kTwoPi * h * f * s.t[i];
      d += kTwoPi * h * s.t[i] * (-c * std::sin(x) + sn * std::cos(x));
    }
    row.push_back(d);
    for (std::size_t j = 0; j < p; ++j)
      for (std::size_t k = 0; k <= j; ++k)
        a[j * p + k] += s.w[i] * row[j] * row[k];
  }
  for (std::size_t j = 0; j < p; ++j)
    for (std::size_t k = j + 1; k < p; ++k)
      a[j * p + k] = a[k * p + j];
  // The last diagonal element of the inverse: solve a x = e_last.
  std::vector<double> e(p, 0.0);
  e[p - 1] = 1.0;
  if (!CholeskySolve(a, e, p)) return 0.0;
  const double dof = static_cast<double>(s.Size()) - static_cast<double>(p);
  const double scale = dof > 0.0 ? fit.chi2 / dof : 0.0;
  return std::sqrt(std::max(0.0, e[p - 1] * scale));
}

} // namespace

FitSeries::FitSeries(std::span<const double> tIn, std::span<const double> yIn, std::span<const double> dy,
                     bool weighted) {
  const std::size_t n = std::min(tIn.size(), yIn.size());
  if (n == 0) return;
  const auto [lo, hi] = std::minmax_element(tIn.begin(), tIn.begin() + static_cast<std::ptrdiff_t>(n));
  tMid = 0.5 * (*lo + *hi);
  halfSpan = std::max(0.5 * (*hi - *lo), 1e-9);
  for (std::size_t i = 0; i < n; ++i) {
    t.push_back(tIn[i] - tMid);
    y.push_back(yIn[i]);
    w.push_back(weighted && i < dy.size() ? 1.0 / (dy[i] * dy[i]) : 1.0);
  }
}

double ChiSquaredAt(const FitSeries& s, double f, const HarmonicModel& model) { return FitLinear(s, f, model).chi2; }

double TrendChiSquared(const FitSeries& s, TrendOrder trend) { return FitLinear(s, 0.0, HarmonicModel{0, trend}).chi2; }

std::vector<double> TrendResiduals(const FitSeries& s, TrendOrder trend) {
  const HarmonicModel model{0, trend};
  const LinearFit fit = FitLinear(s, 0.0, model);
  std::vector<double> r(s.y), row;
  if (!fit.ok) return r;
  for (std::size_t i = 0; i < s.Size(); ++i) {
    Basis(s, i, 0.0, model, row);
    for (std::size_t j = 0; j < row.size(); ++j)
      r[i] -= fit.coef[j] * row[j];
  }
  return r;
}

FitResult FitFrequency(const FitSeries& s, double f0, double reach, const HarmonicModel& model, int fine) {
  FitResult r;
  const int count = std::max(3, fine);
  const double step = 2.0 * reach / (count - 1);
  double bestF = f0, bestChi = HUGE_VAL;
  for (int k = 0; k < count; ++k) {
    const double f = f0 - reach + k * step;
    if (!(f > 0.0)) continue;
    const double c = ChiSquaredAt(s, f, model);
    if (c < bestChi) {
      bestChi = c;
      bestF = f;
    }
  }
  if (!std::isfinite(bestChi)) return r;
  // Golden section between the neighbours of the best fine point.
  constexpr double kInvPhi = 0.6180339887498949;
  double a = std::max(bestF - step, 0.5 * bestF), b = bestF + step;
  double x1 = b - kInvPhi * (b - a), x2 = a + kInvPhi * (b - a);
  double c1 = ChiSquaredAt(s, x1, model), c2 = ChiSquaredAt(s, x2, model);
  for (int it = 0; it < 60 && b - a > 1e-12 * bestF; ++it) {
    if (c1 < c2) {
      b = x2;
      x2 = x1;
      c2 = c1;
      x1 = b - kInvPhi * (b - a);
      c1 = ChiSquaredAt(s, x1, model);
    } else {
      a = x1;
      x1 = x2;
      c1 = c2;
      x2 = a + kInvPhi * (b - a);
      c2 = ChiSquaredAt(s, x2, model);
    }
  }
  double f = c1 < c2 ? x1 : x2;
  if (std::min(c1, c2) > bestChi) f = bestF; // the fine point itself was lower
  const LinearFit fit = FitLinear(s, f, model);
  if (!fit.ok) return r;
  r.ok = true;
  r.frequency = f;
  r.chi2 = fit.chi2;
  r.parameters = model.LinearTerms() + 1;
  const std::size_t h1 = 1 + static_cast<std::size_t>(model.trend);
  if (model.harmonics > 0) r.semiAmplitude = std::hypot(fit.coef[h1], fit.coef[h1 + 1]);
  r.frequencyError = FrequencyError(s, f, model, fit);
  return r;
}

double Bic(double chi2, std::size_t parameters, std::size_t n) {
  const double nn = static_cast<double>(n);
  return nn * std::log(std::max(chi2, 1e-300) / nn) + static_cast<double>(parameters) * std::log(nn);
}

} // namespace morvik
