#pragma once
// The Find Variables chart with the indices beside the eight as axis choices.

#include <vector>

#include "common/chart_model.hpp"
#include "dataset/records.hpp"
#include "search/more_indices.hpp"

namespace morvik {

// As VarChartPoints, for axis items 0 ... 13: 0 ... 7 the eight, 8 ... 13 the new
// indices in the order of kMoreIndexNames (0 where more holds no value for a star).
std::vector<ChartPoint> VarChartPointsWithMore(const TTimeSeries& series, const std::vector<MoreIndices>& more,
                                               int itemX, int itemY, int skipPercent);

} // namespace morvik
