#pragma once
// Frames of real sky from morvik-skyframes, their truth, and the star list the
// reduction's own detection finds on them.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "astrometry/solver.hpp"
#include "astrometry/wcs.hpp"
#include "frames/frame_file.hpp"
#include "reduction/frame_measure.hpp"
#include "reduction/work_dir.hpp"

namespace morvik::testing {

struct SkyTruth {
  astrometry::Wcs wcs;
  struct Star {
    double x, y;
    astrometry::Sky sky;
    double mag;
  };
  std::vector<Star> stars;
};

// Runs the generator into dir with the given options; false when it fails.
inline bool MakeSkyFrames(const std::filesystem::path& dir, const std::string& options) {
  std::filesystem::create_directories(dir);
  const std::string command = std::string(MORVIK_SKYFRAMES) + " --out " + dir.string() + " " + options + " > " +
                              (dir / "generator.log").string() + " 2>&1";
  return std::system(command.c_str()) == 0;
}

inline SkyTruth ReadTruth(const std::filesystem::path& file) {
  SkyTruth t;
  std::ifstream in(file);
  std::string line;
  std::vector<astrometry::Card> cards;
  while (std::getline(in, line) && line != "END") {
    const auto eq = line.find('=');
    std::string key = line.substr(0, eq);
    key.erase(key.find_last_not_of(' ') + 1);
    cards.push_back({key, line.substr(eq + 2), ""});
  }
  if (auto w = astrometry::WcsFromCards(cards)) t.wcs = *w;
  SkyTruth::Star s{};
  int catalogue = 0;
  while (in >> s.x >> s.y >> s.sky.ra >> s.sky.dec >> s.mag >> catalogue)
    t.stars.push_back(s);
  return t;
}

// The reduction's detection on a frame, brightest first, as it finds the reference's
// stars: no saturation level, the sharp hot pixels left out.
inline std::vector<astrometry::StarXY> DetectStars(const frames::FrameImage& frame) {
  reduction::FrameMeasurer m(frame.pixels, frame.width, frame.height, 2.0, 0.0);
  const auto all = m.Detect(3.0);
  const double fwhm = reduction::FrameMeasurer::Fwhm(all);
  std::vector<astrometry::StarXY> out;
  for (const auto& d : all)
    if (d.radius == 0 || d.radius >= 0.35 * fwhm) out.push_back({d.at.x, d.at.y, d.flux});
  return out;
}

} // namespace morvik::testing
