#include "search/sigma_histogram.hpp"

#include <gtest/gtest.h>

#include "common/format.hpp"

namespace morvik {
namespace {

std::vector<TStarStat> WithVariances(const std::vector<double>& vs) {
  std::vector<TStarStat> stats(vs.size());
  for (std::size_t i = 0; i < vs.size(); ++i)
    stats[i].Variance = vs[i];
  return stats;
}

TEST(SigmaHistogram, EqualVariancesGiveOnlyTheHeader) {
  for (const auto& vs : {std::vector<double>{0.5, 0.5, 0.5}, std::vector<double>{0.25}}) {
    const SigmaHistogramTable t = ComputeSigmaHistogram(WithVariances(vs));
    EXPECT_TRUE(t.bins.empty());
    EXPECT_EQ(SigmaHistogramFileLines(t),
              std::vector<std::string>{"MIN " + FormatFixed(vs[0], 2) + " MAX " + FormatFixed(vs[0], 2)});
  }
}

TEST(SigmaHistogram, MinAndMaxOverEveryStar) {
  const SigmaHistogramTable t = ComputeSigmaHistogram(WithVariances({3.0, 0.0, 7.5, 2.0}));
  EXPECT_EQ(t.min, 0.0);
  EXPECT_EQ(t.max, 7.5);
}

TEST(SigmaHistogram, BoundariesCountInBothBinsAndMaxInTheLast) {
  // 0 ... 100 in whole numbers: step 1, every inner value sits on a boundary.
  std::vector<double> vs;
  for (int i = 0; i <= 100; ++i)
    vs.push_back(i);
  const SigmaHistogramTable t = ComputeSigmaHistogram(WithVariances(vs));
  ASSERT_GE(t.bins.size(), 100u);
  ASSERT_LE(t.bins.size(), 101u);
  EXPECT_EQ(t.bins[0].lower, 0.0);
  EXPECT_EQ(t.bins[0].count, 2); // 0 and 1
  EXPECT_EQ(t.bins[50].count, 2);
  const HistogramBin& last = t.bins[99];
  EXPECT_GE(last.upper, 100.0);
  EXPECT_EQ(last.count, 2); // 99 and the maximum
}

TEST(SigmaHistogram, MaximumAloneIsCounted) {
  const SigmaHistogramTable t = ComputeSigmaHistogram(WithVariances({0.0, 0.0, 0.0, 1.0}));
  int total = 0;
  for (const HistogramBin& b : t.bins)
    total += b.count;
  EXPECT_EQ(t.bins.front().count, 3);
  EXPECT_EQ(total, 4); // no value lies on an inner boundary here
}

TEST(SigmaHistogram, StepTooSmallToMoveStopsAfter101Bins) {
  // At 1e20 neighbouring doubles are 16384 apart: adding a step of 10 changes nothing.
  const SigmaHistogramTable t = ComputeSigmaHistogram(WithVariances({1e20, 1e20 + 65536.0}));
  ASSERT_LT(t.min, t.max);
  EXPECT_EQ(static_cast<int>(t.bins.size()), kMaxHistogramBins);
}

TEST(SigmaHistogram, LogUsesTheMessageSeparatorFileThePoint) {
  const SigmaHistogramTable t = ComputeSigmaHistogram(WithVariances({0.0, 2.0}));
  ASSERT_FALSE(t.bins.empty());
  SetMessageDecimalSeparator(',');
  const std::vector<std::string> logLines = SigmaHistogramLogLines(t);
  SetMessageDecimalSeparator('.');
  const std::vector<std::string> fileLines = SigmaHistogramFileLines(t);
  ASSERT_EQ(logLines.size(), t.bins.size() + 1);
  ASSERT_EQ(fileLines.size(), logLines.size());
  EXPECT_EQ(logLines[0], "MIN 0,00 MAX 2,00");
  EXPECT_EQ(fileLines[0], "MIN 0.00 MAX 2.00");
  EXPECT_EQ(logLines[1], "RANGE 0,00 - 0,02 N= 1");
  EXPECT_EQ(fileLines[1], "RANGE 0.00 - 0.02 N= 1");
  EXPECT_EQ(fileLines.back().substr(fileLines.back().size() - 4), "N= 1");
}

} // namespace
} // namespace morvik
