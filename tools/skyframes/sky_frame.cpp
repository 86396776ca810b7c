#include "sky_frame.hpp"

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>

#include "astrometry/sexagesimal.hpp"

namespace skyframes {

namespace {

using morvik::astrometry::Sky;
using morvik::astrometry::Wcs;

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr double kGain = 2.0;         // electrons per ADU
constexpr double kReadNoise = 9.0;    // electrons
constexpr double kFullScale = 4095.0; // a 12-bit converter
constexpr double kMag12Electrons = 30000.0;
constexpr double kSkyAdu = 180.0;
constexpr double kFieldStarsPerDeg2 = 320.0; // brighter than the limit, beyond the catalogue's stars
constexpr double kPixelMicrons = 5.4;

// Fraction of a Gaussian of width sigma centred at c falling into [a, a + 1].
double Slice(double a, double c, double sigma) {
  const double s = sigma * std::numbers::sqrt2;
  return 0.5 * (std::erf((a + 1.0 - c) / s) - std::erf((a - c) / s));
}

// A pixel-integrated core with a wider halo: defocus and seeing wings.
void AddStar(std::vector<double>& e, int w, int h, double x, double y, double electrons, double fwhm) {
  const double core = fwhm / 2.3548, halo = core * 2.5;
  const int r = static_cast<int>(std::ceil(halo * 5));
  const int x0 = std::max(0, static_cast<int>(std::floor(x + 0.5)) - r),
            x1 = std::min(w - 1, static_cast<int>(x + 0.5) + r);
  const int y0 = std::max(0, static_cast<int>(std::floor(y + 0.5)) - r),
            y1 = std::min(h - 1, static_cast<int>(y + 0.5) + r);
  for (int j = y0; j <= y1; ++j)
    for (int i = x0; i <= x1; ++i) {
      // Pixel i spans [i - 0.5, i + 0.5].
      const double c = Slice(i - 0.5, x, core) * Slice(j - 0.5, y, core);
      const double g = Slice(i - 0.5, x, halo) * Slice(j - 0.5, y, halo);
      e[static_cast<std::size_t>(j) * static_cast<std::size_t>(w) + static_cast<std::size_t>(i)] +=
          electrons * (0.82 * c + 0.18 * g);
    }
}

std::vector<std::uint16_t> Render(const SkyOptions& o, const SkyFrames& sky, int k) {
  const int w = o.width, h = o.height;
  std::mt19937_64 rng(o.seed * 7919 + static_cast<std::uint64_t>(k));
  std::vector<double> e(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      e[static_cast<std::size_t>(j * w + i)] = kSkyAdu * kGain * (1.0 + 0.12 * (i - w / 2.0) / w + 0.05 * j / h);
  const auto [dx, dy] = sky.offsets[static_cast<std::size_t>(k)];
  for (const PlacedStar& s : sky.stars)
    AddStar(e, w, h, s.x + dx, s.y + dy, kMag12Electrons * std::pow(10.0, -0.4 * (s.mag - 12.0)), o.fwhm);
  std::normal_distribution<double> unit(0.0, 1.0);
  std::vector<std::uint16_t> adu(e.size());
  for (std::size_t p = 0; p < e.size(); ++p) {
    const double electrons = e[p] + unit(rng) * std::sqrt(e[p] + kReadNoise * kReadNoise);
    adu[p] = static_cast<std::uint16_t>(std::clamp(std::round(electrons / kGain), 0.0, kFullScale));
  }
  // Hot pixels belong to the sensor: the same on every frame.
  std::mt19937_64 sensor(o.seed);
  std::uniform_int_distribution<std::size_t> where(0, e.size() - 1);
  for (int n = 0; n < w * h / 6000; ++n)
    adu[where(sensor)] = static_cast<std::uint16_t>(1500 + n % 7 * 350);
  return adu;
}

std::string Card(const std::string& key, const std::string& value) {
  char line[96];
  std::snprintf(line, sizeof line, "%-8s= %s", key.c_str(), value.c_str());
  return line;
}

} // namespace

Wcs TrueWcs(const SkyOptions& o) {
  Wcs w;
  w.crval1 = o.centre.ra;
  w.crval2 = o.centre.dec;
  w.crpix1 = (o.width + 1) / 2.0;
  w.crpix2 = (o.height + 1) / 2.0;
  const double theta = (o.rotation + (o.meridianFlip ? 180.0 : 0.0)) * kDeg;
  const double s = o.scale / 3600.0;
  // North up and east left at zero rotation; a mirror reverses the x axis.
  const double m = o.mirror ? -1.0 : 1.0;
  w.cd11 = -s * std::cos(theta) * m;
  w.cd12 = s * std::sin(theta);
  w.cd21 = s * std::sin(theta) * m;
  w.cd22 = s * std::cos(theta);
  w.width = o.width;
  w.height = o.height;
  return w;
}

SkyFrames MakeSky(const SkyOptions& o, const std::vector<morvik::astrometry::CatalogStar>& catalogue) {
  SkyFrames sky;
  sky.wcs = TrueWcs(o);
  std::mt19937_64 rng(o.seed);
  const double margin = 8.0;
  auto inside = [&](double x, double y) {
    return x > -margin && y > -margin && x < o.width + margin && y < o.height + margin;
  };
  for (const auto& c : catalogue) {
    auto p = sky.wcs.SkyToPixel(c.sky);
    if (!p || !inside(p->first, p->second)) continue;
    sky.stars.push_back({p->first, p->second, c.sky, c.vt.value_or(11.5), true});
  }
  // Field stars fainter than the catalogue, more of them at each fainter magnitude
  // (counts grow by about 10^0.35 a magnitude at these brightnesses).
  const double area = o.width * o.height * std::pow(o.scale / 3600.0, 2);
  std::poisson_distribution<int> count(kFieldStarsPerDeg2 * area);
  std::uniform_real_distribution<double> u01(0.0, 1.0);
  const int n = count(rng);
  const double lo = 11.0, k = 0.35 * std::numbers::ln10;
  for (int i = 0; i < n; ++i) {
    const double t = u01(rng);
    const double mag = std::log(std::exp(k * lo) + t * (std::exp(k * o.limitingMag) - std::exp(k * lo))) / k;
    const double x = u01(rng) * o.width - 0.5, y = u01(rng) * o.height - 0.5;
    sky.stars.push_back({x, y, sky.wcs.PixelToSky(x, y), mag, false});
  }
  std::sort(sky.stars.begin(), sky.stars.end(), [](const PlacedStar& a, const PlacedStar& b) { return a.mag < b.mag; });
  if (o.keepBrightest > 0 && static_cast<int>(sky.stars.size()) > o.keepBrightest)
    sky.stars.resize(static_cast<std::size_t>(o.keepBrightest));
  std::uniform_real_distribution<double> shift(-6.0, 6.0);
  sky.offsets.push_back({0.0, 0.0});
  for (int f = 1; f < o.frames; ++f)
    sky.offsets.push_back({shift(rng), shift(rng)});
  return sky;
}

bool WriteSkyFrames(const SkyOptions& o, const SkyFrames& sky, const std::string& out, std::string& message) {
  for (int k = 0; k < o.frames; ++k) {
    char name[64];
    std::snprintf(name, sizeof name, "/sky_%04d.fits", k + 1);
    const std::string path = "!" + out + name;
    const std::vector<std::uint16_t> adu = Render(o, sky, k);
    int status = 0;
    fitsfile* f = nullptr;
    long axes[2] = {o.width, o.height};
    fits_create_file(&f, path.c_str(), &status);
    fits_create_img(f, USHORT_IMG, 2, axes, &status);
    fits_write_img(f, TUSHORT, 1, static_cast<LONGLONG>(adu.size()), const_cast<std::uint16_t*>(adu.data()), &status);
    char date[32];
    std::snprintf(date, sizeof date, "2026-09-01T21:%02d:%02d.000", 10 + k / 60, k % 60);
    fits_write_key_str(f, "DATE-OBS", date, "UTC start of the exposure", &status);
    double exptime = 30.0;
    fits_write_key(f, TDOUBLE, "EXPTIME", &exptime, "seconds", &status);
    fits_write_key_str(f, "OBJECT", "Sky field", nullptr, &status);
    if (o.hints == Hints::PixScale) {
      double scale = std::round(o.scale * 100.0) / 100.0;
      fits_write_key(f, TDOUBLE, "PIXSCALE", &scale, "arcsec per pixel", &status);
    } else if (o.hints == Hints::PixelSize) {
      double pixel = kPixelMicrons, focal = std::round(206.264806 * kPixelMicrons / o.scale);
      fits_write_key(f, TDOUBLE, "XPIXSZ", &pixel, "pixel width, microns", &status);
      fits_write_key(f, TDOUBLE, "FOCALLEN", &focal, "focal length, mm", &status);
    }
    if (o.positionHint) {
      // The mount's idea of where it points: a few arcminutes off.
      const morvik::astrometry::Sky aim = sky.wcs.PixelToSky(o.width * 0.47, o.height * 0.55);
      std::string ra = morvik::astrometry::FormatRa(aim.ra), dec = morvik::astrometry::FormatDec(aim.dec);
      std::replace(ra.begin(), ra.end(), ':', ' ');
      std::replace(dec.begin(), dec.end(), ':', ' ');
      fits_write_key_str(f, "OBJCTRA", ra.c_str(), "nominal RA", &status);
      fits_write_key_str(f, "OBJCTDEC", dec.c_str(), "nominal Dec", &status);
    }
    int closeStatus = 0;
    fits_close_file(f, &closeStatus);
    if (status || closeStatus) {
      message = "cannot write " + out + name;
      return false;
    }
  }
  std::ofstream truth(out + "/sky.truth");
  for (const auto& c : morvik::astrometry::WcsCards(sky.wcs))
    truth << Card(c.keyword, c.value) << "\n";
  truth << "END\n";
  char line[160];
  for (const PlacedStar& s : sky.stars) {
    std::snprintf(line, sizeof line, "%.4f %.4f %.8f %.8f %.3f %d\n", s.x, s.y, s.sky.ra, s.sky.dec, s.mag,
                  s.catalogue ? 1 : 0);
    truth << line;
  }
  if (!truth) {
    message = "cannot write " + out + "/sky.truth";
    return false;
  }
  return true;
}

} // namespace skyframes
