// Angles as observers write them.

#include <gtest/gtest.h>

#include "astrometry/sexagesimal.hpp"

namespace morvik::astrometry {
namespace {

TEST(SexagesimalTest, ParsesTheCommonForms) {
  struct Case {
    const char* text;
    bool ra;
    std::optional<double> degrees;
  };
  const Case cases[] = {
      {"21:51:01.97", true, 327.758208333},
      {"21 51 01.97", true, 327.758208333},
      {"21h51m01.97s", true, 327.758208333},
      {"327.7582", true, 327.7582}, // no separators: degrees
      {"'00 00 00'", true, 0.0},
      {"24:00:00", true, std::nullopt}, // a full turn is 0h
      {"12:61:00", true, std::nullopt}, // minutes below 60
      {"+12:37:32", false, 12.625555556},
      {"-00:30:00", false, -0.5}, // the sign of a zero degree part
      {"-0 30 0", false, -0.5},
      {"12.6256", false, 12.6256},
      {"91:00:00", false, std::nullopt},
      {"abc", false, std::nullopt},
      {"", true, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto v = c.ra ? ParseRa(c.text) : ParseDec(c.text);
    ASSERT_EQ(v.has_value(), c.degrees.has_value()) << c.text;
    if (v) {
      EXPECT_NEAR(*v, *c.degrees, 1e-8) << c.text;
    }
  }
}

TEST(SexagesimalTest, FormatsWithCarriesAndSigns) {
  EXPECT_EQ(FormatRa(327.758208333), "21:51:01.97");
  EXPECT_EQ(FormatRa(359.99999999), "00:00:00.00"); // rounds up into the next day
  EXPECT_EQ(FormatDec(-0.5), "-00:30:00.0");
  EXPECT_EQ(FormatDec(12.99999999), "+13:00:00.0"); // seconds carry into degrees
  EXPECT_NEAR(*ParseDec(FormatDec(-33.123456)), -33.123456, 0.05 / 3600);
}

} // namespace
} // namespace morvik::astrometry
