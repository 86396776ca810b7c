#include "events/sampler.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace morvik::events {

std::uint64_t Rng::Next() {
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

double Rng::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

double Rng::Normal() {
  const double u1 = 1.0 - Uniform(), u2 = Uniform();
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

Chain RunEnsemble(const LogProb& logProb, const std::vector<std::vector<double>>& start,
                  const EnsembleOptions& options) {
  Chain chain;
  chain.walkers = static_cast<int>(start.size());
  chain.dim = start.empty() ? 0 : static_cast<int>(start.front().size());
  const auto W = static_cast<std::size_t>(chain.walkers), D = static_cast<std::size_t>(chain.dim);
  std::vector<std::vector<double>> pos = start;
  std::vector<double> lp(W);
  for (std::size_t k = 0; k < W; ++k)
    lp[k] = logProb(pos[k]);
  chain.samples.reserve(static_cast<std::size_t>(options.steps) * W * D);
  chain.logProb.reserve(static_cast<std::size_t>(options.steps) * W);
  Rng rng(options.seed);
  const double a = options.stretch;
  std::vector<double> proposal(D);
  std::size_t accepted = 0;
  const int report = std::max(1, options.steps / 100);
  for (int step = 0; step < options.steps; ++step) {
    for (std::size_t k = 0; k < W; ++k) {
      std::size_t j = rng.Below(W - 1);
      if (j >= k) ++j;
      // z from g(z) ~ 1/sqrt(z) on [1/a, a] by inversion.
      const double u = rng.Uniform();
      const double zz = std::pow((a - 1.0) * u + 1.0, 2) / a;
      for (std::size_t d = 0; d < D; ++d)
        proposal[d] = pos[j][d] + zz * (pos[k][d] - pos[j][d]);
      const double lq = logProb(proposal);
      const double logAccept = static_cast<double>(D - 1) * std::log(zz) + lq - lp[k];
      if (std::isfinite(lq) && std::log(rng.Uniform()) < logAccept) {
        pos[k] = proposal;
        lp[k] = lq;
        ++accepted;
      }
    }
    for (std::size_t k = 0; k < W; ++k) {
      chain.samples.insert(chain.samples.end(), pos[k].begin(), pos[k].end());
      chain.logProb.push_back(lp[k]);
    }
    chain.steps = step + 1;
    if (options.progress && (step + 1) % report == 0 &&
        !options.progress(static_cast<double>(step + 1) / options.steps)) {
      chain.cancelled = true;
      break;
    }
  }
  chain.acceptance = chain.steps > 0 ? static_cast<double>(accepted) / (static_cast<double>(chain.steps) * W) : 0.0;
  return chain;
}

namespace {

// In-place radix-2 FFT (size a power of two).
void Fft(std::vector<std::complex<double>>& a, bool inverse) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const double ang = 2.0 * std::numbers::pi / static_cast<double>(len) * (inverse ? 1.0 : -1.0);
    const std::complex<double> wl(std::cos(ang), std::sin(ang));
    for (std::size_t i = 0; i < n; i += len) {
      std::complex<double> w(1.0);
      for (std::size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= wl;
      }
    }
  }
}

} // namespace

double AutocorrelationTime(const Chain& chain, int d, int burnIn, double c) {
  const int n = chain.steps - burnIn;
  if (n < 4) return std::nan("");
  std::size_t size = 1;
  while (size < 2 * static_cast<std::size_t>(n))
    size <<= 1;
  std::vector<double> rho(static_cast<std::size_t>(n), 0.0);
  for (int w = 0; w < chain.walkers; ++w) {
    double mean = 0.0;
    for (int s = 0; s < n; ++s)
      mean += chain.At(burnIn + s, w, d);
    mean /= n;
    std::vector<std::complex<double>> f(size, 0.0);
    for (int s = 0; s < n; ++s)
      f[static_cast<std::size_t>(s)] = chain.At(burnIn + s, w, d) - mean;
    Fft(f, false);
    for (auto& x : f)
      x = std::norm(x);
    Fft(f, true);
    const double c0 = f[0].real();
    if (c0 <= 0.0) continue;
    for (int s = 0; s < n; ++s)
      rho[static_cast<std::size_t>(s)] += f[static_cast<std::size_t>(s)].real() / c0;
  }
  if (rho[0] <= 0.0) return std::nan("");
  for (double& r : rho)
    r /= rho[0] > 0.0 ? rho[0] : 1.0;
  double tau = 1.0;
  for (int m = 1; m < n; ++m) {
    tau += 2.0 * rho[static_cast<std::size_t>(m)];
    if (m >= c * tau) return tau;
  }
  return tau; // the window never closed: the chain is too short for this estimate
}

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return std::nan("");
  if (!std::is_sorted(values.begin(), values.end())) std::sort(values.begin(), values.end());
  const double pos = q * static_cast<double>(values.size() - 1);
  const auto lo = static_cast<std::size_t>(std::floor(pos));
  const std::size_t hi = std::min(lo + 1, values.size() - 1);
  return values[lo] + (pos - static_cast<double>(lo)) * (values[hi] - values[lo]);
}

} // namespace morvik::events
