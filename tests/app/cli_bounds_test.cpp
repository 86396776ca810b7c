// Period searches refused before they start when their work is beyond --max-work, and
// failures said on standard error whether the log is on or not.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/cli/cli_options.hpp"
#include "app/cli/cli_run.hpp"
#include "app/process.hpp"
#include "common/log.hpp"

namespace morvik {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
    text.append(buffer, n);
  std::fclose(f);
  return text;
}

TEST(CliBounds, LongOrImpossibleSearchesFailWithTheirReason) {
  const fs::path dir =
      fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("cli_bounds-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  auto gen = testing::RunProgram(
      MORVIK_FIELDGEN, {"--out", "field", "--stars", "12", "--frames", "60", "--nights", "2", "--seed", "3"}, dir);
  ASSERT_EQ(gen.status, 0) << gen.err;
  const std::string out = (dir / "out.csv").string();
  const std::string refusedTail =
      " s; narrow --min-period and --max-period, lower --oversampling or --fap-rounds, or raise --max-work\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string head; // standard error starts with this
    std::string tail; // and ends with this
  } cases[] = {
      {{"--period-search", "1=" + out, "--fap-rounds", "1000000", "--max-work", "60"},
       1,
       "--period-search star 1 refused: its work is estimated at ",
       ", beyond --max-work 60" + refusedTail},
      {{"--period-search-all", out, "--fap-rounds", "1000000"},
       1,
       "--period-search-all refused: its work is estimated at ",
       ", beyond --max-work 600" + refusedTail},
      {{"--period-search-all", out, "--max-work", "0.001"},
       1,
       "--period-search-all refused: its work is estimated at ",
       ", beyond --max-work 0" + refusedTail},
      {{"--period-search-all", out, "--min-period", "5", "--max-period", "4"},
       1,
       "--period-search-all: no star could be searched; --period-search-all star 1: The period range is empty",
       "(4 d).\n"},
      {{"--period-search", "1=" + out, "--min-period", "5", "--max-period", "4"},
       1,
       "--period-search star 1: The period range is empty",
       "(4 d).\n"},
      {{"--period-search-all", out}, 0, "", ""},
      // The later --comp stands.
      {{"--comp", "999", "--stats", out},
       1,
       "Please choose a comparison star: --comp 999 is no star of this field (its ids run from 1 to 12)\n",
       ""},
  };
  for (const auto& c : cases)
    for (const bool quiet : {false, true}) {
      fs::remove(out);
      std::vector<std::string> args{(dir / "field.fit").string(), "--comp", "2"};
      args.insert(args.end(), c.args.begin(), c.args.end());
      if (quiet) args.push_back("--quiet");
      const auto parsed = cli::ParseCommandLine(args);
      ASSERT_EQ(parsed.action, cli::ParseResult::Action::Run) << parsed.error;
      MemoryLog log;
      std::FILE* o = std::tmpfile();
      std::FILE* e = std::tmpfile();
      const int status = cli::RunBatch(parsed.options, log, o, e);
      ReadAll(o);
      const std::string err = ReadAll(e);
      EXPECT_EQ(status, c.status) << c.args[0] << " " << c.args.back() << ": " << err;
      EXPECT_EQ(err.substr(0, c.head.size()), c.head) << err;
      EXPECT_TRUE(err.ends_with(c.tail)) << err;
      // A refused or failed search writes nothing.
      EXPECT_EQ(fs::exists(out), c.status == 0) << c.args[0] << " " << c.args.back();
    }
  fs::remove_all(dir);
}

TEST(CliBounds, AVarianceFactorThatIsNoNumberIsRefused) {
  for (const char* text : {"abc", "0", "-1", "nan", ""}) {
    const auto r = cli::ParseCommandLine({"f.fit", "--variance-factor", text});
    EXPECT_EQ(r.action, cli::ParseResult::Action::UsageError) << text;
    EXPECT_EQ(r.error, std::string("--variance-factor needs a number above 0, not \"") + text + "\"");
  }
  for (const char* text : {"1.5", "2,5"})
    EXPECT_EQ(cli::ParseCommandLine({"f.fit", "--variance-factor", text}).action, cli::ParseResult::Action::Run);
}

} // namespace
} // namespace morvik
