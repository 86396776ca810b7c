#pragma once
// One calibrated frame prepared for measuring through SEP: missing and saturated
// pixels masked, the background subtracted, stars detected, and circular apertures
// with a local sky annulus measured at any position.

#include <cstdint>
#include <vector>

#include "reduction/star_match.hpp"

namespace morvik::reduction {

struct Detection {
  Point at;          // 0-based pixel coordinates, (0,0) the centre of the first pixel
  double flux = 0;   // above the background, ADU
  double radius = 0; // half-light radius, pixels (0 when not measured: the faint ones)
  bool clean = true; // not truncated by the edge, no masked pixel
};

struct Aperture {
  double radius = 3;
  double skyInner = 6;
  double skyOuter = 10;
};

struct Measurement {
  bool ok = false;
  Point at;
  double flux = 0;    // ADU in the aperture, local sky removed
  double fluxErr = 0; // ADU
};

class FrameMeasurer {
public:
  // pixels row-major, NaN for missing; saturation <= 0 means none. hotPixels (indices
  // into pixels) are left out of the background and detection and, inside an
  // aperture, replaced by the pixel opposite the centre.
  FrameMeasurer(std::vector<float> pixels, long width, long height, double gain, double saturation,
                const std::vector<std::size_t>& hotPixels = {});
  FrameMeasurer(const FrameMeasurer&) = delete;
  FrameMeasurer& operator=(const FrameMeasurer&) = delete;

  long Width() const { return width_; }
  long Height() const { return height_; }
  double Sky() const { return sky_; }
  double SkyRms() const { return skyRms_; }
  bool Ok() const { return ok_; }
  // Pixels replaced as far sharper than any star (hot pixels, cosmic-ray hits).
  const std::vector<std::size_t>& Repaired() const { return repaired_; }

  // Hot pixels found after the frame was prepared: left out of the sky and, inside an
  // aperture, replaced by the pixel opposite the centre from now on.
  void MaskHotPixels(const std::vector<std::size_t>& hotPixels);

  // Objects above threshold (in sigma of the background), brightest first.
  std::vector<Detection> Detect(double thresholdSigma = 3.0) const;

  // A quicker search for aligning a frame: maxima of their 5 x 5 box above threshold,
  // at least five of their 3 x 3 pixels above it, the `keep` brightest (by the light of
  // the 5 x 5 box) returned brightest first. `found` receives how many there were.
  std::vector<Detection> DetectPeaks(double thresholdSigma, std::size_t keep, int* found = nullptr) const;

  // Median FWHM (twice the half-light radius) of the bright clean detections; 0 if none.
  static double Fwhm(const std::vector<Detection>& detections);

  // Measures at `at`; with recentreRadius > 0 a star whose central pixel stands 10
  // sigma above the sky is first re-centred (windowed centroid) when it moves no more
  // than that radius.
  Measurement Measure(Point at, const Aperture& aperture, double fwhm, double recentreRadius) const;

private:
  struct Candidate {
    Detection d;
    double a = 0; // semi-major axis, pixels
  };
  // Brightest first; half-light radii of the brightest, windowed centroids.
  std::vector<Detection> Refine(std::vector<Candidate>& found) const;
  void RepairSharpPixels();
  bool TouchesMask(Point at, double radius) const;
  Measurement Sum(Point at, const Aperture& aperture) const;

  long width_;
  long height_;
  double gain_;
  std::vector<float> data_;        // background subtracted, masked pixels 0
  std::vector<std::uint8_t> mask_; // kBad for missing or saturated pixels, kHot for hot ones
  std::vector<std::size_t> repaired_;
  double sky_ = 0;
  double skyRms_ = 0;
  bool ok_ = false;
};

} // namespace morvik::reduction
