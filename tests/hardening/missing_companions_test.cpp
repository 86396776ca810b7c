// A frame opened without its table or its catalog keeps nothing of the field opened
// before, and says which file is missing and what follows.

#include <gtest/gtest.h>

#include <filesystem>

#include "common/log.hpp"
#include "reduction/reduce.hpp"
#include "reduction/synthetic_frames.hpp"
#include "reduction/work_dir.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/workspace.hpp"

namespace morvik {
namespace {

namespace fs = std::filesystem;

TEST(MissingCompanions, NothingOfThePreviousFieldStays) {
  const fs::path dir = morvik::testing::TestWorkDir("companions");
  fs::remove_all(dir);
  fs::create_directories(dir / "frames");
  const auto stars = morvik::testing::SynthField(15, 96, 96, 4);
  reduction::ReduceSettings s;
  for (int k = 0; k < 3; ++k) {
    morvik::testing::SynthFrame fr;
    fr.width = fr.height = 96;
    fr.c = 1.5 * k;
    fr.textCards = {{"DATE-OBS", "2023-03-01T21:1" + std::to_string(k) + ":00"}};
    s.frames.push_back((dir / "frames" / ("f" + std::to_string(k) + ".fits")).string());
    ASSERT_TRUE(morvik::testing::WriteSynthFrame(s.frames.back(), fr, stars, static_cast<unsigned>(k + 3)));
  }
  s.out = (dir / "a").string();
  std::atomic<bool> cancel{false};
  ASSERT_TRUE(reduction::Reduce(s, {}, cancel).ok);
  for (const char* name : {"b.fts", "b.dat", "c.fts", "c.xml"})
    fs::copy_file(dir / (std::string("a") + (name + 1)), dir / name);

  const struct {
    const char* frame;
    bool table, catalog;
    std::vector<std::string> warnings;
  } cases[] = {
      {"a.fts", true, true, {}},
      {"b.fts",
       true,
       false,
       {"b.xml is missing: no catalog beside the table: positions and catalog magnitudes are unknown"}},
      {"a.fts", true, true, {}},
      {"c.fts", false, true, {"c.dat is missing: no table beside the frame: there are no measurements to run"}},
  };
  MemoryLog log;
  Workspace ws(log);
  for (const auto& c : cases) {
    // What the previous field left: a comparison star and candidates.
    ws.CompStarId = 3;
    ws.CompStarMag = 11.5;
    ws.Candidates.resize(2);
    ASSERT_TRUE(OpenFrame(ws, (dir / c.frame).string())) << c.frame;
    EXPECT_EQ(ws.OpenWarnings, c.warnings) << c.frame;
    EXPECT_EQ(ws.Series.StarCount > 0, c.table) << c.frame;
    EXPECT_EQ(ws.Catalog[1].X != 0 || ws.Catalog[1].Y != 0, c.catalog) << c.frame;
    const bool whole = c.table && c.catalog;
    EXPECT_EQ(ws.CompStarId, whole ? 3 : 0) << c.frame;
    EXPECT_EQ(ws.Candidates.empty(), !whole) << c.frame;
    for (const std::string& w : c.warnings)
      EXPECT_NE(std::find(log.Lines().begin(), log.Lines().end(), w), log.Lines().end()) << w;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}

} // namespace
} // namespace morvik
