#include "workspace/search_commands.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/format.hpp"
#include "search/series_builder.hpp"
#include "workspace/recording_hooks.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;
using test::MakeSeries;

std::vector<std::string> Labels(const Workspace& ws) {
  std::vector<std::string> out;
  for (const ChartPoint& p : ws.VarChart.series[kSeries1].Points())
    out.push_back(p.label);
  return out;
}

// Four stars over 10 rows, each with its own scatter; star s (id s + 1) sits at catalog
// position (10 + 20 s, 30 + 10 s) and its mean magnitude is 14 - s, so the chart's
// default x order is the reverse of the star order.
class SearchCommands : public ::testing::Test {
protected:
  SearchCommands() : ws(log) {
    ws.SetHooks(&hooks);
    ws.Series = MakeSeries(4, 10);
    for (std::size_t s = 0; s < 4; ++s) {
      ws.Series.Stats[s].RunMean = 14.0 - static_cast<double>(s);
      for (std::size_t j = 0; j < 10; ++j) {
        ws.Series.Rows[j].Items[s].RunMag = 12.0 + ((j % 2 == 0) ? 0.01 : -0.01) * static_cast<double>(s + 1);
      }
      ws.Catalog.At(static_cast<long long>(s) + 1) = {10.0 + 20.0 * static_cast<double>(s),
                                                      30.0 + 10.0 * static_cast<double>(s), 12.0};
    }
  }

  MemoryLog log;
  testing::RecordingHooks hooks;
  Workspace ws;
};

// ---- Search Variables and the chart ------------------------------------------------

TEST_F(SearchCommands, WithoutRunOnlyLogsOneLine) {
  ws.Series.Stats.clear();
  SearchVariables(ws);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{RunFirstMessage("Search Variables")});
  EXPECT_EQ(ws.SearchCount, 0);
  EXPECT_TRUE(ws.Series.Stats.empty());
  EXPECT_EQ(ws.VarChart.zoomResets, 0u);
  EXPECT_TRUE(hooks.pages.empty());
}

TEST_F(SearchCommands, SearchComputesPlotsAndShowsTheView) {
  SearchVariables(ws);
  EXPECT_EQ(ws.SearchCount, 1);
  EXPECT_TRUE(log.Contains("Mean and Sigma (RUN) calculated"));
  EXPECT_EQ(hooks.pages, std::vector<int>{kPageView});
  EXPECT_EQ(ws.VarChart.bottomTitle, "Mean magnitude");
  EXPECT_EQ(ws.VarChart.leftTitle, "Standard deviation");
  EXPECT_GE(ws.VarChart.zoomResets, 1u);
  EXPECT_GE(hooks.varChartChanges, 1);
  // Ascending x: the star with the largest index has the smallest mean magnitude.
  EXPECT_EQ(Labels(ws), (std::vector<std::string>{"3", "2", "1", "0"}));
  const PointSeries& s1 = ws.VarChart.series[kSeries1];
  EXPECT_DOUBLE_EQ(s1.Point(0).x, 11.0);
  EXPECT_NEAR(s1.Point(0).y, 0.04, 1e-12);
  EXPECT_NEAR(s1.Point(3).y, 0.01, 1e-12);
  SearchVariables(ws);
  EXPECT_EQ(ws.SearchCount, 2);
}

TEST_F(SearchCommands, OtherAxesAndTheirTitles) {
  ws.settings.ChartX = 7;
  ws.settings.ChartY = 4;
  SearchVariables(ws);
  EXPECT_EQ(ws.VarChart.bottomTitle, "von Neumann ratio");
  EXPECT_EQ(ws.VarChart.leftTitle, "MAD (Median absolute deviation)");
  EXPECT_EQ(ws.VarChart.series[kSeries1].Count(), 4u);
}

TEST_F(SearchCommands, NoAxisItemEmptiesTheChartAndKeepsTitles) {
  SearchVariables(ws);
  ws.settings.ChartY = -1;
  RePlotVarChart(ws);
  EXPECT_EQ(ws.VarChart.series[kSeries1].Count(), 0u);
  EXPECT_EQ(ws.VarChart.leftTitle, "Standard deviation");
}

TEST_F(SearchCommands, FewRowsKeepAStarOffTheChart) {
  // P = 20 of 10 rows: T = 2; star 1 accepted in only 2 rows.
  for (std::size_t j = 2; j < 10; ++j)
    ws.Series.Rows[j].Items[1].Valid = false;
  SearchVariables(ws);
  EXPECT_EQ(Labels(ws), (std::vector<std::string>{"3", "2", "0"}));
}

// ---- Selection ------------------------------------------------------------------------

TEST_F(SearchCommands, ClickSelectsTheStarOfThePoint) {
  ws.Catalog.At(3) = {122.5, 45.6, 12.0}; // halves go to the even neighbour
  SearchVariables(ws);
  ASSERT_EQ(Labels(ws)[1], "2");
  ClickVarPoint(ws, 1, 15, 27);
  EXPECT_EQ(hooks.status[1], "Click 15 27 id= 1 LABEL 2");
  EXPECT_EQ(ws.SelectedStar, 2);
  EXPECT_EQ(ws.SelectedPoint, 1);
  EXPECT_EQ(log.Lines().back(), "SELECTED STAR 3 (122; 046)");
  EXPECT_GE(hooks.pictureChanges, 1);
  // The yellow mark: the vertical line through the star and the ellipse around it.
  EXPECT_EQ(ws.picture.Pixels().PixelAt(122, 46), colors::Yellow);
  EXPECT_EQ(ws.picture.Pixels().PixelAt(122, 43), colors::Yellow);
  EXPECT_EQ(ws.picture.Pixels().PixelAt(119, 46), colors::Yellow);
  EXPECT_EQ(ws.picture.Pixels().PixelAt(130, 46), colors::White);
}

TEST_F(SearchCommands, PointerStyleAndCrossFollowThePosition) {
  SearchVariables(ws);
  // Before any click position 0 is the selected one.
  EXPECT_EQ(VarPointStyle(ws, 0), MarkerStyle::Rectangle);
  EXPECT_EQ(VarPointStyle(ws, 1), MarkerStyle::Circle);
  EXPECT_EQ(VarCrossPoint(ws), 0);
  ClickVarPoint(ws, 2, 0, 0);
  EXPECT_EQ(VarPointStyle(ws, 2), MarkerStyle::Rectangle);
  EXPECT_EQ(VarPointStyle(ws, 0), MarkerStyle::Circle);
  EXPECT_EQ(VarCrossPoint(ws), 2);
}

TEST_F(SearchCommands, SelectionPositionSurvivesARefill) {
  SearchVariables(ws);
  ClickVarPoint(ws, 2, 0, 0); // label "1"
  ASSERT_EQ(ws.SelectedStar, 1);
  RemoveStar1Click(ws); // star 1 leaves the chart
  EXPECT_EQ(Labels(ws), (std::vector<std::string>{"3", "2", "0"}));
  EXPECT_EQ(ws.SelectedPoint, 2);
  EXPECT_EQ(VarCrossPoint(ws), 2); // now on star 0
  ws.Series.Stats[0].Mark = kMarkFalseAlarm;
  RePlotVarChart(ws);
  EXPECT_EQ(VarCrossPoint(ws), -1);
  for (std::size_t i = 0; i < 2; ++i)
    EXPECT_EQ(VarPointStyle(ws, i), MarkerStyle::Circle);
}

TEST_F(SearchCommands, ClickOutsideTheSeriesChangesNothing) {
  SearchVariables(ws);
  const std::size_t lines = log.Lines().size();
  ClickVarPoint(ws, 4, 1, 1);
  EXPECT_EQ(log.Lines().size(), lines);
  EXPECT_EQ(ws.SelectedPoint, 0);
}

// ---- Classification --------------------------------------------------------------------

TEST_F(SearchCommands, ChartMarkAsVariable) {
  SearchVariables(ws);
  ws.SelectedStar = 1;
  ConfirmVariable1Click(ws);
  EXPECT_EQ(ws.Series.Stats[1].Mark, kMarkVariable);
  EXPECT_EQ(log.Lines().back(), "Confirmed #1 as VAR");
  EXPECT_EQ(ws.picture.Pixels().PixelAt(30, 40), colors::Red);
  EXPECT_EQ(ws.picture.fill, colors::White);
  const PointSeries& s1 = ws.VarChart.series[kSeries1];
  ASSERT_EQ(s1.Count(), 4u);
  EXPECT_EQ(s1.Point(2).label, "1");
  EXPECT_EQ(s1.ColorOf(2), colors::Green);
  EXPECT_EQ(s1.ColorOf(1), colors::Red);
}

TEST_F(SearchCommands, ChartFalseAlarmRemovesThePointSilently) {
  SearchVariables(ws);
  ws.SelectedStar = 3;
  const std::size_t lines = log.Lines().size();
  RemoveStar1Click(ws);
  EXPECT_EQ(ws.Series.Stats[3].Mark, kMarkFalseAlarm);
  EXPECT_EQ(log.Lines().size(), lines);
  EXPECT_EQ(ws.picture.Pixels().PixelAt(70, 60), colors::Grey);
  EXPECT_EQ(ws.picture.fill, colors::White);
  EXPECT_EQ(Labels(ws), (std::vector<std::string>{"2", "1", "0"}));
}

TEST_F(SearchCommands, ImageActionsNeedAPickedStarOfThisDataSet) {
  SearchVariables(ws);
  const unsigned resets = ws.VarChart.zoomResets;
  const std::size_t lines = log.Lines().size();
  for (int picked : {0, -3, 5}) {
    ws.PickedStar = picked;
    MarkasVariable1Click(ws);
    Falsealarmremove1Click(ws);
  }
  EXPECT_EQ(log.Lines().size(), lines);
  EXPECT_EQ(ws.VarChart.zoomResets, resets);
  for (const TStarStat& st : ws.Series.Stats)
    EXPECT_EQ(st.Mark, kMarkNone);
}

TEST_F(SearchCommands, FalseAlarmCanBeTurnedIntoAVariableOnTheImage) {
  SearchVariables(ws);
  ws.PickedStar = 2; // zero-based index 1
  Falsealarmremove1Click(ws);
  EXPECT_EQ(ws.Series.Stats[1].Mark, kMarkFalseAlarm);
  EXPECT_EQ(Labels(ws).size(), 3u);
  MarkasVariable1Click(ws);
  EXPECT_EQ(ws.Series.Stats[1].Mark, kMarkVariable);
  EXPECT_EQ(log.Lines().back(), "Confirmed #1 as VAR");
  ASSERT_EQ(Labels(ws).size(), 4u);
  EXPECT_EQ(ws.VarChart.series[kSeries1].ColorOf(2), colors::Green);
}

TEST_F(SearchCommands, ClassificationWithoutRunOnlyLogs) {
  ws.Series.Stats.clear();
  ws.PickedStar = 1;
  MarkasVariable1Click(ws);
  ConfirmVariable1Click(ws);
  RemoveStar1Click(ws);
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{RunFirstMessage("Mark as Variable"), RunFirstMessage("Mark as Variable"),
                                      RunFirstMessage("False alarm (remove)")}));
  EXPECT_TRUE(ws.Series.Stats.empty());
  EXPECT_EQ(hooks.pictureChanges, 0);
}

// ---- Factor edits ------------------------------------------------------------------------

TEST_F(SearchCommands, FactorEditsFallBackBelowTheMinimum) {
  const std::vector<std::pair<std::string, double>> cases = {
      {"0.01", 2.0}, {"abc", 2.0},  {"", 2.0},   {"0.05", 0.05}, {"  1.5", 1.5},
      {"1,5", 1.0},  {"3e-1", 0.3}, {"-4", 2.0}, {"1e999", 2.0}, {"2.5x", 2.5}};
  for (const auto& [text, expected] : cases) {
    SetStarSigmaText(ws, text);
    SetDataSigmaText(ws, text);
    EXPECT_DOUBLE_EQ(ws.StarSigmaFactor, expected) << '"' << text << '"';
    EXPECT_DOUBLE_EQ(ws.DataSigmaFactor, expected) << '"' << text << '"';
  }
  SetStarSigmaText(ws, "0.7");
  EXPECT_DOUBLE_EQ(ws.DataSigmaFactor, 2.5); // each edit feeds its own factor
}

TEST_F(SearchCommands, FactorsApplyAtTheNextSearch) {
  ws.Series.Rows[3].Items[0].Err = 0.15; // 1.5 x the star's mean error
  SearchVariables(ws);
  EXPECT_EQ(ws.Series.Stats[0].NAccepted, 10);
  SetStarSigmaText(ws, "1.4");
  EXPECT_EQ(ws.Series.Stats[0].NAccepted, 10);
  SearchVariables(ws);
  EXPECT_EQ(ws.Series.Stats[0].NAccepted, 9);
}

// ---- Sigma histogram ---------------------------------------------------------------------

class SigmaHistogramCommand : public SearchCommands {
protected:
  void SetUp() override {
    dir = fs::path(MORVIK_BINARY_DIR) / ("search_histogram_test-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (std::size_t s = 0; s < 4; ++s)
      ws.Series.Stats[s].Variance = 0.5 * static_cast<double>(s);
  }
  void TearDown() override {
    SetMessageDecimalSeparator('.');
    fs::remove_all(dir);
  }
  static std::string Read(const fs::path& p) {
    std::string content;
    std::FILE* f = std::fopen(p.string().c_str(), "rb");
    if (f == nullptr) return content;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
      content.append(buf, n);
    std::fclose(f);
    return content;
  }
  fs::path dir;
};

TEST_F(SigmaHistogramCommand, LogAndFileHoldTheSameTable) {
  ws.FramePath = (dir / "field.fit").string();
  std::ofstream(dir / "field.fit_histsigma.txt") << "old content";
  log.Add("an earlier line");
  SetMessageDecimalSeparator(',');
  SigmaHistogram(ws);
  ASSERT_GE(log.Lines().size(), 101u);
  EXPECT_EQ(log.Lines()[0], "MIN 0,00 MAX 1,50"); // the earlier line is gone
  EXPECT_EQ(log.Lines()[1], "RANGE 0,00 - 0,01 N= 1");
  const std::string file = Read(dir / "field.fit_histsigma.txt");
  std::string expected;
  for (std::string line : log.Lines()) {
    for (char& c : line)
      c = c == ',' ? '.' : c;
    expected += line + "\r\n";
  }
  EXPECT_EQ(file, expected);
  EXPECT_TRUE(file.starts_with("MIN 0.00 MAX 1.50\r\nRANGE 0.00 - 0.01 N= 1\r\n"));
}

TEST_F(SigmaHistogramCommand, EqualVariancesWriteOnlyTheHeader) {
  for (TStarStat& st : ws.Series.Stats)
    st.Variance = 0.25;
  ws.FramePath = (dir / "f.fts").string();
  SigmaHistogram(ws);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"MIN 0.25 MAX 0.25"});
  EXPECT_EQ(Read(dir / "f.fts_histsigma.txt"), "MIN 0.25 MAX 0.25\r\n");
}

TEST_F(SigmaHistogramCommand, WithoutFrameFileNothingIsWritten) {
  ws.FramePath.clear();
  SigmaHistogram(ws);
  EXPECT_EQ(log.Lines().front(), "MIN 0.00 MAX 1.50");
  EXPECT_EQ(log.Lines().back(), "Histogram not saved: no frame file has been opened");
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(SigmaHistogramCommand, FailedWriteIsLogged) {
  ws.FramePath = (dir / "missing-folder" / "field.fit").string();
  SigmaHistogram(ws);
  EXPECT_EQ(log.Lines().back(), "Cannot write file " + ws.FramePath + "_histsigma.txt");
}

TEST_F(SigmaHistogramCommand, WithoutRunOnlyLogsAndKeepsTheLog) {
  ws.Series.Stats.clear();
  ws.FramePath = (dir / "field.fit").string();
  log.Add("an earlier line");
  SigmaHistogram(ws);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"an earlier line", RunFirstMessage("Sigma histogram")}));
  EXPECT_TRUE(fs::is_empty(dir));
}

} // namespace
} // namespace morvik
