#pragma once
// The catalogue stars an astrometry.net index file holds (for the Tycho-2 series:
// the brighter Tycho-2 stars, spread evenly over the sky, with their VT magnitude).

#include <optional>
#include <string>
#include <vector>

#include "astrometry/wcs.hpp"

namespace morvik::astrometry {

struct CatalogStar {
  Sky sky;
  std::optional<double> vt; // Tycho VT magnitude when the index carries it
};

// The stars within radius (degrees) of centre. Throws CommandError when the file is
// no index file.
std::vector<CatalogStar> ReadIndexStars(const std::string& path, const Sky& centre, double radius);

// The stars of every index file in a folder within radius of centre, each once
// (index files of one series share their stars).
std::vector<CatalogStar> ReadIndexFolder(const std::string& folder, const Sky& centre, double radius);

} // namespace morvik::astrometry
