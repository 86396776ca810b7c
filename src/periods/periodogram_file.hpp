#pragma once
// Showing and writing a stored periodogram.

#include <string>
#include <vector>

#include "periods/periodogram.hpp"

namespace morvik {

struct FreqTheta {
  double freq;
  double theta;
};

// The smoothed curve: the means of frequency and theta over every complete block of
// 8 consecutive entries; a last block of fewer than 8 is left out.
std::vector<FreqTheta> SmoothedPeriodogram(const TPeriodogram& p);

// The periodogram file: one line per entry, "Freq Theta Period" in widths 13, 7, 8
// with 9, 5, 7 decimals, CR LF. The period of a frequency of 0 is written as 0.
std::string PeriodogramFileText(const TPeriodogram& p);

} // namespace morvik
