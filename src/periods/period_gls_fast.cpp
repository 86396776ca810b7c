#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <thread>
#include <vector>

#include "periods/period_methods.hpp"
#include "periods/period_weights.hpp"

namespace morvik {
namespace {

using Complex = std::complex<double>;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kSpread = 5; // grid points each measurement is spread over

// In-place radix-2 transform G_k = sum_m g_m exp(+2 pi i k m / n), n a power of two.
void Transform(std::vector<Complex>& a) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  // The first stage needs no turning; later ones read their own contiguous twiddles.
  for (std::size_t i = 0; i + 1 < n; i += 2) {
    const Complex u = a[i], v = a[i + 1];
    a[i] = u + v;
    a[i + 1] = u - v;
  }
  // exp(2 pi i k / n), kept per thread for the next transform of the same size (a
  // search over many stars repeats it); a stage's share of it.
  thread_local std::vector<Complex> roots;
  if (roots.size() != n / 2) {
    roots.resize(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k)
      roots[k] = std::polar(1.0, kTwoPi * static_cast<double>(k) / static_cast<double>(n));
  }
  std::vector<Complex> twiddle(n / 2);
  for (std::size_t len = 4; len <= n; len <<= 1) {
    const std::size_t half = len / 2;
    for (std::size_t k = 0; k < half; ++k)
      twiddle[k] = roots[k * (n / len)];
    for (std::size_t i = 0; i < n; i += len) {
      Complex* lo = &a[i];
      Complex* hi = &a[i + half];
      for (std::size_t k = 0; k < half; ++k) {
        // The complex product written out: std::complex's multiplication checks for
        // infinities and is several times slower.
        const double vr = hi[k].real() * twiddle[k].real() - hi[k].imag() * twiddle[k].imag();
        const double vi = hi[k].real() * twiddle[k].imag() + hi[k].imag() * twiddle[k].real();
        const double ur = lo[k].real(), ui = lo[k].imag();
        lo[k] = Complex(ur + vr, ui + vi);
        hi[k] = Complex(ur - vr, ui - vi);
      }
    }
  }
}

// Sums S_k = sum_j h_j exp(2 pi i (base + k step) t_j) for k < count: every h_j, turned by
// its phase at `base`, is spread over the nearest grid points of a regular grid of n
// points covering 1 / step days with Lagrange weights (Press & Rybicki 1989, ApJ 338,
// 277, "extirpolation"), and one transform gives all sums.
std::vector<Complex> TrigSums(std::span<const double> t, std::span<const double> h, double base, double step,
                              std::size_t count) {
  std::size_t n = 1;
  while (n < 4 * count || n < 64)
    n <<= 1;
  std::vector<Complex> grid(n);
  const double scale = step * static_cast<double>(n);
  for (std::size_t j = 0; j < t.size(); ++j) {
    const Complex c = h[j] * std::polar(1.0, kTwoPi * base * t[j]);
    const double u = t[j] * scale;
    const auto first = static_cast<long>(std::floor(u)) - kSpread / 2;
    for (int m = 0; m < kSpread; ++m) {
      double weight = 1.0;
      for (int l = 0; l < kSpread; ++l)
        if (l != m) weight *= (u - static_cast<double>(first + l)) / static_cast<double>(m - l);
      const long at = first + m;
      const auto wrapped =
          static_cast<std::size_t>(((at % static_cast<long>(n)) + static_cast<long>(n)) % static_cast<long>(n));
      grid[wrapped] += weight * c;
    }
  }
  Transform(grid);
  grid.resize(count);
  return grid;
}

} // namespace

bool GlsPowerApproximate(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
                         const FrequencyGrid& grid, std::span<double> power) {
  const WeightedSeries ws(t, y, dy);
  if (ws.t.empty() || grid.count == 0) return true;
  std::vector<double> tt(ws.t);
  const double t0 = *std::min_element(tt.begin(), tt.end());
  for (double& v : tt)
    v -= t0; // from 0 to the span, within one period 1 / step of the grid
  // The three transforms are independent: the second core takes one.
  std::vector<Complex> b;
  std::thread helper([&] { b = TrigSums(tt, ws.wy, grid.first, grid.step, grid.count); });
  const std::vector<Complex> a1 = TrigSums(tt, ws.w, grid.first, grid.step, grid.count);
  // At 2 f: twice the base and twice the step, when the span fits within 1 / (2 step);
  // otherwise every second sum of the grid at the single step.
  const double span = *std::max_element(tt.begin(), tt.end());
  const bool doubled = 2.0 * grid.step * span < 1.0;
  const std::vector<Complex> a2 = doubled ? TrigSums(tt, ws.w, 2.0 * grid.first, 2.0 * grid.step, grid.count)
                                          : TrigSums(tt, ws.w, 2.0 * grid.first, grid.step, 2 * grid.count);
  helper.join();
  for (std::size_t k = 0; k < grid.count && k < power.size(); ++k) {
    const double C = a1[k].real(), S = a1[k].imag();
    const std::size_t k2 = doubled ? k : 2 * k;
    const double C2 = a2[k2].real(), S2 = a2[k2].imag();
    const double CC = 0.5 * (1.0 + C2) - C * C; // cos^2 = (1 + cos 2x) / 2
    const double SS = 0.5 * (1.0 - C2) - S * S;
    const double CS = 0.5 * S2 - C * S;
    const double YC = b[k].real(), YS = b[k].imag();
    const double D = CC * SS - CS * CS;
    double p = 0.0;
    if (D > 0.0 && ws.yy > 0.0) p = (SS * YC * YC + CC * YS * YS - 2.0 * CS * YC * YS) / (ws.yy * D);
    power[k] = std::isfinite(p) ? std::clamp(p, 0.0, 1.0) : 0.0;
  }
  return true;
}

bool SpectralWindowApproximate(std::span<const double> t, std::span<const double> dy, const FrequencyGrid& grid,
                               std::span<double> window) {
  std::vector<double> zeros(t.size(), 0.0);
  const WeightedSeries ws(t, zeros, dy);
  if (ws.t.empty() || grid.count == 0) return true;
  std::vector<double> tt(ws.t);
  const double t0 = *std::min_element(tt.begin(), tt.end());
  for (double& v : tt)
    v -= t0;
  const std::vector<Complex> a = TrigSums(tt, ws.w, grid.first, grid.step, grid.count);
  for (std::size_t k = 0; k < grid.count && k < window.size(); ++k)
    window[k] = std::norm(a[k]);
  return true;
}

} // namespace morvik
