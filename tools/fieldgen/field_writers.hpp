#pragma once
// The four files of a synthetic field. Each returns false when the file could not be
// written completely.

#include <string>

#include "field_model.hpp"

namespace fieldgen {

// 16-bit FITS (BZERO 32768) of the reference frame: sky, noise and the stars with a
// Moffat profile at their catalog magnitudes.
bool WriteFrame(const Field& field, std::uint64_t seed, const std::string& path);

// The photometry table: two '#' lines, then per frame the JD and a magnitude and an
// error per star, "99.999 9.999" for a star not measured; CR LF line ends.
bool WriteTable(const Field& field, std::uint64_t seed, const std::string& path);

bool WriteCatalog(const Field& field, const std::string& path);

// id, type, period (days, 0 for the irregular star), peak-to-peak amplitude; then the
// line "comparison ID MAG".
bool WriteVariables(const Field& field, std::uint64_t seed, const std::string& path);

// Fixed-point text of v with the given decimals, appended to out; exposed for tests.
void AppendFixed(std::string& out, double v, int decimals);

} // namespace fieldgen
