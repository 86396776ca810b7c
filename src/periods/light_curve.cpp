#include "periods/light_curve.hpp"

#include "common/format.hpp"
#include "common/parse.hpp"

namespace morvik {

std::int32_t RowOfLabel(std::string_view label) { return ParseInteger(label).value_or(0); }

MarkerStyle LightCurveMarker(const TTimeSeries& series, int star, std::int32_t row, double starSigmaFactor,
                             MarkerStyle base) {
  if (row < 0 || static_cast<std::size_t>(row) >= series.Rows.size() || star < 0) return base;
  const TDataLine& line = series.Rows[static_cast<std::size_t>(row)];
  const auto s = static_cast<std::size_t>(star);
  MarkerStyle style = base;
  if (s < line.Items.size() && s < series.Stats.size() && line.Items[s].Err > starSigmaFactor * series.Stats[s].MeanErr)
    style = MarkerStyle::Triangle;
  if (line.FrameErr > 2.0 * series.MeanSigmaAll) style = MarkerStyle::DownTriangle;
  return style;
}

std::string LightCurveFileText(const TTimeSeries& series, int id) {
  std::string text;
  if (id < 1) return text;
  const auto s = static_cast<std::size_t>(id - 1);
  for (const TDataLine& row : series.Rows) {
    if (s >= row.Items.size() || !row.Items[s].Valid) continue;
    const TMeasurement& m = row.Items[s];
    text += FormatFixed(row.Time, 5, 13);
    text += ' ';
    text += FormatFixed(m.RunMag, 4, 7);
    text += ' ';
    text += FormatFixed(m.Err, 4, 7);
    text += "\r\n";
  }
  return text;
}

} // namespace morvik
