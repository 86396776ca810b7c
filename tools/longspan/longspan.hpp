#pragma once
// Long-span test series: seasons of nightly visits with gaps between them (the
// sampling that makes daily aliases), variable stars of several shapes, realistic
// errors and a few outliers, and the truth for each.

#include <cstdint>
#include <string>
#include <vector>

namespace morvik::longspan {

enum class Kind { Noise, Sinusoid, RRab, RRc, EclipsingEqual, EclipsingUnequal, Transit };

const char* KindName(Kind k);

struct Sampling {
  double start = 2460000.0;     // JD of the first night
  int seasons = 2;              // one per year
  int seasonNights = 200;       // nights per season
  double nightFraction = 0.5;   // chance that a night has a visit
  int visitsPerNight = 1;       // for transits: many points per night
  double visitSpacing = 0.0104; // days between the visits of one night
};

struct Series {
  std::string name;
  Kind kind = Kind::Noise;
  double period = 0.0;    // days; 0 for noise
  double amplitude = 0.0; // peak to peak, or the depth of the deeper eclipse or transit (mag)
  double noise = 0.0;     // typical error per point (mag)
  double duration = 0.0;  // transits: days
  double epoch = 0.0;     // time of minimum light
  int transitsSeen = 0;   // transits with at least one point inside
  std::vector<double> t, y, dy;
};

// The times of one star.
std::vector<double> MakeTimes(const Sampling& s, std::uint64_t seed);

// Magnitude offset of a shape at phase in [0, 1) (0 at minimum light for eclipses and
// transits, at maximum light for pulsators), scaled to amplitude 1.
double Shape(Kind kind, double phase, double secondaryDepth, double width);

// One star of the kind with the period and amplitude given; errors scatter by about
// noise, about 1 % of the points are outliers of 5 to 10 times the noise.
Series MakeSeries(Kind kind, double period, double amplitude, double noise, const Sampling& s, std::uint64_t seed);

// A mixed set: the kinds in turn, periods and amplitudes drawn within realistic ranges,
// amplitudes between ampLo and ampHi times the noise.
struct SetOptions {
  std::vector<Kind> kinds{Kind::Sinusoid, Kind::RRab, Kind::RRc, Kind::EclipsingEqual, Kind::EclipsingUnequal};
  double ampLo = 5.0, ampHi = 20.0;
  double noiseLo = 0.005, noiseHi = 0.03;
  Sampling sampling;
};
std::vector<Series> MakeSet(std::size_t count, std::uint64_t seed, const SetOptions& options);

// Files: one "name t mag err" line per point, and the truth table (CSV with a header).
std::string SeriesText(const std::vector<Series>& set);
std::string TruthCsv(const std::vector<Series>& set);

} // namespace morvik::longspan
