#include "events/transit_fit.hpp"

#include "events/sampler.hpp"
#include "events/transit_problem.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace morvik::events {

std::string BaselineTerms::Describe(const TransitSeries& s) const {
  std::string d = timeOrder == 0 ? "constant" : timeOrder == 1 ? "time1" : "time2";
  if (airmass) d += "+airmass";
  for (int k : extra)
    if (k >= 0 && static_cast<std::size_t>(k) < s.extraNames.size())
      d += "+" + s.extraNames[static_cast<std::size_t>(k)];
  return d;
}

const Estimate* TransitFitResult::Find(const std::string& name) const {
  for (const auto* list : {&parameters, &derived})
    for (const Estimate& e : *list)
      if (e.name == name) return &e;
  return nullptr;
}

double RedNoiseBeta(const std::vector<double>& t, const std::vector<double>& residuals, double binLo, double binHi) {
  const std::size_t n = residuals.size();
  if (n < 10) return 1.0;
  double s1 = 0.0;
  for (double r : residuals)
    s1 += r * r;
  s1 = std::sqrt(s1 / static_cast<double>(n));
  const double cadence = (t.back() - t.front()) / static_cast<double>(n - 1);
  std::size_t nLo = std::max<std::size_t>(2, static_cast<std::size_t>(std::lround(binLo / cadence)));
  std::size_t nHi = std::min<std::size_t>(n / 5, static_cast<std::size_t>(std::lround(binHi / cadence)));
  if (nHi < nLo) {
    nLo = 2;
    nHi = std::max<std::size_t>(2, n / 10);
  }
  double largest = 1.0;
  for (std::size_t N = nLo; N <= nHi; ++N) {
    const std::size_t M = n / N;
    if (M < 2) break;
    double sN = 0.0;
    for (std::size_t b = 0; b < M; ++b) {
      double mean = 0.0;
      for (std::size_t i = b * N; i < (b + 1) * N; ++i)
        mean += residuals[i];
      mean /= static_cast<double>(N);
      sN += mean * mean;
    }
    sN = std::sqrt(sN / static_cast<double>(M));
    const double expected =
        s1 / std::sqrt(static_cast<double>(N)) * std::sqrt(static_cast<double>(M) / static_cast<double>(M - 1));
    largest = std::max(largest, sN / expected);
  }
  return largest;
}

namespace {

std::vector<BaselineTerms> Candidates(const TransitSeries& s, const TransitFitOptions& o) {
  if (!o.chooseBaseline) return {o.baseline};
  std::vector<BaselineTerms> list;
  const bool haveAirmass = o.tryAirmass && s.airmass.size() == s.t.size();
  const std::size_t extras = std::min<std::size_t>(s.extra.size(), 4);
  for (int order = 0; order <= std::clamp(o.maxTimeOrder, 0, 2); ++order)
    for (int am = 0; am <= (haveAirmass ? 1 : 0); ++am)
      for (std::size_t mask = 0; mask < (std::size_t{1} << extras); ++mask) {
        BaselineTerms b;
        b.timeOrder = order;
        b.airmass = am == 1;
        for (std::size_t k = 0; k < extras; ++k)
          if (mask & (std::size_t{1} << k)) b.extra.push_back(static_cast<int>(k));
        list.push_back(b);
      }
  return list;
}

Estimate Summarize(const std::string& name, std::vector<double> values, double best) {
  Estimate e;
  e.name = name;
  e.best = best;
  std::sort(values.begin(), values.end()); // Quantile finds it sorted and sorts no more
  e.p16 = Quantile(values, 0.16);
  e.p50 = Quantile(values, 0.50);
  e.p84 = Quantile(values, 0.84);
  return e;
}

Estimate Fixed(const std::string& name, double value) {
  Estimate e{name, value, value, value, value, false};
  return e;
}

} // namespace

TransitFitResult FitTransit(const TransitSeries& series, const TransitFitOptions& options) {
  TransitFitResult res;
  const std::size_t n = series.t.size();
  if (n < 10 || series.flux.size() != n || series.err.size() != n) {
    res.message = "too few points for a transit fit";
    return res;
  }
  for (double e : series.err)
    if (!(e > 0.0)) {
      res.message = "every point needs a positive error";
      return res;
    }
  const TransitShape start = StartingShape(series, options);

  // Every baseline from the same start; the BIC uses errors scaled by the reduced chi2
  // of the richest baseline so that a wrong gain does not tilt the choice.
  const std::vector<BaselineTerms> candidates = Candidates(series, options);
  std::vector<std::vector<double>> fits;
  std::vector<double> chi2s;
  for (const BaselineTerms& b : candidates) {
    TransitProblem problem(series, options, b);
    std::vector<double> theta = problem.Pack(start);
    chi2s.push_back(problem.Minimize(theta));
    fits.push_back(theta);
  }
  std::size_t richest = 0;
  int richestK = -1;
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    TransitProblem problem(series, options, candidates[c]);
    const int k = problem.Dimension() + problem.BaselineCount();
    if (std::isfinite(chi2s[c]) && k > richestK) richestK = k, richest = c;
  }
  if (richestK < 0) {
    res.message = "no baseline could be fitted (terms that repeat one another)";
    return res;
  }
  const double norm = std::max(chi2s[richest] / std::max(1.0, static_cast<double>(n) - richestK), 1e-300);
  std::size_t chosen = 0;
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    TransitProblem problem(series, options, candidates[c]);
    BaselineCandidate bc;
    bc.terms = candidates[c];
    bc.parameters = problem.Dimension() + problem.BaselineCount();
    bc.chi2 = chi2s[c] / norm;
    bc.bic = bc.chi2 + bc.parameters * std::log(static_cast<double>(n));
    res.candidates.push_back(bc);
    if (bc.bic < res.candidates[chosen].bic) chosen = c;
  }
  res.baseline = candidates[chosen];

  TransitProblem problem(series, options, res.baseline);
  std::vector<double> theta = fits[chosen];
  std::vector<double> covariance;
  double chi2 = problem.Minimize(theta, &covariance);
  const int dof = std::max(1, static_cast<int>(n) - problem.Dimension() - problem.BaselineCount());
  res.chi2Reduced = chi2 / dof;
  if (options.scaleErrors) {
    std::vector<double> model, residuals(n);
    problem.Chi2(theta, &model);
    for (std::size_t i = 0; i < n; ++i)
      residuals[i] = series.flux[i] - model[i];
    const TransitShape s = problem.Unpack(theta);
    const TransitDurations d = Durations(s);
    const double ingress = std::max(0.5 * (d.t14 - d.t23), 5.0 / 1440.0);
    res.beta = RedNoiseBeta(series.t, residuals, 0.5 * ingress, 2.0 * ingress);
    res.errorScale = std::sqrt(res.chi2Reduced) * res.beta;
    std::vector<double> err = series.err;
    for (double& e : err)
      e *= res.errorScale;
    problem.SetErrors(err);
    chi2 = problem.Minimize(theta, &covariance);
  }

  // The walkers start spread as the least-squares covariance says, so that a modest
  // burn-in suffices.
  const auto D = static_cast<std::size_t>(problem.Dimension());
  Rng ballRng(options.seed ^ 0x5bd1e995ULL);
  std::vector<std::vector<double>> startPos;
  // A draw outside the prior is tried again at half the spread, so that no two walkers
  // coincide (an ensemble of equal walkers cannot move).
  for (int w = 0; w < options.walkers; ++w) {
    std::vector<double> p = theta;
    double spread = 1.0;
    for (int attempt = 0; attempt < 60; ++attempt, spread *= 0.5) {
      for (std::size_t d = 0; d < D; ++d) {
        const double sd = std::sqrt(std::max(covariance[d * D + d], 0.0));
        const double floor = 1e-6 * std::max(1.0, d == 0 ? 0.0 : std::abs(theta[d]));
        p[d] = theta[d] + spread * (std::isfinite(sd) && sd > floor ? sd : floor) * ballRng.Normal();
      }
      if (problem.InPrior(p)) break;
    }
    if (!problem.InPrior(p)) p = theta;
    startPos.push_back(p);
  }
  EnsembleOptions eo;
  eo.walkers = options.walkers;
  eo.steps = options.steps;
  eo.seed = options.seed;
  eo.progress = options.progress;
  const Chain chain = RunEnsemble([&](const std::vector<double>& x) { return problem.LogPosterior(x); }, startPos, eo);
  res.cancelled = chain.cancelled;
  res.walkers = chain.walkers;
  res.steps = chain.steps;
  res.burnIn = options.burnIn >= 0 ? std::min(options.burnIn, chain.steps - 1) : chain.steps / 4;
  res.acceptance = chain.acceptance;
  const int kept = chain.steps - res.burnIn;
  for (std::size_t d = 0; d < D; ++d) {
    const double tau = AutocorrelationTime(chain, static_cast<int>(d), res.burnIn);
    res.tau.push_back(tau);
    res.tauMax = std::max(res.tauMax, std::isfinite(tau) ? tau : 1e300);
  }
  res.longEnough = kept >= 50.0 * res.tauMax;

  // Posterior summaries of the parameters and of the derived values.
  const std::vector<std::string> names = problem.Names();
  std::vector<std::vector<double>> values(D);
  constexpr std::size_t kDerived = 5;
  std::array<std::vector<double>, kDerived> derived;
  const std::size_t total = static_cast<std::size_t>(kept) * chain.walkers;
  const std::size_t stride = std::max<std::size_t>(1, total / 40000);
  std::size_t index = 0;
  for (int s = res.burnIn; s < chain.steps; ++s)
    for (int w = 0; w < chain.walkers; ++w, ++index) {
      std::vector<double> x(D);
      for (std::size_t d = 0; d < D; ++d)
        x[d] = chain.At(s, w, static_cast<int>(d));
      for (std::size_t d = 0; d < D; ++d)
        values[d].push_back(x[d]);
      if (index % stride != 0) continue;
      const TransitDurations du = Durations(problem.Unpack(x));
      const std::array<double, kDerived> dv{du.depth, du.t14, du.t23, du.density, du.inclination};
      for (std::size_t k = 0; k < kDerived; ++k)
        derived[k].push_back(dv[k]);
    }
  res.best = problem.Unpack(theta);
  const TransitShape& b = res.best;
  const auto param = [&](const std::string& name, double bestValue) {
    for (std::size_t d = 0; d < D; ++d)
      if (names[d] == name) return Summarize(name, values[d], bestValue);
    return Fixed(name, bestValue);
  };
  res.parameters = {param("t0", b.t0), param("period", b.period), param("rp_rs", b.p), param("a_rs", b.aRs),
                    param("b", b.b),   param("u1", b.u1),         param("u2", b.u2)};
  const TransitDurations bd = Durations(b);
  const std::array<std::string, kDerived> dn{"depth", "t14", "t23", "density", "inclination"};
  const std::array<double, kDerived> dbest{bd.depth, bd.t14, bd.t23, bd.density, bd.inclination};
  for (std::size_t k = 0; k < kDerived; ++k)
    res.derived.push_back(Summarize(dn[k], derived[k], dbest[k]));

  problem.Chi2(theta, &res.model, &res.baselineModel, &res.baselineCoefficients);
  res.residuals.resize(n);
  for (std::size_t i = 0; i < n; ++i)
    res.residuals[i] = series.flux[i] - res.model[i];
  res.ok = !chain.cancelled;
  if (chain.cancelled) res.message = "cancelled";
  return res;
}

void TabulatedLimbDarkening(const std::string& filter, double teff, double& u1, double& u2) {
  struct Row {
    const char* filter;
    std::array<double, 4> u1, u2; // at 4000, 5000, 6000, 7000 K
  };
  static const Row kRows[] = {
      {"B", {0.90, 0.75, 0.55, 0.42}, {-0.05, 0.08, 0.22, 0.30}},
      {"V", {0.75, 0.58, 0.42, 0.32}, {0.05, 0.17, 0.27, 0.31}},
      {"R", {0.62, 0.48, 0.34, 0.26}, {0.12, 0.21, 0.29, 0.31}},
      {"I", {0.50, 0.38, 0.27, 0.20}, {0.17, 0.24, 0.29, 0.30}},
      {"g", {0.82, 0.66, 0.48, 0.37}, {0.01, 0.13, 0.25, 0.31}},
      {"r", {0.65, 0.50, 0.36, 0.28}, {0.10, 0.20, 0.28, 0.31}},
      {"i", {0.53, 0.40, 0.29, 0.22}, {0.16, 0.23, 0.29, 0.30}},
      {"CV", {0.65, 0.50, 0.36, 0.28}, {0.10, 0.20, 0.28, 0.31}},
  };
  const Row* row = &kRows[1];
  for (const Row& r : kRows)
    if (filter == r.filter) row = &r;
  const double x = std::clamp((teff - 4000.0) / 1000.0, 0.0, 3.0);
  const auto i = std::min<std::size_t>(2, static_cast<std::size_t>(x));
  const double f = x - static_cast<double>(i);
  u1 = row->u1[i] + f * (row->u1[i + 1] - row->u1[i]);
  u2 = row->u2[i] + f * (row->u2[i + 1] - row->u2[i]);
}

} // namespace morvik::events
