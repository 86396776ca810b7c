#pragma once
// How likely noise alone gives a peak as high: the analytic bound for the generalised
// Lomb-Scargle periodogram and a permutation test for any statistic.

#include <cstdint>
#include <span>
#include <vector>

namespace morvik {

// False-alarm probability of a generalised Lomb-Scargle power z (in [0, 1]) of n
// points searched up to fmax cycles per day (Baluev 2008, MNRAS 385, 1279, eqs. 5-8
// for a floating mean, d_H = 1 and d_K = 3 parameters): with N_H = n - 1, N_K = n - 3,
// single-frequency probability (1 - z)^(N_K / 2), effective span
// T = sqrt(4 pi D_t) with D_t the weighted variance of the times, W = fmax T and
// tau = gamma(N_H) W (1 - z)^((N_K - 1) / 2) sqrt(N_H z / 2),
// gamma(N) = sqrt(2 / N) Gamma(N / 2) / Gamma((N - 1) / 2); the probability is
// 1 - (1 - single) exp(-tau), at most 1.
double BaluevFap(double z, std::size_t n, double fmax, std::span<const double> t, std::span<const double> dy);

// The same from the pieces: the weighted variance of the times given.
double BaluevFapFromTimeVariance(double z, std::size_t n, double fmax, double timeVariance);

// Permutation number `round` of n items for `seed`: a Fisher-Yates shuffle driven by
// a splitmix64 stream of (seed, round), the same on every machine.
std::vector<std::uint32_t> Permutation(std::size_t n, std::uint64_t seed, std::uint64_t round);

// The permutation false-alarm probability: (1 + beaten) / (1 + rounds), where beaten
// counts the rounds whose best score reached the observed one.
double PermutationFap(std::size_t beaten, std::size_t rounds);

} // namespace morvik
