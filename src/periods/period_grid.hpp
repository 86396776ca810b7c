#pragma once
// The trial frequencies of a period search: evenly spaced in frequency, the step a
// fraction of the width of a peak (1 / span), from the longest to the shortest period.

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace morvik {

struct FrequencyGrid {
  double first = 0.0; // cycles per day
  double step = 0.0;
  std::size_t count = 0;
  double At(std::size_t k) const { return first + static_cast<double>(k) * step; }
  std::vector<double> Values() const;
};

struct GridRequest {
  double minPeriod = 0.05;   // days
  double maxPeriod = 0.0;    // days; 0 means the time span: one whole cycle observed
  double oversampling = 10.; // grid points per peak width
  std::size_t maxFrequencies = 50'000'000;
};

// The grid for times spanning `span` days. Throws CommandError when the range is empty
// or not a number, or when the grid would hold more than maxFrequencies (the message
// gives the size it would have).
FrequencyGrid MakeFrequencyGrid(double span, const GridRequest& request);

// The trial frequencies of a box search over the same range: a box of duration d
// drifts by a whole duration over the span when the frequency changes by d f / span,
// so the step is that over the oversampling (never below 1 / (bins oversampling
// span), the width of one phase bin): finer than the common grid by the duty cycle.
// Throws as MakeFrequencyGrid.
std::vector<double> BoxFrequencies(double span, const GridRequest& request, double shortestDuration, int bins);

// max(t) - min(t); 0 for fewer than two times.
double TimeSpan(std::span<const double> t);

} // namespace morvik
