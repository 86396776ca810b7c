#include "event_nights.hpp"

#include <cmath>
#include <numbers>
#include <random>

namespace morvik::longspan {

namespace {

struct Noise {
  std::mt19937_64 rng;
  std::normal_distribution<double> normal{0.0, 1.0};
  double Gauss() { return normal(rng); }
};

EventNight Sample(const morvik::events::TransitShape& shape, double dilution, const NightOptions& o,
                  std::uint64_t seed) {
  EventNight night;
  night.shape = shape;
  night.truthT0 = shape.t0;
  Noise noise{std::mt19937_64(seed)};
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  // An AR(1) process with correlation time redTime for the red noise.
  double red = o.red * noise.Gauss();
  const double rho = std::exp(-o.cadence / o.redTime);
  const double mid = o.start + 0.5 * o.length;
  for (double t = o.start; t < o.start + o.length; t += o.cadence * (1.0 + 0.1 * (unit(noise.rng) - 0.5))) {
    red = rho * red + std::sqrt(1.0 - rho * rho) * o.red * noise.Gauss();
    if (unit(noise.rng) < 0.03) continue; // a frame lost to a satellite or a cloud
    const double x = (t - mid) / o.length;
    const double airmass = 1.15 + 0.6 * x * x + 0.25 * x; // past the meridian
    const double eclipse = morvik::events::TransitFlux(shape, t, o.exposure, o.exposure > 0.0 ? 9 : 1);
    const double flux = (1.0 - dilution) * eclipse + dilution;
    night.t.push_back(t);
    night.airmass.push_back(airmass);
    night.flux.push_back(flux * (1.0 + o.airmassSlope * (airmass - 1.0)) + red + o.white * noise.Gauss());
    night.err.push_back(o.white * o.errorScale);
  }
  return night;
}

} // namespace

EventNight MakeTransitNight(morvik::events::TransitShape shape, double offset, const NightOptions& options,
                            std::uint64_t seed) {
  shape.t0 = options.start + 0.5 * options.length + offset;
  return Sample(shape, 0.0, options, seed);
}

EventNight MakeEclipseNight(double p, double b, double aRs, double period, double lightRatio, double offset,
                            const NightOptions& options, std::uint64_t seed) {
  morvik::events::TransitShape shape;
  shape.p = p;
  shape.b = b;
  shape.aRs = aRs;
  shape.period = period;
  shape.u1 = 0.5;
  shape.u2 = 0.2;
  shape.t0 = options.start + 0.5 * options.length + offset;
  return Sample(shape, lightRatio, options, seed);
}

} // namespace morvik::longspan
