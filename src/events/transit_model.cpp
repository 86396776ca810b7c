#include "events/transit_model.hpp"

#include "events/elliptic.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace morvik::events {

namespace {

constexpr double kPi = std::numbers::pi;
// Separations this close to a case boundary (z = p, z = 1 - p, ...) take the
// boundary's closed form; the general formulas lose digits there.
constexpr double kEdge = 1e-9;

struct Blocked {
  double lambdaE = 0.0; // uniform source (area / pi)
  double lambdaD = 0.0; // the mu term, without the 2/3 Theta(p - z) step
  double eta = 0.0;     // the r^2 term
};

double Clamp1(double x) { return std::clamp(x, -1.0, 1.0); }

// Kappa_0, kappa_1 and the uniform-source overlap for a partial occultation.
void PartialArcs(double p, double z, double& k0, double& k1, double& lambdaE) {
  k1 = std::acos(Clamp1((1.0 - p * p + z * z) / (2.0 * z)));
  k0 = std::acos(Clamp1((p * p + z * z - 1.0) / (2.0 * p * z)));
  const double s = 4.0 * z * z - std::pow(1.0 + z * z - p * p, 2);
  lambdaE = (p * p * k0 + k1 - 0.5 * std::sqrt(std::max(0.0, s))) / kPi;
}

double Eta1(double p, double z, double k0, double k1) {
  const double a = (z - p) * (z - p), b = (z + p) * (z + p);
  const double eta2 = 0.5 * p * p * (p * p + 2.0 * z * z);
  return (k1 + 2.0 * eta2 * k0 - 0.25 * (1.0 + 5.0 * p * p + z * z) * std::sqrt(std::max(0.0, (1.0 - a) * (b - 1.0)))) /
         (2.0 * kPi);
}

double Eta2(double p, double z) { return 0.5 * p * p * (p * p + 2.0 * z * z); }

// Table 1 of Mandel & Agol: lambda_1 (limb crossing) ... The complementary modulus
// is formed from b - 1 and 1 - b directly, which keeps its digits near contact.
double Lambda1(double p, double z) {
  const double a = (z - p) * (z - p), b = (z + p) * (z + p);
  const double q = p * p - z * z;
  const double kc = std::sqrt(std::max(0.0, (b - 1.0) / (4.0 * z * p)));
  const double cK = (1.0 - b) * (2.0 * b + a - 3.0) - 3.0 * q * (b - 2.0);
  const double cE = 4.0 * p * z * (z * z + 7.0 * p * p - 4.0);
  // cK K + cE E in one call; Pi((a - 1)/a, k) has 1 - n = 1 / a.
  double ke = 0.0, pi = 0.0;
  BulirschCelPair(kc, 1.0, cK + cE, cK + cE * kc * kc, 1.0 / a, 1.0, 1.0, ke, pi);
  return (ke - 3.0 * q / a * pi) / (9.0 * kPi * std::sqrt(p * z));
}

// ... lambda_2 (planet inside the disc) ...
double Lambda2(double p, double z) {
  const double a = (z - p) * (z - p), b = (z + p) * (z + p);
  const double q = p * p - z * z;
  const double kc = std::sqrt(std::max(0.0, (1.0 - b) / (1.0 - a)));
  const double cK = 1.0 - 5.0 * z * z + p * p + q * q;
  const double cE = (1.0 - a) * (z * z + 7.0 * p * p - 4.0);
  // Pi((a - b)/a, 1/k) has 1 - n = b / a.
  double ke = 0.0, pi = 0.0;
  BulirschCelPair(kc, 1.0, cK + cE, cK + cE * kc * kc, b / a, 1.0, 1.0, ke, pi);
  return 2.0 * (ke - 3.0 * q / a * pi) / (9.0 * kPi * std::sqrt(1.0 - a));
}

// ... lambda_3 (z = p > 1/2), lambda_4 (z = p < 1/2), lambda_5 (z = 1 - p), lambda_6 (z = 0).
double Lambda3(double p) {
  const double k = 0.5 / p;
  return 1.0 / 3.0 + 16.0 * p / (9.0 * kPi) * (2.0 * p * p - 1.0) * EllipticE(k) -
         (1.0 - 4.0 * p * p) * (3.0 - 8.0 * p * p) / (9.0 * kPi * p) * EllipticK(k);
}

double Lambda4(double p) {
  const double k = 2.0 * p;
  return 1.0 / 3.0 +
         2.0 / (9.0 * kPi) * (4.0 * (2.0 * p * p - 1.0) * EllipticE(k) + (1.0 - 4.0 * p * p) * EllipticK(k));
}

double Lambda5(double p) {
  return 2.0 / (3.0 * kPi) * std::acos(Clamp1(1.0 - 2.0 * p)) -
         4.0 / (9.0 * kPi) * (3.0 + 2.0 * p - 8.0 * p * p) * std::sqrt(p * (1.0 - p)) - (p > 0.5 ? 2.0 / 3.0 : 0.0);
}

double Lambda6(double p) { return -2.0 / 3.0 * std::pow(1.0 - p * p, 1.5); }

Blocked Partial(double p, double z) {
  Blocked r;
  double k0 = 0.0, k1 = 0.0;
  PartialArcs(p, z, k0, k1, r.lambdaE);
  r.lambdaD = Lambda1(p, z);
  r.eta = Eta1(p, z, k0, k1);
  return r;
}

// The cases of Table 1, by where z stands against p, 1 - p, 1 + p.
Blocked Occultation(double p, double z) {
  Blocked r;
  if (z >= 1.0 + p) return r;    // case 1
  if (p > 1.0 && z <= p - 1.0) { // case 11: the star is hidden
    r.lambdaE = 1.0;
    r.eta = 0.5;
    return r;
  }
  const double inner = 1.0 - p;                             // internal tangency
  if (z > std::max(p, inner) + kEdge) return Partial(p, z); // case 2
  if (std::abs(z - inner) <= kEdge && p < 1.0) {            // case 4, and z = 1 - p for p > 1/2
    r.lambdaE = p * p;
    r.lambdaD = Lambda5(p);
    r.eta = Eta2(p, z);
    return r;
  }
  if (std::abs(z - p) <= kEdge) {
    if (std::abs(p - 0.5) <= kEdge) { // case 6
      r.lambdaE = p * p;
      r.lambdaD = 1.0 / 3.0 - 4.0 / (9.0 * kPi);
      r.eta = 3.0 / 32.0;
      return r;
    }
    if (p < 0.5) { // case 5
      r.lambdaE = p * p;
      r.lambdaD = Lambda4(p);
      r.eta = Eta2(p, z);
      return r;
    }
    double k0 = 0.0, k1 = 0.0; // case 7
    PartialArcs(p, z, k0, k1, r.lambdaE);
    r.lambdaD = Lambda3(p);
    r.eta = Eta1(p, z, k0, k1);
    return r;
  }
  if (z > inner) return Partial(p, z); // case 8: p > 1/2, 1 - p < z < p
  r.lambdaE = p * p;                   // cases 3, 9, 10: inside the disc
  r.eta = Eta2(p, z);
  r.lambdaD = z <= kEdge * p ? Lambda6(p) : Lambda2(p, z);
  return r;
}

} // namespace

double OccultedFlux(double p, double z, double u1, double u2) {
  z = std::abs(z);
  if (p <= 0.0 || z >= 1.0 + p) return 1.0;
  // I = (1 - c2) + c2 mu - c4 r^2 with c2 = u1 + 2 u2, c4 = -u2 (the quadratic law in
  // the paper's nonlinear coefficients).
  const double c2 = u1 + 2.0 * u2, c4 = -u2;
  const Blocked r = Occultation(p, z);
  const double step = p > z ? 2.0 / 3.0 : 0.0;
  const double norm = 1.0 - c2 / 3.0 - c4 / 2.0;
  return 1.0 - ((1.0 - c2) * r.lambdaE + c2 * (r.lambdaD + step) - c4 * r.eta) / norm;
}

double Separation(const TransitShape& s, double t) {
  const double phase = 2.0 * kPi * (t - s.t0) / s.period;
  const double x = s.aRs * std::sin(phase);
  const double y = s.b * std::cos(phase);
  if (std::cos(phase) <= 0.0) return 2.0 + s.p + s.aRs; // behind the star
  return std::sqrt(x * x + y * y);
}

double TransitFlux(const TransitShape& s, double t, double exposure, int supersample) {
  if (supersample <= 1 || exposure <= 0.0) return OccultedFlux(s.p, Separation(s, t), s.u1, s.u2);
  double sum = 0.0;
  for (int k = 0; k < supersample; ++k) {
    const double dt = exposure * ((k + 0.5) / supersample - 0.5);
    sum += OccultedFlux(s.p, Separation(s, t + dt), s.u1, s.u2);
  }
  return sum / supersample;
}

TransitDurations Durations(const TransitShape& s) {
  TransitDurations d;
  const double cosi = s.b / s.aRs;
  const double sini = std::sqrt(std::max(0.0, 1.0 - cosi * cosi));
  d.inclination = std::acos(std::clamp(cosi, -1.0, 1.0)) * 180.0 / kPi;
  d.depth = 1.0 - OccultedFlux(s.p, s.b, s.u1, s.u2);
  const auto duration = [&](double reach) {
    const double chord2 = reach * reach - s.b * s.b;
    if (chord2 <= 0.0) return 0.0;
    return s.period / kPi * std::asin(std::min(1.0, std::sqrt(chord2) / (s.aRs * sini)));
  };
  d.t14 = duration(1.0 + s.p);
  d.t23 = duration(1.0 - s.p);
  // rho* = 3 pi (a/R*)^3 / (G P^2), G in cgs and P in seconds.
  constexpr double kG = 6.67430e-8;
  const double pSec = s.period * 86400.0;
  d.density = 3.0 * kPi * std::pow(s.aRs, 3) / (kG * pSec * pSec);
  return d;
}

} // namespace morvik::events
