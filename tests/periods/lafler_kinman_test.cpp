#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "periods/lafler_kinman.hpp"
#include "periods/lk_literal.hpp"

namespace morvik {
namespace {

// One star; every row valid unless told otherwise.
struct OneStar {
  TTimeSeries ts;
  std::vector<TPeriodogram> pg = std::vector<TPeriodogram>(1);
  MemoryLog log;

  void Add(double time, double runMag, bool valid = true) {
    TDataLine row;
    row.Time = time;
    row.Items.resize(1);
    row.Items[0].RunMag = runMag;
    row.Items[0].Valid = valid;
    ts.Rows.push_back(row);
    ts.RowCount = static_cast<std::int32_t>(ts.Rows.size());
  }
  void SetStats(std::uint16_t nValid, double runVariance) {
    ts.StarCount = 1;
    ts.Stats.assign(1, TStarStat{});
    ts.Stats[0].NValid = nValid;
    ts.Stats[0].RunVariance = runVariance;
  }
  void Compute(double shortest, double longest, double step = 0.01, double p = 2.0, unsigned threads = 0) {
    ComputeLaflerKinman(ts, ts.Stats, pg, 0, shortest, longest, step, p, log, threads);
  }
  double Span() const { return std::fabs(ts.Rows.back().Time - ts.Rows.front().Time); }
};

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

TEST(LaflerKinmanGrid, HalfDaySpanGivesTheUncappedGrid) {
  OneStar s;
  s.Add(2459000.0, 10.0);
  s.Add(2459000.25, 10.5);
  s.Add(2459000.5, 10.2);
  s.SetStats(3, 0.04);
  s.Compute(kLkShortestPeriod, s.Span());
  const TPeriodogram& p = s.pg[0];
  ASSERT_TRUE(p.Computed);
  ASSERT_EQ(p.Freq.size(), 7043u);
  ASSERT_EQ(p.Theta.size(), 7043u);
  EXPECT_EQ(p.Freq[0], 2.0);
  EXPECT_NEAR(p.Freq[1] - p.Freq[0], 0.02, 1e-12);
  EXPECT_LE(p.Freq.back(), 1.0 / 0.007);
  EXPECT_TRUE(s.log.ContainsPrefix("PERIOD_LK: 7043 periods, last th = "));
}

TEST(LaflerKinmanGrid, LongSpanCapsTheStepAtTenThousand) {
  OneStar s;
  for (int i = 0; i <= 20; ++i)
    s.Add(2459000.0 + 0.5 * i, 10.0 + 0.1 * (i % 3));
  s.SetStats(21, 0.01);
  s.Compute(kLkShortestPeriod, s.Span());
  const TPeriodogram& p = s.pg[0];
  EXPECT_EQ(p.Freq[0], 0.1);
  EXPECT_NEAR(p.Freq[1] - p.Freq[0], 0.01427571428571, 1e-12);
  EXPECT_TRUE(p.Freq.size() == 10000u || p.Freq.size() == 10001u);
  EXPECT_LE(p.Freq.back(), 1.0 / 0.007);
  for (std::size_t k = 1; k < p.Freq.size(); ++k)
    ASSERT_GT(p.Freq[k], p.Freq[k - 1]);
}

TEST(LaflerKinmanGrid, ZeroPeriodsUseTheDefaultRange) {
  OneStar s;
  s.Add(0.0, 1.0);
  s.Add(3.0, 2.0);
  s.SetStats(2, 0.25);
  s.Compute(0.0, 3.0);
  const TPeriodogram& p = s.pg[0];
  ASSERT_TRUE(p.Computed);
  EXPECT_EQ(p.Freq[0], 0.1); // 1 / 10 days
  EXPECT_LE(p.Freq.back(), 25.0);
  EXPECT_GT(p.Freq.back(), 24.9);
}

TEST(LaflerKinmanStops, PeriodWithoutReciprocalLogsAndStoresNothing) {
  OneStar s;
  s.Add(0.0, 1.0);
  s.Add(3.0, 2.0);
  s.SetStats(2, 0.25);
  s.Compute(1e-320, 3.0); // 1 / 1e-320 overflows
  EXPECT_TRUE(s.log.Contains("Start and end period should not be zero."));
  EXPECT_FALSE(s.pg[0].Computed);
  EXPECT_TRUE(s.pg[0].Freq.empty());
}

TEST(LaflerKinmanStops, ZeroRunVarianceKeepsTheEarlierPeriodogram) {
  OneStar s;
  s.Add(0.0, 1.0);
  s.Add(0.2, 2.0);
  s.Add(0.4, 1.5);
  s.SetStats(3, 0.2);
  s.Compute(0.007, 0.4);
  const TPeriodogram before = s.pg[0];
  ASSERT_TRUE(before.Computed);
  s.ts.Stats[0].RunVariance = 0.0;
  s.Compute(0.007, 0.4);
  EXPECT_TRUE(s.log.Contains("Sigma is 0"));
  EXPECT_TRUE(SameBits(s.pg[0].Freq, before.Freq));
  EXPECT_TRUE(SameBits(s.pg[0].Theta, before.Theta));
}

TEST(LaflerKinmanStops, ZeroTimeSpanThrowsAndStoresNothing) {
  OneStar s;
  s.Add(5.0, 1.0);
  s.Add(6.0, 2.0);
  s.Add(5.0, 1.5); // last row at the first row's time
  s.SetStats(3, 0.2);
  try {
    s.Compute(0.007, 0.0);
    FAIL() << "no error for a zero time span";
  } catch (const CommandError& e) {
    EXPECT_NE(std::string(e.what()).find("time span of zero"), std::string::npos);
  }
  EXPECT_FALSE(s.pg[0].Computed);
  EXPECT_TRUE(s.pg[0].Freq.empty());
  EXPECT_FALSE(s.log.ContainsPrefix("PERIOD_LK"));

  OneStar single; // a table of one row has no time span either
  single.Add(5.0, 1.0);
  single.SetStats(1, 0.2);
  EXPECT_THROW(single.Compute(0.007, 0.0), CommandError);
}

TEST(LaflerKinmanStops, SpanShorterThanShortestPeriodGivesAnEmptyComputedPeriodogram) {
  OneStar s;
  s.Add(0.0, 1.0);
  s.Add(0.005, 2.0); // f_lo = 200 lies above f_hi = 142.86
  s.SetStats(2, 0.25);
  s.pg[0].Freq = {1.0};
  s.pg[0].Theta = {1.0};
  s.Compute(0.007, s.Span());
  EXPECT_TRUE(s.pg[0].Computed);
  EXPECT_TRUE(s.pg[0].Freq.empty());
  EXPECT_TRUE(s.pg[0].Theta.empty());
  EXPECT_TRUE(s.log.Contains("PERIOD_LK: 000 periods, last th = 0.00"));
}

TEST(LaflerKinmanTheta, FewValidMeasurements) {
  // No valid measurement while a variance is stored: theta 0 at every frequency.
  OneStar none;
  none.Add(0.0, 1.0, false);
  none.Add(0.5, 2.0, false);
  none.SetStats(2, 0.3);
  none.Compute(0.007, 0.5);
  ASSERT_EQ(none.pg[0].Theta.size(), 7043u);
  for (double t : none.pg[0].Theta)
    ASSERT_EQ(t, 0.0);

  OneStar one;
  one.Add(0.0, 1.0, false);
  one.Add(0.2, 3.0);
  one.Add(0.5, 2.0, false);
  one.SetStats(1, 0.3);
  one.Compute(0.007, 0.5);
  for (double t : one.pg[0].Theta)
    ASSERT_EQ(t, 0.0);

  OneStar two;
  two.Add(0.0, 10.0);
  two.Add(0.3, 10.5);
  two.Add(0.5, 12.0, false);
  two.SetStats(4, 0.5); // NValid as stored, not recounted
  two.Compute(0.007, 0.5);
  const double expected = 2.0 * 0.5 * 0.5 / (4 * 0.5);
  for (double t : two.pg[0].Theta)
    ASSERT_DOUBLE_EQ(t, expected);
}

TEST(LaflerKinmanTheta, NegativeFoldsWrapIntoTheCycle) {
  EXPECT_EQ(FoldPhase(-0.25), 0.75);
  EXPECT_EQ(FoldPhase(-1.0), 0.0);
  EXPECT_EQ(FoldPhase(2.75), 0.75);
  EXPECT_EQ(FoldPhase(1e17), 0.0);

  // Phases 0, 0.75, 0.3, 0.5 at f = 1: order 0, 20, 1, 10. Without the wrap the two
  // early rows would lead and the sum would be 562.
  const std::vector<double> dt = {0.0, -0.25, -0.7, 0.5};
  const std::vector<double> mags = {0.0, 10.0, 20.0, 1.0};
  const std::vector<double> freqs = {1.0};
  std::vector<double> theta(1);
  LaflerKinmanThetas(dt, mags, freqs, 2.0, 1.0, theta, 1);
  EXPECT_EQ(theta[0], 100.0 + 400.0 + 361.0 + 81.0);
}

TEST(LaflerKinmanTheta, FirstRowIsThePhaseOriginEvenWhenInvalid) {
  OneStar s;
  s.Add(0.37, 9.0, false);
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int i = 0; i < 40; ++i)
    s.Add(1.0 + 3.0 * u(rng), 10.0 + u(rng));
  s.SetStats(40, 0.08);
  s.Compute(0.007, s.Span());
  const literal::Result ref = literal::LaflerKinman(s.ts, s.ts.Stats, 0, 0.007, s.Span(), 0.01, 2.0);
  EXPECT_TRUE(SameBits(s.pg[0].Theta, ref.theta));

  // Folding from the first valid row instead gives another curve.
  std::vector<double> dt;
  std::vector<double> mags;
  for (std::size_t r = 1; r < s.ts.Rows.size(); ++r) {
    dt.push_back(s.ts.Rows[r].Time - s.ts.Rows[1].Time);
    mags.push_back(s.ts.Rows[r].Items[0].RunMag);
  }
  std::vector<double> other(s.pg[0].Freq.size());
  LaflerKinmanThetas(dt, mags, s.pg[0].Freq, 2.0, 40 * 0.08, other, 1);
  EXPECT_FALSE(SameBits(s.pg[0].Theta, other));
}

TEST(LaflerKinmanTheta, SecondComputationReplacesTheFirst) {
  OneStar s;
  for (int i = 0; i < 30; ++i)
    s.Add(0.02 * i, 10.0 + std::sin(i));
  s.SetStats(30, 0.4);
  s.Compute(0.007, 2.0); // wide grid from 0.5 c/d
  const std::size_t first = s.pg[0].Freq.size();
  s.ts.Stats[0].RunVariance = 0.8;
  s.Compute(0.007, s.Span()); // from 1 / 0.58 c/d
  const literal::Result ref = literal::LaflerKinman(s.ts, s.ts.Stats, 0, 0.007, s.Span(), 0.01, 2.0);
  EXPECT_NE(s.pg[0].Freq.size(), first);
  EXPECT_TRUE(SameBits(s.pg[0].Freq, ref.freq));
  EXPECT_TRUE(SameBits(s.pg[0].Theta, ref.theta));
}

TEST(ShellSortByPhase, FollowsTheGapSequenceWithEqualPhases) {
  // Ten points take the gaps 4 and 1: the gap-4 pass moves A behind its equals, which
  // a stable sort would not do.
  const double phases[10] = {0.5, 0.5, 0.5, 0.5, 0.1, 0.9, 0.9, 0.9, 0.9, 0.9};
  std::vector<PhasePoint> pts;
  for (int i = 0; i < 10; ++i)
    pts.push_back({phases[i], static_cast<double>(i)});
  ShellSortByPhase(pts);
  const double order[10] = {4, 1, 2, 3, 0, 5, 6, 7, 8, 9};
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(pts[static_cast<std::size_t>(i)].mag, order[i]) << i;

  std::vector<PhasePoint> empty;
  ShellSortByPhase(empty);
  std::vector<PhasePoint> one = {{0.3, 1.0}};
  ShellSortByPhase(one);
  EXPECT_EQ(one[0].phase, 0.3);
}

// Random light curves against the literal scan, bit for bit.
struct RandomCase {
  int points;
  double days;
  bool duplicateTimes;
  double exponent;
};

OneStar RandomStar(const RandomCase& c, std::uint64_t seed) {
  OneStar s;
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.05);
  int added = 0;
  while (added < c.points) {
    const double t = 2459000.0 + c.days * u(rng);
    const double m = 12.0 + 0.3 * std::sin(2 * M_PI * t / 0.37) + noise(rng);
    s.Add(t, m, u(rng) > 0.1);
    ++added;
    if (c.duplicateTimes && u(rng) < 0.3) {
      s.Add(t, m + noise(rng)); // same time, another magnitude
      ++added;
    }
  }
  s.SetStats(static_cast<std::uint16_t>(c.points), 0.05);
  return s;
}

TEST(LaflerKinmanFast, EqualsTheLiteralScanBitForBit) {
  const RandomCase cases[] = {
      {200, 3.0, false, 2.0}, {500, 0.6, false, 2.0}, {150, 2.0, true, 2.0},
      {120, 2.0, false, 1.5}, {90, 1.0, true, 3.0},
  };
  std::uint64_t seed = 11;
  for (const RandomCase& c : cases) {
    OneStar s = RandomStar(c, seed++);
    s.Compute(0.007, s.Span(), 0.01, c.exponent);
    const literal::Result ref = literal::LaflerKinman(s.ts, s.ts.Stats, 0, 0.007, s.Span(), 0.01, c.exponent);
    ASSERT_TRUE(s.pg[0].Computed);
    EXPECT_TRUE(SameBits(s.pg[0].Freq, ref.freq)) << c.points;
    EXPECT_TRUE(SameBits(s.pg[0].Theta, ref.theta)) << c.points;
    for (double t : s.pg[0].Theta)
      ASSERT_TRUE(std::isfinite(t));
  }
}

TEST(LaflerKinmanFast, TiesAtSomeFrequenciesFollowTheReferenceOrder) {
  // Times on a grid of 1/64 day: at frequencies that are multiples of 1/64... many
  // phases coincide exactly; magnitudes differ, so the order of equals matters.
  OneStar s;
  std::mt19937_64 rng(3);
  std::uniform_int_distribution<int> slot(0, 64 * 4);
  std::normal_distribution<double> noise(0.0, 0.1);
  for (int i = 0; i < 300; ++i)
    s.Add(slot(rng) / 64.0, 11.0 + noise(rng));
  s.ts.Rows.front().Time = 0.0;
  s.ts.Rows.back().Time = 4.0;
  s.SetStats(300, 0.01);
  std::vector<double> dt;
  std::vector<double> mags;
  std::vector<double> times;
  for (const auto& r : s.ts.Rows) {
    dt.push_back(r.Time);
    times.push_back(r.Time);
    mags.push_back(r.Items[0].RunMag);
  }
  const std::vector<double> freqs = {0.25, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0, 32.0, 64.0, 3.3, 17.123};
  std::vector<double> theta(freqs.size());
  LaflerKinmanThetas(dt, mags, freqs, 2.0, 3.0, theta, 1);
  for (std::size_t k = 0; k < freqs.size(); ++k)
    EXPECT_EQ(theta[k], literal::Theta(times, 0.0, mags, freqs[k], 2.0, 3.0)) << freqs[k];
}

TEST(LaflerKinmanFast, EqualSmallestPhasesInShuffledRowsFollowTheReferenceOrder) {
  // Random times in shuffled rows, with points at whole days: at whole frequencies they
  // share phase 0 with the origin; two more points share phase 0.5 in one case.
  const struct {
    int wholeDays;
    bool halfTie;
    double exponent;
  } cases[] = {{1, false, 2.0}, {12, false, 2.0}, {12, false, 1.5}, {40, false, 2.0}, {12, true, 2.0}};
  std::uint64_t seed = 21;
  for (const auto& c : cases) {
    std::mt19937_64 rng(seed++);
    std::uniform_real_distribution<double> when(0.0, 40.0);
    std::normal_distribution<double> noise(0.0, 0.1);
    std::vector<double> times = {0.0};
    for (int d = 1; d <= c.wholeDays; ++d)
      times.push_back(static_cast<double>(d));
    if (c.halfTie) times.insert(times.end(), {0.5, 1.5});
    while (times.size() < 400)
      times.push_back(when(rng));
    std::shuffle(times.begin() + 1, times.end(), rng); // the origin stays the first row
    std::vector<double> mags;
    for (std::size_t i = 0; i < times.size(); ++i)
      mags.push_back(12.0 + noise(rng));
    const std::vector<double> freqs = {0.25, 0.5, 1.0, 2.0, 3.0, 1.0000001, 7.31};
    std::vector<double> theta(freqs.size());
    LaflerKinmanThetas(times, mags, freqs, c.exponent, 2.0, theta, 1);
    for (std::size_t k = 0; k < freqs.size(); ++k)
      EXPECT_EQ(theta[k], literal::Theta(times, 0.0, mags, freqs[k], c.exponent, 2.0))
          << c.wholeDays << " days, f " << freqs[k];
  }
}

TEST(LaflerKinmanFast, CrowdedPhasesInShuffledRowsMatchTheLiteralScan) {
  // A regular cadence of 0.01 day in shuffled row order: near 100 c/d every phase
  // falls into a few buckets.
  std::vector<double> times;
  std::vector<double> mags;
  for (int i = 0; i < 3000; ++i) {
    times.push_back(0.01 * i);
    mags.push_back(10.0 + 0.001 * ((i * 7919) % 101));
  }
  std::mt19937_64 rng(5);
  for (std::size_t i = times.size() - 1; i > 1; --i) {
    std::uniform_int_distribution<std::size_t> pick(1, i);
    const std::size_t j = pick(rng);
    std::swap(times[i], times[j]);
    std::swap(mags[i], mags[j]);
  }
  const std::vector<double> freqs = {99.9999, 100.0, 100.00003, 50.00001, 33.3333};
  std::vector<double> theta(freqs.size());
  LaflerKinmanThetas(times, mags, freqs, 2.0, 1.0, theta, 2);
  for (std::size_t k = 0; k < freqs.size(); ++k)
    EXPECT_EQ(theta[k], literal::Theta(times, 0.0, mags, freqs[k], 2.0, 1.0)) << freqs[k];
}

TEST(LaflerKinmanFast, ResultDoesNotDependOnTheNumberOfThreads) {
  OneStar s = RandomStar({700, 5.0, true, 2.0}, 99);
  std::vector<double> dt;
  std::vector<double> mags;
  for (const auto& r : s.ts.Rows) {
    if (!r.Items[0].Valid) continue;
    dt.push_back(r.Time - s.ts.Rows[0].Time);
    mags.push_back(r.Items[0].RunMag);
  }
  const std::vector<double> freqs = LaflerKinmanFrequencies(0.2, 142.0, 0.0142, 10001);
  ASSERT_GT(freqs.size(), 9000u);
  std::vector<double> one(freqs.size());
  LaflerKinmanThetas(dt, mags, freqs, 2.0, 35.0, one, 1);
  for (unsigned threads : {0u, 2u, 3u, 8u}) {
    std::vector<double> many(freqs.size());
    LaflerKinmanThetas(dt, mags, freqs, 2.0, 35.0, many, threads);
    EXPECT_TRUE(SameBits(one, many)) << threads;
  }
}

TEST(LaflerKinmanFast, MoreThanHundredThousandValidMeasurements) {
  OneStar s;
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  s.Add(0.0, 10.5);
  for (int i = 0; i < 120000; ++i)
    s.Add(100.0 * u(rng), 10.0 + u(rng));
  s.Add(100.0, 10.5);        // a span of 100 days
  s.SetStats(60000, 0.08);   // NValid is 16-bit; theta uses it as stored
  s.Compute(0.5, 1.0, 50.0); // step 0.5 c/d: frequencies 1, 1.5, 2
  const literal::Result ref = literal::LaflerKinman(s.ts, s.ts.Stats, 0, 0.5, 1.0, 50.0, 2.0);
  ASSERT_EQ(s.pg[0].Freq.size(), 3u);
  EXPECT_TRUE(SameBits(s.pg[0].Theta, ref.theta));
  EXPECT_GT(s.pg[0].Theta[0], 1.0); // noise: near 2 * 120000 / 60000
}

TEST(LaflerKinmanFast, TimesTooLargeToFoldStayFinite) {
  const std::vector<double> dt = {0.0, 1e300, -1e300, 2.0};
  const std::vector<double> mags = {1.0, 2.0, 3.0, 4.0};
  const std::vector<double> freqs = {1e10, 0.3};
  std::vector<double> theta(2);
  LaflerKinmanThetas(dt, mags, freqs, 2.0, 1.0, theta, 1);
  for (std::size_t k = 0; k < freqs.size(); ++k) {
    EXPECT_TRUE(std::isfinite(theta[k]));
    EXPECT_EQ(theta[k], literal::Theta(dt, 0.0, mags, freqs[k], 2.0, 1.0));
  }
}

} // namespace
} // namespace morvik

namespace morvik {
namespace {

// Four nights of 8 hours with a pulsation of 0.3719 days: the deepest minimum of
// theta lies within one frequency step of the pulsation frequency, not on an alias.
TEST(LaflerKinmanScience, FindsTheInjectedPeriod) {
  OneStar s;
  std::mt19937_64 rng(21);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.02);
  const double f0 = 1.0 / 0.3719;
  std::vector<double> times;
  for (int i = 0; i < 400; ++i)
    times.push_back(std::floor(4.0 * u(rng)) + u(rng) / 3.0);
  std::sort(times.begin(), times.end());
  for (double t : times)
    s.Add(2459000.3 + t, 12.0 + 0.3 * std::sin(2.0 * M_PI * f0 * t) + noise(rng));
  s.SetStats(400, 0.045);
  s.Compute(kLkShortestPeriod, s.Span());
  const TPeriodogram& p = s.pg[0];
  ASSERT_GT(p.Theta.size(), 100u);
  const auto best = static_cast<std::size_t>(std::min_element(p.Theta.begin(), p.Theta.end()) - p.Theta.begin());
  const double step = p.Freq[1] - p.Freq[0];
  EXPECT_LE(std::fabs(p.Freq[best] - f0), step) << p.Freq[best];
  EXPECT_LT(p.Theta[best], 0.2);
}

} // namespace
} // namespace morvik
