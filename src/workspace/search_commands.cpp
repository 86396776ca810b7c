#include "workspace/search_commands.hpp"

#include <algorithm>

#include "common/capacities.hpp"
#include "common/files.hpp"
#include "common/format.hpp"
#include "common/parse.hpp"
#include "common/rounding.hpp"
#include "search/more_chart.hpp"
#include "search/sigma_factor.hpp"
#include "search/sigma_histogram.hpp"
#include "search/var_chart.hpp"
#include "search/variability.hpp"
#include "workspace/candidate_commands.hpp"

namespace morvik {

namespace {

// Per-star records exist only after a Run. An empty data set has none either, but there
// is then nothing to compute and the commands go their normal way.
bool NeedsRun(const Workspace& ws) { return ws.Series.StarCount > 0 && !ws.Series.HasStats(); }

// Catalog position of a zero-based star index, rounded to picture pixels.
struct PixelPos {
  long long x, y;
};
// Absurd catalog values are held far off the picture, where nothing is drawn and the
// drawing coordinates cannot overflow.
PixelPos StarPixel(const Workspace& ws, long long index) {
  const TCatalogStar& c = ws.Catalog[index + 1];
  constexpr double kFar = 1e9;
  return {RoundHalfEven(std::clamp(c.X, -kFar, kFar)), RoundHalfEven(std::clamp(c.Y, -kFar, kFar))};
}

int ToInt(long long v) { return static_cast<int>(v); }

// Sets the mark of star s (zero-based), logs the confirmation of a variable, drops the
// coloured dot on the picture and refills the chart.
void Classify(Workspace& ws, long long s, std::uint8_t mark) {
  if (NeedsRun(ws)) {
    ws.log.Add(RunFirstMessage(mark == kMarkVariable ? "Mark as Variable" : "False alarm (remove)"));
    return;
  }
  if (s < 0 || s >= static_cast<long long>(ws.Series.Stats.size())) return;
  ws.Series.Stats[static_cast<std::size_t>(s)].Mark = mark;
  if (mark == kMarkVariable) ws.log.Add("Confirmed #" + std::to_string(s) + " as VAR");

  const Rgb colour = mark == kMarkVariable ? colors::Red : colors::Grey;
  const PixelPos p = StarPixel(ws, s);
  Picture& pic = ws.picture;
  pic.EnsureSize(kMinPictureSide, kMinPictureSide);
  pic.pen = colour;
  pic.fill = colour;
  pic.Ellipse(ToInt(p.x - 2), ToInt(p.y - 2), ToInt(p.x + 2), ToInt(p.y + 2));
  pic.fill = colors::White;
  ws.hooks->PictureChanged();

  RePlotVarChart(ws);
}

// Image-popup actions act on the picked star; nothing when none (or none of this data
// set) is picked.
void ClassifyPicked(Workspace& ws, std::uint8_t mark) {
  if (ws.PickedStar < 1 || ws.PickedStar > ws.Series.StarCount) return;
  Classify(ws, static_cast<long long>(ws.PickedStar) - 1, mark);
}

} // namespace

std::string RunFirstMessage(std::string_view command) {
  return std::string(command) + ": no Run since the data set was opened; run first.";
}

void SearchVariables(Workspace& ws, bool withCandidates) {
  if (NeedsRun(ws)) {
    ws.log.Add(RunFirstMessage("Search Variables"));
    return;
  }
  ++ws.SearchCount;
  ws.More.clear();
  ws.Candidates.clear();
  // Otherwise the further indices and the candidates follow on demand (ComputeCandidates).
  ComputeVariabilityIndices(ws.Series, ws.StarSigmaFactor, ws.DataSigmaFactor, ws.log,
                            withCandidates ? &ws.More : nullptr);
  if (withCandidates) RefreshCandidates(ws);
  RePlotVarChart(ws);
  ws.hooks->ShowPage(kPageView);
}

void RePlotVarChart(Workspace& ws) {
  ChartModel& chart = ws.VarChart;
  PointSeries& series1 = chart.series.at(kSeries1);
  chart.UndoZoom();
  series1.Clear();
  const int itemX = ws.settings.ChartX;
  const int itemY = ws.settings.ChartY;
  const bool chosen = itemX >= 0 && itemX < kAllAxisItemCount && itemY >= 0 && itemY < kAllAxisItemCount;
  if (ws.Series.StarCount > 0 && chosen) {
    if (itemX < kAxisItemCount && itemY < kAxisItemCount)
      series1.AddMany(VarChartPoints(ws.Series, itemX, itemY, ws.settings.SkipLessPercFrame));
    else {
      if (ws.More.empty()) ComputeCandidates(ws);
      series1.AddMany(VarChartPointsWithMore(ws.Series, ws.More, itemX, itemY, ws.settings.SkipLessPercFrame));
    }
    chart.bottomTitle = AxisItemName(itemX);
    chart.leftTitle = AxisItemName(itemY);
  }
  ws.hooks->VarChartChanged();
}

void ClickVarPoint(Workspace& ws, std::size_t i, int x, int y) {
  const PointSeries& series1 = ws.VarChart.series.at(kSeries1);
  if (i >= series1.Count()) return;
  const std::string label = series1.Point(i).label;
  ws.hooks->SetStatusText(1, FormatMessage("Click %d %d id= %d", {x, y, i}) + " LABEL " + label);

  const std::optional<int> index = ParseInteger(label);
  if (index && *index >= 0 && *index <= 0xFFFF) ws.SelectedStar = static_cast<std::uint16_t>(*index);
  const PixelPos p = StarPixel(ws, ws.SelectedStar);
  ws.log.Add("SELECTED STAR " + FormatMessage("%d (%.3d; %.3d)", {ws.SelectedStar + 1, p.x, p.y}));

  ws.SelectedPoint = static_cast<std::uint16_t>(i);

  Picture& pic = ws.picture;
  pic.EnsureSize(kMinPictureSide, kMinPictureSide);
  pic.pen = colors::Yellow;
  pic.Ellipse(ToInt(p.x - 3), ToInt(p.y - 3), ToInt(p.x + 3), ToInt(p.y + 3));
  pic.Line(ToInt(p.x), ToInt(p.y - 3), ToInt(p.x), ToInt(p.y + 3));
  ws.hooks->PictureChanged();
  ws.hooks->VarChartChanged();
}

MarkerStyle VarPointStyle(const Workspace& ws, std::size_t i) {
  return i == ws.SelectedPoint ? MarkerStyle::Rectangle : MarkerStyle::Circle;
}

long VarCrossPoint(const Workspace& ws) {
  const std::size_t count = ws.VarChart.series.at(kSeries1).Count();
  return ws.SelectedPoint < count ? static_cast<long>(ws.SelectedPoint) : -1;
}

void SetStarSigmaText(Workspace& ws, std::string_view text) { ws.StarSigmaFactor = SigmaFactorFromText(text); }

void SetDataSigmaText(Workspace& ws, std::string_view text) { ws.DataSigmaFactor = SigmaFactorFromText(text); }

void ConfirmVariable1Click(Workspace& ws) { Classify(ws, ws.SelectedStar, kMarkVariable); }

void RemoveStar1Click(Workspace& ws) { Classify(ws, ws.SelectedStar, kMarkFalseAlarm); }

void MarkasVariable1Click(Workspace& ws) { ClassifyPicked(ws, kMarkVariable); }

void Falsealarmremove1Click(Workspace& ws) { ClassifyPicked(ws, kMarkFalseAlarm); }

void SigmaHistogram(Workspace& ws) {
  if (!ws.Series.HasStats()) {
    ws.log.Add(RunFirstMessage("Sigma histogram"));
    return;
  }
  const SigmaHistogramTable table = ComputeSigmaHistogram(ws.Series.Stats);
  ws.log.Clear();
  for (const std::string& line : SigmaHistogramLogLines(table))
    ws.log.Add(line);

  if (ws.FramePath.empty()) {
    ws.log.Add("Histogram not saved: no frame file has been opened");
    return;
  }
  std::string content;
  for (const std::string& line : SigmaHistogramFileLines(table))
    content += line + "\r\n";
  const std::string path = ws.FramePath + "_histsigma.txt";
  if (!WriteFileReplacing(path, content)) ws.log.Add("Cannot write file " + path);
}

} // namespace morvik
