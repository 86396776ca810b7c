#pragma once
// A synthetic star field: star positions and magnitudes, the injected variables, the
// observing times and the per-frame conditions. Everything follows from the seed.

#include <cstdint>
#include <string>
#include <vector>

namespace fieldgen {

// xoshiro256** seeded through splitmix64: the same numbers on every platform, unlike
// the standard distributions, whose algorithms the library chooses.
class Rng {
public:
  explicit Rng(std::uint64_t seed);
  std::uint64_t Next();
  double Uniform(); // [0, 1)
  double Normal();  // mean 0, sigma 1
  int Below(int n); // 0 ... n - 1

private:
  std::uint64_t s_[4];
  bool haveSpare_ = false;
  double spare_ = 0.0;
};

struct FieldOptions {
  std::string out = "field";
  int stars = 300;
  int frames = 300;
  int nights = 4;
  int width = 1024;
  int height = 768;
  bool sizeGiven = false; // --width or --height given: keep the size, allow overlaps
  std::uint64_t seed = 20240917;
  bool image = true;
};

enum class VariableType { EclipsingBinary, RRLyrae, ShortPeriodPulsator, Irregular };
const char* TypeName(VariableType type);

struct Variable {
  int id = 0; // 1-based star id
  VariableType type = VariableType::Irregular;
  double period = 0.0;    // days; 0 for the irregular star
  double amplitude = 0.0; // peak to peak, magnitudes
  double epoch = 0.0;     // JD of phase 0
  // The irregular star: a sum of slow sinusoids with random phases.
  std::vector<double> slowPeriods, slowAmps, slowPhases;
};

struct Star {
  double x = 0.0, y = 0.0; // 1-based pixel coordinates along NAXIS1, NAXIS2
  double m = 0.0;          // catalog magnitude (out of eclipse / mean light)
  int variable = -1;       // index into Field::variables, -1 when constant
};

struct Field {
  int width = 0, height = 0;
  std::vector<Star> stars; // element id - 1
  std::vector<Variable> variables;
  int comparisonId = 0;
  std::vector<double> times;     // JD of each frame
  std::vector<double> zeroPoint; // magnitude offset common to every star of a frame
  std::vector<double> quality;   // error multiplier of a frame (seeing, sky)
  int cloudyFrame = -1;
  double cloudExtinction = 0.0;
};

// Builds the field; the size is enlarged (up to 2200 x 2200) when the stars would not
// fit at the minimum separation and the size was not given explicitly.
Field MakeField(const FieldOptions& options);

// Magnitude offset of variable v at time t (0 at the catalog magnitude).
double VariableOffset(const Variable& v, double t);

// The photometric error expected for a star of magnitude m in a frame of quality 1.
double ErrorModel(double m);

} // namespace fieldgen
