#include "search/variability.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "search/series_builder.hpp"

namespace morvik {
namespace {

using test::MakeSeries;
using test::SetStar;

// ---- Ordering helpers ------------------------------------------------------------

TEST(SortValues, SortsAscendingForManySizes) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pick(-50, 50); // plenty of duplicates
  for (std::size_t n : {0u, 1u, 2u, 3u, 9u, 10u, 13u, 14u, 40u, 41u, 122u, 500u}) {
    std::vector<double> v(n);
    for (double& x : v)
      x = pick(rng) * 0.25;
    std::vector<double> expected = v;
    std::sort(expected.begin(), expected.end());
    SortValues(v);
    EXPECT_EQ(v, expected) << "n = " << n;
  }
}

TEST(SortValues, NeverSwapsEqualValues) {
  // -0 and +0 compare equal: their order tells whether equal values were swapped.
  std::vector<double> v{0.0, -0.0, 1.0, -0.0, 0.0, -1.0};
  SortValues(v);
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(v[0], -1.0);
  EXPECT_FALSE(std::signbit(v[1]));
  EXPECT_TRUE(std::signbit(v[2]));
  EXPECT_TRUE(std::signbit(v[3]));
  EXPECT_FALSE(std::signbit(v[4]));
  EXPECT_EQ(v[5], 1.0);
}

TEST(MedianOfRange, EdgesGiveZero) {
  const std::vector<double> v{1.0, 2.0, 3.0, 4.0};
  EXPECT_EQ(MedianOfRange({}, 1, 1), 0.0);
  EXPECT_EQ(MedianOfRange(v, 2, 2), 0.0); // one value: 0, not the value
  EXPECT_EQ(MedianOfRange(v, 3, 2), 0.0);
  EXPECT_EQ(MedianOfRange(v, 0, 3), 0.0);
  EXPECT_EQ(MedianOfRange(v, 1, 5), 0.0);
  const std::vector<double> one{7.5};
  EXPECT_EQ(MedianOfRange(one, 1, 1), 0.0);
}

TEST(MedianOfRange, OddEvenAndInnerRanges) {
  const std::vector<double> v{1.0, 2.0, 4.0, 8.0, 16.0};
  EXPECT_EQ(MedianOfRange(v, 1, 5), 4.0);
  EXPECT_EQ(MedianOfRange(v, 1, 4), 3.0);
  EXPECT_EQ(MedianOfRange(v, 1, 2), 1.5);
  EXPECT_EQ(MedianOfRange(v, 2, 4), 4.0);
  EXPECT_EQ(MedianOfRange(v, 2, 5), 6.0);
}

TEST(MiddleMedian, EqualsMedianOfSortedValues) {
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(12.0, 0.3);
  std::uniform_int_distribution<int> coarse(0, 6);
  for (std::size_t n = 0; n <= 130; ++n) {
    for (int variant = 0; variant < 2; ++variant) {
      std::vector<double> v(n);
      for (double& x : v)
        x = variant == 0 ? noise(rng) : coarse(rng) * 0.5; // coarse: many ties
      std::vector<double> sorted = v;
      SortValues(sorted);
      const double expected = MedianOfRange(sorted, 1, static_cast<long long>(n));
      EXPECT_EQ(MiddleMedian(v), expected) << "n = " << n << " variant " << variant;
    }
  }
}

// Long light curves with the shapes that make a selection by value ranges go wrong:
// far outliers (the middle lies in a narrow slice of the range), two separated groups
// (the middle values in different slices), values a few ulps apart, infinities.
TEST(MiddleMedian, EqualsMedianOfSortedValuesForAwkwardLongSeries) {
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0.0, 1.0);
  const double inf = std::numeric_limits<double>::infinity();
  for (std::size_t n : {49u, 50u, 257u, 1000u, 1001u, 4096u}) {
    for (int variant = 0; variant < 7; ++variant) {
      std::vector<double> v(n);
      for (std::size_t i = 0; i < n; ++i) {
        const double g = noise(rng);
        switch (variant) {
        case 0:
          v[i] = 12.0 + 0.01 * g + (i % 97 == 0 ? 1e6 * g : 0.0);
          break; // far outliers
        case 1:
          v[i] = (i % 2 == 0 ? -5.0 : 7.0) + 1e-3 * g;
          break; // two groups
        case 2:
          v[i] = i < n / 2 ? 1.0 : 2.0;
          break; // two values
        case 3:
          v[i] = std::nextafter(1.0, 2.0 + g);
          break; // ulps apart
        case 4:
          v[i] = 5e-324 * static_cast<double>(i % 3);
          break; // denormal range
        case 5:
          v[i] = i == 3 ? inf : i == 8 ? -inf : g;
          break; // infinities
        default:
          v[i] = i % 5 == 0 ? 1e300 * g : g;
          break; // huge range
        }
      }
      std::vector<double> sorted = v;
      std::sort(sorted.begin(), sorted.end());
      const double expected = MedianOfRange(sorted, 1, static_cast<long long>(n));
      std::shuffle(v.begin(), v.end(), rng);
      EXPECT_EQ(MiddleMedian(v), expected) << "n = " << n << " variant " << variant;
    }
  }
}

// ---- Hand-computed indices -----------------------------------------------------------

struct Indices {
  double meanW, median, variance, chiSq, mad, robust, excess, vonNeumann;
  int n;
};

void ExpectIndices(const TStarStat& st, const Indices& x) {
  EXPECT_EQ(st.NAccepted, x.n);
  EXPECT_NEAR(st.RunMeanW, x.meanW, 1e-12);
  EXPECT_NEAR(st.RunMedian, x.median, 1e-12);
  EXPECT_NEAR(st.RunVariance, x.variance, 1e-12);
  EXPECT_NEAR(st.ChiSq, x.chiSq, 1e-12);
  EXPECT_NEAR(st.Mad, x.mad, 1e-12);
  EXPECT_NEAR(st.RobustMedian, x.robust, 1e-12);
  EXPECT_NEAR(st.ExcessVariance, x.excess, 1e-12);
  EXPECT_NEAR(st.VonNeumann, x.vonNeumann, 1e-12);
}

TEST(VariabilityIndices, FourEquallyWeightedValues) {
  TTimeSeries ts = MakeSeries(1, 4);
  ts.Stats[0].MeanErr = 1.0;
  ts.MeanSigmaAll = 1.0;
  SetStar(ts, 0, {1, 3, 2, 6}, {1, 1, 1, 1});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  // mean 3; sorted 1 2 3 6 -> median 2.5; d^2 = 4 0 1 9 -> S 14;
  // |m - 2.5| = 1.5 .5 .5 3.5 -> MAD 1, R 6; E = 14 - 4; V = 4 + 1 + 16.
  ExpectIndices(ts.Stats[0], {3.0, 2.5, 3.5, 14.0, 1.0, 2.0, 10.0 / 36.0, 14.0 / 21.0, 4});
  EXPECT_TRUE(log.Contains("Mean and Sigma (RUN) calculated"));
}

TEST(VariabilityIndices, WeightsFollowTheErrors) {
  TTimeSeries ts = MakeSeries(1, 2);
  ts.Stats[0].MeanErr = 1.0;
  SetStar(ts, 0, {1, 4}, {1, 0.5});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  // w = 1, 4 -> mean 17/5 = 3.4; median of two values is their mean 2.5;
  // d^2 = 5.76, 0.36; C = 5.76 + 0.36/0.25; a = 1.5, 1.5 -> R = 1.5 + 3;
  // E = 4.76 + 0.11 over 3.4^2 * 2; V = 9.
  ExpectIndices(ts.Stats[0], {3.4, 2.5, 3.06, 7.2, 1.5, 4.5, 4.87 / 23.12, 6.12 / 9.0, 2});
}

TEST(VariabilityIndices, OneAcceptedValue) {
  TTimeSeries ts = MakeSeries(1, 3);
  SetStar(ts, 0, {12.0, 11.0, 13.0}, {0.1, 0.1, 0.1});
  ts.Rows[1].Items[0].Valid = false;
  ts.Rows[2].Items[0].Valid = false;
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  ExpectIndices(ts.Stats[0], {12.0, 0.0, 0.0, 0.0, 0.0, 0.1, -0.01 / 144.0, 0.0, 1});
}

TEST(VariabilityIndices, NoAcceptedValueClearsEveryIndex) {
  TTimeSeries ts = MakeSeries(2, 3);
  for (TDataLine& row : ts.Rows)
    row.Items[1].Valid = false;
  TStarStat& st = ts.Stats[1];
  st.NAccepted = 9;
  st.RunMeanW = st.RunMedian = st.RunVariance = st.ChiSq = st.Mad = 5.0;
  st.RobustMedian = st.ExcessVariance = st.VonNeumann = 5.0;
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  ExpectIndices(st, {0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ts.Stats[0].NAccepted, 3);
}

TEST(VariabilityIndices, EqualMagnitudesHaveNoScatter) {
  TTimeSeries ts = MakeSeries(1, 5);
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  const TStarStat& st = ts.Stats[0];
  EXPECT_EQ(st.RunVariance, 0.0);
  EXPECT_EQ(st.ChiSq, 0.0);
  EXPECT_EQ(st.VonNeumann, 0.0);
  EXPECT_EQ(st.Mad, 0.0);
  EXPECT_DOUBLE_EQ(st.RunMeanW, 12.0);
}

// ---- Acceptance ----------------------------------------------------------------------

TEST(VariabilityIndices, ErrorLimitIsInclusive) {
  TTimeSeries ts = MakeSeries(1, 3);
  ts.Stats[0].MeanErr = 0.25;
  const double limit = 1.5 * 0.25;
  SetStar(ts, 0, {10, 11, 12}, {limit, std::nextafter(limit, 1.0), 0.1});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 1.5, 2.0, log);
  EXPECT_EQ(ts.Stats[0].NAccepted, 2);
  EXPECT_DOUBLE_EQ(ts.Stats[0].RunMedian, 11.0); // 10 and 12 taken, 11 left out
}

TEST(VariabilityIndices, NoisyFrameIsSkippedForEveryStar) {
  TTimeSeries ts = MakeSeries(3, 4);
  ts.MeanSigmaAll = 0.2;
  ts.Rows[0].FrameErr = 0.4;                      // 2 x 0.2: on the limit, kept
  ts.Rows[2].FrameErr = std::nextafter(0.4, 1.0); // just above: skipped
  for (std::size_t s = 0; s < 3; ++s)
    SetStar(ts, s, {1, 2, 100, 3}, {0.1, 0.1, 0.1, 0.1});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  for (const TStarStat& st : ts.Stats) {
    EXPECT_EQ(st.NAccepted, 3);
    EXPECT_DOUBLE_EQ(st.RunMeanW, 2.0);
    EXPECT_DOUBLE_EQ(st.RunMedian, 2.0);
    // Only rows 0 and 1 are neighbours: row 2 was skipped, so 3 has no predecessor.
    EXPECT_DOUBLE_EQ(st.VonNeumann, 2.0 / 1.0);
  }
}

TEST(VariabilityIndices, SuccessiveDifferencesNeedBothRowsAccepted) {
  TTimeSeries ts = MakeSeries(1, 5);
  SetStar(ts, 0, {1, 3, 0, 5, 4}, {0.1, 0.1, 0.1, 0.1, 0.1});
  ts.Rows[2].Items[0].Valid = false; // a deleted point keeps its RunMag, which must not pair
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  // Accepted 1 3 _ 5 4: pairs (1,3) and (5,4) only -> V = 4 + 1; mean 3.25.
  const double s = 2.25 * 2.25 + 0.25 * 0.25 + 1.75 * 1.75 + 0.75 * 0.75;
  EXPECT_NEAR(ts.Stats[0].VonNeumann, s / 5.0, 1e-12);
}

TEST(VariabilityIndices, LastRowAddsNoDifference) {
  // Two stars side by side: the last row of the first must not pair with anything,
  // in particular not with the next star's first value.
  TTimeSeries ts = MakeSeries(2, 3);
  SetStar(ts, 0, {1, 2, 4}, {0.1, 0.1, 0.1});
  SetStar(ts, 1, {50, 50, 50}, {0.1, 0.1, 0.1});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  const double mean = 7.0 / 3.0;
  const double s = (1 - mean) * (1 - mean) + (2 - mean) * (2 - mean) + (4 - mean) * (4 - mean);
  EXPECT_NEAR(ts.Stats[0].VonNeumann, s / (1.0 + 4.0), 1e-12);
}

// ---- Undefined divisions -------------------------------------------------------------

void ExpectAllFinite(const TStarStat& st) {
  for (double v : {st.RunMeanW, st.RunMedian, st.RunVariance, st.ChiSq, st.Mad, st.RobustMedian, st.ExcessVariance,
                   st.VonNeumann}) {
    EXPECT_TRUE(std::isfinite(v));
  }
}

TEST(VariabilityIndices, ZeroErrorAddsNothingToWeightedSums) {
  TTimeSeries ts = MakeSeries(1, 3);
  ts.Stats[0].MeanErr = 1.0;
  SetStar(ts, 0, {1, 3, 5}, {0, 1, 1});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  // Weighted over 3 and 5 only -> 4; median 3 over all three; d^2 = 9 1 1;
  // C and R skip the first value: C = 2, a = 2 0 2 -> R = 2 over N - 1 = 2;
  // E = 9 + 0 + 0 over 16 * 3.
  ExpectIndices(ts.Stats[0], {4.0, 3.0, 11.0 / 3.0, 2.0, 2.0, 1.0, 9.0 / 48.0, 11.0 / 8.0, 3});
  ExpectAllFinite(ts.Stats[0]);
}

TEST(VariabilityIndices, NoWeightAtAllFallsBackToPlainMean) {
  TTimeSeries ts = MakeSeries(1, 2);
  ts.Stats[0].MeanErr = 0.0; // 0 <= 2 x 0: zero errors are accepted
  SetStar(ts, 0, {2, 4}, {0, 0});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  ExpectIndices(ts.Stats[0], {3.0, 3.0, 1.0, 0.0, 1.0, 0.0, 2.0 / 18.0, 2.0 / 4.0, 2});
  ExpectAllFinite(ts.Stats[0]);
}

TEST(VariabilityIndices, ZeroMeanGivesNoExcessVariance) {
  TTimeSeries ts = MakeSeries(1, 2);
  SetStar(ts, 0, {-1, 1}, {0.1, 0.1});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  EXPECT_EQ(ts.Stats[0].ExcessVariance, 0.0);
  ExpectAllFinite(ts.Stats[0]);
}

TEST(VariabilityIndices, TinyErrorsNeverStoreInfinity) {
  TTimeSeries ts = MakeSeries(1, 3);
  SetStar(ts, 0, {1, 2e300, 3}, {1e-170, 1e-300, 0.1});
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  ExpectAllFinite(ts.Stats[0]);
}

TEST(VariabilityIndices, WithoutStarRecordsOnlyLogs) {
  TTimeSeries ts = MakeSeries(2, 3);
  ts.Stats.clear();
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  EXPECT_TRUE(ts.Stats.empty());
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"Mean and Sigma (RUN) calculated"});
}

// ---- Many stars: the block-wise computation against a star-by-star one ----------------

// Star by star, rows in order, sorting with the Shell sort: the computation in its most
// direct form.
TStarStat DirectIndices(const TTimeSeries& ts, std::size_t s, double kStar, double kData) {
  auto accepted = [&](std::size_t j) {
    const TMeasurement& x = ts.Rows[j].Items[s];
    return x.Valid && x.Err <= kStar * ts.Stats[s].MeanErr && ts.Rows[j].FrameErr <= kData * ts.MeanSigmaAll;
  };
  std::vector<double> buf;
  double a = 0, w = 0;
  for (std::size_t j = 0; j < ts.Rows.size(); ++j) {
    if (!accepted(j)) continue;
    const TMeasurement& x = ts.Rows[j].Items[s];
    a += 1.0 / (x.Err * x.Err) * x.RunMag;
    w += 1.0 / (x.Err * x.Err);
    buf.push_back(x.RunMag);
  }
  TStarStat st;
  const long long n = static_cast<long long>(buf.size());
  if (n == 0) return st;
  st.NAccepted = static_cast<std::uint16_t>(n);
  st.RunMeanW = a / w;
  SortValues(buf);
  st.RunMedian = MedianOfRange(buf, 1, n);
  buf.clear();
  double S = 0, C = 0, R = 0, E = 0, V = 0;
  for (std::size_t j = 0; j < ts.Rows.size(); ++j) {
    if (!accepted(j)) continue;
    const TMeasurement& x = ts.Rows[j].Items[s];
    const double d2 = (x.RunMag - st.RunMeanW) * (x.RunMag - st.RunMeanW);
    S += d2;
    C += d2 / (x.Err * x.Err);
    const double ad = std::fabs(x.RunMag - st.RunMedian);
    buf.push_back(ad);
    R += ad / x.Err;
    E += d2 - x.Err * x.Err;
    if (j + 1 < ts.Rows.size() && accepted(j + 1)) {
      const double dm = ts.Rows[j + 1].Items[s].RunMag - x.RunMag;
      V += dm * dm;
    }
  }
  SortValues(buf);
  st.Mad = MedianOfRange(buf, 1, n);
  st.RunVariance = S / static_cast<double>(n);
  st.ChiSq = C;
  st.RobustMedian = n > 1 ? R / static_cast<double>(n - 1) : 0.1;
  st.ExcessVariance = E / (st.RunMeanW * st.RunMeanW * static_cast<double>(n));
  st.VonNeumann = V > 0 ? S / V : 0.0;
  return st;
}

TEST(VariabilityIndices, ManyStarsMatchTheDirectComputation) {
  // 301 stars: several blocks, the last one partial; rows of mixed quality; enough
  // measurements for the stars to be split over threads.
  const std::size_t stars = 301, rows = 900;
  TTimeSeries ts = MakeSeries(stars, rows);
  std::mt19937 rng(3);
  std::normal_distribution<double> mag(0.0, 0.05);
  std::uniform_real_distribution<double> err(0.01, 0.08), u(0.0, 1.0);
  for (std::size_t j = 0; j < rows; ++j) {
    ts.Rows[j].FrameErr = 0.03 + 0.02 * u(rng);
    for (std::size_t s = 0; s < stars; ++s) {
      TMeasurement& x = ts.Rows[j].Items[s];
      x.RunMag = 10.0 + static_cast<double>(s % 37) * 0.1 + mag(rng);
      x.Err = err(rng);
      x.Valid = u(rng) > 0.1;
    }
  }
  for (TStarStat& st : ts.Stats)
    st.MeanErr = 0.04;
  ts.MeanSigmaAll = 0.04;
  MemoryLog log;
  ComputeVariabilityIndices(ts, 1.5, 1.1, log);
  int withValues = 0;
  for (std::size_t s = 0; s < stars; ++s) {
    const TStarStat direct = DirectIndices(ts, s, 1.5, 1.1);
    const TStarStat& st = ts.Stats[s];
    SCOPED_TRACE(s);
    // The same sums in the same order: the results agree to the last bit.
    EXPECT_EQ(st.NAccepted, direct.NAccepted);
    EXPECT_EQ(st.RunMeanW, direct.RunMeanW);
    EXPECT_EQ(st.RunMedian, direct.RunMedian);
    EXPECT_EQ(st.RunVariance, direct.RunVariance);
    EXPECT_EQ(st.ChiSq, direct.ChiSq);
    EXPECT_EQ(st.Mad, direct.Mad);
    EXPECT_EQ(st.RobustMedian, direct.RobustMedian);
    EXPECT_EQ(st.ExcessVariance, direct.ExcessVariance);
    EXPECT_EQ(st.VonNeumann, direct.VonNeumann);
    if (st.NAccepted > 1) ++withValues;
  }
  EXPECT_GT(withValues, 250); // the comparison covered real statistics
}

TEST(VariabilityIndices, RowsBeyondTheInitialBufferSize) {
  // More rows than the initial work buffer holds: the buffers grow to the data.
  const std::size_t rows = kInitialWorkValues + 5;
  TTimeSeries ts = MakeSeries(1, rows);
  for (std::size_t j = 0; j < rows; ++j)
    ts.Rows[j].Items[0].RunMag = (j % 2 == 0) ? 11.0 : 13.0;
  MemoryLog log;
  ComputeVariabilityIndices(ts, 2.0, 2.0, log);
  const TStarStat& st = ts.Stats[0];
  EXPECT_EQ(st.NAccepted, std::numeric_limits<std::uint16_t>::max()); // the 16-bit count saturates
  EXPECT_NEAR(st.RunMeanW, 12.0 - 1.0 / static_cast<double>(rows), 1e-10);
  EXPECT_DOUBLE_EQ(st.RunMedian, 11.0); // the odd count has one more 11
  EXPECT_NEAR(st.RunVariance, 1.0, 1e-9);
  EXPECT_NEAR(st.VonNeumann, static_cast<double>(rows) / (4.0 * static_cast<double>(rows - 1)), 1e-9);
}

} // namespace
} // namespace morvik
