#pragma once
// A generated field with a known truth for the ensemble and candidate tests: constant
// stars with noise that grows with magnitude, a few outliers and missing points, a
// slow drift and frame-to-frame transparency common to all stars, and variables of
// several kinds over a range of amplitudes relative to the noise. One quiet-looking
// variable sits among the bright stars, where the automatic ensemble takes it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dataset/records.hpp"

namespace morvik::testing {

enum class Kind { Constant, Pulsating, Eclipsing, Irregular, Transit, Algol };

struct TrueStar {
  Kind kind = Kind::Constant;
  double mag = 0.0;          // mean magnitude
  double sigma = 0.0;        // noise at that magnitude
  double amplitude = 0.0;    // full amplitude (peak to peak, or depth)
  std::vector<double> curve; // true magnitude in every row, without noise or drift
};

struct SyntheticField {
  TTimeSeries series;
  TTimeSeries clean; // the same measurements without noise and outliers
  StarCatalog catalog;
  std::vector<TrueStar> truth; // element id - 1
  int ensembleVariable = 0;    // id of the variable placed among the comparison stars
};

inline double NoiseAt(double mag) { return 0.003 + 0.002 * std::pow(10.0, 0.4 * (mag - 12.0)); }

// The variable among the comparison stars: its kind and full amplitude (0: 8 x its noise).
struct EnsembleVariable {
  Kind kind = Kind::Pulsating;
  double amplitude = 0.0;
};

inline SyntheticField MakeField(std::uint64_t seed, int stars = 200, int rows = 300, int variables = 30,
                                EnsembleVariable ensemble = {}) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 1.0);
  SyntheticField f;
  f.truth.resize(static_cast<std::size_t>(stars));
  std::vector<double> time(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) // three nights of 100 frames
    time[static_cast<std::size_t>(r)] = 2460000.0 + (r / 100) + 0.003 * (r % 100);

  for (int id = 1; id <= stars; ++id) {
    TrueStar& t = f.truth[static_cast<std::size_t>(id - 1)];
    t.mag = 10.0 + 5.0 * std::sqrt(unit(rng)); // fainter stars are more numerous
    t.sigma = NoiseAt(t.mag);
    t.curve.assign(static_cast<std::size_t>(rows), t.mag);
    TCatalogStar& c = f.catalog.At(id);
    c.X = 200.0 + 600.0 * unit(rng);
    c.Y = 150.0 + 450.0 * unit(rng);
    c.M = t.mag;
  }

  // Variables on ids spread over the field; amplitudes 1 ... 30 x the noise.
  auto makeVariable = [&](TrueStar& t, Kind kind, double ratio) {
    t.kind = kind;
    t.amplitude = ratio * t.sigma;
    const double period = 0.15 + 0.6 * unit(rng);
    const double phase0 = unit(rng);
    double walk = 0.0;
    for (int r = 0; r < rows; ++r) {
      const double ph = std::fmod(time[static_cast<std::size_t>(r)] / period + phase0, 1.0);
      double dm = 0.0;
      switch (kind) {
      case Kind::Pulsating: // a fast rise and a slow decline
        dm = t.amplitude * (ph < 0.2 ? 0.5 - ph / 0.2 : -0.5 + (ph - 0.2) / 0.8);
        break;
      case Kind::Eclipsing: { // two eclipses of unequal depth
        const double d1 = std::fabs(ph - 0.25), d2 = std::fabs(ph - 0.75);
        if (d1 < 0.08) dm = t.amplitude * (1.0 - d1 / 0.08);
        if (d2 < 0.08) dm = 0.6 * t.amplitude * (1.0 - d2 / 0.08);
        break;
      }
      case Kind::Algol: { // narrow eclipses, a faint secondary: in eclipse a sixth of the time
        const double d1 = std::fabs(ph - 0.25), d2 = std::fabs(ph - 0.75);
        if (d1 < 0.04) dm = t.amplitude * (1.0 - d1 / 0.04);
        if (d2 < 0.04) dm = 0.3 * t.amplitude * (1.0 - d2 / 0.04);
        break;
      }
      case Kind::Irregular:
        walk = 0.9 * walk + gauss(rng);
        dm = t.amplitude * 0.25 * walk;
        break;
      case Kind::Transit: // a flat dip over a tenth of the period
        dm = std::fabs(ph - 0.5) < 0.05 ? t.amplitude : 0.0;
        break;
      case Kind::Constant:
        break;
      }
      t.curve[static_cast<std::size_t>(r)] = t.mag + dm;
    }
  };
  const Kind kinds[] = {Kind::Pulsating, Kind::Eclipsing, Kind::Irregular, Kind::Transit};
  for (int v = 0; v < variables && v < stars - 1; ++v) {
    const int id = 2 + v * (stars - 1) / variables;
    const double ratio = std::exp(std::log(1.0) + (std::log(30.0) - std::log(1.0)) * unit(rng));
    makeVariable(f.truth[static_cast<std::size_t>(id - 1)], kinds[v % 4], ratio);
  }
  // The ensemble's variable: bright, low id, a modest sinusoid-like pulsation.
  f.ensembleVariable = 1;
  TrueStar& ev = f.truth[0];
  ev.mag = 10.0 + 0.5 * unit(rng);
  ev.sigma = NoiseAt(ev.mag);
  f.catalog.At(1).M = ev.mag;
  makeVariable(ev, ensemble.kind, ensemble.amplitude > 0.0 ? ensemble.amplitude / ev.sigma : 8.0);

  // Measurements: truth + common drift and transparency + noise, a few outliers and gaps.
  TTimeSeries& s = f.series;
  std::vector<double> common(static_cast<std::size_t>(rows));
  s.RowCount = rows;
  s.StarCount = static_cast<std::uint16_t>(stars);
  s.Rows.resize(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    TDataLine& row = s.Rows[static_cast<std::size_t>(r)];
    row.Time = time[static_cast<std::size_t>(r)];
    common[static_cast<std::size_t>(r)] = 0.15 * std::sin(0.02 * r) + 0.03 * gauss(rng);
    row.Items.resize(static_cast<std::size_t>(stars));
    std::uint16_t valid = 0;
    for (int j = 0; j < stars; ++j) {
      const TrueStar& t = f.truth[static_cast<std::size_t>(j)];
      TMeasurement& m = row.Items[static_cast<std::size_t>(j)];
      double noise = t.sigma * gauss(rng);
      if (unit(rng) < 0.002) noise += t.sigma * (5.0 + 5.0 * unit(rng));
      m.Mag = t.curve[static_cast<std::size_t>(r)] + common[static_cast<std::size_t>(r)] + noise;
      m.Err = t.sigma * std::clamp(1.0 + 0.1 * gauss(rng), 0.7, 1.3);
      m.Valid = unit(rng) >= 0.01;
      valid = static_cast<std::uint16_t>(valid + (m.Valid ? 1 : 0));
    }
    row.ValidCount = valid;
  }
  f.clean = s;
  for (int r = 0; r < rows; ++r)
    for (int j = 0; j < stars; ++j) {
      TMeasurement& m = f.clean.Rows[static_cast<std::size_t>(r)].Items[static_cast<std::size_t>(j)];
      m.Mag =
          f.truth[static_cast<std::size_t>(j)].curve[static_cast<std::size_t>(r)] + common[static_cast<std::size_t>(r)];
    }
  return f;
}

// Root mean square of a star's corrected magnitudes in series against its true curve,
// after removing the mean offset between the two (the scale of the comparison star).
inline double TruthDeviation(const SyntheticField& f, const TTimeSeries& series, int id) {
  const auto j = static_cast<std::size_t>(id - 1);
  double sum = 0.0, sumSq = 0.0;
  int n = 0;
  for (std::size_t r = 0; r < series.Rows.size(); ++r) {
    const TMeasurement& m = series.Rows[r].Items[j];
    if (!m.Valid) continue;
    const double d = m.RunMag - f.truth[j].curve[r];
    sum += d;
    sumSq += d * d;
    ++n;
  }
  if (n < 2) return 0.0;
  const double mean = sum / n;
  return std::sqrt(std::max(0.0, sumSq / n - mean * mean));
}

} // namespace morvik::testing
