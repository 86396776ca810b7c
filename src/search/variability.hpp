#pragma once
// Variability indices of every star from its ensemble magnitudes, and the ordering
// helpers they rest on.

#include <span>

#include "common/log.hpp"
#include <vector>

#include "dataset/records.hpp"
#include "search/more_indices.hpp"

namespace morvik {

// Computes NAccepted, RunMeanW, RunMedian, RunVariance, ChiSq, Mad, RobustMedian,
// ExcessVariance and VonNeumann of every star from the accepted RunMag values, then
// logs "Mean and Sigma (RUN) calculated". A measurement is accepted when it is valid,
// its Err is at most starSigmaFactor x the star's MeanErr and its row's FrameErr is at
// most dataSigmaFactor x MeanSigmaAll. Needs the per-star records of a Run; without
// them only the log line is written.
// With more, the further indices of every star are computed from the same accepted
// measurements in the same pass, exactly as ComputeMoreIndices would (more is resized to
// StarCount; left untouched without the records of a Run).
void ComputeVariabilityIndices(TTimeSeries& series, double starSigmaFactor, double dataSigmaFactor, Log& log,
                               std::vector<MoreIndices>* more = nullptr);

// Shell sort with Knuth's gaps (1, 4, 13, 40, ...), ascending, in place. Equal values
// are never swapped.
void SortValues(std::span<double> values);

// Median of the 1-based positions lo ... hi of sorted values. 0 when values is empty,
// lo >= hi (so a single value gives 0), lo < 1 or hi beyond the end.
double MedianOfRange(std::span<const double> sorted, long long lo, long long hi);

// MedianOfRange(sorted values, 1, n) without sorting: selects only the middle values.
// Reorders values.
double MiddleMedian(std::span<double> values);

} // namespace morvik
