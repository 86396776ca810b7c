#pragma once
// How the raw scatter (Variance) of the stars is distributed: 100 equal steps between
// the smallest and the largest value.

#include <string>
#include <vector>

#include "dataset/records.hpp"

namespace morvik {

// The table never has more bins than this, even when the step is too small to move
// the lower bound.
inline constexpr int kMaxHistogramBins = 101;

struct HistogramBin {
  double lower = 0.0;
  double upper = 0.0;
  int count = 0; // stars with lower <= Variance <= upper
};

struct SigmaHistogramTable {
  double min = 0.0;
  double max = 0.0;
  std::vector<HistogramBin> bins;
};

// Over every star of Stats, whatever its counts or mark. No bin when all variances are
// equal; a value on an inner boundary is counted in both neighbouring bins.
SigmaHistogramTable ComputeSigmaHistogram(const std::vector<TStarStat>& stats);

// The lines of the table: "MIN %f MAX %f", then "RANGE %f - %f N= %d" per bin.
// Log lines use the message decimal separator, file lines always a point.
std::vector<std::string> SigmaHistogramLogLines(const SigmaHistogramTable& table);
std::vector<std::string> SigmaHistogramFileLines(const SigmaHistogramTable& table);

} // namespace morvik
