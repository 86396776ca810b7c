#pragma once
// Locale-independent reading of numbers. The decimal point is always '.'.

#include <cstddef>
#include <optional>
#include <string_view>

namespace morvik {

// Length of the longest prefix of text that is a decimal number by the grammar
//   [+|-] digits [. [digits]] [(E|e) [+|-] digits]   or   [+|-] . digits [exponent]
// (no leading blanks, no "inf", "nan", hexadecimal or comma). 0 when there is none.
std::size_t ScanDecimal(std::string_view text);

// Converts text that is exactly one decimal number (as ScanDecimal) to the nearest
// double. Leading and trailing blanks are allowed. A value too large for a double
// gives nullopt, like text that is not a number; one too small gives a signed zero.
std::optional<double> ParseDecimal(std::string_view text);

// The number at the start of text after leading blanks, ignoring what follows it
// ("2.5abc" -> 2.5); nullopt when the text does not start with a number.
std::optional<double> ParseDecimalPrefix(std::string_view text);

// A decimal integer: an optional sign and digits, nothing else, within 32 bits.
std::optional<int> ParseInteger(std::string_view text);

} // namespace morvik
