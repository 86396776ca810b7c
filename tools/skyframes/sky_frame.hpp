#pragma once
// A frame of a real patch of sky as a small telescope with a 12-bit camera takes it:
// the catalogue stars placed by a true WCS (any rotation, a meridian flip, a mirror),
// fainter field stars the catalogue lacks, undersampled and slightly defocused
// profiles, a graded sky, photon and read noise, hot pixels.

#include <cstdint>
#include <string>
#include <vector>

#include "astrometry/index_stars.hpp"
#include "astrometry/wcs.hpp"

namespace skyframes {

enum class Hints { PixScale, PixelSize, None };

struct SkyOptions {
  morvik::astrometry::Sky centre{327.7582, 12.6256};
  double scale = 6.0; // arcseconds per pixel
  int width = 640, height = 480;
  double rotation = 0;       // degrees: north from the frame's +y axis towards +x
  bool meridianFlip = false; // rotated by a further 180 degrees
  bool mirror = false;
  double fwhm = 2.2;         // pixels
  double limitingMag = 13.5; // faintest field star added
  int keepBrightest = 0;     // > 0: only this many stars (a frame too poor to solve)
  Hints hints = Hints::PixScale;
  bool positionHint = true;
  int frames = 1;
  std::uint64_t seed = 1;
  std::string indexDir = "/usr/share/astrometry";
};

struct PlacedStar {
  double x = 0, y = 0; // 0-based pixel coordinates on the first frame
  morvik::astrometry::Sky sky;
  double mag = 0;
  bool catalogue = false; // a Tycho-2 star of the index, else an added field star
};

struct SkyFrames {
  morvik::astrometry::Wcs wcs; // of the first frame
  std::vector<PlacedStar> stars;
  std::vector<std::pair<double, double>> offsets; // pixel shift of each frame
};

morvik::astrometry::Wcs TrueWcs(const SkyOptions& o);
SkyFrames MakeSky(const SkyOptions& o, const std::vector<morvik::astrometry::CatalogStar>& catalogue);

// Writes out/sky_0001.fits ... and out/sky.truth (the WCS cards of the first frame and
// one line per star: x y ra dec mag catalogue). Returns false with message on failure.
bool WriteSkyFrames(const SkyOptions& o, const SkyFrames& sky, const std::string& out, std::string& message);

} // namespace skyframes
