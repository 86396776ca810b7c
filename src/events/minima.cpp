#include "events/minima.hpp"

#include "events/least_squares.hpp"
#include "events/sampler.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace morvik::events {

namespace {

// Cubic (four-point Lagrange) interpolation in sorted t, so that the curvature of the
// eclipse between points does not shift the reflection; `spread` gets the sum of the
// squared weights, the variance of the interpolated value in units of one point's.
double Interpolate(const std::vector<double>& t, const std::vector<double>& y, double x, double& spread) {
  const std::size_t n = t.size();
  const auto it = std::upper_bound(t.begin(), t.end(), x);
  std::size_t hi = std::clamp<std::size_t>(static_cast<std::size_t>(it - t.begin()), 1, n - 1);
  const std::size_t first = std::min(hi >= 2 ? hi - 2 : 0, n >= 4 ? n - 4 : 0);
  const std::size_t count = std::min<std::size_t>(4, n);
  double value = 0.0;
  spread = 0.0;
  for (std::size_t i = first; i < first + count; ++i) {
    double w = 1.0;
    for (std::size_t j = first; j < first + count; ++j)
      if (j != i) w *= (x - t[j]) / (t[i] - t[j]);
    value += w * y[i];
    spread += w * w;
  }
  return value;
}

// Noise of one point from third differences y0 - 3 y1 + 3 y2 - y3 (variance 20 sigma^2),
// which the curvature of an eclipse sampled coarsely barely touches.
double NoiseFromData(const std::vector<double>& y) {
  if (y.size() < 5) return 0.0;
  double s = 0.0;
  for (std::size_t i = 0; i + 3 < y.size(); ++i) {
    const double d = y[i] - 3.0 * y[i + 1] + 3.0 * y[i + 2] - y[i + 3];
    s += d * d;
  }
  return std::sqrt(s / (20.0 * static_cast<double>(y.size() - 3)));
}

std::size_t LowestSmoothed(const std::vector<double>& y) {
  std::size_t best = 0;
  double low = 1e300;
  for (std::size_t i = 1; i + 1 < y.size(); ++i) {
    const double m = (y[i - 1] + y[i] + y[i + 1]) / 3.0;
    if (m < low) low = m, best = i;
  }
  return best;
}

struct Parabola {
  double a = 0.0, b = 0.0, c = 0.0;
  bool ok = false;
};

Parabola FitParabola(const std::vector<double>& x, const std::vector<double>& v) {
  std::vector<double> one(x.size(), 1.0), sq(x.size());
  for (std::size_t i = 0; i < x.size(); ++i)
    sq[i] = x[i] * x[i];
  const LinearFit f = FitLinear({sq, x, one}, v, one);
  Parabola p;
  if (!f.ok) return p;
  p.a = f.coef[0];
  p.b = f.coef[1];
  p.c = f.coef[2];
  p.ok = p.a > 0.0;
  return p;
}

} // namespace

Minimum KweeVanWoerden(const std::vector<double>& t, const std::vector<double>& y, const MinimumOptions& options) {
  Minimum m;
  m.method = "kvw";
  const std::size_t n = t.size();
  m.points = static_cast<int>(n);
  if (n < 8 || y.size() != n) return m;
  const bool given = std::isfinite(options.noise) && options.noise > 0.0;
  // Without a noise given, chi-squared is formed in units of one point's variance and
  // rescaled below; the third-difference estimate only steers the iterations.
  const double sigma = given ? options.noise : NoiseFromData(y);
  const double step = (t.back() - t.front()) / static_cast<double>(n - 1);
  const int folds = std::max(3, options.folds | 1);
  const int half = folds / 2;
  const double h = 0.5 * step; // trial times half a grid step apart
  double t1 = t[LowestSmoothed(y)];
  const double varUnit = given ? sigma * sigma : 1.0;
  for (int iter = 0; iter < 8; ++iter) {
    const double reach = std::min(t1 - half * h - t.front(), t.back() - t1 - half * h);
    const int K = static_cast<int>(std::floor(reach / step));
    if (K < 3) return m;
    // The variance of each pair's difference, taken at the central trial time and kept
    // for all of them: weights that changed with the trial would bend the parabola.
    std::vector<double> pairVar(static_cast<std::size_t>(K) + 1, 0.0);
    for (int k = 1; k <= K; ++k) {
      double va = 0.0, vb = 0.0;
      Interpolate(t, y, t1 + k * step, va);
      Interpolate(t, y, t1 - k * step, vb);
      pairVar[static_cast<std::size_t>(k)] = varUnit * (va + vb);
    }
    std::vector<double> xs, chi, S;
    for (int j = -half; j <= half; ++j) {
      const double T = t1 + j * h;
      double c2 = 0.0, s = 0.0;
      for (int k = 1; k <= K; ++k) {
        double va = 0.0, vb = 0.0;
        const double d = Interpolate(t, y, T + k * step, va) - Interpolate(t, y, T - k * step, vb);
        s += d * d;
        c2 += d * d / pairVar[static_cast<std::size_t>(k)];
      }
      xs.push_back(j * h);
      chi.push_back(c2);
      S.push_back(s);
    }
    const Parabola pc = FitParabola(xs, chi);
    const Parabola ps = FitParabola(xs, S);
    if (!pc.ok || !ps.ok) return m;
    const double shift = -pc.b / (2.0 * pc.a);
    if (std::abs(shift) > h * half && iter < 7) {
      t1 += std::clamp(shift, -step * K * 0.5, step * K * 0.5);
      continue;
    }
    m.time = t1 + shift;
    // Deeg (2021): chi-squared rises by one at one sigma. Without a noise given, the
    // noise is what the reflection leaves at its best: chi2_min over K - 1 degrees of
    // freedom in units of one point's variance (the eclipse's own curvature cancels in
    // the reflected differences, which it does not in point-to-point scatter).
    double unitVar = 1.0;
    if (!given) {
      double chiMin = 0.0;
      for (int k = 1; k <= K; ++k) {
        double va = 0.0, vb = 0.0;
        const double d = Interpolate(t, y, m.time + k * step, va) - Interpolate(t, y, m.time - k * step, vb);
        chiMin += d * d / pairVar[static_cast<std::size_t>(k)];
      }
      unitVar = chiMin > 0.0 ? chiMin / std::max(1, K - 1) : 1.0;
    }
    m.error = std::sqrt(unitVar / pc.a);
    // Kwee & van Woerden's own: sigma^2 = (4AC - B^2) / (4 A^2 (Z - 1)), Z the
    // independent pairs.
    const double z = static_cast<double>(K);
    m.errorOriginal = std::sqrt(std::max(0.0, (4.0 * ps.a * ps.c - ps.b * ps.b) / (4.0 * ps.a * ps.a * (z - 1.0))));
    const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
    m.depth = *hi - *lo;
    m.ok = true;
    return m;
  }
  return m;
}

namespace {

// Residual sum of squares of the even polynomial about T over the points idx.
double EvenFitRss(const std::vector<double>& t, const std::vector<double>& y, const std::vector<std::size_t>& idx,
                  double T, double scale, double* level = nullptr) {
  std::vector<std::vector<double>> cols(4, std::vector<double>(idx.size()));
  std::vector<double> yy(idx.size()), w(idx.size(), 1.0);
  for (std::size_t i = 0; i < idx.size(); ++i) {
    const double x = (t[idx[i]] - T) / scale, x2 = x * x;
    cols[0][i] = 1.0;
    cols[1][i] = x2;
    cols[2][i] = x2 * x2;
    cols[3][i] = x2 * x2 * x2;
    yy[i] = y[idx[i]];
  }
  const LinearFit f = FitLinear(cols, yy, w);
  if (!f.ok) return 1e300;
  if (level) *level = f.coef[0];
  return f.chi2;
}

double BestCentre(const std::vector<double>& t, const std::vector<double>& y, const std::vector<std::size_t>& idx,
                  double lo, double hi, double scale) {
  // A coarse grid, then golden-section search in the best cell.
  const int grid = 40;
  int bestK = 0;
  double best = 1e300;
  for (int k = 0; k <= grid; ++k) {
    const double r = EvenFitRss(t, y, idx, lo + (hi - lo) * k / grid, scale);
    if (r < best) best = r, bestK = k;
  }
  double a = lo + (hi - lo) * std::max(0, bestK - 1) / grid, b = lo + (hi - lo) * std::min(grid, bestK + 1) / grid;
  const double g = 0.5 * (std::sqrt(5.0) - 1.0);
  double c = b - g * (b - a), d = a + g * (b - a);
  double fc = EvenFitRss(t, y, idx, c, scale), fd = EvenFitRss(t, y, idx, d, scale);
  while (b - a > 1e-7 * scale) {
    if (fc < fd) {
      b = d, d = c, fd = fc;
      c = b - g * (b - a);
      fc = EvenFitRss(t, y, idx, c, scale);
    } else {
      a = c, c = d, fc = fd;
      d = a + g * (b - a);
      fd = EvenFitRss(t, y, idx, d, scale);
    }
  }
  return 0.5 * (a + b);
}

} // namespace

Minimum SymmetricPolynomialMinimum(const std::vector<double>& t, const std::vector<double>& y,
                                   const MinimumOptions& options) {
  Minimum m;
  m.method = "polynomial";
  const std::size_t n = t.size();
  m.points = static_cast<int>(n);
  if (n < 8 || y.size() != n) return m;
  const double span = t.back() - t.front();
  const double scale = 0.5 * span;
  std::vector<std::size_t> all(n);
  std::iota(all.begin(), all.end(), std::size_t{0});
  const double guess = t[LowestSmoothed(y)];
  const double window = 0.25 * span;
  m.time = BestCentre(t, y, all, guess - window, guess + window, scale);
  Rng rng(options.seed);
  std::vector<double> draws;
  std::vector<std::size_t> idx(n);
  for (int b = 0; b < options.bootstrap; ++b) {
    for (std::size_t& i : idx)
      i = rng.Below(n);
    draws.push_back(BestCentre(t, y, idx, m.time - 0.1 * span, m.time + 0.1 * span, scale));
  }
  double mean = 0.0, var = 0.0;
  for (double d : draws)
    mean += d;
  mean /= std::max<std::size_t>(1, draws.size());
  for (double d : draws)
    var += (d - mean) * (d - mean);
  m.error = draws.size() > 1 ? std::sqrt(var / static_cast<double>(draws.size() - 1)) : 0.0;
  double level = 0.0;
  EvenFitRss(t, y, all, m.time, scale, &level);
  m.depth = *std::max_element(y.begin(), y.end()) - level;
  m.ok = true;
  return m;
}

std::vector<Minimum> FindMinima(const std::vector<double>& t, const std::vector<double>& y,
                                const MinimumOptions& options, double gap) {
  std::vector<Minimum> found;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= t.size(); ++i) {
    if (i < t.size() && t[i] - t[i - 1] <= gap) continue;
    const std::vector<double> nt(t.begin() + static_cast<long>(start), t.begin() + static_cast<long>(i));
    const std::vector<double> ny(y.begin() + static_cast<long>(start), y.begin() + static_cast<long>(i));
    start = i;
    if (nt.size() < 12) continue;
    const std::size_t low = LowestSmoothed(ny);
    if (low < nt.size() / 10 || low > nt.size() - 1 - nt.size() / 10) continue;
    const double top = *std::max_element(ny.begin(), ny.end());
    const double level = top - 0.1 * (top - ny[low]);
    std::size_t a = low, b = low;
    while (a > 0 && ny[a - 1] < level)
      --a;
    while (b + 1 < ny.size() && ny[b + 1] < level)
      ++b;
    if (a == 0 || b + 1 == ny.size() || b - a + 1 < 8) continue; // no branch out of the dip
    const std::vector<double> wt(nt.begin() + static_cast<long>(a), nt.begin() + static_cast<long>(b) + 1);
    const std::vector<double> wy(ny.begin() + static_cast<long>(a), ny.begin() + static_cast<long>(b) + 1);
    Minimum m = options.polynomial ? SymmetricPolynomialMinimum(wt, wy, options) : KweeVanWoerden(wt, wy, options);
    if (!m.ok) continue;
    m.depth = top - ny[low];
    found.push_back(m);
  }
  double deepest = 0.0;
  for (const Minimum& m : found)
    deepest = std::max(deepest, m.depth);
  for (Minimum& m : found)
    m.primary = m.depth >= 0.7 * deepest;
  return found;
}

double CycleOf(double time, double t0, double period, bool primary) {
  const double e = (time - t0) / period;
  return primary ? std::round(e) : std::round(e - 0.5) + 0.5;
}

Ephemeris FitEphemeris(const std::vector<double>& times, const std::vector<double>& errors,
                       const std::vector<double>& cycles) {
  Ephemeris e;
  const std::size_t n = times.size();
  if (n < 2) return e;
  std::vector<double> one(n, 1.0), w(n), sq(n);
  for (std::size_t i = 0; i < n; ++i) {
    w[i] = errors[i] > 0.0 ? 1.0 / (errors[i] * errors[i]) : 1.0;
    sq[i] = cycles[i] * cycles[i];
  }
  const double logn = std::log(static_cast<double>(n));
  LinearFit lin = FitLinear({one, cycles}, times, w);
  if (!lin.ok) return e;
  e.chi2Linear = lin.chi2;
  e.bicLinear = lin.chi2 + 2.0 * logn;
  LinearFit chosen = lin;
  if (n >= 4) {
    const LinearFit quad = FitLinear({one, cycles, sq}, times, w);
    if (quad.ok) {
      e.chi2Quadratic = quad.chi2;
      e.bicQuadratic = quad.chi2 + 3.0 * logn;
      if (e.bicQuadratic < e.bicLinear) chosen = quad, e.hasQuadratic = true;
    }
  }
  e.t0 = chosen.coef[0];
  e.period = chosen.coef[1];
  e.quadratic = e.hasQuadratic ? chosen.coef[2] : 0.0;
  // The covariance grows with the scatter when the minima scatter more than their errors.
  const double dof = static_cast<double>(n) - static_cast<double>(chosen.coef.size());
  const double scale = dof > 0.0 ? std::max(1.0, chosen.chi2 / dof) : 1.0;
  e.covariance = chosen.covariance;
  for (double& c : e.covariance)
    c *= scale;
  return e;
}

void ApplyEphemeris(std::vector<Minimum>& minima, const Ephemeris& e) {
  for (Minimum& m : minima) {
    const double phase = (m.time - e.t0) / e.period - std::floor((m.time - e.t0) / e.period);
    m.primary = phase < 0.25 || phase > 0.75;
    m.cycle = CycleOf(m.time, e.t0, e.period, m.primary);
    m.oc = m.time - e.Predict(m.cycle);
  }
}

} // namespace morvik::events
