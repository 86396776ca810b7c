#pragma once
// The periodograms of the period search, each on plain arrays: times t (days),
// magnitudes y and their errors dy (empty: equal weights). Every function fills one
// value per trial frequency and works in blocks of kSearchBlock frequencies shared
// among `threads` threads (0: the machine's cores); the result does not depend on the
// number of threads. They return false when *cancel turned true (the values are then
// incomplete).

#include <atomic>
#include <cstddef>
#include <span>

#include "periods/period_grid.hpp"
#include "periods/period_parallel.hpp"

namespace morvik {

inline constexpr std::size_t kSearchBlock = 512;

struct MethodRun {
  unsigned threads = 0;
  const std::atomic<bool>* cancel = nullptr;
  SearchProgress* progress = nullptr;
  double progressFrom = 0.0;
  double progressTo = 1.0;
};

// Generalised Lomb-Scargle power with a floating mean and weights 1 / dy^2
// (Zechmeister & Kuerster 2009, A&A 496, 577, eqs. 4-20): the fraction of the
// weighted variance about the mean that a sinusoid of the frequency removes, in [0, 1].
// Sines and cosines advance from frequency to frequency by rotation and are computed
// afresh at the start of every block, which keeps them within 1e-13 of direct values.
bool GlsPower(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
              const FrequencyGrid& grid, std::span<double> power, const MethodRun& run = {});

// The same power, approximate and fast for long grids: the trigonometric sums of all
// frequencies at once from a transform of the weights spread over a regular time grid
// (Press & Rybicki 1989, ApJ 338, 277). Within about 1e-4 of GlsPower (absolute).
bool GlsPowerApproximate(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
                         const FrequencyGrid& grid, std::span<double> power);

// The spectral window by the same transform.
bool SpectralWindowApproximate(std::span<const double> t, std::span<const double> dy, const FrequencyGrid& grid,
                               std::span<double> window);

// The same fraction for a Fourier series of `harmonics` terms plus a constant, fitted
// by weighted least squares: the multi-harmonic periodogram (Schwarzenberg-Czerny
// 1996, ApJ 460, L107) with the weights and floating mean of Zechmeister & Kuerster
// 2009. One harmonic gives GlsPower. 0 where the fit is singular (too few points).
bool MultiHarmonicPower(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
                        const FrequencyGrid& grid, int harmonics, std::span<double> power, const MethodRun& run = {});

// The spectral window |sum w exp(2 pi i f t)|^2 with the weights normalised to a sum
// of 1 (1 at frequency 0): where it peaks, the sampling alone makes peaks.
bool SpectralWindow(std::span<const double> t, std::span<const double> dy, const FrequencyGrid& grid,
                    std::span<double> window, const MethodRun& run = {});

// Lafler-Kinman theta (Lafler & Kinman 1965, ApJS 11, 216) at every frequency: the sum
// of squared differences of magnitudes neighbouring in phase, over the sum of squared
// deviations from the mean; small at a true period, near 2 for noise.
bool LaflerKinmanTheta(std::span<const double> t, std::span<const double> y, std::span<const double> freqs,
                       std::span<double> theta, const MethodRun& run = {});

// Box least squares (Kovacs, Zucker & Mazeh 2002, A&A 391, 369). The phase from the
// earliest time is cut into `bins` equal bins; a box of a duration d spans
// max(1, round(d f bins)) bins (durations longer than maxFraction of the period are
// left out) and starts at any bin edge, wrapping. With w the weights normalised to a
// sum of 1 and y measured from the weighted mean, a box with in-box weight r and sum
// s = sum w y (fainter: s > 0) removes s^2 / (r (1 - r)) of the weighted variance; the
// power is the largest such fraction over durations and starts. Boxes with fewer than
// minPoints measurements are left out.
struct BlsSettings {
  std::span<const double> durations; // days
  int bins = 200;
  double maxFraction = 0.25;
  int minPoints = 3;
};
bool BlsPower(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
              std::span<const double> freqs, const BlsSettings& settings, std::span<double> power,
              const MethodRun& run = {});

// The best box at one frequency: its power, duration (days), the time of its middle
// and its depth (mean in-box magnitude minus the mean out of it).
struct BlsBox {
  double power = 0.0;
  double duration = 0.0;
  double midTime = 0.0;
  double depth = 0.0;
};
BlsBox BestBox(std::span<const double> t, std::span<const double> y, std::span<const double> dy, double freq,
               const BlsSettings& settings);

} // namespace morvik
