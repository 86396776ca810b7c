#include "frames/frame_file.hpp"

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/parse.hpp"
#include "frames/frame_guard.hpp"
#include "frames/rice_check.hpp"

#include <zlib.h>

namespace morvik::frames {
namespace {

// Pixels a file cut short may lack and still be read as far as it goes, beyond four
// times those it holds.
constexpr std::size_t kMissingAllowed = 1 << 22;

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
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

std::string Trim(std::string text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// The image header's cards as they stand, END excluded. For a tile-compressed image
// cfitsio rebuilds the header of the image it holds, so the listing shows BITPIX and
// NAXISn of the image and not the table that stores it.
std::vector<HeaderCard> ReadCards(fitsfile* file, bool compressed, const std::string& path) {
  int status = 0;
  int count = 0;
  char* text = nullptr;
  if (compressed)
    fits_convert_hdr2str(file, 0, nullptr, 0, &text, &count, &status);
  else
    fits_hdr2str(file, 0, nullptr, 0, &text, &count, &status);
  if (status != 0) {
    // cfitsio frees nothing when handed a failed status.
    int freeing = 0;
    if (text != nullptr) fits_free_memory(text, &freeing);
    Fail(path, status);
  }
  const std::string records = text != nullptr ? text : "";
  int freed = 0;
  if (text != nullptr) fits_free_memory(text, &freed);
  std::vector<HeaderCard> cards;
  cards.reserve(static_cast<std::size_t>(count));
  for (std::size_t at = 0; at < records.size() && cards.size() < static_cast<std::size_t>(count); at += 80) {
    HeaderCard card = ParseCard(records.substr(at, 80));
    if (card.keyword == "END" && card.record.compare(8, 72, std::string(72, ' ')) == 0) break;
    cards.push_back(std::move(card));
  }
  return cards;
}

// How many of the image's pixels the file holds: all unless it was cut short.
std::size_t PixelsInFile(fitsfile* file, int bitpix, std::size_t count) {
  int status = 0;
  LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
  if (fits_get_hduaddrll(file, &headStart, &dataStart, &dataEnd, &status) != 0) {
    fits_clear_errmsg();
    return count;
  }
  const LONGLONG size = file->Fptr->logfilesize;
  const auto bytes = static_cast<LONGLONG>(std::abs(bitpix) / 8);
  if (bytes <= 0 || size >= dataStart + bytes * static_cast<LONGLONG>(count)) return count;
  return size <= dataStart ? 0 : static_cast<std::size_t>((size - dataStart) / bytes);
}

// cfitsio takes a compressed tile's stored length at its word and asks for that much
// memory: a tile whose length or place passes the end of the table's heap is damage.
void CheckTiles(fitsfile* file, const std::string& path) {
  int status = 0;
  int columns = 0;
  LONGLONG rows = 0;
  LONGLONG heap = 0;
  fits_get_num_cols(file, &columns, &status);
  fits_get_num_rowsll(file, &rows, &status);
  fits_read_key(file, TLONGLONG, "PCOUNT", &heap, nullptr, &status);
  if (status != 0) Fail(path, status);
  for (int column = 1; column <= columns; ++column) {
    int type = 0;
    LONGLONG repeat = 0, width = 0;
    if (fits_get_coltypell(file, column, &type, &repeat, &width, &status) != 0) Fail(path, status);
    if (type >= 0) continue; // a fixed-size column holds no tiles
    for (LONGLONG row = 1; row <= rows; ++row) {
      LONGLONG length = 0, offset = 0;
      if (fits_read_descriptll(file, column, row, &length, &offset, &status) != 0) Fail(path, status);
      if (length < 0 || offset < 0 || length > heap || offset > heap - length)
        throw CommandError("Cannot read " + NameOf(path) + ": tile " + std::to_string(row) +
                           " of the compressed image lies outside the file's data.");
    }
  }
}

long long KeyOr(fitsfile* file, const std::string& name, long long otherwise) {
  int status = 0;
  LONGLONG v = 0;
  if (fits_read_key(file, TLONGLONG, name.c_str(), &v, nullptr, &status) != 0) {
    fits_clear_errmsg();
    return otherwise;
  }
  return v;
}

// True when the gzip (or zlib) stream inflates completely into at most `limit` bytes.
// cfitsio grows its buffer for a tile without end when a damaged stream keeps asking.
bool GzipTileFits(std::vector<std::uint8_t>& bytes, std::size_t limit) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 32) != Z_OK) return false;
  std::vector<std::uint8_t> out(limit + 1);
  z.next_in = bytes.data();
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  return result == Z_STREAM_END;
}

// The stored tiles are checked before cfitsio decodes them: Rice tiles walked with
// bounds (see rice_check.hpp), gzip tiles inflated within their size.
void CheckTileStreams(fitsfile* file, const std::string& path) {
  int status = 0;
  char type[FLEN_VALUE] = {};
  if (fits_read_key(file, TSTRING, "ZCMPTYPE", type, nullptr, &status) != 0) {
    fits_clear_errmsg();
    return;
  }
  const std::string compression = type;
  // Rice takes its block size and bytes per pixel from ZVAL1 and ZVAL2, whatever the
  // ZNAMEn cards say: walk the tiles with the values the decoder will use.
  const long long blockSize = KeyOr(file, "ZVAL1", 32), bytePix = KeyOr(file, "ZVAL2", 4);
  fits_clear_errmsg();
  const long long n1 = KeyOr(file, "ZNAXIS1", 1), n2 = KeyOr(file, "ZNAXIS2", 1);
  const long long t1 = std::max(1LL, KeyOr(file, "ZTILE1", n1)), t2 = std::max(1LL, KeyOr(file, "ZTILE2", 1));
  const long long across = (n1 + t1 - 1) / t1;
  const bool gzipTiles = compression == "GZIP_1" || compression == "GZIP_2";
  for (const char* name : {"COMPRESSED_DATA", "GZIP_COMPRESSED_DATA"}) {
    const bool gzip = gzipTiles || std::string(name) == "GZIP_COMPRESSED_DATA";
    if (!gzip && compression != "RICE_1") continue;
    int column = 0;
    status = 0;
    if (fits_get_colnum(file, CASESEN, const_cast<char*>(name), &column, &status) != 0) {
      status = 0;
      fits_clear_errmsg();
      continue;
    }
    LONGLONG rows = 0;
    fits_get_num_rowsll(file, &rows, &status);
    std::vector<std::uint8_t> tile;
    for (LONGLONG row = 1; row <= rows && status == 0; ++row) {
      LONGLONG length = 0, offset = 0;
      if (fits_read_descriptll(file, column, row, &length, &offset, &status) != 0 || length == 0) continue;
      tile.assign(static_cast<std::size_t>(length), 0);
      int anyNull = 0;
      if (fits_read_col(file, TBYTE, column, row, 1, length, nullptr, tile.data(), &anyNull, &status) != 0) break;
      const long long index = static_cast<long long>(row) - 1;
      const long long w = std::min(t1, n1 - (index % across) * t1);
      const long long h = std::min(t2, n2 - (index / across) * t2);
      if (w <= 0 || h <= 0) continue;
      const bool fits =
          gzip ? GzipTileFits(tile, static_cast<std::size_t>(w * h * 8))
               : RiceTileFits(tile.data(), tile.size(), w * h, static_cast<int>(blockSize), static_cast<int>(bytePix));
      if (!fits)
        throw CommandError("Cannot read " + NameOf(path) + ": tile " + std::to_string(row) +
                           " of the compressed image is damaged.");
    }
  }
  if (status != 0) Fail(path, status);
}

bool IsFailedRead(int status) { return status != 0 && status != NUM_OVERFLOW; }

// Reads pixels [first, first + n) (0-based) as floats, NaN for BLANK; values beyond
// single precision become its largest value. Returns cfitsio's status.
int ReadPixels(fitsfile* file, LONGLONG first, LONGLONG n, float* into) {
  int status = 0;
  float blank = std::numeric_limits<float>::quiet_NaN();
  int anyBlank = 0;
  fits_read_img(file, TFLOAT, first + 1, n, &blank, into, &anyBlank, &status);
  if (!IsFailedRead(status)) {
    status = 0;
    fits_clear_errmsg();
  }
  return status;
}

// After a failed whole read: the rows that can be read are kept, and within the first
// row that cannot, the pixels that can. The rest stays NaN. Returns the number of
// pixels read; 0 means nothing could be read at all.
std::size_t ReadWhatIsThere(fitsfile* file, FrameImage& image) {
  std::fill(image.pixels.begin(), image.pixels.end(), std::numeric_limits<float>::quiet_NaN());
  fits_clear_errmsg();
  const auto width = static_cast<std::size_t>(image.width);
  std::size_t done = 0;
  for (long y = 0; y < image.height; ++y, done += width) {
    if (ReadPixels(file, static_cast<LONGLONG>(done), static_cast<LONGLONG>(width), image.pixels.data() + done) == 0)
      continue;
    std::fill(image.pixels.begin() + static_cast<std::ptrdiff_t>(done), image.pixels.end(),
              std::numeric_limits<float>::quiet_NaN());
    for (std::size_t x = 0; x < width; ++x, ++done) {
      if (ReadPixels(file, static_cast<LONGLONG>(done), 1, image.pixels.data() + done) != 0) {
        image.pixels[done] = std::numeric_limits<float>::quiet_NaN();
        break;
      }
    }
    break;
  }
  fits_clear_errmsg();
  return done;
}

const char* TableKind(int hduType) { return hduType == ASCII_TBL ? "an ASCII table" : "a binary table"; }

} // namespace

HeaderCard ParseCard(const std::string& text) {
  HeaderCard card;
  card.record = text.substr(0, std::min<std::size_t>(80, text.size()));
  card.record.resize(80, ' ');
  card.keyword = Trim(card.record.substr(0, 8));
  std::size_t from = 0;
  if (card.record.compare(8, 2, "= ") == 0)
    from = 10;
  else if (card.keyword == "CONTINUE")
    from = 8;
  else {
    // Commentary: COMMENT, HISTORY, blank keywords and anything without a value.
    card.comment = Trim(card.record.substr(8));
    while (!card.comment.empty() && card.comment.back() == ' ')
      card.comment.pop_back();
    return card;
  }
  std::size_t at = card.record.find_first_not_of(' ', from);
  if (at == std::string::npos) return card;
  std::size_t valueEnd = at;
  if (card.record[at] == '\'') {
    // A string: doubled quotes stand for one quote, and a "/" inside is text.
    valueEnd = at + 1;
    while (valueEnd < card.record.size()) {
      if (card.record[valueEnd] == '\'') {
        if (valueEnd + 1 < card.record.size() && card.record[valueEnd + 1] == '\'') {
          valueEnd += 2;
          continue;
        }
        ++valueEnd;
        break;
      }
      ++valueEnd;
    }
  } else {
    valueEnd = card.record.find('/', at);
    if (valueEnd == std::string::npos) valueEnd = card.record.size();
  }
  card.value = Trim(card.record.substr(at, valueEnd - at));
  const std::size_t slash = card.record.find('/', valueEnd);
  if (slash != std::string::npos) card.comment = Trim(card.record.substr(slash + 1));
  return card;
}

std::string ListCards(const std::vector<HeaderCard>& cards) {
  std::string out;
  for (const HeaderCard& c : cards) {
    out += c.keyword;
    out += '\t';
    out += c.value;
    out += '\t';
    const bool commentary = c.record.compare(8, 2, "= ") != 0 && c.keyword != "CONTINUE";
    if (commentary)
      out += c.comment;
    else if (!c.comment.empty())
      out += "/ " + c.comment;
    out += '\n';
  }
  return out;
}

std::optional<std::string> FrameImage::String(const std::string& keyword) const {
  for (std::size_t i = 0; i < cards.size(); ++i) {
    if (cards[i].keyword != keyword) continue;
    std::string text = Unquote(cards[i].value);
    // Long strings: a value ending in '&' goes on in the CONTINUE cards after it.
    std::size_t next = i + 1;
    while (!text.empty() && text.back() == '&' && next < cards.size() && cards[next].keyword == "CONTINUE") {
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
  if (const auto absurd = AbsurdDeclaration(path))
    throw CommandError("Cannot read " + NameOf(path) + ": " + *absurd + ".");
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
    if (naxis > 3) {
      if (holds.empty()) holds = "an image of " + std::to_string(naxis) + " axes";
      continue;
    }
    if (naxis == 3 && naxes[2] != 1) {
      if (holds.empty()) holds = "a cube of " + std::to_string(naxes[2]) + " planes";
      continue;
    }
    if (naxes[0] < 1 || naxes[1] < 1) continue;
    if (naxes[0] > options.maxSide || naxes[1] > options.maxSide) {
      throw CommandError("The frame is " + std::to_string(naxes[0]) + " x " + std::to_string(naxes[1]) +
                         " pixels: frames up to " + std::to_string(options.maxSide) + " pixels a side can be opened.");
    }
    FrameImage image;
    image.path = path;
    image.hdu = hdu;
    image.width = naxes[0];
    image.height = naxes[1];
    image.bitpix = bitpix;
    int compressed = fits_is_compressed_image(closer.file, &status);
    image.compressed = compressed != 0;
    image.cards = ReadCards(closer.file, image.compressed, path);
    if (options.headerOnly) return image;
    const auto count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    // Before reading: cfitsio grows its idea of the file's size as it reads.
    const std::size_t there = image.compressed ? count : PixelsInFile(closer.file, bitpix, count);
    // A file cut far short of what its header declares is refused: its missing pixels
    // would cost time and memory by the declared size, not by the file's.
    if (there < count && count - there > std::max<std::size_t>(4 * there, kMissingAllowed))
      throw CommandError("Cannot read " + NameOf(path) + ": the file holds " + std::to_string(there) + " of the " +
                         std::to_string(count) + " pixels its header declares.");
    try {
      image.pixels.resize(count);
    } catch (const std::bad_alloc&) {
      throw CommandError("The frame is too large for the memory of this computer.");
    }
    if (image.compressed) {
      CheckTiles(closer.file, path);
      CheckTileStreams(closer.file, path);
    }
    if (there == 0) throw CommandError("Cannot read " + NameOf(path) + ": the file ends before the first pixel.");
    status = ReadPixels(closer.file, 0, static_cast<LONGLONG>(there), image.pixels.data());
    std::size_t read = count;
    if (status != 0) {
      // A damaged file still shows what can be read of it.
      read = ReadWhatIsThere(closer.file, image);
      if (read == 0) Fail(path, status);
    }
    // cfitsio may read the missing end of a file cut short as zeros: those are NaN.
    read = std::min(read, there);
    std::fill(image.pixels.begin() + static_cast<std::ptrdiff_t>(read), image.pixels.end(),
              std::numeric_limits<float>::quiet_NaN());
    image.missing = static_cast<long long>(count - read);
    // Values beyond single precision stand at its largest value.
    constexpr float kLargest = std::numeric_limits<float>::max();
    for (float& v : image.pixels)
      if (std::isinf(v)) v = v > 0 ? kLargest : -kLargest;
    return image;
  }
  if (holds.empty()) holds = "no data";
  throw CommandError("no image: the file holds " + holds);
}

} // namespace morvik::frames
