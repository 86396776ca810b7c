#pragma once
// Variable-star candidates: every star is scored on the indices that detect variability
// best, each first measured against what a constant star with the star's own errors,
// times and number of points gives (calibrated by simulation), then against the
// expected value and the robust spread of the stars of similar magnitude (most of which
// are constant), and the stars beyond a threshold are ranked.

#include <cstdint>
#include <vector>

#include "dataset/records.hpp"
#include "search/more_indices.hpp"

namespace morvik {

struct Candidate {
  std::uint16_t Id = 0; // star id
  double Mag = 0.0;     // RunMean: mean magnitude on the comparison star's scale
  double Score = 0.0;   // robust sigmas beyond the stars of similar magnitude
  int Index = 0;        // the index that scores highest: a new index (0 ... kMoreIndexCount - 1) or kDipCandidateIndex
  std::uint32_t N = 0;  // accepted measurements
};

struct CandidateSettings {
  double Threshold =
      5.0; // a score above this makes a candidate (chosen on generated fields of 12-40 frames, seeds 700-707)
  int Neighbours = 50;             // stars per magnitude bin that set the expected value
  std::uint32_t FewestPoints = 10; // fewer accepted measurements: not scored
};

// The indices that take part in the score, as positions in MoreIndices, and the dip
// (index_calibration.hpp).
inline constexpr int kScoredIndices[] = {0, 3, 4, 5}; // IQR, Stetson L, 1/eta, excess scatter
inline constexpr int kDipCandidateIndex = kMoreIndexCount;

// The name of Candidate::Index.
const char* CandidateIndexName(int index);

// Score of every star (element id - 1; 0 for a star not scored) and the index behind it.
struct StarScores {
  std::vector<double> Score;
  std::vector<int> Index;
};
StarScores ScoreStars(const TTimeSeries& series, const std::vector<MoreIndices>& indices,
                      const CandidateSettings& settings);

// Stars scoring above the threshold, highest score first (ties by id); stars marked as
// false alarm are left out.
std::vector<Candidate> FindCandidates(const TTimeSeries& series, const std::vector<MoreIndices>& indices,
                                      const CandidateSettings& settings);

} // namespace morvik
