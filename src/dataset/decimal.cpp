#include "dataset/decimal.hpp"

#include <string>

#include "common/parse.hpp"

namespace morvik {

const char* ParseShortDecimal(const char* p, double& value) {
  using namespace decimal_detail;
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
    if (++intDigits > kMaxDigits) return nullptr;
  }
  int fracDigits = 0;
  if (*p == '.') {
    ++p;
    while (IsDigit(*p)) {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      ++p;
      if (intDigits + ++fracDigits > kMaxDigits) return nullptr;
    }
  }
  if (intDigits + fracDigits == 0) return nullptr;
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
  double v = static_cast<double>(static_cast<std::int64_t>(mantissa)); // below 2^53 here
  if (mantissa == 0) {
    v = 0.0; // whatever the exponent
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
    if (decimal_detail::EndsToken(c)) return std::nullopt; // blanks separate tokens; ParseDecimal would trim them
  const std::string text(token);                           // NUL-terminated for the short path
  double v = 0.0;
  if (ParseShortDecimal(text.c_str(), v) == text.c_str() + text.size()) return v;
  return ParseDecimal(token);
}

} // namespace morvik
