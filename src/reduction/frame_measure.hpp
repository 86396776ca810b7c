#pragma once
// One calibrated frame prepared for measuring through SEP: missing and saturated
// pixels masked, the background subtracted, cosmic-ray hits repaired, stars detected,
// and circular apertures with a local sky annulus measured at any position.

#include <cstdint>
#include <vector>

#include "reduction/aperture_sum.hpp"
#include "reduction/sky.hpp"
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

// Why a star was not measured on a frame.
enum class Loss : std::uint8_t { None, Edge, Saturated, Masked, Sky, NoFlux };
const char* LossName(Loss loss);

struct Measurement {
  bool ok = false;
  Point at;
  double flux = 0;    // ADU in the aperture, local sky removed
  double fluxErr = 0; // ADU
  Loss loss = Loss::None;
  int replaced = 0; // hot or cosmic pixels taken from the point-symmetric pixel
};

// Several radii about one centre, one annulus; neighbours' circles of maskRadius are
// left out of the annulus.
struct ApertureSet {
  std::vector<double> radii;
  double skyInner = 6;
  double skyOuter = 10;
  double maskRadius = 0;
};

// Detections of one star (a ring split by deblending, centroids drawn to one place)
// become one: a fainter detection within `radius` of a brighter one is dropped, its
// light added to the brighter's. Input and output brightest first.
std::vector<Detection> MergeSameStar(const std::vector<Detection>& stars, double radius);

class FrameMeasurer {
public:
  // pixels row-major, NaN for missing; pixels at or above saturation (when > 0) and
  // those listed in saturatedPixels are saturated. hotPixels (indices into pixels) are
  // left out of the background and detection and, inside an aperture, replaced by the
  // pixel point-symmetric about the centre. cosmic: find and repair cosmic-ray hits.
  FrameMeasurer(std::vector<float> pixels, long width, long height, double gain, double saturation,
                const std::vector<std::size_t>& hotPixels = {}, const std::vector<std::size_t>& saturatedPixels = {},
                bool cosmic = true);
  FrameMeasurer(const FrameMeasurer&) = delete;
  FrameMeasurer& operator=(const FrameMeasurer&) = delete;

  long Width() const { return width_; }
  long Height() const { return height_; }
  double Sky() const { return sky_; }
  double SkyRms() const { return skyRms_; }
  bool Ok() const { return ok_; }
  // Pixels repaired as sharper than the point-spread function (hot pixels, cosmic rays).
  const std::vector<std::size_t>& Repaired() const { return repaired_; }

  // Hot pixels found after the frame was prepared: left out of the sky and, inside an
  // aperture, replaced by the pixel point-symmetric about the centre from now on.
  void MaskHotPixels(const std::vector<std::size_t>& hotPixels);

  // Whether a missing or saturated pixel lies in the 7 x 7 box around at: the test by
  // which the quick search for aligning leaves a star out.
  bool MaskedNear(Point at) const;

  // Objects above threshold (in sigma of the background), brightest first.
  std::vector<Detection> Detect(double thresholdSigma = 3.0) const;

  // A quicker search for aligning a frame: maxima of their 5 x 5 box above threshold,
  // at least five of their 3 x 3 pixels above it, the `keep` brightest (by the light of
  // the 5 x 5 box) returned brightest first. `found` receives how many there were.
  std::vector<Detection> DetectPeaks(double thresholdSigma, std::size_t keep, int* found = nullptr) const;

  // Twice the median half-light radius of the bright clean detections; 0 if none.
  // For a Gaussian it is the FWHM; sharper than it is a hit, not a star.
  static double Fwhm(const std::vector<Detection>& detections);

  // The FWHM from profile fits to the bright, isolated, unsaturated stars among
  // `stars` (brightest first); the half-light value when none qualifies.
  double SeeingFwhm(const std::vector<Detection>& stars) const;

  // Measures at `at`; with recentreRadius > 0 a star whose central pixel stands 10
  // sigma above the sky is first re-centred (windowed centroid) when it moves no more
  // than that radius.
  Measurement Measure(Point at, const Aperture& aperture, double fwhm, double recentreRadius) const;
  // The same for every radius of the set, one sky for all; neighbours: the positions
  // of the other stars near it.
  std::vector<Measurement> Measure(Point at, const ApertureSet& apertures, double fwhm, double recentreRadius,
                                   const std::vector<Point>& neighbours) const;

private:
  struct Candidate {
    Detection d;
    double a = 0; // semi-major axis, pixels
  };
  // Brightest first; half-light radii of the brightest, windowed centroids.
  std::vector<Detection> Refine(std::vector<Candidate>& found) const;
  std::uint8_t MaskNear(Point at, double radius) const;
  Point Recentre(Point at, double fwhm, double radius) const;
  SkyLevel AnnulusLevel(Point at, const ApertureSet& set, const std::vector<Point>& neighbours) const;
  // `clearAround` when no flagged pixel lies near the widest of the star's circles:
  // then none lies near any of them.
  Measurement Photometry(Point at, double radius, const SkyLevel& sky, bool clearAround = false) const;
  PixelView View() const { return {data_.data(), mask_.data(), width_, height_}; }

  long width_;
  long height_;
  double gain_;
  std::vector<float> data_;        // background subtracted, masked pixels 0
  std::vector<std::uint8_t> mask_; // pixel:: flags
  std::vector<std::size_t> repaired_;
  double sky_ = 0;
  double skyRms_ = 0;
  bool ok_ = false;
};

} // namespace morvik::reduction
