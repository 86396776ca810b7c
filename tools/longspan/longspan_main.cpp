// morvik-longspan: writes long-span test series and their truth.
//   morvik-longspan OUTDIR [--count N] [--seed S] [--seasons Y] [--noise-share P]
// OUTDIR/series.txt holds "name time mag err" lines, OUTDIR/truth.csv one row per star.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "event_nights.hpp"
#include "longspan.hpp"

namespace {

// --event-nights N: N transit nights and N eclipse nights from the exact occultation
// model, "name t flux err airmass" lines, and their truth (mid-times, minima).
bool WriteEventNights(const std::string& dir, int count, std::uint64_t seed) {
  using namespace morvik::longspan;
  std::ofstream points(dir + "/events.txt"), truth(dir + "/events_truth.csv");
  truth << "name,kind,t0,rp_rs,a_rs,b,period,u1,u2\n";
  for (int k = 0; k < 2 * count; ++k) {
    const bool transit = k < count;
    NightOptions o;
    o.start = 2460000.6 + k;
    o.white = transit ? 0.002 : 0.004;
    o.red = transit ? 0.0006 : 0.0;
    o.airmassSlope = -0.02;
    morvik::events::TransitShape s;
    s.p = transit ? 0.08 + 0.01 * (k % 9) : 0.9;
    s.aRs = transit ? 8.0 + (k % 5) : 4.0;
    s.b = 0.1 * (k % 6);
    s.period = transit ? 3.0 : 0.8;
    s.u1 = 0.45;
    s.u2 = 0.22;
    const double offset = 0.004 * ((k % 7) - 3);
    const EventNight n =
        transit ? MakeTransitNight(s, offset, o, seed + static_cast<std::uint64_t>(k))
                : MakeEclipseNight(s.p, s.b, s.aRs, s.period, 0.3, offset, o, seed + static_cast<std::uint64_t>(k));
    const std::string name = (transit ? "TR" : "EB") + std::to_string(k);
    char line[200];
    for (std::size_t i = 0; i < n.t.size(); ++i) {
      std::snprintf(line, sizeof line, "%s %.7f %.6f %.6f %.4f\n", name.c_str(), n.t[i], n.flux[i], n.err[i],
                    n.airmass[i]);
      points << line;
    }
    std::snprintf(line, sizeof line, "%s,%s,%.7f,%.4f,%.3f,%.2f,%.4f,%.2f,%.2f\n", name.c_str(),
                  transit ? "transit" : "eclipse", n.truthT0, n.shape.p, n.shape.aRs, n.shape.b, n.shape.period,
                  n.shape.u1, n.shape.u2);
    truth << line;
  }
  return static_cast<bool>(points) && static_cast<bool>(truth);
}

} // namespace

int main(int argc, char** argv) {
  using namespace morvik::longspan;
  if (argc < 2) {
    std::fprintf(
        stderr, "usage: morvik-longspan OUTDIR [--count N] [--seed S] [--seasons Y] [--transits] [--event-nights N]\n");
    return 2;
  }
  std::string dir = argv[1];
  std::size_t count = 200;
  std::uint64_t seed = 1;
  SetOptions o;
  int eventNights = 0;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&] { return i + 1 < argc ? std::strtoull(argv[++i], nullptr, 10) : 0ull; };
    if (a == "--count") {
      count = value();
    } else if (a == "--seed") {
      seed = value();
    } else if (a == "--seasons") {
      o.sampling.seasons = static_cast<int>(value());
    } else if (a == "--transits") {
      o.kinds.push_back(Kind::Transit);
    } else if (a == "--event-nights") {
      eventNights = static_cast<int>(value());
    } else if (a == "--noise") {
      o.kinds.push_back(Kind::Noise);
    } else {
      std::fprintf(stderr, "morvik-longspan: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const auto set = MakeSet(count, seed, o);
  std::ofstream(dir + "/series.txt") << SeriesText(set);
  std::ofstream truth(dir + "/truth.csv");
  truth << TruthCsv(set);
  if (!truth) {
    std::fprintf(stderr, "morvik-longspan: cannot write into %s\n", dir.c_str());
    return 1;
  }
  if (eventNights > 0 && !WriteEventNights(dir, eventNights, seed)) {
    std::fprintf(stderr, "morvik-longspan: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
