#pragma once
// The plate-solving options of morvik-reduce: --no-solve, --scale LOW HIGH,
// --solve-time S.

#include <cstddef>
#include <string>
#include <vector>

#include "reduction/reference_sky.hpp"

// True when args[i] is one of them (i then at its last value); ok false when a value
// is missing or bad.
bool ParseSkyOption(const std::vector<std::string>& args, std::size_t& i, morvik::reduction::SkySettings& sky,
                    bool& ok);
