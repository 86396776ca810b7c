#pragma once
// The ensemble check: after a Run, every comparison star (and the chosen comparison
// star) is measured against the ensemble of the others, and a star whose scatter is
// well beyond what its errors and the stars of similar magnitude predict is flagged as
// varying. Optionally Run is repeated without the flagged stars.

#include <cstdint>
#include <vector>

#include "common/log.hpp"
#include "dataset/records.hpp"
#include "photometry/ensemble.hpp"

namespace morvik {

struct StarCheck {
  bool Checked = false;    // a comparison star, or the chosen comparison star
  bool Flagged = false;    // varies against the ensemble
  std::uint32_t N = 0;     // frames in its leave-one-out light curve
  double Scatter = 0.0;    // robust scatter of that light curve (1.4826 x its MAD)
  double ErrScatter = 0.0; // median of its errors
  double Expected = 0.0;   // scatter predicted by its errors and its magnitude neighbours
  double Excess = 0.0;     // Scatter / Expected
};

struct EnsembleCheck {
  std::vector<StarCheck> Stars; // element id - 1; empty before a check
  double Limit = 0.0;           // an excess above this flags a star
  int FlaggedCount = 0;
  bool Judged = false; // false when too few stars were checked to judge any
};

struct EnsembleCheckSettings {
  double Sigmas = 5.0;        // limit: 1 + Sigmas x robust spread of the excesses
  double SmallestLimit = 1.3; // never flag below this excess
  int Neighbours = 15;        // magnitude neighbours that set the expected scatter
  int FewestStars = 5;        // fewer checked stars than this: nothing is judged
};

// Needs the records of a completed Run (Used, Weight, MeanW, Valid, Mag, Err). Logs one
// line per flagged star.
EnsembleCheck CheckEnsemble(const TTimeSeries& data, std::uint16_t compStarId, const EnsembleCheckSettings& settings,
                            Log& log);

} // namespace morvik

namespace morvik {

// Raw statistics, weights and zero points as Run does them, then the ensemble check.
// With dropVarying the three steps are repeated with the flagged stars left out of the
// ensemble until no comparison star is flagged, for at most kDropRounds rounds.
inline constexpr int kDropRounds = 5;
EnsembleCheck RunAndCheckEnsemble(TTimeSeries& data, const StarCatalog& catalog, FrameSize frame,
                                  const SelectionSettings& selection, std::uint16_t compStarId, double compStarMag,
                                  bool dropVarying, const EnsembleCheckSettings& settings, Log& log);

} // namespace morvik
