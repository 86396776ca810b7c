#include "search/candidates.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace morvik {

namespace {

constexpr double kMadToSigma = 1.4826;

// Reorders v.
double Median(std::vector<double>& v) {
  if (v.empty()) return 0.0;
  const std::size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
  const double upper = v[mid];
  if (v.size() % 2 == 1) return upper;
  return 0.5 * (upper + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid)));
}

} // namespace

// The expected value of an index at a magnitude and its spread are the median and the
// scaled median absolute deviation of the index over the stars nearest in magnitude, as
// in the magnitude-binned scatter diagrams of Sokolovsky et al. (2017, MNRAS 464, 274).
StarScores ScoreStars(const TTimeSeries& series, const std::vector<MoreIndices>& indices,
                      const CandidateSettings& settings) {
  StarScores out;
  const std::size_t stars = std::min(indices.size(), series.Stats.size());
  out.Score.assign(stars, 0.0);
  out.Index.assign(stars, 0);
  std::vector<std::size_t> order;
  for (std::size_t j = 0; j < stars; ++j)
    if (indices[j].N >= settings.FewestPoints) order.push_back(j);
  if (order.size() < 3) return out;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return series.Stats[a].RunMean < series.Stats[b].RunMean ||
           (series.Stats[a].RunMean == series.Stats[b].RunMean && a < b);
  });

  const std::size_t count = order.size();
  const std::size_t half = static_cast<std::size_t>(std::max(settings.Neighbours, 2)) / 2;
  std::vector<double> values, deviations;
  for (std::size_t rank = 0; rank < count; ++rank) {
    // A window of ranks around the star, moved inwards at the ends of the range.
    std::size_t lo = rank > half ? rank - half : 0;
    std::size_t hi = std::min(count, lo + 2 * half + 1);
    lo = hi > 2 * half + 1 ? hi - 2 * half - 1 : 0;
    const std::size_t j = order[rank];
    double best = 0.0;
    int bestIndex = kScoredIndices[0];
    for (int k : kScoredIndices) {
      values.clear();
      for (std::size_t r = lo; r < hi; ++r)
        if (r != rank) values.push_back(MoreIndexValue(indices[order[r]], k));
      const double centre = Median(values);
      deviations.clear();
      for (double v : values)
        deviations.push_back(std::fabs(v - centre));
      const double spread = kMadToSigma * Median(deviations);
      if (!(spread > 0.0)) continue;
      const double z = (MoreIndexValue(indices[j], k) - centre) / spread;
      if (z > best) {
        best = z;
        bestIndex = k;
      }
    }
    out.Score[j] = std::isfinite(best) ? best : 0.0;
    out.Index[j] = bestIndex;
  }
  return out;
}

std::vector<Candidate> FindCandidates(const TTimeSeries& series, const std::vector<MoreIndices>& indices,
                                      const CandidateSettings& settings) {
  const StarScores scores = ScoreStars(series, indices, settings);
  std::vector<Candidate> out;
  for (std::size_t j = 0; j < scores.Score.size(); ++j) {
    if (!(scores.Score[j] > settings.Threshold) || series.Stats[j].Mark == kMarkFalseAlarm) continue;
    out.push_back(
        {static_cast<std::uint16_t>(j + 1), series.Stats[j].RunMean, scores.Score[j], scores.Index[j], indices[j].N});
  }
  std::sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
    return a.Score > b.Score || (a.Score == b.Score && a.Id < b.Id);
  });
  return out;
}

} // namespace morvik
