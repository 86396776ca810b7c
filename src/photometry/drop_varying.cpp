#include <cstddef>
#include <vector>

#include "common/format.hpp"
#include "photometry/ensemble_check.hpp"

namespace morvik {

EnsembleCheck RunAndCheckEnsemble(TTimeSeries& data, const StarCatalog& catalog, FrameSize frame,
                                  const SelectionSettings& selection, std::uint16_t compStarId, double compStarMag,
                                  bool dropVarying, const EnsembleCheckSettings& settings, Log& log) {
  std::vector<bool> dropped;
  std::vector<StarCheck> droppedChecks; // the figures that flagged each dropped star
  for (int round = 0;; ++round) {
    ComputeRawStatistics(data, catalog, frame, selection, log);
    if (round > 0) {
      int left = 0;
      for (std::size_t j = 0; j < data.Stats.size() && j < dropped.size(); ++j) {
        if (!dropped[j] || !data.Stats[j].Used) continue;
        data.Stats[j].Used = false;
        --data.UsedCount;
        ++left;
      }
      log.Add(FormatMessage("Drop varying: round %d leaves out %d stars; USED %d", {round, left, data.UsedCount}));
    }
    ComputeComparisonWeights(data, compStarId, compStarMag, log);
    ComputeFrameZeroPoints(data, compStarId, compStarMag, log);
    EnsembleCheck check = CheckEnsemble(data, compStarId, settings, log);
    // Dropped stars stay flagged with the figures that flagged them.
    for (std::size_t j = 0; j < droppedChecks.size() && j < check.Stars.size(); ++j) {
      if (!dropped[j] || check.Stars[j].Flagged) continue;
      check.Stars[j] = droppedChecks[j];
      ++check.FlaggedCount;
    }
    if (!dropVarying || round >= kDropRounds) return check;
    dropped.resize(data.Stats.size(), false);
    droppedChecks.resize(data.Stats.size());
    bool more = false;
    for (std::size_t j = 0; j < check.Stars.size(); ++j) {
      if (!check.Stars[j].Flagged || !data.Stats[j].Used) continue;
      dropped[j] = true;
      droppedChecks[j] = check.Stars[j];
      more = true;
    }
    if (!more) return check;
  }
}

} // namespace morvik
