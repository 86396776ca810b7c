// Photometry table reader benchmark.
//   morvik-bench-table generate PATH ROWS STARS   writes a table like a real reduction's
//   morvik-bench-table load PATH                  one timed read; prints seconds and memory
//   morvik-bench-table verify PATH                checks every number against strtod
// run.sh times numpy.loadtxt on the same file and prints the ratios.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "common/log.hpp"
#include "dataset/readers.hpp"

namespace {

using morvik::TTimeSeries;

// Fixed-point text of value with the given decimals, locale-free.
void AppendFixed(std::string& out, double value, int decimals) {
  static const double kScale[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0};
  const bool negative = value < 0;
  const auto units = static_cast<std::int64_t>(std::llround(std::fabs(value) * kScale[decimals]));
  std::int64_t whole = units;
  char frac[8];
  for (int i = decimals - 1; i >= 0; --i) {
    frac[i] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  }
  if (negative && units != 0) out += '-';
  out += std::to_string(whole);
  out += '.';
  out.append(frac, static_cast<std::size_t>(decimals));
}

int Generate(const char* path, long rows, long stars) {
  std::mt19937_64 rng(1234567);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<double> base(static_cast<std::size_t>(stars));
  for (double& m : base)
    m = 9.0 + 9.0 * uniform(rng);
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return 1;
  std::fputs("# JD, then magnitude and error of every star\r\n# generated field\r\n", f);
  std::string line;
  double jd = 2459000.3;
  for (long r = 0; r < rows; ++r) {
    line.clear();
    jd += 0.0021 + 0.0002 * uniform(rng);
    if (r % 330 == 329) jd += 0.6; // next night
    AppendFixed(line, jd, 5);
    for (long j = 0; j < stars; ++j) {
      if (uniform(rng) < 0.02) {
        line += " 99.999 9.999";
        continue;
      }
      const double m = base[static_cast<std::size_t>(j)];
      const double err = 0.002 + 0.004 * std::exp(0.5 * (m - 11.0)) * (0.8 + 0.4 * uniform(rng));
      line += ' ';
      AppendFixed(line, m + err * normal(rng), 3);
      line += ' ';
      AppendFixed(line, std::min(err, 8.9), 3);
    }
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), f);
  }
  return std::fclose(f) == 0 ? 0 : 1;
}

// Peak resident memory in kB (VmHWM).
long PeakKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 20, '\n');
  }
  return -1;
}

// Lets VmHWM start again from the current resident size (Linux 4.0 and later).
void ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

double RecordsBytes(const TTimeSeries& s) {
  return static_cast<double>(s.RowCount) *
         (static_cast<double>(s.StarCount) * sizeof(morvik::TMeasurement) + sizeof(morvik::TDataLine));
}

// User plus system time of this process so far.
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

int Load(const char* path) {
  TTimeSeries series;
  morvik::NullLog log;
  ResetPeak();
  const long before = PeakKb();
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  morvik::LoadPhotometryTable(path, series, log);
  const auto t1 = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds() - cpu0;
  const long after = PeakKb();
  const double seconds = std::chrono::duration<double>(t1 - t0).count();
  const double records = RecordsBytes(series);
  const double peak = static_cast<double>(after - before) * 1024.0;
  std::printf("seconds=%.4f cpu=%.4f rows=%d stars=%d records_mb=%.1f peak_delta_mb=%.1f peak_ratio=%.3f\n", seconds,
              cpu, series.RowCount, series.StarCount, records / 1048576.0, peak / 1048576.0,
              records > 0 ? peak / records : 0.0);
  return series.RowCount > 0 ? 0 : 1;
}

// Every number against strtod (the C locale: this program never changes it).
int Verify(const char* path) {
  TTimeSeries series;
  morvik::NullLog log;
  morvik::LoadPhotometryTable(path, series, log);

  std::string text;
  if (std::FILE* f = std::fopen(path, "rb")) {
    char block[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0)
      text.append(block, got);
    std::fclose(f);
  }
  std::size_t pos = 0, lineNo = 0, row = 0;
  long long compared = 0, mismatches = 0;
  auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  std::vector<double> numbers;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (++lineNo <= 2) continue;
    numbers.clear();
    const char* p = line.c_str();
    for (;;) {
      while (*p == ' ' || *p == '\t' || *p == '\r')
        ++p;
      if (*p == '\0') break;
      char* stop = nullptr;
      numbers.push_back(std::strtod(p, &stop));
      p = stop;
    }
    if (numbers.empty()) continue;
    if (row >= series.Rows.size() || numbers.size() != 1 + 2 * std::size_t{series.StarCount}) {
      std::printf("shape differs at line %zu\n", lineNo);
      return 1;
    }
    const morvik::TDataLine& r = series.Rows[row++];
    mismatches += !same(r.Time, numbers[0]);
    for (std::size_t j = 0; j < series.StarCount; ++j) {
      const double mag = numbers[1 + 2 * j], err = numbers[2 + 2 * j];
      const bool valid = mag < 99.0 && err < 9.0;
      mismatches += r.Items[j].Valid != valid;
      mismatches += !same(r.Items[j].Mag, valid ? mag : 0.0);
      mismatches += !same(r.Items[j].Err, valid ? err : 0.0);
    }
    compared += 1 + 2 * static_cast<long long>(series.StarCount);
  }
  if (row != series.Rows.size()) mismatches += 1;
  std::printf("numbers_compared=%lld mismatches=%lld\n", compared, mismatches);
  return mismatches == 0 && compared > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "generate" && argc == 5) return Generate(argv[2], std::atol(argv[3]), std::atol(argv[4]));
  if (mode == "load" && argc == 3) return Load(argv[2]);
  if (mode == "verify" && argc == 3) return Verify(argv[2]);
  std::fprintf(stderr, "usage: %s generate PATH ROWS STARS | load PATH | verify PATH\n", argv[0]);
  return 2;
}
