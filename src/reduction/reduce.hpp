#pragma once
// From a folder of frames to a field: every frame calibrated, measured through SEP,
// aligned to the reference frame, and every catalog star measured on it; the field
// (<base>.fts, <base>.dat, <base>.xml) and <base>_reduction.txt are written only when
// every frame is done.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reduction/frame_time.hpp"
#include "reduction/star_match.hpp"

namespace morvik::reduction {

struct ReduceSettings {
  std::vector<std::string> frames;
  std::string out; // DIR/NAME: writes DIR/NAME.fts, .dat, .xml and NAME_reduction.txt
  std::string bias, dark, flat;
  std::string reference;            // "" = the frame with the most detections among a sample
  std::optional<double> gain;       // e-/ADU; else GAIN / EGAIN, else 1
  std::optional<double> saturation; // ADU; else SATURATE, else none
  std::optional<double> aperture;   // radius in pixels; else 1.5 x the frame's FWHM
  std::optional<double> skyInner, skyOuter;
  double zeroPoint = 25.0;
  double detectSigma = 3.0;
  TimeOptions time;
  TimeSystem system = TimeSystem::Utc;
  std::optional<double> ra, dec; // degrees; else RA/DEC or OBJCTRA/OBJCTDEC of the reference
  int threads = 2;
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
  Affine transform;
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
  double ra = 0, dec = 0; // degrees: the target of HJD / BJD
  std::string darkNote;   // how the dark was used (see DarkNote), "" without one
};

// done frames of total; called from the worker threads (one call at a time).
using ReduceProgress = std::function<void(int done, int total)>;

// Runs the reduction; checks cancel between frames. Writes nothing unless it succeeds.
ReduceResult Reduce(const ReduceSettings& settings, const ReduceProgress& progress, const std::atomic<bool>& cancel);

} // namespace morvik::reduction
