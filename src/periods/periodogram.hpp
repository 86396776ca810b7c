#pragma once

#include <vector>

namespace morvik {

// One star's Lafler-Kinman periodogram.
struct TPeriodogram {
  bool Computed = false;     // a computation for this star has completed
  std::vector<double> Freq;  // trial frequencies, cycles per day, ascending
  std::vector<double> Theta; // theta at the frequency of the same index
};

} // namespace morvik
