#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "field.hpp"
#include "photometry/ensemble_check.hpp"
#include "synthetic_field.hpp"

namespace morvik {
namespace {

using testing::At;
using testing::Star;

// Six comparison stars of equal weight at MeanW 0: star 1 swings by 0.1, the others
// share small offsets that cancel in every row.
TTimeSeries SwingingStar(int comparisonStars) {
  TTimeSeries s = testing::FlatSeries(4, 7, 0.0);
  s.Stats.resize(7);
  const double others[4][5] = {{0.01, -0.01, 0.01, -0.01, 0.0},
                               {-0.01, 0.01, 0.0, 0.01, -0.01},
                               {0.0, 0.01, -0.01, -0.01, 0.01},
                               {0.01, 0.0, -0.01, 0.01, -0.01}};
  for (int r = 0; r < 4; ++r) {
    At(s, r, 1).Mag = r % 2 == 0 ? 0.1 : -0.1;
    for (int id = 2; id <= 6; ++id)
      At(s, r, id).Mag = others[r][id - 2];
    At(s, r, 7).Mag = 5.0 + 0.3 * r; // not a comparison star: never checked
  }
  for (int id = 1; id <= comparisonStars; ++id) {
    Star(s, id).Used = true;
    Star(s, id).Weight = 1.0 / comparisonStars;
  }
  return s;
}

TEST(EnsembleCheck, AStarIsMeasuredAgainstTheOthersOnly) {
  TTimeSeries s = SwingingStar(6);
  MemoryLog log;
  const EnsembleCheck c = CheckEnsemble(s, 2, EnsembleCheckSettings{}, log);
  ASSERT_TRUE(c.Judged);
  const StarCheck& one = c.Stars[0];
  // The others cancel in every row, so star 1 is measured against a zero point of 0:
  // its values lie 0.1 from their median 0.
  EXPECT_EQ(one.N, 4u);
  EXPECT_NEAR(one.Scatter, 1.4826 * 0.1, 1e-12);
  EXPECT_NEAR(one.ErrScatter, 0.01, 1e-12);
  EXPECT_TRUE(one.Flagged);
  EXPECT_FALSE(c.Stars[6].Checked);
  EXPECT_FALSE(c.Stars[6].Flagged);
  EXPECT_EQ(c.FlaggedCount, 1);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0].rfind("Varying comparison star 1: scatter 0.1483, expected ", 0), 0u) << log.Lines()[0];
}

TEST(EnsembleCheck, TooFewStarsAreNotJudged) {
  TTimeSeries s = SwingingStar(4);
  MemoryLog log;
  const EnsembleCheck c = CheckEnsemble(s, 1, EnsembleCheckSettings{}, log);
  EXPECT_FALSE(c.Judged);
  EXPECT_EQ(c.FlaggedCount, 0);
  EXPECT_TRUE(log.Lines().empty());
  TTimeSeries none; // before a Run
  EXPECT_TRUE(CheckEnsemble(none, 1, EnsembleCheckSettings{}, log).Stars.empty());
}

// The brightest constant star: a comparison star an observer would choose.
int BrightConstant(const testing::SyntheticField& f) {
  int best = 0;
  for (std::size_t j = 0; j < f.truth.size(); ++j)
    if (f.truth[j].kind == testing::Kind::Constant && (best == 0 || f.truth[j].mag < f.truth[best - 1].mag))
      best = static_cast<int>(j) + 1;
  return best;
}

EnsembleCheck RunField(testing::SyntheticField& f, bool drop) {
  const int comp = BrightConstant(f);
  NullLog log;
  return RunAndCheckEnsemble(f.series, f.catalog, FrameSize{1024, 768}, SelectionSettings{},
                             static_cast<std::uint16_t>(comp), f.truth[static_cast<std::size_t>(comp - 1)].mag, drop,
                             EnsembleCheckSettings{}, log);
}

// The error the ensemble itself puts into the variables' light curves: the noise-free
// measurements corrected with the weights the run chose, their mean deviation from the
// true curves (root mean square, mean offset removed).
double VariablesDeviation(const testing::SyntheticField& f) {
  TTimeSeries clean = f.clean;
  clean.Stats = f.series.Stats;
  const int comp = BrightConstant(f);
  NullLog log;
  ComputeFrameZeroPoints(clean, static_cast<std::uint16_t>(comp), 0.0, log);
  double sum = 0.0;
  int n = 0;
  for (std::size_t j = 0; j < f.truth.size(); ++j) {
    if (f.truth[j].kind == testing::Kind::Constant) continue;
    sum += testing::TruthDeviation(f, clean, static_cast<int>(j) + 1);
    ++n;
  }
  return sum / n;
}

TEST(EnsembleCheck, GeneratedFields) {
  constexpr int kSeeds = 20;
  int quietSeeds = 0;
  int closer = 0;
  double before = 0.0, after = 0.0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    testing::SyntheticField f = testing::MakeField(static_cast<std::uint64_t>(seed));
    const EnsembleCheck c = RunField(f, false);
    const auto v = static_cast<std::size_t>(f.ensembleVariable - 1);
    ASSERT_TRUE(f.series.Stats[v].Used) << "seed " << seed;
    EXPECT_TRUE(c.Stars[v].Flagged) << "seed " << seed;
    bool constantFlagged = false;
    for (std::size_t j = 0; j < f.truth.size(); ++j)
      constantFlagged = constantFlagged || (c.Stars[j].Flagged && f.truth[j].kind == testing::Kind::Constant);
    quietSeeds += constantFlagged ? 0 : 1;

    const double kept = VariablesDeviation(f);
    const EnsembleCheck d = RunField(f, true);
    EXPECT_FALSE(f.series.Stats[v].Used) << "seed " << seed;
    EXPECT_TRUE(d.Stars[v].Flagged) << "seed " << seed;
    const double dropped = VariablesDeviation(f);
    before += kept;
    after += dropped;
    closer += dropped < kept ? 1 : 0;
  }
  EXPECT_GE(quietSeeds, kSeeds * 95 / 100);
  EXPECT_LT(after, before);
  EXPECT_GE(closer, kSeeds * 9 / 10);
  std::printf("constant stars unflagged on %d of %d seeds; ensemble error in the variables' curves %.6f -> %.6f, "
              "closer on %d seeds\n",
              quietSeeds, kSeeds, before / kSeeds, after / kSeeds, closer);
}

} // namespace
} // namespace morvik

namespace morvik {
namespace {

// An eclipsing binary of 0.15-mag eclipses among the bright comparison stars: its
// robust scatter is that of its flat light outside the eclipses, so only the runs of
// deep frames give it away. No constant star has such a run, although the eclipses
// shift the ensemble under every one of them.
TEST(EnsembleCheck, EclipsingComparisonStarFlaggedOnEverySeed) {
  int flagged = 0, inEnsemble = 0;
  for (int seed = 1; seed <= 20; ++seed) {
    testing::SyntheticField f =
        testing::MakeField(static_cast<std::uint64_t>(seed), 200, 300, 30, {testing::Kind::Algol, 0.15});
    const EnsembleCheck c = RunField(f, false);
    const auto v = static_cast<std::size_t>(f.ensembleVariable - 1);
    inEnsemble += f.series.Stats[v].Used ? 1 : 0;
    flagged += c.Stars[v].Flagged ? 1 : 0;
    EXPECT_TRUE(c.Stars[v].Episodic) << "seed " << seed << ": excess " << c.Stars[v].Excess << " limit " << c.Limit;
    for (std::size_t j = 0; j < f.truth.size(); ++j)
      EXPECT_FALSE(c.Stars[j].Episodic && f.truth[j].kind == testing::Kind::Constant)
          << "seed " << seed << " star " << j + 1 << " run " << c.Stars[j].LongestRun;
  }
  EXPECT_EQ(inEnsemble, 20);
  EXPECT_EQ(flagged, 20);
}

// One star catalogued twice: two comparison stars identical in every frame are both
// flagged, each naming the other, whether or not the rest can be judged.
TEST(EnsembleCheck, CopiesOfOneStarAreFlagged) {
  for (int comparisonStars : {6, 2}) {
    TTimeSeries s = SwingingStar(comparisonStars);
    for (int r = 0; r < 4; ++r) {
      At(s, r, 1).Mag = 0.02 * r; // star 1 quiet, star 2 its copy
      At(s, r, 2) = At(s, r, 1);
    }
    MemoryLog log;
    const EnsembleCheck c = CheckEnsemble(s, 0, EnsembleCheckSettings{}, log);
    EXPECT_EQ(c.Stars[0].CopyOf, 2) << comparisonStars;
    EXPECT_EQ(c.Stars[1].CopyOf, 1) << comparisonStars;
    EXPECT_TRUE(c.Stars[0].Flagged && c.Stars[1].Flagged) << comparisonStars;
    EXPECT_EQ(c.CopyCount, 2) << comparisonStars;
    for (std::size_t j = 2; j < c.Stars.size(); ++j)
      EXPECT_EQ(c.Stars[j].CopyOf, 0) << comparisonStars << " star " << j + 1;
    EXPECT_TRUE(log.Contains("Comparison stars 1 and 2 are identical in every frame: one star catalogued twice"))
        << comparisonStars;
  }
  // Equal in all but one frame: not copies.
  TTimeSeries s = SwingingStar(6);
  for (int r = 0; r < 4; ++r)
    At(s, r, 2) = At(s, r, 1);
  At(s, 3, 2).Mag += 1e-6;
  NullLog log;
  EXPECT_EQ(CheckEnsemble(s, 0, EnsembleCheckSettings{}, log).CopyCount, 0);
}

} // namespace
} // namespace morvik
