// Memory of a big photometry table: the peak while reading stays near the records it
// fills, and a table that cannot fit is refused with a message instead of the process
// being killed or thrown out of the reader.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "hardening_support.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define MORVIK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVIK_UNDER_ASAN 1
#endif
#endif

namespace morvik::hardening {
namespace {

// A field of /proc/self/status in kB, -1 when absent.
[[maybe_unused]] long long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0) return std::atoll(line.c_str() + key.size());
  return -1;
}

// rows x stars of valid measurements, one row per line.
std::string WriteTable(const Folder& folder, int rows, int stars, const char* pair) {
  std::string row;
  for (int j = 0; j < stars; ++j)
    row += pair;
  row += "\n";
  const std::string path = folder.Path("big.dat");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  std::fputs("# JD\n# big\n", f);
  for (int r = 0; r < rows; ++r) {
    std::fprintf(f, "%d", 2450000 + r);
    std::fwrite(row.data(), 1, row.size(), f);
  }
  std::fclose(f);
  return path;
}

// Runs body in a child process and returns what it wrote to the pipe ("" when it died).
template <class Body> std::string InChild(Body body) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const std::string out = body();
    const ssize_t ignored = ::write(fds[1], out.data(), out.size());
    (void)ignored;
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string got;
  char buf[256];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
    got.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) return "child killed by signal " + std::to_string(WTERMSIG(status));
  return got;
}

TEST(TableMemory, PeakWhileReadingStaysWithinHalfAgainTheRecords) {
  Folder folder;
  const int rows = 4000;
  const int stars = 500;
  const std::string path = WriteTable(folder, rows, stars, " 12.345 0.012");
  const double records =
      static_cast<double>(rows) * (sizeof(TDataLine) + static_cast<double>(stars) * sizeof(TMeasurement));

  // A fresh process, so that memory freed by earlier tests cannot be reused unseen.
  const std::string command = std::string(MORVIK_MEMORY_PROBE) + " '" + path + "'";
  std::FILE* probe = ::popen(command.c_str(), "r");
  ASSERT_NE(probe, nullptr);
  char out[128] = {};
  const bool got = std::fgets(out, sizeof out, probe) != nullptr;
  ASSERT_EQ(::pclose(probe), 0) << out;
  ASSERT_TRUE(got);
  long long peak = 0;
  int readRows = 0, readStars = 0;
  ASSERT_EQ(std::sscanf(out, "%lld %d %d", &peak, &readRows, &readStars), 3) << out;
  ASSERT_EQ(readRows, rows);
  ASSERT_EQ(readStars, stars);
  EXPECT_LE(static_cast<double>(peak), 1.5 * records)
      << "peak " << static_cast<double>(peak) / 1e6 << " MB for " << records / 1e6 << " MB of records";
  EXPECT_GE(static_cast<double>(peak), 0.9 * records) << "the measurement missed the records";
}

TEST(TableMemory, ATableTooLargeForMemoryIsRefusedWithAMessage) {
#ifdef MORVIK_UNDER_ASAN
  GTEST_SKIP() << "the address sanitizer reserves more address space than any limit set here";
#else
  Folder folder;
  // 300 rows of 20 000 stars need about 190 MB of records; the child may have 96 MB more.
  const std::string path = WriteTable(folder, 300, 20000, " 1 1");
  const std::string result = InChild([&]() -> std::string {
    const long long vmKb = StatusKb("VmSize");
    const rlim_t limit = static_cast<rlim_t>(vmKb + 96 * 1024) * 1024;
    const rlimit lim{limit, limit};
    if (::setrlimit(RLIMIT_AS, &lim) != 0) return "no limit";
    TTimeSeries series;
    series.RowCount = 1;
    series.StarCount = 1;
    series.Rows.resize(1);
    series.Rows[0].Items.resize(1);
    series.Rows[0].Items[0] = TMeasurement{12.0, 0.01, 0.0, true};
    MemoryLog log;
    try {
      LoadPhotometryTable(path, series, log);
    } catch (const std::exception& e) {
      return std::string("escaped: ") + e.what();
    }
    if (series.RowCount != 1 || series.Rows.size() != 1 || series.Rows[0].Items[0].Mag != 12.0)
      return "the data set changed";
    return log.Lines().empty() ? "no message" : log.Lines().back();
  });
  // Measured before anything is allocated: no process gets killed for a promise the
  // system cannot keep.
  EXPECT_EQ(result.find("The table is too large for the memory: 300 rows of 20000 stars need "), 0u) << result;
  EXPECT_NE(result.find(" MB are available"), std::string::npos) << result;
#endif
}

} // namespace
} // namespace morvik::hardening
