#include "app/cli/cli_period_options.hpp"

#include <algorithm>
#include <cmath>

#include "common/parse.hpp"

namespace morvik::cli {

bool IsPeriodSearchOption(const std::string& name) {
  return name == "--method" || name == "--min-period" || name == "--max-period" || name == "--oversampling" ||
         name == "--fap-rounds" || name == "--seed" || name == "--trend" || name == "--max-work";
}

std::optional<std::string> ParsePeriodSearchOption(const std::string& name, const std::string& value,
                                                   PeriodSearchOptions& o) {
  auto positive = [&]() -> std::optional<double> {
    auto v = ParseDecimal(value);
    if (!v || !(*v > 0.0) || !std::isfinite(*v)) return std::nullopt;
    return v;
  };
  if (name == "--method") {
    std::vector<std::string> methods;
    std::string rest = value;
    while (true) {
      const auto comma = rest.find(',');
      const std::string m = rest.substr(0, comma);
      if (m == "all") {
        for (const char* each : {"gls", "mhgls", "lk", "bls"})
          methods.emplace_back(each);
      } else if (m == "lk" || m == "gls" || m == "mhgls" || m == "bls") {
        methods.push_back(m);
      } else {
        return "--method needs lk, gls, mhgls, bls or all (or a list with commas), not \"" + value + "\"";
      }
      if (comma == std::string::npos) break;
      rest = rest.substr(comma + 1);
    }
    o.methods.clear();
    for (const std::string& m : methods) // each once, in the order given
      if (std::find(o.methods.begin(), o.methods.end(), m) == o.methods.end()) o.methods.push_back(m);
    return std::nullopt;
  }
  if (name == "--min-period" || name == "--max-period" || name == "--oversampling" || name == "--max-work") {
    auto v = positive();
    if (!v) return name + " needs a positive number, not \"" + value + "\"";
    if (name == "--max-work") o.maxWork = *v;
    if (name == "--min-period") o.minPeriod = v;
    if (name == "--max-period") o.maxPeriod = v;
    if (name == "--oversampling") o.oversampling = *v;
    return std::nullopt;
  }
  if (name == "--fap-rounds") {
    auto v = ParseInteger(value);
    if (!v || *v < 0 || *v > 1000000) return "--fap-rounds must be a whole number from 0 to 1000000";
    o.fapRounds = *v;
    return std::nullopt;
  }
  if (name == "--trend") {
    if (value != "none" && value != "linear" && value != "quadratic" && value != "auto")
      return "--trend needs none, linear or quadratic, not \"" + value + "\"";
    o.trend = value;
    return std::nullopt;
  }
  if (name == "--seed") {
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos || value.size() > 19)
      return "--seed needs a whole number, not \"" + value + "\"";
    o.seed = std::stoull(value);
    return std::nullopt;
  }
  return "unknown option " + name;
}

const char* PeriodSearchHelp() {
  return R"(  --period-search ID=FILE  search star ID for periods on the full frequency grid and
                          write its peaks to FILE (CSV); repeatable
  --period-search-all FILE  search every star with enough points; one CSV row per star
  --method M[,M...]       methods of --period-search: lk, gls, mhgls, bls, or all
                          of them (gls,mhgls,lk)
  --min-period D          shortest period searched, days (0.05)
  --max-period D          longest period searched, days (the time span)
  --oversampling K        grid points per peak width 1/span (10)
  --fap-rounds N          permutation rounds for the false-alarm probability (0)
  --seed S                seed of the permutations (1)
  --trend T               none, linear or quadratic: fitted with every period and
                          in the null hypothesis (linear when the span exceeds 10
                          times the longest period searched, else none)
  --max-work SECONDS      refuse a period search whose work is estimated beyond this
                          (600: about ten minutes on a two-core computer)
  --approximate           generalised Lomb-Scargle by a transform: faster on long
                          grids, within about 1e-4 in power
)";
}

} // namespace morvik::cli
