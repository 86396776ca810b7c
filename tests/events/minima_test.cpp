// Times of minimum on eclipses drawn from the exact model, and ephemerides.

#include "event_nights.hpp"
#include "events/minima.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

using namespace morvik::events;
using morvik::longspan::EventNight;
using morvik::longspan::MakeEclipseNight;
using morvik::longspan::NightOptions;

struct Spread {
  double meanError = 0.0, scatter = 0.0, bias = 0.0;
  int measured = 0;
};

// One eclipse geometry under many noise draws: the mean quoted error against the
// scatter of the measured times.
template <typename Measure> Spread OverNoise(const NightOptions& o, int draws, Measure measure) {
  std::vector<double> dt;
  Spread s;
  for (int k = 0; k < draws; ++k) {
    const EventNight night = MakeEclipseNight(0.9, 0.3, 4.0, 0.8, 0.3, 0.002, o, 500 + static_cast<std::uint64_t>(k));
    const Minimum m = measure(night);
    if (!m.ok) continue;
    dt.push_back(m.time - night.truthT0);
    s.meanError += m.error;
  }
  s.measured = static_cast<int>(dt.size());
  if (dt.size() < 2) return s;
  s.meanError /= static_cast<double>(dt.size());
  for (double d : dt)
    s.bias += d / static_cast<double>(dt.size());
  for (double d : dt)
    s.scatter += (d - s.bias) * (d - s.bias);
  s.scatter = std::sqrt(s.scatter / static_cast<double>(dt.size() - 1));
  return s;
}

TEST(Minima, QuotedErrorsMatchTheScatterOverNoiseDraws) {
  struct Case {
    const char* name;
    double white, cadenceMin;
    bool polynomial;
    int draws;
  };
  const Case cases[] = {
      {"kvw, 2 mmag, 1.5 min", 0.002, 1.5, false, 200},
      {"kvw, 10 mmag, 1 min", 0.010, 1.0, false, 200},
      {"kvw, 1 mmag, 3 min (coarse)", 0.001, 3.0, false, 200},
      {"polynomial, 5 mmag", 0.005, 1.5, true, 40},
  };
  for (const Case& c : cases) {
    NightOptions o;
    o.length = 0.16;
    o.start = 2460000.60;
    o.white = c.white;
    o.cadence = c.cadenceMin / 1440.0;
    MinimumOptions mo;
    mo.bootstrap = 100;
    mo.polynomial = c.polynomial;
    const Spread s = OverNoise(o, c.draws, [&](const EventNight& night) {
      const std::vector<Minimum> found = FindMinima(night.t, night.flux, mo);
      return found.size() == 1 ? found.front() : Minimum{};
    });
    std::printf("%s: error %.2e scatter %.2e bias %.2e (%d)\n", c.name, s.meanError, s.scatter, s.bias, s.measured);
    EXPECT_EQ(s.measured, c.draws) << c.name;
    EXPECT_GT(s.meanError, s.scatter / 1.5) << c.name;
    EXPECT_LT(s.meanError, s.scatter * 1.5) << c.name;
    EXPECT_LT(std::abs(s.bias), 3.0 * s.scatter / std::sqrt(c.draws) + 1e-6) << c.name;
  }
}

TEST(Minima, PrimaryAndSecondaryByDepthAndPhase) {
  // Two nights: a deep and a shallow eclipse half a period apart.
  NightOptions o;
  o.length = 0.2;
  o.white = 0.002;
  const double period = 1.6;
  EventNight deep = MakeEclipseNight(0.9, 0.3, 6.0, period, 0.3, 0.0, o, 1);
  o.start += 1.5 * period;
  const EventNight shallow = MakeEclipseNight(0.9, 0.3, 6.0, period, 0.75, 0.0, o, 2);
  deep.t.insert(deep.t.end(), shallow.t.begin(), shallow.t.end());
  deep.flux.insert(deep.flux.end(), shallow.flux.begin(), shallow.flux.end());
  std::vector<Minimum> found = FindMinima(deep.t, deep.flux, MinimumOptions{});
  ASSERT_EQ(found.size(), 2u);
  EXPECT_TRUE(found[0].primary);
  EXPECT_FALSE(found[1].primary);
  Ephemeris e;
  e.t0 = deep.truthT0;
  e.period = period;
  ApplyEphemeris(found, e);
  EXPECT_EQ(found[1].cycle, 1.5);
  EXPECT_FALSE(found[1].primary);
  EXPECT_NEAR(found[1].oc, 0.0, 5.0 * found[1].error);
}

TEST(Ephemeris, RecoversAnInjectedPeriodChangeAndKeepsALinearOneLinear) {
  std::mt19937_64 rng(77);
  std::normal_distribution<double> noise(0.0, 1.0);
  struct Case {
    double quadratic;
    bool expectQuadratic;
  };
  // Q = 2e-9 d per cycle^2 over 3000 cycles moves the last minimum by 26 s.
  for (const Case& c : {Case{0.0, false}, Case{2e-9, true}, Case{-3e-9, true}}) {
    const double t0 = 2455000.3, period = 0.734215, sigma = 0.00008;
    std::vector<double> times, errors, cycles;
    for (int k = 0; k < 60; ++k) {
      const double cycle = std::floor(k * 50.3) + (k % 7 == 3 ? 0.5 : 0.0);
      times.push_back(t0 + period * cycle + c.quadratic * cycle * cycle + sigma * noise(rng));
      errors.push_back(sigma);
      cycles.push_back(CycleOf(times.back(), t0, period, k % 7 != 3));
    }
    const Ephemeris e = FitEphemeris(times, errors, cycles);
    EXPECT_EQ(e.hasQuadratic, c.expectQuadratic) << c.quadratic;
    const std::size_t m = e.hasQuadratic ? 3 : 2;
    ASSERT_EQ(e.covariance.size(), m * m);
    EXPECT_NEAR(e.period, period, 4.0 * std::sqrt(e.covariance[m + 1]));
    if (c.expectQuadratic) {
      EXPECT_NEAR(e.quadratic, c.quadratic, 4.0 * std::sqrt(e.covariance[8]));
    }
  }
}

} // namespace
