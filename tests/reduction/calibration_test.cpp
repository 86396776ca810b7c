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

TEST(Calibration, BiasDarkScaledByExposureAndNormalisedFlat) {
  const fs::path dir = morvik::testing::TestWorkDir("calibration");
  fs::create_directories(dir);
  const auto path = [&](const char* name) { return (dir / name).string(); };
  // 2 x 2 pixels: bias 100, dark 40 ADU in 20 s, flat 2, 4, 4, 0 (median 4).
  ASSERT_TRUE(testing::WriteImage(path("bias.fits"), 2, 2, {100, 100, 100, 100}));
  ASSERT_TRUE(testing::WriteImage(path("dark.fits"), 2, 2, {40, 40, 40, 40}, 20.0));
  ASSERT_TRUE(testing::WriteImage(path("flat.fits"), 2, 2, {2, 4, 4, 0}));
  ASSERT_TRUE(testing::WriteImage(path("small.fits"), 1, 2, {1, 1}));

  const Masters m = LoadMasters(path("bias.fits"), path("dark.fits"), path("flat.fits"));
  std::vector<float> pixels = {1120, 1120, 130, 1120}; // a 10 s frame
  EXPECT_EQ(Calibrate(m, pixels, 2, 2, 10.0), "");
  EXPECT_FLOAT_EQ(pixels[0], 2000.0f); // (1120 - 100 - 20) / 0.5
  EXPECT_FLOAT_EQ(pixels[1], 1000.0f);
  EXPECT_FLOAT_EQ(pixels[2], 10.0f);
  EXPECT_TRUE(std::isnan(pixels[3])); // no light reaches a pixel of flat 0

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
