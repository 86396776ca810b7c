// The batch road with the ensemble check, the new indices and the candidates.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/cli/cli_options.hpp"
#include "app/cli/cli_run.hpp"
#include "app/process.hpp"
#include "common/log.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;

TEST(CliMore, FlagColumnIndexColumnsAndCandidates) {
  fs::path dir = fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("cli_more-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  auto gen =
      testing::RunProgram(MORVIK_FIELDGEN, {"--out", "field", "--stars", "40", "--frames", "60", "--seed", "3"}, dir);
  ASSERT_EQ(gen.status, 0) << gen.err;
  auto parsed = cli::ParseCommandLine({(dir / "field.fit").string(), "--comp", "1", "--drop-varying", "--more-indices",
                                       "--x-axis", "0", "--y-axis", "12", "--stats", (dir / "s.csv").string(),
                                       "--chart", (dir / "c.csv").string(), "--candidates", (dir / "k.csv").string()});
  ASSERT_EQ(parsed.action, cli::ParseResult::Action::Run) << parsed.error;
  MemoryLog log;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_EQ(cli::RunBatch(parsed.options, log, out, err), 0);
  std::fclose(out);
  std::fclose(err);

  auto stats = testing::SplitLines(testing::ReadFile(dir / "s.csv"));
  ASSERT_EQ(stats.size(), 41u);
  EXPECT_NE(stats[0].find(",Mark,Flag,IQR,StetsonJ,StetsonK,StetsonL,InverseEta,ExcessScatter"), std::string::npos);
  int flagged = 0;
  for (std::size_t i = 1; i < stats.size(); ++i) {
    auto f = testing::SplitFields(stats[i], ',');
    ASSERT_EQ(f.size(), 29u) << stats[i];
    flagged += f[22] == "1";
  }
  // One log line per flagged star (each round of dropping logs its own).
  int lines = 0;
  for (const std::string& l : log.Lines())
    lines += l.rfind("Varying comparison star ", 0) == 0;
  EXPECT_GE(lines, flagged);

  // The chart's y is the 1/eta column of the same star.
  auto chart = testing::SplitLines(testing::ReadFile(dir / "c.csv"));
  ASSERT_GT(chart.size(), 1u);
  auto point = testing::SplitFields(chart[1], ',');
  auto star = testing::SplitFields(stats[std::stoul(point[1]) + 1], ',');
  EXPECT_EQ(point[3], star[27]);

  auto candidates = testing::SplitLines(testing::ReadFile(dir / "k.csv"));
  ASSERT_GE(candidates.size(), 1u);
  EXPECT_EQ(candidates[0], "rank,id,m,score,index,NAccepted");
  for (std::size_t i = 1; i < candidates.size(); ++i)
    EXPECT_EQ(testing::SplitFields(candidates[i], ',').size(), 6u);
}

TEST(CliMore, NewAxisItemsNeedTheNewIndices) {
  EXPECT_EQ(cli::ParseCommandLine({"a.fit", "--x-axis", "9"}).action, cli::ParseResult::Action::UsageError);
  auto r = cli::ParseCommandLine({"a.fit", "--y-axis", "13", "--more-indices", "--candidate-threshold", "4.5"});
  ASSERT_EQ(r.action, cli::ParseResult::Action::Run) << r.error;
  EXPECT_EQ(r.options.settings.ChartY, 13);
  EXPECT_EQ(r.options.settings.CandidateThreshold, 4.5);
  EXPECT_EQ(cli::ParseCommandLine({"a.fit", "--x-axis", "14", "--more-indices"}).action,
            cli::ParseResult::Action::UsageError);
}

} // namespace
} // namespace morvik
