#pragma once
// Angles as observers write them: "21:51:01.97", "21 51 01.97", "21h51m01.97s",
// "+12:37:32", or plain degrees.

#include <optional>
#include <string>

namespace morvik::astrometry {

// Right ascension in degrees: hours when written with separators, else degrees.
std::optional<double> ParseRa(const std::string& text);
// Declination in degrees, sexagesimal or decimal.
std::optional<double> ParseDec(const std::string& text);

// "hh:mm:ss.ss" and "+dd:mm:ss.s".
std::string FormatRa(double degrees);
std::string FormatDec(double degrees);

} // namespace morvik::astrometry
