#include "common/parse.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace morvik {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Converts a text that ScanDecimal accepted whole.
std::optional<double> Convert(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  double v = 0.0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Decide between overflow and underflow from the decimal exponent of the text.
    long long digitsBefore = 0;
    long long leadingZerosAfter = 0;
    bool seenPoint = false, seenNonZero = false;
    std::size_t i = 0;
    for (; i < s.size() && s[i] != 'e' && s[i] != 'E'; ++i) {
      if (s[i] == '.') {
        seenPoint = true;
        continue;
      }
      if (s[i] != '0') seenNonZero = true;
      if (!seenPoint && seenNonZero) ++digitsBefore;
      if (seenPoint && !seenNonZero) ++leadingZerosAfter;
    }
    long long exp = 0;
    if (i < s.size()) {
      std::string_view e = s.substr(i + 1);
      bool eneg = !e.empty() && e.front() == '-';
      if (!e.empty() && (e.front() == '-' || e.front() == '+')) e.remove_prefix(1);
      for (char c : e) {
        exp = exp * 10 + (c - '0');
        if (exp > 100000) break;
      }
      if (eneg) exp = -exp;
    }
    long long magnitude = exp + (digitsBefore > 0 ? digitsBefore : -leadingZerosAfter);
    if (magnitude > 0) return std::nullopt; // overflow
    return negative ? -0.0 : 0.0;
  }
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return negative ? -v : v;
}

} // namespace

std::size_t ScanDecimal(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t intDigits = 0, fracDigits = 0;
  while (i < t.size() && IsDigit(t[i])) ++i, ++intDigits;
  if (i < t.size() && t[i] == '.') {
    std::size_t j = i + 1;
    while (j < t.size() && IsDigit(t[j])) ++j, ++fracDigits;
    if (intDigits + fracDigits > 0) i = j;
  }
  if (intDigits + fracDigits == 0) return 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
    std::size_t expDigits = 0;
    while (j < t.size() && IsDigit(t[j])) ++j, ++expDigits;
    if (expDigits > 0) i = j;
  }
  return i;
}

std::optional<double> ParseDecimal(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  if (s.empty() || ScanDecimal(s) != s.size()) return std::nullopt;
  return Convert(s);
}

std::optional<double> ParseDecimalPrefix(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::size_t n = ScanDecimal(text);
  if (n == 0) return std::nullopt;
  return Convert(text.substr(0, n));
}

std::optional<int> ParseInteger(std::string_view text) {
  std::string_view s = text;
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  long long v = 0;
  for (char c : s) {
    if (!IsDigit(c)) return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return std::nullopt;
  return static_cast<int>(v);
}

} // namespace morvik
