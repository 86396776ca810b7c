#include "app/cli/cli_sky.hpp"

#include <cmath>
#include <sstream>

#include "astrometry/known_catalog.hpp"
#include "astrometry/sexagesimal.hpp"
#include "common/errors.hpp"
#include "frames/frame_file.hpp"
#include "reduction/frame_measure.hpp"
#include "reduction/reference_sky.hpp"

namespace morvik::cli {

namespace {

std::string Degrees(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6f", v);
  return buffer;
}

// A CSV field: quoted when it holds a comma or a quote.
std::string Quoted(const std::string& s) {
  if (s.find_first_of(",\"") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s)
    q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

// The frame's stars as the reduction finds the reference's: hot pixels left out.
std::vector<reduction::Detection> Stars(const frames::FrameImage& frame) {
  const double gain = frame.Number("GAIN").value_or(frame.Number("EGAIN").value_or(1.0));
  reduction::FrameMeasurer m(frame.pixels, frame.width, frame.height, gain > 0 ? gain : 1.0, 0.0);
  const auto all = m.Detect(3.0);
  const double fwhm = reduction::FrameMeasurer::Fwhm(all);
  std::vector<reduction::Detection> stars;
  for (const auto& d : all)
    if (d.radius == 0 || d.radius >= 0.35 * fwhm) stars.push_back(d);
  return stars;
}

std::vector<astrometry::Card> Cards(const frames::FrameImage& frame) {
  std::vector<astrometry::Card> cards;
  for (const auto& c : frame.cards)
    cards.push_back({c.keyword, c.value, c.comment});
  return cards;
}

} // namespace

bool SkyRun::AfterOpen(Workspace& ws, const std::string& framePath, std::FILE* out) {
  if (!o_.Any()) return true;
  bool ok = Place(ws, framePath, out);
  if (wcs_ && !o_.catalog.empty()) ok = Identify(ws, out) && ok;
  if (wcs_ && o_.targetRa) ok = Target(ws, out) && ok;
  return ok;
}

bool SkyRun::Place(Workspace& ws, const std::string& framePath, std::FILE* out) {
  frames::FrameImage frame;
  try {
    frame = frames::ReadFrame(framePath, {!o_.solve, 16384});
  } catch (const CommandError& e) {
    ws.log.Add(std::string("--solve: ") + e.what());
    return false;
  }
  if (!o_.solve) {
    wcs_ = astrometry::WcsFromCards(Cards(frame));
    if (!wcs_) ws.log.Add("The frame has no celestial WCS: give --solve to solve it");
    // A target given only for the report's barycentric times needs no place on the frame.
    const bool onlyTimes = o_.targetForTimes && !o_.columns && o_.catalog.empty();
    return wcs_.has_value() || onlyTimes;
  }
  reduction::SkySettings settings;
  settings.solve = true;
  settings.scaleLow = o_.scaleLow;
  settings.scaleHigh = o_.scaleHigh;
  settings.seconds = o_.solveTime;
  const reduction::ReferenceSky sky =
      reduction::SolveReference(settings, frame, Stars(frame), frame.width, frame.height);
  const std::string line = reduction::SkyReportLine(sky) + "\n";
  std::fputs(line.c_str(), out);
  ws.log.Add(line.substr(0, line.size() - 1));
  if (sky.solved) wcs_ = sky.wcs;
  return sky.solved;
}

bool SkyRun::Identify(Workspace& ws, std::FILE* out) {
  std::vector<astrometry::KnownStar> known;
  int skipped = 0;
  try {
    known = astrometry::ReadKnownCatalog(o_.catalog, &skipped);
  } catch (const CommandError& e) {
    ws.log.Add(std::string("--catalog: ") + e.what());
    return false;
  }
  std::vector<astrometry::Sky> stars;
  std::vector<long long> ids;
  for (long long id = 1; StarCatalog::HasId(id); ++id) {
    const TCatalogStar& c = ws.Catalog[id];
    if (c.X == 0 && c.Y == 0) continue;
    stars.push_back(wcs_->PixelToSky(c.X - 1, c.Y - 1));
    ids.push_back(id);
  }
  // Two pixels' worth of arc by default: a star's measured centre and the
  // catalogue's position each err by a fraction of a pixel.
  const double radius = o_.matchRadius.value_or(2.0 * wcs_->Scale());
  const auto matches = astrometry::CrossMatch(stars, known, radius);
  names_.assign(static_cast<std::size_t>(ids.empty() ? 0 : ids.back()), "");
  for (const auto& m : matches) {
    const long long id = ids[m.star];
    const auto& k = known[m.known];
    names_[static_cast<std::size_t>(id - 1)] = k.name;
    char line[300];
    std::snprintf(line, sizeof line, "star %lld: %s%s%s, %.1f\"", id, k.name.c_str(), k.type.empty() ? "" : ", ",
                  k.type.c_str(), m.arcsec);
    ws.log.Add(line);
  }
  char summary[200];
  std::snprintf(summary, sizeof summary, "Known variables: %zu of the catalogue's %zu named within %.1f\"%s\n",
                matches.size(), known.size(), radius,
                skipped > 0 ? (" (" + std::to_string(skipped) + " rows without coordinates skipped)").c_str() : "");
  std::fputs(summary, out);
  return true;
}

bool SkyRun::Target(Workspace& ws, std::FILE* out) {
  const astrometry::Sky target{*o_.targetRa, *o_.targetDec};
  const auto p = wcs_->SkyToPixel(target);
  long long best = 0;
  double bestDistance = 0;
  if (p)
    for (long long id = 1; StarCatalog::HasId(id); ++id) {
      const TCatalogStar& c = ws.Catalog[id];
      if (c.X == 0 && c.Y == 0) continue;
      const double d = std::hypot(c.X - 1 - p->first, c.Y - 1 - p->second);
      if (best == 0 || d < bestDistance) best = id, bestDistance = d;
    }
  // Within three pixels: further off, the target is not among the catalog's stars.
  if (best == 0 || bestDistance > 3.0) {
    ws.log.Add("--target: no catalog star within 3 px of " + astrometry::FormatRa(target.ra) + " " +
               astrometry::FormatDec(target.dec));
    return false;
  }
  ws.SelectedStar = static_cast<std::uint16_t>(best);
  const TCatalogStar& c = ws.Catalog[best];
  const astrometry::Sky at = wcs_->PixelToSky(c.X - 1, c.Y - 1);
  char line[200];
  std::snprintf(line, sizeof line, "Target: star %lld at x %.3f y %.3f, %.1f\" from %s %s\n", best, c.X, c.Y,
                astrometry::Separation(at, target) * 3600.0, astrometry::FormatRa(target.ra).c_str(),
                astrometry::FormatDec(target.dec).c_str());
  std::fputs(line, out);
  return true;
}

std::string SkyRun::AddColumns(const Workspace& ws, const std::string& csv, std::size_t idColumn, bool names) const {
  const bool sky = o_.columns && wcs_;
  if (!sky && !names) return csv;
  std::istringstream in(csv);
  std::string line, result;
  bool header = true;
  while (std::getline(in, line)) {
    std::string extra;
    if (header) {
      extra = std::string(sky ? ",RA,Dec" : "") + (names ? ",name,known" : "");
      header = false;
    } else {
      std::size_t start = 0;
      for (std::size_t k = 0; k < idColumn && start != std::string::npos; ++k)
        start = line.find(',', start) == std::string::npos ? std::string::npos : line.find(',', start) + 1;
      const long long id = start == std::string::npos ? 0 : std::atoll(line.c_str() + start);
      const TCatalogStar& c = ws.Catalog[id];
      if (sky) {
        const bool placed = StarCatalog::HasId(id) && (c.X != 0 || c.Y != 0);
        const astrometry::Sky s = placed ? wcs_->PixelToSky(c.X - 1, c.Y - 1) : astrometry::Sky{};
        extra += placed ? "," + Degrees(s.ra) + "," + Degrees(s.dec) : ",,";
      }
      if (names) {
        const std::string name = id >= 1 && static_cast<std::size_t>(id) <= names_.size() ? names_[id - 1] : "";
        extra += "," + Quoted(name) + (name.empty() ? ",new" : ",known");
      }
    }
    result += line + extra + "\n";
  }
  return result;
}

std::string SkyRun::Stats(const Workspace& ws, const std::string& csv) const { return AddColumns(ws, csv, 0, false); }

std::string SkyRun::Candidates(const Workspace& ws, const std::string& csv) const {
  return AddColumns(ws, csv, 1, !o_.catalog.empty() && wcs_);
}

} // namespace morvik::cli
