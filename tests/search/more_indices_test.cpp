#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "search/more_indices.hpp"
#include "search/variability.hpp"
#include "series_builder.hpp"

namespace morvik {
namespace {

MoreIndices Of(const std::vector<double>& mags, const std::vector<double>& errs, const std::vector<double>& times) {
  std::vector<double> scratch(mags.size());
  return IndicesOf(mags, errs, times, scratch);
}

// Worked by hand from the definitions: mean 10.2, residuals -0.2 0 -0.1 0.2 0.1,
// delta = sqrt(5/4) x residual / 0.1; rows 1-2 and 3-4 are pairs, row 5 is single.
TEST(MoreIndices, FiveMeasurementsByHand) {
  const MoreIndices m = Of({10.0, 10.2, 10.1, 10.4, 10.3}, {0.1, 0.1, 0.1, 0.1, 0.1}, {0.0, 0.01, 1.0, 1.01, 2.0});
  EXPECT_EQ(m.N, 5u);
  EXPECT_NEAR(m.Iqr, 0.2, 1e-12); // quartiles 10.1 and 10.3
  // J: pair 1 has P = 0, pair 2 P = -2.5, the single P = 1.25 - 1.
  const double j = (0.0 - std::sqrt(2.5) + 0.5) / 3.0;
  EXPECT_NEAR(m.StetsonJ, j, 1e-12);
  // K: mean |delta| = 1.5 sqrt(1.25) x 4 / 5, root mean square sqrt(2.5).
  const double k = (6.0 * std::sqrt(1.25) / 5.0) / std::sqrt(2.5);
  EXPECT_NEAR(m.StetsonK, k, 1e-12);
  EXPECT_NEAR(m.StetsonL, j * k / 0.798, 1e-12);
  EXPECT_NEAR(m.InverseEta, 0.10 / 0.15, 1e-12); // squares about the mean / successive squares
  EXPECT_NEAR(m.ExcessScatter, std::sqrt(10.0 / 4.0), 1e-12);
}

// The errors weigh the mean that J, K and the excess are taken about.
TEST(MoreIndices, ErrorsWeighTheMean) {
  // Weights 1/0.01 and 1/0.04: weighted mean 10.2, residuals -0.2 and 0.8.
  const MoreIndices m = Of({10.0, 11.0}, {0.1, 0.2}, {0.0, 5.0});
  const double d1 = std::sqrt(2.0) * -0.2 / 0.1, d2 = std::sqrt(2.0) * 0.8 / 0.2;
  EXPECT_NEAR(m.StetsonJ, (std::sqrt(d1 * d1 - 1.0) + std::sqrt(d2 * d2 - 1.0)) / 2.0, 1e-12);
  EXPECT_NEAR(m.ExcessScatter, std::sqrt(0.04 / 0.01 + 0.64 / 0.04), 1e-12);
  EXPECT_NEAR(m.Iqr, 0.5, 1e-12);
  // 1/eta is unweighted: squares about the plain mean 10.5 (0.5), not the weighted one
  // (0.68), over the successive square 1.
  EXPECT_NEAR(m.InverseEta, 0.5, 1e-12);
}

// The quartiles are selected, not sorted: against the sorted values on series with
// ties, an outlier far out, every length from 2 to 60 and a few long ones.
TEST(MoreIndices, InterquartileRangeMatchesTheSortedValues) {
  std::uint64_t state = 7;
  auto next = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 40) / 16777216.0; // [0, 1)
  };
  std::vector<std::size_t> lengths = {257, 300, 1002};
  for (std::size_t n = 2; n <= 60; ++n)
    lengths.push_back(n);
  for (const std::size_t n : lengths) {
    std::vector<double> mags(n), errs(n, 0.01), times(n);
    for (std::size_t i = 0; i < n; ++i) {
      mags[i] = 12.0 + std::round(next() * 20.0) / 100.0; // many ties
      times[i] = static_cast<double>(i);
    }
    if (n % 3 == 0) mags[n / 2] = 40.0;
    std::vector<double> sorted = mags;
    std::sort(sorted.begin(), sorted.end());
    auto quantile = [&](double q) {
      const double pos = q * static_cast<double>(n - 1);
      const auto lo = static_cast<std::size_t>(pos);
      const std::size_t hi = std::min(lo + 1, n - 1);
      return sorted[lo] + (pos - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
    };
    EXPECT_DOUBLE_EQ(Of(mags, errs, times).Iqr, quantile(0.75) - quantile(0.25)) << n;
  }
}

TEST(MoreIndices, TooFewOrFlatSeriesGiveZeros) {
  const MoreIndices one = Of({10.0}, {0.1}, {0.0});
  EXPECT_EQ(one.N, 1u);
  EXPECT_EQ(one.StetsonJ, 0.0);
  EXPECT_EQ(one.ExcessScatter, 0.0);
  const MoreIndices flat = Of({10.0, 10.0, 10.0}, {0.1, 0.1, 0.1}, {0.0, 0.01, 0.02});
  EXPECT_EQ(flat.InverseEta, 0.0);
  EXPECT_EQ(flat.StetsonK, 0.0);
  EXPECT_EQ(flat.Iqr, 0.0);
  const MoreIndices noErrors = Of({10.0, 10.5, 10.0}, {0.0, 0.0, 0.0}, {0.0, 1.0, 2.0});
  EXPECT_TRUE(std::isfinite(noErrors.StetsonJ));
  EXPECT_TRUE(std::isfinite(noErrors.ExcessScatter));
}

// Only the measurements Search Variables accepts take part.
TEST(MoreIndices, OnlyAcceptedMeasurements) {
  TTimeSeries ts = test::MakeSeries(2, 6);
  test::SetStar(ts, 0, {10.0, 10.2, 10.1, 10.4, 10.3, 13.0}, {0.1, 0.1, 0.1, 0.1, 0.1, 0.1});
  ts.Rows[5].FrameErr = 0.25;          // beyond 2 x MeanSigmaAll: no star takes it
  ts.Rows[2].Items[1].Err = 0.2000001; // beyond 2 x the star's MeanErr
  ts.Rows[3].Items[1].Valid = false;
  const std::vector<MoreIndices> all = ComputeMoreIndices(ts, 2.0, 2.0);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].N, 5u);
  EXPECT_EQ(all[1].N, 3u);
  EXPECT_NEAR(all[0].InverseEta, 0.10 / 0.15, 1e-12);
  TTimeSeries before; // no Run yet
  EXPECT_TRUE(ComputeMoreIndices(before, 2.0, 2.0).empty());
}

// The further indices gathered in the pass of Search Variables are those of their own
// pass, bit for bit, and leave the eight untouched: stars over several blocks, rejected
// measurements and frames, Stetson pairs and single measurements.
TEST(MoreIndices, SearchPassGivesTheSameIndices) {
  constexpr std::size_t kStars = 300, kRows = 40;
  TTimeSeries ts = test::MakeSeries(kStars, kRows);
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / 16777216.0;
  };
  for (std::size_t r = 0; r < kRows; ++r) {
    ts.Rows[r].Time = 2450000.0 + static_cast<double>(r) * (r % 3 == 0 ? 0.05 : 0.015);
    if (r == 7) ts.Rows[r].FrameErr = 0.5;
    for (TMeasurement& m : ts.Rows[r].Items) {
      m.RunMag = 12.0 + next();
      m.Err = 0.05 + 0.1 * next();
      m.Valid = next() > 0.05;
    }
  }
  ts.Rows[3].Items[5].Err = 0.0;
  TTimeSeries plain = ts;
  NullLog log;
  std::vector<MoreIndices> fused;
  ComputeVariabilityIndices(ts, 1.4, 2.0, log, &fused);
  ComputeVariabilityIndices(plain, 1.4, 2.0, log);
  const std::vector<MoreIndices> own = ComputeMoreIndices(ts, 1.4, 2.0);
  ASSERT_EQ(fused.size(), own.size());
  for (std::size_t j = 0; j < kStars; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(fused[j].N, own[j].N);
    for (int k = 0; k < kMoreIndexCount; ++k)
      EXPECT_EQ(MoreIndexValue(fused[j], k), MoreIndexValue(own[j], k));
    EXPECT_EQ(ts.Stats[j], plain.Stats[j]);
  }
  EXPECT_GT(own[0].N, 1u);
  EXPECT_LT(own[0].N, kRows - 1);
}

} // namespace
} // namespace morvik
