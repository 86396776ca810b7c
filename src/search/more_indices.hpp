#pragma once
// Variability indices beside the eight of Search Variables, from the same accepted
// measurements (valid, Err within starSigmaFactor x the star's MeanErr, frame error
// within dataSigmaFactor x MeanSigmaAll), in row order.

#include <cstdint>
#include <span>
#include <vector>

#include "dataset/records.hpp"

namespace morvik {

struct MoreIndices {
  std::uint32_t N = 0; // accepted measurements
  double Iqr = 0.0;    // interquartile range of the magnitudes
  double StetsonJ = 0.0;
  double StetsonK = 0.0;
  double StetsonL = 0.0;
  double InverseEta = 0.0;    // 1 / von Neumann's eta
  double ExcessScatter = 0.0; // observed scatter over the scatter the errors predict
  double DipSnr = 0.0;        // the deepest single dip over its error (DipSignalToNoise)
  double ClippedExcess = 0.0; // the excess scatter with every normalised residual clipped at kClipSigmas
  // What a constant star with these errors and times gives, per calibrated index
  // (index_calibration.hpp): the median and the upper spread; spread 0: not calibrated.
  double NullCentre[5] = {0, 0, 0, 0, 0};
  double NullSpread[5] = {0, 0, 0, 0, 0};
};

// The candidate score's excess scatter counts a residual of more than this many errors
// as this many: one outlier among few points must not make a candidate.
inline constexpr double kClipSigmas = 4.0;

// Two measurements closer in time than this (days) form a Stetson pair.
inline constexpr double kStetsonPairDays = 0.02;

// The indices of one series of magnitudes, errors and times (time order). Needs no
// sorting of its input; scratch must hold mags.size() values.
MoreIndices IndicesOf(std::span<const double> mags, std::span<const double> errs, std::span<const double> times,
                      std::span<double> scratch);

// The indices of every star (element id - 1). Empty without the records of a Run.
std::vector<MoreIndices> ComputeMoreIndices(const TTimeSeries& series, double starSigmaFactor, double dataSigmaFactor);

// The names of the new indices as the chart's axis choices show them, after the eight.
inline constexpr int kMoreIndexCount = 6;
inline constexpr const char* kMoreIndexNames[kMoreIndexCount] = {
    "Interquartile range",         "Stetson J", "Stetson K", "Stetson L", "1/eta (inverse von Neumann ratio)",
    "Excess over expected scatter"};

// Value of the new index k (0 ... kMoreIndexCount - 1).
double MoreIndexValue(const MoreIndices& m, int k);

} // namespace morvik
