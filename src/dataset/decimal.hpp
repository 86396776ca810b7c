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
    // The lowest flagged byte of these tests is exact (borrows only run upwards).
    const std::uint64_t ends = (w - 0x21 * kOnes) & ~w & kHighBits; // code 32 or less
    if (ends == 0) return nullptr;
    const unsigned len = static_cast<unsigned>(std::countr_zero(ends)) / 8;
    const std::uint64_t dotBytes = w ^ (0x2E * kOnes);
    const unsigned at = static_cast<unsigned>(std::countr_zero((dotBytes - kOnes) & ~dotBytes & kHighBits)) / 8;
    unsigned digits = len;
    unsigned frac = 0;
    if (at < len) { // squeeze the point out
      const std::uint64_t below = LowBytes(at);
      w = (w & below) | ((w >> 8) & ~below);
      digits = len - 1;
      frac = digits - at;
    }
    if (digits == 0) return nullptr;
    // Digit values; every byte of the number must come out as 0 ... 9. A byte below
    // '0' borrows from the bytes above it, but is itself caught.
    std::uint64_t x = w - 0x30 * kOnes;
    if ((x | (x + 0x76 * kOnes)) & kHighBits & LowBytes(digits)) return nullptr;
    x <<= 8 * (8 - digits); // leading zero digits; what followed the number drops out
    value = static_cast<double>(static_cast<std::int64_t>(EightDigitValues(x))) / kExactPowers[frac];
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
