#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "periods/period_methods.hpp"
#include "periods/period_weights.hpp"

namespace morvik {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Per point: the cosine and sine at the current frequency and the rotation by one
// grid step.
struct Rotor {
  std::vector<double> c, s, dc, ds;

  Rotor(std::span<const double> t, double step) : c(t.size()), s(t.size()), dc(t.size()), ds(t.size()) {
    for (std::size_t i = 0; i < t.size(); ++i) {
      dc[i] = std::cos(kTwoPi * step * t[i]);
      ds[i] = std::sin(kTwoPi * step * t[i]);
    }
  }
  void Start(std::span<const double> t, double f) {
    for (std::size_t i = 0; i < t.size(); ++i) {
      c[i] = std::cos(kTwoPi * f * t[i]);
      s[i] = std::sin(kTwoPi * f * t[i]);
    }
  }
  void Advance() {
    const std::size_t n = c.size();
    for (std::size_t i = 0; i < n; ++i) {
      const double cn = c[i] * dc[i] - s[i] * ds[i];
      s[i] = s[i] * dc[i] + c[i] * ds[i];
      c[i] = cn;
    }
  }
};

// Runs kernel(rotor, k) for every frequency index, block by block.
template <typename Kernel>
bool ForEachFrequency(std::span<const double> t, const FrequencyGrid& grid, const MethodRun& run, Kernel&& kernel) {
  const std::size_t blocks = (grid.count + kSearchBlock - 1) / kSearchBlock;
  return ForEachBlock(
      blocks, SearchThreads(run.threads),
      [&](std::size_t b) {
        Rotor rotor(t, grid.step);
        const std::size_t k0 = b * kSearchBlock;
        const std::size_t k1 = std::min(grid.count, k0 + kSearchBlock);
        rotor.Start(t, grid.At(k0));
        for (std::size_t k = k0; k < k1; ++k) {
          kernel(rotor, k);
          if (k + 1 < k1) rotor.Advance();
        }
      },
      run.cancel, run.progress, run.progressFrom, run.progressTo);
}

// Solves the symmetric positive definite system a x = b (a: m x m, row major) in
// place by Cholesky; returns b^T x, or 0 when a is not positive definite.
double QuadraticForm(std::vector<double>& a, std::vector<double>& b, std::size_t m) {
  for (std::size_t j = 0; j < m; ++j) {
    double d = a[j * m + j];
    for (std::size_t k = 0; k < j; ++k)
      d -= a[j * m + k] * a[j * m + k];
    if (!(d > 1e-12 * std::max(1.0, std::fabs(a[j * m + j])))) return 0.0;
    const double l = std::sqrt(d);
    a[j * m + j] = l;
    for (std::size_t i = j + 1; i < m; ++i) {
      double v = a[i * m + j];
      for (std::size_t k = 0; k < j; ++k)
        v -= a[i * m + k] * a[j * m + k];
      a[i * m + j] = v / l;
    }
  }
  // b^T A^-1 b = |L^-1 b|^2
  double q = 0.0;
  for (std::size_t i = 0; i < m; ++i) {
    double v = b[i];
    for (std::size_t k = 0; k < i; ++k)
      v -= a[i * m + k] * b[k];
    b[i] = v / a[i * m + i];
    q += b[i] * b[i];
  }
  return q;
}

} // namespace

bool GlsPower(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
              const FrequencyGrid& grid, std::span<double> power, const MethodRun& run) {
  const WeightedSeries ws(t, y, dy);
  const std::size_t n = ws.t.size();
  return ForEachFrequency(ws.t, grid, run, [&](const Rotor& r, std::size_t k) {
    double C = 0, S = 0, CCh = 0, CSh = 0, YC = 0, YS = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double w = ws.w[i], c = r.c[i], s = r.s[i];
      C += w * c;
      S += w * s;
      CCh += w * c * c;
      CSh += w * c * s;
      YC += ws.wy[i] * c;
      YS += ws.wy[i] * s;
    }
    const double CC = CCh - C * C;
    const double SS = (1.0 - CCh) - S * S;
    const double CS = CSh - C * S;
    const double D = CC * SS - CS * CS;
    double p = 0.0;
    if (D > 0.0 && ws.yy > 0.0) p = (SS * YC * YC + CC * YS * YS - 2.0 * CS * YC * YS) / (ws.yy * D);
    power[k] = std::isfinite(p) ? std::clamp(p, 0.0, 1.0) : 0.0;
  });
}

bool MultiHarmonicPower(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
                        const FrequencyGrid& grid, int harmonics, std::span<double> power, const MethodRun& run) {
  const WeightedSeries ws(t, y, dy);
  const std::size_t n = ws.t.size();
  const auto h = static_cast<std::size_t>(std::max(1, harmonics));
  const std::size_t m = 2 * h + 1;
  return ForEachFrequency(ws.t, grid, run, [&, h, m](const Rotor& r, std::size_t k) {
    // Products of harmonics are harmonics: cos jx cos kx = (cos (j-k)x + cos (j+k)x) / 2 and
    // so on, so the normal equations need only the weighted sums of cos mx and sin mx
    // up to m = 2h, and of y cos jx, y sin jx up to h. Each call has its own buffers:
    // blocks run on several threads.
    thread_local std::vector<double> sc, ss, bc, bs, a, b;
    sc.assign(2 * h + 1, 0.0);
    ss.assign(2 * h + 1, 0.0);
    bc.assign(h + 1, 0.0);
    bs.assign(h + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      const double c1 = r.c[i], s1 = r.s[i], w = ws.w[i], wy = ws.wy[i];
      double c = c1, s = s1;
      for (std::size_t j = 1; j <= 2 * h; ++j) {
        sc[j] += w * c;
        ss[j] += w * s;
        if (j <= h) {
          bc[j] += wy * c;
          bs[j] += wy * s;
        }
        const double cn = c * c1 - s * s1;
        s = s * c1 + c * s1;
        c = cn;
      }
    }
    sc[0] = 1.0;
    auto sinSum = [&](long d) { return d >= 0 ? ss[static_cast<std::size_t>(d)] : -ss[static_cast<std::size_t>(-d)]; };
    // Unknowns: the constant, then cos jx and sin jx for j = 1..h.
    a.assign(m * m, 0.0);
    b.assign(m, 0.0);
    a[0] = 1.0;
    for (std::size_t j = 1; j <= h; ++j) {
      a[(2 * j - 1) * m] = sc[j];
      a[(2 * j) * m] = ss[j];
      b[2 * j - 1] = bc[j];
      b[2 * j] = bs[j];
      for (std::size_t q = 1; q <= j; ++q) {
        const std::size_t diff = j - q;
        const auto jd = static_cast<long>(j), qd = static_cast<long>(q);
        a[(2 * j - 1) * m + (2 * q - 1)] = 0.5 * (sc[diff] + sc[j + q]);               // cos j, cos q
        a[(2 * j) * m + (2 * q)] = 0.5 * (sc[diff] - sc[j + q]);                       // sin j, sin q
        a[(2 * j) * m + (2 * q - 1)] = 0.5 * (ss[j + q] + sinSum(jd - qd));            // sin j, cos q
        if (q < j) a[(2 * j - 1) * m + (2 * q)] = 0.5 * (ss[j + q] - sinSum(jd - qd)); // cos j, sin q
      }
    }
    const double p = ws.yy > 0.0 ? QuadraticForm(a, b, m) / ws.yy : 0.0;
    power[k] = std::isfinite(p) ? std::clamp(p, 0.0, 1.0) : 0.0;
  });
}

bool SpectralWindow(std::span<const double> t, std::span<const double> dy, const FrequencyGrid& grid,
                    std::span<double> window, const MethodRun& run) {
  std::vector<double> zeros(t.size(), 0.0);
  const WeightedSeries ws(t, zeros, dy);
  const std::size_t n = ws.t.size();
  return ForEachFrequency(ws.t, grid, run, [&](const Rotor& r, std::size_t k) {
    double C = 0, S = 0;
    for (std::size_t i = 0; i < n; ++i) {
      C += ws.w[i] * r.c[i];
      S += ws.w[i] * r.s[i];
    }
    window[k] = C * C + S * S;
  });
}

} // namespace morvik
