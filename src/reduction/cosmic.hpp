#pragma once
// Cosmic-ray hits and other pixels sharper than the point-spread function, found by
// the Laplacian edge criterion of van Dokkum (2001, PASP 113, 1420) and repaired for
// the star search and the sky.

#include <cstdint>
#include <vector>

namespace morvik::reduction {

struct CosmicOptions {
  double sigclip = 4.5; // S' above this many sigma marks a hit
  double sigfrac = 0.3; // its neighbours need sigfrac x sigclip
  double objlim = 5.0;  // L+ / F above this: sharper than the fine structure of a star
  int iterations = 2;
};

// data: background-subtracted ADU, row-major, repaired in place (the median of the
// clean pixels of the 5 x 5 box); mask: pixel:: flags, kCosmic set on the pixels found.
// skyRms: noise of one sky pixel (ADU), gain: e-/ADU for the photon noise of sources.
// A pixel whose brightest 3 x 3 neighbour has light on both axes' sides, as a star's
// core has at any sampling, is never touched. Returns the pixels found, sorted.
std::vector<std::size_t> RepairCosmicRays(std::vector<float>& data, std::vector<std::uint8_t>& mask, long width,
                                          long height, double skyRms, double gain, const CosmicOptions& options = {});

// True when the peak at (x, y) spreads its light as a star does: its two side
// neighbours along x and those along y each hold at least a tenth of it together.
bool StarLikePeak(const float* data, long width, long height, long x, long y);

} // namespace morvik::reduction
