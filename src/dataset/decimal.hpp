#pragma once
// Number reading for the photometry table: a fast exact path for the short decimals the
// tables hold, with the general locale-independent conversion behind it.

#include <optional>
#include <string_view>

namespace morvik {

// Reads the decimal number starting at p that ends at the first character with code 32
// or less; the text must hold such a character after the number (a terminating NUL
// will do). Handles numbers of at most 19 digits whose value is an exactly
// representable integer (below 2^53) times a power of ten within 1e-22 ... 1e22: one
// multiplication or division by an exact power of ten then rounds correctly.
// Returns the end of the number with value set, or nullptr when the text is something
// else (longer, outside that range, or not a number at all).
const char* ParseShortDecimal(const char* p, double& value);

// One whole token of the table: the short path first, ParseDecimal otherwise.
// nullopt when the token is not a decimal number or is too large for a double.
std::optional<double> ParseTableNumber(std::string_view token);

} // namespace morvik
