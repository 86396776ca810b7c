#pragma once
// The reference frame placed on the sky: its star list solved by the offline plate
// solver after detection, and what the field's files then carry (the WCS cards of
// the reference .fts, the sky position of every catalog star, a line of the report).

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "astrometry/solver.hpp"
#include "astrometry/wcs.hpp"
#include "reduction/frame_measure.hpp"
#include "reduction/star_match.hpp"

namespace morvik::frames {
struct FrameImage;
}

namespace morvik::reduction {


struct SkySettings {
  bool solve = false;                        // morvik-reduce solves unless --no-solve
  std::optional<double> scaleLow, scaleHigh; // arcseconds per pixel; else the header's
  double seconds = 30;                       // processor time of the solver
  astrometry::SolverSetup setup;
};

struct ReferenceSky {
  bool tried = false;
  bool solved = false;
  std::string reason; // why not, when tried
  astrometry::Wcs wcs;
  double cpuSeconds = 0;
  // Catalog stars (0-based, in the order of the stars given) that are Tycho-2 stars
  // of the solver's index files, with their VT: comparison candidates.
  std::vector<std::pair<std::size_t, double>> tycho;
};

// stars go to the solver; the Tycho-2 stars are looked up among catalog (stars when empty).
ReferenceSky SolveReference(const SkySettings& settings, const frames::FrameImage& header,
                            const std::vector<Detection>& stars, long width, long height,
                            const std::vector<Detection>& catalog = {});

// 80-character header records of the WCS; none when not solved.
std::vector<std::string> WcsRecords(const ReferenceSky& sky);

// RA and Dec (degrees) of each catalog position; empty when not solved.
std::vector<std::pair<double, double>> CatalogSky(const ReferenceSky& sky, const std::vector<Point>& catalog);

// "Plate solution: ..." for the report and the terminal; "" when not tried.
std::string SkyReportLine(const ReferenceSky& sky);

// The report's list of Tycho-2 comparison candidates; "" when there are none.
std::string TychoReportText(const ReferenceSky& sky);

} // namespace morvik::reduction
