#include "dataset/decimal.hpp"

#include <cstdint>
#include <string>

#include "common/parse.hpp"

namespace morvik {
namespace {

// Every power of ten up to 1e22 is exactly a double.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t kExactMantissaLimit = std::uint64_t{1} << 53;
constexpr int kMaxDigits = 19; // still fits in 64 bits

inline bool IsDigit(char c) { return static_cast<unsigned>(c - '0') < 10u; }
inline bool EndsToken(char c) { return static_cast<unsigned char>(c) <= 32; }

} // namespace

const char* ParseShortDecimal(const char* p, double& value) {
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    ++p;
  }
  std::uint64_t mantissa = 0;
  int intDigits = 0;
  while (IsDigit(*p)) {
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    ++p;
    ++intDigits;
  }
  int fracDigits = 0;
  if (*p == '.') {
    ++p;
    while (IsDigit(*p)) {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      ++p;
      ++fracDigits;
      if (intDigits + fracDigits > kMaxDigits) return nullptr;
    }
  }
  const int digits = intDigits + fracDigits;
  if (digits == 0 || digits > kMaxDigits) return nullptr;
  int exponent = 0;
  if (*p == 'e' || *p == 'E') {
    ++p;
    bool expNegative = false;
    if (*p == '-' || *p == '+') {
      expNegative = *p == '-';
      ++p;
    }
    if (!IsDigit(*p)) return nullptr;
    while (IsDigit(*p)) {
      exponent = exponent * 10 + (*p - '0');
      if (exponent > 100000) return nullptr;
      ++p;
    }
    if (expNegative) exponent = -exponent;
  }
  if (!EndsToken(*p)) return nullptr;
  if (mantissa > kExactMantissaLimit) return nullptr;
  const int power = exponent - fracDigits;
  double v = static_cast<double>(mantissa);
  if (mantissa == 0) {
    v = 0.0; // any exponent
  } else if (power >= 0 && power <= 22) {
    v *= kExactPowers[power];
  } else if (power < 0 && power >= -22) {
    v /= kExactPowers[-power];
  } else {
    return nullptr;
  }
  value = negative ? -v : v;
  return p;
}

std::optional<double> ParseTableNumber(std::string_view token) {
  if (token.empty()) return std::nullopt;
  for (char c : token)
    if (EndsToken(c)) return std::nullopt; // blanks separate tokens, ParseDecimal would trim them
  const std::string text(token);           // NUL-terminated for the short path
  double v = 0.0;
  if (ParseShortDecimal(text.c_str(), v) == text.c_str() + text.size()) return v;
  return ParseDecimal(token);
}

} // namespace morvik
