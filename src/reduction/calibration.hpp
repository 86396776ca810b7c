#pragma once
// Master calibration frames: bias subtracted, dark scaled by exposure time and
// subtracted, flat divided after normalising it to its median.

#include <string>
#include <vector>

namespace morvik::reduction {

struct Masters {
  long width = 0;
  long height = 0;
  std::vector<float> bias;
  std::vector<float> dark;
  double darkExposure = 0; // seconds; 0 = the dark is subtracted unscaled
  std::vector<float> flat; // normalised to median 1
  bool Empty() const { return bias.empty() && dark.empty() && flat.empty(); }
};

// Reads the masters ("" = none). Throws CommandError naming the file that fails.
Masters LoadMasters(const std::string& bias, const std::string& dark, const std::string& flat);

// Calibrates pixels in place; the error text says why it could not ("" when done).
std::string Calibrate(const Masters& masters, std::vector<float>& pixels, long width, long height, double exposure);

// Registered frames carry a border of zeros where the shifted image left no data:
// zeros reaching in from any edge of a row or a column become missing (NaN). Returns
// how many pixels were so marked.
long MaskZeroBorder(std::vector<float>& pixels, long width, long height);

} // namespace morvik::reduction
