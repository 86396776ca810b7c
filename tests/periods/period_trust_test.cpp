// Whether the period search's answers can be trusted: survey-like spans of RR Lyrae,
// the precision of a refined period against its bound, false periods of constant,
// drifting and red-noise stars, and the warnings about the sampling and the range.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

#include "longspan.hpp"
#include "periods/period_fold.hpp"
#include "periods/period_search.hpp"

namespace morvik {
namespace {

using longspan::Kind;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A survey: a few dozen visits near midnight over eight seasons.
longspan::Sampling Survey() {
  longspan::Sampling s;
  s.seasons = 8;
  s.seasonNights = 200;
  s.nightFraction = 0.04; // about 64 points
  return s;
}

PeriodSearchSettings RangeForPulsators() {
  PeriodSearchSettings set;
  set.grid.minPeriod = 0.2;
  set.grid.maxPeriod = 5.0;
  set.grid.oversampling = 5;
  return set;
}

bool Near(double a, double b, double share) { return std::fabs(a - b) <= share * b; }

// A one-day alias of period p: 1/p +- 1 cycle per day.
bool DailyAlias(double found, double p) {
  const double f = 1.0 / found, g = 1.0 / p;
  return std::fabs(std::fabs(f - g) - 1.0) < 0.01 * g || std::fabs(f + g - 1.0) < 0.01 * g;
}

TEST(SurveySpans, RrLyraeFoundWithoutBiasToTwiceThePeriodOrDailyAliases) {
  std::mt19937_64 rnd(20);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const PeriodSearchSettings set = RangeForPulsators();
  int right = 0, doubled = 0, daily = 0, total = 0;
  for (int i = 0; i < 60; ++i) {
    const bool ab = i % 2 == 0;
    const double period = ab ? 0.45 + 0.3 * u(rnd) : 0.26 + 0.14 * u(rnd);
    const double noise = 0.01 + 0.02 * u(rnd);
    const double amplitude = noise * (8.0 + 12.0 * u(rnd));
    const auto s = longspan::MakeSeries(ab ? Kind::RRab : Kind::RRc, period, amplitude, noise, Survey(), 100 + i);
    const PeriodSearchResult r = SearchPeriods(s.t, s.y, s.dy, set);
    ++total;
    const double p = r.combined.period;
    if (r.combined.found && Near(p, period, 0.01)) {
      ++right;
      continue;
    }
    doubled += Near(p, 2.0 * period, 0.01);
    daily += DailyAlias(p, period);
    std::printf("missed %s P=%.5f n=%zu: %.5f %s\n", ab ? "RRab" : "RRc", period, s.t.size(), p,
                r.combined.note.c_str());
  }
  std::printf("survey RR Lyrae: %d of %d within 1 %%, %d at 2P, %d daily aliases\n", right, total, doubled, daily);
  EXPECT_GE(right * 100, total * 95);
  EXPECT_LE(doubled, 1);
  EXPECT_LE(daily, 2);
}

// The Cramer-Rao-like bound of a sinusoid's period (Montgomery & O'Donoghue 1999):
// sigma_f = sqrt(6 / n) sigma / (pi T A).
double PeriodBound(const std::vector<double>& t, double sigma, double semiAmplitude, double period) {
  const double span = t.back() - t.front();
  const double sf = std::sqrt(6.0 / static_cast<double>(t.size())) * sigma / (std::numbers::pi * span * semiAmplitude);
  return sf * period * period;
}

TEST(Precision, RefinedPeriodsReachTheirBoundAndTheirErrorsHoldTheTruth) {
  std::mt19937_64 rnd(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> gauss;
  longspan::Sampling sampling;
  sampling.seasons = 3;
  sampling.nightFraction = 0.3; // about 180 points over three seasons
  PeriodSearchSettings set = RangeForPulsators();
  set.grid.maxPeriod = 20.0;
  set.methods = {PeriodMethod::Gls, PeriodMethod::LaflerKinman};
  std::vector<double> ratio;
  int inside = 0, found = 0;
  const int stars = 60;
  for (int i = 0; i < stars; ++i) {
    const double period = 0.3 + 10.0 * u(rnd) * u(rnd);
    const double sigma = 0.01, semi = sigma * (2.0 + 6.0 * u(rnd)), phase = kTwoPi * u(rnd);
    const std::vector<double> t = longspan::MakeTimes(sampling, 500 + i);
    std::vector<double> y, dy;
    for (double ti : t) {
      y.push_back(12.0 + semi * std::sin(kTwoPi * ti / period + phase) + sigma * gauss(rnd));
      dy.push_back(sigma);
    }
    const PeriodSearchResult r = SearchPeriods(t, y, dy, set);
    const CombinedPeriod& c = r.combined;
    if (!c.found || !Near(c.period, period, 0.01)) {
      std::printf("missed sinusoid P=%.5f A/sigma=%.1f n=%zu: %.5f (%s) %s\n", period, semi / sigma, t.size(), c.period,
                  MethodName(c.method), c.note.c_str());
      continue;
    }
    ++found;
    ratio.push_back(std::fabs(c.period - period) / PeriodBound(t, sigma, semi, period));
    inside += c.periodError > 0.0 && std::fabs(c.period - period) <= 2.0 * c.periodError;
  }
  ASSERT_GE(found, stars - 2);
  std::nth_element(ratio.begin(), ratio.begin() + static_cast<long>(ratio.size() / 2), ratio.end());
  const double median = ratio[ratio.size() / 2];
  std::printf("precision: median |error| / bound %.2f, truth within 2 sigma %d of %d\n", median, inside, found);
  EXPECT_LE(median, 1.5);
  EXPECT_GE(inside * 100, found * 90);
}

// Red noise: a first-order autoregressive process of correlation time tau days.
std::vector<double> RedNoise(const std::vector<double>& t, double sigma, double tau, std::mt19937_64& rnd) {
  std::normal_distribution<double> gauss;
  std::vector<double> v;
  double x = sigma * gauss(rnd);
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (i > 0) {
      const double rho = std::exp(-(t[i] - t[i - 1]) / tau);
      x = rho * x + sigma * std::sqrt(1.0 - rho * rho) * gauss(rnd);
    }
    v.push_back(x);
  }
  return v;
}

TEST(FalsePeriods, ConstantDriftingAndRedNoiseStarsRarelyLookSignificant) {
  std::mt19937_64 rnd(3);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> gauss;
  longspan::Sampling sampling;
  sampling.seasons = 3;
  sampling.nightFraction = 0.15; // about 90 points over three seasons
  PeriodSearchSettings set = RangeForPulsators();
  set.grid.maxPeriod = 50.0; // the span exceeds ten times it: a linear trend is fitted
  int significant[3] = {0, 0, 0};
  const int each = 100;
  for (int kind = 0; kind < 3; ++kind)
    for (int i = 0; i < each; ++i) {
      const std::vector<double> t = longspan::MakeTimes(sampling, 900 + 1000 * kind + i);
      const double sigma = 0.005 + 0.02 * u(rnd);
      const std::vector<double> red = RedNoise(t, sigma, 1.0 + 4.0 * u(rnd), rnd);
      const double drift = (u(rnd) < 0.5 ? -1.0 : 1.0) * (0.05 + 0.15 * u(rnd));
      std::vector<double> y, dy;
      for (std::size_t k = 0; k < t.size(); ++k) {
        double v = 11.0 + sigma * gauss(rnd);
        if (kind == 1) v += drift * (t[k] - t.front()) / (t.back() - t.front());
        if (kind == 2) v += red[k];
        y.push_back(v);
        dy.push_back(sigma);
      }
      const PeriodSearchResult r = SearchPeriods(t, y, dy, set);
      significant[kind] += r.combined.found && r.combined.fap >= 0.0 && r.combined.fap < 0.01;
    }
  std::printf("FAP < 1 %%: constant %d, drifting %d, red noise %d of %d each\n", significant[0], significant[1],
              significant[2], each);
  EXPECT_LE(significant[0] + significant[1] + significant[2], 3 * each * 2 / 100);
}

TEST(FalsePeriods, SeriesWithoutVarianceHoldNoPeriod) {
  std::vector<double> t;
  for (int i = 0; i < 40; ++i)
    t.push_back(2460000.3 + 0.37 * i + 0.01 * (i % 7));
  struct Case {
    const char* name;
    double wobble; // added alternately
    double error;  // 0: no errors given
  } cases[] = {{"exactly constant, weighted", 0.0, 0.01},
               {"exactly constant, unweighted", 0.0, 0.0},
               {"rounding of a magnitude", 2e-15, 0.01},
               {"far below its errors", 1e-5, 0.01}};
  for (const Case& c : cases) {
    std::vector<double> y, dy;
    for (std::size_t i = 0; i < t.size(); ++i) {
      y.push_back(13.25 + (i % 2 == 0 ? c.wobble : -c.wobble));
      if (c.error > 0.0) dy.push_back(c.error);
    }
    const PeriodSearchResult r = SearchPeriods(t, y, dy, PeriodSearchSettings{});
    EXPECT_FALSE(r.combined.found) << c.name;
    EXPECT_TRUE(r.constant) << c.name;
    EXPECT_NE(r.combined.note.find("no significant period"), std::string::npos) << c.name;
    EXPECT_NE(PeakTableCsv(r).find("no significant period"), std::string::npos) << c.name;
  }
  // A real variation just above the threshold is searched.
  std::vector<double> y;
  for (double ti : t)
    y.push_back(13.25 + 0.01 * std::sin(kTwoPi * ti / 1.3));
  EXPECT_TRUE(SearchPeriods(t, y, {}, PeriodSearchSettings{}).combined.found);
}

TEST(Answers, FapFloorIsABound) {
  std::vector<double> t, y, dy;
  for (int i = 0; i < 60; ++i) {
    t.push_back(2460000.0 + 0.9 * i + 0.13 * std::sin(3.0 * i));
    y.push_back(12.0 + 0.2 * std::sin(kTwoPi * t.back() / 2.7) + 0.003 * std::cos(7.3 * i));
    dy.push_back(0.005);
  }
  PeriodSearchSettings set;
  set.methods = {PeriodMethod::Gls};
  set.fapRounds = 30;
  const PeriodSearchResult r = SearchPeriods(t, y, dy, set);
  ASSERT_TRUE(r.combined.found);
  EXPECT_TRUE(r.combined.fapIsBound);
  EXPECT_NEAR(r.combined.fap, 1.0 / 31.0, 1e-12);
  EXPECT_NE(PeakTableCsv(r).find(",< 0.032,"), std::string::npos) << PeakTableCsv(r);
  const struct {
    double fap;
    bool bound;
    const char* text;
  } texts[] = {{1.0 / 31.0, true, "< 0.032"}, {1.0 / 21.0, true, "< 0.048"}, {0.25, false, "0.25"}, {-1.0, false, ""}};
  for (const auto& c : texts)
    EXPECT_EQ(FapText(c.fap, c.bound), c.text);
}

// A linear drift of 0.09 mag over ten nights, a visit about every 20 minutes for six
// hours each night.
void DriftNights(std::vector<double>& t, std::vector<double>& y, std::vector<double>& dy) {
  std::mt19937_64 rnd(5);
  std::normal_distribution<double> gauss;
  std::uniform_real_distribution<double> jitter(-0.004, 0.004);
  for (int night = 0; night < 10; ++night)
    for (int v = 0; v < 18; ++v) {
      t.push_back(2460100.0 + night + 0.3 + v * 0.014 + jitter(rnd));
      y.push_back(12.0 + 0.009 * (t.back() - 2460100.0) + 0.004 * gauss(rnd));
      dy.push_back(0.004);
    }
}

TEST(Answers, DriftIsATrendAndNeverAnUnqualifiedPeriod) {
  std::vector<double> t, y, dy;
  DriftNights(t, y, dy);
  PeriodSearchSettings set;
  set.trend = TrendChoice::None;
  const PeriodSearchResult plain = SearchPeriods(t, y, dy, set);
  ASSERT_TRUE(plain.combined.found);
  // Without a trend in the model the drift becomes a period, but never without a word.
  EXPECT_TRUE(plain.combined.trendFitsBetter || !plain.combined.window.empty() || plain.combined.atGridEdge)
      << plain.combined.period << ": " << plain.combined.note;
  set.trend = TrendChoice::Linear;
  const PeriodSearchResult detrended = SearchPeriods(t, y, dy, set);
  EXPECT_EQ(detrended.trend, TrendOrder::Linear);
  EXPECT_GT(detrended.combined.fap, 0.01) << detrended.combined.period;
}

TEST(Answers, OneNightReachesItsPeriodAndSaysWhenTheRangeEnds) {
  struct Case {
    double period;
    bool edge;
  } cases[] = {{0.254, false}, {0.9, true}};
  for (const Case& c : cases) {
    std::vector<double> t, y, dy;
    for (int i = 0; i < 120; ++i) {
      t.push_back(2460200.3 + 0.29 * i / 119.0);
      y.push_back(14.0 + 0.15 * std::sin(kTwoPi * t.back() / c.period) + 0.003 * std::sin(91.0 * i));
      dy.push_back(0.004);
    }
    PeriodSearchSettings set;
    set.methods = {PeriodMethod::Gls, PeriodMethod::MultiHarmonicGls};
    const PeriodSearchResult r = SearchPeriods(t, y, dy, set);
    ASSERT_TRUE(r.combined.found) << c.period;
    EXPECT_EQ(r.combined.atGridEdge, c.edge) << c.period << " found " << r.combined.period << " " << r.combined.note;
    if (c.edge) {
      EXPECT_NE(r.combined.note.find("longest period searched"), std::string::npos);
    } else {
      EXPECT_NEAR(r.combined.period, c.period, 0.03 * c.period);
    }
  }
}

// Transits of one depth and duration at several periods: the box search's grid must be
// fine enough at every frequency, short periods must be reachable, the box reported
// must be the one that won and its depth error must follow the noise.
TEST(BoxSearch, TransitsAtShortAndLongPeriodsWithTheirBox) {
  struct Case {
    double period, duration;
  } cases[] = {{0.13, 0.03}, {0.83, 0.08}, {2.9, 0.16}, {7.7, 0.16}};
  for (const Case& c : cases) {
    std::mt19937_64 rnd(static_cast<std::uint64_t>(c.period * 1000));
    std::normal_distribution<double> gauss;
    const double depth = 0.02, sigma = 0.005;
    std::vector<double> t, y, dy;
    std::size_t in = 0;
    for (int night = 0; night < 90; ++night)
      for (int v = 0; v < 40; ++v) {
        const double ti = 2460300.0 + night + 0.3 + v * 0.0104;
        const double x = (ti - 2460300.05) / c.period;
        const bool inTransit = std::fabs(x - std::round(x)) * c.period < 0.5 * c.duration;
        in += inTransit;
        t.push_back(ti);
        y.push_back(13.0 + (inTransit ? depth : 0.0) + sigma * gauss(rnd));
        dy.push_back(sigma);
      }
    PeriodSearchSettings set;
    set.methods = {PeriodMethod::Bls};
    set.grid.minPeriod = 0.1;
    set.grid.maxPeriod = 10.0;
    set.grid.oversampling = 2;
    const PeriodSearchResult r = SearchPeriods(t, y, dy, set);
    const MethodResult& m = r.methods[0];
    ASSERT_FALSE(m.peaks.empty());
    EXPECT_NEAR(m.peaks[0].period, c.period, 1e-3 * c.period) << c.period;
    EXPECT_NEAR(m.boxDuration, c.duration, 0.35 * c.duration) << c.period;
    EXPECT_NEAR(m.boxDepth, depth, 0.2 * depth) << c.period;
    const double expected = sigma * std::sqrt(1.0 / static_cast<double>(in) + 1.0 / static_cast<double>(t.size() - in));
    EXPECT_NEAR(m.boxDepthError, expected, 0.3 * expected) << c.period;
    EXPECT_GT(m.boxSnr, 10.0) << c.period;
    for (std::size_t k = 1; k < m.peaks.size(); ++k) // no shoulders of the best peak
      EXPECT_GE(std::fabs(m.peaks[k].frequency - m.peaks[0].frequency),
                0.9 * m.boxDuration * m.peaks[0].frequency / (t.back() - t.front()))
          << c.period << " peak " << k;
  }
}

// The fold's epoch at the minimum: a minimum placed at the centre of a phase bin (from
// the earliest time) comes back exactly, whichever the period.
TEST(Fold, EpochAtTheMinimumBin) {
  for (int bins : {10, 20, 25})
    for (double period : {0.31, 1.7}) {
      std::vector<double> t, y;
      const double t0 = 2460000.0, minimum = t0 + (7.5 / bins) * period;
      for (int i = 0; i < 400; ++i) {
        t.push_back(t0 + 0.0123 * i * i / 40.0);
        const double x = (t.back() - minimum) / period;
        const double d = x - std::round(x);
        y.push_back(12.0 + 0.5 * std::exp(-0.5 * d * d / 0.002));
      }
      const FoldedCurve f = FoldLightCurve(t, y, period, bins);
      const double off = (f.epoch - minimum) / period;
      EXPECT_NEAR(off - std::round(off), 0.0, 0.1 / bins) << bins << " bins, P " << period;
    }
}

} // namespace
} // namespace morvik

namespace morvik {
namespace {

// Every method's best peak is refined off the grid and carries its error: the truth
// within three errors, and nearer than the grid's step (as a period) allows.
TEST(Precision, EveryMethodsBestPeakIsRefinedWithItsError) {
  std::mt19937_64 rnd(11);
  std::normal_distribution<double> gauss;
  const double period = 0.3137;
  longspan::Sampling sampling;
  sampling.seasons = 2;
  sampling.nightFraction = 0.4;
  const std::vector<double> t = longspan::MakeTimes(sampling, 77);
  std::vector<double> y, dy;
  for (double ti : t) {
    y.push_back(13.0 + 0.1 * std::sin(kTwoPi * ti / period) + 0.01 * gauss(rnd));
    dy.push_back(0.01);
  }
  PeriodSearchSettings set = RangeForPulsators();
  set.grid.oversampling = 2; // a coarse grid: the refinement must do the work
  const PeriodSearchResult r = SearchPeriods(t, y, dy, set);
  const double gridStepInPeriod = period * period * r.grid.step;
  for (const MethodResult& m : r.methods) {
    ASSERT_FALSE(m.peaks.empty()) << MethodName(m.method);
    const PeriodPeak& p = m.peaks[0];
    EXPECT_GT(p.periodError, 0.0) << MethodName(m.method);
    EXPECT_LE(std::fabs(p.period - period), 3.0 * p.periodError) << MethodName(m.method) << " " << p.period;
    EXPECT_LT(std::fabs(p.period - period), 0.1 * gridStepInPeriod) << MethodName(m.method);
  }
}

} // namespace
} // namespace morvik
