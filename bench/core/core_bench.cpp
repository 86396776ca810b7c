// Run followed by Search Variables on a whole data set.
//   morvik-bench-core time BASE W H COMP MAG RUNS STATS
//       reads BASE.dat and BASE.xml once, then times RUNS rounds of Run + Search
//       Variables (the reading is not timed) and one memcpy of the records; writes every
//       per-star statistic to STATS (raw doubles) for the numpy peer to compare.
//   morvik-bench-core memory BASE W H COMP MAG
//       one read and one Run + Search Variables; prints the peak resident size.
// W and H are the frame size (the frame itself is not read), COMP and MAG the
// comparison star's id and magnitude.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"
#include "workspace/workspace.hpp"

namespace {

using morvik::TDataLine;
using morvik::TMeasurement;
using morvik::TStarStat;
using morvik::TTimeSeries;
using morvik::Workspace;

struct Args {
  std::string base;
  int width = 0;
  int height = 0;
  int comp = 0;
  double mag = 0.0;
};

// Field of /proc/self/status in kB, -1 when absent.
long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == field) {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 20, '\n');
  }
  return -1;
}

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The measurements alone, and with the row and star records around them.
double MeasurementBytes(const TTimeSeries& s) {
  return static_cast<double>(s.RowCount) * static_cast<double>(s.StarCount) * sizeof(TMeasurement);
}
double RecordsBytes(const TTimeSeries& s) {
  return MeasurementBytes(s) + static_cast<double>(s.RowCount) * sizeof(TDataLine) +
         static_cast<double>(s.StarCount) * sizeof(TStarStat);
}

bool Prepare(Workspace& ws, const Args& a) {
  morvik::LoadPhotometryTable(a.base + ".dat", ws.Series, ws.log);
  morvik::LoadStarCatalog(a.base + ".xml", ws.Catalog, ws.log);
  if (ws.Series.StarCount == 0 || ws.Series.RowCount == 0 || a.comp < 1 || a.comp > ws.Series.StarCount) {
    std::fprintf(stderr, "no usable data set at %s.dat (or comparison star %d out of range)\n", a.base.c_str(), a.comp);
    return false;
  }
  // The border rule needs only the frame's size; the picture is not part of the sum.
  ws.Frame->Width = a.width;
  ws.Frame->Height = a.height;
  ws.settings.CCDandChart = false;
  ws.CompStarId = static_cast<std::uint16_t>(a.comp);
  ws.CompStarMag = a.mag;
  return true;
}

void RunAndSearch(Workspace& ws) {
  morvik::Run(ws);
  morvik::SearchVariables(ws);
}

// The fields that Run and Search Variables write, in the order the peer reads them.
bool WriteStats(const TTimeSeries& s, const std::string& path) {
  std::vector<double> out;
  out.push_back(static_cast<double>(s.UsedCount));
  out.push_back(s.MeanVariance);
  out.push_back(s.MeanSigmaAll);
  for (const TStarStat& st : s.Stats) {
    const double fields[] = {st.Mean,           st.MeanW,       static_cast<double>(st.NValid),
                             st.MeanErr,        st.Variance,    st.Used ? 1.0 : 0.0,
                             st.Weight,         st.RunMean,     static_cast<double>(st.NAccepted),
                             st.RunMeanW,       st.RunVariance, st.ChiSq,
                             st.RunMedian,      st.Mad,         st.RobustMedian,
                             st.ExcessVariance, st.VonNeumann};
    out.insert(out.end(), std::begin(fields), std::end(fields));
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(out.data(), sizeof(double), out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

int Time(const Args& a, int runs, const std::string& statsPath) {
  morvik::NullLog log;
  Workspace ws(log);
  if (!Prepare(ws, a)) return 1;
  const TTimeSeries& s = ws.Series;

  double bestWall = 1e300, bestCpu = 1e300, bestRun = 1e300, bestSearch = 1e300;
  double bestRunCpu = 1e300, bestSearchCpu = 1e300;
  for (int i = 0; i < runs; ++i) {
    const double w0 = WallSeconds(), c0 = CpuSeconds();
    morvik::Run(ws);
    const double w1 = WallSeconds(), c1 = CpuSeconds();
    morvik::SearchVariables(ws);
    const double w2 = WallSeconds(), c2 = CpuSeconds();
    bestWall = std::min(bestWall, w2 - w0);
    bestCpu = std::min(bestCpu, c2 - c0);
    bestRun = std::min(bestRun, w1 - w0);
    bestSearch = std::min(bestSearch, w2 - w1);
    bestRunCpu = std::min(bestRunCpu, c1 - c0);
    bestSearchCpu = std::min(bestSearchCpu, c2 - c1);
  }
  if (!WriteStats(s, statsPath)) {
    std::fprintf(stderr, "cannot write %s\n", statsPath.c_str());
    return 1;
  }

  // The floor: one copy of every measurement, into memory that is already mapped.
  std::vector<TMeasurement> copy(static_cast<std::size_t>(s.RowCount) * s.StarCount);
  std::memset(static_cast<void*>(copy.data()), 1, copy.size() * sizeof(TMeasurement));
  double bestCopy = 1e300;
  for (int i = 0; i < std::max(runs, 3); ++i) {
    const double w0 = WallSeconds();
    TMeasurement* to = copy.data();
    for (const TDataLine& row : s.Rows) {
      std::memcpy(static_cast<void*>(to), row.Items.data(), row.Items.size() * sizeof(TMeasurement));
      to += row.Items.size();
    }
    bestCopy = std::min(bestCopy, WallSeconds() - w0);
  }
  // Keeps the copy from being optimised away.
  volatile double sink = copy[copy.size() / 2].Mag;
  (void)sink;

  std::printf("rows=%d stars=%d used=%d records_mb=%.1f run_search_s=%.4f cpu_s=%.4f run_s=%.4f search_s=%.4f "
              "run_cpu_s=%.4f search_cpu_s=%.4f memcpy_s=%.4f\n",
              s.RowCount, s.StarCount, s.UsedCount, MeasurementBytes(s) / 1048576.0, bestWall, bestCpu, bestRun,
              bestSearch, bestRunCpu, bestSearchCpu, bestCopy);
  return 0;
}

int Memory(const Args& a) {
  morvik::NullLog log;
  const long start = StatusKb("VmRSS:");
  Workspace ws(log);
  const long workspace = StatusKb("VmRSS:");
  if (!Prepare(ws, a)) return 1;
  const long afterRead = StatusKb("VmHWM:");
  const long loaded = StatusKb("VmRSS:");
  RunAndSearch(ws);
  const long peak = StatusKb("VmHWM:");
  const double records = RecordsBytes(ws.Series);
  const double mb = 1048576.0;
  std::printf("records_mb=%.1f start_rss_mb=%.1f workspace_rss_mb=%.1f read_peak_mb=%.1f loaded_rss_mb=%.1f "
              "peak_mb=%.1f peak_ratio=%.3f run_growth_mb=%.1f\n",
              records / mb, static_cast<double>(start) / 1024.0, static_cast<double>(workspace) / 1024.0,
              static_cast<double>(afterRead) / 1024.0, static_cast<double>(loaded) / 1024.0,
              static_cast<double>(peak) / 1024.0, static_cast<double>(peak) * 1024.0 / records,
              static_cast<double>(peak - loaded) / 1024.0);
  return 0;
}

bool ReadArgs(char** argv, Args& a) {
  a.base = argv[2];
  a.width = std::atoi(argv[3]);
  a.height = std::atoi(argv[4]);
  a.comp = std::atoi(argv[5]);
  a.mag = std::strtod(argv[6], nullptr);
  return a.width > 0 && a.height > 0 && a.comp > 0;
}

} // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  Args a;
  if (mode == "time" && argc == 9 && ReadArgs(argv, a)) return Time(a, std::max(1, std::atoi(argv[7])), argv[8]);
  if (mode == "memory" && argc == 7 && ReadArgs(argv, a)) return Memory(a);
  std::fprintf(stderr, "usage: %s time BASE W H COMP MAG RUNS STATS | memory BASE W H COMP MAG\n", argv[0]);
  return 2;
}
