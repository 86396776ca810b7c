#pragma once
// What the candidate indices of a constant star would be with the star's own errors,
// times and number of points: the indices of few points scatter far more than those of
// many, so a score against stars of similar magnitude alone lists constant stars of few
// points. And a dip in one stretch of the night: the single-event box statistic.

#include <cstdint>
#include <span>

namespace morvik {

struct MoreIndices;

// The indices calibrated and scored: interquartile range, Stetson L, 1/eta, the
// excess scatter, and the dip.
inline constexpr int kCalibratedCount = 5;
inline constexpr int kDipIndex = 4; // position of the dip among them

// The deepest dip of the series: over windows of 1, 2 and 4 hours (at least 3 points in
// and 3 out), the weighted mean inside minus the one outside, over its standard error
// from the errors (a box search for one event, after Kovacs, Zucker & Mazeh 2002, A&A
// 391, 369, with a single box in time instead of in phase). Fainter is positive; 0 when
// no window fits.
double DipSignalToNoise(std::span<const double> mags, std::span<const double> errs, std::span<const double> times);

// Value of calibrated index k of a star.
double CalibratedIndexValue(const MoreIndices& m, int k);

// Simulates `rounds` constant stars with the errors and times given (normal errors of
// those sizes) and keeps, per index, the median of the simulated values and their upper
// spread (the 84th percentile minus the median: the side a variable moves to). The
// seed makes the result repeatable.
void CalibrateIndices(std::span<const double> errs, std::span<const double> times, std::uint64_t seed, int rounds,
                      MoreIndices& out);

} // namespace morvik
