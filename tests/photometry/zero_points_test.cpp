#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/errors.hpp"
#include "common/format.hpp"
#include "field.hpp"
#include "photometry/ensemble.hpp"

namespace morvik {
namespace {

using testing::At;
using testing::FlatSeries;
using testing::Star;

// Four stars: 1 and 2 weighted comparison stars, 3 a target holding a stale weight,
// 4 flagged but without weight.
TTimeSeries FourStars(int rows) {
  TTimeSeries s = FlatSeries(rows, 4);
  s.Stats.resize(4);
  const double meanW[] = {10.0, 11.0, 13.0, 14.0};
  const bool used[] = {true, true, false, true};
  const double weight[] = {0.75, 0.25, 0.9, 0.0};
  for (int id = 1; id <= 4; ++id) {
    Star(s, id).MeanW = meanW[id - 1];
    Star(s, id).Used = used[id - 1];
    Star(s, id).Weight = weight[id - 1];
  }
  return s;
}

TEST(FrameZeroPoints, WeightedOffsetOfTheComparisonStars) {
  TTimeSeries s = FourStars(1);
  At(s, 0, 1).Mag = 10.2; // d = 0.2
  At(s, 0, 2).Mag = 11.4; // d = 0.4
  At(s, 0, 3).Mag = 13.0; // stale weight: not part of the zero point
  At(s, 0, 4).Mag = 19.0; // no weight: not part of the zero point
  NullLog log;
  ComputeFrameZeroPoints(s, 1, 9.5, log);
  // z = 0.75 * 0.2 + 0.25 * 0.4 = 0.25
  EXPECT_NEAR(At(s, 0, 1).RunMag, 10.2 - 0.25 - 10.0 + 9.5, 1e-12);
  EXPECT_NEAR(At(s, 0, 3).RunMag, 13.0 - 0.25 - 10.0 + 9.5, 1e-12);
  EXPECT_NEAR(At(s, 0, 4).RunMag, 19.0 - 0.25 - 10.0 + 9.5, 1e-12);
}

// With a comparison star missing the weights of the frame no longer add up to 1: the
// offset is divided by the weight present.
TEST(FrameZeroPoints, AMissingComparisonStarLeavesTheOthersToCarryTheOffset) {
  TTimeSeries s = FourStars(2);
  At(s, 0, 1).Mag = 10.2; // d = 0.2, weight 0.75 alone
  At(s, 0, 2).Valid = false;
  At(s, 0, 3).Mag = 13.0;
  At(s, 1, 1).Valid = false;
  At(s, 1, 2).Mag = 11.4; // d = 0.4, weight 0.25 alone
  At(s, 1, 3).Mag = 13.0;
  NullLog log;
  ComputeFrameZeroPoints(s, 1, 9.5, log);
  EXPECT_NEAR(At(s, 0, 3).RunMag, 13.0 - 0.2 - 10.0 + 9.5, 1e-12);
  EXPECT_NEAR(At(s, 0, 1).RunMag, 10.0 - 10.0 + 9.5, 1e-12);
  EXPECT_NEAR(At(s, 1, 3).RunMag, 13.0 - 0.4 - 10.0 + 9.5, 1e-12);
  EXPECT_NEAR(At(s, 1, 2).RunMag, 11.0 - 10.0 + 9.5, 1e-12);
}

TEST(FrameZeroPoints, FramesWithoutAnOffsetAreLeftUncorrected) {
  TTimeSeries s = FourStars(2);
  // Row 0: no comparison star measured. Row 1: both sit at their weighted means.
  At(s, 0, 1).Valid = false;
  At(s, 0, 2).Valid = false;
  At(s, 0, 3).Mag = 13.3;
  At(s, 1, 1).Mag = 10.0;
  At(s, 1, 2).Mag = 11.0;
  At(s, 1, 3).Mag = 13.7;
  NullLog log;
  ComputeFrameZeroPoints(s, 2, 12.0, log);
  EXPECT_DOUBLE_EQ(At(s, 0, 3).RunMag, 13.3 - 11.0 + 12.0);
  EXPECT_DOUBLE_EQ(At(s, 1, 3).RunMag, 13.7 - 11.0 + 12.0);
  EXPECT_DOUBLE_EQ(At(s, 1, 2).RunMag, 12.0);
}

TEST(FrameZeroPoints, ACorrectedValueOfExactlyZeroIsMovedOffZero) {
  TTimeSeries s = FlatSeries(1, 2);
  s.Stats.resize(2);
  Star(s, 1).Used = true;
  Star(s, 1).Weight = 1.0;
  Star(s, 1).MeanW = 0.0; // the comparison star's scale equals the given magnitude 0
  At(s, 0, 1).Mag = 0.25; // z = 0.25
  At(s, 0, 2).Mag = 0.25;
  NullLog log;
  ComputeFrameZeroPoints(s, 1, 0.0, log);
  EXPECT_EQ(At(s, 0, 1).RunMag, 1e-50);
  EXPECT_EQ(At(s, 0, 2).RunMag, 1e-50);
}

TEST(FrameZeroPoints, FrameErrorsCountEveryValidMeasurement) {
  TTimeSeries s = FourStars(3);
  for (int r = 0; r < 3; ++r)
    s.Rows[static_cast<std::size_t>(r)].ValidCount = 4; // as read
  // Row 0: two valid (0.01, 0.03), two deleted with large errors.
  At(s, 0, 1).Err = 0.01;
  At(s, 0, 2).Err = 0.03;
  At(s, 0, 3) = {13.0, 9.999, 4.2, false};
  At(s, 0, 4) = {14.0, 5.0, 0.0, false};
  // Row 1: nothing valid.
  for (int id = 1; id <= 4; ++id)
    At(s, 1, id).Valid = false;
  // Row 2: an error of 0 still counts.
  At(s, 2, 1).Err = 0.0;
  At(s, 2, 2).Err = 0.06;
  At(s, 2, 3).Err = 0.03;
  At(s, 2, 4).Err = 0.03;
  MemoryLog log;
  ComputeFrameZeroPoints(s, 1, 12.0, log);
  EXPECT_EQ(s.Rows[0].ValidCount, 2);
  EXPECT_DOUBLE_EQ(s.Rows[0].FrameErr, 0.02);
  EXPECT_EQ(s.Rows[1].ValidCount, 0);
  EXPECT_EQ(s.Rows[1].FrameErr, 0.0);
  EXPECT_EQ(s.Rows[2].ValidCount, 4);
  EXPECT_DOUBLE_EQ(s.Rows[2].FrameErr, 0.03);
  // The empty row still counts in the mean.
  EXPECT_DOUBLE_EQ(s.MeanSigmaAll, (0.02 + 0.0 + 0.03) / 3.0);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "Mean Sigma (all frames) = " + FormatGeneral(s.MeanSigmaAll));
  // Invalid measurements keep what they held.
  EXPECT_EQ(At(s, 0, 3).RunMag, 4.2);
  EXPECT_EQ(At(s, 1, 2).RunMag, 0.0);
}

TEST(FrameZeroPoints, AnEmptyDataSetHasNoFrameError) {
  TTimeSeries s = FourStars(0);
  s.MeanSigmaAll = 3.0;
  MemoryLog log;
  ComputeFrameZeroPoints(s, 1, 12.0, log);
  EXPECT_EQ(s.MeanSigmaAll, 0.0);
  EXPECT_EQ(log.Lines().at(0), "Mean Sigma (all frames) = 0");
}

TEST(FrameZeroPoints, RefusesAComparisonStarOutsideTheStatistics) {
  TTimeSeries s = FourStars(2);
  MemoryLog log;
  EXPECT_THROW(ComputeFrameZeroPoints(s, 0, 12.0, log), CommandError);
  EXPECT_THROW(ComputeFrameZeroPoints(s, 5, 12.0, log), CommandError);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(At(s, 0, 1).RunMag, 0.0);
}

// Each frame is corrected on its own, however the rows are split: a row of a large
// field gives the same values as the same row alone.
TEST(FrameZeroPointsLargeField, EveryRowMatchesTheRowAlone) {
  const int rows = 3000, stars = 120;
  TTimeSeries big = FlatSeries(rows, stars);
  testing::Noise noise(7);
  for (int r = 0; r < rows; ++r)
    for (int id = 1; id <= stars; ++id) {
      TMeasurement& m = At(big, r, id);
      m.Mag += noise.Next(0.1);
      m.Err = std::fabs(noise.Next(0.03));
      m.Valid = noise.Next(1.0) > -0.8;
    }
  big.Stats.resize(stars);
  for (int id = 1; id <= stars; ++id) {
    Star(big, id).MeanW = 12.0 + 0.5 * (id - 1);
    Star(big, id).Used = id % 3 == 0;
    Star(big, id).Weight = id % 3 == 0 ? 1.0 / id : 0.0;
  }
  NullLog log;
  ComputeFrameZeroPoints(big, 3, 11.0, log);
  double sum = 0.0;
  for (int r = 0; r < rows; ++r)
    sum += big.Rows[static_cast<std::size_t>(r)].FrameErr;
  EXPECT_EQ(big.MeanSigmaAll, sum / rows);
  for (int r : {0, 1, 1499, 1500, 1501, 2999}) {
    TTimeSeries alone = big;
    alone.Rows = {big.Rows[static_cast<std::size_t>(r)]};
    alone.RowCount = 1;
    for (TMeasurement& m : alone.Rows[0].Items)
      m.RunMag = 0.0;
    ComputeFrameZeroPoints(alone, 3, 11.0, log);
    EXPECT_EQ(alone.Rows[0].FrameErr, big.Rows[static_cast<std::size_t>(r)].FrameErr) << r;
    EXPECT_EQ(alone.Rows[0].ValidCount, big.Rows[static_cast<std::size_t>(r)].ValidCount) << r;
    for (int id = 1; id <= stars; ++id)
      ASSERT_EQ(At(alone, 0, id).RunMag, At(big, r, id).RunMag) << r << " " << id;
  }
}

} // namespace
} // namespace morvik
