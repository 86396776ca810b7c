#pragma once
// The affine-invariant ensemble sampler with the stretch move of J. Goodman &
// J. Weare, "Ensemble samplers with affine invariance", CAMCoS 5, 65 (2010), and the
// integrated autocorrelation time with A. Sokal's automatic window (Sokal 1997,
// "Monte Carlo methods in statistical mechanics", sec. 3; as used by Goodman & Weare).

#include <cstdint>
#include <functional>
#include <vector>

namespace morvik::events {

// A small generator of our own (splitmix64) so that a seed gives the same chain on
// every platform and standard library.
class Rng {
public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  double Uniform(); // [0, 1)
  double Normal();  // Box-Muller
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Uniform() * static_cast<double>(n)); }

private:
  std::uint64_t state_;
};

struct EnsembleOptions {
  int walkers = 32;
  int steps = 5000;
  double stretch = 2.0; // the scale a of the stretch distribution g(z) ~ 1/sqrt(z) on [1/a, a]
  std::uint64_t seed = 1;
  // Called every so many steps with the fraction done; returning false stops the run.
  std::function<bool(double)> progress;
};

struct Chain {
  int walkers = 0, steps = 0, dim = 0; // steps actually run
  std::vector<double> samples;         // [step][walker][dim]
  std::vector<double> logProb;         // [step][walker]
  double acceptance = 0.0;
  bool cancelled = false;
  double At(int step, int walker, int d) const {
    return samples[(static_cast<std::size_t>(step) * walkers + walker) * dim + d];
  }
};

using LogProb = std::function<double(const std::vector<double>&)>;

// Runs the ensemble from the starting positions (one per walker, each of finite log
// probability), updating the walkers in turn against the current ensemble.
Chain RunEnsemble(const LogProb& logProb, const std::vector<std::vector<double>>& start,
                  const EnsembleOptions& options);

// Integrated autocorrelation time of parameter d over the steps from burnIn on, from
// the autocorrelation function averaged over the walkers, summed up to the smallest
// window M with M >= c tau(M).
double AutocorrelationTime(const Chain& chain, int d, int burnIn, double c = 5.0);

// The q-quantile (0..1) of values, linear between order statistics.
double Quantile(std::vector<double> values, double q);

} // namespace morvik::events
