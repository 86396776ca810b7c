// A full transit fit of 150 points (least squares, then 32 walkers x 5000 steps) with a
// constant baseline, timed; the series is written for the numpy/emcee peer.
//   events_bench DIR  ->  DIR/night.txt, and one line "points N wall_ms W cpu_ms C t0 T sigma S rp R"

#include "event_nights.hpp"
#include "events/transit_fit.hpp"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
  using namespace morvik;
  if (argc < 2) {
    std::fprintf(stderr, "usage: events_bench DIR\n");
    return 2;
  }
  events::TransitShape shape;
  shape.p = 0.12;
  shape.aRs = 9.0;
  shape.b = 0.3;
  shape.period = 3.0;
  shape.u1 = 0.45;
  shape.u2 = 0.22;
  longspan::NightOptions night;
  night.length = 0.205;
  night.white = 0.002;
  longspan::EventNight n = longspan::MakeTransitNight(shape, 0.002, night, 11);
  while (n.t.size() > 150) { // exactly 150 points
    n.t.pop_back();
    n.flux.pop_back();
    n.err.pop_back();
  }
  std::FILE* f = std::fopen((std::string(argv[1]) + "/night.txt").c_str(), "w");
  if (!f) return 1;
  for (std::size_t i = 0; i < n.t.size(); ++i)
    std::fprintf(f, "%.10f %.10f %.10f\n", n.t[i], n.flux[i], n.err[i]);
  std::fclose(f);
  events::TransitSeries s;
  s.t = n.t;
  s.flux = n.flux;
  s.err = n.err;
  events::TransitFitOptions o;
  o.period = shape.period;
  o.u1 = shape.u1;
  o.u2 = shape.u2;
  o.chooseBaseline = false; // the peer's baseline: one constant
  o.walkers = 32;
  o.steps = 5000;
  const auto w0 = std::chrono::steady_clock::now();
  const std::clock_t c0 = std::clock();
  const events::TransitFitResult r = events::FitTransit(s, o);
  const double cpu = 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count();
  const events::Estimate& t0 = *r.Find("t0");
  std::printf("points %zu wall_ms %.1f cpu_ms %.1f t0 %.7f sigma %.7f rp %.5f\n", s.t.size(), wall, cpu, t0.p50,
              t0.Sigma(), r.Find("rp_rs")->p50);
  return r.ok ? 0 : 1;
}
