#pragma once
// Plate solving on this machine: the frame's star list (never the image) goes to the
// astrometry.net solver (`solve-field`) with every hint we have, under a CPU-time
// bound, in a temporary folder removed afterwards (kept when MORVIK_KEEP_SOLVER_DIR is
// set, for looking into a failure); the WCS it finds comes back.

#include <optional>
#include <string>
#include <vector>

#include "astrometry/wcs.hpp"

namespace morvik::frames {
struct FrameImage;
}

namespace morvik::astrometry {

struct StarXY {
  double x = 0, y = 0; // 0-based pixel coordinates
  double flux = 0;
};

struct SolveHints {
  std::optional<double> scaleLow, scaleHigh; // arcseconds per pixel
  std::optional<Sky> centre;                 // searched within twice the field's size
  double cpuSeconds = 30;
};

// Scale from PIXSCALE / SECPIX, else XPIXSZ / PIXSIZE1 (microns) with FOCALLEN (mm),
// within 10 % either way; the centre from RA/DEC, else OBJCTRA/OBJCTDEC (numbers in
// degrees, sexagesimal right ascension in hours).
SolveHints HintsFromHeader(const frames::FrameImage& frame);

enum class SolveFailure { None, TooFewStars, NoIndex, TimedOut, NoMatch, SolverMissing };

struct SolveResult {
  bool ok = false;
  SolveFailure failure = SolveFailure::None;
  std::string reason; // the user's message when not ok
  Wcs wcs;
  double cpuSeconds = 0; // the solver's processor time
  int starsGiven = 0;
};

struct SolverSetup {
  std::string program = "solve-field";
  std::string indexDir = "/usr/share/astrometry";
};

// Fewer stars than this cannot be matched with any confidence.
constexpr int kMinStarsToSolve = 8;

SolveResult Solve(std::vector<StarXY> stars, int width, int height, const SolveHints& hints,
                  const SolverSetup& setup = {});

// Quad sizes (arcminutes) of the index files in a folder, smallest first.
struct IndexScale {
  std::string file;
  double lowArcmin = 0, highArcmin = 0;
};
std::vector<IndexScale> InstalledIndexes(const std::string& indexDir);

// Nullopt when an installed index covers a field whose larger side is fieldArcmin;
// else the reason, naming the package that would cover it.
std::optional<std::string> MissingIndexReason(double fieldArcmin, double narrowArcmin,
                                              const std::vector<IndexScale>& installed);

} // namespace morvik::astrometry
