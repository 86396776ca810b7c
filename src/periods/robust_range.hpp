#pragma once
// The range a light curve is looked at in when a few wild points must not decide it:
// the values between two quantiles, widened by a margin.

#include <optional>
#include <vector>

#include "common/chart_model.hpp"

namespace morvik {

struct ValueRange {
  double min = 0.0;
  double max = 0.0;
};

// The span of the values between the `tail` and 1 - `tail` quantiles (nearest rank),
// widened by `margin` of that span on both sides; a span of zero is widened by
// `margin` of the value's size (or by `margin` itself at zero). Non-finite values are
// left out; none left gives no range.
std::optional<ValueRange> RobustRange(std::vector<double> values, double tail = 0.02, double margin = 0.08);

// The view that fits a light curve's corrected series: all its times, and the robust
// range of its magnitudes.
struct FitView {
  ValueRange x;
  ValueRange y;
};
std::optional<FitView> FitToSeries(const PointSeries& series);

} // namespace morvik
