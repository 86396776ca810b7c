#pragma once
// The Lafler-Kinman period search: fold a star's RUN magnitudes with every trial
// frequency of a grid, order them by phase and sum the squared steps between
// neighbours; a true period gives a small theta, noise a value near 2.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/log.hpp"
#include "dataset/records.hpp"
#include "periods/periodogram.hpp"

namespace morvik {

// One folded measurement.
struct PhasePoint {
  double phase;
  double mag;
};

// The reference ordering: a Shell sort with gaps 1, 4, 13, 40, ... (the first gap the
// largest below n / 9 by that rule) that swaps only on a strictly greater phase. When
// two phases are equal their final order depends on this exact sequence of swaps, so
// every faster ordering must fall back to it then.
void ShellSortByPhase(std::span<PhasePoint> points);

// Phase of x in [0, 1]: the fraction after truncation toward zero, plus 1 when
// negative (a tiny negative fraction may round up to exactly 1).
double FoldPhase(double x);

// One difference raised to the exponent: the exact square for 2, otherwise the
// magnitude of the difference raised to it, so that any exponent gives a real sum.
double DifferenceTerm(double d, double exponent);

// theta from the sum and the denominator NValid * RunVariance; 0 when the
// denominator is 0 (no valid measurement at the last Run) or the quotient is not a
// finite number.
double ThetaOf(double sum, double denominator);

// The trial frequencies: fLo, then a running sum of step, stopping before the first
// frequency above fHi and after at most count frequencies.
std::vector<double> LaflerKinmanFrequencies(double fLo, double fHi, double step, std::size_t count);

// theta for every frequency, from the times since the phase origin (dt) and the
// magnitudes of the valid measurements in row order. Frequencies are independent, so
// they are shared among `threads` workers (0: as many as the machine has, fewer for
// small work); the result does not depend on the number of workers and equals that
// of folding, ShellSortByPhase and summing frequency by frequency.
void LaflerKinmanThetas(std::span<const double> dt, std::span<const double> mags, std::span<const double> freqs,
                        double exponent, double denominator, std::span<double> theta, unsigned threads = 0);

inline constexpr double kLkShortestPeriod = 0.007; // days, what both commands pass
inline constexpr double kLkPhaseStep = 0.01;
inline constexpr double kLkExponent = 2.0;

// Computes the periodogram of star (zero-based index) into periodograms[star] and logs
// "PERIOD_LK: ..." (or "Sigma is 0" / "Start and end period should not be zero." and
// stores nothing). Throws CommandError when the first and last rows have the same time.
void ComputeLaflerKinman(const TTimeSeries& series, const std::vector<TStarStat>& stats,
                         std::vector<TPeriodogram>& periodograms, std::uint16_t star, double shortest, double longest,
                         double phaseStep, double exponent, Log& log, unsigned threads = 0);

} // namespace morvik
