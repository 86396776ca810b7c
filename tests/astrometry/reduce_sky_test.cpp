// The reduction with plate solving: the sky on every catalog star, the WCS in the
// reference frame, and the specified outputs unchanged by either.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "fits/tfits.hpp"
#include "reduction/reduce.hpp"
#include "sky_frames.hpp"

namespace morvik::astrometry {
namespace {

namespace fs = std::filesystem;

std::string Text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

reduction::ReduceResult ReduceSky(const fs::path& dir, const std::string& out, bool solve,
                                  std::optional<double> saturation = std::nullopt) {
  reduction::ReduceSettings s;
  for (int k = 1; k <= 3; ++k)
    s.frames.push_back((dir / ("sky_000" + std::to_string(k) + ".fits")).string());
  s.out = (dir / out).string();
  s.reference = s.frames[0];
  s.sky.solve = solve;
  s.saturation = saturation;
  std::atomic<bool> cancel{false};
  return reduction::Reduce(s, {}, cancel);
}

// What the specified readers make of a field: the catalog entries, the table, and the
// frame's statistics, log lines and display bitmap.
struct Opened {
  std::vector<TCatalogStar> catalog;
  std::string table;
  std::vector<std::string> log;
  std::array<std::int32_t, 256> histogram{};
  double stats[4] = {};
  std::vector<std::uint8_t> bitmap;
};

Opened Open(const fs::path& base) {
  Opened o;
  MemoryLog log;
  auto catalog = std::make_unique<StarCatalog>();
  LoadStarCatalog(base.string() + ".xml", *catalog, log);
  for (long long id = 1; id <= 400; ++id)
    o.catalog.push_back((*catalog)[id]);
  o.table = Text(base.string() + ".dat");
  // Each reduction names itself on the table's first line; the readers skip that line.
  if (const auto at = o.table.find(" reduction:"); at != std::string::npos && at < o.table.find('\n'))
    o.table.erase(at, o.table.find('\r', at) - at);
  auto frame = std::make_unique<TFits>();
  frame->LoadFromFile(base.string() + ".fts", false, log);
  frame->Render(log);
  for (const std::string& l : log.Lines())
    if (l.rfind("loaded in", 0) != 0) o.log.push_back(l); // a duration
  o.histogram = frame->Histogram;
  o.stats[0] = frame->MinVal, o.stats[1] = frame->MaxVal, o.stats[2] = frame->MeanVal, o.stats[3] = frame->BgVal;
  const Bitmap& b = frame->Bitmap_;
  for (int y = 0; y < b.Height(); ++y)
    o.bitmap.insert(o.bitmap.end(), b.Line(y), b.Line(y) + b.Stride());
  return o;
}

TEST(ReduceSkyTest, SolvedFieldCarriesTheSkyAndOpensAsBefore) {
  const auto dir = morvik::testing::TestWorkDir("reduce_sky");
  ASSERT_TRUE(morvik::testing::MakeSkyFrames(dir, "--frames 3 --rotation 200 --seed 5"));
  const auto solved = ReduceSky(dir, "solved", true);
  ASSERT_TRUE(solved.ok) << solved.error;
  ASSERT_TRUE(solved.sky.solved) << solved.sky.reason;
  const auto plain = ReduceSky(dir, "plain", false);
  ASSERT_TRUE(plain.ok) << plain.error;

  // Every star of the catalog carries the sky position of its true star.
  const auto truth = morvik::testing::ReadTruth(dir / "sky.truth");
  const std::string xml = Text(dir / "solved.xml");
  std::istringstream lines(xml);
  std::string line;
  int stars = 0, checked = 0;
  while (std::getline(lines, line)) {
    if (line.find("<s ") == std::string::npos) continue;
    ++stars;
    double x = 0, y = 0, ra = -1, dec = -99;
    std::sscanf(line.c_str(), " <s id=\"%*d\" x=\"%lf\" y=\"%lf\" m=\"%*f\" ra=\"%lf\" dec=\"%lf\"", &x, &y, &ra, &dec);
    ASSERT_GE(ra, 0) << line;
    for (const auto& t : truth.stars)
      if (std::hypot(t.x + 1 - x, t.y + 1 - y) < 0.5) {
        // Half a pixel of 6": the measured centre of a faint star errs by a tenth of a
        // pixel or two on top of the WCS's own error.
        EXPECT_LT(Separation({ra, dec}, t.sky) * 3600, 3.0) << line;
        ++checked;
        break;
      }
  }
  EXPECT_GT(checked, stars / 2);

  // The Tycho-2 stars among the catalog, with the VT the frames were made from.
  std::istringstream report(Text(dir / "solved_reduction.txt"));
  std::vector<std::pair<double, double>> xy; // by id - 1
  std::vector<bool> flagged;                 // by id - 1
  for (std::istringstream all(xml); std::getline(all, line);) {
    double x = 0, y = 0;
    if (std::sscanf(line.c_str(), " <s id=\"%*d\" x=\"%lf\" y=\"%lf\"", &x, &y) != 2) continue;
    xy.emplace_back(x, y);
    flagged.push_back(line.find(" flags=") != std::string::npos);
  }
  int tycho = 0;
  for (bool listing = false; std::getline(report, line);) {
    if (line.rfind("# id | VT", 0) == 0)
      listing = true;
    else if (listing && (line.empty() || line[0] == '#'))
      break; // the next section
    std::size_t id = 0;
    double vt = 0;
    if (!listing || std::sscanf(line.c_str(), "%zu | %lf", &id, &vt) != 2) continue;
    ASSERT_LE(id, xy.size());
    ++tycho;
    // A flagged star's catalog position (a saturated core masked, an edge cutting it)
    // may be pixels off: it is not the Tycho-2 identification that is checked there.
    if (flagged[id - 1]) continue;
    bool found = false;
    for (const auto& t : truth.stars)
      found = found || (std::hypot(t.x + 1 - xy[id - 1].first, t.y + 1 - xy[id - 1].second) < 0.5 &&
                        std::abs(t.mag - vt) < 0.001);
    EXPECT_TRUE(found) << line;
  }
  EXPECT_GE(tycho, 20);
  EXPECT_NE(Text(dir / "solved.fts").find("CTYPE1  = 'RA---TAN"), std::string::npos);
  EXPECT_NE(Text(dir / "solved_reduction.txt").find("Plate solution: centre"), std::string::npos);
  EXPECT_EQ(Text(dir / "plain.xml").find(" ra="), std::string::npos);
  EXPECT_EQ(Text(dir / "plain.fts").find("CTYPE1"), std::string::npos);

  // The readers ignore the cards and attributes they do not use.
  const Opened a = Open(dir / "solved"), b = Open(dir / "plain");
  ASSERT_EQ(a.catalog.size(), b.catalog.size());
  for (std::size_t i = 0; i < a.catalog.size(); ++i) {
    EXPECT_EQ(a.catalog[i].X, b.catalog[i].X) << i;
    EXPECT_EQ(a.catalog[i].M, b.catalog[i].M) << i;
  }
  EXPECT_GT(a.catalog[0].X, 0);
  EXPECT_EQ(a.table, b.table);
  EXPECT_EQ(a.log, b.log);
  EXPECT_EQ(a.histogram, b.histogram);
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(a.stats[k], b.stats[k]);
  EXPECT_EQ(a.bitmap, b.bitmap);
}

TEST(ReduceSkyTest, UnsolvableReferenceStillGivesTheFieldWithTheReason) {
  const auto dir = morvik::testing::TestWorkDir("reduce_unsolvable");
  ASSERT_TRUE(morvik::testing::MakeSkyFrames(dir, "--frames 3 --keep 7"));
  // The seven brightest stars are saturated on this camera; a level above them keeps
  // them measurable, so that the frames align and only the solver is short of stars.
  const auto r = ReduceSky(dir, "f", true, 1e9);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(r.sky.solved);
  EXPECT_NE(Text(dir / "f_reduction.txt").find("Plate solution: none, too few stars"), std::string::npos);
  EXPECT_EQ(Text(dir / "f.xml").find(" ra="), std::string::npos);
}

} // namespace
} // namespace morvik::astrometry
