// Times the period search methods on the cases the Python peers time in the same run
// (search_peers.py): exact generalised Lomb-Scargle, box least squares and
// Lafler-Kinman on a full grid. Writes the inputs and results as raw doubles.
//
//   search_bench OUTDIR [CASE]      (CASE: gls, bls or lk; all when left out)
// prints "case NAME points N freqs F ms T" per case (best of three, all cores); box
// least squares adds "cpu1 C": processor time on one thread, which the load of a
// shared machine does not change.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "periods/period_methods.hpp"

namespace {

using namespace morvik;

struct Series {
  std::vector<double> t, y, dy;
};

// Random times over `days`, a sinusoid (or a box dip) with noise.
Series Make(std::size_t n, double days, double period, bool box, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.01);
  Series s;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = 2460000.0 + days * u(rng);
    const double ph = t / period - std::floor(t / period);
    const double signal = box ? (ph < 0.03 ? 0.02 : 0.0) : 0.05 * std::sin(2 * std::numbers::pi * ph);
    s.t.push_back(t);
    s.y.push_back(12.0 + signal + noise(rng));
    s.dy.push_back(0.01);
  }
  return s;
}

void Write(const std::string& path, const std::vector<double>& v) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(v.data(), sizeof(double), v.size(), f);
  std::fclose(f);
}

template <typename Fn> double BestMs(Fn&& fn) {
  double best = 1e300;
  for (int r = 0; r < 3; ++r) {
    const auto a = std::chrono::steady_clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
  }
  return best;
}

void Save(const std::string& dir, const char* name, const Series& s, const std::vector<double>& f,
          const std::vector<double>& p) {
  const std::string base = dir + "/" + name + "_";
  Write(base + "t.bin", s.t);
  Write(base + "y.bin", s.y);
  Write(base + "dy.bin", s.dy);
  Write(base + "freq.bin", f);
  Write(base + "power.bin", p);
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: search_bench OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::string only = argc > 2 ? argv[2] : "";
  const auto wanted = [&](const char* name) { return only.empty() || only == name; };

  if (wanted("gls")) { // exact GLS: 5 000 points, 100 000 frequencies
    const Series s = Make(5000, 1000.0, 0.7317, false, 1);
    const FrequencyGrid g{0.002, 1e-4, 100000};
    std::vector<double> p(g.count);
    const double ms = BestMs([&] { GlsPower(s.t, s.y, s.dy, g, p); });
    Save(dir, "gls", s, g.Values(), p);
    std::printf("case gls points %zu freqs %zu ms %.3f\n", s.t.size(), g.count, ms);
    std::vector<double> q(g.count);
    const double fastMs = BestMs([&] { GlsPowerApproximate(s.t, s.y, s.dy, g, q); });
    double worst = 0.0;
    for (std::size_t k = 0; k < g.count; ++k)
      worst = std::max(worst, std::fabs(q[k] - p[k]));
    Write(dir + "/glsfast_power.bin", q);
    std::printf("case glsfast points %zu freqs %zu ms %.3f maxdiff %.3e\n", s.t.size(), g.count, fastMs, worst);
  }
  if (wanted("bls")) { // box least squares: 5 000 points over 60 days, the box grid from 0.5 d to 30 d
    const Series s = Make(5000, 60.0, 3.1234, true, 2);
    GridRequest req;
    req.minPeriod = 0.5;
    req.oversampling = 3;
    const std::vector<double> durations{0.05, 0.08, 0.12, 0.16};
    const std::vector<double> f = BoxFrequencies(60.0, req, durations.front(), 200);
    BlsSettings b;
    b.durations = durations;
    std::vector<double> p(f.size());
    const double ms = BestMs([&] { BlsPower(s.t, s.y, s.dy, f, b, p); });
    Save(dir, "bls", s, f, p);
    Write(dir + "/bls_durations.bin", durations);
    double cpu1 = 1e300;
    MethodRun one;
    one.threads = 1;
    for (int r = 0; r < 3; ++r) {
      const std::clock_t c0 = std::clock();
      BlsPower(s.t, s.y, s.dy, f, b, p, one);
      cpu1 = std::min(cpu1, 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
    }
    std::printf("case bls points %zu freqs %zu ms %.3f cpu1 %.3f\n", s.t.size(), f.size(), ms, cpu1);
  }
  if (wanted("lk")) { // Lafler-Kinman on the full grid: 1 000 points over 1 000 days, 0.5 d .. 500 d
    const Series s = Make(1000, 1000.0, 0.7317, false, 3);
    GridRequest req;
    req.minPeriod = 0.5;
    const FrequencyGrid g = MakeFrequencyGrid(TimeSpan(s.t), req);
    const std::vector<double> f = g.Values();
    std::vector<double> p(f.size());
    const double ms = BestMs([&] { LaflerKinmanTheta(s.t, s.y, f, p); });
    Save(dir, "lk", s, f, p);
    std::printf("case lk points %zu freqs %zu ms %.3f\n", s.t.size(), f.size(), ms);
  }
  return 0;
}
