#pragma once
// Tiny synthetic frames for the reduction tests: Gaussian stars on a flat sky with
// Poisson and read noise, written through cfitsio as 32-bit floats.

#include <fitsio.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace morvik::testing {

struct SynthStar {
  double x = 0; // 0-based on the first frame
  double y = 0;
  double flux = 0; // electrons per second
};

struct SynthFrame {
  long width = 128;
  long height = 128;
  double a = 1, b = 0, c = 0, d = 0, e = 1, f = 0; // x' = a x + b y + c, y' = d x + e y + f
  double fwhm = 3.0;
  double sky = 200.0; // electrons
  double gain = 2.0;
  double exposure = 10.0;
  double transparency = 1.0;
  std::vector<std::pair<std::string, std::string>> textCards;
  std::vector<std::pair<std::string, double>> numberCards;
};

inline std::vector<SynthStar> SynthField(int count, long width, long height, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> ux(8, static_cast<double>(width) - 9), uy(8, static_cast<double>(height) - 9);
  std::vector<SynthStar> stars;
  // Stars at least 12 pixels apart, each 0.24 mag fainter than the one before.
  while (static_cast<int>(stars.size()) < count) {
    const double x = ux(rng), y = uy(rng);
    bool apart = true;
    for (const SynthStar& s : stars)
      apart = apart && std::hypot(s.x - x, s.y - y) >= 12.0;
    if (apart) stars.push_back({x, y, 20000.0 * std::pow(0.8, static_cast<double>(stars.size()))});
  }
  return stars;
}

// Writes pixels (row-major) as they are, with an optional EXPTIME.
inline bool WriteImage(const std::string& path, long width, long height, std::vector<float> pixels,
                       double exposure = 0) {
  fitsfile* f = nullptr;
  int status = 0;
  const std::string name = "!" + path;
  fits_create_file(&f, name.c_str(), &status);
  long axes[2] = {width, height};
  fits_create_img(f, FLOAT_IMG, 2, axes, &status);
  if (exposure > 0) fits_update_key(f, TDOUBLE, "EXPTIME", &exposure, nullptr, &status);
  fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(pixels.size()), pixels.data(), &status);
  fits_close_file(f, &status);
  return status == 0;
}

// Electrons per pixel without noise: the sky and pixel-integrated Gaussian stars.
inline std::vector<double> RenderElectrons(const SynthFrame& fr, const std::vector<SynthStar>& stars) {
  const double sigma = fr.fwhm / 2.3548;
  std::vector<double> e(static_cast<std::size_t>(fr.width * fr.height), fr.sky);
  for (const SynthStar& s : stars) {
    const double x = fr.a * s.x + fr.b * s.y + fr.c, y = fr.d * s.x + fr.e * s.y + fr.f;
    const double total = s.flux * fr.exposure * fr.transparency;
    const long r = static_cast<long>(std::ceil(5 * sigma));
    for (long py = std::max(0L, static_cast<long>(y) - r); py <= std::min(fr.height - 1, static_cast<long>(y) + r);
         ++py)
      for (long px = std::max(0L, static_cast<long>(x) - r); px <= std::min(fr.width - 1, static_cast<long>(x) + r);
           ++px) {
        // Pixel-integrated Gaussian.
        auto cdf = [&](double v) { return 0.5 * std::erf(v / (sigma * std::sqrt(2.0))); };
        const double fx = cdf(static_cast<double>(px) + 0.5 - x) - cdf(static_cast<double>(px) - 0.5 - x);
        const double fy = cdf(static_cast<double>(py) + 0.5 - y) - cdf(static_cast<double>(py) - 0.5 - y);
        e[static_cast<std::size_t>(py * fr.width + px)] += total * fx * fy;
      }
  }
  return e;
}

// Writes the frame in ADU (electrons / gain); false when cfitsio failed.
inline bool WriteSynthFrame(const std::string& path, const SynthFrame& fr, const std::vector<SynthStar>& stars,
                            unsigned seed) {
  const std::vector<double> e = RenderElectrons(fr, stars);
  std::mt19937 rng(seed);
  std::vector<float> adu(e.size());
  for (std::size_t i = 0; i < e.size(); ++i) {
    std::poisson_distribution<long> poisson(e[i]);
    std::normal_distribution<double> read(0.0, 5.0);
    adu[i] = static_cast<float>((static_cast<double>(poisson(rng)) + read(rng)) / fr.gain);
  }
  fitsfile* f = nullptr;
  int status = 0;
  const std::string name = "!" + path;
  fits_create_file(&f, name.c_str(), &status);
  long axes[2] = {fr.width, fr.height};
  fits_create_img(f, FLOAT_IMG, 2, axes, &status);
  double gain = fr.gain, exposure = fr.exposure;
  fits_update_key(f, TDOUBLE, "GAIN", &gain, nullptr, &status);
  fits_update_key(f, TDOUBLE, "EXPTIME", &exposure, nullptr, &status);
  for (auto& [k, v] : fr.textCards)
    fits_update_key(f, TSTRING, k.c_str(), const_cast<char*>(v.c_str()), nullptr, &status);
  for (auto [k, v] : fr.numberCards)
    fits_update_key(f, TDOUBLE, k.c_str(), &v, nullptr, &status);
  fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(adu.size()), adu.data(), &status);
  fits_close_file(f, &status);
  return status == 0;
}

} // namespace morvik::testing
