// The period search options of morvik-cli and a batch run on a generated field.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/cli/cli_options.hpp"
#include "app/cli/cli_run.hpp"
#include "app/process.hpp"
#include "common/log.hpp"
#include "common/parse.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;
using cli::ParseResult;

TEST(CliPeriodOptions, ValuesAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
  } cases[] = {
      {{"--method", "all"}, true},
      {{"--method", "gls,bls"}, true},
      {{"--method", "pdm"}, false},
      {{"--method", "gls,"}, false},
      {{"--min-period", "0.1"}, true},
      {{"--min-period", "0"}, false},
      {{"--max-period", "-3"}, false},
      {{"--oversampling", "x"}, false},
      {{"--fap-rounds", "100"}, true},
      {{"--fap-rounds", "-1"}, false},
      {{"--seed", "18446744073"}, true},
      {{"--seed", "1.5"}, false},
      {{"--period-search", "3=p.csv"}, true},
      {{"--period-search", "p.csv"}, false},
      {{"--period-search-all", ""}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"f.fit"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ParseResult r = cli::ParseCommandLine(args);
    EXPECT_EQ(r.action == ParseResult::Action::Run, c.ok) << c.args[0] << " " << c.args[1] << ": " << r.error;
  }
  const auto r =
      cli::ParseCommandLine({"f.fit", "--method", "lk,all", "--seed", "7", "--min-period", "0.2", "--approximate"});
  EXPECT_EQ(r.options.periodSearch.methods, (std::vector<std::string>{"lk", "gls", "mhgls", "bls"}));
  EXPECT_EQ(r.options.periodSearch.seed, 7u);
  EXPECT_EQ(r.options.periodSearch.minPeriod, 0.2);
  EXPECT_TRUE(r.options.periodSearch.approximate);
  EXPECT_EQ(cli::ParseCommandLine({"f.fit", "--approximate=1"}).action, ParseResult::Action::UsageError);
}

TEST(CliPeriodSearch, FindsTheInjectedPeriods) {
  const fs::path dir =
      fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("cli_period-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  auto gen = testing::RunProgram(
      MORVIK_FIELDGEN, {"--out", "field", "--stars", "40", "--frames", "90", "--nights", "3", "--seed", "5"}, dir);
  ASSERT_EQ(gen.status, 0) << gen.err;
  std::string comp;
  struct Injected {
    std::string id, type;
    double period;
  };
  std::vector<Injected> periodic;
  for (const auto& l : testing::SplitLines(testing::ReadFile(dir / "field_variables.txt"))) {
    auto w = testing::Words(l);
    if (w.size() == 3 && w[0] == "comparison") comp = w[1];
    if (w.size() == 4 && w[0][0] != '#' && ParseDecimal(w[2]).value_or(0.0) > 0.0)
      periodic.push_back({w[0], w[1], *ParseDecimal(w[2])});
  }
  ASSERT_FALSE(comp.empty());
  ASSERT_GE(periodic.size(), 2u);

  std::vector<std::string> args{(dir / "field.fit").string(), "--comp", comp, "--period-search-all",
                                (dir / "all.csv").string()};
  for (const Injected& v : periodic) {
    args.push_back("--period-search");
    args.push_back(v.id + "=" + (dir / ("p" + v.id + ".csv")).string());
  }
  auto parsed = cli::ParseCommandLine(args);
  ASSERT_EQ(parsed.action, ParseResult::Action::Run) << parsed.error;
  MemoryLog log;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = cli::RunBatch(parsed.options, log, out, err);
  std::fclose(out);
  std::fclose(err);
  ASSERT_EQ(status, 0);

  for (const Injected& v : periodic) {
    const auto lines = testing::SplitLines(testing::ReadFile(dir / ("p" + v.id + ".csv")));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "method,rank,frequency,period,period_error,power,fap,alias,note");
    const auto combined = testing::SplitFields(lines[1], ',');
    ASSERT_EQ(combined[0], "combined");
    const double p = ParseDecimal(combined[3]).value_or(0.0);
    const bool right = std::fabs(p - v.period) <= 0.01 * v.period ||
                       (v.type == "eclipsing_binary" && std::fabs(2 * p - v.period) <= 0.01 * v.period);
    EXPECT_TRUE(right) << v.type << " " << v.period << ": " << p;
    EXPECT_LT(ParseDecimal(combined[6]).value_or(1.0), 0.01) << v.type;
  }
  const auto all = testing::SplitLines(testing::ReadFile(dir / "all.csv"));
  EXPECT_EQ(all[0], "id,points,period,period_error,power,fap,method,agreeing,methods,second_period,note");
  EXPECT_EQ(all.size(), 41u); // every star of the field has its 90 frames
  fs::remove_all(dir);
}

} // namespace
} // namespace morvik
