#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/capacities.hpp"
#include "common/errors.hpp"
#include "common/parse.hpp"
#include "dataset/decimal.hpp"
#include "dataset/readers.hpp"

namespace morvik {
namespace {

// Large enough that refills are rare, small beside the records a big table fills.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
// Bytes after the NUL at the end of the block, so that numbers can be read as words and
// separators found 64 bytes at a time.
constexpr std::size_t kPadding = 80;

inline bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 32; }
inline bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Bit i set when p[i] is a separator (code 32 or less), for the 64 bytes from p.
inline std::uint64_t SeparatorMask(const char* p) {
#if defined(__SSE2__)
  const __m128i limit = _mm_set1_epi8(32);
  std::uint64_t mask = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i atMost = _mm_cmpeq_epi8(_mm_min_epu8(x, limit), x); // unsigned x <= 32
    mask |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(atMost))} << (16 * k);
  }
  return mask;
#else
  std::uint64_t mask = 0;
  for (int i = 0; i < 64; ++i)
    mask |= std::uint64_t{IsSeparator(p[i])} << i;
  return mask;
#endif
}

// Offsets from b of the first max tokens in [b, e), found 64 bytes at a time so that
// finding one token does not wait for the reading of the one before. The 64 bytes from
// every offset below e must be readable. Returns how many were found.
std::size_t FindTokenStarts(const char* b, const char* e, std::uint32_t* out, std::size_t max) {
  const auto len = static_cast<std::size_t>(e - b);
  std::uint64_t before = 1; // the position before b counts as a separator
  std::size_t n = 0;
  for (std::size_t off = 0; off < len; off += 64) {
    std::uint64_t sep = SeparatorMask(b + off);
    if (len - off < 64) sep |= ~std::uint64_t{0} << (len - off);
    std::uint64_t starts = ~sep & ((sep << 1) | before);
    before = sep >> 63;
    while (starts != 0) {
      if (n == max) return n;
      out[n++] = static_cast<std::uint32_t>(off + static_cast<std::size_t>(std::countr_zero(starts)));
      starts &= starts - 1;
    }
  }
  return n;
}

// A token the short path does not take: long, or no number at all.
[[gnu::noinline]] double LongNumberAt(const char* p) {
  std::size_t len = 0;
  while (!IsSeparator(p[len]))
    ++len;
  const std::optional<double> r = ParseDecimal(std::string_view(p, len));
  if (!r) throw CommandError("Invalid numeric input");
  return *r;
}

// The number whose token starts at p and ends at a separator within the buffer.
inline double NumberAt(const char* p) {
  double v = 0.0;
  if (ParseShortDecimalPadded(p, v) != nullptr) return v;
  return LongNumberAt(p);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reads a text file in large blocks. The unread bytes are [cur_, end_); *end_ is always
// a NUL followed by kPadding more bytes, so scans for a separator stop at the end of the
// block without a bounds test, and a stop exactly at end_ means "maybe more in the next
// block" until eof_.
class BlockReader {
public:
  // sizeHint: the file's size, so that a small file does not get a whole block.
  BlockReader(std::FILE* file, std::size_t sizeHint)
      : file_(file), buf_(std::clamp<std::size_t>(sizeHint + 1, 4096, kBlockSize) + 1 + kPadding) {
    Reset();
  }

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
    const char* e = ParseShortDecimalPadded(cur_, v);
    if (e != nullptr && e < end_) {
      cur_ += e - cur_;
      return v;
    }
    return ReadNumberSlow();
  }

  // The next number after separators (line ends included); false at the end of the
  // file. Inline for the common case of one blank before a short number.
  bool Next(double& v) {
    if (cur_ + 1 < end_ && IsSeparator(cur_[0]) && !IsSeparator(cur_[1])) {
      ++cur_;
    } else if (!SkipSeparators()) {
      return false;
    }
    const char* e = ParseShortDecimalPadded(cur_, v);
    if (e != nullptr && e < end_) {
      cur_ += e - cur_;
    } else {
      v = ReadNumberSlow();
    }
    return true;
  }

  // Reads a row that stands whole on the current line (the usual case) into
  // time and values (count numbers after the time); extra numbers are skipped with the
  // rest of the line. False, with nothing consumed, when the line is not whole in the
  // buffer or holds fewer numbers: the caller then reads number by number.
  bool ReadLineRow(double& time, double* values, std::size_t count, std::vector<std::uint32_t>& starts) {
    const char* lineEnd = FindLineEnd(cur_, end_);
    if (lineEnd == end_ && !eof_) {
      if (cur_ == buf_.data()) return false; // a line longer than the buffer
      Refill();
      lineEnd = FindLineEnd(cur_, end_);
      if (lineEnd == end_ && !eof_) return false;
    }
    if (static_cast<std::size_t>(lineEnd - cur_) > std::numeric_limits<std::uint32_t>::max()) return false;
    starts.resize(count + 1);
    if (FindTokenStarts(cur_, lineEnd, starts.data(), count + 1) != count + 1) return false;
    time = NumberAt(cur_ + starts[0]);
    for (std::size_t k = 0; k < count; ++k)
      values[k] = NumberAt(cur_ + starts[k + 1]);
    cur_ += lineEnd - cur_;
    SkipRestOfLine();
    return true;
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

  // First CR or LF in [p, e), or e. Searched in growing windows, so that a file using
  // only one of the two characters is not scanned to the end of the block per line.
  static const char* FindLineEnd(const char* p, const char* e) {
    std::size_t window = 4096;
    while (p < e) {
      const char* w = static_cast<std::size_t>(e - p) > window ? p + window : e;
      const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(w - p));
      const char* stop = lf ? static_cast<const char*>(lf) : w;
      const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(stop - p));
      if (cr) return static_cast<const char*>(cr);
      if (lf) return stop;
      p = w;
      window *= 2;
    }
    return e;
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
    if (kept > (buf_.size() - 1 - kPadding) / 2) { // a token or line longer than half the buffer
      buf_.resize(buf_.size() * 2);
      base = buf_.data();
    }
    const std::size_t room = buf_.size() - 1 - kPadding - kept;
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

  // Any token, also one that continues in the next block or is no number at all.
  [[gnu::noinline]] double ReadNumberSlow() {
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

// The number after the blanks at p, as far as it is made of digits.
std::uint64_t LeadingCount(const char* p) {
  while (*p == ' ' || *p == '\t')
    ++p;
  std::uint64_t v = 0;
  for (; *p >= '0' && *p <= '9' && v < (std::uint64_t{1} << 50); ++p)
    v = v * 10 + static_cast<std::uint64_t>(*p - '0');
  return v;
}

// Bytes this process may still fill: what the system has available, within the
// address-space limit when one is set. Linux promises memory it does not have and
// later kills the process that touches it, so a big table is measured against this
// before anything is allocated.
std::uint64_t AvailableMemory() {
  const long page = ::sysconf(_SC_PAGESIZE);
  const std::uint64_t pageBytes = page > 0 ? static_cast<std::uint64_t>(page) : 4096;
  std::uint64_t available = std::numeric_limits<std::uint64_t>::max();
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr)
      if (std::strncmp(line, "MemAvailable:", 13) == 0) available = LeadingCount(line + 13) * 1024;
    std::fclose(f);
  }
  if (available == std::numeric_limits<std::uint64_t>::max()) {
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    if (pages > 0) available = static_cast<std::uint64_t>(pages) * pageBytes;
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    std::uint64_t used = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
      char line[256];
      if (std::fgets(line, sizeof line, f) != nullptr) used = LeadingCount(line) * pageBytes;
      std::fclose(f);
    }
    const std::uint64_t cap = static_cast<std::uint64_t>(limit.rlim_cur);
    available = std::min(available, cap > used ? cap - used : 0);
  }
  return available;
}

bool IsExistingFile(const std::string& path) {
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

// Reads the rows into series (already sized); returns the number of rows read.
std::int32_t ReadRows(BlockReader& in, TTimeSeries& series) {
  const std::size_t stars = series.StarCount;
  std::vector<double> values(2 * stars);
  std::vector<std::uint32_t> starts;
  std::int32_t read = 0;
  for (TDataLine& row : series.Rows) {
    if (!in.SkipSeparators()) break; // the file ends before this row's time
    row.Items.resize(stars);
    std::size_t got = 2 * stars;
    bool cut = false;
    if (!in.ReadLineRow(row.Time, values.data(), got, starts)) {
      // A row split over lines, or cut short by the end of the file.
      row.Time = in.ReadNumber();
      for (got = 0; got < 2 * stars; ++got) {
        if (!in.Next(values[got])) {
          cut = true;
          break;
        }
      }
      if (!cut) in.SkipRestOfLine();
    }
    std::uint16_t valid = 0;
    TMeasurement* item = row.Items.data();
    // A pair the file left incomplete keeps the zeroed, invalid element.
    for (std::size_t k = 0; k + 2 <= got; k += 2, ++item) {
      const double mag = values[k], err = values[k + 1];
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
  std::error_code sizeError;
  const std::uintmax_t size = std::filesystem::file_size(path, sizeError);
  BlockReader in(file.get(),
                 sizeError ? kBlockSize : static_cast<std::size_t>(std::min<std::uintmax_t>(size, kBlockSize)));

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

  // The records the rows will fill. Every measurement takes at least four bytes of the
  // file ("1 1 "), which bounds tables whose rows are split over many lines.
  const std::uint64_t cells = static_cast<std::uint64_t>(lines) * static_cast<std::uint64_t>(stars);
  const std::uint64_t needed =
      static_cast<std::uint64_t>(lines) * sizeof(TDataLine) +
      (sizeError ? cells : std::min<std::uint64_t>(cells, size / 4 + static_cast<std::uint64_t>(stars))) *
          sizeof(TMeasurement);
  const std::uint64_t available = AvailableMemory();
  if (needed > available) {
    constexpr std::uint64_t kMB = 1024 * 1024;
    log.Add("The table is too large for the memory: " + std::to_string(lines) + " rows of " + std::to_string(stars) +
            " stars need " + std::to_string((needed + kMB - 1) / kMB) + " MB, " + std::to_string(available / kMB) +
            " MB are available");
    return;
  }

  // Fill a fresh data set: a table that fails half-way must not destroy the current one.
  TTimeSeries fresh;
  fresh.StarCount = static_cast<std::uint16_t>(stars);
  std::int32_t rows = 0;
  try {
    fresh.Rows.resize(static_cast<std::size_t>(lines));
    in.Rewind();
    in.SkipLine();
    in.SkipLine();
    rows = ReadRows(in, fresh);
  } catch (const std::bad_alloc&) {
    fresh = TTimeSeries{}; // give the memory back before reporting
    log.Add("The table is too large for the memory: " + std::to_string(lines) + " rows of " + std::to_string(stars) +
            " stars");
    return;
  }
  fresh.RowCount = rows;
  if (rows < lines) {
    fresh.Rows.resize(static_cast<std::size_t>(rows));
    log.Add(std::to_string(lines - rows) + " rows dropped: the file ends before their time");
  }
  series = std::move(fresh);
}

} // namespace morvik
