// Times the Lafler-Kinman periodogram of one star (1 000 and 5 000 valid measurements
// over 30 nights) and checks it bit for bit against the literal scan. Writes the
// inputs and the result for the numpy peer (lk_numpy.py), which run.sh times in the
// same run.
//
//   periods_bench OUTDIR [REPEATS]
// prints one line per case: "points N freqs F fast_ms T fast1_ms T1 cpu1_ms C1 literal_ms T2 identical yes|no"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "common/log.hpp"
#include "periods/lafler_kinman.hpp"
#include "periods/lk_literal.hpp"

namespace {

using morvik::TDataLine;
using morvik::TTimeSeries;

// 30 nights of 8 hours, a pulsator of 0.3719 days with noise.
TTimeSeries MakeStar(int points, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::vector<double> times;
  for (int i = 0; i < points; ++i) {
    const double night = std::floor(30.0 * u(rng));
    times.push_back(2460000.3 + night + u(rng) / 3.0);
  }
  std::sort(times.begin(), times.end());
  if (times.size() >= 2) {
    times.front() = 2460000.3;
    times.back() = 2460030.3 - 2.0 / 3.0; // a span of about 30 days
  }
  TTimeSeries ts;
  ts.StarCount = 1;
  for (double t : times) {
    TDataLine row;
    row.Time = t;
    row.Items.resize(1);
    row.Items[0].RunMag = 12.0 + 0.25 * std::sin(2.0 * M_PI * (t - 2460000.0) / 0.3719) + noise(rng);
    row.Items[0].Valid = true;
    ts.Rows.push_back(row);
  }
  ts.RowCount = static_cast<std::int32_t>(ts.Rows.size());
  double mean = 0.0;
  for (const auto& r : ts.Rows)
    mean += r.Items[0].RunMag;
  mean /= points;
  double var = 0.0;
  for (const auto& r : ts.Rows)
    var += (r.Items[0].RunMag - mean) * (r.Items[0].RunMag - mean);
  ts.Stats.resize(1);
  ts.Stats[0].NValid = static_cast<std::uint16_t>(points);
  ts.Stats[0].RunVariance = var / points;
  return ts;
}

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool WriteDoubles(const std::string& path, const std::vector<double>& v) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(v.data(), sizeof(double), v.size(), f) == v.size();
  return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: periods_bench OUTDIR [REPEATS]\n");
    return 2;
  }
  const std::string out = argv[1];
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  morvik::NullLog log;
  for (int points : {1000, 5000}) {
    TTimeSeries ts = MakeStar(points, 1234u + static_cast<unsigned>(points));
    const double span = ts.Rows.back().Time - ts.Rows.front().Time;
    std::vector<morvik::TPeriodogram> pg(1);
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      morvik::ComputeLaflerKinman(ts, ts.Stats, pg, 0, morvik::kLkShortestPeriod, std::fabs(span), morvik::kLkPhaseStep,
                                  morvik::kLkExponent, log);
      best = std::min(best, Ms(std::chrono::steady_clock::now() - t0));
    }
    std::vector<morvik::TPeriodogram> one(1);
    double bestOne = 1e300;
    double cpuOne = 1e300; // processor time: what the machine's load does not change
    for (int r = 0; r < std::max(1, repeats / 2); ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      const std::clock_t c0 = std::clock();
      morvik::ComputeLaflerKinman(ts, ts.Stats, one, 0, morvik::kLkShortestPeriod, std::fabs(span),
                                  morvik::kLkPhaseStep, morvik::kLkExponent, log, 1);
      cpuOne = std::min(cpuOne, 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
      bestOne = std::min(bestOne, Ms(std::chrono::steady_clock::now() - t0));
    }
    const auto t0 = std::chrono::steady_clock::now();
    const morvik::literal::Result ref = morvik::literal::LaflerKinman(
        ts, ts.Stats, 0, morvik::kLkShortestPeriod, std::fabs(span), morvik::kLkPhaseStep, morvik::kLkExponent);
    const double literalMs = Ms(std::chrono::steady_clock::now() - t0);
    auto same = [](const std::vector<double>& a, const std::vector<double>& b) {
      return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
    };
    const bool identical = same(pg[0].Freq, ref.freq) && same(pg[0].Theta, ref.theta) && same(one[0].Theta, ref.theta);

    std::vector<double> dt;
    std::vector<double> mags;
    for (const auto& r : ts.Rows) {
      dt.push_back(r.Time - ts.Rows.front().Time);
      mags.push_back(r.Items[0].RunMag);
    }
    const std::string base = out + "/lk" + std::to_string(points);
    const std::vector<double> denominator = {static_cast<double>(ts.Stats[0].NValid) * ts.Stats[0].RunVariance};
    if (!WriteDoubles(base + "_dt.bin", dt) || !WriteDoubles(base + "_mag.bin", mags) ||
        !WriteDoubles(base + "_freq.bin", pg[0].Freq) || !WriteDoubles(base + "_theta.bin", pg[0].Theta) ||
        !WriteDoubles(base + "_den.bin", denominator)) {
      std::fprintf(stderr, "cannot write %s_*.bin\n", base.c_str());
      return 1;
    }
    std::printf("points %d freqs %zu fast_ms %.3f fast1_ms %.3f cpu1_ms %.3f literal_ms %.3f identical %s\n", points,
                pg[0].Freq.size(), best, bestOne, cpuOne, literalMs, identical ? "yes" : "no");
    std::fflush(stdout);
  }
  return 0;
}
