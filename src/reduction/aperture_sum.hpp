#pragma once
// Light in a circular aperture with the exact area of overlap of the circle and each
// pixel, and the repair of flagged pixels from the star's own profile.

#include <cstdint>
#include <vector>

#include "reduction/star_match.hpp"

namespace morvik::reduction {

// Area of the circle of radius r about (0, 0) inside the rectangle [x0, x1] x [y0, y1].
double CircleRectOverlap(double x0, double x1, double y0, double y1, double r);

// Pixel flags of a frame, one byte per pixel.
namespace pixel {
constexpr std::uint8_t kClean = 0;
constexpr std::uint8_t kHot = 1;       // the sensor's hot pixel: value unusable
constexpr std::uint8_t kBad = 2;       // missing
constexpr std::uint8_t kSaturated = 4; // at or above the linear limit
constexpr std::uint8_t kCosmic = 8;    // a cosmic-ray hit, repaired for the search only
} // namespace pixel

struct PixelView {
  const float* data = nullptr;        // background subtracted
  const std::uint8_t* mask = nullptr; // pixel:: flags
  long width = 0;
  long height = 0;
};

struct CircleSum {
  double sum = 0;       // ADU
  double area = 0;      // pixels
  int replaced = 0;     // flagged pixels taken from the point-symmetric pixel
  bool edge = false;    // the circle leaves the frame
  bool blocked = false; // a flagged pixel without a clean opposite, or a missing one
  bool saturated = false;
};

// Sums the circle of radius r about `at`. A hot or cosmic pixel inside it takes the
// value of the pixel point-symmetric about the centre when that one is clean (a star's
// profile is symmetric); otherwise the sum is blocked. Nothing is ever scaled up.
CircleSum SumCircle(const PixelView& view, Point at, double r);

} // namespace morvik::reduction
