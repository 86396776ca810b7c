#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "periods/periodogram_file.hpp"
#include "workspace/period_commands.hpp"

namespace morvik {
namespace {

namespace fs = std::filesystem;

class RecordingHooks : public UiHooks {
public:
  void ShowPage(int page) override { pages.push_back(page); }
  void SetStatusText(int panel, const std::string& text) override { status[panel] = text; }
  void LightCurveChanged() override { ++lightCurveChanges; }
  void VarChartChanged() override { ++varChartChanges; }
  std::vector<int> pages;
  std::map<int, std::string> status;
  int lightCurveChanges = 0;
  int varChartChanges = 0;
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A working folder of its own, so that the fixed-name periodogram files land there.
class TempDir {
public:
  TempDir() {
    path_ = fs::path(MORVIK_BINARY_DIR) / "tests" / "periods" / ("work-" + std::to_string(::getpid()));
    fs::remove_all(path_);
    fs::create_directories(path_);
    old_ = fs::current_path();
    fs::current_path(path_);
  }
  ~TempDir() {
    fs::current_path(old_);
    fs::remove_all(path_);
  }
  const fs::path& path() const { return path_; }

private:
  fs::path path_;
  fs::path old_;
};

// Three stars, six rows; rows 2 and 3 share a time; star 2's row 1 is invalid.
class Commands : public ::testing::Test {
protected:
  Commands() : ws(log) {
    ws.SetHooks(&hooks);
    TTimeSeries& ts = ws.Series;
    ts.StarCount = 3;
    const double times[6] = {2459000.50, 2459000.10, 2459000.30, 2459000.30, 2459000.70, 2459000.90};
    for (int r = 0; r < 6; ++r) {
      TDataLine row;
      row.Time = times[r];
      row.FrameErr = 0.01;
      for (int s = 0; s < 3; ++s) {
        TMeasurement m;
        m.Mag = 10.0 + s + 0.01 * r;
        m.Err = 0.01 * (s + 1);
        m.RunMag = 10.5 + s + 0.02 * r;
        m.Valid = !(s == 1 && r == 1);
        row.Items.push_back(m);
      }
      ts.Rows.push_back(row);
    }
    ts.RowCount = 6;
    ts.MeanSigmaAll = 0.01;
    ts.Stats.resize(3);
    for (int s = 0; s < 3; ++s) {
      ts.Stats[static_cast<std::size_t>(s)].MeanErr = 0.01 * (s + 1);
      ts.Stats[static_cast<std::size_t>(s)].Variance = 0.0004 * (s + 1);
      ts.Stats[static_cast<std::size_t>(s)].NValid = 6;
      ts.Stats[static_cast<std::size_t>(s)].RunVariance = 0.002;
    }
    ws.RunCount = 1;
  }

  std::vector<std::string> Labels(std::size_t series) const {
    std::vector<std::string> out;
    for (const auto& p : ws.LightCurve.series[series].Points())
      out.push_back(p.label);
    return out;
  }
  std::size_t IndexOfRow(std::size_t series, int row) const {
    const auto& pts = ws.LightCurve.series[series].Points();
    for (std::size_t i = 0; i < pts.size(); ++i)
      if (pts[i].label == std::to_string(row)) return i;
    return pts.size();
  }

  MemoryLog log;
  RecordingHooks hooks;
  Workspace ws;
};

TEST_F(Commands, PlotLabelsEveryPointWithItsRowInTimeOrder) {
  const unsigned resets = ws.LightCurve.zoomResets;
  PlotLightCurve(ws, 0);
  EXPECT_EQ(ws.SelectedStar, 0);
  EXPECT_EQ(Labels(kSeriesRaw), (std::vector<std::string>{"1", "2", "3", "0", "4", "5"}));
  EXPECT_EQ(Labels(kSeriesRun), Labels(kSeriesRaw));
  const ChartPoint& p = ws.LightCurve.series[kSeriesRun].Point(3);
  EXPECT_EQ(p.x, 2459000.50);
  EXPECT_EQ(p.y, 10.5);
  EXPECT_EQ(ws.LightCurve.series[kSeriesRaw].Point(3).y, 10.0);
  EXPECT_EQ(ws.LightCurve.zoomResets, resets + 1);
  EXPECT_EQ(hooks.pages, std::vector<int>{kPageLightCurve});
  EXPECT_FALSE(ws.LightCurveShowsPeriodogram);

  PlotLightCurve(ws, 1); // row 1 is not valid for star 2
  EXPECT_EQ(ws.SelectedStar, 1);
  EXPECT_EQ(Labels(kSeriesRaw), (std::vector<std::string>{"2", "3", "0", "4", "5"}));
}

TEST_F(Commands, PlotWithoutStarOrOutOfRangeDoesNothing) {
  ws.SelectedStar = 2;
  ws.PickedStar = 0;
  ShowLightCurveFromImage(ws);
  PlotLightCurve(ws, 3);
  EXPECT_EQ(ws.SelectedStar, 2);
  EXPECT_TRUE(hooks.pages.empty());
  ws.PickedStar = 2;
  ShowLightCurveFromImage(ws);
  EXPECT_EQ(ws.SelectedStar, 1); // the star on display is the selected one
  ws.SelectedStar = 0;
  ShowLightCurveFromChart(ws);
  EXPECT_EQ(Labels(kSeriesRaw).size(), 6u);
}

TEST_F(Commands, StarWithoutValidMeasurementShowsAnEmptyPage) {
  for (auto& row : ws.Series.Rows)
    row.Items[2].Valid = false;
  PlotLightCurve(ws, 2);
  EXPECT_EQ(ws.LightCurve.series[kSeriesRaw].Count(), 0u);
  EXPECT_EQ(ws.LightCurve.series[kSeriesRun].Count(), 0u);
  EXPECT_EQ(hooks.pages, std::vector<int>{kPageLightCurve});
}

TEST_F(Commands, ClickShowsTheRowsNumbersAndSelectsIt) {
  PlotLightCurve(ws, 0);
  ws.Series.Stats[0].Variance = 0.00042;
  EXPECT_TRUE(ClickLightCurvePoint(ws, kSeriesRaw, 3, 10, 10));
  EXPECT_EQ(ws.SelectedRow, 0);
  EXPECT_EQ(hooks.status[1], "RAW Point 003 T= 2459000.50 M= 10.0000 MR = 10.5000 SIGM= 0.0100 StSigm= 0.0004 "
                             "RawMeaSig= 0.0100");
  // Equal times keep table order, each point its own row.
  EXPECT_TRUE(ClickLightCurvePoint(ws, kSeriesRun, 2, 0, 0));
  EXPECT_EQ(ws.SelectedRow, 3);
  EXPECT_EQ(hooks.status[1], "RUN Point 002 T= 2459000.30 M= 10.0300 MR = 10.5600 SIGM= 0.0100 StSigm= 0.0004 "
                             "RawMeaSig= 0.0100");
  EXPECT_TRUE(ClickLightCurvePoint(ws, kSeriesRun, 1, 0, 0));
  EXPECT_EQ(ws.SelectedRow, 2);
  // Points that do not exist select nothing.
  EXPECT_FALSE(ClickLightCurvePoint(ws, kSeriesRaw, 6, 0, 0));
  EXPECT_FALSE(ClickLightCurvePoint(ws, 2, 0, 0, 0));
  EXPECT_EQ(ws.SelectedRow, 2);
}

TEST_F(Commands, DeletionsFollowLabelsNotPositions) {
  PlotLightCurve(ws, 0);
  ASSERT_TRUE(ClickLightCurvePoint(ws, kSeriesRaw, IndexOfRow(kSeriesRaw, 2), 0, 0));
  ws.LightCurve.UndoZoom(); // the user zoomed in meanwhile
  const unsigned resets = ws.LightCurve.zoomResets;
  DeletePoint(ws);
  EXPECT_FALSE(ws.Series.Rows[2].Items[0].Valid);
  EXPECT_TRUE(ws.Series.Rows[2].Items[1].Valid);
  EXPECT_EQ(ws.LightCurve.zoomResets, resets + 1); // back to the full view
  EXPECT_EQ(Labels(kSeriesRaw), (std::vector<std::string>{"1", "3", "0", "4", "5"}));
  EXPECT_EQ(hooks.pages.size(), 1u); // the page is not switched

  // Point 2 now stands for row 0, which is what gets deleted next.
  ASSERT_TRUE(ClickLightCurvePoint(ws, kSeriesRun, 2, 0, 0));
  EXPECT_EQ(ws.SelectedRow, 0);
  DeletePoint(ws);
  EXPECT_FALSE(ws.Series.Rows[0].Items[0].Valid);
  EXPECT_EQ(Labels(kSeriesRun), (std::vector<std::string>{"1", "3", "4", "5"}));
  // Nothing else changed: values, counts and statistics wait for the next Run.
  EXPECT_EQ(ws.Series.Rows[0].Items[0].Mag, 10.0);
  EXPECT_EQ(ws.Series.Stats[0].NValid, 6);
}

TEST_F(Commands, DeleteForAllRemovesTheFrameFromEveryStar) {
  PlotLightCurve(ws, 1);
  ASSERT_TRUE(ClickLightCurvePoint(ws, kSeriesRaw, IndexOfRow(kSeriesRaw, 4), 0, 0));
  DeletePointForAll(ws);
  for (int s = 0; s < 3; ++s)
    EXPECT_FALSE(ws.Series.Rows[4].Items[static_cast<std::size_t>(s)].Valid);
  EXPECT_EQ(Labels(kSeriesRaw), (std::vector<std::string>{"2", "3", "0", "5"}));
  PlotLightCurve(ws, 2);
  EXPECT_EQ(IndexOfRow(kSeriesRaw, 4), ws.LightCurve.series[kSeriesRaw].Count());
}

TEST_F(Commands, DeletesGuardAStaleSelection) {
  PlotLightCurve(ws, 0);
  ws.SelectedRow = 60;
  DeletePoint(ws);
  DeletePointForAll(ws);
  ws.SelectedRow = 1;
  ws.SelectedStar = 7;
  DeletePoint(ws);
  for (const auto& row : ws.Series.Rows)
    for (std::size_t s = 0; s < 3; ++s)
      EXPECT_EQ(row.Items[s].Valid, !(s == 1 && &row == &ws.Series.Rows[1]));
}

TEST_F(Commands, MarkersAndErrorBars) {
  ws.Series.Rows[4].Items[0].Err = 0.05; // above 2 x MeanErr 0.01
  ws.Series.Rows[5].FrameErr = 0.05;     // above 2 x MeanSigmaAll
  ws.Series.Rows[1].Items[0].Err = 0.0;
  PlotLightCurve(ws, 0);
  const std::size_t i4 = IndexOfRow(kSeriesRaw, 4);
  const std::size_t i5 = IndexOfRow(kSeriesRaw, 5);
  EXPECT_EQ(LightCurvePointStyle(ws, kSeriesRaw, i4), MarkerStyle::Triangle);
  EXPECT_EQ(LightCurvePointStyle(ws, kSeriesRun, i4), MarkerStyle::Triangle);
  EXPECT_EQ(LightCurvePointStyle(ws, kSeriesRaw, i5), MarkerStyle::DownTriangle);
  EXPECT_EQ(LightCurvePointStyle(ws, kSeriesRaw, 0), MarkerStyle::Circle);
  EXPECT_EQ(LightCurvePointStyle(ws, kSeriesRun, 0), MarkerStyle::Rectangle);
  EXPECT_EQ(LightCurveErrorBar(ws, i4), 0.05);
  EXPECT_EQ(LightCurveErrorBar(ws, IndexOfRow(kSeriesRaw, 1)), 0.0);
  EXPECT_EQ(LightCurveErrorBar(ws, IndexOfRow(kSeriesRaw, 2)), 0.01);
  EXPECT_EQ(LightCurveErrorBar(ws, 99), 0.0);
  ws.StarSigmaFactor = 6.0;
  EXPECT_EQ(LightCurvePointStyle(ws, kSeriesRaw, i4), MarkerStyle::Circle);
}

TEST_F(Commands, ResetZoomActsOnTheVisiblePage) {
  const unsigned var = ws.VarChart.zoomResets;
  const unsigned lc = ws.LightCurve.zoomResets;
  ResetZoom(ws, kPageView);
  EXPECT_EQ(ws.VarChart.zoomResets, var + 1);
  ResetZoom(ws, kPageLightCurve);
  EXPECT_EQ(ws.LightCurve.zoomResets, lc + 1);
  ResetZoom(ws, kPageSettings);
  EXPECT_EQ(ws.VarChart.zoomResets, var + 1);
  EXPECT_EQ(ws.LightCurve.zoomResets, lc + 1);
}

TEST_F(Commands, SaveLightCurve) {
  TempDir dir;
  ws.PickedStar = 12;
  ws.Series.StarCount = 3;
  EXPECT_FALSE(CanSaveLightCurve(ws)); // no such star
  ws.PickedStar = 2;
  EXPECT_TRUE(CanSaveLightCurve(ws));
  EXPECT_EQ(ProposedLightCurveName(ws), "Star2.dat");
  ASSERT_TRUE(WriteLightCurve(ws, "Star2.dat", 2));
  const std::string text = ReadFile(dir.path() / "Star2.dat");
  EXPECT_EQ(text.substr(0, 31), "2459000.50000 11.5000  0.0200\r\n");
  EXPECT_EQ(text.size(), 5u * 31u); // row 1 is not valid

  for (auto& row : ws.Series.Rows)
    row.Items[2].Valid = false;
  ASSERT_TRUE(WriteLightCurve(ws, "Star3.dat", 3));
  EXPECT_EQ(fs::file_size(dir.path() / "Star3.dat"), 0u);

  ws.RunCount = 0;
  EXPECT_FALSE(CanSaveLightCurve(ws));
  EXPECT_TRUE(log.ContainsPrefix("Save Light Curve: no Run since the data set was opened"));
}

TEST_F(Commands, FailedExportIsLoggedAndKeepsTheOldFile) {
  TempDir dir;
  fs::create_directory(dir.path() / "taken");
  EXPECT_FALSE(WriteLightCurve(ws, (dir.path() / "taken").string(), 1));
  EXPECT_TRUE(log.Contains("Could not write " + (dir.path() / "taken").string()));
  EXPECT_TRUE(fs::is_directory(dir.path() / "taken"));
  EXPECT_FALSE(WriteLightCurve(ws, (dir.path() / "missing" / "x.dat").string(), 1));
  EXPECT_FALSE(WriteLightCurve(ws, "bad.dat", 9));
  EXPECT_FALSE(fs::exists(dir.path() / "bad.dat"));
}

TEST_F(Commands, LaflerKinmanPlotsSmoothsAndWritesTheFixedFile) {
  TempDir dir;
  std::ofstream(dir.path() / "star1.per") << "old";
  ws.PickedStar = 2;
  const unsigned resets = ws.LightCurve.zoomResets;
  LaflerKinmanCommand(ws);
  ASSERT_EQ(ws.Periodograms.size(), 3u);
  const TPeriodogram& p = ws.Periodograms[1];
  ASSERT_TRUE(p.Computed);
  // Last row minus first row, 0.4 days: f from 2.5 in steps of 0.025 up to 1 / 0.007.
  EXPECT_EQ(p.Freq.size(), 5615u);
  EXPECT_TRUE(log.Contains("time range: 0.399999999906868"));
  EXPECT_TRUE(log.ContainsPrefix("PERIOD_LK: "));
  EXPECT_TRUE(log.Contains("show " + std::to_string(p.Freq.size()) + " points from " + std::to_string(p.Freq.size())));
  EXPECT_EQ(ws.LightCurve.series[kSeriesRaw].Count(), p.Freq.size());
  EXPECT_EQ(ws.LightCurve.series[kSeriesRun].Count(), p.Freq.size() / 8);
  EXPECT_EQ(ws.LightCurve.series[kSeriesRaw].Point(0).label, "");
  EXPECT_EQ(ws.LightCurve.zoomResets, resets); // zoom and page stay
  EXPECT_TRUE(hooks.pages.empty());
  EXPECT_TRUE(ws.LightCurveShowsPeriodogram);
  EXPECT_EQ(ReadFile(dir.path() / "star1.per"), PeriodogramFileText(p)); // replaced without asking
  EXPECT_FALSE(ws.Periodograms[0].Computed);
}

TEST_F(Commands, LaflerKinmanConditions) {
  TempDir dir;
  ws.PickedStar = 4;
  LaflerKinmanCommand(ws);
  ws.PickedStar = 1;
  ws.RunCount = 0;
  LaflerKinmanCommand(ws);
  EXPECT_TRUE(ws.Periodograms.empty());
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(Commands, LaflerKinmanWithoutVarianceShowsNothingAndWritesNothing) {
  TempDir dir;
  ws.PickedStar = 1;
  ws.Series.Stats[0].RunVariance = 0.0;
  PlotLightCurve(ws, 0);
  LaflerKinmanCommand(ws);
  EXPECT_TRUE(log.Contains("Sigma is 0"));
  EXPECT_TRUE(log.Contains("show 0 points from 0"));
  EXPECT_EQ(ws.LightCurve.series[kSeriesRaw].Count(), 0u);
  EXPECT_FALSE(fs::exists(dir.path() / "star0.per"));
}

TEST_F(Commands, LaflerKinmanOnAZeroSpanEndsWithAnError) {
  TempDir dir;
  ws.Series.Rows.back().Time = ws.Series.Rows.front().Time;
  ws.PickedStar = 1;
  PlotLightCurve(ws, 0);
  EXPECT_THROW(LaflerKinmanCommand(ws), CommandError);
  EXPECT_FALSE(ws.Periodograms[0].Computed);
  EXPECT_EQ(ws.LightCurve.series[kSeriesRaw].Count(), 6u); // the command ended before plotting
  EXPECT_FALSE(fs::exists(dir.path() / "star0.per"));
}

TEST_F(Commands, PeriodogramPointsCarryNoRow) {
  TempDir dir;
  ws.PickedStar = 1;
  PlotLightCurve(ws, 0);
  ASSERT_TRUE(ClickLightCurvePoint(ws, kSeriesRaw, 0, 0, 0)); // row 1
  hooks.status.clear();
  ws.Series.Rows[0].FrameErr = 1.0; // row 0 is noisy: periodogram points must not show it
  ws.Series.Rows[0].Items[0].Err = 1.0;
  ShowPeriodogram(ws);
  EXPECT_FALSE(ClickLightCurvePoint(ws, kSeriesRaw, 0, 0, 0));
  EXPECT_FALSE(ClickLightCurvePoint(ws, kSeriesRun, 0, 0, 0));
  EXPECT_TRUE(hooks.status.empty());
  EXPECT_EQ(ws.SelectedRow, 1);
  EXPECT_EQ(LightCurvePointStyle(ws, kSeriesRaw, 0), MarkerStyle::Circle);
  EXPECT_EQ(LightCurveErrorBar(ws, 0), 0.0);
  DeletePoint(ws);
  DeletePointForAll(ws);
  for (const auto& row : ws.Series.Rows)
    EXPECT_TRUE(row.Items[0].Valid);
}

TEST_F(Commands, ShowPeriodogramComputesOnceAndKeepsIt) {
  TempDir dir;
  ws.PickedStar = 3;
  const unsigned resets = ws.LightCurve.zoomResets;
  ShowPeriodogram(ws);
  ASSERT_EQ(ws.Periodograms.size(), 3u);
  const TPeriodogram first = ws.Periodograms[2];
  ASSERT_TRUE(first.Computed);
  EXPECT_EQ(ws.LightCurve.zoomResets, resets + 1);
  EXPECT_EQ(ws.LightCurve.series[kSeriesRaw].Count(), first.Freq.size());
  EXPECT_EQ(ws.LightCurve.series[kSeriesRun].Count(), 0u); // no smoothed curve
  EXPECT_EQ(hooks.pages, std::vector<int>{kPageLightCurve});
  // Its own titles, and a note of the grid it was computed on.
  EXPECT_EQ(ws.LightCurve.title.rfind(
                "Periodogram (Lafler-Kinman: " + std::to_string(first.Freq.size()) + " frequencies, periods ", 0),
            0u)
      << ws.LightCurve.title;
  EXPECT_NE(ws.LightCurve.title.find("; span "), std::string::npos);
  EXPECT_EQ(ws.LightCurve.bottomTitle, "Frequency (1/d)");
  EXPECT_EQ(ws.LightCurve.leftTitle, "Theta");
  EXPECT_TRUE(fs::is_empty(dir.path())); // no file
  EXPECT_FALSE(log.ContainsPrefix("time range"));

  // Deleting points does not recompute a stored periodogram.
  ws.Series.Rows[3].Items[2].Valid = false;
  log.Clear();
  ShowPeriodogram(ws);
  EXPECT_FALSE(log.ContainsPrefix("PERIOD_LK"));
  EXPECT_EQ(ws.Periodograms[2].Theta, first.Theta);
  // "Lafler-Kinman" does.
  LaflerKinmanCommand(ws);
  EXPECT_NE(ws.Periodograms[2].Theta, first.Theta);
  // A light curve shown after it takes back the light curve's titles.
  PlotLightCurve(ws, 2);
  EXPECT_EQ(ws.LightCurve.title, "Light Curve");
  EXPECT_EQ(ws.LightCurve.bottomTitle, "JD");
  EXPECT_EQ(ws.LightCurve.leftTitle, "Magnitude");
}

TEST_F(Commands, ShowPeriodogramReachesAStarBeyondAShortTable) {
  ws.Periodograms.resize(1); // left by a data set with one star
  ws.PickedStar = 3;
  ShowPeriodogram(ws);
  ASSERT_EQ(ws.Periodograms.size(), 3u);
  EXPECT_TRUE(ws.Periodograms[2].Computed);
}

TEST_F(Commands, SavePeriodogram) {
  TempDir dir;
  ws.PickedStar = 2;
  EXPECT_FALSE(CanSavePeriodogram(ws)); // table empty
  ShowPeriodogram(ws);
  EXPECT_TRUE(CanSavePeriodogram(ws));
  EXPECT_EQ(ProposedPeriodogramName(ws), "Star2_per.dat");
  ASSERT_TRUE(WritePeriodogram(ws, "chosen.dat", 2));
  EXPECT_EQ(ReadFile(dir.path() / "chosen.dat"), PeriodogramFileText(ws.Periodograms[1]));
  EXPECT_FALSE(WritePeriodogram(ws, "none.dat", 1)); // not computed: no file
  EXPECT_FALSE(fs::exists(dir.path() / "none.dat"));
  ws.PickedStar = 1;
  EXPECT_FALSE(CanSavePeriodogram(ws));
}

TEST_F(Commands, ComputePeriodogramForTheBatchProgram) {
  TempDir dir;
  EXPECT_FALSE(ComputePeriodogram(ws, 0));
  EXPECT_FALSE(ComputePeriodogram(ws, 4));
  EXPECT_TRUE(ComputePeriodogram(ws, 3));
  EXPECT_TRUE(log.ContainsPrefix("time range: "));
  EXPECT_TRUE(ws.Periodograms[2].Computed);
  EXPECT_TRUE(fs::is_empty(dir.path()));
  ws.Series.Stats[0].RunVariance = 0.0;
  EXPECT_FALSE(ComputePeriodogram(ws, 1));
}

} // namespace
} // namespace morvik
