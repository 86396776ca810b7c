#pragma once
// Number reading for the photometry table: a fast exact path for the short decimals the
// tables hold, with the general locale-independent conversion behind it. Inline, since
// the table reader calls it once per number.

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace morvik {

namespace decimal_detail {

// Every power of ten up to 1e22 is exactly a double.
inline constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr std::uint64_t kExactMantissaLimit = std::uint64_t{1} << 53;
inline constexpr int kMaxDigits = 19; // still fits in 64 bits

inline bool IsDigit(char c) { return static_cast<unsigned>(c - '0') < 10u; }
inline bool EndsToken(char c) { return static_cast<unsigned char>(c) <= 32; }

inline constexpr std::uint64_t kOnes = 0x0101010101010101ull;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// Mask of the lowest n bytes, n in 0 ... 7.
inline std::uint64_t LowBytes(unsigned n) { return (std::uint64_t{1} << (8 * n)) - 1; }

// Eight digit values (0 ... 9, not ASCII), the first in the lowest byte, to their value.
inline std::uint64_t EightDigitValues(std::uint64_t x) {
  x = x * 10 + (x >> 8);
  const std::uint64_t mask = 0x000000FF000000FFull;
  const std::uint64_t mul1 = 100 + (std::uint64_t{1000000} << 32);
  const std::uint64_t mul2 = 1 + (std::uint64_t{10000} << 32);
  return (((x & mask) * mul1) + (((x >> 16) & mask) * mul2)) >> 32;
}

// Tokens of at most 7 characters made of digits and at most one point ("12.345",
// "0.012", "99.999"), read as one 64-bit word: no loop and few branches. nullptr for
// anything else. p must have 8 readable bytes.
inline const char* ParseWord(const char* p, double& value) {
  if constexpr (std::endian::native != std::endian::little) {
    return nullptr;
  } else {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    // Digit bytes become their values 0 ... 9, every other byte something above 9.
    const std::uint64_t x = w ^ (0x30 * kOnes);
    // Bytes that are no digit. Only a byte of 0x8A or more carries into the byte above
    // it; the bytes below the two lowest flags used here are digits or a point, so
    // both flags are exact.
    const std::uint64_t other = ((x + 0x76 * kOnes) | x) & kHighBits;
    const unsigned first = static_cast<unsigned>(std::countr_zero(other)) / 8; // digits before it
    const unsigned second = static_cast<unsigned>(std::countr_zero(other & (other - 1))) / 8;
    const auto byteAt = [w](unsigned i) { return static_cast<unsigned char>(w >> (8 * (i & 7))); };
    const bool point = first < 8 && byteAt(first) == '.';
    const unsigned len = point ? second : first;
    if (len >= 8 || byteAt(len) > 32) return nullptr; // longer, or not ended by a separator
    const unsigned digits = point ? len - 1 : len;
    if (digits == 0) return nullptr;
    const std::uint64_t below = LowBytes(first & 7);
    std::uint64_t d = point ? (x & below) | ((x >> 8) & ~below) : x; // the point squeezed out
    d <<= 8 * (8 - digits); // leading zero digits; what followed the number drops out
    const unsigned frac = point ? second - first - 1 : 0;
    value = static_cast<double>(static_cast<std::int64_t>(EightDigitValues(d))) / kExactPowers[frac];
    return p + len;
  }
}

} // namespace decimal_detail

// Reads the decimal number starting at p that ends at the first character with code 32
// or less; the text must hold such a character after the number (a terminating NUL
// will do). Handles numbers of at most 19 digits whose value is an exactly
// representable integer (at most 2^53) times a power of ten within 1e-22 ... 1e22: one
// multiplication or division by an exact power of ten then rounds correctly.
// Returns the end of the number with value set, or nullptr when the text is something
// else (longer, outside that range, or not a number at all).
const char* ParseShortDecimal(const char* p, double& value);

// The same, for text that has at least 9 readable bytes from p on (the table reader's
// blocks are padded): short tokens take the one-word path.
inline const char* ParseShortDecimalPadded(const char* p, double& value) {
  const bool negative = *p == '-';
  const char* e = decimal_detail::ParseWord(p + (negative ? 1 : 0), value);
  if (e != nullptr) {
    if (negative) value = -value;
    return e;
  }
  return ParseShortDecimal(p, value);
}

// One whole token of the table: the short path first, ParseDecimal otherwise.
// nullopt when the token is not a decimal number or is too large for a double.
std::optional<double> ParseTableNumber(std::string_view token);

} // namespace morvik
