#include "series_render.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fieldgen {
namespace {

constexpr double kBeta = 3.0;        // Moffat exponent
constexpr double kReachLevel = 0.05; // electrons: a profile is drawn out to this level
constexpr int kMaxReach = 30;

void AddStar(std::vector<double>& img, int w, int h, double x0, double y0, double flux, double fwhm) {
  // Moffat (1969, A&A 3, 455): I(r) = I0 (1 + r^2 / alpha^2)^-beta, total flux
  // I0 pi alpha^2 / (beta - 1); alpha from the FWHM.
  const double alpha = fwhm / (2.0 * std::sqrt(std::pow(2.0, 1.0 / kBeta) - 1.0));
  const double peak = flux * (kBeta - 1.0) / (std::numbers::pi * alpha * alpha);
  double reach = alpha * std::sqrt(std::pow(std::max(peak / kReachLevel, 1.0), 1.0 / kBeta) - 1.0);
  int r = static_cast<int>(std::min<double>(kMaxReach, std::ceil(reach)));
  int cx = static_cast<int>(std::lround(x0)), cy = static_cast<int>(std::lround(y0));
  if (cx + r < 0 || cy + r < 0 || cx - r >= w || cy - r >= h) return;
  const double inv = 1.0 / (alpha * alpha);
  for (int y = std::max(0, cy - r); y <= std::min(h - 1, cy + r); ++y) {
    double dy2 = (y - y0) * (y - y0);
    double* row = img.data() + static_cast<std::size_t>(y) * w;
    for (int x = std::max(0, cx - r); x <= std::min(w - 1, cx + r); ++x) {
      double q = 1.0 + ((x - x0) * (x - x0) + dy2) * inv;
      row[x] += peak / (q * q * q);
    }
  }
}

std::uint64_t FrameSeed(std::uint64_t seed, int k) {
  std::uint64_t z = seed + 0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(k + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  return z ^ (z >> 31);
}

} // namespace

void StarOnFrame(const Series& series, int k, int id, double& x, double& y) {
  const Star& s = series.field.stars[static_cast<std::size_t>(id - 1)];
  const SeriesFrame& f = series.frames[static_cast<std::size_t>(k)];
  double x1 = s.x - 1.0, y1 = s.y - 1.0;
  x = f.a * x1 + f.b * y1 + f.c;
  y = f.d * x1 + f.e * y1 + f.f;
}

std::vector<std::uint16_t> RenderFrame(const Series& series, int k, std::uint64_t seed) {
  const int w = series.width, h = series.height;
  const SeriesFrame& f = series.frames[static_cast<std::size_t>(k)];
  const double gain = series.gain;
  std::vector<double> img(static_cast<std::size_t>(w) * h);

  // Electrons: the sky, brighter towards one side.
  const double skyE = f.sky * gain, cx = 0.5 * (w - 1), cy = 0.5 * (h - 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img[static_cast<std::size_t>(y) * w + x] = skyE * (1.0 + f.gradX * (x - cx) / w + f.gradY * (y - cy) / h);

  for (std::size_t i = 0; i < f.mags.size(); ++i) {
    double x, y;
    StarOnFrame(series, k, static_cast<int>(i) + 1, x, y);
    double flux = std::pow(10.0, -0.4 * (f.mags[i] - series.zeroPoint)) * f.exptime * f.transparency;
    AddStar(img, w, h, x, y, flux, f.fwhm);
  }

  // Photon noise (the normal limit of Poisson, fine at the sky's hundreds of electrons)
  // and read noise, then counts.
  Rng rng(FrameSeed(seed, k));
  const double rn2 = series.readNoise * series.readNoise;
  std::vector<std::uint16_t> out(img.size());
  for (std::size_t i = 0; i < img.size(); ++i) {
    double e = img[i];
    double v = (e + std::sqrt(std::max(e, 0.0) + rn2) * rng.Normal()) / gain;
    img[i] = v;
  }

  // Cosmic rays: short tracks of a few pixels, a new set on every frame.
  int hits = std::max(2, w * h / 10000);
  for (int n = 0; n < hits; ++n) {
    int x = rng.Below(w), y = rng.Below(h), len = 1 + rng.Below(4);
    int dx = rng.Below(3) - 1, dy = rng.Below(3) - 1;
    double level = 1000.0 + 20000.0 * rng.Uniform();
    for (int s = 0; s < len; ++s, x += dx, y += dy)
      if (x >= 0 && y >= 0 && x < w && y < h) img[static_cast<std::size_t>(y) * w + x] += level * (0.5 + rng.Uniform());
  }

  // Hot pixels belong to the sensor: the same places on every frame.
  Rng sensor(seed ^ 0x407B1C5E1ULL);
  int hot = std::max(4, w * h / 8000);
  for (int n = 0; n < hot; ++n) {
    int x = sensor.Below(w), y = sensor.Below(h);
    img[static_cast<std::size_t>(y) * w + x] += 3000.0 + 60000.0 * sensor.Uniform();
  }

  for (std::size_t i = 0; i < img.size(); ++i)
    out[i] = static_cast<std::uint16_t>(std::lround(std::clamp(img[i], 0.0, 65535.0)));
  return out;
}

} // namespace fieldgen
