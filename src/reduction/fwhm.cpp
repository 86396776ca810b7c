#include "reduction/fwhm.hpp"

#include <algorithm>
#include <cmath>

namespace morvik::reduction {
namespace {

// A circular Moffat profile (Moffat 1969, A&A 3, 455), I = A (1 + r^2 / alpha^2)^-beta
// + B, integrated over each pixel (4 x 4 sub-samples: stars of 1.2 px FWHM are
// undersampled), fitted by Levenberg-Marquardt to the pixels within `half` pixels of the
// centre. Beta free from 1.2 to 30 covers seeing-limited profiles up to near-Gaussian.
// Broad stars need fewer sub-samples: 4 x 4 within 3.75 px, 2 x 2 within 7.5, else 1.
struct Moffat {
  double p[6]; // A, x0, y0, log alpha, log(beta - 1), B
  int sub = 4; // sub-samples per pixel side

  double At(double x, double y) const {
    const double alpha2 = std::exp(2.0 * p[3]), beta = 1.0 + std::exp(p[4]);
    const double step = 1.0 / sub, first = -0.5 + 0.5 * step;
    double sum = 0;
    for (int j = 0; j < sub; ++j)
      for (int i = 0; i < sub; ++i) {
        const double dx = x + first + step * i - p[1], dy = y + first + step * j - p[2];
        sum += std::exp(-beta * std::log1p((dx * dx + dy * dy) / alpha2));
      }
    return p[0] * sum / (sub * sub) + p[5];
  }
  // The value at (x, y) and its derivatives by the six parameters, analytic: with
  // t = 1 + r^2 / alpha^2 and f = t^-beta, df/dx0 = 2 beta dx f / (alpha^2 t),
  // df/dlog alpha = 2 beta r^2 f / (alpha^2 t), df/dlog(beta - 1) = -(beta - 1) ln(t) f.
  double WithGradient(double x, double y, double g[6]) const {
    const double alpha2 = std::exp(2.0 * p[3]), beta = 1.0 + std::exp(p[4]);
    const double step = 1.0 / sub, first = -0.5 + 0.5 * step;
    double sum = 0, gx = 0, gy = 0, ga = 0, gb = 0;
    for (int j = 0; j < sub; ++j)
      for (int i = 0; i < sub; ++i) {
        const double dx = x + first + step * i - p[1], dy = y + first + step * j - p[2];
        const double q = (dx * dx + dy * dy) / alpha2, lt = std::log1p(q);
        const double f = std::exp(-beta * lt), common = 2.0 * beta * f / (alpha2 * (1.0 + q));
        sum += f;
        gx += common * dx;
        gy += common * dy;
        ga += common * q * alpha2;
        gb -= lt * f;
      }
    const double scale = p[0] / (sub * sub);
    g[0] = sum / (sub * sub);
    g[1] = scale * gx;
    g[2] = scale * gy;
    g[3] = scale * ga;
    g[4] = scale * (beta - 1.0) * gb;
    g[5] = 1.0;
    return p[0] * g[0] + p[5];
  }
  double Fwhm() const {
    const double beta = 1.0 + std::exp(p[4]);
    return 2.0 * std::exp(p[3]) * std::sqrt(std::pow(2.0, 1.0 / beta) - 1.0);
  }
};

struct Sample {
  double x, y, v;
};

double Residual2(const Moffat& m, const std::vector<Sample>& s) {
  double r2 = 0;
  for (const Sample& q : s) {
    const double r = q.v - m.At(q.x, q.y);
    r2 += r * r;
  }
  return r2;
}

// Solves the n x n system a x = b in place (Gaussian elimination, partial pivoting).
bool Solve(double a[6][6], double b[6], int n) {
  for (int c = 0; c < n; ++c) {
    int pivot = c;
    for (int r = c + 1; r < n; ++r)
      if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
    if (std::abs(a[pivot][c]) < 1e-300) return false;
    std::swap(a[c], a[pivot]);
    std::swap(b[c], b[pivot]);
    for (int r = c + 1; r < n; ++r) {
      const double f = a[r][c] / a[c][c];
      for (int k = c; k < n; ++k)
        a[r][k] -= f * a[c][k];
      b[r] -= f * b[c];
    }
  }
  for (int c = n - 1; c >= 0; --c) {
    for (int k = c + 1; k < n; ++k)
      b[c] -= a[c][k] * b[k];
    b[c] /= a[c][c];
  }
  return true;
}

bool FitMoffat(Moffat& m, const std::vector<Sample>& s) {
  double lambda = 1e-3, cost = Residual2(m, s);
  for (int iteration = 0; iteration < 20; ++iteration) {
    double jtj[6][6] = {}, jtr[6] = {};
    for (const Sample& q : s) {
      double g[6];
      const double r = q.v - m.WithGradient(q.x, q.y, g);
      for (int a = 0; a < 6; ++a) {
        jtr[a] += g[a] * r;
        for (int b = 0; b < 6; ++b)
          jtj[a][b] += g[a] * g[b];
      }
    }
    bool improved = false;
    for (int attempt = 0; attempt < 8 && !improved; ++attempt) {
      double a[6][6], b[6];
      for (int r = 0; r < 6; ++r) {
        for (int c = 0; c < 6; ++c)
          a[r][c] = jtj[r][c];
        a[r][r] *= 1.0 + lambda;
        b[r] = jtr[r];
      }
      if (!Solve(a, b, 6)) return false;
      Moffat next = m;
      for (int k = 0; k < 6; ++k)
        next.p[k] += b[k];
      next.p[4] = std::clamp(next.p[4], std::log(0.2), std::log(29.0));
      const double c = Residual2(next, s);
      if (c < cost) {
        const bool converged = cost - c < 1e-7 * cost;
        m = next;
        cost = c;
        lambda *= 0.3;
        improved = true;
        if (converged) return true;
      } else {
        lambda *= 10.0;
      }
    }
    if (!improved) return true;
  }
  return true;
}

// FWHM of one star from a profile fit to the pixels within `half` of it; 0 when a
// flagged pixel is near, the star is faint, or the fit wanders off.
double StarFwhm(const PixelView& v, Point at, double half, double skyRms) {
  const long x0 = static_cast<long>(std::floor(at.x - half)), x1 = static_cast<long>(std::ceil(at.x + half));
  const long y0 = static_cast<long>(std::floor(at.y - half)), y1 = static_cast<long>(std::ceil(at.y + half));
  if (x0 < 0 || y0 < 0 || x1 >= v.width || y1 >= v.height) return 0;
  thread_local std::vector<Sample> s;
  s.clear();
  double peak = 0, sx = 0, sy = 0, sum = 0;
  for (long y = y0; y <= y1; ++y)
    for (long x = x0; x <= x1; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * v.width + x);
      if (v.mask[i] != pixel::kClean) return 0;
      const double value = static_cast<double>(v.data[i]);
      s.push_back({static_cast<double>(x), static_cast<double>(y), value});
      if (std::hypot(static_cast<double>(x) - at.x, static_cast<double>(y) - at.y) <= 1.5) {
        peak = std::max(peak, value);
        sx += value * static_cast<double>(x);
        sy += value * static_cast<double>(y);
        sum += value;
      }
    }
  if (peak < 20.0 * skyRms || !(sum > 0)) return 0;
  Moffat m{{peak, sx / sum, sy / sum, std::log(std::max(0.5, 0.5 * half)), std::log(2.0), 0.0}, 4};
  m.sub = half < 3.75 ? 4 : (half < 7.5 ? 2 : 1);
  if (!FitMoffat(m, s)) return 0;
  const double f = m.Fwhm();
  if (!(f > 0.3) || f > 2.0 * half || std::hypot(m.p[1] - at.x, m.p[2] - at.y) > 1.5) return 0;
  return f;
}

} // namespace

double ProfileFwhm(const PixelView& v, const std::vector<Point>& bright, const std::vector<Point>& all, double guess,
                   double skyRms) {
  double fwhm = guess > 0 ? guess : 3.0;
  // A second time when the window does not follow the first answer.
  for (int round = 0; round < 2; ++round) {
    const double window = std::max(3.0, 1.5 * fwhm);
    std::vector<double> found;
    for (const Point& p : bright) {
      if (found.size() >= 5) break;
      bool isolated = true;
      for (const Point& q : all) {
        const double d = std::hypot(q.x - p.x, q.y - p.y);
        if (d > 0.5 && d < 2.0 * window) {
          isolated = false;
          break;
        }
      }
      if (!isolated) continue;
      const double f = StarFwhm(v, p, window, skyRms);
      if (f > 0) found.push_back(f);
    }
    if (found.empty()) return round == 0 ? 0 : fwhm;
    std::nth_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(found.size() / 2), found.end());
    const double previous = fwhm;
    fwhm = found[found.size() / 2];
    if (std::abs(fwhm - previous) < 0.2 * previous) break;
  }
  return fwhm;
}

} // namespace morvik::reduction
