#pragma once
// The photometry of a reduction: every catalog star measured through several
// apertures on each frame, the aperture kept per star, and what the stars went through.

#include <cstdint>
#include <string>
#include <vector>

#include "reduction/frame_measure.hpp"
#include "reduction/reduce.hpp"

namespace morvik::reduction {

// One frame's measurements: index k * stars + i for aperture k and star i.
struct StarRows {
  std::size_t stars = 0;
  std::size_t apertures = 0;
  std::vector<float> mag, err;        // NaN = not measured
  std::vector<std::uint8_t> loss;     // Loss
  std::vector<std::uint8_t> replaced; // 1: a hot or cosmic pixel taken from its opposite
};

// The radii (pixels) of a frame of this FWHM: the forced one, or the factors of the FWHM;
// the annulus beyond the largest, neighbours' largest circles left out of it.
ApertureSet AperturesFor(const ReduceSettings& settings, double fwhm);

// Measures the stars at `at` (frame positions). Magnitudes Z - 2.5 log10(flux / exposure);
// with minSnr > 0 a flux below minSnr x its error counts as not measured (no flux).
StarRows MeasureStars(const FrameMeasurer& frame, const std::vector<Point>& at, const ApertureSet& apertures,
                      double fwhm, double exposure, double zeroPoint, double minSnr);

// Per star, the aperture whose light curve, corrected frame by frame by the median
// offset of an ensemble of well-measured stars, has the least robust scatter
// (1.4826 x MAD) among the apertures that keep at least 90 % of its best count of
// frames; `fallback` where no aperture has three frames.
std::vector<int> ChooseApertures(const std::vector<const StarRows*>& rows, std::size_t fallback);

// Per aperture, the offset that brings its magnitudes on this frame to those of the
// widest aperture (index `widest`): the mean difference over the (up to 30) stars best
// measured through every aperture, weighted by their errors (a curve of growth from
// the frame's own stars; Stetson 1990, PASP 102, 932). Stars measured through
// different apertures then share one scale. 0 where fewer than three stars qualify.
std::vector<double> ApertureCorrections(const StarRows& row, std::size_t widest);

// What each star went through with its chosen aperture; blend: another catalog star
// within two radii of the chosen aperture on the reference (radius = factor x refFwhm,
// or the forced radius).
std::vector<StarReport> SummariseStars(const std::vector<const StarRows*>& rows, const std::vector<int>& chosen,
                                       const std::vector<Point>& catalog, const std::vector<double>& referenceRadii);

} // namespace morvik::reduction
