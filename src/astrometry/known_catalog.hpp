#pragma once
// Known variables from a catalogue file the observer has: a VSX or GCVS export as CSV
// or TSV, or any table with a name, RA and Dec and optionally type, period and
// magnitudes. Columns are found by their headers; angles may be sexagesimal or
// degrees; the stars of a field are matched to them within a radius.

#include <optional>
#include <string>
#include <vector>

#include "astrometry/wcs.hpp"

namespace morvik::astrometry {

struct KnownStar {
  std::string name;
  Sky sky;
  std::string type;
  std::optional<double> period; // days
  std::string magnitudes;       // as the catalogue gives them (max, min or a range)
};

// Throws CommandError when the file cannot be read or has no name, RA or Dec column.
// Rows whose coordinates do not read are skipped; skipped receives their count.
std::vector<KnownStar> ReadKnownCatalog(const std::string& path, int* skipped = nullptr);
std::vector<KnownStar> ParseKnownCatalog(const std::string& text, int* skipped = nullptr);

struct KnownMatch {
  std::size_t star = 0;  // index into the field's stars
  std::size_t known = 0; // index into the catalogue
  double arcsec = 0;
};

// Each catalogue star goes to the nearest field star within radius (arcseconds), and
// each field star keeps only the nearest catalogue star that chose it.
std::vector<KnownMatch> CrossMatch(const std::vector<Sky>& stars, const std::vector<KnownStar>& known,
                                   double radiusArcsec);

} // namespace morvik::astrometry
