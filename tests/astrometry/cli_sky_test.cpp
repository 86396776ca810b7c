// morvik-cli on a solved field: the target found by its coordinates, RA/Dec columns,
// known variables named from a VSX-like file, and the outputs unchanged without them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>

#include "app/process.hpp"
#include "astrometry/sexagesimal.hpp"
#include "sky_frames.hpp"

namespace morvik::astrometry {
namespace {

namespace fs = std::filesystem;
using morvik::testing::RunProgram;
using morvik::testing::SplitFields;
using morvik::testing::SplitLines;

struct XmlStar {
  double x, y, ra, dec;
};

std::map<long long, XmlStar> ReadXml(const fs::path& p) {
  std::map<long long, XmlStar> out;
  for (const std::string& line : SplitLines(morvik::testing::ReadFile(p))) {
    long long id = 0;
    XmlStar s{};
    if (std::sscanf(line.c_str(), " <s id=\"%lld\" x=\"%lf\" y=\"%lf\" m=\"%*f\" ra=\"%lf\" dec=\"%lf\"", &id, &s.x,
                    &s.y, &s.ra, &s.dec) == 5)
      out[id] = s;
  }
  return out;
}

TEST(CliSkyTest, TargetColumnsAndKnownVariables) {
  const auto dir = morvik::testing::TestWorkDir("cli_sky");
  // Ten frames: stars with fewer points are not scored as candidates.
  ASSERT_TRUE(morvik::testing::MakeSkyFrames(dir, "--frames 10 --rotation 75 --seed 7"));
  std::vector<std::string> frames;
  for (int k = 1; k <= 10; ++k)
    frames.push_back("sky_" + std::string(k < 10 ? "000" : "00") + std::to_string(k) + ".fits");
  // The truth holds the first frame's pixels: it is the reference.
  frames.insert(frames.end(), {"--out", "f", "--reference", "sky_0001.fits"});
  auto reduce = RunProgram(MORVIK_REDUCE, frames, dir);
  ASSERT_EQ(reduce.status, 0) << reduce.out << reduce.err;
  const auto stars = ReadXml(dir / "f.xml");
  ASSERT_GT(stars.size(), 100u);

  // The outputs without sky options, and the candidates among which a known variable
  // is planted.
  auto plain = RunProgram(MORVIK_CLI,
                          {"f.fts", "--comp", "1", "--stats", "p.csv", "--candidates", "pc.csv",
                           "--candidate-threshold", "0.01", "--quiet"},
                          dir);
  ASSERT_EQ(plain.status, 0) << plain.err;
  const auto plainCandidates = SplitLines(morvik::testing::ReadFile(dir / "pc.csv"));
  ASSERT_GT(plainCandidates.size(), 1u);
  const long long topCandidate = std::stoll(SplitFields(plainCandidates[1], ',')[1]);

  // Planted known variables: every 25th star of the field and the top candidate, at
  // their true positions.
  const auto truth = morvik::testing::ReadTruth(dir / "sky.truth");
  std::map<long long, std::string> planted;
  std::ofstream vsx(dir / "vsx.csv");
  vsx << "Name,AUID,RA (J2000.0),Dec (J2000.0),Type,Period,Mag\n";
  for (const auto& [id, s] : stars) {
    if (id % 25 != 0 && id != topCandidate) continue;
    for (const auto& t : truth.stars)
      if (std::hypot(t.x + 1 - s.x, t.y + 1 - s.y) < 0.5) {
        planted[id] = "V" + std::to_string(id) + " Peg";
        vsx << planted[id] << ",," << FormatRa(t.sky.ra) << "," << FormatDec(t.sky.dec) << ",EA,1.2,12.5\n";
      }
  }
  vsx << "Elsewhere,,01:00:00,+12:00:00,EA,,\n";
  vsx.close();
  ASSERT_GE(planted.size(), 3u);

  const auto& [targetId, target] = *planted.begin();
  const std::string where = FormatRa(stars.at(targetId).ra) + " " + FormatDec(stars.at(targetId).dec);
  auto run = RunProgram(MORVIK_CLI,
                        {"f.fts", "--sky", "--target", where, "--catalog", "vsx.csv", "--comp", "1", "--stats", "s.csv",
                         "--candidates", "c.csv", "--candidate-threshold", "0.01", "--quiet"},
                        dir);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Target: star " + std::to_string(targetId) + " "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Known variables: " + std::to_string(planted.size()) + " of the catalogue's "),
            std::string::npos)
      << run.out;

  // RA and Dec of every star, as the field's catalog has them.
  const auto statsLines = SplitLines(morvik::testing::ReadFile(dir / "s.csv"));
  ASSERT_GT(statsLines.size(), 1u);
  EXPECT_TRUE(statsLines[0].ends_with(",RA,Dec"));
  for (std::size_t k = 1; k < statsLines.size(); ++k) {
    const auto f = SplitFields(statsLines[k], ',');
    const XmlStar& s = stars.at(std::stoll(f[0]));
    EXPECT_NEAR(std::stod(f[f.size() - 2]), s.ra, 2e-6) << statsLines[k];
    EXPECT_NEAR(std::stod(f[f.size() - 1]), s.dec, 2e-6) << statsLines[k];
  }
  // Candidates: the planted ones named and known, every other one new.
  const auto candidates = SplitLines(morvik::testing::ReadFile(dir / "c.csv"));
  ASSERT_GT(candidates.size(), 1u);
  EXPECT_TRUE(candidates[0].ends_with(",RA,Dec,name,known"));
  int known = 0;
  for (std::size_t k = 1; k < candidates.size(); ++k) {
    const auto f = SplitFields(candidates[k], ',');
    const auto it = planted.find(std::stoll(f[1]));
    known += it != planted.end() ? 1 : 0;
    EXPECT_EQ(f[f.size() - 2], it == planted.end() ? "" : it->second) << candidates[k];
    EXPECT_EQ(f.back(), it == planted.end() ? "new" : "known") << candidates[k];
  }
  EXPECT_GT(known, 0);

  // Without --sky and --catalog the outputs are those of a run without sky options.
  auto targeted = RunProgram(MORVIK_CLI,
                             {"f.fts", "--target", where, "--comp", "1", "--stats", "t.csv", "--candidates", "tc.csv",
                              "--candidate-threshold", "0.01", "--quiet"},
                             dir);
  ASSERT_EQ(targeted.status, 0);
  EXPECT_EQ(morvik::testing::ReadFile(dir / "p.csv"), morvik::testing::ReadFile(dir / "t.csv"));
  EXPECT_EQ(morvik::testing::ReadFile(dir / "pc.csv"), morvik::testing::ReadFile(dir / "tc.csv"));

  // --solve places the frame itself, the same way.
  auto solved = RunProgram(MORVIK_CLI, {"f.fts", "--solve", "--target", where, "--quiet"}, dir);
  EXPECT_EQ(solved.status, 0) << solved.out << solved.err;
  EXPECT_NE(solved.out.find("Plate solution: centre"), std::string::npos) << solved.out;
  EXPECT_NE(solved.out.find("Target: star " + std::to_string(targetId) + " "), std::string::npos) << solved.out;
}

TEST(CliSkyTest, NoWcsAndBadValuesAreRefused) {
  const auto dir = morvik::testing::TestWorkDir("cli_sky_refused");
  ASSERT_TRUE(morvik::testing::MakeSkyFrames(dir, "--keep 40"));
  // A raw frame has no WCS: --sky is refused with the reason, and the status says so.
  auto r = RunProgram(MORVIK_CLI, {"sky_0001.fits", "--sky"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no celestial WCS"), std::string::npos) << r.err;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--target", "21:51:01.97"}, {"--scale", "6,5"}, {"--match-radius", "0"}, {"--solve-time", "x"}}) {
    std::vector<std::string> all = {"sky_0001.fits"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(RunProgram(MORVIK_CLI, all, dir).status, 2) << args[0];
  }
}

} // namespace
} // namespace morvik::astrometry
