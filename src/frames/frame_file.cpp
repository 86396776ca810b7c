#include "frames/frame_file.hpp"

#include <fitsio.h>

#include <cmath>
#include <limits>
#include <new>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/parse.hpp"

namespace morvik::frames {
namespace {

// Closes the file on every path out.
struct FileCloser {
  fitsfile* file = nullptr;
  ~FileCloser() {
    if (file != nullptr) {
      int status = 0;
      fits_close_file(file, &status);
    }
  }
};

std::string CfitsioText(int status) {
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  fits_clear_errmsg();
  return text;
}

[[noreturn]] void Fail(const std::string& path, int status) {
  throw CommandError("Cannot read " + NameOf(path) + ": " + CfitsioText(status));
}

std::string Unquote(const std::string& value) {
  if (value.size() < 2 || value.front() != '\'') return value;
  std::string out;
  for (std::size_t i = 1; i < value.size(); ++i) {
    if (value[i] == '\'') {
      if (i + 1 < value.size() && value[i + 1] == '\'') {
        out += '\'';
        ++i;
        continue;
      }
      break;
    }
    out += value[i];
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Trim(std::string text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::vector<HeaderCard> ReadCards(fitsfile* file, const std::string& path) {
  int status = 0;
  int count = 0;
  int more = 0;
  if (fits_get_hdrspace(file, &count, &more, &status) != 0) Fail(path, status);
  std::vector<HeaderCard> cards;
  cards.reserve(static_cast<std::size_t>(count));
  for (int i = 1; i <= count; ++i) {
    char record[FLEN_CARD] = {};
    char name[FLEN_KEYWORD] = {};
    char value[FLEN_VALUE] = {};
    char comment[FLEN_COMMENT] = {};
    if (fits_read_record(file, i, record, &status) != 0) Fail(path, status);
    if (fits_read_keyn(file, i, name, value, comment, &status) != 0) {
      // A card cfitsio cannot split still stands in the listing as written.
      status = 0;
      fits_clear_errmsg();
    }
    cards.push_back({name, Trim(value), comment, record});
  }
  return cards;
}

const char* TableKind(int hduType) {
  return hduType == ASCII_TBL ? "an ASCII table" : "a binary table";
}

} // namespace

std::optional<std::string> FrameImage::String(const std::string& keyword) const {
  for (std::size_t i = 0; i < cards.size(); ++i) {
    if (cards[i].keyword != keyword) continue;
    std::string text = Unquote(cards[i].value);
    // Long strings: a value ending in '&' goes on in the CONTINUE cards after it.
    std::size_t next = i + 1;
    while (!text.empty() && text.back() == '&' && next < cards.size() &&
           cards[next].keyword == "CONTINUE") {
      text.pop_back();
      text += Unquote(Trim(cards[next].record.substr(std::min<std::size_t>(8, cards[next].record.size()))));
      ++next;
    }
    return text;
  }
  return std::nullopt;
}

std::optional<double> FrameImage::Number(const std::string& keyword) const {
  const auto text = String(keyword);
  if (!text) return std::nullopt;
  std::string number = Trim(*text);
  // FITS allows a D exponent.
  for (char& c : number) {
    if (c == 'D' || c == 'd') c = 'E';
  }
  return ParseDecimal(number);
}

FrameImage ReadFrame(const std::string& path, const ReadOptions& options) {
  if (!FileExists(path)) throw CommandError("File not found.");
  FileCloser closer;
  int status = 0;
  if (fits_open_diskfile(&closer.file, path.c_str(), READONLY, &status) != 0) {
    // Compressed (.gz) files are opened through the extended file name syntax.
    status = 0;
    fits_clear_errmsg();
    if (fits_open_file(&closer.file, path.c_str(), READONLY, &status) != 0) Fail(path, status);
  }
  int hduCount = 0;
  if (fits_get_num_hdus(closer.file, &hduCount, &status) != 0) Fail(path, status);

  std::string holds; // what the file holds when it holds no image
  for (int hdu = 1; hdu <= hduCount; ++hdu) {
    int type = 0;
    if (fits_movabs_hdu(closer.file, hdu, &type, &status) != 0) Fail(path, status);
    if (type != IMAGE_HDU) {
      if (holds.empty()) holds = TableKind(type);
      continue;
    }
    int bitpix = 0;
    int naxis = 0;
    long naxes[3] = {0, 0, 0};
    if (fits_get_img_param(closer.file, 3, &bitpix, &naxis, naxes, &status) != 0) {
      if (status == BAD_NAXIS) {
        // More than three axes: not a frame, look further.
        status = 0;
        fits_clear_errmsg();
        if (holds.empty()) holds = "an image of more than three axes";
        continue;
      }
      Fail(path, status);
    }
    if (naxis == 0) continue; // an empty primary before the extensions
    if (naxis == 1) {
      if (holds.empty()) holds = "a one-dimensional array";
      continue;
    }
    if (naxis == 3 && naxes[2] != 1) {
      if (holds.empty()) holds = "a cube of " + std::to_string(naxes[2]) + " planes";
      continue;
    }
    if (naxes[0] < 1 || naxes[1] < 1) continue;
    if (naxes[0] > options.maxSide || naxes[1] > options.maxSide) {
      throw CommandError("The frame is " + std::to_string(naxes[0]) + " x " + std::to_string(naxes[1]) +
                         " pixels: frames up to " + std::to_string(options.maxSide) +
                         " pixels a side can be opened.");
    }
    FrameImage image;
    image.path = path;
    image.hdu = hdu;
    image.width = naxes[0];
    image.height = naxes[1];
    image.bitpix = bitpix;
    int compressed = fits_is_compressed_image(closer.file, &status);
    image.compressed = compressed != 0;
    image.cards = ReadCards(closer.file, path);
    if (options.headerOnly) return image;
    const auto count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    try {
      image.pixels.resize(count);
    } catch (const std::bad_alloc&) {
      throw CommandError("The frame is too large for the memory of this computer.");
    }
    float blank = std::numeric_limits<float>::quiet_NaN();
    int anyBlank = 0;
    if (fits_read_img(closer.file, TFLOAT, 1, static_cast<LONGLONG>(count), &blank, image.pixels.data(),
                      &anyBlank, &status) != 0) {
      Fail(path, status);
    }
    return image;
  }
  if (holds.empty()) holds = "no data";
  throw CommandError("no image: the file holds " + holds);
}

} // namespace morvik::frames
