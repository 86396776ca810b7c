// A whole field as File > Open finds it, then the core commands on it: Run with star 1
// as the comparison star, Search Variables and the periodogram of star 1.
//
// Input: the photometry table, then optionally "@@@@" and the catalog, then optionally
// "@@@@" and the frame. A part that is absent gives no file (the reader's "no file"
// case); without a frame part a small valid frame is used, so that most inputs reach
// the table, the catalog and the commands.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "fuzz_support.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/period_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"
#include "workspace/workspace.hpp"

using namespace morvik;

namespace {

constexpr std::string_view kSeparator = "@@@@";
// Work bounds per input. The readers' own work grows with the input; Run and Search
// Variables with rows x stars, the periodogram with its up to 10 000 trial frequencies
// times the rows. Beyond these the commands are skipped, not the reading.
constexpr long long kMaxCells = 20000;
constexpr int kMaxPeriodogramRows = 200;

std::string Card(const std::string& text) { return text + std::string(80 - text.size(), ' '); }

// A 64 x 64 16-bit frame with a gentle slope and a few bright spots.
std::string SmallFrame() {
  std::string h = Card("SIMPLE  =                    T") + Card("BITPIX  =                   16") +
                  Card("NAXIS   =                    2") + Card("NAXIS1  =                   64") +
                  Card("NAXIS2  =                   64") + Card("END");
  h.resize(2880, ' ');
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const int v = 1000 + x + y + ((x * 7 + y * 13) % 29 == 0 ? 5000 : 0);
      h.push_back(static_cast<char>(v >> 8));
      h.push_back(static_cast<char>(v & 0xFF));
    }
  return h;
}

void ResetWorkspace(Workspace& ws) {
  ws.Series = TTimeSeries{};
  ws.Catalog.Clear();
  ws.Periodograms.clear();
  ws.settings = Settings{};
  ws.CompStarId = 0;
  ws.CompStarMag = 0.0;
  ws.StarSigmaFactor = 2.0;
  ws.DataSigmaFactor = 2.0;
  ws.SelectedPoint = 0;
  ws.SelectedStar = 0;
  ws.SelectedRow = 0;
  ws.PickedStar = 0;
  ws.RunCount = 0;
  ws.SearchCount = 0;
}

void CheckStats(const TTimeSeries& s) {
  fuzz::CheckFinite(s.MeanVariance, "MeanVariance");
  fuzz::CheckFinite(s.MeanSigmaAll, "MeanSigmaAll");
  for (const TDataLine& row : s.Rows) {
    fuzz::CheckFinite(row.FrameErr, "FrameErr");
    for (const TMeasurement& m : row.Items)
      fuzz::CheckFinite(m.RunMag, "RunMag");
  }
  for (std::size_t i = 0; i < s.Stats.size(); ++i) {
    const TStarStat& t = s.Stats[i];
    const std::string star = "star " + std::to_string(i + 1) + " ";
    for (double v : {t.Mean, t.MeanW, t.MeanErr, t.Variance, t.Weight, t.RunMean, t.RunMeanW, t.RunVariance, t.ChiSq,
                     t.RunMedian, t.Mad, t.RobustMedian, t.ExcessVariance, t.VonNeumann})
      fuzz::CheckFinite(v, star + "statistic");
  }
}

void CheckChart(const ChartModel& chart, const std::string& name) {
  for (const PointSeries& series : chart.series)
    for (const ChartPoint& p : series.Points()) {
      fuzz::CheckFinite(p.x, name + " point x");
      fuzz::CheckFinite(p.y, name + " point y");
    }
}

// Runs a command; a CommandError ends it, as the desktop's message box does.
template <class F> bool Attempt(F command) {
  try {
    command();
    return true;
  } catch (const CommandError& e) {
    fuzz::Check(*e.what() != '\0', "a command ended without a message");
    return false;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryLog log;
  static Workspace ws(log); // the frame object and the picture are made once
  ws.LargeFrameSide = 256; // frames read through cfitsio stay small in memory
  static const std::string smallFrame = SmallFrame();
  log.Clear();
  ResetWorkspace(ws);

  std::string_view parts[3];
  bool present[3] = {true, false, false};
  std::string_view rest = fuzz::AsText(data, size);
  for (int i = 0; i < 3; ++i) {
    const std::size_t at = i < 2 ? rest.find(kSeparator) : std::string_view::npos;
    parts[i] = rest.substr(0, at);
    if (at == std::string_view::npos) break;
    rest.remove_prefix(at + kSeparator.size());
    present[i + 1] = true;
  }

  const std::string framePath = fuzz::WriteScratch("field.fit", present[2] ? parts[2] : smallFrame);
  fuzz::WriteScratch("field.dat", parts[0]);
  if (present[1])
    fuzz::WriteScratch("field.xml", parts[1]);
  else
    fuzz::RemoveScratch("field.xml");

  if (!Attempt([&] { OpenFrame(ws, framePath); })) return 0;
  fuzz::CheckReadDataSet(ws.Series);
  fuzz::CheckCatalog(ws.Catalog);

  const long long cells = static_cast<long long>(ws.Series.RowCount) * ws.Series.StarCount;
  if (cells > kMaxCells) return 0;

  ws.PickedStar = 1;
  const ComparisonQuestion q = AskComparison(ws);
  SelectComparison(ws, q.proposed);
  fuzz::CheckFinite(ws.CompStarMag, "CompStarMag");
  if (!Attempt([&] { Run(ws); })) return 0;
  CheckStats(ws.Series);
  Attempt([&] { SearchVariables(ws); });
  CheckStats(ws.Series);
  CheckChart(ws.VarChart, "Find Variables");
  if (ws.Series.RowCount <= kMaxPeriodogramRows) {
    Attempt([&] { ComputePeriodogram(ws, 1); });
    for (const TPeriodogram& p : ws.Periodograms) {
      for (double f : p.Freq)
        fuzz::CheckFinite(f, "periodogram frequency");
      for (double t : p.Theta)
        fuzz::CheckFinite(t, "periodogram theta");
    }
  }
  return 0;
}
