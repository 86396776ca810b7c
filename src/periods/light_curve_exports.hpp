#pragma once
// Light-curve exports beside the program's own light-curve file: a CSV table with a
// header line, and the AAVSO Extended File Format that observers submit to the AAVSO
// International Database (https://www.aavso.org/aavso-extended-file-format).

#include <string>

#include "dataset/records.hpp"

namespace morvik {

// Star id (1-based) columns: JD, corrected magnitude, error, raw magnitude, flags. Every
// row that measured the star is written; a measurement deleted since (kept magnitude,
// no longer valid) carries the flag "deleted", a valid one none.
std::string LightCurveCsv(const TTimeSeries& series, int id);

// What the AAVSO format asks of the observer; kept by the desktop between exports.
struct AavsoObserver {
  std::string obsCode;  // the AAVSO observer code
  std::string starName; // the variable's designation, e.g. "SS CYG"
  std::string filter;   // AAVSO filter code: V, B, R, I, CV, TG, ...
};

struct AavsoEnsemble {
  int comparisonId = 0;
  double comparisonMag = 0.0;
  int ensembleStars = 0;
};

// The header lines (#TYPE=EXTENDED, #OBSCODE, #SOFTWARE, #DELIM=",", #DATE=JD,
// #OBSTYPE=CCD) and one line per valid measurement: NAME,DATE,MAG,MERR,FILT,TRANS,
// MTYPE,CNAME,CMAG,KNAME,KMAG,AMASS,GROUP,CHART,NOTES. Magnitudes are the ensemble-
// corrected ones (MTYPE STD, CNAME ENSEMBLE, CMAG na, as the format asks for ensemble
// photometry); the comparison star that set the scale is named in the notes. Commas in
// the observer's answers, which would break the columns, become spaces.
std::string AavsoExtendedText(const TTimeSeries& series, int id, const AavsoObserver& observer,
                              const AavsoEnsemble& ensemble, const std::string& software);

} // namespace morvik
