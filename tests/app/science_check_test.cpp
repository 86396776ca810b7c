// On a field from the generator with the program's default settings and the generator's
// quiet bright comparison star: the injected variables stand out on the default chart
// and the Lafler-Kinman periodogram finds their periods.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/process.hpp"
#include "common/chart_outliers.hpp"
#include "common/format.hpp"
#include "common/parse.hpp"
#include "periods/lafler_kinman.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;

struct Injected {
  int id = 0;
  std::string type;
  double period = 0.0;
};

class ScienceCheck : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    fs::path dir = fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("science-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    // The generator's defaults: 300 stars, 300 frames over four nights, its default seed.
    auto r = testing::RunProgram(MORVIK_FIELDGEN, {"--out", "field"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& line : testing::SplitLines(testing::ReadFile(dir / "field_variables.txt"))) {
      auto w = testing::Words(line);
      if (w.empty() || w[0][0] == '#') continue;
      if (w[0] == "comparison") {
        comp_ = std::stoi(w[1]);
        compMag_ = w[2];
      } else {
        variables_.push_back({std::stoi(w[0]), w[1], ParseDecimal(w[2]).value_or(0.0)});
      }
    }
    ASSERT_EQ(variables_.size(), 4u);
    ASSERT_GT(comp_, 0);

    log_ = new MemoryLog(true);
    ws_ = new Workspace(*log_);
    ASSERT_TRUE(OpenFrame(*ws_, (dir / "field.fit").string()));
    ws_->PickedStar = comp_;
    SelectComparison(*ws_, compMag_);
    morvik::Run(*ws_);
    SearchVariables(*ws_);
  }
  static void TearDownTestSuite() {
    fs::remove_all(fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("science-" + std::to_string(::getpid())));
    delete ws_;
    delete log_;
  }

  static inline MemoryLog* log_ = nullptr;
  static inline Workspace* ws_ = nullptr;
  static inline std::vector<Injected> variables_;
  static inline int comp_ = 0;
  static inline std::string compMag_;
};

// The rule: a variable that is plotted has a standard deviation at least 3 times the
// median of the 20 plotted stars nearest to it in mean magnitude, and ranks among the
// top 6 of all plotted stars by that ratio (four variables plus two spare places).
TEST_F(ScienceCheck, PlottedVariablesStandApartOnTheDefaultChart) {
  const PointSeries& series = ws_->VarChart.series[kSeries1];
  ASSERT_GT(series.Count(), 100u);
  EXPECT_EQ(ws_->VarChart.bottomTitle, "Mean magnitude");
  EXPECT_EQ(ws_->VarChart.leftTitle, "Standard deviation");
  const auto& pts = series.Points();
  const std::vector<double> ratio = testing::RatioToNeighbours(pts, 20);
  std::vector<double> sorted = ratio;
  std::sort(sorted.rbegin(), sorted.rend());
  int plotted = 0;
  for (const Injected& v : variables_) {
    std::string label = std::to_string(v.id - 1);
    auto it = std::find_if(pts.begin(), pts.end(), [&](const ChartPoint& p) { return p.label == label; });
    if (it == pts.end()) continue;
    ++plotted;
    double r = ratio[static_cast<std::size_t>(it - pts.begin())];
    EXPECT_GE(r, 3.0) << v.type;
    EXPECT_GE(r, sorted[5]) << v.type << " is not among the six most outlying points";
  }
  EXPECT_EQ(plotted, 4) << "every variable is measured often enough to be plotted";
}

// The rule: the deepest minimum of theta lies within one frequency step of the injected
// frequency; for the binary, of it or of twice it.
TEST_F(ScienceCheck, LaflerKinmanFindsTheInjectedPeriods) {
  TTimeSeries& t = ws_->Series;
  ws_->Periodograms.resize(t.StarCount);
  double span = std::fabs(t.Rows.back().Time - t.Rows.front().Time);
  EXPECT_LT(span, 4.0) << "the capped grid needs a span of a few nights";
  int checked = 0;
  for (const Injected& v : variables_) {
    if (v.period <= 0) continue; // the irregular star has no period
    auto star = static_cast<std::uint16_t>(v.id - 1);
    ComputeLaflerKinman(t, t.Stats, ws_->Periodograms, star, kLkShortestPeriod, span, kLkPhaseStep, kLkExponent, *log_);
    const TPeriodogram& p = ws_->Periodograms[star];
    ASSERT_TRUE(p.Computed) << v.type;
    ASSERT_GT(p.Freq.size(), 2u);
    double step = p.Freq[1] - p.Freq[0];
    std::size_t best = static_cast<std::size_t>(std::min_element(p.Theta.begin(), p.Theta.end()) - p.Theta.begin());
    double found = p.Freq[best], injected = 1.0 / v.period;
    bool near = std::fabs(found - injected) <= step;
    if (v.type == "eclipsing_binary") near = near || std::fabs(found - 2 * injected) <= step;
    EXPECT_TRUE(near) << v.type << ": deepest theta " << p.Theta[best] << " at " << found << " c/d, injected "
                      << injected << " c/d, step " << step;
    ++checked;
  }
  EXPECT_EQ(checked, 3);
}

} // namespace
} // namespace morvik
