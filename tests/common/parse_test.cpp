#include <gtest/gtest.h>

#include <cmath>

#include "common/parse.hpp"

namespace morvik {
namespace {

TEST(ParseDecimal, AcceptsTheDecimalGrammar) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"0", 0.0},        {"12.5", 12.5},   {"-1.5E2", -150.0}, {"+3", 3.0},         {".5", 0.5},
      {"5.", 5.0},       {"1e3", 1000.0},  {"1E+3", 1000.0},   {"2.5e-1", 0.25},    {"  7.25", 7.25},
      {"7.25  ", 7.25},  {"-0", -0.0},     {"99.999", 99.999}, {"1e-400", 0.0},     {"0.1", 0.1},
  };
  for (const auto& c : cases) {
    auto v = ParseDecimal(c.text);
    ASSERT_TRUE(v.has_value()) << c.text;
    EXPECT_EQ(*v, c.value) << c.text;
  }
  EXPECT_TRUE(std::signbit(*ParseDecimal("-0")));
}

TEST(ParseDecimal, RefusesWhatIsNotADecimalNumber) {
  for (const char* text : {"", " ", "nan", "inf", "-inf", "1,5", "0x10", "1e", "e5", ".", "+", "1.2.3", "12a",
                           "1e309", "-1e400000", "--1", "1 2", "\t1"}) {
    EXPECT_FALSE(ParseDecimal(text).has_value()) << text;
  }
}

TEST(ParseDecimal, IsCorrectlyRounded) {
  EXPECT_EQ(*ParseDecimal("0.1"), 0.1);
  EXPECT_EQ(*ParseDecimal("2451234.56789"), 2451234.56789);
  EXPECT_EQ(*ParseDecimal("9007199254740993"), 9007199254740992.0); // tie to even
  EXPECT_EQ(*ParseDecimal("4.9406564584124654e-324"), 4.9406564584124654e-324);
}

TEST(ParseDecimal, PrefixStopsAtTheFirstForeignCharacter) {
  EXPECT_EQ(*ParseDecimalPrefix("2.5abc"), 2.5);
  EXPECT_EQ(*ParseDecimalPrefix("  1,5"), 1.0);
  EXPECT_EQ(*ParseDecimalPrefix("3e"), 3.0);
  EXPECT_FALSE(ParseDecimalPrefix("abc").has_value());
  EXPECT_FALSE(ParseDecimalPrefix("").has_value());
}

TEST(ScanDecimal, MeasuresTheNumberAtTheStart) {
  EXPECT_EQ(ScanDecimal("12.5 7"), 4u);
  EXPECT_EQ(ScanDecimal("-1e5x"), 4u);
  EXPECT_EQ(ScanDecimal("1e+x"), 1u);
  EXPECT_EQ(ScanDecimal("-.x"), 0u);
}

TEST(ParseInteger, OnlySignAndDigits) {
  EXPECT_EQ(*ParseInteger("512"), 512);
  EXPECT_EQ(*ParseInteger("-1"), -1);
  EXPECT_EQ(*ParseInteger("+2200"), 2200);
  EXPECT_EQ(*ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(*ParseInteger("-2147483648"), -2147483647 - 1);
  for (const char* text : {"", "512.0", " 512", "512 ", "1e3", "2147483648", "abc", "+", "0x10"}) {
    EXPECT_FALSE(ParseInteger(text).has_value()) << text;
  }
}

} // namespace
} // namespace morvik
