#include "reduction/frame_measure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "synthetic_frames.hpp"

using morvik::reduction::Detection;
using morvik::reduction::FrameMeasurer;

namespace {

constexpr long kSize = 256;
constexpr double kSky = 300.0;

// Gaussian stars (FWHM 3) on a flat sky with Gaussian photon noise, gain 1.
std::vector<float> Render(const std::vector<morvik::testing::SynthStar>& stars, unsigned seed) {
  const double sigma = 3.0 / 2.3548;
  std::vector<double> e(static_cast<std::size_t>(kSize * kSize), kSky);
  for (const auto& s : stars)
    for (long y = std::max(0L, static_cast<long>(s.y) - 12); y < std::min(kSize, static_cast<long>(s.y) + 13); ++y)
      for (long x = std::max(0L, static_cast<long>(s.x) - 12); x < std::min(kSize, static_cast<long>(s.x) + 13); ++x) {
        const double r2 = (x - s.x) * (x - s.x) + (y - s.y) * (y - s.y);
        e[static_cast<std::size_t>(y * kSize + x)] +=
            s.flux * std::exp(-r2 / (2 * sigma * sigma)) / (2 * std::numbers::pi * sigma * sigma);
      }
  std::mt19937 rng(seed);
  std::vector<float> out(e.size());
  for (std::size_t i = 0; i < e.size(); ++i)
    out[i] = static_cast<float>(e[i] + std::normal_distribution<double>(0, std::sqrt(e[i]))(rng));
  return out;
}

} // namespace

TEST(FrameMeasure, QuickSearchFindsTheBrightStarsOfTheFullDetection) {
  const auto stars = morvik::testing::SynthField(30, kSize, kSize, 7);
  auto withBright = stars;
  withBright.push_back({41.3, 201.6, 400000.0});
  std::vector<float> pixels = Render(withBright, 3);
  // A saturated star (core missing) and a hot pixel.
  for (long y = 200; y < 203; ++y)
    for (long x = 40; x < 43; ++x)
      pixels[static_cast<std::size_t>(y * kSize + x)] = NAN;
  pixels[static_cast<std::size_t>(100 * kSize + 10)] += 50000.0f;
  const FrameMeasurer m(pixels, kSize, kSize, 1.0, 0.0);
  ASSERT_TRUE(m.Ok());
  // The meshes' statistics from a quarter of the pixels still give the sky and its noise.
  EXPECT_NEAR(m.Sky(), kSky, 2.0);
  EXPECT_NEAR(m.SkyRms(), std::sqrt(kSky), 0.05 * std::sqrt(kSky));

  const std::vector<Detection> full = m.Detect(3.0);
  int found = 0;
  const std::vector<Detection> quick = m.DetectPeaks(3.0, 12, &found);
  ASSERT_EQ(quick.size(), 12u);
  EXPECT_GE(found, 12);
  EXPECT_NEAR(FrameMeasurer::Fwhm(quick), FrameMeasurer::Fwhm(full), 0.1 * FrameMeasurer::Fwhm(full));
  for (std::size_t k = 0; k < quick.size(); ++k) {
    if (k > 0) {
      EXPECT_GE(quick[k - 1].flux, quick[k].flux);
    }
    // Each is one of the stars, the saturated one and the hot pixel are not.
    double nearest = 1e9;
    for (const auto& s : stars)
      nearest = std::min(nearest, std::hypot(s.x - quick[k].at.x, s.y - quick[k].at.y));
    EXPECT_LT(nearest, 0.3) << k;
    EXPECT_GT(std::hypot(quick[k].at.x - 41, quick[k].at.y - 201), 5.0);
    EXPECT_GT(std::hypot(quick[k].at.x - 10, quick[k].at.y - 100), 2.0);
  }
  // The brightest stars clear of the saturated one are the brightest found.
  std::size_t brightest = 0;
  while (std::hypot(stars[brightest].x - 41, stars[brightest].y - 201) < 10)
    ++brightest;
  EXPECT_LT(std::hypot(quick[0].at.x - stars[brightest].x, quick[0].at.y - stars[brightest].y), 0.3);
}
