// The parts of the photometry one by one: the exact aperture overlap, the camera's
// ceiling, the merging of one star's detections, the honesty of the flux error, and
// the cosmic-ray search that must leave every star's core alone, the sky of a ring in
// any order, and the FWHM of a Moffat star from the profile fit.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <regex>
#include <sstream>

#include "reduction/aperture_sum.hpp"
#include "reduction/cosmic.hpp"
#include "reduction/frame_measure.hpp"
#include "reduction/fwhm.hpp"
#include "reduction/reduce.hpp"
#include "reduction/saturation.hpp"
#include "reduction/sky.hpp"
#include "synthetic_frames.hpp"
#include "work_dir.hpp"

namespace morvik::reduction {
namespace {

TEST(ApertureOverlap, PixelAreasAddUpToTheCircle) {
  // Off-grid centres and radii from below a pixel to many pixels.
  for (auto [cx, cy, r] :
       {std::tuple{0.0, 0.0, 0.4}, {0.31, -0.27, 0.9}, {0.5, 0.5, 1.3}, {0.12, 0.77, 2.6}, {-0.45, 0.2, 7.25}}) {
    double sum = 0;
    for (int y = -10; y <= 10; ++y)
      for (int x = -10; x <= 10; ++x) {
        const double a = CircleRectOverlap(x - 0.5 - cx, x + 0.5 - cx, y - 0.5 - cy, y + 0.5 - cy, r);
        ASSERT_GE(a, 0.0);
        ASSERT_LE(a, 1.0 + 1e-12);
        sum += a;
      }
    EXPECT_NEAR(sum, std::numbers::pi * r * r, 1e-9) << r;
  }
  // A quarter circle in the corner pixel of a circle of radius 1.
  EXPECT_NEAR(CircleRectOverlap(0, 1, 0, 1, 1), std::numbers::pi / 4, 1e-12);
}

TEST(CameraCeiling, PlateauElseTheStoredType) {
  struct Row {
    const char* name;
    std::vector<float> pixels; // 4 x 2
    int bitpix;
    double bzero;
    double level;
  };
  const Row rows[] = {
      {"12-bit plateau", {4095, 4095, 10, 11, 12, 13, 14, 15}, 16, 32768, 4095},
      {"three at the top", {2000, 2000, 2000, 11, 12, 13, 14, 15}, 16, 32768, 2000},
      {"two equal by chance", {3021, 3021, 10, 11, 12, 13, 14, 15}, 16, 32768, 65535},
      {"apart, not a plateau", {4095, 1, 4095, 11, 12, 13, 14, 15}, 16, 32768, 65535},
      {"signed 16-bit", {100, 1, 2, 3, 4, 5, 6, 7}, 16, 0, 32767},
      {"8-bit", {100, 1, 2, 3, 4, 5, 6, 7}, 8, 0, 255},
      {"floats", {100, 1, 2, 3, 4, 5, 6, 7}, -32, 0, 0},
  };
  for (const Row& r : rows)
    EXPECT_EQ(FindCeiling(r.pixels, 4, 2, r.bitpix, r.bzero, 1.0).level, r.level) << r.name;
}

TEST(MergeSameStar, PiecesOfOneStarBecomeOne) {
  auto at = [](double x, double y, double flux) {
    Detection d;
    d.at = {x, y};
    d.flux = flux;
    return d;
  };
  // A ring split in three (identical and near centroids), a real pair 2.5 FWHM apart.
  const std::vector<Detection> found{at(50, 50, 900), at(50, 50, 500), at(52, 51, 300), at(60, 50, 200),
                                     at(100, 100, 100)};
  const auto merged = MergeSameStar(found, 4.0);
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_DOUBLE_EQ(merged[0].flux, 1700);
  EXPECT_DOUBLE_EQ(merged[1].at.x, 60);
}

// Gaussian stars on a flat sky, gain 1, Gaussian photon noise.
std::vector<float> Render(const std::vector<testing::SynthStar>& stars, long size, double fwhm, double sky,
                          unsigned seed) {
  testing::SynthFrame fr;
  fr.width = fr.height = size;
  fr.fwhm = fwhm;
  fr.sky = sky;
  fr.exposure = 1;
  const std::vector<double> e = testing::RenderElectrons(fr, stars);
  std::mt19937 rng(seed);
  std::vector<float> out(e.size());
  for (std::size_t i = 0; i < e.size(); ++i)
    out[i] = static_cast<float>(e[i] + std::normal_distribution<double>(0, std::sqrt(e[i]))(rng));
  return out;
}

TEST(FluxError, MatchesTheScatterWithANarrowAnnulus) {
  // A grid of equal faint stars; the annulus is narrow, so the sky level's error, which
  // every pixel of the aperture shares, is a large part of the error.
  constexpr long kSize = 256;
  std::vector<testing::SynthStar> stars;
  for (double y = 12.3; y < kSize - 12; y += 16)
    for (double x = 12.6; x < kSize - 12; x += 16)
      stars.push_back({x, y, 3000});
  Aperture ap;
  ap.radius = 4;
  ap.skyInner = 5;
  ap.skyOuter = 7;
  std::vector<double> flux, err;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    const FrameMeasurer m(Render(stars, kSize, 2.5, 100, seed), kSize, kSize, 1.0, 0.0);
    for (const auto& s : stars) {
      const Measurement r = m.Measure({s.x, s.y}, ap, 2.5, 0);
      ASSERT_TRUE(r.ok);
      flux.push_back(r.flux);
      err.push_back(r.fluxErr);
    }
  }
  double mean = 0, var = 0, meanErr = 0;
  for (std::size_t i = 0; i < flux.size(); ++i) {
    mean += flux[i] / static_cast<double>(flux.size());
    meanErr += err[i] / static_cast<double>(flux.size());
  }
  for (double f : flux)
    var += (f - mean) * (f - mean) / static_cast<double>(flux.size() - 1);
  EXPECT_NEAR(std::sqrt(var) / meanErr, 1.0, 0.1) << flux.size() << " stars";
}

TEST(SkyAnnulus, ABrightNeighbourInItIsLeftOut) {
  // A star and one 50 times brighter whose core lies in its annulus; the same noise
  // with and without the neighbour.
  constexpr long kSize = 96;
  const std::vector<testing::SynthStar> alone{{40.3, 44.6, 5000}};
  std::vector<testing::SynthStar> crowded = alone;
  crowded.push_back({49.8, 46.1, 250000});
  ApertureSet set;
  set.radii = {3.0};
  set.skyInner = 6;
  set.skyOuter = 12;
  set.maskRadius = 5;
  std::vector<double> shift;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    const FrameMeasurer a(Render(alone, kSize, 2.0, 400, seed), kSize, kSize, 1.0, 0.0);
    const FrameMeasurer b(Render(crowded, kSize, 2.0, 400, seed), kSize, kSize, 1.0, 0.0);
    const auto ma = a.Measure({40.3, 44.6}, set, 2.0, 0, {});
    const auto mb = b.Measure({40.3, 44.6}, set, 2.0, 0, {{49.8, 46.1}});
    ASSERT_TRUE(ma[0].ok && mb[0].ok);
    shift.push_back(mb[0].flux / ma[0].flux - 1);
  }
  // Leaving fewer pixels in the annulus moves the level by its noise, of either sign;
  // the neighbour's light would move it one way.
  double mean = 0;
  for (double d : shift)
    mean += d / static_cast<double>(shift.size());
  EXPECT_LT(std::abs(mean), 0.001);
}

// A noiseless Moffat star integrated over its pixels (16 x 16 samples each) gives its
// FWHM back from the profile fit, undersampled or broad, peaked or near-Gaussian.
TEST(SeeingFwhm, AMoffatStarGivesItsFwhmBack) {
  struct Case {
    double fwhm, beta;
  };
  constexpr long kSide = 48;
  const Point at{23.3, 24.6};
  for (const Case c : {Case{1.2, 2.5}, Case{2.0, 4.0}, Case{3.5, 2.5}, Case{3.5, 8.0}}) {
    const double alpha = c.fwhm / (2.0 * std::sqrt(std::pow(2.0, 1.0 / c.beta) - 1.0));
    std::vector<float> data(kSide * kSide);
    for (long y = 0; y < kSide; ++y)
      for (long x = 0; x < kSide; ++x) {
        double sum = 0;
        for (int j = 0; j < 16; ++j)
          for (int i = 0; i < 16; ++i) {
            const double dx = static_cast<double>(x) - 0.5 + (i + 0.5) / 16 - at.x;
            const double dy = static_cast<double>(y) - 0.5 + (j + 0.5) / 16 - at.y;
            sum += std::pow(1.0 + (dx * dx + dy * dy) / (alpha * alpha), -c.beta);
          }
        data[static_cast<std::size_t>(y * kSide + x)] = static_cast<float>(5000.0 * sum / 256.0);
      }
    const std::vector<std::uint8_t> mask(data.size(), pixel::kClean);
    const PixelView view{data.data(), mask.data(), kSide, kSide};
    const double found = ProfileFwhm(view, {at}, {at}, 1.3 * c.fwhm, 1.0);
    EXPECT_NEAR(found, c.fwhm, 0.02 * c.fwhm) << c.fwhm << " px, beta " << c.beta;
  }
}

// A ring symmetric about its centre, in any order and with either sign, has its level
// at the centre whichever estimator is taken: the values are ordered right (negative
// ones, signed zeros and repeats included) or the clip would lean to one side.
TEST(SkyAnnulus, LevelOfASymmetricRingInAnyOrder) {
  struct Case {
    float centre, spread;
    bool tail; // a few far values on both sides: the clip then acts
  };
  for (const Case c : {Case{-1000.5f, 8, false}, Case{-0.25f, 3, true}, Case{0, 2, true}, Case{0, 0.5f, false},
                       Case{37.5f, 16, true}}) {
    std::vector<float> ring;
    for (int k = 1; k <= 60; ++k) {
      const float d = c.spread * static_cast<float>(k % 7) / 3.0f; // repeats, and zero offsets
      ring.push_back(c.centre + d);
      ring.push_back(c.centre - d);
    }
    if (c.tail)
      for (float d : {40.0f, 60.0f})
        ring.insert(ring.end(), {c.centre + d * c.spread, c.centre - d * c.spread});
    std::shuffle(ring.begin(), ring.end(), std::mt19937(static_cast<unsigned>(ring.size())));
    const SkyLevel s = AnnulusSky(ring.data(), ring.size(), 0);
    ASSERT_TRUE(s.ok);
    EXPECT_NEAR(s.level, static_cast<double>(c.centre), 1e-4 * (1 + std::abs(static_cast<double>(c.centre))))
        << c.centre;
    EXPECT_EQ(s.count, 120u) << c.centre;
  }
}

TEST(CosmicRays, HitsRepairedAndStarCoresLeftAlone) {
  constexpr long kSize = 128;
  for (double fwhm : {1.2, 1.5, 2.0, 3.5}) {
    const auto stars = testing::SynthField(25, kSize, kSize, 5);
    std::vector<float> pixels = Render(stars, kSize, fwhm, 20, 9);
    std::vector<std::uint8_t> mask(pixels.size(), pixel::kClean);
    // Background off as the frame measurer does; a hot pixel, a short track.
    for (float& v : pixels)
      v -= 20.0f;
    const std::vector<std::pair<long, long>> hits{{5, 60}, {70, 3}, {71, 3}, {72, 4}};
    for (auto [x, y] : hits)
      pixels[static_cast<std::size_t>(y * kSize + x)] += 800.0f;
    const std::vector<float> before = pixels;
    const auto found = RepairCosmicRays(pixels, mask, kSize, kSize, std::sqrt(20.0), 1.0);
    for (auto [x, y] : hits) {
      const std::size_t i = static_cast<std::size_t>(y * kSize + x);
      EXPECT_NE(std::find(found.begin(), found.end(), i), found.end()) << fwhm << " " << x << "," << y;
      EXPECT_LT(pixels[i], 100.0f) << fwhm;
    }
    for (const auto& s : stars)
      for (long dy = -2; dy <= 2; ++dy)
        for (long dx = -2; dx <= 2; ++dx) {
          const std::size_t i = static_cast<std::size_t>((std::lround(s.y) + dy) * kSize + std::lround(s.x) + dx);
          EXPECT_EQ(pixels[i], before[i]) << "FWHM " << fwhm << " star at " << s.x << "," << s.y;
        }
  }
}

TEST(FaintPhases, AnEclipseAtSignalToNoiseSixKeepsItsDepth) {
  // Ten stars of S/N 6 dim by 1 mag on the second half of 40 frames; ten bright
  // constants carry the alignment.
  namespace fs = std::filesystem;
  const fs::path dir = testing::TestWorkDir("eclipse");
  fs::remove_all(dir);
  fs::create_directories(dir);
  constexpr long kSize = 160;
  std::vector<testing::SynthStar> stars = testing::SynthField(20, kSize, kSize, 8);
  for (std::size_t k = 0; k < stars.size(); ++k)
    stars[k].flux = k < 10 ? 4000 : 65;
  ReduceSettings s;
  std::mt19937 jitter(3);
  Point shift; // of the reference, the first frame
  for (int f = 0; f < 40; ++f) {
    testing::SynthFrame fr;
    fr.width = fr.height = kSize;
    fr.fwhm = 2.5;
    fr.c = std::uniform_real_distribution<double>(-2, 2)(jitter);
    fr.f = std::uniform_real_distribution<double>(-2, 2)(jitter);
    if (f == 0) shift = {fr.c, fr.f};
    fr.textCards = {{"DATE-OBS", "2023-03-01T21:" + std::to_string(10 + f) + ":00"}};
    auto on = stars;
    if (f >= 20)
      for (std::size_t k = 10; k < on.size(); ++k)
        on[k].flux *= std::pow(10.0, -0.4);
    const std::string path = (dir / ("f" + std::to_string(100 + f) + ".fits")).string();
    ASSERT_TRUE(testing::WriteSynthFrame(path, fr, on, 50u + static_cast<unsigned>(f)));
    s.frames.push_back(path);
  }
  s.reference = s.frames.front(); // out of eclipse, the faint stars catalogued
  s.detectSigma = 1.5;
  s.out = (dir / "field").string();
  std::atomic<bool> cancel{false};
  const ReduceResult r = Reduce(s, {}, cancel);
  ASSERT_TRUE(r.ok) << r.error;
  std::ifstream xml(s.out + ".xml");
  std::stringstream text;
  text << xml.rdbuf();
  const std::string catalog = text.str();
  const std::regex star(R"re(<s id="(\d+)" x="([-0-9.]+)" y="([-0-9.]+)")re");
  std::vector<Point> at;
  for (auto it = std::sregex_iterator(catalog.begin(), catalog.end(), star); it != std::sregex_iterator(); ++it)
    at.push_back({std::stod((*it)[2]) - 1, std::stod((*it)[3]) - 1});
  std::vector<std::vector<double>> mags;
  std::ifstream table(s.out + ".dat");
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    double t, m, e;
    w >> t;
    mags.emplace_back();
    while (w >> m >> e)
      mags.back().push_back(m);
  }
  ASSERT_EQ(mags.size(), 40u);
  // Fluxes of the faint stars, in and out of eclipse, each against its own mean out.
  double in = 0, count = 0;
  int found = 0;
  for (std::size_t k = 10; k < stars.size(); ++k) {
    std::size_t id = at.size();
    for (std::size_t c = 0; c < at.size(); ++c)
      if (std::hypot(at[c].x - stars[k].x - shift.x, at[c].y - stars[k].y - shift.y) < 1.0) id = c;
    if (id == at.size()) continue;
    ++found;
    double out = 0, n = 0;
    for (int f = 0; f < 20; ++f)
      if (mags[static_cast<std::size_t>(f)][id] < 99) {
        out += std::pow(10.0, -0.4 * mags[static_cast<std::size_t>(f)][id]);
        ++n;
      }
    for (int f = 20; f < 40; ++f) {
      const double m = mags[static_cast<std::size_t>(f)][id];
      // Not measured only when the flux came out negative.
      in += m < 99 ? std::pow(10.0, -0.4 * m) / (out / n) : 0.0;
      ++count;
    }
  }
  ASSERT_GE(found, 8);
  EXPECT_NEAR(-2.5 * std::log10(in / count), 1.0, 0.1);
}

} // namespace
} // namespace morvik::reduction
