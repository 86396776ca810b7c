// morvik-longspan: writes long-span test series and their truth.
//   morvik-longspan OUTDIR [--count N] [--seed S] [--seasons Y] [--noise-share P]
// OUTDIR/series.txt holds "name time mag err" lines, OUTDIR/truth.csv one row per star.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "longspan.hpp"

int main(int argc, char** argv) {
  using namespace morvik::longspan;
  if (argc < 2) {
    std::fprintf(stderr, "usage: morvik-longspan OUTDIR [--count N] [--seed S] [--seasons Y] [--transits]\n");
    return 2;
  }
  std::string dir = argv[1];
  std::size_t count = 200;
  std::uint64_t seed = 1;
  SetOptions o;
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
  return 0;
}
