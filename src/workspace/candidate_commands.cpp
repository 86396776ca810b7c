#include "workspace/candidate_commands.hpp"

#include <algorithm>

#include "common/format.hpp"
#include "common/rounding.hpp"
#include "search/candidates.hpp"
#include "search/more_indices.hpp"
#include "search/var_chart.hpp"
#include "workspace/search_commands.hpp"

namespace morvik {

void ComputeCandidates(Workspace& ws) {
  ws.More.clear();
  ws.Candidates.clear();
  if (!ws.Series.HasStats()) return;
  ws.More = ComputeMoreIndices(ws.Series, ws.StarSigmaFactor, ws.DataSigmaFactor);
  RefreshCandidates(ws);
}

void RefreshCandidates(Workspace& ws) {
  CandidateSettings settings;
  settings.Threshold = ws.settings.CandidateThreshold;
  ws.Candidates = FindCandidates(ws.Series, ws.More, settings);
}

std::string AxisItemName(int item) {
  if (item >= 0 && item < kAxisItemCount) return kAxisItems[item];
  if (item >= kAxisItemCount && item < kAllAxisItemCount) return kMoreIndexNames[item - kAxisItemCount];
  return {};
}

void SelectCandidate(Workspace& ws, int id) {
  if (id < 1 || id > ws.Series.StarCount || !ws.Series.HasStats()) return;
  ws.SelectedStar = static_cast<std::uint16_t>(id - 1);
  ws.PickedStar = id;
  const std::string label = std::to_string(id - 1);
  const PointSeries& series1 = ws.VarChart.series.at(kSeries1);
  for (std::size_t i = 0; i < series1.Count(); ++i)
    if (series1.Point(i).label == label) ws.SelectedPoint = static_cast<std::uint16_t>(i);

  const TCatalogStar& c = ws.Catalog[id];
  constexpr double kFar = 1e9;
  const int x = static_cast<int>(RoundHalfEven(std::clamp(c.X, -kFar, kFar)));
  const int y = static_cast<int>(RoundHalfEven(std::clamp(c.Y, -kFar, kFar)));
  Picture& pic = ws.picture;
  pic.EnsureSize(kMinPictureSide, kMinPictureSide);
  pic.pen = colors::Yellow;
  pic.Ellipse(x - 3, y - 3, x + 3, y + 3);
  pic.Line(x, y - 3, x, y + 3);
  ws.log.Add("Candidate " + std::to_string(id) + " selected");
  ws.hooks->PictureChanged();
  ws.hooks->VarChartChanged();
}

void MarkCandidate(Workspace& ws, int id, std::uint8_t mark) {
  if (id < 1 || id > ws.Series.StarCount) return;
  ws.PickedStar = id;
  if (mark == kMarkVariable)
    MarkasVariable1Click(ws);
  else if (mark == kMarkFalseAlarm)
    Falsealarmremove1Click(ws);
  ComputeCandidates(ws);
}

std::string CandidatesCsv(const Workspace& ws) {
  std::string out = "rank,id,m,score,index,NAccepted\n";
  for (std::size_t i = 0; i < ws.Candidates.size(); ++i) {
    const Candidate& c = ws.Candidates[i];
    out += std::to_string(i + 1) + ',' + std::to_string(c.Id) + ',' + FormatShortest(c.Mag) + ',' +
           FormatShortest(c.Score) + ',' + CandidateIndexName(c.Index) + ',' + std::to_string(c.N) + '\n';
  }
  return out;
}

} // namespace morvik
