#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/capacities.hpp"
#include "common/errors.hpp"
#include "common/parse.hpp"
#include "dataset/decimal.hpp"
#include "dataset/readers.hpp"

namespace morvik {
namespace {

// Large enough that refills are rare, small beside the records a big table fills.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

inline bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 32; }
inline bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reads a text file in large blocks. The unread bytes are [cur_, end_) and *end_ is
// always a NUL, so scans for a separator stop at the end of the block without a bounds
// test; a stop exactly at end_ means "maybe more in the next block" until eof_.
class BlockReader {
public:
  explicit BlockReader(std::FILE* file) : file_(file), buf_(kBlockSize + 1) { Reset(); }

  void Rewind() {
    if (std::fseek(file_, 0, SEEK_SET) != 0) throw CommandError("Error reading the photometry table");
    Reset();
  }

  // Next character without consuming it, -1 at the end of the file.
  int Peek() {
    if (cur_ == end_ && !Refill()) return -1;
    return static_cast<unsigned char>(*cur_);
  }

  // Consumes the rest of the current line and its line end (CR LF, LF or CR).
  void SkipLine() {
    SkipRestOfLine();
    if (lastLineEnd_ == '\r' && Peek() == '\n') ++cur_;
  }

  // Consumes up to and including the next CR or LF (or to the end of the file).
  void SkipRestOfLine() {
    lastLineEnd_ = 0;
    for (;;) {
      while (cur_ < end_ && !IsLineEnd(*cur_))
        ++cur_;
      if (cur_ < end_) {
        lastLineEnd_ = *cur_++;
        return;
      }
      if (!Refill()) return;
    }
  }

  // Skips blanks, tabs and other control characters but not line ends; returns the
  // next character, -1 at the end of the file.
  int SkipBlanksOnLine() {
    for (;;) {
      while (cur_ < end_ && IsSeparator(*cur_) && !IsLineEnd(*cur_))
        ++cur_;
      if (cur_ < end_) return static_cast<unsigned char>(*cur_);
      if (!Refill()) return -1;
    }
  }

  // Skips every separator, line ends included; false at the end of the file.
  bool SkipSeparators() {
    for (;;) {
      while (cur_ < end_ && IsSeparator(*cur_))
        ++cur_;
      if (cur_ < end_) return true;
      if (!Refill()) return false;
    }
  }

  // Reads the token at cur_ (which is not a separator) as a number.
  double ReadNumber() {
    double v = 0.0;
    const char* e = ParseShortDecimal(cur_, v);
    if (e != nullptr && (e < end_ || eof_)) {
      cur_ += e - cur_;
      return v;
    }
    return ReadNumberSlow();
  }

  // Lines from here to the end of the file holding a character above code 32.
  std::int64_t CountContentLines() {
    std::int64_t lines = 0;
    bool counted = false; // the current line has been counted already
    for (;;) {
      const char* p = cur_;
      while (p < end_) {
        const char* q = FindLineEnd(p, end_);
        if (!counted) {
          for (const char* s = p; s < q; ++s) {
            if (!IsSeparator(*s)) {
              ++lines;
              counted = true;
              break;
            }
          }
        }
        if (q == end_) break;
        counted = false;
        p = q + 1;
      }
      cur_ = end_;
      if (!Refill()) return lines;
    }
  }

private:
  void Reset() {
    cur_ = end_ = buf_.data();
    *end_ = '\0';
    eof_ = false;
    lastLineEnd_ = 0;
  }

  // First CR or LF in [p, e), or e.
  static const char* FindLineEnd(const char* p, const char* e) {
    const auto n = static_cast<std::size_t>(e - p);
    const void* lf = std::memchr(p, '\n', n);
    const char* stop = lf ? static_cast<const char*>(lf) : e;
    const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(stop - p));
    return cr ? static_cast<const char*>(cr) : stop;
  }

  // Keeps [cur_, end_), moves it to the front and reads more behind it. False when
  // the file had nothing more.
  bool Refill() {
    if (eof_) return false;
    char* base = buf_.data();
    std::size_t kept = 0;
    if (cur_ < end_) {
      kept = static_cast<std::size_t>(end_ - cur_);
      if (cur_ != base) std::memmove(base, cur_, kept);
    }
    if (buf_.size() - 1 - kept < kBlockSize / 2) { // a token longer than a block
      buf_.resize(buf_.size() * 2);
      base = buf_.data();
    }
    const std::size_t room = buf_.size() - 1 - kept;
    const std::size_t got = std::fread(base + kept, 1, room, file_);
    if (got < room) {
      if (std::ferror(file_)) throw CommandError("Error reading the photometry table");
      eof_ = true;
    }
    cur_ = base;
    end_ = base + kept + got;
    *end_ = '\0';
    return got > 0;
  }

  double ReadNumberSlow() {
    // Make the whole token visible: it may continue in the next block.
    std::size_t len = 0;
    for (;;) {
      while (cur_ + len < end_ && !IsSeparator(cur_[len]))
        ++len;
      if (cur_ + len < end_ || eof_) break;
      if (!Refill()) break;
    }
    double v = 0.0;
    const char* e = ParseShortDecimal(cur_, v);
    if (e == nullptr || e != cur_ + len) {
      const std::optional<double> r = ParseDecimal(std::string_view(cur_, len));
      if (!r) throw CommandError("Invalid numeric input");
      v = *r;
    }
    cur_ += len;
    return v;
  }

  std::FILE* file_;
  std::vector<char> buf_;
  char* cur_ = nullptr;
  char* end_ = nullptr;
  bool eof_ = false;
  char lastLineEnd_ = 0;
};

bool IsExistingFile(const std::string& path) {
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

// Reads the rows into series (already sized); returns the number of rows read.
std::int32_t ReadRows(BlockReader& in, TTimeSeries& series) {
  const std::size_t stars = series.StarCount;
  std::int32_t read = 0;
  for (TDataLine& row : series.Rows) {
    if (!in.SkipSeparators()) break; // the file ends before this row's time
    row.Time = in.ReadNumber();
    row.Items.resize(stars);
    TMeasurement* item = row.Items.data();
    std::uint16_t valid = 0;
    bool cut = false;
    for (std::size_t j = 0; j < stars; ++j, ++item) {
      if (!in.SkipSeparators()) {
        cut = true;
        break;
      }
      const double mag = in.ReadNumber();
      if (!in.SkipSeparators()) {
        cut = true;
        break;
      }
      const double err = in.ReadNumber();
      // Missing measurements keep the zeroed, invalid element.
      if (mag < 99.0 && err < 9.0) {
        item->Mag = mag;
        item->Err = err;
        item->Valid = true;
        ++valid;
      }
    }
    row.ValidCount = valid;
    ++read;
    if (cut) break;
    in.SkipRestOfLine();
  }
  return read;
}

} // namespace

void LoadPhotometryTable(const std::string& path, TTimeSeries& series, Log& log) {
  if (!IsExistingFile(path)) return;
  log.Add("Read file " + path);
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    log.Add("Cannot open " + path);
    return;
  }
  std::setvbuf(file.get(), nullptr, _IONBF, 0); // the reader has its own blocks
  BlockReader in(file.get());

  if (in.Peek() != '#') {
    log.Add("1st line mismatch");
    return;
  }
  in.SkipLine();
  if (in.Peek() != '#') {
    log.Add("2nd line mismatch");
    return;
  }
  in.SkipLine();

  std::int64_t columns = 0;
  for (;;) {
    const int c = in.SkipBlanksOnLine();
    if (c < 0 || c == '\n' || c == '\r') break;
    in.ReadNumber();
    ++columns;
  }
  log.Add(std::to_string(columns) + " cols read");
  if (columns % 2 == 0) {
    log.Add("Number of cols not even!");
    return;
  }
  const std::int64_t stars = (columns - 1) / 2;
  if (stars > kMaxStars) {
    log.Add("Too many stars: " + std::to_string(stars) + ", at most " + std::to_string(kMaxStars) + " can be read");
    return;
  }

  const std::int64_t lines = 1 + in.CountContentLines();
  log.Add(std::to_string(lines) + " lines read");
  if (lines > std::numeric_limits<std::int32_t>::max()) {
    log.Add("Too many rows: " + std::to_string(lines));
    return;
  }

  // Fill a fresh data set: a table that fails half-way must not destroy the current one.
  TTimeSeries fresh;
  fresh.StarCount = static_cast<std::uint16_t>(stars);
  fresh.Rows.resize(static_cast<std::size_t>(lines));
  in.Rewind();
  in.SkipLine();
  in.SkipLine();
  const std::int32_t rows = ReadRows(in, fresh);
  fresh.RowCount = rows;
  if (rows < lines) {
    fresh.Rows.resize(static_cast<std::size_t>(rows));
    log.Add(std::to_string(lines - rows) + " rows dropped: the file ends before their time");
  }
  series = std::move(fresh);
}

} // namespace morvik
