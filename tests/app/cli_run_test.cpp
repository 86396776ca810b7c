// The batch road inside the test process, to change what a separate program cannot be
// given: the message decimal separator.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/cli/cli_options.hpp"
#include "app/cli/cli_run.hpp"
#include "app/process.hpp"
#include "common/format.hpp"
#include "common/log.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;

TEST(CliRun, MessagesTakeTheLocaleSeparatorWhileFilesKeepThePoint) {
  fs::path dir = fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("cli_run-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  auto gen =
      testing::RunProgram(MORVIK_FIELDGEN, {"--out", "field", "--stars", "40", "--frames", "60", "--seed", "3"}, dir);
  ASSERT_EQ(gen.status, 0) << gen.err;
  auto parsed = cli::ParseCommandLine({(dir / "field.fit").string(), "--comp", "1", "--comp-mag", "10.25", "--stats",
                                       (dir / "s.csv").string(), "--table", (dir / "t.dat").string()});
  ASSERT_EQ(parsed.action, cli::ParseResult::Action::Run) << parsed.error;

  SetMessageDecimalSeparator(',');
  MemoryLog log;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int status = cli::RunBatch(parsed.options, log, out, err);
  SetMessageDecimalSeparator('.');
  std::fclose(out);
  std::fclose(err);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(log.Contains("Selected 1 as comparison = 10,25"));
  EXPECT_TRUE(log.ContainsPrefix("Mean Sigma (all frames) = 0,"));

  std::string stats = testing::ReadFile(dir / "s.csv");
  auto lines = testing::SplitLines(stats);
  ASSERT_EQ(lines.size(), 41u);
  auto first = testing::SplitFields(lines[1], ',');
  ASSERT_EQ(first.size(), 22u) << "a comma in a number would add columns";
  EXPECT_EQ(first[11], "10.25");
  std::string table = testing::ReadFile(dir / "t.dat");
  auto rows = table.find("\r\n", table.find("\r\n") + 2) + 2; // after the two '#' lines
  EXPECT_EQ(table.find(',', rows), std::string::npos);
}

TEST(CliRun, FailuresReturnOneWithTheMessage) {
  auto parsed = cli::ParseCommandLine({"/nonexistent/field.fit"});
  ASSERT_EQ(parsed.action, cli::ParseResult::Action::Run);
  MemoryLog log;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(cli::RunBatch(parsed.options, log, out, err), 1);
  std::rewind(err);
  char buf[64] = {};
  std::size_t n = std::fread(buf, 1, sizeof buf - 1, err);
  EXPECT_EQ(std::string(buf, n), "File not found.\n");
  std::fclose(out);
  std::fclose(err);
}

} // namespace
} // namespace morvik
