#pragma once
// Choosing between a period and its multiples: the harmonic fits at P/3, P/2, P and 2P
// compared as nested least-squares models.

#include <cmath>
#include <cstddef>
#include <span>
#include <string>

#include "periods/period_grid.hpp"

namespace morvik {

// The regularised incomplete beta function I_x(a, b), by its continued fraction
// (modified Lentz).
double IncompleteBeta(double a, double b, double x);

// Probability that a model with extra parameters fits better by chance (Fisher's
// F test for nested least-squares fits): the simple fit explains fraction pSimple of
// the variance with kSimple parameters, the larger fit pComplex with kComplex, n points.
double NestedFitProbability(double pSimple, std::size_t kSimple, double pComplex, std::size_t kComplex, std::size_t n);

struct HarmonicChoice {
  double period = 0.0;
  std::string note; // what changed, empty if nothing
};

// From a period found by any method, the one the data support best: a shorter period
// P/3 or P/2 when `harmonics` terms there fit nearly as well as the corresponding
// harmonics of P (the fit at P cannot be told apart from a subharmonic of a shorter
// period, probability of chance improvement above keepShorter), then twice the period
// when the fit at 2P with twice the harmonics is better beyond chance (probability
// below takeLonger, removing a tenth of the variance left at P: unequal minima of an
// eclipsing binary). Frequencies are refined to
// the best of a few points around k f at a spacing of step. hint: the period a method
// that assumes no shape found (Lafler-Kinman), 0 if none: when it is twice the period,
// an improvement beyond a 5 % chance is enough to double it. Only frequencies within
// [fLo, fHi], the range searched, are chosen.
HarmonicChoice ChooseHarmonic(std::span<const double> t, std::span<const double> y, std::span<const double> dy,
                              double period, int harmonics, double step, double hint = 0.0, double fLo = 0.0,
                              double fHi = HUGE_VAL, double keepShorter = 0.01, double takeLonger = 1e-4);

} // namespace morvik
