#include <gtest/gtest.h>

#include <charconv>
#include <limits>

#include "common/format.hpp"

namespace morvik {
namespace {

class FormatTest : public ::testing::Test {
protected:
  void TearDown() override { SetMessageDecimalSeparator('.'); }
};

TEST_F(FormatTest, IntegersPadToTheirPrecision) {
  EXPECT_EQ(FormatMessage("%.3d", {7}), "007");
  EXPECT_EQ(FormatMessage("%.3d", {1234}), "1234");
  EXPECT_EQ(FormatMessage("%.3d", {-5}), "-005");
  EXPECT_EQ(FormatMessage("%.5d", {47}), "00047");
  EXPECT_EQ(FormatMessage("%d", {0}), "0");
  EXPECT_EQ(FormatMessage("N=%d", {65535}), "N=65535");
}

TEST_F(FormatTest, FixedUsesTwoDecimalsUnlessTold) {
  EXPECT_EQ(FormatMessage("%f", {12.3456}), "12.35");
  EXPECT_EQ(FormatMessage("%f", {1500.0}), "1500.00");
  EXPECT_EQ(FormatMessage("%.4f", {0.0123}), "0.0123");
  EXPECT_EQ(FormatMessage("%f", {-0.125}), "-0.12"); // halves to even on the exact binary value
  EXPECT_EQ(FormatMessage("%f", {0.125}), "0.12");
}

TEST_F(FormatTest, ScientificHasFifteenDigitsAndThreeExponentDigits) {
  EXPECT_EQ(FormatMessage("%e", {1e-6}), "1.00000000000000E-006");
  EXPECT_EQ(FormatMessage("%e", {2656.25}), "2.65625000000000E+003");
  EXPECT_EQ(FormatMessage("%e", {0.0}), "0.00000000000000E+000");
  EXPECT_EQ(FormatMessage("%e", {-1.5e-300}), "-1.50000000000000E-300");
}

TEST_F(FormatTest, WholeMessagesFromTheProgram) {
  EXPECT_EQ(FormatMessage("STAR %.3d (%.3d, %.3d) RAW= %f", {7, 123, 46, 12.3456}), "STAR 007 (123, 046) RAW= 12.35");
  EXPECT_EQ(FormatMessage("DIF = %e K= %e SUM = %f", {1.0, 0.5, 2656.25}),
            "DIF = 1.00000000000000E+000 K= 5.00000000000000E-001 SUM = 2656.25");
  EXPECT_EQ(FormatMessage("%s and %%", {"text"}), "text and %");
  EXPECT_EQ(FormatMessage("%5d|%-4d|", {42, 7}), "   42|7   |");
}

TEST_F(FormatTest, MissingArgumentsLeaveTheRestVerbatim) {
  EXPECT_EQ(FormatMessage("a %d b %d", {1}), "a 1 b %d");
}

TEST_F(FormatTest, GeneralFormIsShortestUpToFifteenDigits) {
  EXPECT_EQ(FormatGeneral(0.1), "0.1");
  EXPECT_EQ(FormatGeneral(1500.0), "1500");
  EXPECT_EQ(FormatGeneral(12.3456), "12.3456");
  EXPECT_EQ(FormatGeneral(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(FormatGeneral(1e-7), "1E-7");
  EXPECT_EQ(FormatGeneral(2.5e20), "2.5E20");
  EXPECT_EQ(FormatGeneral(-0.0), "-0");
  EXPECT_EQ(FormatGeneral(123456789012345678.0), "1.23456789012346E17");
}

TEST_F(FormatTest, MessagesUseTheLocaleSeparatorFilesNever) {
  SetMessageDecimalSeparator(',');
  EXPECT_EQ(FormatGeneral(2.5), "2,5");
  EXPECT_EQ(FormatMessage("%f %.4f %e", {1.5, 0.25, 10.0}), "1,50 0,2500 1,00000000000000E+001");
  EXPECT_EQ(FormatFixed(2.5, 3), "2.500");
  EXPECT_EQ(FormatShortest(2.5), "2.5");
}

TEST_F(FormatTest, FixedForFilesPadsOnTheLeft) {
  EXPECT_EQ(FormatFixed(2451234.56789, 5, 13), "2451234.56789");
  EXPECT_EQ(FormatFixed(0.0123, 4, 7), " 0.0123");
  EXPECT_EQ(FormatFixed(100.5, 4, 7), "100.5000");
  EXPECT_EQ(FormatFixed(-1.25, 4, 7), "-1.2500");
  EXPECT_EQ(FormatFixed(0.1, 9, 13), "  0.100000000");
}

TEST_F(FormatTest, ShortestReadsBackExactly) {
  for (double v : {0.1, 1.0 / 3.0, 2451234.56789, 1e-300, 5e-324, 1.7976931348623157e308}) {
    std::string text = FormatShortest(v);
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(back, v) << text;
  }
}

TEST_F(FormatTest, NonFiniteValuesAreNamedNotGarbled) {
  EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(FormatMessage("%f", {std::numeric_limits<double>::quiet_NaN()}), "NAN");
}

} // namespace
} // namespace morvik
