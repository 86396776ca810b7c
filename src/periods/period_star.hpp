#pragma once
// The light curve of one star as plain arrays, for the period search.

#include <vector>

#include "dataset/records.hpp"

namespace morvik {

struct StarSeries {
  std::vector<double> t, y, dy; // times, RUN magnitudes, errors (empty: equal weights)
};

// The valid measurements of star id (1-based) in row order. Errors of 0 (not given)
// would drop every point from a weighted fit, so any such leaves dy empty.
StarSeries SeriesOfStar(const TTimeSeries& series, long long id);

} // namespace morvik
