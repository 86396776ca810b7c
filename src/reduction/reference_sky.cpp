#include "reduction/reference_sky.hpp"

#include <cmath>
#include <cstdio>

#include "astrometry/sexagesimal.hpp"
#include "astrometry/tycho_v.hpp"
#include "frames/frame_file.hpp"
#include "reduction/frame_measure.hpp"

namespace morvik::reduction {

namespace {

// The catalog's Tycho-2 stars, matched within two pixels' worth of arc.
void FindTycho(ReferenceSky& sky, const std::vector<Detection>& stars, const std::string& indexDir) {
  const astrometry::Wcs& w = sky.wcs;
  const astrometry::Sky centre = w.PixelToSky((w.width - 1) / 2.0, (w.height - 1) / 2.0);
  const double radius = 0.55 * std::hypot(w.width, w.height) * w.Scale() / 3600.0;
  std::vector<astrometry::CatalogStar> tycho;
  try {
    tycho = astrometry::ReadIndexFolder(indexDir, centre, radius);
  } catch (const std::exception&) {
    return; // no readable index: no comparison candidates, the solution stands
  }
  std::vector<astrometry::Sky> positions;
  for (const Detection& d : stars)
    positions.push_back(w.PixelToSky(d.at.x, d.at.y));
  for (const auto& m : astrometry::MatchTycho(positions, tycho, 2.0 * w.Scale()))
    sky.tycho.emplace_back(m.star, m.vt);
}

} // namespace

ReferenceSky SolveReference(const SkySettings& settings, const frames::FrameImage& header,
                            const std::vector<Detection>& stars, long width, long height,
                            const std::vector<Detection>& catalog) {
  ReferenceSky sky;
  if (!settings.solve) return sky;
  sky.tried = true;
  astrometry::SolveHints hints = astrometry::HintsFromHeader(header);
  if (settings.scaleLow && settings.scaleHigh) {
    hints.scaleLow = settings.scaleLow;
    hints.scaleHigh = settings.scaleHigh;
  }
  hints.cpuSeconds = settings.seconds;
  std::vector<astrometry::StarXY> list;
  list.reserve(stars.size());
  for (const Detection& d : stars)
    list.push_back({d.at.x, d.at.y, d.flux});
  const astrometry::SolveResult r =
      astrometry::Solve(std::move(list), static_cast<int>(width), static_cast<int>(height), hints, settings.setup);
  sky.solved = r.ok;
  sky.reason = r.reason;
  sky.wcs = r.wcs;
  sky.cpuSeconds = r.cpuSeconds;
  if (r.ok) FindTycho(sky, catalog.empty() ? stars : catalog, settings.setup.indexDir);
  return sky;
}

std::vector<std::string> WcsRecords(const ReferenceSky& sky) {
  std::vector<std::string> out;
  if (!sky.solved) return out;
  for (const astrometry::Card& c : astrometry::WcsCards(sky.wcs)) {
    char record[96];
    // Values right-aligned to column 30 as fixed-format FITS writes them; strings
    // left-aligned after the equals sign.
    if (!c.value.empty() && c.value[0] == '\'')
      std::snprintf(record, sizeof record, "%-8.8s= %-20s / %s", c.keyword.c_str(), c.value.c_str(), c.comment.c_str());
    else
      std::snprintf(record, sizeof record, "%-8.8s= %20s / %s", c.keyword.c_str(), c.value.c_str(), c.comment.c_str());
    std::string r = record;
    if (c.comment.empty()) r = r.substr(0, r.find(" / "));
    out.push_back(r.substr(0, 80));
  }
  return out;
}

std::vector<std::pair<double, double>> CatalogSky(const ReferenceSky& sky, const std::vector<Point>& catalog) {
  std::vector<std::pair<double, double>> out;
  if (!sky.solved) return out;
  for (const Point& p : catalog) {
    const astrometry::Sky s = sky.wcs.PixelToSky(p.x, p.y);
    out.emplace_back(s.ra, s.dec);
  }
  return out;
}

std::string TychoReportText(const ReferenceSky& sky) {
  if (sky.tycho.empty()) return "";
  // The index files carry VT only: V = VT - 0.090 (BT - VT) needs BT, so these are
  // Tycho VT, within about 0.1 mag of V for stars of ordinary colour, not standard V.
  std::string out = "Tycho-2 stars of the field (comparison candidates; VT from the solver's index files, no BT "
                    "there, so not standard V):\n# id | VT\n";
  // The brightest are listed (the catalog runs brightest first): a wide field holds
  // thousands.
  constexpr std::size_t kListed = 200;
  for (std::size_t k = 0; k < sky.tycho.size() && k < kListed; ++k) {
    const auto& [index, vt] = sky.tycho[k];
    char line[64];
    std::snprintf(line, sizeof line, "%zu | %.3f\n", index + 1, vt);
    out += line;
  }
  if (sky.tycho.size() > kListed) out += "(and " + std::to_string(sky.tycho.size() - kListed) + " fainter ones)\n";
  return out;
}

std::string SkyReportLine(const ReferenceSky& sky) {
  if (!sky.tried) return "";
  if (!sky.solved) return "Plate solution: none, " + sky.reason;
  const astrometry::Sky c = sky.wcs.PixelToSky((sky.wcs.width - 1) / 2.0, (sky.wcs.height - 1) / 2.0);
  char text[256];
  std::snprintf(text, sizeof text,
                "Plate solution: centre %s %s, %.3f\"/px, north %.1f deg from +y towards -x%s, %s, %.1f s of "
                "processor time",
                astrometry::FormatRa(c.ra).c_str(), astrometry::FormatDec(c.dec).c_str(), sky.wcs.Scale(),
                sky.wcs.NorthAngle(), sky.wcs.Mirrored() ? ", mirrored" : "", sky.wcs.a.Empty() ? "TAN" : "TAN-SIP",
                sky.cpuSeconds);
  return text;
}

} // namespace morvik::reduction
