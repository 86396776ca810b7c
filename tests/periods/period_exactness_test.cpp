// Every fast periodogram against a plain loop over the same grid, the analytic
// false-alarm probability against worked values, and results that do not depend on
// the number of threads.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <span>

#include "common/errors.hpp"
#include "periods/lafler_kinman.hpp"
#include "periods/period_fold.hpp"
#include "periods/period_methods.hpp"
#include "periods/period_search.hpp"
#include "periods/period_significance.hpp"

namespace morvik {
namespace {

inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

struct Random3 {
  std::vector<double> t, y, dy;
};

Random3 RandomSeries(std::size_t n, unsigned seed, double span) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Random3 r;
  for (std::size_t i = 0; i < n; ++i) {
    r.t.push_back(2460000.0 + span * u(g));
    r.y.push_back(12.0 + 0.1 * u(g) + 0.05 * std::sin(r.t.back() * 1.7));
    r.dy.push_back(0.005 + 0.02 * u(g));
  }
  return r;
}

// Weighted least squares with a constant and `h` harmonics by Gaussian elimination on
// the full normal equations; the fraction of the weighted variance removed. Magnitudes
// from the first one (a constant the fit absorbs) keep the sums well conditioned.
double PlainHarmonicFit(const Random3& s, double f, int h) {
  const std::size_t m = 2 * static_cast<std::size_t>(h) + 1;
  std::vector<double> a(m * m, 0.0), b(m, 0.0);
  double W = 0, Y = 0, YY = 0;
  const double tref = s.t[0];
  for (std::size_t i = 0; i < s.t.size(); ++i) {
    const double w = 1.0 / (s.dy[i] * s.dy[i]);
    std::vector<double> phi{1.0};
    for (int j = 1; j <= h; ++j) {
      phi.push_back(std::cos(kTwoPi * j * f * (s.t[i] - tref)));
      phi.push_back(std::sin(kTwoPi * j * f * (s.t[i] - tref)));
    }
    for (std::size_t p = 0; p < m; ++p) {
      b[p] += w * (s.y[i] - s.y[0]) * phi[p];
      for (std::size_t q = 0; q < m; ++q)
        a[p * m + q] += w * phi[p] * phi[q];
    }
    W += w;
    Y += w * (s.y[i] - s.y[0]);
    YY += w * (s.y[i] - s.y[0]) * (s.y[i] - s.y[0]);
  }
  std::vector<double> x(b);
  std::vector<double> aa(a);
  for (std::size_t c = 0; c < m; ++c)
    for (std::size_t r = c + 1; r < m; ++r) {
      const double k = aa[r * m + c] / aa[c * m + c];
      for (std::size_t q = c; q < m; ++q)
        aa[r * m + q] -= k * aa[c * m + q];
      x[r] -= k * x[c];
    }
  for (std::size_t c = m; c-- > 0;) {
    for (std::size_t q = c + 1; q < m; ++q)
      x[c] -= aa[c * m + q] * x[q];
    x[c] /= aa[c * m + c];
  }
  const double explained = std::inner_product(x.begin(), x.end(), b.begin(), 0.0);
  return (explained - Y * Y / W) / (YY - Y * Y / W);
}

// Zechmeister & Kuerster's sums written out, sines and cosines computed directly
// (times from the first, which a power does not depend on, keep them exact).
double PlainGls(const Random3& s, double f) {
  double W = 0;
  for (double e : s.dy)
    W += 1.0 / (e * e);
  double Y = 0, C = 0, S = 0, YYh = 0, YCh = 0, YSh = 0, CCh = 0, SSh = 0, CSh = 0;
  for (std::size_t i = 0; i < s.t.size(); ++i) {
    const double w = 1.0 / (s.dy[i] * s.dy[i]) / W;
    const double c = std::cos(kTwoPi * f * (s.t[i] - s.t[0])), sn = std::sin(kTwoPi * f * (s.t[i] - s.t[0]));
    Y += w * s.y[i];
    C += w * c;
    S += w * sn;
    YYh += w * s.y[i] * s.y[i];
    YCh += w * s.y[i] * c;
    YSh += w * s.y[i] * sn;
    CCh += w * c * c;
    SSh += w * sn * sn;
    CSh += w * c * sn;
  }
  const double YY = YYh - Y * Y, YC = YCh - Y * C, YS = YSh - Y * S;
  const double CC = CCh - C * C, SS = SSh - S * S, CS = CSh - C * S;
  const double D = CC * SS - CS * CS;
  return (SS * YC * YC + CC * YS * YS - 2 * CS * YC * YS) / (YY * D);
}

void ExpectClose(const std::vector<double>& fast, const std::vector<double>& plain, double rel, double floor) {
  ASSERT_EQ(fast.size(), plain.size());
  double worst = 0.0;
  std::size_t at = 0;
  for (std::size_t k = 0; k < fast.size(); ++k) {
    const double e = std::fabs(fast[k] - plain[k]) / std::max(std::fabs(plain[k]), floor);
    if (e > worst) {
      worst = e;
      at = k;
    }
  }
  EXPECT_LE(worst, rel) << "at " << at << ": " << fast[at] << " vs " << plain[at];
}

class Exactness : public ::testing::TestWithParam<unsigned> {};

TEST_P(Exactness, EachMethodMatchesAPlainLoop) {
  const Random3 s = RandomSeries(70, GetParam(), 400.0);
  GridRequest req;
  req.minPeriod = 0.3;
  req.oversampling = 5;
  const FrequencyGrid grid = MakeFrequencyGrid(TimeSpan(s.t), req);
  const std::vector<double> freqs = grid.Values();
  ASSERT_GT(grid.count, 5000u); // several blocks, so the rotation runs long
  MethodRun run;
  run.threads = 2;

  std::vector<double> fast(grid.count), plain(grid.count);
  ASSERT_TRUE(GlsPower(s.t, s.y, s.dy, grid, fast, run));
  for (std::size_t k = 0; k < grid.count; ++k)
    plain[k] = PlainGls(s, freqs[k]);
  ExpectClose(fast, plain, 1e-9, 1e-3);

  ASSERT_TRUE(MultiHarmonicPower(s.t, s.y, s.dy, grid, 1, fast, run));
  ExpectClose(fast, plain, 1e-9, 1e-3);

  ASSERT_TRUE(MultiHarmonicPower(s.t, s.y, s.dy, grid, 3, fast, run));
  for (std::size_t k = 0; k < grid.count; ++k)
    plain[k] = PlainHarmonicFit(s, freqs[k], 3);
  ExpectClose(fast, plain, 1e-9, 1e-3);

  ASSERT_TRUE(SpectralWindow(s.t, s.dy, grid, fast, run));
  double W = 0;
  for (double e : s.dy)
    W += 1.0 / (e * e);
  for (std::size_t k = 0; k < grid.count; ++k) {
    double c = 0, sn = 0;
    for (std::size_t i = 0; i < s.t.size(); ++i) {
      c += std::cos(kTwoPi * freqs[k] * (s.t[i] - s.t[0])) / (s.dy[i] * s.dy[i]) / W;
      sn += std::sin(kTwoPi * freqs[k] * (s.t[i] - s.t[0])) / (s.dy[i] * s.dy[i]) / W;
    }
    plain[k] = c * c + sn * sn;
  }
  ExpectClose(fast, plain, 1e-9, 1e-3);

  ASSERT_TRUE(LaflerKinmanTheta(s.t, s.y, freqs, fast, run));
  const double tmin = *std::min_element(s.t.begin(), s.t.end());
  const double mean = std::accumulate(s.y.begin(), s.y.end(), 0.0) / static_cast<double>(s.y.size());
  double ss = 0;
  for (double v : s.y)
    ss += (v - mean) * (v - mean);
  for (std::size_t k = 0; k < grid.count; ++k) {
    // The first and last times fold onto phase 0 together at every fifth frequency; such
    // ties keep the order of the reference Shell sort.
    std::vector<PhasePoint> folded;
    for (std::size_t i = 0; i < s.t.size(); ++i) {
      const double x = (s.t[i] - tmin) * freqs[k];
      folded.push_back({x - std::floor(x), s.y[i]});
    }
    ShellSortByPhase(folded);
    double sum = 0;
    for (std::size_t i = 0; i < folded.size(); ++i) {
      const double d = folded[i].mag - folded[(i + folded.size() - 1) % folded.size()].mag;
      sum += d * d;
    }
    plain[k] = sum / ss;
  }
  ExpectClose(fast, plain, 1e-9, 1e-3);

  const std::vector<double> durations{0.05, 0.1, 0.2};
  BlsSettings bls;
  bls.durations = durations;
  bls.bins = 50;
  ASSERT_TRUE(BlsPower(s.t, s.y, s.dy, freqs, bls, fast, run));
  for (std::size_t k = 0; k < grid.count; k += 7) { // every 7th: the plain box scan is slow
    double best = 0.0, wsum = 0, my = 0, yy = 0;
    for (std::size_t i = 0; i < s.t.size(); ++i) {
      wsum += 1.0 / (s.dy[i] * s.dy[i]);
      my += s.y[i] / (s.dy[i] * s.dy[i]);
    }
    my /= wsum;
    for (std::size_t i = 0; i < s.t.size(); ++i)
      yy += (s.y[i] - my) * (s.y[i] - my) / (s.dy[i] * s.dy[i]) / wsum;
    for (double d : durations) {
      const double width = std::max(1.0, std::round(d * freqs[k] * 50));
      if (d * freqs[k] > bls.maxFraction) continue;
      const auto kb = static_cast<int>(width);
      for (int j = 0; j < 50; ++j) {
        double r = 0, sy = 0;
        int cnt = 0;
        for (std::size_t i = 0; i < s.t.size(); ++i) {
          const double x = (s.t[i] - tmin) * freqs[k];
          const int b = std::min(49, static_cast<int>((x - std::floor(x)) * 50));
          if ((b - j + 50) % 50 < kb) {
            const double w = 1.0 / (s.dy[i] * s.dy[i]) / wsum;
            r += w;
            sy += w * (s.y[i] - my);
            ++cnt;
          }
        }
        if (sy > 0 && cnt >= 3 && r < 1) best = std::max(best, sy * sy / (r * (1 - r)) / yy);
      }
    }
    EXPECT_NEAR(fast[k], best, 1e-9 * std::max(best, 1e-3)) << "frequency " << freqs[k];
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, Exactness, ::testing::Values(3u, 17u));

TEST(BoxSearch, BestBoxHasThePeriodogramPowerForAnyDurationCount) {
  // The periodogram slides its durations in groups; the best box slides them one by
  // one. Both must give the same power, bit for bit, whatever the number of durations
  // (groups filled or not, durations too long at some frequencies) and of bins.
  const Random3 s = RandomSeries(300, 5, 40.0);
  const std::vector<double> all{0.05, 3.0, 0.1, 0.02, 0.2, 0.15};
  std::vector<double> freqs;
  for (int k = 0; k < 120; ++k)
    freqs.push_back(0.05 + 0.0237 * k);
  for (int bins : {50, 37})
    for (std::size_t count = 1; count <= all.size(); ++count) {
      BlsSettings b;
      b.durations = std::span<const double>(all).first(count);
      b.bins = bins;
      std::vector<double> power(freqs.size());
      ASSERT_TRUE(BlsPower(s.t, s.y, s.dy, freqs, b, power));
      double top = 0.0;
      for (std::size_t k = 0; k < freqs.size(); ++k) {
        EXPECT_EQ(power[k], BestBox(s.t, s.y, s.dy, freqs[k], b).power)
            << bins << " bins, " << count << " durations, frequency " << freqs[k];
        top = std::max(top, power[k]);
      }
      EXPECT_GT(top, 0.0);
    }
}

TEST(BoxSearch, HalfThePeriodUnlessTheOtherParityIsSeenFlat) {
  // Transits 0.1 d long and 0.03 mag deep every 2.5 d fall at night on even epochs and
  // by day on odd ones: the box at 5 d holds the same points as the box at 2.5 d, and
  // the noise alone would pick between them (5 d with two of these noise seeds). Day
  // visits to odd epochs decide when there are any: a dip there says 2.5 d, flat light
  // (alternate transits absent) says 5 d, even from a single visit.
  struct Case {
    const char* name;
    int visitedOdd; // odd epochs visited by day
    bool oddDips;
    double period;
  } cases[] = {{"odd epochs unseen", 0, true, 2.5},
               {"one odd epoch seen dipping", 1, true, 2.5},
               {"one odd epoch seen flat", 1, false, 5.0},
               {"every odd epoch seen flat", 12, false, 5.0}};
  const double t0 = 2460000.0, mid = t0 + 0.15, period = 2.5;
  PeriodSearchSettings set;
  set.grid.minPeriod = 2.0; // above 5/3 d, which the nights cannot tell from 5 d
  set.grid.oversampling = 3;
  set.methods = {PeriodMethod::Bls};
  set.blsDurations = {0.06, 0.1, 0.14};
  for (const Case& c : cases) {
    int halved = 0;
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
      std::mt19937_64 g(seed);
      std::uniform_real_distribution<double> u(-0.01, 0.01);
      std::vector<double> t, y;
      auto add = [&](double ti) {
        const double m = std::round((ti - mid) / period);
        const bool dips = static_cast<long>(m) % 2 == 0 || c.oddDips;
        t.push_back(ti);
        y.push_back(12.0 + (dips && std::fabs(ti - mid - m * period) < 0.05 ? 0.03 : 0.0) + u(g));
      };
      for (int night = 0; night < 60; ++night)
        for (int j = 0; j <= 15; ++j)
          add(t0 + night + 0.02 * j);
      for (int m = 1; m < 2 * c.visitedOdd; m += 2)
        for (int j = -5; j <= 5; ++j)
          add(mid + m * period + 0.02 * j);
      const PeriodSearchResult r = SearchPeriods(t, y, {}, set);
      ASSERT_EQ(r.methods.size(), 1u);
      const std::vector<PeriodPeak>& peaks = r.methods[0].peaks;
      ASSERT_FALSE(peaks.empty());
      EXPECT_NEAR(peaks[0].period, c.period, 0.005 * c.period) << c.name << ", seed " << seed;
      // A half period taken over the stronger peak is marked, and the strongest kept.
      const bool mark = peaks[0].aliasOf == "P/2";
      halved += mark;
      EXPECT_NEAR(r.combined.methodPeriod, (mark ? 2.0 : 1.0) * peaks[0].period, 0.005 * c.period) << c.name;
      EXPECT_EQ(mark, !r.combined.note.empty()) << c.name;
    }
    if (c.visitedOdd == 0) {
      EXPECT_GT(halved, 0);
    }
  }
}

TEST(Baluev, WorkedValues) {
  // n = 50, fmax = 5 c/d, D_t = 100 d^2: N_H = 49, N_K = 47, W = 5 sqrt(400 pi) = 177.245385,
  // gamma(49) = sqrt(2/49) Gamma(24.5) / Gamma(24) = 0.984602.
  // z = 0.3: single = 0.7^23.5 = 2.28983e-4, tau = 0.984602 * 177.245385 * 0.7^23 *
  // sqrt(7.35) = 0.129489, FAP = 1 - (1 - single) e^-tau = 0.121657.
  // z = 0.5: single = 0.5^23.5 = 8.42937e-8, tau = 0.984602 * 177.245385 * 0.5^23 * 3.5
  // = 7.28138e-5, FAP = 7.28955e-5.
  struct Case {
    double z, fap, tol;
  } cases[] = {{0.3, 0.121657, 1e-6}, {0.5, 7.28955e-5, 1e-10}, {0.0, 1.0, 0.0}, {1.0, 0.0, 0.0}};
  for (const Case& c : cases)
    EXPECT_NEAR(BaluevFapFromTimeVariance(c.z, 50, 5.0, 100.0), c.fap, c.tol) << c.z;
  // A weak peak over a wide band cannot be more than certain.
  EXPECT_EQ(BaluevFapFromTimeVariance(0.05, 50, 50.0, 1e4), 1.0);
}

TEST(Permutation, IsAPermutationAndDependsOnSeedAndRound) {
  const auto a = Permutation(100, 7, 0), b = Permutation(100, 7, 1), c = Permutation(100, 8, 0);
  auto sorted = a;
  std::sort(sorted.begin(), sorted.end());
  for (std::uint32_t i = 0; i < 100; ++i)
    EXPECT_EQ(sorted[i], i);
  EXPECT_NE(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(a, Permutation(100, 7, 0));
}

TEST(SearchPeriods, SameAnswerWhateverTheThreadCount) {
  const Random3 s = RandomSeries(60, 5, 200.0);
  PeriodSearchSettings set;
  set.grid.minPeriod = 0.5;
  set.grid.oversampling = 3;
  set.methods = {PeriodMethod::Gls, PeriodMethod::LaflerKinman, PeriodMethod::Bls};
  set.blsDurations = {0.3}; // a small box grid: the rounds repeat it
  set.fapRounds = 19;
  set.seed = 42;
  set.threads = 1;
  const PeriodSearchResult one = SearchPeriods(s.t, s.y, s.dy, set);
  set.threads = 3;
  const PeriodSearchResult three = SearchPeriods(s.t, s.y, s.dy, set);
  ASSERT_EQ(one.methods.size(), 3u);
  for (std::size_t m = 0; m < 3; ++m) {
    EXPECT_EQ(one.methods[m].power, three.methods[m].power);
    EXPECT_EQ(one.methods[m].bestFap, three.methods[m].bestFap);
    EXPECT_GE(one.methods[m].bestFap, 1.0 / 20.0);
  }
  set.seed = 43;
  const PeriodSearchResult other = SearchPeriods(s.t, s.y, s.dy, set);
  EXPECT_EQ(other.methods[0].power, one.methods[0].power);
}

TEST(FrequencyGrid, StepRangeAndRefusal) {
  GridRequest req; // 0.05 d to the span, oversampling 10
  const FrequencyGrid g = MakeFrequencyGrid(1000.0, req);
  EXPECT_DOUBLE_EQ(g.first, 1.0 / 1000.0);
  EXPECT_DOUBLE_EQ(g.step, 1.0 / 10000.0);
  EXPECT_EQ(g.count, 199'990u); // floor((20 - 0.001) / 0.0001) + 1, the quotient a hair below 199990
  EXPECT_LE(g.At(g.count - 1), 20.0);
  EXPECT_GT(g.At(g.count - 1) + g.step, 20.0);

  req.maxFrequencies = 100'000;
  try {
    MakeFrequencyGrid(1000.0, req);
    ADD_FAILURE() << "a grid over the limit was made";
  } catch (const CommandError& e) {
    EXPECT_NE(std::string(e.what()).find("199990"), std::string::npos) << e.what();
  }
  req.maxFrequencies = 50'000'000;
  req.minPeriod = 1200.0; // above the span
  EXPECT_THROW(MakeFrequencyGrid(1000.0, req), CommandError);
  EXPECT_THROW(MakeFrequencyGrid(0.0, GridRequest{}), CommandError);
}

TEST(SearchPeriods, CancelledBeforeItStarts) {
  const Random3 s = RandomSeries(40, 9, 100.0);
  std::atomic<bool> cancel{true};
  const PeriodSearchResult r = SearchPeriods(s.t, s.y, s.dy, PeriodSearchSettings{}, nullptr, &cancel);
  EXPECT_TRUE(r.cancelled);
  EXPECT_FALSE(r.combined.found);
}

TEST(Peaks, LocalMaximaApartAndAliasMarks) {
  const std::vector<double> score{0, 5, 1, 2, 9, 8, 1, 7, 0, 3};
  EXPECT_EQ(TopPeakIndices(score, 1, 10), (std::vector<std::size_t>{4, 7, 1, 9}));
  EXPECT_EQ(TopPeakIndices(score, 3, 10), (std::vector<std::size_t>{4, 7, 1}));
  EXPECT_EQ(TopPeakIndices(score, 1, 2), (std::vector<std::size_t>{4, 7}));

  const std::vector<double> window{1.0027, 0.0833};
  struct Case {
    double f;
    const char* marks;
  } cases[] = {{2.6, "1d"}, {0.6, "1d"}, {3.6, "2d"}, {3.2, "P/2"}, {0.8, "2P"}, {1.6833, "window"}, {1.9, ""}};
  for (const Case& c : cases)
    EXPECT_EQ(AliasMarks(c.f, 1.6, window, 0.002), c.marks) << c.f;
}

TEST(Combine, MajorityThenStrongestDetection) {
  auto method = [](PeriodMethod m, double period, double detection) {
    MethodResult r;
    r.method = m;
    r.detection = detection;
    r.peaks.push_back(PeriodPeak{1.0 / period, period, 0.5, -1.0, ""});
    return r;
  };
  std::vector<MethodResult> ms{method(PeriodMethod::Gls, 0.25, 30), method(PeriodMethod::MultiHarmonicGls, 0.5, 20),
                               method(PeriodMethod::LaflerKinman, 0.5004, 10)};
  CombinedPeriod c = CombinePeriods(ms, 0.01);
  EXPECT_EQ(c.method, PeriodMethod::MultiHarmonicGls);
  EXPECT_EQ(c.agreeing, 2);
  EXPECT_NE(c.note.find("disagree"), std::string::npos);
  ms[2] = method(PeriodMethod::LaflerKinman, 0.7, 25);
  c = CombinePeriods(ms, 0.01);
  EXPECT_EQ(c.method, PeriodMethod::Gls);
  EXPECT_EQ(c.agreeing, 1);
  ms = {method(PeriodMethod::Gls, 2.0, 9), method(PeriodMethod::LaflerKinman, 2.001, 5)};
  c = CombinePeriods(ms, 0.01);
  EXPECT_EQ(c.agreeing, 2);
  EXPECT_TRUE(c.note.empty());
}

} // namespace
} // namespace morvik

namespace morvik {
namespace {

TEST(Fold, TwoCyclesWithTheFaintestBinAtPhaseZero) {
  std::vector<double> t, y;
  for (int i = 0; i < 300; ++i) {
    t.push_back(2460000.0 + 0.37 * i + 0.05 * std::sin(i));
    y.push_back(12.0 + 0.5 * std::sin(kTwoPi * t.back() / 2.5));
  }
  const FoldedCurve f = FoldLightCurve(t, y, 2.5, 20);
  ASSERT_EQ(f.phase.size(), 600u);
  EXPECT_EQ(f.binMean.size(), 40u);
  for (std::size_t i = 0; i < 300; ++i) {
    EXPECT_GE(f.phase[i], 0.0);
    EXPECT_LT(f.phase[i], 1.0);
    EXPECT_DOUBLE_EQ(f.phase[i + 300], f.phase[i] + 1.0);
  }
  const auto faintest = std::max_element(f.binMean.begin(), f.binMean.begin() + 20) - f.binMean.begin();
  EXPECT_TRUE(faintest == 0 || faintest == 19) << faintest; // on either side of the epoch
  // Minimum light (the largest magnitude) is at t = 2460000 + 0.625 (mod 2.5): the epoch
  // falls there within a bin.
  const double off = std::remainder(f.epoch - 2460000.625, 2.5);
  EXPECT_LT(std::fabs(off), 2.5 / 20);
}

} // namespace
} // namespace morvik

namespace morvik {
namespace {

TEST(ApproximateGls, CloseToTheExactPowerWithTheSamePeak) {
  for (unsigned seed : {4u, 21u}) {
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> t, y, dy;
    for (int i = 0; i < 400; ++i) {
      t.push_back(2460000.0 + 700.0 * u(g));
      y.push_back(12.0 + 0.05 * std::sin(kTwoPi * t.back() / 0.6137) + 0.05 * u(g));
      dy.push_back(0.01 + 0.02 * u(g));
    }
    GridRequest req;
    req.minPeriod = 0.1;
    req.oversampling = 5;
    const FrequencyGrid grid = MakeFrequencyGrid(TimeSpan(t), req);
    std::vector<double> exact(grid.count), fast(grid.count);
    GlsPower(t, y, dy, grid, exact);
    ASSERT_TRUE(GlsPowerApproximate(t, y, dy, grid, fast));
    double worst = 0.0;
    for (std::size_t k = 0; k < grid.count; ++k)
      worst = std::max(worst, std::fabs(fast[k] - exact[k]));
    EXPECT_LT(worst, 1e-3) << seed;
    EXPECT_EQ(std::max_element(fast.begin(), fast.end()) - fast.begin(),
              std::max_element(exact.begin(), exact.end()) - exact.begin());
    std::printf("approximate GLS: largest difference %.2e\n", worst);
  }
}

} // namespace
} // namespace morvik
