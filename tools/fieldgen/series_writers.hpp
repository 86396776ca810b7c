#pragma once
// The files of a frame series: one FITS file per frame and the truth file that says
// what each frame holds.

#include <cstdint>
#include <string>

#include "series_model.hpp"

namespace fieldgen {

// Writes dir/<frame file> for every frame, on all cores; false with a message in
// error when a file could not be written.
bool WriteSeriesFrames(const Series& series, std::uint64_t seed, const std::string& dir, std::string& error);

// The truth file (see the header lines it writes for the layout).
bool WriteSeriesTruth(const Series& series, const std::string& path);

// Header text of a UTC instant in milliseconds since 1970-01-01, shifted by
// zoneMinutes: "YYYY-MM-DDThh:mm:ss.sss"; exposed for tests.
std::string FormatUtc(long long ms, int zoneMinutes = 0);

} // namespace fieldgen
