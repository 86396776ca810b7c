#include "frames/frame_guard.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include <zlib.h>

namespace morvik::frames {
namespace {

constexpr std::size_t kBlock = 2880;
constexpr int kMaxHeaderBlocks = 1000;
constexpr long long kMaxFields = 999; // the standard's limit on table columns

struct Header {
  long long bitpix = 0, naxis = 0, pcount = 0, gcount = 1, tfields = 0;
  long long axes[999] = {};
  bool ended = false;
  // Compression parameters by number: ZNAMEn and the whole value of ZVALn (0 when
  // it is none).
  std::string names[10];
  long long values[10] = {};
  // A parameter stated twice: cfitsio takes the first, while the values may pair up
  // otherwise; such a header is refused rather than guessed at.
  bool namedTwice = false;
  bool rice = false;        // ZCMPTYPE = 'RICE_1'
  bool valueGiven[10] = {}; // ZVALn present
};

// The digit n of ZNAMEn / ZVALn (1 ... 9), or 0.
int ParameterNumber(std::string_view key, std::string_view stem) {
  if (key.substr(0, stem.size()) != stem) return 0;
  const char d = key[stem.size()];
  return d >= '1' && d <= '9' && key.substr(stem.size() + 1).find_first_not_of(' ') == std::string_view::npos ? d - '0'
                                                                                                              : 0;
}

std::string_view TrimKey(std::string_view key) {
  while (!key.empty() && key.back() == ' ')
    key.remove_suffix(1);
  return key;
}

std::optional<long long> WholeValue(std::string_view card) {
  std::size_t at = card.find_first_not_of(' ', 10);
  if (at == std::string_view::npos) return std::nullopt;
  long long v = 0;
  const char* first = card.data() + at;
  const char* last = card.data() + card.size();
  if (*first == '+') ++first;
  const auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc()) return std::nullopt;
  return v;
}

// Keywords that cfitsio itself reads as numbers or logicals while it opens a file and
// reads its image: the structure of every HDU, the scaling and blanking of the pixels,
// a table's columns, and the compressed image's parameters. Other keywords it only
// copies as text.
bool ReadAsNumber(std::string_view key) {
  key = TrimKey(key);
  for (std::string_view exact : {"SIMPLE", "BITPIX",  "NAXIS",   "EXTEND", "GROUPS", "PCOUNT",  "GCOUNT",  "BSCALE",
                                 "BZERO",  "BLANK",   "TFIELDS", "THEAP",  "ZIMAGE", "ZSIMPLE", "ZEXTEND", "ZBITPIX",
                                 "ZNAXIS", "ZPCOUNT", "ZGCOUNT", "ZTHEAP", "ZSCALE", "ZZERO",   "ZBLANK",  "ZDITHER0"})
    if (key == exact) return true;
  for (std::string_view stem :
       {"NAXIS", "ZNAXIS", "ZTILE", "ZVAL", "TBCOL", "TSCAL", "TZERO", "TNULL", "PSCAL", "PZERO"})
    if (key.size() > stem.size() && key.substr(0, stem.size()) == stem &&
        key.substr(stem.size()).find_first_not_of("0123456789") == std::string_view::npos)
      return true;
  return false;
}

// An unquoted value that is no number, logical or complex. cfitsio copies such a value
// into a fixed 81-character error message when it reads the keyword as a number, and a
// long one overflows it: a file with one in a keyword cfitsio reads as a number must
// not reach cfitsio. Elsewhere (a plate's "SKEW = -1.38E+00, -1.69E+00") the card is
// only text to cfitsio, and the file is read.
bool LongNonsense(std::string_view card) {
  std::string_view value = card.substr(10);
  const std::size_t first = value.find_first_not_of(' ');
  if (first == std::string_view::npos || value[first] == '\'' || value[first] == '(') return false;
  value = value.substr(first);
  value = value.substr(0, value.find('/'));
  while (!value.empty() && value.back() == ' ')
    value.remove_suffix(1);
  if (value.size() <= 20 || value == "T" || value == "F") return false;
  std::string number(value);
  for (char& c : number)
    if (c == 'D' || c == 'd') c = 'E';
  if (number.front() == '+') number.erase(0, 1);
  double v = 0.0;
  const auto r = std::from_chars(number.data(), number.data() + number.size(), v);
  return r.ec != std::errc() || r.ptr != number.data() + number.size();
}

// The bytes of the FITS stream: the file itself, or what a gzip file holds.
class Stream {
public:
  explicit Stream(const std::string& path) : plain_(path, std::ios::binary) {}
  ~Stream() {
    if (gz_ != nullptr) gzclose(gz_);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  std::ifstream& plain() { return plain_; }
  bool OpenGzip(const std::string& path) {
    gz_ = gzopen(path.c_str(), "rb");
    return gz_ != nullptr;
  }
  // One block at offset (only forward in a gzip file); false past the end.
  bool Read(long long offset, char* block) {
    if (gz_ == nullptr) {
      plain_.clear();
      plain_.seekg(offset);
      return static_cast<bool>(plain_.read(block, kBlock));
    }
    if (gzseek(gz_, static_cast<z_off_t>(offset), SEEK_SET) != static_cast<z_off_t>(offset)) return false;
    return gzread(gz_, block, static_cast<unsigned>(kBlock)) == static_cast<int>(kBlock);
  }

private:
  std::ifstream plain_;
  gzFile gz_ = nullptr;
};

} // namespace

std::optional<std::string> AbsurdDeclaration(const std::string& path) {
  Stream stream(path);
  std::ifstream& in = stream.plain();
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  long long size = static_cast<long long>(in.tellg());
  // A gzip file ends with the size of what it holds, and cfitsio takes that much memory
  // at once: more than deflate can pack into the file's bytes is a damaged trailer.
  unsigned char magic[2] = {};
  in.seekg(0);
  if (size >= 2 && in.read(reinterpret_cast<char*>(magic), 2) && magic[0] == 0x1f && magic[1] == 0x8b) {
    if (size < 18) return "the gzip file is shorter than its own header and trailer";
    unsigned char tail[4] = {};
    in.seekg(size - 4);
    if (!in.read(reinterpret_cast<char*>(tail), 4)) return std::nullopt;
    const auto held = static_cast<long long>(tail[0] | (tail[1] << 8) | (tail[2] << 16) |
                                             (static_cast<std::uint32_t>(tail[3]) << 24));
    // The size is kept modulo 2^32: a file holding less than its own size is taken by
    // cfitsio to hold 4 GiB more.
    const long long taken = held < size ? held + (1LL << 32) : held;
    constexpr long long kDeflateRatio = 1100; // deflate packs at most about 1032 to 1
    constexpr long long kLargest = 3LL << 30; // far beyond the largest frame that opens
    if (taken > std::min(size * kDeflateRatio + 65536, kLargest))
      return "the gzip trailer declares " + std::to_string(taken) + " bytes, more than " + std::to_string(size) +
             " compressed bytes can hold";
    // The headers inside are looked at as those of a plain file.
    if (!stream.OpenGzip(path)) return std::nullopt;
    size = taken;
  }
  long long offset = 0;
  char block[kBlock];
  for (int hdu = 1; offset < size; ++hdu) {
    Header h;
    for (int b = 0; b < kMaxHeaderBlocks && !h.ended; ++b, offset += static_cast<long long>(kBlock)) {
      if (!stream.Read(offset, block)) return std::nullopt; // cfitsio reports a header cut short
      for (std::size_t c = 0; c < kBlock && !h.ended; c += 80) {
        const std::string_view card(block + c, 80);
        if (hdu == 1 && b == 0 && c == 0 && card.substr(0, 6) != "SIMPLE") return std::nullopt; // not plain FITS
        const std::string_view key = card.substr(0, 8);
        // cfitsio ends a header at the name END followed by a blank, whatever the rest
        // of the card holds ("END   $" ends it too).
        if (card.substr(0, 4) == "END ") {
          h.ended = true;
          continue;
        }
        if (card.substr(8, 2) != "= ") continue;
        if (ReadAsNumber(key) && LongNonsense(card))
          return "HDU " + std::to_string(hdu) + ": the value of " + std::string(TrimKey(key)) +
                 " is neither a number nor a string";
        const auto v = WholeValue(card);
        // cfitsio divides by the tile sizes of a compressed image and sizes its tiles by
        // the image's axes.
        const bool tileOrAxis = (key.substr(0, 5) == "ZTILE" && key[5] >= '1' && key[5] <= '9') ||
                                (key.substr(0, 6) == "ZNAXIS" && key[6] >= '1' && key[6] <= '9');
        if (tileOrAxis && (!v || *v < 1))
          return "HDU " + std::to_string(hdu) + ": " + std::string(TrimKey(key)) + " is not a positive whole number";
        if (key == "ZCMPTYPE") h.rice = card.substr(10).find("'RICE_1") != std::string_view::npos;
        if (const int n = ParameterNumber(key, "ZNAME")) {
          h.namedTwice = h.namedTwice || !h.names[n].empty();
          const std::string_view value = card.substr(10);
          const std::size_t open = value.find('\'');
          const std::size_t close = open == std::string_view::npos ? open : value.find('\'', open + 1);
          if (close != std::string_view::npos)
            h.names[n] = std::string(TrimKey(value.substr(open + 1, close - open - 1)));
        }
        if (const int n = ParameterNumber(key, "ZVAL")) {
          h.namedTwice = h.namedTwice || h.valueGiven[n];
          h.valueGiven[n] = true;
          h.values[n] = v.value_or(0);
        }
        if (!v) continue;
        if (key == "BITPIX  ") h.bitpix = *v;
        if (key == "NAXIS   ") h.naxis = *v;
        if (key == "PCOUNT  ") h.pcount = *v;
        if (key == "GCOUNT  ") h.gcount = *v;
        if (key == "TFIELDS ") h.tfields = *v;
        if (key.substr(0, 5) == "NAXIS" && key[5] >= '1' && key[5] <= '9') {
          int n = 0;
          const std::string_view digits =
              key.substr(5, key.find(' ', 5) == std::string_view::npos ? 3 : key.find(' ', 5) - 5);
          if (std::from_chars(digits.data(), digits.data() + digits.size(), n).ec == std::errc() && n >= 1 && n <= 999)
            h.axes[n - 1] = *v;
        }
      }
    }
    if (!h.ended) return std::nullopt;
    const std::string where = "HDU " + std::to_string(hdu);
    if (h.namedTwice) return where + ": a compression parameter (ZNAMEn or ZVALn) is stated twice";
    // cfitsio divides by the Rice block size and sizes its buffers by the bytes a pixel.
    // For Rice it takes them from ZVAL1 and ZVAL2 whatever the names say.
    for (int n : {1, 2})
      if (h.rice && h.valueGiven[n] && h.values[n] < 1)
        return where + ": the Rice compression's ZVAL" + std::to_string(n) + " is not a positive whole number";
    if (h.rice && h.valueGiven[2] && h.values[2] != 1 && h.values[2] != 2 && h.values[2] != 4 && h.values[2] != 8)
      return where + ": the Rice compression's bytes per pixel (ZVAL2) is not 1, 2, 4 or 8";
    for (int n = 1; n < 10; ++n)
      if ((h.names[n] == "BLOCKSIZE" || h.names[n] == "BYTEPIX") && h.values[n] < 1)
        return where + ": the compression's " + h.names[n] + " is not a positive whole number";
    if (h.tfields < 0 || h.tfields > kMaxFields)
      return where + " declares " + std::to_string(h.tfields) + " table columns";
    if (h.naxis < 0 || h.naxis > 999) return where + " declares " + std::to_string(h.naxis) + " axes";
    // The size of the data: what cannot lie inside the file ends the look, as the file
    // ends there for cfitsio too.
    long double bytes = h.naxis > 0 ? 1.0L : 0.0L;
    for (long long i = 0; i < h.naxis; ++i)
      bytes *= static_cast<long double>(h.axes[i]);
    bytes = (bytes + static_cast<long double>(h.pcount)) * static_cast<long double>(h.gcount) *
            static_cast<long double>(std::llabs(h.bitpix) / 8);
    if (bytes < 0 || bytes > static_cast<long double>(size)) return std::nullopt;
    offset += (static_cast<long long>(bytes) + static_cast<long long>(kBlock) - 1) / static_cast<long long>(kBlock) *
              static_cast<long long>(kBlock);
  }
  return std::nullopt;
}

} // namespace morvik::frames
