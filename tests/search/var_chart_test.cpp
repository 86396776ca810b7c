#include "search/var_chart.hpp"

#include <gtest/gtest.h>

#include "search/series_builder.hpp"

namespace morvik {
namespace {

using test::MakeSeries;

TEST(AxisValue, EachItemPlotsItsStatistic) {
  TStarStat st;
  st.RunMean = 11.5;
  st.Variance = 0.04;
  st.RunVariance = 0.09;
  st.ChiSq = 16.0;
  st.Mad = 0.3;
  st.RobustMedian = 1.7;
  st.ExcessVariance = -0.002;
  st.VonNeumann = 1.9;
  const double expected[kAxisItemCount] = {11.5, 0.2, 0.3, 4.0, 0.3, 1.7, -0.002, 1.9};
  for (int item = 0; item < kAxisItemCount; ++item)
    EXPECT_DOUBLE_EQ(AxisValue(st, item), expected[item]) << item;
  st.RunVariance = -1e-30; // a rounding accident must not become a NaN
  EXPECT_EQ(AxisValue(st, 2), 0.0);
}

// 100 rows; star s has NValid and NAccepted given per star.
TTimeSeries Counted(const std::vector<std::pair<int, int>>& counts) {
  TTimeSeries ts = MakeSeries(counts.size(), 100);
  for (std::size_t s = 0; s < counts.size(); ++s) {
    ts.Stats[s].NValid = static_cast<std::uint16_t>(counts[s].first);
    ts.Stats[s].NAccepted = static_cast<std::uint16_t>(counts[s].second);
    ts.Stats[s].RunMean = 10.0 + static_cast<double>(s);
  }
  return ts;
}

std::vector<std::string> Labels(const std::vector<ChartPoint>& pts) {
  std::vector<std::string> out;
  for (const ChartPoint& p : pts)
    out.push_back(p.label);
  return out;
}

TEST(VarChartPoints, BothCountsMustExceedThePresenceThreshold) {
  // P = 20 of 100 rows: T = 20.
  const TTimeSeries ts = Counted({{20, 20}, {21, 21}, {21, 20}, {20, 21}, {100, 99}});
  EXPECT_EQ(Labels(VarChartPoints(ts, 0, 2, 20)), (std::vector<std::string>{"1", "4"}));
  EXPECT_EQ(Labels(VarChartPoints(ts, 0, 2, 100)), std::vector<std::string>{});
  EXPECT_EQ(Labels(VarChartPoints(ts, 0, 2, 1)).size(), 5u);
}

TEST(VarChartPoints, ThresholdIsARealNumber) {
  // 15 % of 30 rows is 4.5: a star in 5 rows passes, one in 4 does not.
  TTimeSeries ts = MakeSeries(2, 30);
  ts.Stats[0].NValid = ts.Stats[0].NAccepted = 5;
  ts.Stats[1].NValid = ts.Stats[1].NAccepted = 4;
  EXPECT_EQ(Labels(VarChartPoints(ts, 0, 2, 15)), std::vector<std::string>{"0"});
}

TEST(VarChartPoints, MarksDecidePresenceAndColour) {
  TTimeSeries ts = Counted({{50, 50}, {50, 50}, {50, 50}});
  ts.Stats[0].Mark = kMarkVariable;
  ts.Stats[1].Mark = kMarkFalseAlarm;
  const std::vector<ChartPoint> pts = VarChartPoints(ts, 0, 2, 20);
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_EQ(pts[0].label, "0");
  EXPECT_EQ(pts[0].color, colors::Green);
  EXPECT_EQ(pts[1].label, "2");
  EXPECT_FALSE(pts[1].color.has_value());
}

TEST(VarChartPoints, PointsCarryTheChosenIndices) {
  TTimeSeries ts = Counted({{50, 50}});
  ts.Stats[0].Mad = 0.25;
  ts.Stats[0].ChiSq = 9.0;
  const std::vector<ChartPoint> pts = VarChartPoints(ts, 4, 3, 20);
  ASSERT_EQ(pts.size(), 1u);
  EXPECT_DOUBLE_EQ(pts[0].x, 0.25);
  EXPECT_DOUBLE_EQ(pts[0].y, 3.0);
}

TEST(VarChartPoints, NothingWithoutRecordsOrAxis) {
  TTimeSeries ts = Counted({{50, 50}});
  EXPECT_TRUE(VarChartPoints(ts, -1, 2, 20).empty());
  EXPECT_TRUE(VarChartPoints(ts, 0, 8, 20).empty());
  ts.Stats.clear();
  EXPECT_TRUE(VarChartPoints(ts, 0, 2, 20).empty());
}

} // namespace
} // namespace morvik
