#pragma once
// Ensemble differential photometry: per-star raw statistics and the choice of the
// comparison ensemble, the iterated ensemble weights, and the per-frame zero points
// with the ensemble-corrected magnitudes. The three steps run in this order on every
// Run and work on the data set in place.

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/log.hpp"
#include "dataset/records.hpp"

namespace morvik {

// The settings that decide which stars join the ensemble, as plain values.
struct SelectionSettings {
  int FrameBorder = 10;         // border as 1/N of the frame size
  int FrameBorderPX = 50;       // smallest border in pixels
  int Part4select = 70;         // percentage of frames a comparison star must be measured in
  double VarianceFactor = 1.5;  // a comparison star's variance may be at most this x mean variance
  long long NotMoreComp = 1000; // largest number of comparison stars
  bool CompManual = false;      // keep the user's Used flags
};

// Size of the reference frame in pixels (NAXIS1, NAXIS2).
struct FrameSize {
  int Width = 0;
  int Height = 0;
};

// A decimal number typed by the user: the message decimal separator and the point
// are both accepted. nullopt when the text is not one number.
std::optional<double> ReadUserDecimal(std::string_view text);

// The variance factor edit: a text that is not a number greater than 0 gives 1.5.
double ReadVarianceFactor(std::string_view text);

// The largest-number-of-comparison-stars edit: a whole number; below 5, or not a
// whole number, gives 5.
long long ReadNotMoreComp(std::string_view text);

// Sizes Stats to StarCount (keeping existing elements) and computes Mean, MeanW,
// NValid, MeanErr and Variance of every star from the valid measurements, then
// MeanVariance and, unless settings.CompManual, the Used flags; UsedCount either way.
void ComputeRawStatistics(TTimeSeries& data, const StarCatalog& catalog, FrameSize frame,
                          const SelectionSettings& settings, Log& log);

// Iterates the weights of the comparison stars (Used) and puts every star's Mean on
// the comparison star's scale (RunMean). compStarId must be 1 ... Stats.size();
// otherwise throws CommandError "Please choose a comparison star" and changes nothing.
void ComputeComparisonWeights(TTimeSeries& data, std::uint16_t compStarId, double compStarMag, Log& log);

// Zero point of every frame from the weighted comparison stars; RunMag of every valid
// measurement, ValidCount and FrameErr of every row, MeanSigmaAll. Same precondition
// on compStarId as ComputeComparisonWeights.
void ComputeFrameZeroPoints(TTimeSeries& data, std::uint16_t compStarId, double compStarMag, Log& log);

} // namespace morvik
