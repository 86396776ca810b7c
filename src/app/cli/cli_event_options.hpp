#pragma once
// The options of transit fits and times of minimum in morvik-cli.

#include <optional>
#include <string>
#include <vector>

namespace morvik::cli {

struct EventOptions {
  std::optional<double> period;                       // --period P (days)
  std::optional<double> t0;                           // --t0 GUESS
  std::optional<std::pair<double, double>> ld;        // --ld u1,u2 (fixed)
  bool fitLd = false;                                 // --ld free: free about the table's values
  std::string filter = "V";                           // --filter, for the limb-darkening table
  double teff = 5750.0;                               // --teff
  std::optional<std::string> baseline;                // --baseline time0|time1|time2[+airmass][+COLUMN...]
  std::optional<std::pair<double, double>> ephemeris; // --ephemeris T0,P
  std::optional<std::pair<double, double>> target;    // the target's RA, Dec (degrees), from --target
  double exposure = 0.0;                              // --exposure seconds (model averaged over it)
  int walkers = 32, steps = 5000;                     // --walkers, --steps
  std::optional<std::string> reportPath;              // --transit-report FILE
  std::string observer = "XXX";                       // --observer CODE for the report
  friend bool operator==(const EventOptions&, const EventOptions&) = default;
};

// True for the options above (not --transit and --minima, which are outputs).
bool IsEventOption(const std::string& name);

// Reads the value of such an option; the usage error, or nothing when it is fine.
std::optional<std::string> ParseEventOption(const std::string& name, const std::string& value, EventOptions& o);

// The lines of --help for transits and minima.
const char* EventHelp();

} // namespace morvik::cli
