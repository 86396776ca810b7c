// Transit fits on nights drawn from the exact model: errors that mean what they say.

#include "event_nights.hpp"
#include "events/transit_fit.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

using namespace morvik::events;
using morvik::longspan::EventNight;
using morvik::longspan::MakeTransitNight;
using morvik::longspan::NightOptions;

TransitSeries Series(const EventNight& night) {
  TransitSeries s;
  s.t = night.t;
  s.flux = night.flux;
  s.err = night.err;
  s.airmass = night.airmass;
  return s;
}

// A chain shorter than the production default keeps the run modest; the calibration
// holds with it.
TransitFitOptions QuickOptions(const TransitShape& truth) {
  TransitFitOptions o;
  o.period = truth.period;
  o.u1 = truth.u1;
  o.u2 = truth.u2;
  o.walkers = 24;
  o.steps = 1500;
  o.tryAirmass = false;
  o.maxTimeOrder = 1;
  return o;
}

struct Drawn {
  TransitShape shape;
  NightOptions night;
  double offset;
};

Drawn Draw(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Drawn d;
  d.shape.p = std::sqrt(0.005 + 0.025 * u(rng));
  d.shape.period = 2.0 + 3.0 * u(rng);
  d.shape.aRs = 7.0 + 6.0 * u(rng);
  d.shape.b = 0.6 * u(rng);
  TabulatedLimbDarkening("V", 4500.0 + 2000.0 * u(rng), d.shape.u1, d.shape.u2);
  const double t14 = Durations(d.shape).t14;
  d.night.length = t14 + 0.1 + 0.04 * u(rng);
  d.night.white = 0.0015 + 0.002 * u(rng);
  d.night.red = 0.4 * d.night.white * u(rng);
  d.offset = 0.01 * (u(rng) - 0.5);
  return d;
}

TEST(TransitFitScience, MidTimeAndRadiusErrorsAreCalibrated) {
  std::mt19937_64 rng(20261209);
  const int count = 200;
  int t0In1 = 0, t0In2 = 0, pIn1 = 0, pIn2 = 0;
  std::vector<double> bias;
  for (int k = 0; k < count; ++k) {
    const Drawn d = Draw(rng);
    const EventNight night = MakeTransitNight(d.shape, d.offset, d.night, 1000 + static_cast<std::uint64_t>(k));
    const TransitFitResult r = FitTransit(Series(night), QuickOptions(d.shape));
    ASSERT_TRUE(r.ok) << r.message;
    const Estimate& t0 = *r.Find("t0");
    const Estimate& p = *r.Find("rp_rs");
    const auto inside = [](const Estimate& e, double truth, double n) {
      return truth >= e.p50 - n * e.Minus() && truth <= e.p50 + n * e.Plus();
    };
    t0In1 += inside(t0, night.truthT0, 1.0);
    t0In2 += inside(t0, night.truthT0, 2.0);
    pIn1 += inside(p, d.shape.p, 1.0);
    pIn2 += inside(p, d.shape.p, 2.0);
    bias.push_back((p.p50 - d.shape.p) / d.shape.p);
  }
  std::sort(bias.begin(), bias.end());
  const double medianBias = std::abs(bias[bias.size() / 2]);
  std::printf("t0 within 1 sigma %d, 2 sigma %d; rp/r* %d, %d of %d; median bias %.4f\n", t0In1, t0In2, pIn1, pIn2,
              count, medianBias);
  EXPECT_GE(t0In1, 0.60 * count);
  EXPECT_LE(t0In1, 0.76 * count);
  EXPECT_GE(t0In2, 0.93 * count);
  EXPECT_GE(pIn1, 0.60 * count);
  EXPECT_LE(pIn1, 0.76 * count);
  EXPECT_GE(pIn2, 0.93 * count);
  EXPECT_LT(medianBias, 0.01);
}

TEST(TransitFitScience, MidTimeErrorDoesNotFollowAWrongGain) {
  // Errors written at half or twice the truth (a wrong gain in the header): after the
  // scaling to a reduced chi2 of 1 the mid-time error stays within 10 %.
  std::mt19937_64 rng(4242);
  for (int k = 0; k < 6; ++k) {
    Drawn d = Draw(rng);
    double sigma[3] = {0, 0, 0};
    const double scales[3] = {0.5, 1.0, 2.0};
    for (int s = 0; s < 3; ++s) {
      d.night.errorScale = scales[s];
      const EventNight night = MakeTransitNight(d.shape, d.offset, d.night, 77 + static_cast<std::uint64_t>(k));
      const TransitFitResult r = FitTransit(Series(night), QuickOptions(d.shape));
      ASSERT_TRUE(r.ok);
      sigma[s] = r.Find("t0")->Sigma();
    }
    EXPECT_NEAR(sigma[0] / sigma[1], 1.0, 0.1) << k;
    EXPECT_NEAR(sigma[2] / sigma[1], 1.0, 0.1) << k;
  }
}

TEST(TransitFit, BaselineChosenByBicAndRefusals) {
  TransitShape shape;
  shape.p = 0.13;
  shape.aRs = 9.0;
  shape.period = 3.0;
  NightOptions o;
  o.white = 0.0015;
  o.airmassSlope = -0.03; // extinction left in the differential flux
  const EventNight night = MakeTransitNight(shape, 0.0, o, 5);
  TransitFitOptions f = QuickOptions(shape);
  f.tryAirmass = true;
  f.steps = 300;
  const TransitFitResult r = FitTransit(Series(night), f);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.baseline.airmass) << r.baseline.Describe(Series(night));
  EXPECT_EQ(r.candidates.size(), 4u); // time0/time1, each with and without airmass
  // A column that repeats the time term leaves some candidates singular: they are
  // passed over, not fitted with garbage.
  TransitSeries clock = Series(night);
  clock.extraNames = {"clock"};
  clock.extra = {clock.t};
  const TransitFitResult c = FitTransit(clock, f);
  ASSERT_TRUE(c.ok);
  EXPECT_TRUE(std::isfinite(c.Find("t0")->p50));
  // Too few points, or an error of zero, is refused with a reason.
  TransitSeries few = Series(night);
  few.t.resize(5);
  few.flux.resize(5);
  few.err.resize(5);
  EXPECT_FALSE(FitTransit(few, f).ok);
  TransitSeries zero = Series(night);
  zero.err[3] = 0.0;
  const TransitFitResult z = FitTransit(zero, f);
  EXPECT_FALSE(z.ok);
  EXPECT_FALSE(z.message.empty());
}

} // namespace
