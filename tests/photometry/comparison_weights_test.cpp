#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "photometry/ensemble.hpp"

namespace morvik {
namespace {

TTimeSeries Ensemble(const std::vector<double>& variances, const std::vector<bool>& used) {
  TTimeSeries s;
  s.StarCount = static_cast<std::uint16_t>(variances.size());
  s.Stats.resize(variances.size());
  for (std::size_t j = 0; j < variances.size(); ++j) {
    s.Stats[j].Variance = variances[j];
    s.Stats[j].Used = used[j];
    s.Stats[j].Mean = 10.0 + 0.37 * static_cast<double>(j);
    s.Stats[j].Weight = 5.0; // left over from an earlier Run
  }
  return s;
}

int CountPrefix(const MemoryLog& log, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : log.Lines())
    n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

double WeightSum(const TTimeSeries& s) {
  double sum = 0.0;
  for (const TStarStat& st : s.Stats)
    sum += st.Weight;
  return sum;
}

TEST(ComparisonWeights, TwoStarsWithoutConvergenceRunAllIterations) {
  TTimeSeries s = Ensemble({0.01, 0.04, 0.02}, {true, true, false});
  MemoryLog log;
  ComputeComparisonWeights(s, 1, 12.0, log);
  // Iteration 1 gives weights 2500 and 156.25 (S = 2656.25); normalised they are 16/17
  // and 1/17, so iteration 2 inflates the variances to 0.17 and 0.0425: S = 10000/17.
  ASSERT_GE(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "DIF = 2.06801470588235E+003 K= -3.51562500000000E+000 SUM = 588.24");
  // The pair swaps its weights on every iteration and never settles.
  EXPECT_EQ(CountPrefix(log, "DIF = "), 19);
  EXPECT_EQ(CountPrefix(log, "STOP after"), 0);
  ASSERT_EQ(log.Lines().size(), 21u);
  EXPECT_EQ(log.Lines()[19].rfind("FINALLY sum_w = ", 0), 0u);
  EXPECT_EQ(log.Lines()[20], "FINALLY Norm 1");
  EXPECT_DOUBLE_EQ(WeightSum(s), 1.0);
  EXPECT_EQ(s.Stats[2].Weight, 0.0); // not a comparison star, whatever it held
}

TEST(ComparisonWeights, AQuietEnsembleConvergesAndStops) {
  std::vector<double> variances;
  for (int i = 0; i < 30; ++i)
    variances.push_back(1e-4 * (1.0 + 0.01 * i));
  TTimeSeries s = Ensemble(variances, std::vector<bool>(30, true));
  MemoryLog log;
  ComputeComparisonWeights(s, 3, 12.0, log);
  const std::vector<std::string>& lines = log.Lines();
  ASSERT_EQ(CountPrefix(log, "STOP after"), 1);
  const int difs = CountPrefix(log, "DIF = ");
  ASSERT_GE(difs, 1);
  ASSERT_LT(difs, 19);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(difs) + 3);
  // The STOP line names the iteration that stopped: DIF lines start at iteration 2.
  EXPECT_EQ(lines[static_cast<std::size_t>(difs)], "STOP after " + std::to_string(difs + 1) + " iteration");
  EXPECT_EQ(lines[static_cast<std::size_t>(difs) + 1].rfind("FINALLY sum_w = ", 0), 0u);
  EXPECT_EQ(lines.back(), "FINALLY Norm 1");
  EXPECT_NEAR(WeightSum(s), 1.0, 1e-12);
  // The quieter a star, the larger its weight.
  for (std::size_t j = 1; j < s.Stats.size(); ++j)
    EXPECT_GT(s.Stats[j - 1].Weight, s.Stats[j].Weight) << j;
}

// |K| of a "DIF = ... K= ... SUM = ..." line.
double RelativeChange(const std::string& line) {
  const std::size_t k = line.find("K= ");
  return std::fabs(std::stod(line.substr(k + 3)));
}

// The loop stops at the first iteration whose relative change is below 1e-8, not one
// earlier or later.
TEST(ComparisonWeights, AQuietEnsembleStopsAtTheFirstSettledIteration) {
  std::vector<double> variances;
  for (int i = 0; i < 30; ++i)
    variances.push_back(1e-4 * (1.0 + 0.01 * i));
  TTimeSeries s = Ensemble(variances, std::vector<bool>(30, true));
  MemoryLog log;
  ComputeComparisonWeights(s, 3, 12.0, log);
  const std::vector<std::string>& lines = log.Lines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[6], "STOP after 7 iteration");
  EXPECT_LT(RelativeChange(lines[5]), 1e-8);
  EXPECT_GE(RelativeChange(lines[4]), 1e-8);

  // Equal scatter: every iteration gives the same sum, so iteration 2 stops.
  TTimeSeries equal = Ensemble({4e-4, 4e-4, 4e-4, 4e-4}, std::vector<bool>(4, true));
  MemoryLog equalLog;
  ComputeComparisonWeights(equal, 1, 12.0, equalLog);
  ASSERT_EQ(equalLog.Lines().size(), 4u);
  EXPECT_EQ(equalLog.Lines()[0], "DIF = 0.00000000000000E+000 K= 0.00000000000000E+000 SUM = 14062500.00");
  EXPECT_EQ(equalLog.Lines()[1], "STOP after 2 iteration");
  for (const TStarStat& st : equal.Stats)
    EXPECT_DOUBLE_EQ(st.Weight, 0.25);
}

struct NoSpreadCase {
  const char* name;
  std::vector<double> variances;
  std::vector<bool> used;
  const char* norm;
};

void PrintTo(const NoSpreadCase& c, std::ostream* os) { *os << c.name; }

class ComparisonWeightsWithoutSpread : public ::testing::TestWithParam<NoSpreadCase> {};

// With no weight after an iteration, there is no relative change to judge.
TEST_P(ComparisonWeightsWithoutSpread, RunAllIterationsAndGiveEveryMemberWeightOne) {
  const NoSpreadCase& c = GetParam();
  TTimeSeries s = Ensemble(c.variances, c.used);
  MemoryLog log;
  ComputeComparisonWeights(s, 1, 12.0, log);
  const std::vector<std::string>& lines = log.Lines();
  ASSERT_EQ(lines.size(), 21u);
  for (int i = 0; i < 19; ++i)
    EXPECT_EQ(lines[static_cast<std::size_t>(i)], "DIF = 0.00000000000000E+000 K= 0.00000000000000E+000 SUM = 0.00");
  EXPECT_EQ(lines[19], "FINALLY sum_w = 0");
  EXPECT_EQ(lines[20], std::string("FINALLY Norm ") + c.norm);
  for (std::size_t j = 0; j < s.Stats.size(); ++j)
    EXPECT_EQ(s.Stats[j].Weight, c.used[j] ? 1.0 : 0.0) << j;
}

INSTANTIATE_TEST_SUITE_P(Cases, ComparisonWeightsWithoutSpread,
                         ::testing::Values(NoSpreadCase{"none", {0.01, 0.02}, {false, false}, "0"},
                                           NoSpreadCase{"single", {0.01, 0.02}, {false, true}, "1"},
                                           NoSpreadCase{"quiet", {0.0, 0.0, 0.0, 0.5}, {true, true, true, false}, "3"}),
                         [](const ::testing::TestParamInfo<NoSpreadCase>& p) { return std::string(p.param.name); });

TEST(ComparisonWeights, EveryStarGetsItsMeanOnTheComparisonScale) {
  TTimeSeries s = Ensemble({0.01, 0.04, 0.02, 0.0}, {true, true, false, false});
  s.Stats[1].Mean = 13.123456789;
  s.Stats[3].Mean = 0.0; // never measured
  NullLog log;
  ComputeComparisonWeights(s, 2, 11.1, log);
  EXPECT_EQ(s.Stats[1].RunMean, 11.1); // exactly the given magnitude
  EXPECT_NEAR(s.Stats[0].RunMean, 10.0 - 13.123456789 + 11.1, 1e-12);
  EXPECT_NEAR(s.Stats[2].RunMean, 10.74 - 13.123456789 + 11.1, 1e-12);
  EXPECT_NEAR(s.Stats[3].RunMean, -13.123456789 + 11.1, 1e-12);
}

TEST(ComparisonWeights, RefusesAComparisonStarOutsideTheStatistics) {
  for (std::uint16_t id : {std::uint16_t{0}, std::uint16_t{3}, std::uint16_t{500}}) {
    TTimeSeries s = Ensemble({0.01, 0.04}, {true, true});
    MemoryLog log;
    try {
      ComputeComparisonWeights(s, id, 12.0, log);
      ADD_FAILURE() << "no refusal for " << id;
    } catch (const CommandError& e) {
      EXPECT_EQ(std::string(e.what()), "Please choose a comparison star");
      EXPECT_EQ(e.kind(), CommandError::Kind::Notice);
    }
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(s.Stats[0].Weight, 5.0);
    EXPECT_EQ(s.Stats[0].RunMean, 0.0);
  }
}

} // namespace
} // namespace morvik
