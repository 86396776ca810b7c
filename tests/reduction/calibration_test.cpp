#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/errors.hpp"
#include "reduction/calibration.hpp"
#include "synthetic_frames.hpp"
#include "work_dir.hpp"

namespace morvik::reduction {
namespace {

namespace fs = std::filesystem;

// 2 x 2 masters as cameras make them: bias 100; a raw 20 s dark of bias + 40 ADU of
// dark current; a raw flat of bias + 200, 400, 400, 0 ADU of light. The frames are 10 s.
TEST(Calibration, TheBiasComesOffDarkAndFlatAndOnlyDarkCurrentIsScaled) {
  const fs::path dir = morvik::testing::TestWorkDir("calibration");
  fs::create_directories(dir);
  const auto path = [&](const char* name) { return (dir / name).string(); };
  ASSERT_TRUE(testing::WriteImage(path("bias.fits"), 2, 2, {100, 100, 100, 100}));
  ASSERT_TRUE(testing::WriteImage(path("dark.fits"), 2, 2, {140, 140, 140, 140}, 20.0));
  ASSERT_TRUE(testing::WriteImage(path("flat.fits"), 2, 2, {300, 500, 500, 100}));
  ASSERT_TRUE(testing::WriteImage(path("small.fits"), 1, 2, {1, 1}));

  struct Case {
    const char* name;
    const char *bias, *dark, *flat;
    std::vector<float> expected; // NaN: no light reaches the pixel
  };
  const float nan = NAN;
  const std::vector<Case> cases = {
      // (1120 - 100 - 40 x 10/20) / 0.5; the flat less its bias has median 400.
      {"bias, dark, flat", "bias.fits", "dark.fits", "flat.fits", {2000, 1000, 10, nan}},
      {"bias and dark", "bias.fits", "dark.fits", "", {1000, 1000, 10, 1000}},
      {"bias and flat", "bias.fits", "", "flat.fits", {2040, 1020, 30, nan}},
      // Without a bias the dark holds it: 1120 - 140, whatever the exposures.
      {"dark alone", "", "dark.fits", "", {980, 980, -10, 980}},
      // ... and the flat is taken as it is (median 500).
      {"dark and flat", "", "dark.fits", "flat.fits", {980 / 0.6f, 980, -10, 980 / 0.2f}},
  };
  for (const Case& c : cases) {
    const Masters m =
        LoadMasters(*c.bias ? path(c.bias) : "", *c.dark ? path(c.dark) : "", *c.flat ? path(c.flat) : "");
    std::vector<float> pixels = {1120, 1120, 130, 1120};
    EXPECT_EQ(Calibrate(m, pixels, 2, 2, 10.0), "") << c.name;
    for (std::size_t i = 0; i < 4; ++i) {
      if (std::isnan(c.expected[i])) {
        EXPECT_TRUE(std::isnan(pixels[i])) << c.name << " pixel " << i;
      } else {
        EXPECT_NEAR(pixels[i], c.expected[i], 1e-3) << c.name << " pixel " << i;
      }
    }
    if (*c.dark) {
      EXPECT_NE(DarkNote(m).find(*c.bias ? "scaled by exposure" : "not scaled"), std::string::npos) << c.name;
    }
  }

  const Masters m = LoadMasters(path("bias.fits"), path("dark.fits"), path("flat.fits"));
  std::vector<float> wrong(6, 1.0f);
  EXPECT_NE(Calibrate(m, wrong, 3, 2, 10.0), "");
  std::vector<float> untouched = {5, 6};
  EXPECT_EQ(Calibrate(LoadMasters("", "", ""), untouched, 1, 2, 10.0), "");
  EXPECT_EQ(untouched, (std::vector<float>{5, 6}));

  EXPECT_THROW(LoadMasters(path("bias.fits"), path("small.fits"), ""), CommandError);
  EXPECT_THROW(LoadMasters(path("missing.fits"), "", ""), CommandError);
}

TEST(Calibration, ZerosReachingInFromTheEdgesAreMissing) {
  // 5 x 4: a registered frame shifted right by one pixel and up by one; a zero inside
  // the data stays.
  std::vector<float> p = {0, 5, 6, 7, 8, //
                          0, 6, 0, 9, 1, //
                          0, 6, 7, 9, 1, //
                          0, 0, 0, 0, 0};
  EXPECT_EQ(MaskZeroBorder(p, 5, 4), 8);
  for (std::size_t i = 0; i < p.size(); ++i)
    EXPECT_EQ(std::isnan(p[i]), i % 5 == 0 || i >= 15) << i;
  EXPECT_EQ(p[7], 0.0f);
}

} // namespace
} // namespace morvik::reduction
