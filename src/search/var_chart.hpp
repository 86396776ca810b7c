#pragma once
// The points of the Find Variables chart: one per sufficiently observed star, with two
// chosen indices as x and y.

#include <string>
#include <vector>

#include "common/chart_model.hpp"
#include "dataset/records.hpp"

namespace morvik {

inline constexpr int kAxisItemCount = 8;

// The value plotted for axis item 0 ... 7 (Mean magnitude, Raw Standard deviation,
// Standard deviation, sq.root( Chi-squared ), MAD, Robust median statistic,
// Normalized excess variance, von Neumann ratio); 0 for any other item.
double AxisValue(const TStarStat& stat, int item);

// The points of the stars, in star order (not yet in x order): a star is left out when
// it is a false alarm or when its NValid or its NAccepted is not above
// skipPercent / 100 x RowCount. Label: zero-based star index; colour green for a
// variable, otherwise the series colour. Empty when an axis item is out of range or
// the per-star records are missing.
std::vector<ChartPoint> VarChartPoints(const TTimeSeries& series, int itemX, int itemY, int skipPercent);

} // namespace morvik
