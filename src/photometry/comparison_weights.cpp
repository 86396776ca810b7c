#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/format.hpp"
#include "photometry/ensemble.hpp"

namespace morvik {

namespace {

// Caps 1 / v^2 for a variance so small that its square underflows: the sum of every
// star's weight stays finite (65 535 x 1e300 < the largest double).
constexpr double kLargestWeight = 1e300;
constexpr int kMaxIterations = 20;
constexpr double kConvergence = 1e-8;

void RequireComparisonStar(const TTimeSeries& data, std::uint16_t compStarId) {
  if (compStarId == 0 || compStarId > data.Stats.size())
    throw CommandError("Please choose a comparison star", CommandError::Kind::Notice);
}

} // namespace

void ComputeComparisonWeights(TTimeSeries& data, std::uint16_t compStarId, double compStarMag, Log& log) {
  RequireComparisonStar(data, compStarId);
  std::vector<TStarStat>& stats = data.Stats;

  // The comparison stars, in id order, with their variances and running weights.
  std::vector<std::size_t> members;
  for (std::size_t j = 0; j < stats.size(); ++j)
    if (stats[j].Used) members.push_back(j);
  std::vector<double> variance(members.size());
  std::vector<double> weight(members.size(), 1.0);
  for (std::size_t i = 0; i < members.size(); ++i)
    variance[i] = stats[members[i]].Variance;

  double previous = 0.0;
  for (int r = 1; r <= kMaxIterations; ++r) {
    double total = 0.0;
    for (double w : weight)
      total += w;
    for (double& w : weight)
      w = total > 0.0 ? w / total : 1.0;

    // A star's own share in the ensemble inflates its scatter.
    double sum = 0.0;
    for (std::size_t i = 0; i < weight.size(); ++i) {
      const double v = weight[i] < 1.0 ? variance[i] / (1.0 - weight[i]) : 0.0;
      weight[i] = v > 0.0 ? std::fmin(1.0 / (v * v), kLargestWeight) : 0.0;
      sum += weight[i];
    }

    if (r >= 2) {
      const double change = sum - previous;
      // With no weight at all (no comparison star, a single one, or all without
      // scatter) there is no relative change to judge: every iteration runs.
      const double relative = sum != 0.0 ? change / sum : 0.0;
      log.Add(FormatMessage("DIF = %e K= %e SUM = %f", {std::fabs(change), relative, sum}));
      if (sum != 0.0 && std::fabs(change) / sum < kConvergence) {
        log.Add("STOP after " + std::to_string(r) + " iteration");
        break;
      }
    }
    previous = sum;
  }

  double total = 0.0;
  for (double w : weight)
    total += w;
  log.Add("FINALLY sum_w = " + FormatGeneral(total));

  const double compMean = stats[compStarId - 1u].Mean;
  double norm = 0.0;
  std::size_t next = 0;
  for (std::size_t j = 0; j < stats.size(); ++j) {
    TStarStat& st = stats[j];
    if (next < members.size() && members[next] == j) {
      st.Weight = total > 0.0 ? weight[next] / total : 1.0;
      norm += st.Weight;
      ++next;
    } else {
      st.Weight = 0.0;
    }
    st.RunMean = st.Mean - compMean + compStarMag;
  }
  log.Add("FINALLY Norm " + FormatGeneral(norm));
}

} // namespace morvik
