#include <algorithm>
#include <string>

#include "common/format.hpp"
#include "common/parse.hpp"
#include "photometry/ensemble.hpp"

namespace morvik {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

} // namespace

std::optional<double> ReadUserDecimal(std::string_view text) {
  const char separator = MessageDecimalSeparator();
  if (separator == '.') return ParseDecimal(text);
  // What the program proposes (a catalog magnitude in the general form) carries the
  // user's separator, so the answer must read back with it.
  std::string copy(text);
  std::replace(copy.begin(), copy.end(), separator, '.');
  return ParseDecimal(copy);
}

double ReadVarianceFactor(std::string_view text) {
  const std::optional<double> f = ReadUserDecimal(text);
  return f && *f > 0.0 ? *f : 1.5;
}

long long ReadNotMoreComp(std::string_view text) {
  const std::optional<int> k = ParseInteger(TrimBlanks(text));
  return k && *k >= 5 ? *k : 5;
}

} // namespace morvik
