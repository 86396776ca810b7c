// Why a frame cannot be solved, decided before the solver runs, and the hints a
// frame's header gives.

#include <gtest/gtest.h>

#include "astrometry/solver.hpp"
#include "frames/frame_file.hpp"

namespace morvik::astrometry {
namespace {

TEST(SolverReasonsTest, FieldSizeAgainstTheInstalledIndexes) {
  const std::vector<IndexScale> tycho = {{"08", 30, 42}, {"09", 42, 60}, {"10", 60, 85}};
  struct Case {
    double arcmin;
    std::vector<IndexScale> installed;
    const char* says; // nullptr: covered
  };
  const Case cases[] = {
      {30.0, tycho, nullptr},
      {56.0, tycho, nullptr},
      {29.5, tycho, "astrometry-data-tycho2-07"},
      {21.9, tycho, "no Tycho-2 index serves fields under 22'"},
      {50.0, {}, "astrometry-data-tycho2-09"},
      {25.0, {{"07", 22, 30}}, nullptr},
  };
  for (const Case& c : cases) {
    const auto reason = MissingIndexReason(c.arcmin, c.arcmin * 0.75, c.installed);
    ASSERT_EQ(reason.has_value(), c.says != nullptr) << c.arcmin;
    if (reason) {
      EXPECT_NE(reason->find(c.says), std::string::npos) << *reason;
    }
  }
}

TEST(SolverReasonsTest, TooFewStarsNeverRunsTheSolver) {
  SolverSetup setup;
  setup.program = "/nonexistent/solver"; // would fail as "could not be run"
  std::vector<StarXY> stars(kMinStarsToSolve - 1, StarXY{10, 10, 100});
  const SolveResult r = Solve(stars, 100, 100, {}, setup);
  EXPECT_EQ(r.failure, SolveFailure::TooFewStars);
  stars.push_back({20, 20, 50});
  EXPECT_EQ(Solve(stars, 100, 100, {}, setup).failure, SolveFailure::SolverMissing);
}

frames::FrameImage Header(const std::vector<std::pair<std::string, std::string>>& cards) {
  frames::FrameImage f;
  for (const auto& [k, v] : cards)
    f.cards.push_back(frames::ParseCard(k + std::string(8 - k.size(), ' ') + "= " + v));
  return f;
}

TEST(SolverReasonsTest, HintsFromTheHeader) {
  // PIXSCALE wins over the pixel size; RA/DEC over OBJCTRA/OBJCTDEC.
  SolveHints h = HintsFromHeader(Header({{"XPIXSZ", "9.0"},
                                         {"FOCALLEN", "400"},
                                         {"PIXSCALE", "2.0"},
                                         {"OBJCTRA", "'21 51 02'"},
                                         {"OBJCTDEC", "'+12 37 32'"},
                                         {"RA", "10.5"},
                                         {"DEC", "-5.25"}}));
  ASSERT_TRUE(h.scaleLow && h.scaleHigh && h.centre);
  EXPECT_NEAR(*h.scaleLow, 1.8, 1e-9);
  EXPECT_NEAR(*h.scaleHigh, 2.2, 1e-9);
  EXPECT_NEAR(h.centre->ra, 10.5, 1e-12);
  // 9 microns at 400 mm: 4.641"/px; a sexagesimal RA is in hours.
  h = HintsFromHeader(
      Header({{"PIXSIZE1", "9.0"}, {"FOCALLEN", "400"}, {"OBJCTRA", "'21 51 02'"}, {"OBJCTDEC", "'+12 37 32'"}}));
  ASSERT_TRUE(h.scaleHigh && h.centre);
  EXPECT_NEAR(*h.scaleHigh / 1.1, 4.6409581, 1e-6);
  EXPECT_NEAR(h.centre->ra, 327.758333333, 1e-8);
  // A pixel size without a focal length, or half a position, hints nothing.
  h = HintsFromHeader(Header({{"XPIXSZ", "9.0"}, {"RA", "10.5"}}));
  EXPECT_FALSE(h.scaleHigh);
  EXPECT_FALSE(h.centre);
}

} // namespace
} // namespace morvik::astrometry
