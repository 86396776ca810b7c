#include "astrometry/known_catalog.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "astrometry/sexagesimal.hpp"
#include "common/errors.hpp"

namespace morvik::astrometry {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const auto a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// One line split at sep; double quotes protect separators, "" is a quote.
std::vector<std::string> Fields(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cur += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cur += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == sep) {
      out.push_back(Trim(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(Trim(cur));
  return out;
}

// The first column whose lower-case header is one of names, else one starting with
// one of prefixes.
std::optional<std::size_t> Column(const std::vector<std::string>& header, std::initializer_list<const char*> names,
                                  std::initializer_list<const char*> prefixes = {}) {
  for (const char* n : names)
    for (std::size_t k = 0; k < header.size(); ++k)
      if (Lower(header[k]) == n) return k;
  for (const char* p : prefixes)
    for (std::size_t k = 0; k < header.size(); ++k)
      if (Lower(header[k]).rfind(p, 0) == 0) return k;
  return std::nullopt;
}

// "21 51 01.97 +12 37 32.0": the split at a sign or blank that leaves two angles.
std::optional<Sky> SplitCoords(const std::string& v) {
  for (std::size_t k = 1; k + 1 < v.size(); ++k) {
    if (v[k] != '+' && v[k] != '-' && v[k] != ',' && v[k] != ' ') continue;
    const std::size_t decFrom = v[k] == '+' || v[k] == '-' ? k : k + 1;
    auto ra = ParseRa(v.substr(0, k));
    auto dec = ParseDec(v.substr(decFrom));
    // Hours need all three parts: "21 51" must not pass as 21:51 with the rest lost.
    if (ra && dec && std::count(v.begin(), v.begin() + static_cast<long>(k), ' ') != 1) return Sky{*ra, *dec};
  }
  return std::nullopt;
}

std::optional<double> Number(const std::string& s) {
  double v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end == s.data() || !std::isfinite(v)) return std::nullopt;
  return v;
}

} // namespace

std::vector<KnownStar> ParseKnownCatalog(const std::string& text, int* skipped) {
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> header;
  char sep = ',';
  // The header: the first line that is neither empty nor a comment.
  while (std::getline(in, line)) {
    if (Trim(line).empty() || line[0] == '#') continue;
    const auto tabs = std::count(line.begin(), line.end(), '\t');
    const auto semis = std::count(line.begin(), line.end(), ';');
    const auto commas = std::count(line.begin(), line.end(), ',');
    sep = tabs > 0 ? '\t' : semis > commas ? ';' : ',';
    header = Fields(line, sep);
    break;
  }
  const auto name = Column(header, {"name", "star", "designation", "id", "gcvs", "var_name", "varname"}, {"name"});
  const auto coords = Column(header, {"coords", "coordinates"}, {"coords", "coord"});
  const auto ra = Column(header, {"ra", "raj2000", "_raj2000", "ra_deg", "radeg", "ra2000", "alpha"}, {"ra ", "ra("});
  const auto dec =
      Column(header, {"dec", "de", "dej2000", "_dej2000", "decj2000", "dec_deg", "dedeg", "decl", "de2000", "delta"},
             {"dec ", "dec(", "decl"});
  const auto type = Column(header, {"type", "vartype", "var_type", "vtype"});
  const auto period = Column(header, {"period", "per", "p", "period_d"}, {"period"});
  const auto mag = Column(header, {"mag", "magnitude", "range", "max", "magmax"}, {"mag"});
  const auto magMin = Column(header, {"min", "magmin", "min1"});
  if (!name || (!coords && (!ra || !dec)))
    throw CommandError("The catalogue has no name, RA and Dec columns (found: " + [&] {
      std::string h;
      for (const auto& f : header)
        h += (h.empty() ? "" : ", ") + f;
      return h;
    }() + ")");
  std::vector<KnownStar> out;
  int bad = 0;
  while (std::getline(in, line)) {
    if (Trim(line).empty() || line[0] == '#') continue;
    const auto f = Fields(line, sep);
    auto at = [&](std::optional<std::size_t> k) { return k && *k < f.size() ? f[*k] : std::string(); };
    std::optional<Sky> sky;
    if (ra && dec) {
      auto r = ParseRa(at(ra));
      auto d = ParseDec(at(dec));
      if (r && d) sky = Sky{*r, *d};
    }
    if (!sky && coords) sky = SplitCoords(at(coords));
    if (!sky || at(name).empty()) {
      ++bad;
      continue;
    }
    KnownStar k;
    k.name = at(name);
    k.sky = *sky;
    k.type = at(type);
    if (auto p = Number(at(period)); p && *p > 0) k.period = p;
    k.magnitudes = at(mag);
    if (magMin && !at(magMin).empty()) k.magnitudes += (k.magnitudes.empty() ? "" : " - ") + at(magMin);
    out.push_back(std::move(k));
  }
  if (skipped) *skipped = bad;
  return out;
}

std::vector<KnownStar> ReadKnownCatalog(const std::string& path, int* skipped) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CommandError("Cannot read the catalogue " + path);
  std::stringstream s;
  s << in.rdbuf();
  return ParseKnownCatalog(s.str(), skipped);
}

std::vector<KnownMatch> CrossMatch(const std::vector<Sky>& stars, const std::vector<KnownStar>& known,
                                   double radiusArcsec) {
  const double radius = radiusArcsec / 3600.0;
  // Field stars by declination, so that each catalogue star looks at a narrow band.
  std::vector<std::size_t> order(stars.size());
  for (std::size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return stars[a].dec < stars[b].dec; });
  std::vector<KnownMatch> chosen; // by field star: the nearest catalogue star
  std::vector<long> byStar(stars.size(), -1);
  for (std::size_t k = 0; k < known.size(); ++k) {
    auto lo = std::lower_bound(order.begin(), order.end(), known[k].sky.dec - radius,
                               [&](std::size_t i, double d) { return stars[i].dec < d; });
    std::optional<KnownMatch> best;
    for (auto it = lo; it != order.end() && stars[*it].dec <= known[k].sky.dec + radius; ++it) {
      const double d = Separation(stars[*it], known[k].sky);
      if (d <= radius && (!best || d * 3600.0 < best->arcsec)) best = KnownMatch{*it, k, d * 3600.0};
    }
    if (!best) continue;
    long& slot = byStar[best->star];
    if (slot < 0) {
      slot = static_cast<long>(chosen.size());
      chosen.push_back(*best);
    } else if (best->arcsec < chosen[static_cast<std::size_t>(slot)].arcsec) {
      chosen[static_cast<std::size_t>(slot)] = *best;
    }
  }
  return chosen;
}

} // namespace morvik::astrometry
