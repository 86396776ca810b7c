// The TAN projection and SIP terms against values worked by hand, and the cards.

#include <gtest/gtest.h>

#include <cmath>

#include "astrometry/wcs.hpp"

namespace morvik::astrometry {
namespace {

Wcs Simple() {
  Wcs w;
  w.crpix1 = 101;
  w.crpix2 = 51;
  w.crval1 = 30;
  w.crval2 = 60;
  w.cd11 = -1.0 / 3600; // 1"/px, north up, east left
  w.cd22 = 1.0 / 3600;
  return w;
}

TEST(WcsTest, GnomonicProjectionByHand) {
  const Wcs w = Simple();
  // The reference pixel (FITS 101, 51 = 0-based 100, 50) is CRVAL.
  Sky c = w.PixelToSky(100, 50);
  EXPECT_NEAR(c.ra, 30, 1e-12);
  EXPECT_NEAR(c.dec, 60, 1e-12);
  // 3600 px to the left (east) along the row: xi = +1 deg, eta = 0. By hand:
  // ra = 30 + atan2(xi, cos 60) = 30 + atan2(0.0174533, 0.5) = 30 + 1.999188 deg,
  // dec = atan2(sin 60, hypot(xi, cos 60)) = atan2(0.866025, 0.500305) = 59.984892 deg.
  Sky e = w.PixelToSky(100 - 3600, 50);
  EXPECT_NEAR(e.ra, 30 + 1.999188, 2e-6);
  EXPECT_NEAR(e.dec, 59.984892, 2e-6);
  // North by 3600 px: eta = 1 deg on the tangent plane; on the central meridian
  // dec = 60 + atan(0.0174533) = 60 + 0.999898 deg.
  Sky n = w.PixelToSky(100, 50 + 3600);
  EXPECT_NEAR(n.ra, 30, 1e-9);
  EXPECT_NEAR(n.dec, 60.999898, 2e-6);
}

TEST(WcsTest, RoundTripsAcrossOrientationsAndThePole) {
  struct Case {
    double cd11, cd12, cd21, cd22, dec;
  };
  const double s = 5.0 / 3600;
  const Case cases[] = {
      {-s, 0, 0, s, 10},                        // plain
      {s, 0, 0, -s, -45},                       // meridian flip
      {s, 0, 0, s, 89.9},                       // mirrored, at the pole
      {-s * 0.6, s * 0.8, s * 0.8, s * 0.6, 0}, // rotated
  };
  for (const Case& c : cases) {
    Wcs w = Simple();
    w.cd11 = c.cd11, w.cd12 = c.cd12, w.cd21 = c.cd21, w.cd22 = c.cd22, w.crval2 = c.dec;
    for (auto [x, y] : {std::pair{0.0, 0.0}, std::pair{640.0, 480.0}, std::pair{-300.0, 900.0}}) {
      const auto p = w.SkyToPixel(w.PixelToSky(x, y));
      ASSERT_TRUE(p);
      EXPECT_NEAR(p->first, x, 1e-7) << c.dec;
      EXPECT_NEAR(p->second, y, 1e-7) << c.dec;
    }
  }
  // The far side of the tangent plane has no pixel.
  EXPECT_FALSE(Simple().SkyToPixel({210, -60}));
}

TEST(WcsTest, SipTermsMoveThePixelAndInvert) {
  Wcs w = Simple();
  w.a.order = w.b.order = 2;
  w.a.c.assign(3, std::vector<double>(3, 0));
  w.b.c.assign(3, std::vector<double>(3, 0));
  w.a.c[2][0] = 1e-4;  // u' = u + 1e-4 u^2
  w.b.c[1][1] = -2e-4; // v' = v - 2e-4 u v
  // u = 100, v = 50: u' = 101, v' = 49, so the sky is that of the plain pixel +1, -1.
  const Sky distorted = w.PixelToSky(200, 100);
  const Sky plain = Simple().PixelToSky(201, 99);
  EXPECT_NEAR(distorted.ra, plain.ra, 1e-12);
  EXPECT_NEAR(distorted.dec, plain.dec, 1e-12);
  // Without AP/BP the inverse comes from iterating the forward terms.
  const auto back = w.SkyToPixel(distorted);
  ASSERT_TRUE(back);
  EXPECT_NEAR(back->first, 200, 1e-8);
  EXPECT_NEAR(back->second, 100, 1e-8);
}

TEST(WcsTest, CardsRoundTripAndOtherForms) {
  Wcs w = Simple();
  w.cd12 = 2e-5;
  w.a.order = 2;
  w.a.c.assign(3, std::vector<double>(3, 0));
  w.a.c[0][2] = 3.5e-7;
  const auto back = WcsFromCards(WcsCards(w));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->cd12, w.cd12);
  EXPECT_EQ(back->a.c[0][2], 3.5e-7);
  EXPECT_TRUE(back->b.Empty());
  // CDELT with CROTA2 (30 degrees) as older pipelines write it.
  const std::vector<Card> crota = {{"CTYPE1", "'RA---TAN'", ""}, {"CTYPE2", "'DEC--TAN'", ""}, {"CRPIX1", "1", ""},
                                   {"CRPIX2", "1", ""},          {"CRVAL1", "10", ""},         {"CRVAL2", "20", ""},
                                   {"CDELT1", "-0.001", ""},     {"CDELT2", "0.001", ""},      {"CROTA2", "30", ""}};
  const auto r = WcsFromCards(crota);
  ASSERT_TRUE(r);
  EXPECT_NEAR(r->cd11, -0.001 * std::cos(M_PI / 6), 1e-15);
  EXPECT_NEAR(r->cd12, -0.001 * std::sin(M_PI / 6), 1e-15);
  EXPECT_NEAR(r->cd21, -0.001 * std::sin(M_PI / 6), 1e-15);
  // North points up and to the left, 30 degrees from +y.
  EXPECT_NEAR(r->NorthAngle(), 30, 1e-9);
  // Not a TAN projection, or no CRVAL: no WCS.
  auto sin = crota;
  sin[0].value = "'RA---SIN'";
  EXPECT_FALSE(WcsFromCards(sin));
  EXPECT_FALSE(WcsFromCards({crota.begin(), crota.begin() + 4}));
}

} // namespace
} // namespace morvik::astrometry
