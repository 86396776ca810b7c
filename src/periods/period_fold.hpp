#pragma once
// The light curve folded with a period, and the texts of the period search's exports.

#include <span>
#include <string>
#include <vector>

#include "periods/period_search.hpp"

namespace morvik {

struct FoldedCurve {
  double period = 0.0;
  double epoch = 0.0;           // time of minimum light: phase 0
  std::vector<double> phase;    // two cycles: every point at its phase in [0, 1) and again + 1
  std::vector<double> mag;      // the magnitude of the same index
  std::vector<double> binPhase; // bin centres over the two cycles
  std::vector<double> binMean;  // mean magnitude of the points in the bin
};

// Folds t, y with period in `bins` equal phase bins. The epoch is the middle of the
// bin with the largest mean magnitude (the faintest) counted from the earliest time;
// empty bins are left out of the means.
FoldedCurve FoldLightCurve(std::span<const double> t, std::span<const double> y, double period, int bins = 20);

// "method,rank,frequency,period,period_error,power,fap,alias,note": the combined answer
// first (method "combined", its alias the window peak it lies on; a row of only its note
// when no period was found), then every method's peaks best first; LF. -1: FAP not
// known; period_error 0: not known; a FAP at the floor of the permutation rounds is
// written as a bound ("< 0.032").
std::string PeakTableCsv(const PeriodSearchResult& r);

// "method,frequency,period,power": every method's periodogram, LF.
std::string PeriodogramCsv(const PeriodSearchResult& r);

// "kind,phase,mag": the points ("point"), then the binned means ("mean"), LF; a first
// comment line gives the period and the epoch.
std::string FoldedCurveCsv(const FoldedCurve& f);

} // namespace morvik
