// Reads one photometry table in a fresh process and prints how far the resident size
// rose while reading: "<peak bytes> <rows> <stars>". The memory test runs it, so that
// no free memory left over by other tests hides what the reader takes.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/log.hpp"
#include "dataset/readers.hpp"

namespace {

long long StatusKb(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long long kb = -1;
  const std::size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f) != nullptr)
    if (std::strncmp(line, field, n) == 0 && line[n] == ':') kb = std::atoll(line + n + 1);
  std::fclose(f);
  return kb;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: table_memory_probe TABLE\n");
    return 2;
  }
  const long long before = StatusKb("VmRSS");
  morvik::TTimeSeries series;
  morvik::NullLog log;
  morvik::LoadPhotometryTable(argv[1], series, log);
  const long long peak = StatusKb("VmHWM");
  if (before < 0 || peak < 0) return 3;
  std::printf("%lld %d %d\n", (peak - before) * 1024, series.RowCount, static_cast<int>(series.StarCount));
  return 0;
}
