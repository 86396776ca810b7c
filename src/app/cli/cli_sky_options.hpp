#pragma once
// The sky options of morvik-cli, read into plain values: --solve, --sky, --target,
// --catalog, --match-radius, --scale, --solve-time.

#include <optional>
#include <string>

namespace morvik::cli {

struct SkyCliOptions {
  bool solve = false;             // --solve: plate-solve the frame
  bool columns = false;           // --sky: RA and Dec columns in --stats and --candidates
  std::optional<double> targetRa; // --target "RA DEC", degrees
  std::optional<double> targetDec;
  std::string catalog;                       // --catalog FILE: known variables
  std::optional<double> matchRadius;         // arcseconds; default two pixels' worth
  std::optional<double> scaleLow, scaleHigh; // --scale LOW,HIGH in arcsec/px
  double solveTime = 30;                     // --solve-time S
  bool targetForTimes = false;               // --target also serves an exoplanet report's times
  bool Any() const { return solve || columns || targetRa || !catalog.empty(); }
  friend bool operator==(const SkyCliOptions&, const SkyCliOptions&) = default;
};

// --solve and --sky take no value; the others one.
bool IsSkyFlag(const std::string& name);
bool IsSkyValued(const std::string& name);
void SetSkyFlag(const std::string& name, SkyCliOptions& o);
// The usage error, or nothing when the value is fine.
std::optional<std::string> ParseSkyValue(const std::string& name, const std::string& value, SkyCliOptions& o);

const char* SkyHelp();

} // namespace morvik::cli
