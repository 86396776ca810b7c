#include "events/transit_problem.hpp"

#include "events/least_squares.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace morvik::events {

namespace {

constexpr double kNoFit = 1e100; // the residual of every point when nothing fits

double Mean(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v)
    s += x;
  return v.empty() ? 0.0 : s / static_cast<double>(v.size());
}

// Baseline columns: 1, (t - tm)/span, its square, airmass and the extra columns each
// less its mean (so that the first coefficient is the out-of-transit level).
std::vector<std::vector<double>> BaselineColumns(const TransitSeries& s, const BaselineTerms& b) {
  const std::size_t n = s.t.size();
  std::vector<std::vector<double>> cols;
  cols.emplace_back(n, 1.0);
  const double tm = Mean(s.t);
  const auto [lo, hi] = std::minmax_element(s.t.begin(), s.t.end());
  const double span = std::max(*hi - *lo, 1e-9);
  for (int order = 1; order <= b.timeOrder; ++order) {
    std::vector<double> c(n);
    for (std::size_t i = 0; i < n; ++i)
      c[i] = std::pow((s.t[i] - tm) / span, order);
    cols.push_back(c);
  }
  const auto centred = [&](const std::vector<double>& v) {
    const double m = Mean(v);
    std::vector<double> c(v);
    for (double& x : c)
      x -= m;
    cols.push_back(c);
  };
  if (b.airmass && s.airmass.size() == n) centred(s.airmass);
  for (int k : b.extra)
    if (k >= 0 && static_cast<std::size_t>(k) < s.extra.size() && s.extra[static_cast<std::size_t>(k)].size() == n)
      centred(s.extra[static_cast<std::size_t>(k)]);
  return cols;
}

} // namespace

TransitProblem::TransitProblem(const TransitSeries& series, const TransitFitOptions& options,
                               const BaselineTerms& baseline)
    : series_(series), options_(options), t_(series.t), y_(series.flux) {
  columns_ = BaselineColumns(series, baseline);
  SetErrors(series.err);
  dim_ = 4 + (options.fitPeriod ? 1 : 0) + (options.fitLimbDarkening ? 2 : 0);
  shape_.resize(t_.size());
}

void TransitProblem::SetErrors(const std::vector<double>& err) {
  err_ = err;
  w_.resize(err.size());
  for (std::size_t i = 0; i < err.size(); ++i)
    w_[i] = 1.0 / (err[i] * err[i]);
}

std::vector<double> TransitProblem::Pack(const TransitShape& s) const {
  std::vector<double> theta{s.t0, s.p, s.aRs, s.b};
  if (options_.fitPeriod) theta.push_back(s.period);
  if (options_.fitLimbDarkening) {
    theta.push_back(s.u1);
    theta.push_back(s.u2);
  }
  return theta;
}

TransitShape TransitProblem::Unpack(const std::vector<double>& theta) const {
  TransitShape s;
  s.t0 = theta[0];
  s.p = theta[1];
  s.aRs = theta[2];
  s.b = theta[3];
  std::size_t k = 4;
  s.period = options_.fitPeriod ? theta[k++] : options_.period;
  s.u1 = options_.fitLimbDarkening ? theta[k++] : options_.u1;
  s.u2 = options_.fitLimbDarkening ? theta[k++] : options_.u2;
  return s;
}

std::vector<std::string> TransitProblem::Names() const {
  std::vector<std::string> names{"t0", "rp_rs", "a_rs", "b"};
  if (options_.fitPeriod) names.push_back("period");
  if (options_.fitLimbDarkening) {
    names.push_back("u1");
    names.push_back("u2");
  }
  return names;
}

bool TransitProblem::InPrior(const std::vector<double>& theta) const {
  const TransitShape s = Unpack(theta);
  const double lo = t_.front() - 0.5 * s.period, hi = t_.back() + 0.5 * s.period;
  if (!(s.t0 > lo && s.t0 < hi)) return false;
  if (!(s.p > 1e-4 && s.p < 1.0)) return false;
  if (!(s.aRs > 1.2 && s.aRs < 1000.0)) return false;
  if (!(s.b >= 0.0 && s.b < 1.0 + s.p && s.b < s.aRs)) return false;
  if (!(s.period > 0.0)) return false;
  // Intensity positive and falling towards the limb (Kipping 2013, MNRAS 435, 2152).
  if (options_.fitLimbDarkening && !(s.u1 >= 0.0 && s.u1 + s.u2 <= 1.0 && s.u1 + 2.0 * s.u2 >= 0.0)) return false;
  return true;
}

double TransitProblem::Chi2(const std::vector<double>& theta, std::vector<double>* model, std::vector<double>* baseline,
                            std::vector<double>* coef) const {
  const TransitShape s = Unpack(theta);
  const std::size_t n = t_.size(), m = columns_.size();
  for (std::size_t i = 0; i < n; ++i)
    shape_[i] = TransitFlux(s, t_[i], options_.exposure, options_.supersample);
  // Normal equations of y ~ shape * sum_k c_k column_k.
  std::vector<double> A(m * m, 0.0), b(m, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    const double ws = w_[i] * shape_[i];
    for (std::size_t r = 0; r < m; ++r) {
      const double xr = columns_[r][i] * ws;
      b[r] += xr * y_[i];
      for (std::size_t c = 0; c <= r; ++c)
        A[r * m + c] += xr * columns_[c][i] * shape_[i];
    }
  }
  for (std::size_t r = 0; r < m; ++r)
    for (std::size_t c = r + 1; c < m; ++c)
      A[r * m + c] = A[c * m + r];
  if (!SolveSymmetric(A, b, static_cast<int>(m))) return std::numeric_limits<double>::infinity();
  double chi2 = 0.0;
  if (model) model->resize(n);
  if (baseline) baseline->resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    double base = 0.0;
    for (std::size_t r = 0; r < m; ++r)
      base += b[r] * columns_[r][i];
    const double mod = base * shape_[i];
    chi2 += w_[i] * (y_[i] - mod) * (y_[i] - mod);
    if (model) (*model)[i] = mod;
    if (baseline) (*baseline)[i] = base;
  }
  if (coef) *coef = b;
  return chi2;
}

double TransitProblem::LogPosterior(const std::vector<double>& theta) const {
  if (!InPrior(theta)) return -std::numeric_limits<double>::infinity();
  double lp = -0.5 * Chi2(theta);
  if (options_.fitLimbDarkening) {
    const TransitShape s = Unpack(theta);
    const double d1 = (s.u1 - options_.u1) / options_.ldSigma, d2 = (s.u2 - options_.u2) / options_.ldSigma;
    lp -= 0.5 * (d1 * d1 + d2 * d2);
  }
  return lp;
}

void TransitProblem::Residuals(const std::vector<double>& theta, std::vector<double>& r) const {
  std::vector<double> model;
  r.resize(y_.size());
  // Baseline terms that repeat one another (airmass linear in time, say) leave the
  // normal equations singular: such a model is no fit at all.
  if (!std::isfinite(Chi2(theta, &model))) {
    std::fill(r.begin(), r.end(), kNoFit);
    return;
  }
  for (std::size_t i = 0; i < y_.size(); ++i)
    r[i] = (y_[i] - model[i]) / err_[i];
}

// Levenberg-Marquardt (Marquardt 1963, SIAM J. Appl. Math. 11, 431) with a
// central-difference Jacobian; steps that leave the prior count as failures.
double TransitProblem::Minimize(std::vector<double>& theta, std::vector<double>* covariance) const {
  const auto D = static_cast<std::size_t>(dim_);
  const std::size_t n = y_.size();
  std::vector<double> r, rp, rm;
  Residuals(theta, r);
  double chi2 = 0.0;
  for (double x : r)
    chi2 += x * x;
  double lambda = 1e-3;
  std::vector<double> J(n * D), JtJ(D * D), g(D);
  const auto jacobian = [&]() {
    for (std::size_t j = 0; j < D; ++j) {
      // Mid-times are large numbers: their step is absolute (about a second).
      const double h = j == 0 ? 1e-5 : std::max(1e-7, 1e-6 * std::abs(theta[j]));
      std::vector<double> up = theta, dn = theta;
      up[j] += h;
      dn[j] -= h;
      Residuals(up, rp);
      Residuals(dn, rm);
      for (std::size_t i = 0; i < n; ++i)
        J[i * D + j] = (rp[i] - rm[i]) / (2.0 * h);
    }
    std::fill(JtJ.begin(), JtJ.end(), 0.0);
    std::fill(g.begin(), g.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t a = 0; a < D; ++a) {
        g[a] -= J[i * D + a] * r[i];
        for (std::size_t b = 0; b < D; ++b)
          JtJ[a * D + b] += J[i * D + a] * J[i * D + b];
      }
  };
  jacobian();
  for (int iter = 0; iter < 200; ++iter) {
    std::vector<double> A = JtJ, step = g;
    for (std::size_t a = 0; a < D; ++a)
      A[a * D + a] *= 1.0 + lambda;
    bool improved = false;
    if (SolveSymmetric(A, step, dim_)) {
      std::vector<double> trial = theta;
      for (std::size_t a = 0; a < D; ++a)
        trial[a] += step[a];
      if (InPrior(trial)) {
        Residuals(trial, rp);
        double c2 = 0.0;
        for (double x : rp)
          c2 += x * x;
        if (c2 < chi2) {
          const bool converged = chi2 - c2 < 1e-9 * std::max(1.0, chi2);
          theta = trial;
          r = rp;
          chi2 = c2;
          lambda = std::max(lambda * 0.3, 1e-12);
          improved = true;
          if (converged) break;
          jacobian();
        }
      }
    }
    if (!improved) {
      lambda *= 10.0;
      if (lambda > 1e12) break;
    }
  }
  if (chi2 >= kNoFit) return std::numeric_limits<double>::infinity();
  if (covariance) {
    jacobian();
    std::vector<double> dummy(D, 0.0);
    if (!SolveSymmetric(JtJ, dummy, dim_, covariance)) covariance->assign(D * D, 0.0);
  }
  return chi2;
}

TransitShape StartingShape(const TransitSeries& series, const TransitFitOptions& options) {
  TransitShape best;
  best.period = options.period;
  best.u1 = options.u1;
  best.u2 = options.u2;
  best.p = 0.1;
  best.b = 0.3;
  const std::vector<double>& t = series.t;
  const double lo = t.front(), hi = t.back(), span = hi - lo;
  double bestGain = -1.0, bestDepth = 0.01;
  std::vector<double> w(t.size());
  for (std::size_t i = 0; i < t.size(); ++i)
    w[i] = 1.0 / (series.err[i] * series.err[i]);
  const bool guessed = std::isfinite(options.t0);
  for (double frac : {0.08, 0.15, 0.25, 0.4, 0.6}) {
    TransitShape s = best;
    s.aRs = std::max(1.5, s.period / (std::numbers::pi * frac * span));
    for (int k = 0; k <= 120; ++k) {
      s.t0 = guessed ? options.t0 + (k - 60) * span / 480.0 : lo + span * k / 120.0;
      std::vector<double> dip(t.size()), one(t.size(), 1.0), trend(t.size());
      for (std::size_t i = 0; i < t.size(); ++i) {
        dip[i] = TransitFlux(s, t[i]) - 1.0;
        trend[i] = (t[i] - lo) / std::max(span, 1e-9);
      }
      const LinearFit with = FitLinear({one, trend, dip}, series.flux, w);
      const LinearFit without = FitLinear({one, trend}, series.flux, w);
      if (!with.ok || !without.ok || with.coef[2] <= 0.0) continue;
      const double gain = without.chi2 - with.chi2;
      if (gain > bestGain) {
        bestGain = gain;
        best.t0 = s.t0;
        best.aRs = s.aRs;
        bestDepth = with.coef[2] / with.coef[0];
      }
    }
  }
  if (bestGain < 0.0) best.t0 = guessed ? options.t0 : 0.5 * (lo + hi);
  best.p = std::clamp(0.1 * std::sqrt(std::max(bestDepth, 1e-6)), 0.01, 0.5);
  return best;
}

} // namespace morvik::events
