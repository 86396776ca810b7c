#pragma once
// Small hand-made data sets for the photometry tests.

#include <cstddef>
#include <cstdint>

#include "dataset/records.hpp"

namespace morvik::testing {

// rows x stars, every measurement valid with Mag = base + 0.5 * star index and Err 0.01.
inline TTimeSeries FlatSeries(int rows, int stars, double base = 12.0) {
  TTimeSeries s;
  s.RowCount = rows;
  s.StarCount = static_cast<std::uint16_t>(stars);
  s.Rows.resize(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    TDataLine& row = s.Rows[static_cast<std::size_t>(r)];
    row.Time = 2450000.0 + 0.01 * r;
    row.Items.resize(static_cast<std::size_t>(stars));
    for (int j = 0; j < stars; ++j) {
      TMeasurement& m = row.Items[static_cast<std::size_t>(j)];
      m.Mag = base + 0.5 * j;
      m.Err = 0.01;
      m.Valid = true;
    }
    row.ValidCount = static_cast<std::uint16_t>(stars);
  }
  return s;
}

inline TMeasurement& At(TTimeSeries& s, int row, int id) {
  return s.Rows[static_cast<std::size_t>(row)].Items[static_cast<std::size_t>(id - 1)];
}

inline TStarStat& Star(TTimeSeries& s, int id) { return s.Stats[static_cast<std::size_t>(id - 1)]; }

// Deterministic noise in [-amplitude, amplitude].
class Noise {
public:
  explicit Noise(std::uint64_t seed) : state_(seed) {}
  double Next(double amplitude) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    const double u = static_cast<double>(state_ >> 11) / 9007199254740992.0; // [0, 1)
    return (2.0 * u - 1.0) * amplitude;
  }

private:
  std::uint64_t state_;
};

// Adds noise of the given amplitude to star id in every row.
inline void Scatter(TTimeSeries& s, int id, double amplitude, std::uint64_t seed) {
  Noise noise(seed);
  for (int r = 0; r < s.RowCount; ++r)
    At(s, r, id).Mag += noise.Next(amplitude);
}

// Places every catalog star in the middle of a 1024 x 768 frame.
inline void CentreCatalog(StarCatalog& catalog, int stars) {
  for (int id = 1; id <= stars; ++id) {
    catalog.At(id).X = 512.0;
    catalog.At(id).Y = 384.0;
    catalog.At(id).M = 11.0 + 0.25 * id;
  }
}

} // namespace morvik::testing
