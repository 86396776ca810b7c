#pragma once
// Readers of the two companion files of a frame: the photometry table <base>.dat and
// the star catalog <base>.xml.

#include <string>

#include "common/log.hpp"
#include "dataset/records.hpp"

namespace morvik {

// Reads the photometry table at path into series.
// - No file at path: returns at once, no message, series unchanged.
// - A refused table (header lines, column count, more than 65 535 stars) is reported by
//   a log line and leaves series unchanged.
// - A token that is not a decimal number throws CommandError("Invalid numeric input").
// series is replaced only when the whole table was read; every refusal or error leaves
// it as it was. On success Stats is empty and every other field is as read.
void LoadPhotometryTable(const std::string& path, TTimeSeries& series, Log& log);

// Reads the star catalog at path into catalog.
// - No file at path: returns at once, no message, catalog unchanged.
// - Otherwise the catalog is cleared first; an empty document stops there silently,
//   a document without cat_file/stars stops with a log line.
// - Malformed XML throws CommandError with the parser's description and offset; an id,
//   x, y or m that is not a number throws CommandError naming the value (entries set
//   before it stay).
// - Entries with an id outside 1 ... 40 000 are skipped and counted in one log line.
void LoadStarCatalog(const std::string& path, StarCatalog& catalog, Log& log);

} // namespace morvik
