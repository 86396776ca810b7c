#include "series_camera.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "series_render.hpp"

namespace fieldgen {
namespace {

constexpr double kBeta = 3.0;        // Moffat exponent
constexpr double kReachLevel = 0.01; // electrons: a profile is drawn out to this level
constexpr int kMaxReach = 30;
constexpr double kCoreRadius = 1.5; // pixels: a star's core, for its peak and saturation

std::uint64_t FrameSeed(std::uint64_t seed, int k) {
  std::uint64_t z = (seed ^ 0xCA3E2A5EEDULL) + 0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(k + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  return z ^ (z >> 31);
}

// Poisson deviate: Knuth's product of uniforms for small means, the normal limit above.
double Poisson(Rng& rng, double mean) {
  if (mean <= 0.0) return 0.0;
  if (mean > 30.0) return mean + std::sqrt(mean) * rng.Normal();
  const double limit = std::exp(-mean);
  double p = rng.Uniform();
  int n = 0;
  while (p > limit) {
    p *= rng.Uniform();
    ++n;
  }
  return n;
}

template <typename Visit> void ForCore(const Series& s, int k, int id, Visit visit) {
  double x, y;
  StarOnFrame(s, k, id, x, y);
  for (int py = static_cast<int>(std::ceil(y - kCoreRadius)); py <= static_cast<int>(std::floor(y + kCoreRadius)); ++py)
    for (int px = static_cast<int>(std::ceil(x - kCoreRadius)); px <= static_cast<int>(std::floor(x + kCoreRadius));
         ++px)
      if (px >= 0 && py >= 0 && px < s.width && py < s.height && std::hypot(px - x, py - y) <= kCoreRadius)
        visit(static_cast<std::size_t>(py) * s.width + px);
}

} // namespace

void AddIntegratedStar(std::vector<double>& img, int w, int h, double x0, double y0, double flux, double fwhm) {
  // Moffat (1969, A&A 3, 455): I(r) = I0 (1 + r^2 / alpha^2)^-beta, total flux
  // I0 pi alpha^2 / (beta - 1); alpha from the FWHM. Each pixel gets the mean of the
  // profile over its square (midpoint rule, finer where the profile curves most).
  const double alpha = fwhm / (2.0 * std::sqrt(std::pow(2.0, 1.0 / kBeta) - 1.0));
  const double peak = flux * (kBeta - 1.0) / (std::numbers::pi * alpha * alpha);
  double reach = alpha * std::sqrt(std::pow(std::max(peak / kReachLevel, 1.0), 1.0 / kBeta) - 1.0);
  int r = static_cast<int>(std::min<double>(kMaxReach, std::ceil(reach)));
  int cx = static_cast<int>(std::lround(x0)), cy = static_cast<int>(std::lround(y0));
  if (cx + r < 0 || cy + r < 0 || cx - r >= w || cy - r >= h) return;
  const double inv = 1.0 / (alpha * alpha);
  const int fine = std::clamp(static_cast<int>(std::ceil(12.0 / fwhm)), 4, 12);
  for (int y = std::max(0, cy - r); y <= std::min(h - 1, cy + r); ++y)
    for (int x = std::max(0, cx - r); x <= std::min(w - 1, cx + r); ++x) {
      double d = std::hypot(x - x0, y - y0);
      int n = d < fwhm + 1.5 ? fine : (d < 4.0 * fwhm ? 3 : 1);
      double sum = 0.0;
      for (int j = 0; j < n; ++j) {
        double dy = y - 0.5 + (j + 0.5) / n - y0;
        for (int i = 0; i < n; ++i) {
          double dx = x - 0.5 + (i + 0.5) / n - x0;
          double q = 1.0 + (dx * dx + dy * dy) * inv;
          sum += 1.0 / (q * q * q);
        }
      }
      img[static_cast<std::size_t>(y) * w + x] += peak * sum / (n * n);
    }
}

std::vector<std::uint16_t> RenderCameraFrame(const Series& s, int k, std::uint64_t seed, FrameTruth* truth) {
  const int w = s.width, h = s.height;
  const SeriesFrame& f = s.frames[static_cast<std::size_t>(k)];
  const double gain = s.gain, ceiling = s.camera.Ceiling();
  std::vector<double> img(static_cast<std::size_t>(w) * h);

  const double skyE = f.sky * gain, cx = 0.5 * (w - 1), cy = 0.5 * (h - 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img[static_cast<std::size_t>(y) * w + x] = skyE * (1.0 + f.gradX * (x - cx) / w + f.gradY * (y - cy) / h);
  for (std::size_t i = 0; i < f.mags.size(); ++i) {
    double x, y;
    StarOnFrame(s, k, static_cast<int>(i) + 1, x, y);
    double flux = std::pow(10.0, -0.4 * (f.mags[i] - s.zeroPoint)) * f.exptime * f.transparency;
    AddIntegratedStar(img, w, h, x, y, flux, f.fwhm);
  }

  const std::size_t stars = f.mags.size();
  if (truth != nullptr) {
    truth->peak.assign(stars, s.pedestal);
    truth->saturated.assign(stars, 0);
    for (std::size_t i = 0; i < stars; ++i)
      ForCore(s, k, static_cast<int>(i) + 1,
              [&](std::size_t p) { truth->peak[i] = std::max(truth->peak[i], img[p] / gain + s.pedestal); });
  }

  Rng rng(FrameSeed(seed, k));
  for (double& v : img)
    v = (Poisson(rng, v) + s.readNoise * rng.Normal()) / gain + s.pedestal;

  // Saturation is the stars' own: judged before cosmic rays and hot pixels land.
  if (truth != nullptr)
    for (std::size_t i = 0; i < stars; ++i)
      ForCore(s, k, static_cast<int>(i) + 1, [&](std::size_t p) {
        if (img[p] >= ceiling - 0.5) truth->saturated[i] = 1;
      });

  for (const CosmicHit& c : f.cosmics)
    img[static_cast<std::size_t>(c.y) * w + c.x] += c.adu;
  for (const HotPixel& p : s.hotPixels)
    img[static_cast<std::size_t>(p.y) * w + p.x] += p.rate * f.exptime;

  std::vector<std::uint16_t> out(img.size());
  for (std::size_t i = 0; i < img.size(); ++i)
    out[i] = static_cast<std::uint16_t>(std::lround(std::clamp(img[i], 0.0, ceiling)));
  return out;
}

} // namespace fieldgen
