// The solver on frames of real sky: the solved WCS against the true one at every star,
// across orientations and hint sources, and the reasons of frames that cannot solve.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "sky_frames.hpp"

namespace morvik::astrometry {
namespace {

struct SolveCase {
  const char* name;
  const char* options;
};

// Each case costs a few seconds of the solver: few and small.
const SolveCase kSolvable[] = {
    {"rotated_pixscale", "--rotation 33 --hints pixscale"},
    {"flipped_pixel_size", "--rotation 33 --flip --hints pixsize --ra 82.5 --dec 64.2 --seed 4"},
    {"mirrored_no_position", "--rotation 250 --mirror --no-position --scale 4.6 --size 600 440 --seed 9"},
};

class SolvesTest : public ::testing::TestWithParam<SolveCase> {};

TEST_P(SolvesTest, EveryStarWithinAThirdOfAPixel) {
  const auto dir = morvik::testing::TestWorkDir("solve");
  ASSERT_TRUE(morvik::testing::MakeSkyFrames(dir, GetParam().options));
  const auto frame = frames::ReadFrame((dir / "sky_0001.fits").string());
  const auto truth = morvik::testing::ReadTruth(dir / "sky.truth");
  ASSERT_GT(truth.stars.size(), 100u);
  const SolveResult r = Solve(morvik::testing::DetectStars(frame), static_cast<int>(frame.width),
                              static_cast<int>(frame.height), HintsFromHeader(frame));
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.wcs.Mirrored(), truth.wcs.Mirrored());
  double worst = 0;
  for (const auto& s : truth.stars) {
    if (s.x < 0 || s.y < 0 || s.x > frame.width - 1 || s.y > frame.height - 1) continue;
    const auto p = r.wcs.SkyToPixel(s.sky);
    ASSERT_TRUE(p);
    worst = std::max(worst, std::hypot(p->first - s.x, p->second - s.y));
  }
  EXPECT_LT(worst, 0.3) << GetParam().name;
  std::printf("%s: worst of %zu stars %.3f px\n", GetParam().name, truth.stars.size(), worst);
}

INSTANTIATE_TEST_SUITE_P(Sky, SolvesTest, ::testing::ValuesIn(kSolvable),
                         [](const auto& param) { return std::string(param.param.name); });

struct FailCase {
  const char* name;
  const char* options;
  SolveHints hints; // used when it has a scale, else the header's
  SolveFailure failure;
  const char* says;
};

const FailCase kUnsolvable[] = {
    {"few_stars", "--keep 6", {}, SolveFailure::TooFewStars, "too few stars"},
    // The solver searches the wrong scales until its time is up.
    {"scale_outside_hints", "--seed 3", {8.5, 9.5, std::nullopt, 2}, SolveFailure::TimedOut, "at 8.50-9.50\"/px"},
    {"small_field", "--scale 2.2 --size 600 400", {}, SolveFailure::NoIndex, "astrometry-data-tycho2-07"},
};

class FailsTest : public ::testing::TestWithParam<FailCase> {};

TEST_P(FailsTest, SaysWhy) {
  const FailCase& c = GetParam();
  const auto dir = morvik::testing::TestWorkDir("unsolvable");
  ASSERT_TRUE(morvik::testing::MakeSkyFrames(dir, c.options));
  const auto frame = frames::ReadFrame((dir / "sky_0001.fits").string());
  const SolveHints hints = c.hints.scaleHigh ? c.hints : HintsFromHeader(frame);
  const SolveResult r =
      Solve(morvik::testing::DetectStars(frame), static_cast<int>(frame.width), static_cast<int>(frame.height), hints);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.failure, c.failure) << r.reason;
  EXPECT_NE(r.reason.find(c.says), std::string::npos) << r.reason;
}

INSTANTIATE_TEST_SUITE_P(Sky, FailsTest, ::testing::ValuesIn(kUnsolvable),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace morvik::astrometry
