#include "astrometry/wcs.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>

namespace morvik::astrometry {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

std::string Unquoted(const std::string& v) {
  std::string s = v;
  const auto first = s.find('\'');
  if (first != std::string::npos) {
    const auto last = s.rfind('\'');
    s = last > first ? s.substr(first + 1, last - first - 1) : s.substr(first + 1);
  }
  while (!s.empty() && s.back() == ' ')
    s.pop_back();
  while (!s.empty() && s.front() == ' ')
    s.erase(s.begin());
  return s;
}

std::optional<double> Number(const std::string& v) {
  std::string s = Unquoted(v);
  for (char& c : s)
    if (c == 'D' || c == 'd') c = 'E';
  if (!s.empty() && s.front() == '+') s.erase(s.begin());
  double x = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), x);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(x)) return std::nullopt;
  return x;
}

SipPolynomial ReadSip(const std::map<std::string, std::string>& cards, const std::string& name) {
  SipPolynomial p;
  auto it = cards.find(name + "_ORDER");
  if (it == cards.end()) return p;
  auto order = Number(it->second);
  if (!order || *order < 1 || *order > 9) return p;
  p.order = static_cast<int>(*order);
  p.c.assign(static_cast<std::size_t>(p.order + 1), std::vector<double>(static_cast<std::size_t>(p.order + 1), 0.0));
  for (int i = 0; i <= p.order; ++i)
    for (int j = 0; i + j <= p.order; ++j) {
      auto c = cards.find(name + "_" + std::to_string(i) + "_" + std::to_string(j));
      if (c == cards.end()) continue;
      if (auto v = Number(c->second)) p.c[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = *v;
    }
  return p;
}

std::string Formatted(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", v);
  std::string s = buffer;
  // A FITS real needs a point or an exponent.
  if (s.find_first_of(".E") == std::string::npos) s += ".0";
  return s;
}

std::string Quoted(const std::string& s) {
  std::string q = "'" + s;
  while (q.size() < 9)
    q += ' ';
  return q + "'";
}

void AddSip(std::vector<Card>& out, const SipPolynomial& p, const std::string& name) {
  if (p.Empty()) return;
  out.push_back({name + "_ORDER", std::to_string(p.order), "Polynomial order, axis " + name.substr(0, 1)});
  for (int i = 0; i <= p.order; ++i)
    for (int j = 0; i + j <= p.order; ++j) {
      const double c = p.c[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
      if (c != 0.0) out.push_back({name + "_" + std::to_string(i) + "_" + std::to_string(j), Formatted(c), ""});
    }
}

} // namespace

double SipPolynomial::Eval(double u, double v) const {
  double sum = 0, up = 1;
  for (int p = 0; p <= order; ++p) {
    double vq = 1;
    for (int q = 0; p + q <= order; ++q) {
      sum += c[static_cast<std::size_t>(p)][static_cast<std::size_t>(q)] * up * vq;
      vq *= v;
    }
    up *= u;
  }
  return sum;
}

bool Wcs::Valid() const {
  const double det = cd11 * cd22 - cd12 * cd21;
  return std::isfinite(det) && det != 0.0 && std::isfinite(crval1) && std::isfinite(crval2) && std::abs(crval2) <= 90.0;
}

Sky Wcs::PixelToSky(double x, double y) const {
  const double u = x + 1.0 - crpix1, v = y + 1.0 - crpix2;
  double du = u, dv = v;
  if (!a.Empty()) du += a.Eval(u, v);
  if (!b.Empty()) dv += b.Eval(u, v);
  const double xi = (cd11 * du + cd12 * dv) * kDeg;
  const double eta = (cd21 * du + cd22 * dv) * kDeg;
  const double ra0 = crval1 * kDeg, dec0 = crval2 * kDeg;
  const double denominator = std::cos(dec0) - eta * std::sin(dec0);
  double ra = ra0 + std::atan2(xi, denominator);
  const double dec = std::atan2(std::sin(dec0) + eta * std::cos(dec0), std::hypot(xi, denominator));
  ra = std::fmod(ra / kDeg, 360.0);
  if (ra < 0) ra += 360.0;
  return {ra, dec / kDeg};
}

std::optional<std::pair<double, double>> Wcs::SkyToPixel(const Sky& s) const {
  const double ra0 = crval1 * kDeg, dec0 = crval2 * kDeg;
  const double ra = s.ra * kDeg, dec = s.dec * kDeg;
  const double cosc = std::sin(dec0) * std::sin(dec) + std::cos(dec0) * std::cos(dec) * std::cos(ra - ra0);
  if (!(cosc > 1e-9)) return std::nullopt;
  const double xi = std::cos(dec) * std::sin(ra - ra0) / cosc / kDeg;
  const double eta =
      (std::cos(dec0) * std::sin(dec) - std::sin(dec0) * std::cos(dec) * std::cos(ra - ra0)) / cosc / kDeg;
  const double det = cd11 * cd22 - cd12 * cd21;
  const double du = (cd22 * xi - cd12 * eta) / det;
  const double dv = (-cd21 * xi + cd11 * eta) / det;
  double u = du, v = dv;
  if (!ap.Empty() || !bp.Empty()) {
    u = du + (ap.Empty() ? 0.0 : ap.Eval(du, dv));
    v = dv + (bp.Empty() ? 0.0 : bp.Eval(du, dv));
  }
  // The inverse polynomials are a fit; the forward ones define the WCS, so the
  // position is refined until it maps back onto (du, dv).
  if (!a.Empty() || !b.Empty())
    for (int k = 0; k < 50; ++k) {
      const double nu = du - (a.Empty() ? 0.0 : a.Eval(u, v));
      const double nv = dv - (b.Empty() ? 0.0 : b.Eval(u, v));
      const bool done = std::abs(nu - u) < 1e-10 && std::abs(nv - v) < 1e-10;
      u = nu;
      v = nv;
      if (done) break;
    }
  return std::pair{u + crpix1 - 1.0, v + crpix2 - 1.0};
}

double Wcs::Scale() const { return std::sqrt(std::abs(cd11 * cd22 - cd12 * cd21)) * 3600.0; }

bool Wcs::Mirrored() const { return cd11 * cd22 - cd12 * cd21 > 0; }

double Wcs::NorthAngle() const {
  // d(xi, eta)/d(pixel) inverted: the pixel direction of +eta (north).
  const double det = cd11 * cd22 - cd12 * cd21;
  const double nx = -cd12 / det, ny = cd11 / det;
  double angle = std::atan2(-nx, ny) / kDeg;
  if (angle < 0) angle += 360.0;
  return angle;
}

std::optional<Wcs> WcsFromCards(const std::vector<Card>& list) {
  std::map<std::string, std::string> cards;
  for (const Card& c : list)
    cards.emplace(c.keyword, c.value); // the first card of a keyword wins
  auto text = [&](const char* k) {
    auto it = cards.find(k);
    return it == cards.end() ? std::string() : Unquoted(it->second);
  };
  auto number = [&](const std::string& k) -> std::optional<double> {
    auto it = cards.find(k);
    return it == cards.end() ? std::nullopt : Number(it->second);
  };
  const std::string t1 = text("CTYPE1"), t2 = text("CTYPE2");
  if (t1.rfind("RA---TAN", 0) != 0 || t2.rfind("DEC--TAN", 0) != 0) return std::nullopt;
  Wcs w;
  auto c1 = number("CRPIX1"), c2 = number("CRPIX2"), v1 = number("CRVAL1"), v2 = number("CRVAL2");
  if (!c1 || !c2 || !v1 || !v2) return std::nullopt;
  w.crpix1 = *c1;
  w.crpix2 = *c2;
  w.crval1 = *v1;
  w.crval2 = *v2;
  if (number("CD1_1") || number("CD2_2")) {
    w.cd11 = number("CD1_1").value_or(0);
    w.cd12 = number("CD1_2").value_or(0);
    w.cd21 = number("CD2_1").value_or(0);
    w.cd22 = number("CD2_2").value_or(0);
  } else {
    auto d1 = number("CDELT1"), d2 = number("CDELT2");
    if (!d1 || !d2) return std::nullopt;
    double p11 = 1, p12 = 0, p21 = 0, p22 = 1;
    if (number("PC1_1") || number("PC2_2")) {
      p11 = number("PC1_1").value_or(1);
      p12 = number("PC1_2").value_or(0);
      p21 = number("PC2_1").value_or(0);
      p22 = number("PC2_2").value_or(1);
    } else if (auto rot = number("CROTA2")) {
      const double r = *rot * kDeg;
      p11 = std::cos(r);
      p12 = -std::sin(r) * *d2 / *d1;
      p21 = std::sin(r) * *d1 / *d2;
      p22 = std::cos(r);
    }
    w.cd11 = *d1 * p11;
    w.cd12 = *d1 * p12;
    w.cd21 = *d2 * p21;
    w.cd22 = *d2 * p22;
  }
  if (t1.find("-SIP") != std::string::npos) {
    w.a = ReadSip(cards, "A");
    w.b = ReadSip(cards, "B");
    w.ap = ReadSip(cards, "AP");
    w.bp = ReadSip(cards, "BP");
  }
  w.width = static_cast<int>(number("IMAGEW").value_or(number("NAXIS1").value_or(0)));
  w.height = static_cast<int>(number("IMAGEH").value_or(number("NAXIS2").value_or(0)));
  if (!w.Valid()) return std::nullopt;
  return w;
}

std::vector<Card> WcsCards(const Wcs& w) {
  const bool sip = !w.a.Empty() || !w.b.Empty();
  std::vector<Card> out = {
      {"WCSAXES", "2", "Number of WCS axes"},
      {"CTYPE1", Quoted(sip ? "RA---TAN-SIP" : "RA---TAN"), "Gnomonic projection"},
      {"CTYPE2", Quoted(sip ? "DEC--TAN-SIP" : "DEC--TAN"), "Gnomonic projection"},
      {"CUNIT1", Quoted("deg"), ""},
      {"CUNIT2", Quoted("deg"), ""},
      {"EQUINOX", "2000.0", "Equinox of coordinates"},
      {"RADESYS", Quoted("ICRS"), ""},
      {"CRVAL1", Formatted(w.crval1), "RA of reference point, deg"},
      {"CRVAL2", Formatted(w.crval2), "Dec of reference point, deg"},
      {"CRPIX1", Formatted(w.crpix1), "Reference pixel x"},
      {"CRPIX2", Formatted(w.crpix2), "Reference pixel y"},
      {"CD1_1", Formatted(w.cd11), "Transformation matrix"},
      {"CD1_2", Formatted(w.cd12), ""},
      {"CD2_1", Formatted(w.cd21), ""},
      {"CD2_2", Formatted(w.cd22), ""},
  };
  AddSip(out, w.a, "A");
  AddSip(out, w.b, "B");
  AddSip(out, w.ap, "AP");
  AddSip(out, w.bp, "BP");
  return out;
}

double Separation(const Sky& p, const Sky& q) {
  // Haversine form: exact for small separations (Sinnott 1984, Sky & Telescope 68, 159).
  const double d1 = p.dec * kDeg, d2 = q.dec * kDeg;
  const double sd = std::sin((d2 - d1) / 2), sr = std::sin((q.ra - p.ra) * kDeg / 2);
  const double h = sd * sd + std::cos(d1) * std::cos(d2) * sr * sr;
  return 2.0 * std::asin(std::min(1.0, std::sqrt(h))) / kDeg;
}

} // namespace morvik::astrometry
