// Known variables: catalogue files as observers export them, and the cross-match.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "astrometry/known_catalog.hpp"
#include "astrometry/sexagesimal.hpp"
#include "astrometry/tycho_v.hpp"
#include "common/errors.hpp"

namespace morvik::astrometry {
namespace {

TEST(KnownCatalogTest, ColumnsFoundByTheirHeaders) {
  struct Case {
    const char* text;
    std::size_t rows;
    double ra, dec; // of the first row
    const char* name;
  };
  const Case cases[] = {
      // VSX-like CSV: quoted names with commas, sexagesimal, a magnitude range.
      {"Name,AUID,RA (J2000.0),Dec (J2000.0),Type,Period,Mag\n"
       "\"V0339 Peg, a\",000-BBR-533,21:51:01.97,+12:37:32.0,EA|EB,0.8164,\"11.2 - 11.9 V\"\n"
       "NSVS 123,,21 52 00.00,-00 30 00,RRAB,,12.0\n",
       2, 327.758208333, 12.625555556, "V0339 Peg, a"},
      // TSV with VizieR's degree columns.
      {"#comment\nGCVS\t_RAJ2000\t_DEJ2000\tVarType\tPeriod\n"
       "AG Peg\t327.758208\t12.625556\tZAND\t816.5\n",
       1, 327.758208, 12.625556, "AG Peg"},
      // Semicolons and one coordinate column; a row without coordinates skipped.
      {"star;coords;type\nX;21 51 01.97 +12 37 32.0;M\nY;;M\n", 1, 327.758208333, 12.625555556, "X"},
  };
  for (const Case& c : cases) {
    int skipped = -1;
    const auto stars = ParseKnownCatalog(c.text, &skipped);
    ASSERT_EQ(stars.size(), c.rows) << c.text;
    EXPECT_NEAR(stars[0].sky.ra, c.ra, 1e-6) << c.text;
    EXPECT_NEAR(stars[0].sky.dec, c.dec, 1e-6) << c.text;
    EXPECT_EQ(stars[0].name, c.name);
  }
  EXPECT_EQ(ParseKnownCatalog(cases[0].text)[0].period.value_or(0), 0.8164);
  EXPECT_FALSE(ParseKnownCatalog(cases[0].text)[1].period);
  EXPECT_EQ(ParseKnownCatalog(cases[0].text)[1].sky.dec, -0.5);
  EXPECT_THROW(ParseKnownCatalog("Name,Mag\nX,12\n"), CommandError);
}

// A field's stars and a VSX-like file written from them: the planted variables at
// their stars with catalogue errors of a few tenths of an arcsecond, the other
// entries of the catalogue in the field but away from every star.
TEST(KnownCatalogTest, GeneratedCatalogueNamesEveryPlantedVariableAndNothingElse) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> ra(327.3, 328.2), dec(12.2, 13.0), noise(-0.4 / 3600, 0.4 / 3600);
  std::vector<Sky> stars;
  for (int i = 0; i < 400; ++i)
    stars.push_back({ra(rng), dec(rng)});
  const double radius = 12.0; // two pixels of 6"
  std::string sexagesimal = "Name,AUID,RA (J2000.0),Dec (J2000.0),Type,Period,Mag\n";
  std::string degrees = "Name\tRAdeg\tDEdeg\tType\n";
  std::vector<std::pair<std::string, std::size_t>> planted;
  auto add = [&](const std::string& name, Sky s) {
    sexagesimal += "\"" + name + "\",," + FormatRa(s.ra) + "," + FormatDec(s.dec) + ",EW,0.35,\"12.1 - 12.6 V\"\n";
    char line[160];
    std::snprintf(line, sizeof line, "%s\t%.7f\t%.7f\tEW\n", name.c_str(), s.ra, s.dec);
    degrees += line;
  };
  for (std::size_t i = 0; i < stars.size(); i += 37) {
    const std::string name = "ASASSN-V J" + std::to_string(i);
    add(name, {stars[i].ra + noise(rng) / std::cos(stars[i].dec * M_PI / 180), stars[i].dec + noise(rng)});
    planted.emplace_back(name, i);
  }
  int decoys = 0;
  for (int n = 0; decoys < 30 && n < 10000; ++n) {
    const Sky s{ra(rng), dec(rng)};
    bool clear = true;
    for (const Sky& t : stars)
      clear = clear && Separation(s, t) * 3600 > 2 * radius;
    if (!clear) continue;
    add("decoy " + std::to_string(decoys++), s);
  }
  ASSERT_EQ(decoys, 30);
  const auto a = CrossMatch(stars, ParseKnownCatalog(sexagesimal), radius);
  const auto b = CrossMatch(stars, ParseKnownCatalog(degrees), radius);
  const auto known = ParseKnownCatalog(sexagesimal);
  ASSERT_EQ(a.size(), planted.size());
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_EQ(known[a[k].known].name, planted[k].first);
    EXPECT_EQ(a[k].star, planted[k].second);
    EXPECT_LT(a[k].arcsec, 1.0);
    // The sexagesimal file rounds to 0.01 s and 0.1": the same stars, nearly the same
    // separations.
    ASSERT_LT(k, b.size());
    EXPECT_EQ(a[k].star, b[k].star);
    EXPECT_NEAR(a[k].arcsec, b[k].arcsec, 0.2);
  }
}

TEST(KnownCatalogTest, JohnsonVFromTychoWithinItsColourRange) {
  // V = VT - 0.090 (BT - VT): by hand for BT - VT = 1.0 and 0.5, refused outside
  // -0.2 ... 1.8.
  EXPECT_NEAR(*JohnsonV(10.0, 11.0), 9.91, 1e-12);
  EXPECT_NEAR(*JohnsonV(8.2, 8.7), 8.155, 1e-12);
  EXPECT_FALSE(JohnsonV(10.0, 9.7));
  EXPECT_FALSE(JohnsonV(10.0, 11.9));
}

TEST(KnownCatalogTest, NearestWinsWhenTwoCompete) {
  // Two catalogue entries near one star, and one entry between two stars.
  const std::vector<Sky> stars = {{10, 0}, {10 + 8.0 / 3600, 0}};
  const std::vector<KnownStar> known = {{"far", {10, 3.0 / 3600}, "", {}, ""},
                                        {"near", {10, 1.0 / 3600}, "", {}, ""},
                                        {"middle", {10 + 5.0 / 3600, 0}, "", {}, ""}};
  const auto m = CrossMatch(stars, known, 6.0);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(known[m[0].known].name, "near");
  EXPECT_EQ(m[1].star, 1u); // "middle" is 3" from star 1, 5" from star 0: both within
  EXPECT_EQ(known[m[1].known].name, "middle");
}

} // namespace
} // namespace morvik::astrometry
