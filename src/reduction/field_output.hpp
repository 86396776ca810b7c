#pragma once
// Writing a reduced field: every file goes to a hidden folder beside the target first,
// and only when all of them are complete are they renamed into place, one rename each.
// Every file carries the same reduction identifier, so that a set cut short in its
// swap is known as mixed.

#include <string>
#include <utility>
#include <vector>

namespace morvik::reduction {

struct FieldFiles {
  std::string table;   // <base>.dat
  std::string catalog; // <base>.xml
  std::string report;  // <base>_reduction.txt
  // The reference frame, <base>.fts: 32-bit float pixels, row-major.
  std::vector<float> pixels;
  long width = 0;
  long height = 0;
  std::vector<std::pair<std::string, std::string>> textCards; // keyword, string value
  std::vector<std::pair<std::string, double>> numberCards;
  std::vector<std::string> records; // whole header cards (the WCS of a solved frame)
  std::string id; // the reduction identifier every file carries; "" makes a new one
};

// "" when a field can be written at out (DIR/NAME; the folder made if needed),
// otherwise why not: checked before any frame is measured.
std::string CheckOutputFolder(const std::string& out);

// Removes what an interrupted reduction into out left beside it.
void RemoveLeftovers(const std::string& out);

// out is DIR/NAME. On success written lists the four paths; on failure nothing of an
// earlier field at that name is touched and error says what failed.
bool WriteField(const std::string& out, const FieldFiles& files, std::vector<std::string>& written, std::string& error);

} // namespace morvik::reduction
