#pragma once
// The seeing of a frame: the FWHM of its stars from a profile fit.

#include <vector>

#include "reduction/aperture_sum.hpp"

namespace morvik::reduction {

// Median FWHM of the first 5 of `bright` (brightest first) that are isolated (no
// position of `all` within twice the window), untouched by any flagged pixel, and
// above 20 sigma of the sky (skyRms) in their peak, each from a pixel-integrated
// Moffat profile fitted within 1.5 x guess (at least 3) pixels of it. 0 when no star
// qualifies.
double ProfileFwhm(const PixelView& view, const std::vector<Point>& bright, const std::vector<Point>& all, double guess,
                   double skyRms);

} // namespace morvik::reduction
