#pragma once
// A series prepared for weighted fits: times from the middle of the span (phases stay
// small), weights 1 / dy^2 normalised to a sum of 1, magnitudes from their weighted
// mean. Points whose time, magnitude or error is not a finite number, or whose error
// is not positive, are left out.

#include <span>
#include <vector>

namespace morvik {

struct WeightedSeries {
  WeightedSeries(std::span<const double> t, std::span<const double> y, std::span<const double> dy);

  std::vector<double> t;  // days from the middle of the span
  std::vector<double> y;  // from the weighted mean
  std::vector<double> w;  // normalised weights
  std::vector<double> wy; // w * y
  double tMid = 0.0;      // what was taken off the times
  double mean = 0.0;      // weighted mean magnitude
  double yy = 0.0;        // weighted variance about the mean, sum w y^2
};

} // namespace morvik
