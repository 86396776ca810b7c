#pragma once
// Master calibration frames. With a bias: the bias comes off the frame, the dark and
// the flat; the dark's remaining dark current is scaled by exposure time. Without a
// bias the dark is taken to hold the bias too and comes off unscaled. The flat is
// divided after normalising it to its median. (docs/reduce.md spells it out.)

#include <string>
#include <vector>

namespace morvik::reduction {

struct Masters {
  long width = 0;
  long height = 0;
  std::vector<float> bias;
  std::vector<float> dark;
  double darkExposure = 0; // seconds; 0 = the dark is subtracted unscaled
  bool darkScaled = false; // dark current alone (the bias came off): scaled by exposure
  std::vector<float> flat; // bias-free when a bias was given, normalised to median 1
  bool Empty() const { return bias.empty() && dark.empty() && flat.empty(); }
};

// Reads the masters ("" = none). Throws CommandError naming the file that fails.
Masters LoadMasters(const std::string& bias, const std::string& dark, const std::string& flat);

// How the dark is used, for the report: "scaled by exposure time" or why not.
std::string DarkNote(const Masters& masters);

// Calibrates pixels in place; the error text says why it could not ("" when done).
std::string Calibrate(const Masters& masters, std::vector<float>& pixels, long width, long height, double exposure);

// Registered frames carry a border of zeros where the shifted image left no data:
// zeros reaching in from any edge of a row or a column become missing (NaN). Returns
// how many pixels were so marked.
long MaskZeroBorder(std::vector<float>& pixels, long width, long height);

} // namespace morvik::reduction
