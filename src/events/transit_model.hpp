#pragma once
// The light of a star with quadratic limb darkening occulted by a dark opaque disc:
// K. Mandel & E. Agol, "Analytic light curves for planetary transit searches",
// ApJ 580, L171 (2002), with the complete elliptic integrals in elliptic.hpp.

#include <vector>

namespace morvik::events {

// Relative flux (1 out of transit) for a planet of radius p (in stellar radii) whose
// centre stands z stellar radii from the star's centre; I(mu) / I(1) = 1 - u1 (1 - mu)
// - u2 (1 - mu)^2.
double OccultedFlux(double p, double z, double u1, double u2);

// A circular orbit seen at impact parameter b.
struct TransitShape {
  double t0 = 0.0;     // mid-time
  double period = 1.0; // days
  double p = 0.1;      // Rp / R*
  double aRs = 10.0;   // a / R*
  double b = 0.3;      // impact parameter, a cos i / R*
  double u1 = 0.4, u2 = 0.2;
};

// Sky-projected separation in stellar radii at time t; a planet behind the star is
// returned beyond contact.
double Separation(const TransitShape& s, double t);

// The flux at t averaged over an exposure of exposure days, sampled at `supersample`
// evenly spaced times within it (1: the instant t).
double TransitFlux(const TransitShape& s, double t, double exposure = 0.0, int supersample = 1);

struct TransitDurations {
  double depth = 0.0;       // 1 - flux at mid-transit
  double t14 = 0.0;         // first to fourth contact, days (0 when the planet misses)
  double t23 = 0.0;         // second to third contact, days (0 for a grazing transit)
  double density = 0.0;     // stellar density in g/cm^3 from P and a/R* (Kepler's third law)
  double inclination = 0.0; // degrees
};
// Durations from Seager & Mallen-Ornelas (2003, ApJ 585, 1038), eq. 1 and 3, for a
// circular orbit; density from their eq. 9 with the planet's mass neglected.
TransitDurations Durations(const TransitShape& s);

} // namespace morvik::events
