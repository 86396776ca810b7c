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
    // Each call has its own buffers: blocks run on several threads.
    thread_local std::vector<double> a, b, phi;
    a.assign(m * m, 0.0);
    b.assign(m, 0.0);
    phi.assign(m, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      const double c1 = r.c[i], s1 = r.s[i];
      phi[0] = 1.0;
      phi[1] = c1;
      phi[2] = s1;
      for (std::size_t j = 2; j <= h; ++j) { // cos and sin of j x from those of (j-1) x
        const double cp = phi[2 * j - 3], sp = phi[2 * j - 2];
        phi[2 * j - 1] = cp * c1 - sp * s1;
        phi[2 * j] = sp * c1 + cp * s1;
      }
      const double w = ws.w[i], wy = ws.wy[i];
      for (std::size_t p = 0; p < m; ++p) {
        const double wp = w * phi[p];
        b[p] += wy * phi[p];
        for (std::size_t q = 0; q <= p; ++q)
          a[p * m + q] += wp * phi[q];
      }
    }
    double p = ws.yy > 0.0 ? QuadraticForm(a, b, m) / ws.yy : 0.0;
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
