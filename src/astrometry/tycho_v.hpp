#pragma once
// Standard magnitudes of comparison stars from Tycho-2: the stars of the field found
// in the solver's index files, with their VT, and Johnson V where BT is known.

#include <optional>
#include <vector>

#include "astrometry/index_stars.hpp"

namespace morvik::astrometry {

// Johnson V from the Tycho magnitudes: V = VT - 0.090 (BT - VT), for
// -0.2 < BT - VT < 1.8, good to about 0.015 mag (ESA 1997, The Hipparcos and Tycho
// Catalogues, ESA SP-1200, Vol. 1, Sect. 1.3, Appendix 4). Nullopt outside that
// colour range.
std::optional<double> JohnsonV(double vt, double bt);

struct TychoMatch {
  std::size_t star = 0; // index into the field's stars
  double vt = 0;
  double arcsec = 0;
};

// The field stars within radius of a Tycho-2 star that carries VT, each with its
// nearest one, in the order of the field's stars.
std::vector<TychoMatch> MatchTycho(const std::vector<Sky>& stars, const std::vector<CatalogStar>& tycho,
                                   double radiusArcsec);

} // namespace morvik::astrometry
