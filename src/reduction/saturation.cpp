#include "reduction/saturation.hpp"

#include <cmath>
#include <limits>

namespace morvik::reduction {

Ceiling FindCeiling(const std::vector<float>& raw, long width, long height, int bitpix, double bzero, double bscale) {
  Ceiling c;
  float top = -std::numeric_limits<float>::infinity();
  for (float v : raw)
    if (v > top) top = v; // NaN never passes
  double typeMax = 0;
  if (bitpix > 0 && bitpix <= 32) typeMax = bzero + bscale * (bitpix == 8 ? 255.0 : std::ldexp(1.0, bitpix - 1) - 1.0);
  if (std::isfinite(top)) {
    // Two equal neighbours at the top of a bright star happen by chance on integer
    // data; three pixels at the top, or two at a converter's full scale (2^n - 1), do not.
    const double t = static_cast<double>(top);
    const double bits = std::log2(t + 1.0);
    const bool fullScale = (t > 0 && std::abs(bits - std::round(bits)) < 1e-9) || (typeMax > 0 && t == typeMax);
    int count = 0;
    bool adjacent = false;
    for (long y = 0; y < height; ++y) {
      const float* row = raw.data() + y * width;
      for (long x = 0; x < width; ++x) {
        if (row[x] != top) continue;
        ++count;
        adjacent = adjacent || (x + 1 < width && row[x + 1] == top) || (y + 1 < height && row[x + width] == top);
      }
    }
    if (adjacent && (count >= 3 || fullScale)) {
      c.level = t;
      c.source = "plateau";
      return c;
    }
  }
  if (typeMax > 0) {
    c.level = typeMax;
    c.source = "BITPIX";
  }
  return c;
}

} // namespace morvik::reduction
