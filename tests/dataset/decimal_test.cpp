#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "dataset/decimal.hpp"

namespace morvik {
namespace {

// The correctly rounded value of a decimal text, sign handled here because from_chars
// does not take a '+'.
double Reference(const std::string& text) {
  std::string_view s = text;
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  double v = 0.0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  EXPECT_EQ(r.ptr, s.data() + s.size()) << text;
  return negative ? -v : v;
}

// Bit-identical, so that a wrong sign of zero also fails.
void ExpectSameDouble(double actual, double expected, const std::string& text) {
  EXPECT_EQ(std::signbit(actual), std::signbit(expected)) << text;
  EXPECT_EQ(actual, expected) << text;
}

// The padded variant reads whole words past the number: what follows the terminator
// must not matter, whatever it is.
const char* ParsePadded(const std::string& text, char terminator, std::string& storage, double& v) {
  storage = text;
  storage += terminator;
  storage += "98765432-1.0.e+9 ";
  return ParseShortDecimalPadded(storage.c_str(), v);
}

TEST(ShortDecimal, MatchesCorrectRoundingOnRandomTableNumbers) {
  std::mt19937_64 rng(20240611);
  int shortPathCount = 0;
  for (int i = 0; i < 200000; ++i) {
    // Like the table: up to 8 integer digits and up to 7 decimals, now and then signs
    // and exponents.
    std::string text;
    const unsigned kind = static_cast<unsigned>(rng() % 8);
    if (kind == 0) text += '-';
    if (kind == 1) text += '+';
    const int intDigits = static_cast<int>(rng() % 9);
    const int fracDigits = static_cast<int>(rng() % 8);
    for (int d = 0; d < intDigits; ++d)
      text += static_cast<char>('0' + rng() % 10);
    if (fracDigits > 0 || intDigits == 0) {
      text += '.';
      for (int d = 0; d < std::max(fracDigits, intDigits == 0 ? 1 : 0); ++d)
        text += static_cast<char>('0' + rng() % 10);
    }
    if (kind == 2) text += "e" + std::to_string(static_cast<int>(rng() % 31) - 15);
    if (kind == 3) text += "E+" + std::to_string(rng() % 12);

    double v = 12345.0;
    const char* end = ParseShortDecimal(text.c_str(), v);
    ASSERT_NE(end, nullptr) << text; // all of these are short enough
    EXPECT_EQ(end, text.c_str() + text.size()) << text;
    ExpectSameDouble(v, Reference(text), text);
    std::string storage;
    double padded = 12345.0;
    const char terminator = " \t\r\n"[i % 4];
    const char* paddedEnd = ParsePadded(text, terminator, storage, padded);
    ASSERT_NE(paddedEnd, nullptr) << text;
    EXPECT_EQ(paddedEnd, storage.c_str() + text.size()) << text;
    ExpectSameDouble(padded, Reference(text), text);
    ++shortPathCount;
  }
  EXPECT_EQ(shortPathCount, 200000);
}

TEST(ShortDecimal, MatchesCorrectRoundingOnRandomFullMantissas) {
  // Mantissas up to 2^53 with every exponent of the exact range: the cases where a
  // double rounding would show.
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t mantissa = rng() % ((std::uint64_t{1} << 53) + 1);
    const int power = static_cast<int>(rng() % 45) - 22;
    std::string text = std::to_string(mantissa) + "e" + std::to_string(power);
    double v = 0.0;
    ASSERT_NE(ParseShortDecimal(text.c_str(), v), nullptr) << text;
    ExpectSameDouble(v, Reference(text), text);
  }
}

TEST(ShortDecimal, EdgeValuesAreExact) {
  for (const char* text : {"0",
                           "-0",
                           "+0",
                           "0.0",
                           "-0.000",
                           "0e400",
                           "5.",
                           ".5",
                           "-.5",
                           "1e22",
                           "1e-22",
                           "9007199254740992",
                           "9007199254740992e22",
                           "9007199254740992e-22",
                           "0.1",
                           "0.3",
                           "2459000.12345",
                           "99.999",
                           "9.999",
                           "99",
                           "9",
                           "98.99",
                           "8.99",
                           "1E+05",
                           "1e-0",
                           "1e0000000000000000005",
                           "0000000000000000001",
                           "0.000000000000000001"}) {
    double v = 1.0;
    const std::string s = text;
    const char* end = ParseShortDecimal(s.c_str(), v);
    ASSERT_NE(end, nullptr) << text;
    EXPECT_EQ(end, s.c_str() + s.size());
    ExpectSameDouble(v, Reference(s), s);
    std::string storage;
    double padded = 1.0;
    const char* paddedEnd = ParsePadded(s, '\0', storage, padded);
    ASSERT_EQ(paddedEnd, storage.c_str() + s.size()) << text;
    ExpectSameDouble(padded, Reference(s), s);
  }
}

TEST(ShortDecimal, LeavesLongOrFarNumbersToTheGeneralPath) {
  // Outside the exact range the short path must step aside rather than round twice,
  // and the table conversion must still be correctly rounded.
  for (const char* text : {"9007199254740993", "4503599627370497.5", "123456789012345678e-3", "9007199254740993e-5",
                           "12345678901234567890", "1e23", "1e-23", "3.14159265358979323846", "0.00000000000000000001",
                           "1.7976931348623157e308", "4.9406564584124654e-324", "2.2250738585072011e-308",
                           "123456789012345678901234567890e-20", "1e-400"}) {
    double v = 0.0;
    const std::string s = text;
    EXPECT_EQ(ParseShortDecimal(s.c_str(), v), nullptr) << text;
    std::string storage;
    EXPECT_EQ(ParsePadded(s, ' ', storage, v), nullptr) << text;
    const auto table = ParseTableNumber(s);
    ASSERT_TRUE(table.has_value()) << text;
    ExpectSameDouble(*table, Reference(s), s);
  }
}

TEST(ShortDecimal, StopsAtControlCharactersAndBlanks) {
  for (const char* text : {"12.5 ", "12.5\t", "12.5\r\n", "12.5\n"}) {
    double v = 0.0;
    const char* end = ParseShortDecimal(text, v);
    ASSERT_NE(end, nullptr) << text;
    EXPECT_EQ(end, text + 4);
    EXPECT_EQ(v, 12.5);
  }
}

// The one-word path against the character-by-character one, on every short token over
// an alphabet of digits, points, signs, letters, separators and bytes above 127, and
// on random longer ones: the same end and the same value, or both refusing.
TEST(ShortDecimal, WordPathAgreesWithTheCharacterPath) {
  const char alphabet[] = {'0', '1', '5', '9',  '.',  '-',  '+',    'e',    'a',
                           '/', ':', ' ', '\t', '\r', '\0', '\x80', '\xb9', '\xff'};
  const std::size_t n = sizeof alphabet;
  std::size_t compared = 0, mismatches = 0, accepted = 0;
  auto check = [&](const char* token) { // token: 9 bytes, then readable padding
    double word = -1.0, chars = -1.0;
    const char* a = ParseShortDecimalPadded(token, word);
    const char* b = ParseShortDecimal(token, chars);
    ++compared;
    accepted += a != nullptr;
    if (a != b || (a != nullptr && std::memcmp(&word, &chars, sizeof word) != 0)) {
      if (++mismatches <= 5) ADD_FAILURE() << "token \"" << std::string(token, 8) << "\"";
    }
  };
  char buf[32] = {};
  for (std::size_t len = 1; len <= 5; ++len) {
    std::size_t total = 1;
    for (std::size_t i = 0; i < len; ++i)
      total *= n;
    for (std::size_t code = 0; code < total; ++code) {
      std::size_t c = code;
      for (std::size_t i = 0; i < len; ++i, c /= n)
        buf[i] = alphabet[c % n];
      buf[len] = ' ';
      buf[len + 1] = '7'; // what follows the separator must not matter
      check(buf);
    }
  }
  std::mt19937 rng(5);
  for (int k = 0; k < 300000; ++k) {
    const std::size_t len = 6 + rng() % 4;
    for (std::size_t i = 0; i < len; ++i)
      buf[i] = rng() % 4 ? static_cast<char>('0' + rng() % 10) : alphabet[rng() % n];
    buf[len] = rng() % 2 ? ' ' : '\n';
    for (std::size_t i = len + 1; i < 16; ++i)
      buf[i] = static_cast<char>(rng());
    check(buf);
  }
  EXPECT_EQ(mismatches, 0u) << "of " << compared;
  EXPECT_GT(accepted, 10000u);
}

TEST(TableNumber, RefusesWhatIsNotADecimalNumber) {
  for (const char* text :
       {"",  "nan",   "inf", "-inf", "NaN", "1,5",   "0x10",   "1e",         "1e+",  "e5",  ".",  "+",
        "-", "1.2.3", "12a", "--1",  "+-1", "1e309", "-1e309", "1e99999999", "1.5.", "1 2", "0x", "١"}) {
    double v = 0.0;
    const std::string s = text;
    EXPECT_EQ(ParseShortDecimal(s.c_str(), v) == s.c_str() + s.size() && !s.empty(), false) << text;
    std::string storage;
    EXPECT_EQ(ParsePadded(s, ' ', storage, v) == storage.c_str() + s.size() && !s.empty(), false) << text;
    EXPECT_FALSE(ParseTableNumber(s).has_value()) << text;
  }
}

} // namespace
} // namespace morvik
