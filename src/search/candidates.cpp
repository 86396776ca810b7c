#include "search/candidates.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>

#include "search/index_calibration.hpp"

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

// Index k of a star in units of its own null distribution: a constant star with its
// errors, times and number of points; the raw value when not calibrated.
double Standardised(const MoreIndices& m, int k) {
  const double v = CalibratedIndexValue(m, k);
  return m.NullSpread[k] > 0.0 ? (v - m.NullCentre[k]) / m.NullSpread[k] : v;
}

int ReportedIndex(int k) { return k == kDipIndex ? kDipCandidateIndex : kScoredIndices[k]; }

} // namespace

const char* CandidateIndexName(int index) {
  if (index >= 0 && index < kMoreIndexCount) return kMoreIndexNames[index];
  return index == kDipCandidateIndex ? "Dip in one stretch of the night" : "";
}

// The expected value of an index at a magnitude and its spread are the median and the
// scaled median absolute deviation of the index in the star's magnitude bin, as in the
// magnitude-binned scatter diagrams of Sokolovsky et al. (2017, MNRAS 464, 274).
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

  // Bins of about `Neighbours` consecutive stars in magnitude; a short last bin joins
  // the one before it.
  const std::size_t count = order.size();
  const std::size_t size = std::max<std::size_t>(static_cast<std::size_t>(std::max(settings.Neighbours, 3)), 3);
  std::vector<double> values, deviations;
  for (std::size_t first = 0; first < count;) {
    std::size_t last = std::min(count, first + size);
    if (count - last < size / 2) last = count;
    double centre[kCalibratedCount], spread[kCalibratedCount];
    for (int k = 0; k < kCalibratedCount; ++k) {
      values.clear();
      for (std::size_t r = first; r < last; ++r)
        values.push_back(Standardised(indices[order[r]], k));
      centre[k] = Median(values);
      deviations.clear();
      for (double v : values)
        deviations.push_back(std::fabs(v - centre[k]));
      spread[k] = kMadToSigma * Median(deviations);
    }
    for (std::size_t r = first; r < last; ++r) {
      const std::size_t j = order[r];
      double best = 0.0;
      int bestIndex = kScoredIndices[0];
      for (int k = 0; k < kCalibratedCount; ++k) {
        if (!(spread[k] > 0.0)) continue;
        const double z = (Standardised(indices[j], k) - centre[k]) / spread[k];
        if (z > best) {
          best = z;
          bestIndex = ReportedIndex(k);
        }
      }
      out.Score[j] = std::isfinite(best) ? best : 0.0;
      out.Index[j] = bestIndex;
    }
    first = last;
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
