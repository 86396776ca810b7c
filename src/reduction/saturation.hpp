#pragma once
// The level at which a camera's pixels stop counting, read from the frame itself.

#include <optional>
#include <string>
#include <vector>

namespace morvik::reduction {

struct Ceiling {
  double level = 0;   // ADU, 0 = none (floating-point data without a plateau)
  std::string source; // "plateau", "BITPIX"
};

// The largest value of the raw pixels when it repeats as a plateau (at least two
// pixels side by side hold it: a flat-topped star); else the largest value the stored
// integers can hold (BITPIX, shifted by BZERO and scaled by BSCALE); else none.
Ceiling FindCeiling(const std::vector<float>& raw, long width, long height, int bitpix, double bzero, double bscale);

} // namespace morvik::reduction
