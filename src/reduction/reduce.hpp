#pragma once
// From a folder of frames to a field: every frame calibrated, measured through SEP,
// aligned to the reference frame, and every catalog star measured on it; the field
// (<base>.fts, <base>.dat, <base>.xml) and <base>_reduction.txt are written only when
// every frame is done.

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reduction/frame_time.hpp"
#include "reduction/reference_sky.hpp"
#include "reduction/star_match.hpp"

namespace morvik::reduction {

struct ReduceSettings {
  std::vector<std::string> frames;
  std::string out; // DIR/NAME: writes DIR/NAME.fts, .dat, .xml and NAME_reduction.txt
  std::string bias, dark, flat;
  std::string reference;            // "" = the frame with the most detections among a sample
  std::optional<double> gain;       // e-/ADU; else GAIN / EGAIN, else 1
  std::optional<double> saturation; // ADU; else SATURATE, else the camera's ceiling
  double linearity = 1.0;           // a pixel at or above this fraction of it is saturated
  std::optional<double> aperture;   // radius in pixels; else the factors below
  std::vector<double> apertureFactors{0.75, 1.0, 1.25, 1.5, 2.0}; // x each frame's FWHM
  bool cosmic = true;                                             // find and repair cosmic-ray hits
  double minSnr = 0;                                              // > 0: fainter than this S/N counts as not measured
  std::optional<double> skyInner, skyOuter;
  double zeroPoint = 25.0;
  double detectSigma = 3.0;
  TimeOptions time;
  TimeSystem system = TimeSystem::Utc;
  std::optional<double> ra, dec; // degrees; else RA/DEC or OBJCTRA/OBJCTDEC of the reference
  int threads = 2;
  SkySettings sky; // plate solving of the reference
};

// What became of one frame.
struct FrameReport {
  std::string file;
  bool used = false;
  std::string reason; // why it was skipped
  double jd = 0;
  double exposure = 0;
  std::string timeSource;
  std::string timeWarning; // for a warning line: e.g. no exposure time ("" when none)
  double fwhm = 0;
  double sky = 0;
  int detected = 0;
  int matched = 0;
  int measured = 0;
  double rms = 0;
  double aperture = 0;
  std::vector<double> radii; // every aperture measured, pixels
  double gain = 1;
  bool gainAssumed = false;
  double readNoise = 0; // e-, 0 when unknown
  double saturation = 0;
  std::string saturationSource;
  int cosmic = 0; // pixels repaired as cosmic-ray hits
  int hot = 0;    // the sensor's hot pixels masked
  Affine transform;
};

// What became of one catalog star.
struct StarReport {
  int aperture = 0;          // index into the apertures measured
  std::array<int, 6> lost{}; // frames lost, by reason: -, edge, saturated, masked pixel, no sky, no flux
  std::string flags;         // subset of "edge,blend,saturated,hot", comma-separated
};

struct ReduceResult {
  bool ok = false;
  bool cancelled = false;
  std::string error;                // why the reduction failed
  std::vector<FrameReport> frames;  // in the order given
  std::vector<std::string> written; // the files written
  int stars = 0;
  int rows = 0;
  std::string reference;
  double ra = 0, dec = 0;              // degrees: the target of HJD / BJD
  ReferenceSky sky;
  std::vector<double> apertureFactors; // the apertures' sizes in FWHM (or the forced radius in px)
  std::vector<StarReport> starReports; // by catalog star
  std::string darkNote;                // how the dark was used (see DarkNote), "" without one
};

// done frames of total; called from the worker threads (one call at a time).
using ReduceProgress = std::function<void(int done, int total)>;

// Runs the reduction; checks cancel between frames. Writes nothing unless it succeeds.
ReduceResult Reduce(const ReduceSettings& settings, const ReduceProgress& progress, const std::atomic<bool>& cancel);

} // namespace morvik::reduction
