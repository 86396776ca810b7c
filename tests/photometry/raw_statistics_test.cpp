#include <gtest/gtest.h>

#include <cmath>

#include "common/format.hpp"
#include "field.hpp"
#include "photometry/ensemble.hpp"

namespace morvik {
namespace {

using testing::At;
using testing::CentreCatalog;
using testing::FlatSeries;
using testing::Scatter;
using testing::Star;

constexpr FrameSize kFrame{1024, 768};

struct RawFixture : ::testing::Test {
  MemoryLog log;
  StarCatalog catalog;
  SelectionSettings settings;

  void Compute(TTimeSeries& s) { ComputeRawStatistics(s, catalog, kFrame, settings, log); }
};

TEST_F(RawFixture, MeansErrorAndVarianceUseOnlyValidMeasurements) {
  TTimeSeries s = FlatSeries(3, 1);
  At(s, 0, 1) = {10.0, 0.1, 0.0, true};
  At(s, 1, 1) = {12.0, 0.2, 0.0, true};
  At(s, 2, 1) = {99.999, 9.999, 0.0, false};
  Compute(s);
  const TStarStat& st = Star(s, 1);
  EXPECT_EQ(st.NValid, 2);
  EXPECT_DOUBLE_EQ(st.Mean, 11.0);
  // Weights 100 and 25: (1000 + 300) / 125.
  EXPECT_DOUBLE_EQ(st.MeanW, 10.4);
  EXPECT_DOUBLE_EQ(st.MeanErr, 0.15);
  // About the weighted mean, divided by N: (0.16 + 2.56) / 2.
  EXPECT_NEAR(st.Variance, 1.36, 1e-12);
}

TEST_F(RawFixture, StarsWithFewMeasurements) {
  TTimeSeries s = FlatSeries(4, 3);
  for (int r = 0; r < 4; ++r)
    At(s, r, 1).Valid = false;
  for (int r = 1; r < 4; ++r)
    At(s, r, 2).Valid = false;
  At(s, 0, 2).Mag = 15.0;
  Compute(s);
  const TStarStat& none = Star(s, 1);
  EXPECT_EQ(none.NValid, 0);
  EXPECT_EQ(none.Mean, 0.0);
  EXPECT_EQ(none.MeanW, 0.0);
  EXPECT_EQ(none.MeanErr, 0.0);
  EXPECT_EQ(none.Variance, 0.0);
  EXPECT_FALSE(none.Used);
  const TStarStat& one = Star(s, 2);
  EXPECT_EQ(one.NValid, 1);
  EXPECT_EQ(one.Mean, 15.0);
  EXPECT_EQ(one.Variance, 0.0);
}

TEST_F(RawFixture, ZeroErrorLeavesTheWeightedSumsButCountsElsewhere) {
  TTimeSeries s = FlatSeries(3, 3);
  // Star 1: one of three measurements without error.
  At(s, 0, 1) = {10.0, 0.0, 0.0, true};
  At(s, 1, 1) = {11.0, 0.1, 0.0, true};
  At(s, 2, 1) = {12.0, 0.1, 0.0, true};
  // Star 2: no error anywhere: the weighted mean is the plain one.
  // Star 3: an error whose weight does not fit a double counts like 0.
  for (int r = 0; r < 3; ++r) {
    At(s, r, 2) = {13.0 + r, 0.0, 0.0, true};
    At(s, r, 3) = {20.0 + r, r == 0 ? 1e-200 : 0.5, 0.0, true};
  }
  Compute(s);
  const TStarStat& a = Star(s, 1);
  EXPECT_EQ(a.NValid, 3);
  EXPECT_DOUBLE_EQ(a.Mean, 11.0);
  EXPECT_DOUBLE_EQ(a.MeanW, 11.5);
  EXPECT_NEAR(a.MeanErr, 0.2 / 3.0, 1e-15);
  EXPECT_NEAR(a.Variance, (2.25 + 0.25 + 0.25) / 3.0, 1e-12);
  const TStarStat& b = Star(s, 2);
  EXPECT_DOUBLE_EQ(b.MeanW, 14.0);
  EXPECT_NEAR(b.Variance, 2.0 / 3.0, 1e-12);
  EXPECT_DOUBLE_EQ(Star(s, 3).MeanW, 21.5);
  for (const TStarStat& st : s.Stats) {
    EXPECT_TRUE(std::isfinite(st.MeanW));
    EXPECT_TRUE(std::isfinite(st.Variance));
  }
}

TEST_F(RawFixture, LogsMeanScatterAndTheEnsembleSize) {
  TTimeSeries s = FlatSeries(10, 4);
  CentreCatalog(catalog, 4);
  At(s, 0, 1).Mag += 0.3; // star 1 alone scatters
  Compute(s);
  ASSERT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(log.Lines()[0], "Mean STD " + FormatGeneral(std::sqrt(s.MeanVariance)));
  EXPECT_NEAR(s.MeanVariance, Star(s, 1).Variance / 4.0, 1e-18);
  EXPECT_GT(s.MeanVariance, 0.0);
  // Star 1's variance is four times the mean: above 1.5 x mean.
  EXPECT_EQ(log.Lines()[1], "Mean and Sigma calculated; USED 3 STARS FROM 4");
  EXPECT_EQ(s.UsedCount, 3);
  EXPECT_FALSE(Star(s, 1).Used);
}

TEST_F(RawFixture, WithoutStarsNothingIsDividedByZero) {
  TTimeSeries s;
  Compute(s);
  EXPECT_TRUE(s.Stats.empty());
  EXPECT_EQ(s.MeanVariance, 0.0);
  EXPECT_EQ(s.UsedCount, 0);
  EXPECT_EQ(log.Lines()[0], "Mean STD 0");
  EXPECT_EQ(log.Lines()[1], "Mean and Sigma calculated; USED 0 STARS FROM 0");
}

TEST_F(RawFixture, BorderLimitsAreInclusiveAndTakeTheLargerOfBothRules) {
  struct Case {
    double x, y;
    bool used;
  } cases[] = {
      {102.0, 300.0, true}, {101.9, 300.0, false}, {922.0, 300.0, true}, {922.1, 300.0, false},
      {500.0, 76.0, true},  {500.0, 75.9, false},  {500.0, 692.0, true}, {500.0, 692.1, false},
      {102.0, 76.0, true},  {922.0, 692.0, true},  {0.0, 0.0, false},    {1024.0, 768.0, false},
  };
  const int n = static_cast<int>(std::size(cases));
  TTimeSeries s = FlatSeries(5, n);
  for (int id = 1; id <= n; ++id) {
    catalog.At(id).X = cases[id - 1].x;
    catalog.At(id).Y = cases[id - 1].y;
  }
  Compute(s);
  for (int id = 1; id <= n; ++id)
    EXPECT_EQ(Star(s, id).Used, cases[id - 1].used) << cases[id - 1].x << ", " << cases[id - 1].y;

  // A pixel border larger than the fraction wins: 1024 div 10 = 102 < 120.
  settings.FrameBorderPX = 120;
  Compute(s);
  EXPECT_FALSE(Star(s, 1).Used); // x = 102
  catalog.At(1).X = 120.0;
  catalog.At(1).Y = 120.0;
  Compute(s);
  EXPECT_TRUE(Star(s, 1).Used);
  catalog.At(1).Y = 119.5; // the y border is 120 too (768 div 10 = 76)
  Compute(s);
  EXPECT_FALSE(Star(s, 1).Used);
}

TEST_F(RawFixture, PresenceLimitIsAShareOfTheRows) {
  TTimeSeries s = FlatSeries(40, 3);
  CentreCatalog(catalog, 3);
  for (int r = 28; r < 40; ++r)
    At(s, r, 1).Valid = false; // 28 valid
  for (int r = 27; r < 40; ++r)
    At(s, r, 2).Valid = false; // 27 valid
  Compute(s);
  EXPECT_TRUE(Star(s, 1).Used);
  EXPECT_FALSE(Star(s, 2).Used);
  EXPECT_TRUE(Star(s, 3).Used);
  settings.Part4select = 100;
  Compute(s);
  EXPECT_FALSE(Star(s, 1).Used);
  EXPECT_TRUE(Star(s, 3).Used);
}

TEST_F(RawFixture, VarianceLimitIsAFactorOnTheMeanVariance) {
  TTimeSeries s = FlatSeries(50, 4);
  CentreCatalog(catalog, 4);
  Scatter(s, 1, 0.01, 1);
  Scatter(s, 2, 0.02, 2);
  Scatter(s, 3, 0.03, 3);
  Scatter(s, 4, 0.04, 4);
  Compute(s);
  const double mean = s.MeanVariance;
  for (int id = 1; id <= 4; ++id)
    EXPECT_EQ(Star(s, id).Used, Star(s, id).Variance <= 1.5 * mean) << id;
  EXPECT_FALSE(Star(s, 4).Used);

  // A factor between the variances of stars 3 and 4.
  settings.VarianceFactor = (Star(s, 3).Variance + Star(s, 4).Variance) / 2.0 / mean;
  Compute(s);
  EXPECT_TRUE(Star(s, 3).Used);
  EXPECT_FALSE(Star(s, 4).Used);
  settings.VarianceFactor = 10.0;
  Compute(s);
  EXPECT_EQ(s.UsedCount, 4);
}

TEST_F(RawFixture, MarkedStarsAreNeverChosen) {
  TTimeSeries s = FlatSeries(10, 3);
  CentreCatalog(catalog, 3);
  Compute(s);
  Star(s, 1).Mark = kMarkVariable;
  Star(s, 2).Mark = kMarkFalseAlarm;
  Compute(s);
  EXPECT_FALSE(Star(s, 1).Used);
  EXPECT_FALSE(Star(s, 2).Used);
  EXPECT_TRUE(Star(s, 3).Used);
  EXPECT_EQ(Star(s, 1).Mark, kMarkVariable); // kept by the repeated Run
  EXPECT_EQ(s.UsedCount, 1);
}

TEST_F(RawFixture, TheFirstQualifyingStarsUpToTheLimitAreChosen) {
  TTimeSeries s = FlatSeries(10, 9);
  CentreCatalog(catalog, 9);
  catalog.At(2).X = 5.0; // outside the border: skipped, not counted
  settings.NotMoreComp = ReadNotMoreComp("3");
  Compute(s);
  for (int id = 1; id <= 9; ++id)
    EXPECT_EQ(Star(s, id).Used, id != 2 && id <= 6) << id;
  EXPECT_EQ(s.UsedCount, 5);
  EXPECT_TRUE(log.Contains("Mean and Sigma calculated; USED 5 STARS FROM 9"));

  settings.NotMoreComp = 1000;
  Compute(s);
  EXPECT_EQ(s.UsedCount, 8);
  settings.NotMoreComp = 6; // lowered: the flags of the earlier Run do not linger
  Compute(s);
  int flagged = 0;
  for (const TStarStat& st : s.Stats)
    flagged += st.Used ? 1 : 0;
  EXPECT_EQ(flagged, 6);
  EXPECT_EQ(log.Lines().back(), "Mean and Sigma calculated; USED 6 STARS FROM 9");
}

TEST_F(RawFixture, ManualModeKeepsTheUsersFlagsAndCountsThem) {
  TTimeSeries s = FlatSeries(10, 6);
  CentreCatalog(catalog, 6);
  Compute(s);
  for (TStarStat& st : s.Stats)
    st.Used = false;
  Star(s, 2).Used = true;
  Star(s, 5).Used = true;
  catalog.At(5).X = 1.0; // would fail the border rule; manual mode does not ask
  settings.CompManual = true;
  Compute(s);
  EXPECT_TRUE(Star(s, 2).Used);
  EXPECT_TRUE(Star(s, 5).Used);
  EXPECT_FALSE(Star(s, 1).Used);
  EXPECT_EQ(s.UsedCount, 2);
  EXPECT_EQ(log.Lines().back(), "Mean and Sigma calculated; USED 2 STARS FROM 6");
}

TEST_F(RawFixture, StatsKeepTheirFieldsWhileTheSizeIsUnchanged) {
  TTimeSeries s = FlatSeries(10, 3);
  CentreCatalog(catalog, 3);
  Compute(s);
  Star(s, 3).RunMeanW = 7.5;
  Star(s, 3).Mark = kMarkVariable;
  Compute(s);
  EXPECT_EQ(Star(s, 3).RunMeanW, 7.5);
  EXPECT_EQ(Star(s, 3).Mark, kMarkVariable);
}

TEST(SelectionSettingsReading, FallBacksOfTheTwoEdits) {
  EXPECT_EQ(ReadVarianceFactor("1.5"), 1.5);
  EXPECT_EQ(ReadVarianceFactor("2.25"), 2.25);
  EXPECT_EQ(ReadVarianceFactor(" 3 "), 3.0);
  for (const char* text : {"0", "-2", "", "abc", "1.5x", "-0"})
    EXPECT_EQ(ReadVarianceFactor(text), 1.5) << text;

  EXPECT_EQ(ReadNotMoreComp("1000"), 1000);
  EXPECT_EQ(ReadNotMoreComp("5"), 5);
  EXPECT_EQ(ReadNotMoreComp(" 12 "), 12);
  for (const char* text : {"3", "4", "0", "-10", "", "letters", "7.5", "99999999999"})
    EXPECT_EQ(ReadNotMoreComp(text), 5) << text;
}

TEST(SelectionSettingsReading, DecimalsFollowTheMessageSeparator) {
  SetMessageDecimalSeparator(',');
  EXPECT_EQ(ReadVarianceFactor("2,5"), 2.5);
  EXPECT_EQ(ReadUserDecimal("12,25"), 12.25);
  EXPECT_EQ(ReadUserDecimal("12.25"), 12.25);
  EXPECT_FALSE(ReadUserDecimal("1,2,3").has_value());
  SetMessageDecimalSeparator('.');
  EXPECT_FALSE(ReadUserDecimal("12,25").has_value());
  EXPECT_EQ(ReadVarianceFactor("2,5"), 1.5);
}

// Each star's sums are taken over its own column in row order, however the work is
// split: a star's statistics in a large field equal those of the same column alone.
TEST(RawStatisticsLargeField, EveryStarMatchesItsColumnAlone) {
  const int rows = 400, stars = 1500; // large enough to be split over threads
  TTimeSeries big = FlatSeries(rows, stars);
  testing::Noise noise(42);
  for (int r = 0; r < rows; ++r)
    for (int id = 1; id <= stars; ++id) {
      TMeasurement& m = At(big, r, id);
      m.Mag += noise.Next(0.05);
      m.Err = 0.005 + std::fabs(noise.Next(0.02));
      m.Valid = noise.Next(1.0) > -0.9;
    }
  StarCatalog catalog;
  NullLog log;
  ComputeRawStatistics(big, catalog, kFrame, SelectionSettings{}, log);
  for (int id : {1, 2, 749, 750, 751, 1499, 1500}) {
    TTimeSeries alone = FlatSeries(rows, 1);
    for (int r = 0; r < rows; ++r)
      At(alone, r, 1) = At(big, r, id);
    ComputeRawStatistics(alone, catalog, kFrame, SelectionSettings{}, log);
    const TStarStat& a = Star(alone, 1);
    const TStarStat& b = Star(big, id);
    EXPECT_EQ(a.NValid, b.NValid) << id;
    EXPECT_EQ(a.Mean, b.Mean) << id;
    EXPECT_EQ(a.MeanW, b.MeanW) << id;
    EXPECT_EQ(a.MeanErr, b.MeanErr) << id;
    EXPECT_EQ(a.Variance, b.Variance) << id;
  }
}

} // namespace
} // namespace morvik
