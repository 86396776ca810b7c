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
  bool Checked = false;         // a comparison star, or the chosen comparison star
  bool Flagged = false;         // varies against the ensemble
  std::uint32_t N = 0;          // frames in its leave-one-out light curve
  double Scatter = 0.0;         // robust scatter of that light curve (1.4826 x its MAD)
  double ErrScatter = 0.0;      // median of its errors
  double Expected = 0.0;        // scatter predicted by its errors and its magnitude neighbours
  double Excess = 0.0;          // Scatter / Expected
  std::uint32_t LongestRun = 0; // most consecutive frames beyond kEpisodeSigmas on one side of the median
  bool Episodic = false;        // flagged for such a run: eclipses, flares, a jump
  std::uint16_t CopyOf = 0;     // id of a comparison star identical to it in every frame, 0 if none
};

// Episodic variability (an eclipse in a few frames) hides from the robust scatter. A
// comparison star is also flagged when its leave-one-out light curve holds a run of at
// least kEpisodeRun consecutive frames beyond kEpisodeSigmas times its scatter (its
// robust scatter or the median of its errors, the larger), all on one side: for
// independent normal errors a run of three beyond 5 sigma has a chance of about 2e-20
// per frame, and single outliers never make one.
inline constexpr double kEpisodeSigmas = 5.0;
inline constexpr std::uint32_t kEpisodeRun = 3;

struct EnsembleCheck {
  std::vector<StarCheck> Stars; // element id - 1; empty before a check
  double Limit = 0.0;           // an excess above this flags a star
  int FlaggedCount = 0;
  int CopyCount = 0;   // comparison stars identical to another in every frame (one star catalogued twice)
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
