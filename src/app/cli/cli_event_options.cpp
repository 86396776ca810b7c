#include "app/cli/cli_event_options.hpp"

#include <cmath>

#include "common/parse.hpp"

namespace morvik::cli {

namespace {

std::optional<std::pair<double, double>> Pair(const std::string& value) {
  const auto comma = value.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const auto a = ParseDecimal(value.substr(0, comma)), b = ParseDecimal(value.substr(comma + 1));
  if (!a || !b || !std::isfinite(*a) || !std::isfinite(*b)) return std::nullopt;
  return std::make_pair(*a, *b);
}

} // namespace

bool IsEventOption(const std::string& name) {
  return name == "--period" || name == "--t0" || name == "--ld" || name == "--filter" || name == "--teff" ||
         name == "--baseline" || name == "--ephemeris" || name == "--exposure" ||
         name == "--walkers" || name == "--steps" || name == "--transit-report" || name == "--observer";
}

std::optional<std::string> ParseEventOption(const std::string& name, const std::string& value, EventOptions& o) {
  const auto number = ParseDecimal(value);
  const bool positive = number && *number > 0.0 && std::isfinite(*number);
  if (name == "--period") {
    if (!positive) return "--period needs a positive number of days, not \"" + value + "\"";
    o.period = *number;
  } else if (name == "--t0") {
    if (!number || !std::isfinite(*number)) return "--t0 needs a time, not \"" + value + "\"";
    o.t0 = *number;
  } else if (name == "--ld") {
    if (value == "free") {
      o.fitLd = true;
      return std::nullopt;
    }
    const auto p = Pair(value);
    if (!p) return "--ld needs u1,u2 or free, not \"" + value + "\"";
    o.ld = p;
  } else if (name == "--filter") {
    if (value.empty()) return "--filter needs a name";
    o.filter = value;
  } else if (name == "--teff") {
    if (!positive) return "--teff needs a temperature in kelvin, not \"" + value + "\"";
    o.teff = *number;
  } else if (name == "--baseline") {
    if (value.empty()) return "--baseline needs terms such as time2+airmass";
    o.baseline = value;
  } else if (name == "--ephemeris") {
    const auto p = Pair(value);
    if (!p) return "--ephemeris needs T0,P, not \"" + value + "\"";
    if (!(p->second > 0.0)) return "--ephemeris needs a positive period";
    o.ephemeris = p;
  } else if (name == "--exposure") {
    if (!number || *number < 0.0) return "--exposure needs seconds, not \"" + value + "\"";
    o.exposure = *number;
  } else if (name == "--walkers" || name == "--steps") {
    const auto v = ParseInteger(value);
    const int lo = name == "--walkers" ? 8 : 100;
    if (!v || *v < lo || *v > 1000000)
      return name + " must be a whole number from " + std::to_string(lo) + " to 1000000";
    (name == "--walkers" ? o.walkers : o.steps) = *v;
  } else if (name == "--transit-report") {
    if (value.empty()) return "--transit-report needs a file name";
    o.reportPath = value;
  } else if (name == "--observer") {
    if (value.empty()) return "--observer needs a code";
    o.observer = value;
  } else {
    return "unknown option " + name;
  }
  return std::nullopt;
}

const char* EventHelp() {
  return R"(  --transit ID=FILE       fit a transit to star ID (relative flux from its RUN
                          magnitudes); parameters with percentiles, then the model
                          and residuals, to FILE (CSV); repeatable
  --minima ID=FILE        times of minimum of star ID (Kwee-van Woerden), one a night,
                          with errors, cycles and O-C, to FILE (CSV); repeatable
  --period P              transit period, days (3; fixed)
  --t0 T                  first guess of the mid-transit time (searched otherwise)
  --ld U1,U2 | free       limb darkening fixed, or free about the table's values
  --filter F --teff K     for the limb-darkening table (V, 5750)
  --baseline TERMS        time0|time1|time2, +airmass, +COLUMN; BIC chooses otherwise
  --exposure S            exposure in seconds; the model is averaged over it
  --walkers N --steps N   the sampler (32, 5000); --seed seeds it
  --ephemeris T0,P        the ephemeris of --minima (fitted to the minima otherwise)
  (--target "RA DEC" also converts JD (UTC) to BJD_TDB for the report)
  --transit-report FILE   the last --transit in the AAVSO exoplanet format
  --observer CODE         observer code in the report
)";
}

} // namespace morvik::cli
