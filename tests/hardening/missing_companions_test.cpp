// A frame opened without its table or its catalog keeps nothing of the field opened
// before, and says which file is missing and what follows. A field is written whole
// or not at all, and a set mixed from two reductions is refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "dataset/reduction_id.hpp"
#include "reduction/reduce.hpp"
#include "reduction/synthetic_frames.hpp"
#include "reduction/work_dir.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/workspace.hpp"

namespace morvik {
namespace {

namespace fs = std::filesystem;

// Three frames of one field, reduced into dir/a.
reduction::ReduceSettings ReduceInto(const fs::path& dir) {
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
    EXPECT_TRUE(morvik::testing::WriteSynthFrame(s.frames.back(), fr, stars, static_cast<unsigned>(k + 3)));
  }
  s.out = (dir / "a").string();
  std::atomic<bool> cancel{false};
  EXPECT_TRUE(reduction::Reduce(s, {}, cancel).ok);
  return s;
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MissingCompanions, NothingOfThePreviousFieldStays) {
  const fs::path dir = morvik::testing::TestWorkDir("companions");
  ReduceInto(dir);
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

TEST(WholeFields, MixedSetsAreRefusedAndLeftoversRemoved) {
  const fs::path dir = morvik::testing::TestWorkDir("whole");
  reduction::ReduceSettings s = ReduceInto(dir);
  // Leftovers of interrupted runs into the same target, and a field beside it.
  fs::create_directories(dir / ".a.reducing.999999");
  std::ofstream(dir / ".a.reducing.999999" / "a.fts") << "partial";
  std::ofstream(dir / ".a.fts.tmp4242") << "partial";
  std::ofstream(dir / ".ab.fts.tmp4242") << "another field's";
  std::atomic<bool> cancel{false};
  s.out = (dir / "b").string();
  ASSERT_TRUE(reduction::Reduce(s, {}, cancel).ok); // b: another reduction of the same frames
  s.out = (dir / "a").string();
  ASSERT_TRUE(reduction::Reduce(s, {}, cancel).ok);
  EXPECT_FALSE(fs::exists(dir / ".a.reducing.999999"));
  EXPECT_FALSE(fs::exists(dir / ".a.fts.tmp4242"));
  EXPECT_TRUE(fs::exists(dir / ".ab.fts.tmp4242"));

  // The identifier is the same in the three files, and the readers read the table and
  // the catalog as they read them without it.
  const std::string id = FrameReductionId((dir / "a.fts").string());
  EXPECT_EQ(id.size(), 16u);
  EXPECT_EQ(TableReductionId((dir / "a.dat").string()), id);
  EXPECT_EQ(CatalogReductionId((dir / "a.xml").string()), id);
  EXPECT_NE(FrameReductionId((dir / "b.fts").string()), id);
  std::string table = Slurp(dir / "a.dat"), catalog = Slurp(dir / "a.xml");
  table.erase(table.find(" reduction:"), 11 + id.size());
  catalog.erase(catalog.find(" reduction="), 13 + id.size());
  std::ofstream(dir / "plain.dat", std::ios::binary) << table;
  std::ofstream(dir / "plain.xml", std::ios::binary) << catalog;
  MemoryLog log;
  TTimeSeries withId, without;
  StarCatalog catalogWithId, catalogWithout;
  LoadPhotometryTable((dir / "a.dat").string(), withId, log);
  LoadPhotometryTable((dir / "plain.dat").string(), without, log);
  LoadStarCatalog((dir / "a.xml").string(), catalogWithId, log);
  LoadStarCatalog((dir / "plain.xml").string(), catalogWithout, log);
  EXPECT_GT(withId.StarCount, 3u);
  EXPECT_EQ(withId, without);
  for (int k = 1; k <= 20; ++k)
    EXPECT_EQ(catalogWithId[k].X, catalogWithout[k].X);

  // A swap cut short: the catalog and the table of b replaced, not its frame.
  fs::copy_file(dir / "a.fts", dir / "plain.fts");
  for (const char* suffix : {".dat", ".xml"})
    fs::copy_file(dir / (std::string("a") + suffix), dir / (std::string("mixed") + suffix));
  fs::copy_file(dir / "b.fts", dir / "mixed.fts");
  fs::copy_file(dir / "b.xml", dir / "mixed.xml", fs::copy_options::overwrite_existing);
  const struct {
    const char* frame;
    std::string refusal; // "" opens
  } cases[] = {
      {"a.fts", ""},
      {"plain.fts", ""}, // a table and catalog written before the identifier
      {"mixed.fts",
       "The field is mixed: mixed.dat comes from another reduction than mixed.fts (a reduction was interrupted while "
       "its files were replaced)."},
  };
  for (const auto& c : cases) {
    Workspace ws(log);
    try {
      EXPECT_TRUE(OpenFrame(ws, (dir / c.frame).string()));
      EXPECT_EQ(c.refusal, "") << c.frame;
    } catch (const CommandError& e) {
      EXPECT_EQ(std::string(e.what()), c.refusal) << c.frame;
    }
  }

  // A folder that cannot hold the field is said before any frame is measured.
  std::ofstream(dir / "file") << "x";
  s.out = (dir / "file" / "c").string();
  const reduction::ReduceResult r = reduction::Reduce(s, {}, cancel);
  EXPECT_TRUE(r.frames.empty());
  EXPECT_EQ(r.error, "Cannot write the field " + s.out + ": " + (dir / "file").string() + " is not a folder");
  std::error_code ec;
  fs::remove_all(dir, ec);
}

} // namespace
} // namespace morvik
