#pragma once
// A celestial WCS of the gnomonic (TAN) projection with optional SIP distortion
// polynomials (Shupe et al. 2005, "The SIP Convention for Representing Distortion in
// FITS Image Headers", ASP Conf. Ser. 347, 491; Calabretta & Greisen 2002, A&A 395,
// 1077 for the projection). Pixel coordinates here are 0-based, (0,0) the centre of
// the first pixel; the FITS cards count from 1.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvik::astrometry {

struct Sky {
  double ra = 0;  // degrees, 0 ... 360
  double dec = 0; // degrees
};

// A SIP polynomial: coefficients c[p][q] of u^p v^q, p + q <= order.
struct SipPolynomial {
  int order = 0;
  std::vector<std::vector<double>> c;
  double Eval(double u, double v) const;
  bool Empty() const { return order < 1; }
};

struct Wcs {
  double crpix1 = 0, crpix2 = 0;                 // FITS 1-based reference pixel
  double crval1 = 0, crval2 = 0;                 // degrees
  double cd11 = 0, cd12 = 0, cd21 = 0, cd22 = 0; // degrees per pixel
  SipPolynomial a, b;                            // pixel -> intermediate (forward)
  SipPolynomial ap, bp;                          // intermediate -> pixel (inverse), may be empty
  int width = 0, height = 0;

  bool Valid() const;
  Sky PixelToSky(double x, double y) const;
  // Nullopt for a point on the far side of the tangent plane.
  std::optional<std::pair<double, double>> SkyToPixel(const Sky& s) const;
  // Arcseconds per pixel (square root of the CD determinant).
  double Scale() const;
  // The angle from the frame's +y axis to north, degrees counted towards -x; and
  // whether the frame is mirrored (east clockwise from north as displayed).
  double NorthAngle() const;
  bool Mirrored() const;
};

// A header card as the solver or the reference frame writes it.
struct Card {
  std::string keyword;
  std::string value; // strings keep their quotes
  std::string comment;
};

// Reads CTYPE, CRPIX, CRVAL, CD (or CDELT with PC or CROTA2) and A_/B_/AP_/BP_ from
// cards. Nullopt when they describe no TAN projection.
std::optional<Wcs> WcsFromCards(const std::vector<Card>& cards);

// Standard cards for the WCS: WCSAXES, CTYPE1/2 (TAN or TAN-SIP), CUNIT, EQUINOX,
// RADESYS, CRVAL, CRPIX, CD and the SIP terms.
std::vector<Card> WcsCards(const Wcs& wcs);

// Angular distance in degrees.
double Separation(const Sky& p, const Sky& q);

} // namespace morvik::astrometry
