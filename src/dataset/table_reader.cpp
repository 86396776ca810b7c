#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <new>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/resource.h>
#include <system_error>
#include <thread>
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

// A magnitude of 99 or more, or an error of 9 or more, marks a star that was not
// measured. The mirror images (-99 or less, -9 or less) are no measurement either:
// no star is that bright, and such values would only overflow the sums of Run.
inline bool IsMeasured(double mag, double err) { return mag < 99.0 && mag > -99.0 && err < 9.0 && err > -9.0; }

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

class FileHandle {
public:
  explicit FileHandle(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }

private:
  int fd_;
};

// Where the second thread starts: the first byte of a content line in the second half
// of the file, and how many content lines stand before it from line 3 on.
struct SplitPoint {
  std::uint64_t from = 0; // the half-way byte the line is looked for after; 0: no split
  bool found = false;
  std::uint64_t offset = 0;
  std::int64_t linesBefore = 0;
};

// Reads a text file in large blocks. The unread bytes are [cur_, end_); *end_ is always
// a NUL followed by kPadding more bytes, so scans for a separator stop at the end of the
// block without a bounds test, and a stop exactly at end_ means "maybe more in the next
// block" until eof_.
class BlockReader {
public:
  // sizeHint: the file's size, so that a small file does not get a whole block.
  BlockReader(int fd, std::size_t sizeHint)
      : fd_(fd), buf_(std::clamp<std::size_t>(sizeHint + 1, 4096, kBlockSize) + 1 + kPadding) {
    Reset(0);
  }

  // Goes to a byte offset of the file.
  void Rewind(std::uint64_t offset = 0) { Reset(offset); }

  // File offset of the next unread byte.
  std::uint64_t Position() const { return blockStart_ + static_cast<std::uint64_t>(cur_ - buf_.data()); }

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

  // Reads a row that stands whole on the current line (the usual case) into row, whose
  // Items are empty with room for stars elements; extra numbers are skipped with the
  // rest of the line. False, with nothing consumed and row unchanged, when the line is
  // not whole in the buffer or holds fewer numbers: the caller then reads number by number.
  bool ReadLineRow(TDataLine& row, std::size_t stars, std::vector<std::uint32_t>& starts) {
    const std::size_t count = 2 * stars;
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
    const char* const base = cur_;
    const std::uint32_t* at = starts.data() + 1;
    row.Time = NumberAt(base + starts[0]);
    // Every element written once: the records are most of the memory the read touches.
    std::vector<TMeasurement>& items = row.Items;
    unsigned valid = 0;
    for (std::size_t k = 0; k < stars; ++k, at += 2) {
      const double mag = NumberAt(base + at[0]);
      const double err = NumberAt(base + at[1]);
      if (IsMeasured(mag, err)) {
        items.push_back(TMeasurement{mag, err, 0.0, true});
        ++valid;
      } else {
        items.push_back(TMeasurement{});
      }
    }
    row.ValidCount = static_cast<std::uint16_t>(valid);
    cur_ += lineEnd - cur_;
    SkipRestOfLine();
    return true;
  }

  // Lines from here holding a character above code 32, to the end of the file or, with
  // a stop, just after the first line end at or past that offset. Also finds split's
  // line: the first of them whose first such character is at or after split.from.
  std::int64_t CountContentLines(SplitPoint& split, std::uint64_t stop = std::numeric_limits<std::uint64_t>::max()) {
    std::int64_t lines = 0;
    bool counted = false; // the current line has been counted already
    const bool wantSplit = split.from > 0;
    for (;;) {
      const char* p = cur_;
      while (p < end_) {
        if (!counted) {
          while (p < end_ && IsSeparator(*p) && !IsLineEnd(*p))
            ++p;
          if (p == end_) break;
          if (!IsLineEnd(*p)) {
            if (wantSplit && !split.found && blockStart_ + static_cast<std::uint64_t>(p - buf_.data()) >= split.from) {
              split.found = true;
              split.offset = blockStart_ + static_cast<std::uint64_t>(p - buf_.data());
              split.linesBefore = lines;
            }
            ++lines;
            counted = true;
          }
        }
        const char* q = FindLineEnd(p, end_);
        if (q == end_) break;
        counted = false;
        p = q + 1;
        if (blockStart_ + static_cast<std::uint64_t>(q - buf_.data()) >= stop) {
          cur_ += p - cur_;
          return lines;
        }
      }
      cur_ = end_;
      if (!Refill()) return lines;
    }
  }

private:
  void Reset(std::uint64_t offset) {
    cur_ = end_ = buf_.data();
    *end_ = '\0';
    eof_ = false;
    lastLineEnd_ = 0;
    blockStart_ = readOffset_ = offset;
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
    std::size_t got = 0;
    while (got < room) {
      const ssize_t n = ::pread(fd_, base + kept + got, room - got, static_cast<off_t>(readOffset_ + got));
      if (n < 0) {
        if (errno == EINTR) continue;
        throw CommandError("Error reading the photometry table");
      }
      if (n == 0) {
        eof_ = true;
        break;
      }
      got += static_cast<std::size_t>(n);
    }
    blockStart_ = readOffset_ - kept;
    readOffset_ += got;
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

  int fd_;
  std::vector<char> buf_;
  char* cur_ = nullptr;
  char* end_ = nullptr;
  bool eof_ = false;
  char lastLineEnd_ = 0;
  std::uint64_t blockStart_ = 0; // file offset of buf_[0]
  std::uint64_t readOffset_ = 0; // file offset of end_
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

// Maps the pages of a fresh allocation in one call instead of one fault per page: the
// records of a big table are most of the reader's time otherwise. Only whole pages
// inside [p, p + bytes) are touched, and a kernel without the call changes nothing.
void Prefault(void* p, std::size_t bytes) {
#if defined(MADV_POPULATE_WRITE)
  constexpr std::size_t kMinBytes = std::size_t{1} << 16;
  if (bytes < kMinBytes) return;
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  const auto page = static_cast<std::uintptr_t>(pageSize > 0 ? pageSize : 4096);
  const auto begin = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(page - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)bytes;
#endif
}

struct RowsRead {
  std::size_t end = 0;    // index after the last row read
  bool stopped = false;   // stopped before a row starting at or after the stop offset
  std::uint64_t next = 0; // when stopped: the offset of that row's time
};

// Reads rows into rows[first] onwards (rows not yet read hold no Items), until the end
// of the file or of rows, or until a row would start at or after stop.
RowsRead ReadRows(BlockReader& in, std::vector<TDataLine>& rows, std::size_t first, std::size_t stars,
                  std::uint64_t stop, const std::stop_token& cancel) {
  std::vector<double> values;
  std::vector<std::uint32_t> starts;
  RowsRead r;
  r.end = first;
  for (; r.end < rows.size(); ++r.end) {
    if (!in.SkipSeparators()) break; // the file ends before this row's time
    if (in.Position() >= stop) {
      r.stopped = true;
      r.next = in.Position();
      break;
    }
    if (cancel.stop_requested()) break;
    TDataLine& row = rows[r.end];
    row.Items.reserve(stars);
    Prefault(row.Items.data(), stars * sizeof(TMeasurement));
    if (in.ReadLineRow(row, stars, starts)) continue;

    // A row split over lines, or cut short by the end of the file.
    values.resize(2 * stars);
    row.Time = in.ReadNumber();
    std::size_t got = 0;
    for (; got < 2 * stars; ++got)
      if (!in.Next(values[got])) break;
    const bool cut = got < 2 * stars;
    if (!cut) in.SkipRestOfLine();
    unsigned valid = 0;
    // A pair the file left incomplete is an invalid element.
    for (std::size_t k = 0; k < stars; ++k) {
      const double mag = values[2 * k], err = values[2 * k + 1];
      if (2 * k + 2 <= got && IsMeasured(mag, err)) {
        row.Items.push_back(TMeasurement{mag, err, 0.0, true});
        ++valid;
      } else {
        row.Items.push_back(TMeasurement{});
      }
    }
    row.ValidCount = static_cast<std::uint16_t>(valid);
    if (cut) {
      ++r.end;
      break;
    }
  }
  return r;
}

// Content lines of the table from the reader's position (line 3, after its numbers) to
// the end of the file, and split's line as CountContentLines finds it. With split.from
// set, a second thread counts from the first line end at or after that offset while
// this one counts up to it: the two counts meet at a line boundary, so every line is
// counted once whatever the file holds.
std::int64_t CountAllContentLines(BlockReader& in, int fd, std::size_t blockHint, SplitPoint& split) {
  if (split.from == 0) return in.CountContentLines(split);
  const std::uint64_t middle = std::max(split.from, in.Position());
  // Counting keeps no bytes across refills: a block that stays in the core's cache will do.
  const std::size_t countHint = std::min<std::size_t>(blockHint, std::size_t{1} << 18);
  std::int64_t secondLines = 0;
  SplitPoint secondSplit;
  std::exception_ptr secondError;
  std::jthread helper;
  try {
    helper = std::jthread([&] {
      try {
        BlockReader second(fd, countHint);
        second.Rewind(middle);
        second.SkipRestOfLine();
        secondSplit.from = std::max<std::uint64_t>(second.Position(), 1);
        secondLines = second.CountContentLines(secondSplit);
      } catch (...) {
        secondError = std::current_exception();
      }
    });
  } catch (const std::system_error&) { // no thread to be had: one pass does it all
    return in.CountContentLines(split);
  }
  BlockReader first(fd, countHint);
  first.Rewind(in.Position());
  const std::int64_t firstLines = first.CountContentLines(split, middle);
  helper.join();
  if (secondError) std::rethrow_exception(secondError);
  if (!split.found && secondSplit.found) {
    split.found = true;
    split.offset = secondSplit.offset;
    split.linesBefore = firstLines + secondSplit.linesBefore;
  }
  return firstLines + secondLines;
}

// Below this size a second thread costs more than it saves.
constexpr std::uint64_t kSplitMinBytes = std::uint64_t{1} << 20;

// Reads the rows of the table (the reader just after line 2) into rows; returns how
// many were read. With split.found, the rows from split's line on are read by a second
// thread on the assumption that every content line before it is one row. When the first
// part ends elsewhere (a row split over lines across that point), the second part is
// thrown away and the first reader goes on: the result never depends on the split.
std::size_t ReadAllRows(BlockReader& first, int fd, std::size_t blockHint, std::vector<TDataLine>& rows,
                        std::size_t stars, const SplitPoint& split) {
  const std::stop_token none;
  const auto secondRow = static_cast<std::size_t>(1 + split.linesBefore);
  if (!split.found || secondRow >= rows.size())
    return ReadRows(first, rows, 0, stars, std::numeric_limits<std::uint64_t>::max(), none).end;

  RowsRead second;
  std::exception_ptr secondError;
  std::jthread helper;
  try {
    helper = std::jthread([&](std::stop_token cancel) {
      try {
        BlockReader in(fd, blockHint);
        in.Rewind(split.offset);
        second = ReadRows(in, rows, secondRow, stars, std::numeric_limits<std::uint64_t>::max(), cancel);
      } catch (...) {
        secondError = std::current_exception();
      }
    });
  } catch (const std::system_error&) { // no thread to be had: one reader does it all
    return ReadRows(first, rows, 0, stars, std::numeric_limits<std::uint64_t>::max(), none).end;
  }
  RowsRead r;
  try {
    r = ReadRows(first, rows, 0, stars, split.offset, none);
  } catch (...) {
    helper.request_stop();
    throw; // the jthread joins on the way out
  }
  helper.join();
  if (r.stopped && r.end == secondRow && r.next == split.offset) {
    if (secondError) std::rethrow_exception(secondError);
    return second.end;
  }
  for (std::size_t i = secondRow; i < rows.size(); ++i)
    rows[i] = TDataLine{};
  if (!r.stopped) return r.end;
  return ReadRows(first, rows, r.end, stars, std::numeric_limits<std::uint64_t>::max(), none).end;
}

} // namespace

void LoadPhotometryTable(const std::string& path, TTimeSeries& series, Log& log) {
  if (!IsExistingFile(path)) return;
  log.Add("Read file " + path);
  const FileHandle file(path);
  if (file.fd() < 0) {
    log.Add("Cannot open " + path);
    return;
  }
  std::error_code sizeError;
  const std::uintmax_t size = std::filesystem::file_size(path, sizeError);
  const std::size_t blockHint =
      sizeError ? kBlockSize : static_cast<std::size_t>(std::min<std::uintmax_t>(size, kBlockSize));
  BlockReader in(file.fd(), blockHint);

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

  SplitPoint split;
  if (!sizeError && size >= kSplitMinBytes && std::thread::hardware_concurrency() > 1) split.from = size / 2;
  const std::int64_t lines = 1 + CountAllContentLines(in, file.fd(), blockHint, split);
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
    rows = static_cast<std::int32_t>(ReadAllRows(in, file.fd(), blockHint, fresh.Rows, fresh.StarCount, split));
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
