#include "astrometry/tycho_v.hpp"

#include <algorithm>

namespace morvik::astrometry {

std::optional<double> JohnsonV(double vt, double bt) {
  const double colour = bt - vt;
  if (!(colour > -0.2 && colour < 1.8)) return std::nullopt;
  return vt - 0.090 * colour;
}

std::vector<TychoMatch> MatchTycho(const std::vector<Sky>& stars, const std::vector<CatalogStar>& tycho,
                                   double radiusArcsec) {
  std::vector<TychoMatch> out;
  const double radius = radiusArcsec / 3600.0;
  for (std::size_t i = 0; i < stars.size(); ++i) {
    std::optional<TychoMatch> best;
    for (const CatalogStar& t : tycho) {
      if (!t.vt || std::abs(t.sky.dec - stars[i].dec) > radius) continue;
      const double d = Separation(stars[i], t.sky);
      if (d <= radius && (!best || d * 3600.0 < best->arcsec)) best = TychoMatch{i, *t.vt, d * 3600.0};
    }
    if (best) out.push_back(*best);
  }
  return out;
}

} // namespace morvik::astrometry
