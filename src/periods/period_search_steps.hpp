#pragma once
// The steps of one period search, shared by its source files.

#include <span>
#include <string>
#include <vector>

#include "periods/period_fit.hpp"
#include "periods/period_methods.hpp"
#include "periods/period_search.hpp"

namespace morvik {

struct CleanSeries {
  std::vector<double> t, y, dy;
  bool weighted = false;
};

// The finite points with positive errors (all errors 1 when none are given).
CleanSeries Clean(std::span<const double> t, std::span<const double> y, std::span<const double> dy);

// The same series with the trend's least-squares fit taken off the magnitudes.
CleanSeries Detrended(const CleanSeries& s, TrendOrder trend);

// Whether the magnitudes are constant to rounding, or scatter by less than a hundredth
// of their errors: such a series holds no period.
bool NearlyConstant(const CleanSeries& s);

// The index of the highest score within `reach` grid steps of frequency f on the
// ascending grid freqs; freqs.size() when f lies beyond the grid.
std::size_t HighestNear(std::span<const double> freqs, std::span<const double> score, double f, std::size_t reach);

// Box search: the half period preferred to the strongest peak when the transits of one
// parity fit both (see period_box_rules.cpp); returns the number of halvings.
int PreferHalfPeriodOfBox(const CleanSeries& s, std::span<const double> freqs, std::span<const double> score,
                          std::size_t minSep, const BlsSettings& box, std::vector<std::size_t>& top);

// The box of a refined peak, its depth's standard error and the chi-squared of the box
// model.
struct BoxFit {
  BlsBox box;
  double depthError = 0.0;
  double chi2 = 0.0;
};
BoxFit FitBox(const CleanSeries& s, double f, const BlsSettings& settings);

// The local maxima of a box periodogram on its own grid, best first, each at least a
// peak width (duration f / span, with the duration of the best box there) from the ones
// before it.
std::vector<std::size_t> BoxPeakIndices(const CleanSeries& s, std::span<const double> freqs,
                                        std::span<const double> score, const BlsSettings& box, double span,
                                        std::size_t count);

// The method's statistic at one frequency (theta for Lafler-Kinman).
double PowerAt(PeriodMethod method, const CleanSeries& s, double f, const PeriodSearchSettings& settings);

// The frequency of the best statistic of the method among `fine` points over f +- reach.
double FineSearch(PeriodMethod method, const CleanSeries& s, double f, double reach,
                  const PeriodSearchSettings& settings, int fine = 21);

// The spectral window at one frequency.
double WindowAt(const CleanSeries& s, double f);

// The window peak the frequency lies on: the daily, sidereal daily, lunar and yearly
// sampling frequencies when the window is high there, a strong peak of the window, or
// a high window at f itself; "" when none. tolerance in cycles per day.
std::string WindowMark(const CleanSeries& s, double f, std::span<const double> windowPeaks, double tolerance);

} // namespace morvik
