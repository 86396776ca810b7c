#pragma once
// The files of a frame series: one FITS file per frame and the truth file that says
// what each frame holds.

#include <cstdint>
#include <string>

#include <vector>

#include "series_camera.hpp"
#include "series_model.hpp"

namespace fieldgen {

// Writes dir/<frame file> for every frame, on all cores; false with a message in
// error when a file could not be written. Under the camera model, truths (when given)
// gets what each frame holds of each star.
bool WriteSeriesFrames(const Series& series, std::uint64_t seed, const std::string& dir, std::string& error,
                       std::vector<FrameTruth>* truths = nullptr);

// The truth file (see the header lines it writes for the layout); truths: the frames'
// star truths of the camera model, one per frame.
bool WriteSeriesTruth(const Series& series, const std::string& path, const std::vector<FrameTruth>& truths = {});

// Header text of a UTC instant in milliseconds since 1970-01-01, shifted by
// zoneMinutes: "YYYY-MM-DDThh:mm:ss.sss"; exposed for tests.
std::string FormatUtc(long long ms, int zoneMinutes = 0);

} // namespace fieldgen
