// Run + Search Variables + the ensemble check + the further indices and candidates,
// against Run + Search Variables alone, on the same data set in the same process.
//   morvik-bench-ensemble BASE W H COMP MAG RUNS
// reads BASE.dat and BASE.xml once (not timed), then times RUNS interleaved rounds of
// both and prints the best wall and CPU seconds of each and their ratio.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "workspace/candidate_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"
#include "workspace/workspace.hpp"

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Best {
  double wall = 1e300, cpu = 1e300;
  template <typename F> void Time(F&& f) {
    const double w0 = WallSeconds(), c0 = CpuSeconds();
    f();
    wall = std::min(wall, WallSeconds() - w0);
    cpu = std::min(cpu, CpuSeconds() - c0);
  }
};

} // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: morvik-bench-ensemble BASE W H COMP MAG RUNS\n");
    return 2;
  }
  const std::string base = argv[1];
  const int comp = std::atoi(argv[4]);
  const int runs = std::max(1, std::atoi(argv[6]));
  morvik::NullLog log;
  morvik::Workspace ws(log);
  morvik::LoadPhotometryTable(base + ".dat", ws.Series, ws.log);
  morvik::LoadStarCatalog(base + ".xml", ws.Catalog, ws.log);
  if (ws.Series.StarCount == 0 || comp < 1 || comp > ws.Series.StarCount) {
    std::fprintf(stderr, "no usable data set at %s.dat\n", base.c_str());
    return 1;
  }
  ws.Frame->Width = std::atoi(argv[2]);
  ws.Frame->Height = std::atoi(argv[3]);
  ws.settings.CCDandChart = false;
  ws.CompStarId = static_cast<std::uint16_t>(comp);
  ws.CompStarMag = std::atof(argv[5]);

  Best plain, full, check, more;
  int flagged = 0;
  std::size_t candidates = 0;
  for (int i = 0; i < runs; ++i) {
    plain.Time([&] {
      ws.settings.CheckEnsemble = false;
      morvik::Run(ws);
      morvik::SearchVariables(ws);
    });
    full.Time([&] {
      ws.settings.CheckEnsemble = true;
      morvik::Run(ws);
      morvik::SearchVariables(ws, true); // as the desktop and the batch program search
    });
    // The two new parts alone, on the state the full round left.
    check.Time([&] { morvik::CheckEnsemble(ws.Series, ws.CompStarId, morvik::EnsembleCheckSettings{}, ws.log); });
    more.Time([&] { morvik::ComputeCandidates(ws); });
    flagged = ws.Check.FlaggedCount;
    candidates = ws.Candidates.size();
  }
  std::printf("stars=%d rows=%d plain_s=%.4f plain_cpu_s=%.4f full_s=%.4f full_cpu_s=%.4f check_s=%.4f "
              "candidates_s=%.4f flagged=%d candidates=%zu\n",
              ws.Series.StarCount, ws.Series.RowCount, plain.wall, plain.cpu, full.wall, full.cpu, check.wall,
              more.wall, flagged, candidates);
  return 0;
}
