#pragma once
// One observer's frame read through cfitsio: the first HDU that holds a 2-D image
// (or a 3-D one whose third axis is 1), in any BITPIX, scaled by BZERO/BSCALE, with
// BLANK and NaN pixels as NaN. Plain, tile-compressed and gzipped files alike.

#include <optional>
#include <string>
#include <vector>

namespace morvik::frames {

// One header card as it stands in the file.
struct HeaderCard {
  std::string keyword; // "" for a blank card
  std::string value;   // as written (strings keep their quotes), "" when none
  std::string comment;
  std::string record; // the whole 80-character card
};

struct FrameImage {
  std::string path;
  int hdu = 0;     // 1 = primary
  long width = 0;  // NAXIS1
  long height = 0; // NAXIS2
  int bitpix = 0;  // as stored (for compressed images: of the uncompressed image)
  bool compressed = false;
  // Row-major: pixels[y * width + x], x and y from 0, y = 0 the file's first row.
  std::vector<float> pixels;
  std::vector<HeaderCard> cards;
  // Pixels the file ends before (or that a damaged tile lost): they read as NaN.
  long long missing = 0;

  float at(long x, long y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }

  // Keyword look-ups on the image HDU's header (the first card of a keyword wins).
  // Strings lose their quotes and trailing blanks; long strings continued over
  // CONTINUE cards are joined. Numbers are read locale-independently.
  std::optional<std::string> String(const std::string& keyword) const;
  std::optional<double> Number(const std::string& keyword) const;
};

struct ReadOptions {
  bool headerOnly = false;
  // Frames larger than this many pixels a side are refused with a message.
  long maxSide = 16384;
};

// Splits one 80-character card: keyword, value (a string with its quotes, up to its
// closing quote, so that " /" inside it stays text), comment (after the "/" that ends
// the value). COMMENT, HISTORY and other cards without a value carry their text as
// the comment.
HeaderCard ParseCard(const std::string& record);

// The header as it stands, one line per card: keyword, TAB, value, TAB, comment
// ("/ " and the comment for value cards, the text for commentary cards).
std::string ListCards(const std::vector<HeaderCard>& cards);

// Throws CommandError with the user's message ("no image: the file holds a binary
// table", "File not found.", ...).
FrameImage ReadFrame(const std::string& path, const ReadOptions& options = {});

} // namespace morvik::frames
