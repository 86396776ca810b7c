// The occultation formulas against a plain numerical integral of the limb-darkened
// disc over the occulted area: in polar coordinates about the star's centre, the
// circle of radius r has the arc 2 acos((r^2 + z^2 - p^2) / (2 r z)) inside the
// planet, and the radial integral runs by tanh-sinh quadrature between the kinks.

#include "events/elliptic.hpp"
#include "events/transit_model.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

using namespace morvik::events;
constexpr double kPi = std::numbers::pi;

template <typename F> double TanhSinh(F f, double lo, double hi) {
  if (hi <= lo) return 0.0;
  const double h = 1.0 / 128.0, half = 0.5 * (hi - lo);
  double sum = 0.0;
  for (int k = -6 * 128; k <= 6 * 128; ++k) {
    const double t = k * h;
    const double u = 0.5 * kPi * std::sinh(t);
    const double x = std::tanh(u);
    const double w = 0.5 * kPi * std::cosh(t) / (std::cosh(u) * std::cosh(u));
    const double gap = 1.0 / (std::exp(2.0 * u) + 1.0) * 2.0; // 1 - |x| without cancellation
    const double at = x >= 0 ? hi - half * (x > 0 ? gap : 1.0) : lo + half * (1.0 / (std::exp(-2.0 * u) + 1.0) * 2.0);
    if (at <= lo || at >= hi || w < 1e-300) continue;
    sum += w * f(at);
  }
  return sum * h * half;
}

double Intensity(double r, double u1, double u2) {
  const double m = 1.0 - std::sqrt(std::max(0.0, 1.0 - r * r));
  return 1.0 - u1 * m - u2 * m * m;
}

double NumericFlux(double p, double z, double u1, double u2) {
  const auto arc = [&](double r) {
    if (r < p - z) return 2.0 * kPi;
    if (r < z - p || r > z + p) return 0.0;
    const double c = (r * r + z * z - p * p) / (2.0 * r * z);
    return 2.0 * std::acos(std::clamp(c, -1.0, 1.0));
  };
  const auto integrand = [&](double r) { return Intensity(r, u1, u2) * arc(r) * r; };
  std::vector<double> edges{std::max(0.0, z - p), std::abs(p - z), std::min(1.0, z + p), 1.0};
  for (double& e : edges)
    e = std::min(e, 1.0);
  std::sort(edges.begin(), edges.end());
  double blocked = 0.0;
  for (std::size_t i = 0; i + 1 < edges.size(); ++i)
    blocked += TanhSinh(integrand, edges[i], edges[i + 1]);
  const double total = kPi * (1.0 - u1 / 3.0 - u2 / 6.0);
  return 1.0 - blocked / total;
}

TEST(EllipticIntegrals, KnownValuesAndQuadrature) {
  // K and E at k = 1/sqrt(2) from their Gamma-function closed forms.
  const double g = std::tgamma(0.25);
  EXPECT_NEAR(EllipticK(std::sqrt(0.5)), g * g / (4.0 * std::sqrt(kPi)), 1e-14);
  EXPECT_NEAR(EllipticK(0.0), kPi / 2, 1e-15);
  EXPECT_NEAR(EllipticE(0.0), kPi / 2, 1e-15);
  EXPECT_NEAR(EllipticE(std::sqrt(0.5)), 1.3506438810476755, 1e-14);
  for (double n : {-50.0, -3.0, -0.5, 0.3, 0.9}) {
    for (double k : {0.0, 0.4, 0.9, 0.999}) {
      const double num = TanhSinh(
          [&](double phi) {
            const double s = std::sin(phi);
            return 1.0 / ((1.0 - n * s * s) * std::sqrt(1.0 - k * k * s * s));
          },
          0.0, kPi / 2);
      EXPECT_NEAR(EllipticPi(n, k), num, 1e-12 * num) << "n " << n << " k " << k;
      const double kc = std::sqrt(1.0 - k * k);
      EXPECT_NEAR(BulirschCel(kc, 1.0 - n, 1.0, 1.0), num, 1e-12 * num) << "n " << n << " k " << k;
      const double ke = 2.0 * EllipticK(k) - 3.0 * EllipticE(k);
      EXPECT_NEAR(BulirschCel(kc, 1.0, -1.0, 2.0 - 3.0 * kc * kc), ke, 1e-12 * std::abs(ke) + 1e-14);
    }
  }
}

TEST(OccultedFlux, MatchesTheIntegralOverTheDiscIncludingEveryCase) {
  struct Ld {
    double u1, u2;
  };
  const std::vector<Ld> laws{{0.0, 0.0}, {0.4, 0.25}, {1.0, 0.0}, {0.1, 0.6}};
  const std::vector<double> radii{0.01, 0.1, 0.3, 0.5, 0.7, 1.0, 1.4};
  int checked = 0;
  for (double p : radii) {
    std::vector<double> zs{0.0, p, 1.0 - p, 1.0 + p, std::abs(1.0 - p), 0.5 * p, 0.999 * (1.0 + p)};
    for (double f = 0.05; f < 1.0 + p; f += 0.173)
      zs.push_back(f);
    if (p > 1.0) zs.push_back(p - 1.0);
    for (double z : zs) {
      if (z < 0.0) continue;
      for (const Ld& ld : laws) {
        const double exact = NumericFlux(p, z, ld.u1, ld.u2);
        EXPECT_NEAR(OccultedFlux(p, z, ld.u1, ld.u2), exact, 1e-8)
            << "p " << p << " z " << z << " u " << ld.u1 << "," << ld.u2;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 300);
}

TEST(OccultedFlux, EdgesOfTheOccultation) {
  // Out of contact the star is whole; a planet larger than the star centred on it
  // hides everything; a small planet at the centre of a uniform disc takes p^2.
  EXPECT_EQ(OccultedFlux(0.1, 1.1, 0.4, 0.2), 1.0);
  EXPECT_EQ(OccultedFlux(0.1, 2.0, 0.4, 0.2), 1.0);
  EXPECT_NEAR(OccultedFlux(1.5, 0.2, 0.4, 0.2), 0.0, 1e-15);
  EXPECT_NEAR(OccultedFlux(0.1, 0.0, 0.0, 0.0), 0.99, 1e-14);
  // Continuous across the case boundaries.
  for (double p : {0.1, 0.5, 0.8}) {
    for (double z : {p, 1.0 - p, 1.0 + p}) {
      const double lo = OccultedFlux(p, z - 1e-7, 0.3, 0.3), hi = OccultedFlux(p, z + 1e-7, 0.3, 0.3);
      EXPECT_NEAR(lo, hi, 1e-6) << "p " << p << " z " << z;
    }
  }
}

TEST(TransitFlux, ExposureSmearingAveragesTheInstantModel) {
  TransitShape s;
  s.period = 3.0;
  s.aRs = 8.0;
  s.p = 0.12;
  s.b = 0.2;
  const TransitDurations d = Durations(s);
  const double ingress = s.t0 - 0.5 * d.t14;
  // A long exposure straddling first contact: the mean of many instants.
  const double exposure = 0.02;
  double mean = 0.0;
  const int n = 4000;
  for (int k = 0; k < n; ++k)
    mean += TransitFlux(s, ingress + exposure * ((k + 0.5) / n - 0.5));
  mean /= n;
  EXPECT_NEAR(TransitFlux(s, ingress, exposure, 31), mean, 2e-6);
  EXPECT_LT(TransitFlux(s, ingress, exposure, 31), 1.0);
  EXPECT_EQ(TransitFlux(s, ingress - exposure), 1.0);
  // Durations: at b = 0 and small planets T14 ~ P / (pi a) (1 + p), T23 with 1 - p.
  EXPECT_GT(d.t14, d.t23);
  EXPECT_NEAR(d.depth, 1.0 - OccultedFlux(s.p, s.b, s.u1, s.u2), 1e-15);
  // Half a period away the planet is behind the star.
  EXPECT_EQ(TransitFlux(s, s.t0 + 0.5 * s.period), 1.0);
}

} // namespace
