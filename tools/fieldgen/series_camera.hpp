#pragma once
// A frame as a real camera takes it: the profile integrated over each pixel (so that
// stars of 1.2 px FWHM are right, not point-sampled), Poisson photons, read noise, a
// bias pedestal, the sensor's hot pixels, cosmic rays, and the ADC's ceiling.

#include <cstdint>
#include <vector>

#include "series_model.hpp"

namespace fieldgen {

// What the truth file says of each star (element id - 1) on one frame.
struct FrameTruth {
  std::vector<double> peak;    // highest noise-free pixel of the star's core, ADU
  std::vector<char> saturated; // a core pixel reached the ceiling
};

// Electrons of a Moffat star (beta 3) of total flux integrated over the pixels of a
// row-major w x h image, added to img.
void AddIntegratedStar(std::vector<double>& img, int w, int h, double x0, double y0, double flux, double fwhm);

// Counts clipped at the camera's ceiling; truth, when given, gets each star's peak and
// saturation on this frame.
std::vector<std::uint16_t> RenderCameraFrame(const Series& series, int k, std::uint64_t seed, FrameTruth* truth);

} // namespace fieldgen
