#pragma once
// The photometry data set: one table of frames, the per-star statistics and the
// star catalog. Plain records; every command works on them in place.

#include <cstdint>
#include <vector>

#include "common/capacities.hpp"

namespace morvik {

// One star in one frame.
struct TMeasurement {
  double Mag = 0.0;    // as read; 0 when invalid in the file
  double Err = 0.0;    // as read; 0 when invalid in the file
  double RunMag = 0.0; // ensemble-corrected magnitude (Run)
  bool Valid = false;  // takes part in computations and plots

  friend bool operator==(const TMeasurement&, const TMeasurement&) = default;
};

// One row of the table: one frame.
struct TDataLine {
  double Time = 0.0;                // JD, first column
  std::vector<TMeasurement> Items;  // StarCount elements, element id - 1
  std::uint16_t ValidCount = 0;     // valid measurements (when read, then at each Run)
  double FrameErr = 0.0;            // mean Err of the valid measurements (Run)

  friend bool operator==(const TDataLine&, const TDataLine&) = default;
};

// Everything computed for one star.
struct TStarStat {
  double Mean = 0.0;
  double MeanW = 0.0;
  std::uint16_t NValid = 0;
  std::uint16_t NAccepted = 0;
  double MeanErr = 0.0;
  double Variance = 0.0;
  bool Used = false;       // comparison star
  std::uint8_t Mark = 0;   // 0 none, 1 variable, 2 false alarm
  double Weight = 0.0;
  double RunMean = 0.0;
  double RunMeanW = 0.0;
  double RunVariance = 0.0;
  double ChiSq = 0.0;
  double RunMedian = 0.0;
  double Mad = 0.0;
  double RobustMedian = 0.0;
  double ExcessVariance = 0.0;
  double VonNeumann = 0.0;

  friend bool operator==(const TStarStat&, const TStarStat&) = default;
};

inline constexpr std::uint8_t kMarkNone = 0;
inline constexpr std::uint8_t kMarkVariable = 1;
inline constexpr std::uint8_t kMarkFalseAlarm = 2;

// The data set.
struct TTimeSeries {
  std::int32_t RowCount = 0;
  std::uint16_t StarCount = 0;
  std::vector<TDataLine> Rows;  // RowCount elements, file order
  std::vector<TStarStat> Stats; // empty, or StarCount elements (after a Run)
  std::uint16_t UsedCount = 0;
  double MeanVariance = 0.0;
  double MeanSigmaAll = 0.0;

  bool HasStats() const { return StarCount > 0 && Stats.size() == StarCount; }

  // Field by field, every row, measurement and star: "nothing changed" checks.
  friend bool operator==(const TTimeSeries&, const TTimeSeries&) = default;
};

struct TCatalogStar {
  double X = 0.0; // 1-based frame pixels along NAXIS1
  double Y = 0.0; // along NAXIS2
  double M = 0.0; // catalog magnitude
};

// Fixed table of 40 000 entries, entry n for star id n (1 ... 40 000).
class StarCatalog {
public:
  StarCatalog() : entries_(kCatalogSize) {}
  void Clear() { entries_.assign(kCatalogSize, TCatalogStar{}); }
  static bool HasId(long long id) { return id >= 1 && id <= kCatalogSize; }
  // Entry of star id; ids outside 1 ... 40 000 read as the empty entry.
  const TCatalogStar& operator[](long long id) const { return HasId(id) ? entries_[static_cast<std::size_t>(id - 1)] : empty_; }
  TCatalogStar& At(long long id) { return entries_.at(static_cast<std::size_t>(id - 1)); }

private:
  std::vector<TCatalogStar> entries_;
  TCatalogStar empty_{};
};

} // namespace morvik
