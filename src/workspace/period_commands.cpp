#include "workspace/period_commands.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/files.hpp"
#include "common/format.hpp"
#include "periods/lafler_kinman.hpp"
#include "periods/light_curve.hpp"
#include "periods/periodogram_file.hpp"

namespace morvik {
namespace {

bool HasRows(const Workspace& ws) { return ws.Series.RowCount >= 1 && !ws.Series.Rows.empty(); }

bool PickedStarInRange(const Workspace& ws) {
  return ws.PickedStar >= 1 && ws.PickedStar <= static_cast<std::int32_t>(ws.Series.StarCount);
}

// The row a light-curve point stands for, or -1 when the point does not exist or
// the chart holds a periodogram, whose points carry no row.
std::int32_t RowOfPoint(const Workspace& ws, std::size_t series, std::size_t i) {
  if (ws.LightCurveShowsPeriodogram || series >= ws.LightCurve.series.size()) return -1;
  const PointSeries& s = ws.LightCurve.series[series];
  if (i >= s.Count()) return -1;
  return RowOfLabel(s.Point(i).label);
}

const TMeasurement* MeasurementAt(const Workspace& ws, std::int32_t row, int star) {
  if (row < 0 || star < 0 || static_cast<std::size_t>(row) >= ws.Series.Rows.size()) return nullptr;
  const TDataLine& line = ws.Series.Rows[static_cast<std::size_t>(row)];
  if (static_cast<std::size_t>(star) >= line.Items.size()) return nullptr;
  return &line.Items[static_cast<std::size_t>(star)];
}

// Clears both series and adds the valid measurements of star s with their rows as
// labels; the zoom returns to the full view.
void FillLightCurve(Workspace& ws, int s) {
  ChartModel& chart = ws.LightCurve;
  chart.UndoZoom();
  std::vector<ChartPoint> raw;
  std::vector<ChartPoint> run;
  const auto star = static_cast<std::size_t>(s);
  const std::size_t rows = std::min(ws.Series.Rows.size(), static_cast<std::size_t>(std::max(ws.Series.RowCount, 0)));
  for (std::size_t r = 0; r < rows; ++r) {
    const TDataLine& line = ws.Series.Rows[r];
    if (star >= line.Items.size() || !line.Items[star].Valid) continue;
    std::string label = std::to_string(r);
    raw.push_back({line.Time, line.Items[star].Mag, label, {}});
    run.push_back({line.Time, line.Items[star].RunMag, std::move(label), {}});
  }
  chart.series[kSeriesRaw].Clear();
  chart.series[kSeriesRun].Clear();
  chart.series[kSeriesRaw].AddMany(std::move(raw));
  chart.series[kSeriesRun].AddMany(std::move(run));
  chart.title = "Light Curve";
  chart.bottomTitle = "JD";
  chart.leftTitle = "Magnitude";
  ws.LightCurveShowsPeriodogram = false;
  ws.hooks->LightCurveChanged();
}

double TimeSpan(const Workspace& ws);

// "Periodogram (Lafler-Kinman: N frequencies, periods A to B d; span S d)": the grid is
// the fixed one of this command, coarser than the Period Search's on long spans.
std::string PeriodogramTitle(const TPeriodogram& p, double span) {
  const std::size_t n = p.Freq.size();
  if (n == 0 || !(p.Freq[0] > 0.0)) return "Periodogram";
  const auto [lo, hi] = std::minmax_element(p.Freq.begin(), p.Freq.end());
  return "Periodogram (Lafler-Kinman: " + std::to_string(n) + " frequencies, periods " + FormatShortest(1.0 / *hi) +
         " to " + FormatShortest(1.0 / *lo) + " d; span " + FormatShortest(span) + " d)";
}

// Puts the star's periodogram into SeriesRAW; SeriesRUN gets the smoothed curve when
// asked for. The points carry no label: they stand for no row.
std::size_t FillPeriodogram(Workspace& ws, std::size_t star, bool smoothed) {
  ChartModel& chart = ws.LightCurve;
  chart.series[kSeriesRaw].Clear();
  chart.series[kSeriesRun].Clear();
  ws.LightCurveShowsPeriodogram = true;
  // Its own titles, so that it is never read as a light curve, and a note of its grid.
  chart.title = "Periodogram";
  chart.bottomTitle = "Frequency (1/d)";
  chart.leftTitle = "Theta";
  std::size_t added = 0;
  if (star < ws.Periodograms.size()) {
    const TPeriodogram& p = ws.Periodograms[star];
    const std::size_t n = std::min(p.Freq.size(), p.Theta.size());
    std::vector<ChartPoint> pts;
    pts.reserve(n);
    for (std::size_t k = 0; k < n; ++k)
      pts.push_back({p.Freq[k], p.Theta[k], {}, {}});
    chart.series[kSeriesRaw].AddMany(std::move(pts));
    added = n;
    chart.title = PeriodogramTitle(p, TimeSpan(ws));
    if (smoothed) {
      std::vector<ChartPoint> curve;
      for (const FreqTheta& ft : SmoothedPeriodogram(p))
        curve.push_back({ft.freq, ft.theta, {}, {}});
      chart.series[kSeriesRun].AddMany(std::move(curve));
    }
  }
  ws.hooks->LightCurveChanged();
  return added;
}

double TimeSpan(const Workspace& ws) {
  return HasRows(ws) ? ws.Series.Rows.back().Time - ws.Series.Rows.front().Time : 0.0;
}

void Compute(Workspace& ws, std::size_t star) {
  const TTimeSeries& series = ws.Series;
  const double span = TimeSpan(ws);
  ComputeLaflerKinman(series, series.Stats, ws.Periodograms, static_cast<std::uint16_t>(star), kLkShortestPeriod,
                      std::fabs(span), kLkPhaseStep, kLkExponent, ws.log);
}

bool WriteExport(Workspace& ws, const std::string& path, const std::string& text) {
  if (WriteFileReplacing(path, text)) return true;
  ws.log.Add("Could not write " + path);
  return false;
}

} // namespace

void PlotLightCurve(Workspace& ws, int s) {
  if (s < 0 || s >= static_cast<int>(ws.Series.StarCount)) return;
  ws.SelectedStar = static_cast<std::uint16_t>(s);
  FillLightCurve(ws, s);
  ws.hooks->ShowPage(kPageLightCurve);
}

void ShowLightCurveFromImage(Workspace& ws) { PlotLightCurve(ws, ws.PickedStar - 1); }

void ShowLightCurveFromChart(Workspace& ws) { PlotLightCurve(ws, ws.SelectedStar); }

bool ClickLightCurvePoint(Workspace& ws, std::size_t series, std::size_t i, int /*x*/, int /*y*/) {
  const std::int32_t row = RowOfPoint(ws, series, i);
  if (row < 0) return false;
  ws.SelectedRow = row;
  std::string text = series == kSeriesRaw ? "RAW" : "RUN";
  const PointSeries& s = ws.LightCurve.series[series];
  text += FormatMessage(" Point %.3d T= %f", {i, s.Point(i).x});
  const TMeasurement* m = MeasurementAt(ws, row, ws.SelectedStar);
  const TStarStat* st = ws.SelectedStar < ws.Series.Stats.size() ? &ws.Series.Stats[ws.SelectedStar] : nullptr;
  text += FormatMessage(
      " M= %.4f MR = %.4f SIGM= %.4f StSigm= %.4f RawMeaSig= %.4f",
      {m ? m->Mag : 0.0, m ? m->RunMag : 0.0, m ? m->Err : 0.0, st ? st->Variance : 0.0, st ? st->MeanErr : 0.0});
  ws.hooks->SetStatusText(1, text);
  return true;
}

MarkerStyle LightCurvePointStyle(const Workspace& ws, std::size_t series, std::size_t i) {
  const MarkerStyle base = series == kSeriesRaw ? MarkerStyle::Circle : MarkerStyle::Rectangle;
  const std::int32_t row = RowOfPoint(ws, series, i);
  if (row < 0) return base;
  return LightCurveMarker(ws.Series, ws.SelectedStar, row, ws.StarSigmaFactor, base);
}

double LightCurveErrorBar(const Workspace& ws, std::size_t i) {
  const TMeasurement* m = MeasurementAt(ws, RowOfPoint(ws, kSeriesRaw, i), ws.SelectedStar);
  if (m == nullptr || !(m->Err > 0.0) || !std::isfinite(m->Err)) return 0.0;
  return m->Err;
}

void DeletePoint(Workspace& ws) {
  if (ws.LightCurveShowsPeriodogram) return;
  if (ws.SelectedStar >= ws.Series.StarCount) return;
  if (ws.SelectedRow < 0 || static_cast<std::size_t>(ws.SelectedRow) >= ws.Series.Rows.size()) return;
  TDataLine& line = ws.Series.Rows[static_cast<std::size_t>(ws.SelectedRow)];
  if (ws.SelectedStar < line.Items.size()) line.Items[ws.SelectedStar].Valid = false;
  FillLightCurve(ws, ws.SelectedStar);
}

void DeletePointForAll(Workspace& ws) {
  if (ws.LightCurveShowsPeriodogram) return;
  if (ws.SelectedRow < 0 || static_cast<std::size_t>(ws.SelectedRow) >= ws.Series.Rows.size()) return;
  for (TMeasurement& m : ws.Series.Rows[static_cast<std::size_t>(ws.SelectedRow)].Items)
    m.Valid = false;
  if (ws.SelectedStar < ws.Series.StarCount) FillLightCurve(ws, ws.SelectedStar);
}

void ResetZoom(Workspace& ws, int page) {
  if (page == kPageView) {
    ws.VarChart.UndoZoom();
    ws.hooks->VarChartChanged();
  } else if (page == kPageLightCurve) {
    ws.LightCurve.UndoZoom();
    ws.hooks->LightCurveChanged();
  }
}

bool CanSaveLightCurve(const Workspace& ws) {
  if (ws.RunCount < 1 || !ws.Series.HasStats()) {
    ws.log.Add("Save Light Curve: no Run since the data set was opened; run first.");
    return false;
  }
  return PickedStarInRange(ws);
}

std::string ProposedLightCurveName(const Workspace& ws) { return "Star" + std::to_string(ws.PickedStar) + ".dat"; }

bool WriteLightCurve(Workspace& ws, const std::string& path, int id) {
  if (id < 1 || id > static_cast<int>(ws.Series.StarCount)) {
    ws.log.Add(FormatMessage("No star %d in the data set: nothing written to %s", {id, path}));
    return false;
  }
  return WriteExport(ws, path, LightCurveFileText(ws.Series, id));
}

bool ComputePeriodogram(Workspace& ws, int id) {
  if (!HasRows(ws) || ws.RunCount < 1 || id < 1 || id > static_cast<int>(ws.Series.StarCount)) return false;
  ws.Periodograms.resize(ws.Series.StarCount);
  ws.log.Add("time range: " + FormatGeneral(TimeSpan(ws)));
  const auto star = static_cast<std::size_t>(id - 1);
  Compute(ws, star);
  return ws.Periodograms[star].Computed;
}

void LaflerKinmanCommand(Workspace& ws) {
  if (!HasRows(ws) || ws.RunCount < 1 || !PickedStarInRange(ws)) return;
  ComputePeriodogram(ws, ws.PickedStar);
  const auto star = static_cast<std::size_t>(ws.PickedStar - 1);
  const std::size_t added = FillPeriodogram(ws, star, true);
  ws.log.Add(FormatMessage("show %d points from %d", {added, ws.Periodograms[star].Freq.size()}));
  if (ws.Periodograms[star].Computed) WritePeriodogram(ws, "star" + std::to_string(star) + ".per", ws.PickedStar);
}

void ShowPeriodogram(Workspace& ws) {
  if (!PickedStarInRange(ws)) return;
  ws.LightCurve.UndoZoom();
  const auto star = static_cast<std::size_t>(ws.PickedStar - 1);
  // The table normally keeps its length between commands; one left shorter by an
  // earlier data set must still reach this star.
  if (ws.Periodograms.size() <= star) ws.Periodograms.resize(ws.Series.StarCount);
  if (!ws.Periodograms[star].Computed) Compute(ws, star);
  FillPeriodogram(ws, star, false);
  ws.hooks->ShowPage(kPageLightCurve);
}

bool CanSavePeriodogram(const Workspace& ws) {
  if (!PickedStarInRange(ws)) return false;
  const auto star = static_cast<std::size_t>(ws.PickedStar - 1);
  return star < ws.Periodograms.size() && ws.Periodograms[star].Computed;
}

std::string ProposedPeriodogramName(const Workspace& ws) { return "Star" + std::to_string(ws.PickedStar) + "_per.dat"; }

bool WritePeriodogram(Workspace& ws, const std::string& path, int id) {
  if (id < 1 || static_cast<std::size_t>(id) > ws.Periodograms.size()) return false;
  const TPeriodogram& p = ws.Periodograms[static_cast<std::size_t>(id - 1)];
  if (!p.Computed) return false;
  return WriteExport(ws, path, PeriodogramFileText(p));
}

void RefillLightCurve(Workspace& ws, int s) {
  if (s < 0 || s >= static_cast<int>(ws.Series.StarCount)) return;
  FillLightCurve(ws, s);
}

} // namespace morvik
