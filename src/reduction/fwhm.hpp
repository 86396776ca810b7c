#pragma once
// The seeing of a frame: the FWHM of its stars from their second moments.

#include <vector>

#include "reduction/aperture_sum.hpp"

namespace morvik::reduction {

// Median FWHM of the first 30 of `bright` (brightest first) that are isolated (no
// position of `all` within twice the window), untouched by any flagged pixel, and
// above 20 sigma of the sky (skyRms) in their peak. The window is 2.5 x guess (at
// least 3 pixels); the second moment of a pixel-integrated Gaussian is sigma^2 + 1/12
// per axis. 0 when no star qualifies.
double MomentFwhm(const PixelView& view, const std::vector<Point>& bright, const std::vector<Point>& all, double guess,
                  double skyRms);

} // namespace morvik::reduction
