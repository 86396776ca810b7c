#include "app/cli/cli_sky_options.hpp"

#include "astrometry/sexagesimal.hpp"
#include "common/parse.hpp"

namespace morvik::cli {

bool IsSkyFlag(const std::string& name) { return name == "--solve" || name == "--sky"; }

bool IsSkyValued(const std::string& name) {
  return name == "--target" || name == "--catalog" || name == "--match-radius" || name == "--scale" ||
         name == "--solve-time";
}

void SetSkyFlag(const std::string& name, SkyCliOptions& o) {
  if (name == "--solve") o.solve = true;
  if (name == "--sky") o.columns = true;
}

namespace {

// "RA DEC" or "RA,DEC": the split at the blank or comma that leaves two valid angles.
bool SplitTarget(const std::string& v, SkyCliOptions& o) {
  for (std::size_t k = 1; k + 1 < v.size(); ++k) {
    if (v[k] != ' ' && v[k] != ',') continue;
    auto ra = astrometry::ParseRa(v.substr(0, k));
    auto dec = astrometry::ParseDec(v.substr(k + 1));
    if (ra && dec) {
      o.targetRa = ra;
      o.targetDec = dec;
      return true;
    }
  }
  return false;
}

} // namespace

std::optional<std::string> ParseSkyValue(const std::string& name, const std::string& value, SkyCliOptions& o) {
  if (name == "--target") {
    if (!SplitTarget(value, o))
      return "--target needs \"RA DEC\" (hh:mm:ss +dd:mm:ss or degrees), not \"" + value + "\"";
  } else if (name == "--catalog") {
    if (value.empty()) return std::string("--catalog needs a file name");
    o.catalog = value;
  } else if (name == "--match-radius") {
    auto v = ParseDecimal(value);
    if (!v || *v <= 0) return "--match-radius needs arcseconds above 0, not \"" + value + "\"";
    o.matchRadius = v;
  } else if (name == "--scale") {
    const auto comma = value.find(',');
    auto low = comma == std::string::npos ? std::nullopt : ParseDecimal(value.substr(0, comma));
    auto high = comma == std::string::npos ? std::nullopt : ParseDecimal(value.substr(comma + 1));
    if (!low || !high || *low <= 0 || *high < *low) return "--scale needs LOW,HIGH in arcsec/px, not \"" + value + "\"";
    o.scaleLow = low;
    o.scaleHigh = high;
  } else if (name == "--solve-time") {
    auto v = ParseDecimal(value);
    if (!v || *v <= 0) return "--solve-time needs seconds above 0, not \"" + value + "\"";
    o.solveTime = *v;
  }
  return std::nullopt;
}

const char* SkyHelp() {
  return R"(Sky coordinates:
  --solve                 plate-solve the frame offline (astrometry.net and its Tycho-2 indexes); else the
                          frame's own WCS cards are used
  --scale LOW,HIGH        image scale for the solver, arcsec/px (default PIXSCALE/SECPIX, or XPIXSZ/PIXSIZE1
                          with FOCALLEN)
  --solve-time S          processor time the solver may take, seconds (default 30)
  --sky                   RA and Dec (degrees) columns in --stats and --candidates
  --target "RA DEC"       select the catalog star at these coordinates (hh:mm:ss +dd:mm:ss or degrees)
  --catalog FILE          name the known variables of a CSV or TSV catalogue (VSX or GCVS export, or any table
                          with name, RA and Dec columns); --candidates gets name and known/new columns
  --match-radius ARCSEC   cross-match radius (default two pixels' worth)
)";
}

} // namespace morvik::cli
