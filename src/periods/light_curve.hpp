#pragma once
// The light curve of one star: its points, the marker of a point, the export file.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/chart_model.hpp"
#include "dataset/records.hpp"

namespace morvik {

// Row index carried by a light-curve point's label; an empty or non-numeric label
// reads as row 0.
std::int32_t RowOfLabel(std::string_view label);

// Marker of the measurement of star (zero-based) in row: base (circle for RAW,
// rectangle for RUN); a triangle when its Err is above starSigmaFactor times the
// star's MeanErr; a down triangle when the frame's FrameErr is above twice
// MeanSigmaAll, whatever the first test gave. Rows, stars or statistics that do not
// exist leave the base marker (or skip the test that needs them).
MarkerStyle LightCurveMarker(const TTimeSeries& series, int star, std::int32_t row, double starSigmaFactor,
                             MarkerStyle base);

// The light-curve file of star id (1-based): one line per valid measurement in table
// order, "Time RunMag Err" in widths 13, 7, 7 with 5, 4, 4 decimals, CR LF. Empty for
// an id without measurements.
std::string LightCurveFileText(const TTimeSeries& series, int id);

} // namespace morvik
