// The generator's richer truth, and the ensemble check on it end to end.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "app/process.hpp"
#include "common/parse.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunProgram;
using testing::SplitFields;
using testing::SplitLines;

TEST(FieldGeneratorTruth, VariablesOfEveryKindAndTheEnsembleVariableIsFlagged) {
  const fs::path dir = fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("truth-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  auto gen = RunProgram(
      MORVIK_FIELDGEN,
      {"--out", "t", "--seed", "5", "--truth-variables", "30", "--outliers", "--drift", "0.05", "--ensemble-variable"},
      dir);
  ASSERT_EQ(gen.status, 0) << gen.err;

  // Truth: 31 variables (the ensemble's one too), every kind, amplitudes 1 ... 30 x noise
  // (a transit at most 0.05 deep).
  std::set<int> variables;
  std::set<std::string> kinds;
  int ensemble = 0;
  for (const std::string& line : SplitLines(ReadFile(dir / "t_truth.txt"))) {
    auto w = SplitFields(line, ' ');
    if (w[0] == "#") continue;
    if (w[0] == "ensemble") {
      ensemble = std::stoi(w[1]);
      continue;
    }
    ASSERT_EQ(w.size(), 5u) << line;
    variables.insert(std::stoi(w[0]));
    kinds.insert(w[1]);
    const double amplitude = *ParseDecimal(w[2]), ratio = amplitude / *ParseDecimal(w[3]);
    EXPECT_LE(ratio, 30.01) << line;
    if (w[1] == "transit")
      EXPECT_LE(amplitude, 0.05) << line;
    else
      EXPECT_GE(ratio, 0.99) << line;
  }
  EXPECT_EQ(variables.size(), 31u);
  EXPECT_EQ(kinds, (std::set<std::string>{"eclipsing", "irregular", "pulsating", "transit"}));
  ASSERT_TRUE(variables.count(ensemble));
  std::string comp;
  for (const std::string& line : SplitLines(ReadFile(dir / "t_variables.txt"))) {
    auto w = SplitFields(line, ' ');
    if (w[0] == "comparison")
      comp = w[1];
    else if (w[0] != "#")
      variables.insert(std::stoi(w[0]));
  }

  auto run = RunProgram(MORVIK_CLI, {"t.fit", "--comp", comp, "--check-ensemble", "--stats", "s.csv", "--quiet"}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  int flaggedConstants = 0;
  bool ensembleFlagged = false;
  for (const std::string& line : SplitLines(ReadFile(dir / "s.csv"))) {
    auto f = SplitFields(line, ',');
    if (f[0] == "id" || f[22] != "1") continue;
    const int id = std::stoi(f[0]);
    ensembleFlagged = ensembleFlagged || id == ensemble;
    flaggedConstants += variables.count(id) ? 0 : 1;
  }
  EXPECT_TRUE(ensembleFlagged);
  EXPECT_EQ(flaggedConstants, 0);
}

} // namespace
} // namespace morvik
