#pragma once
// Nights of photometry around one event, drawn from the exact occultation model:
// a transit with limb darkening and a known mid-time, or an eclipse of a binary with
// a known time of minimum; white noise, correlated (red) noise, a trend with airmass
// and the sampling of a real night (a gap or two, a few points lost).

#include "events/transit_model.hpp"

#include <cstdint>
#include <vector>

namespace morvik::longspan {

struct EventNight {
  std::vector<double> t, flux, err, airmass;
  double truthT0 = 0.0; // mid-transit or minimum
  morvik::events::TransitShape shape;
};

struct NightOptions {
  double start = 2460000.60; // JD of the first point
  double length = 0.20;      // days
  double cadence = 1.5 / 1440.0;
  double exposure = 0.0;          // the model is averaged over it
  double white = 0.002;           // relative flux per point
  double red = 0.0;               // rms of the correlated noise
  double redTime = 15.0 / 1440.0; // its correlation time
  double airmassSlope = 0.0;      // flux change per unit airmass
  double errorScale = 1.0;        // errors written as white * errorScale (a wrong gain)
};

// A transit of the shape given (its t0 is set to the middle of the night plus
// offset), sampled and noised as the options say.
EventNight MakeTransitNight(morvik::events::TransitShape shape, double offset, const NightOptions& options,
                            std::uint64_t seed);

// An eclipse of a binary: a dark companion of radius ratio p at impact b, its light
// lightRatio of the total; same sampling and noise.
EventNight MakeEclipseNight(double p, double b, double aRs, double period, double lightRatio, double offset,
                            const NightOptions& options, std::uint64_t seed);

} // namespace morvik::longspan
