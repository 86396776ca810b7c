#include "periods/period_star.hpp"

#include <algorithm>

namespace morvik {

StarSeries SeriesOfStar(const TTimeSeries& series, long long id) {
  StarSeries s;
  if (id < 1) return s;
  const auto k = static_cast<std::size_t>(id - 1);
  const auto rows = std::min(series.Rows.size(), static_cast<std::size_t>(std::max(series.RowCount, 0)));
  for (std::size_t r = 0; r < rows; ++r) {
    const TDataLine& row = series.Rows[r];
    if (k >= row.Items.size() || !row.Items[k].Valid) continue;
    s.t.push_back(row.Time);
    s.y.push_back(row.Items[k].RunMag);
    s.dy.push_back(row.Items[k].Err);
  }
  for (double e : s.dy)
    if (!(e > 0.0)) {
      s.dy.clear();
      break;
    }
  return s;
}

} // namespace morvik
