#pragma once
// The options of the period search in morvik-cli, read into plain values.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvik::cli {

struct PeriodSearchOptions {
  std::vector<std::string> methods{"gls", "mhgls", "lk"}; // "lk", "gls", "mhgls", "bls"
  std::optional<double> minPeriod;                        // days; default 0.05
  std::optional<double> maxPeriod;                        // days; default the span
  double oversampling = 10.0;
  int fapRounds = 0;
  std::uint64_t seed = 1;
  bool approximate = false;   // --approximate
  std::string trend = "auto"; // --trend: auto, none, linear, quadratic
  double maxWork = 600.0;     // --max-work: seconds of estimated work beyond which a search is refused
  friend bool operator==(const PeriodSearchOptions&, const PeriodSearchOptions&) = default;
};

// True for --method, --min-period, --max-period, --oversampling, --fap-rounds, --seed,
// --trend, --max-work.
bool IsPeriodSearchOption(const std::string& name);

// Reads the value of such an option into o; the usage error, or nothing when it is fine.
std::optional<std::string> ParsePeriodSearchOption(const std::string& name, const std::string& value,
                                                   PeriodSearchOptions& o);

// The lines of --help for the period search.
const char* PeriodSearchHelp();

} // namespace morvik::cli
