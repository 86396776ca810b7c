#pragma once
// The two sigma factors of the settings page, read from the text of their edits.

#include <string_view>

namespace morvik {

inline constexpr double kDefaultSigmaFactor = 2.0;
inline constexpr double kMinSigmaFactor = 0.05;

// The number the text starts with (after blanks; "1,5" reads as 1); a text that does
// not start with a number counts as 0. A result below 0.05 gives 2.0.
double SigmaFactorFromText(std::string_view text);

} // namespace morvik
