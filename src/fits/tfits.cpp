#include "fits/tfits.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/format.hpp"
#include "common/parse.hpp"
#include "common/rounding.hpp"

namespace morvik {
namespace {

constexpr std::size_t kCardBytes = 80;
constexpr long long kBlockBytes = 2880;
constexpr long long kMaxHeaderBlocks = 200;
constexpr std::size_t kTotalPixels = static_cast<std::size_t>(kMaxFrameSide) * kMaxFrameSide;

// Owns a read-only descriptor; other programs may read and write the file meanwhile.
class InputFile {
public:
  explicit InputFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~InputFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  bool IsOpen() const { return fd_ >= 0; }

  // Reads up to n bytes at offset; fewer only at the end of the file (a read error
  // counts as the end).
  std::size_t ReadAt(long long offset, void* into, std::size_t n) const {
    auto* p = static_cast<char*>(into);
    std::size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + static_cast<long long>(done)));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      done += static_cast<std::size_t>(r);
    }
    return done;
  }

private:
  int fd_;
};

// The header as read: its cards, and where the END card ends.
struct HeaderRead {
  TFDA cards;
  long long endOfEndCard = 0;
  std::string lastBlock; // the 2880-byte block holding the END card, as far as the file has it
};

bool IsEndCard(std::string_view card) { return TrimSpaces(card.substr(0, 8)) == "END"; }

HeaderRead ReadHeader(const InputFile& file) {
  HeaderRead h;
  std::string block(static_cast<std::size_t>(kBlockBytes), ' ');
  for (long long offset = 0;; offset += kBlockBytes) {
    std::size_t got = file.ReadAt(offset, block.data(), block.size());
    for (std::size_t c = 0; c + kCardBytes <= got; c += kCardBytes) {
      std::string_view card(block.data() + c, kCardBytes);
      if (auto field = SplitCard(card)) {
        h.cards.SetCard(field->Keyword, field->Value, field->Comment);
      } else if (IsEndCard(card)) {
        h.endOfEndCard = offset + static_cast<long long>(c + kCardBytes);
        h.lastBlock.assign(block.data(), got);
        return h;
      }
    }
    if (got < block.size())
      throw CommandError(FormatMessage("The file ends after %d bytes, before the END card of its FITS header.",
                                       {offset + static_cast<long long>(got)}));
    // Real headers hold a few hundred cards; a file without END in its first blocks is
    // no FITS frame, and reading all of it as cards would take very long.
    if (offset + kBlockBytes >= kMaxHeaderBlocks * kBlockBytes)
      throw CommandError(FormatMessage(
          "The header passes %d bytes before the END card is found: the file is not read as a FITS frame.",
          {kMaxHeaderBlocks * kBlockBytes}));
  }
}

int ToInteger(const std::string& text) {
  auto v = ParseInteger(text);
  if (!v) throw CommandError("'" + text + "' is not a valid integer value");
  return *v;
}

bool IsSupportedBitPix(int bitPix) {
  return bitPix == 8 || bitPix == 16 || bitPix == 32 || bitPix == 64 || bitPix == -32 || bitPix == -64;
}

// Where the pixel data starts and how many bytes the blank skipping passed (the first
// byte that is not a blank counted too).
struct DataStart {
  long long offset = 0;
  std::int32_t blankCount = 0;
};

DataStart FindDataStart(const HeaderRead& h) {
  const long long blockStart = h.endOfEndCard - (h.endOfEndCard - 1) % kBlockBytes - 1;
  const std::size_t from = static_cast<std::size_t>(h.endOfEndCard - blockStart);
  const std::string_view rest = std::string_view(h.lastBlock).substr(from);
  const std::size_t firstNonBlank = rest.find_first_not_of(' ');
  const bool fullBlock = h.lastBlock.size() == static_cast<std::size_t>(kBlockBytes);
  // Padding to the 2880-byte boundary made of blanks only: the data starts at the
  // boundary even when its first bytes are blanks themselves.
  if (firstNonBlank == std::string_view::npos) {
    if (!fullBlock)
      throw CommandError(
          FormatMessage("The file ends after %d bytes, inside the blanks that follow the END card of its FITS header.",
                        {blockStart + static_cast<long long>(h.lastBlock.size())}));
    return DataStart{blockStart + kBlockBytes, static_cast<std::int32_t>(rest.size() + 1)};
  }
  // A file written without padding: the data starts at the first byte that is not a blank.
  return DataStart{h.endOfEndCard + static_cast<long long>(firstNonBlank),
                   static_cast<std::int32_t>(firstNonBlank + 1)};
}

// How stored values become pixel values. The defining arithmetic is
// (long double)BScale * stored + BZero, rounded once to double; when every product and
// sum is an integer of at most 53 bits, double arithmetic gives exactly that and is
// much faster. 8- and 16-bit values otherwise go through a table built with the
// extended arithmetic.
struct Scaling {
  double scale = 1.0;
  double zero = 0.0;
  bool exactInDouble = false;
  std::vector<double> table; // indexed by the stored bits for 8 and 16 bits
};

bool IsInteger(double v) { return std::isfinite(v) && std::rint(v) == v; }

Scaling MakeScaling(int bitPix, double scale, double zero) {
  Scaling s;
  s.scale = scale;
  s.zero = zero;
  constexpr double kExactLimit = 9007199254740992.0; // 2^53
  double maxStored = 0.0;
  switch (bitPix) {
  case 8:
    maxStored = 255.0;
    break;
  case 16:
    maxStored = 32768.0;
    break;
  case 32:
    maxStored = 2147483648.0;
    break;
  default:
    break;
  }
  if (maxStored > 0.0)
    s.exactInDouble =
        IsInteger(scale) && IsInteger(zero) && std::fabs(scale) * maxStored + std::fabs(zero) <= kExactLimit;
  else
    s.exactInDouble = scale == 1.0 && zero == 0.0; // floats and 64-bit: one rounding either way
  if (!s.exactInDouble && (bitPix == 8 || bitPix == 16)) {
    s.table.resize(bitPix == 8 ? 256 : 65536);
    for (std::size_t bits = 0; bits < s.table.size(); ++bits) {
      const long double stored =
          bitPix == 8 ? static_cast<long double>(bits) : static_cast<long double>(static_cast<std::int16_t>(bits));
      s.table[bits] = static_cast<double>(static_cast<long double>(scale) * stored + static_cast<long double>(zero));
    }
  }
  return s;
}

inline std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return __builtin_bswap16(v);
}
inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return __builtin_bswap32(v);
}
inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

// Writes `rows` file rows starting at row y0 (0-based) of a frame `width` pixels wide
// into the column-major buffer: for every column the rows are stored contiguously, and
// the rows of the block stay in cache while the columns are visited.
template <int Bytes, class Convert>
void StoreRows(const std::uint8_t* rowsBytes, int width, int rows, int y0, TFits& frame, Convert convert) {
  const std::size_t rowStride = static_cast<std::size_t>(width) * Bytes;
  constexpr int kAhead = 8;
  for (int x = 0; x < width; ++x) {
    double* out = frame.Column(x + 1) + y0;
    // Short pieces of columns far apart escape the hardware prefetch: fetch the piece
    // of a column ahead for writing.
    if (x + kAhead < width) {
      double* ahead = frame.Column(x + kAhead + 1) + y0;
      for (int r = 0; r < rows; r += 8)
        __builtin_prefetch(ahead + r, 1);
    }
    const std::uint8_t* in = rowsBytes + static_cast<std::size_t>(x) * Bytes;
    for (int r = 0; r < rows; ++r)
      out[r] = convert(in + static_cast<std::size_t>(r) * rowStride);
  }
}

// Decodes one stored pixel into its value; non-finite results are counted and read as 0.
class PixelDecoder {
public:
  PixelDecoder(int bitPix, const Scaling& s) : bitPix_(bitPix), s_(s) {}

  // Writes rows [y0, y0 + rows) from their bytes.
  void Rows(const std::uint8_t* bytes, int width, int rows, int y0, TFits& frame) {
    const double scale = s_.scale;
    const double zero = s_.zero;
    const long double lscale = static_cast<long double>(scale);
    const long double lzero = static_cast<long double>(zero);
    switch (bitPix_) {
    case 8:
      if (s_.exactInDouble)
        StoreRows<1>(bytes, width, rows, y0, frame,
                     [=](const std::uint8_t* p) { return static_cast<double>(*p) * scale + zero; });
      else
        StoreRows<1>(bytes, width, rows, y0, frame, [this](const std::uint8_t* p) { return Finite(s_.table[*p]); });
      break;
    case 16:
      if (s_.exactInDouble)
        StoreRows<2>(bytes, width, rows, y0, frame, [=](const std::uint8_t* p) {
          return static_cast<double>(static_cast<std::int16_t>(Load16(p))) * scale + zero;
        });
      else
        StoreRows<2>(bytes, width, rows, y0, frame,
                     [this](const std::uint8_t* p) { return Finite(s_.table[Load16(p)]); });
      break;
    case 32:
      if (s_.exactInDouble)
        StoreRows<4>(bytes, width, rows, y0, frame, [=](const std::uint8_t* p) {
          return static_cast<double>(static_cast<std::int32_t>(Load32(p))) * scale + zero;
        });
      else
        StoreRows<4>(bytes, width, rows, y0, frame, [=, this](const std::uint8_t* p) {
          return Finite(static_cast<double>(lscale * static_cast<std::int32_t>(Load32(p)) + lzero));
        });
      break;
    case 64:
      StoreRows<8>(bytes, width, rows, y0, frame, [=, this](const std::uint8_t* p) {
        const auto stored = static_cast<std::int64_t>(Load64(p));
        if (s_.exactInDouble) return static_cast<double>(stored) * scale + zero;
        return Finite(static_cast<double>(lscale * static_cast<long double>(stored) + lzero));
      });
      break;
    case -32:
      StoreRows<4>(bytes, width, rows, y0, frame, [=, this](const std::uint8_t* p) {
        float stored;
        const std::uint32_t bits = Load32(p);
        std::memcpy(&stored, &bits, 4);
        if (s_.exactInDouble) return Finite(static_cast<double>(stored) * scale + zero);
        return Finite(static_cast<double>(lscale * static_cast<long double>(stored) + lzero));
      });
      break;
    case -64:
      StoreRows<8>(bytes, width, rows, y0, frame, [=, this](const std::uint8_t* p) {
        double stored;
        const std::uint64_t bits = Load64(p);
        std::memcpy(&stored, &bits, 8);
        if (s_.exactInDouble) return Finite(stored * scale + zero);
        return Finite(static_cast<double>(lscale * static_cast<long double>(stored) + lzero));
      });
      break;
    default:
      break;
    }
  }

  long long NonFinite() const { return nonFinite_; }

private:
  double Finite(double v) {
    if (std::isfinite(v)) return v;
    ++nonFinite_;
    return 0.0;
  }

  int bitPix_;
  const Scaling& s_;
  long long nonFinite_ = 0;
};

double* AllocatePixels() {
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  const std::size_t bytes = (kTotalPixels * sizeof(double) + kLargePage - 1) / kLargePage * kLargePage;
  void* p = std::aligned_alloc(kLargePage, bytes);
  if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
  std::memset(p, 0, bytes);
  return static_cast<double*>(p);
}

} // namespace

void TFits::PixelsDeleter::operator()(double* p) const { std::free(p); }

TFits::TFits() : data_(AllocatePixels()) {}

std::unique_ptr<TFits> TFits::CreateBlank(const TFits& source) {
  auto f = std::make_unique<TFits>();
  f->Width = source.Width;
  f->Height = source.Height;
  f->Header.SetCard("SIMPLE", "T", "");
  f->Header.SetCard("BITPIX", source.Header.GetString("BITPIX"), "");
  f->Header.SetCard("NAXIS", "2", "");
  f->Header.SetCard("NAXIS1", std::to_string(f->Width), "");
  f->Header.SetCard("NAXIS2", std::to_string(f->Height), "");
  const std::string bscale = source.Header.GetString("BSCALE");
  if (!bscale.empty()) f->Header.SetCard("BSCALE", bscale, "");
  const std::string bzero = source.Header.GetString("BZERO");
  if (!bzero.empty()) f->Header.SetCard("BZERO", bzero, "");
  return f; // the buffer starts at 0.0
}

std::unique_ptr<TFits> TFits::CreateBlankWithBitpix(const TFits& source, std::uint16_t bitpix) {
  auto f = CreateBlank(source);
  f->Header.SetCard("BITPIX", std::to_string(bitpix), "");
  return f;
}

long long TFits::GetFileSize(const std::string& fileName) { return FileSizeOf(fileName); }

bool TFits::LoadFromFile(const std::string& fileName, bool headerOnly, Log& log) {
  if (!FileExists(fileName)) {
    log.Add("File not found.");
    return false;
  }
  InputFile file(fileName);
  if (!file.IsOpen()) throw CommandError("The file " + fileName + " cannot be opened for reading.");
  const long long fileSize = GetFileSize(fileName);

  // Nothing of the object changes until the header is accepted, except that a size
  // that is not an integer leaves the new cards in Header, as the user may want to see
  // them.
  HeaderRead h = ReadHeader(file);
  int width = 0;
  int height = 0;
  try {
    width = ToInteger(h.cards.GetString("NAXIS1"));
    height = ToInteger(h.cards.GetString("NAXIS2"));
  } catch (const CommandError&) {
    Header = std::move(h.cards);
    throw;
  }
  const std::string naxis = h.cards.GetString("NAXIS");
  if (naxis != "2" && ParseInteger(naxis) != 2)
    throw CommandError(naxis.empty() ? std::string("The FITS header has no NAXIS card: only two-dimensional frames "
                                                   "(NAXIS = 2) can be read.")
                                     : "NAXIS is " + naxis + ": only two-dimensional frames (NAXIS = 2) can be read.");
  if (width < 1 || height < 1 || width > kMaxFrameSide || height > kMaxFrameSide)
    throw CommandError(FormatMessage("The frame is %d x %d pixels: each side must be between 1 and %d pixels.",
                                     {width, height, kMaxFrameSide}));
  const int bitPix = static_cast<int>(RoundHalfEven(h.cards.GetFloat("BITPIX")));
  if (!IsSupportedBitPix(bitPix))
    throw CommandError("BITPIX " + h.cards.GetString("BITPIX") +
                       " is not supported: frames with BITPIX 8, 16, 32, 64, -32 or -64 can be read.");

  if (headerOnly) {
    Header = std::move(h.cards);
    Width = width;
    Height = height;
    FileName = fileName;
    return true;
  }

  const DataStart start = FindDataStart(h);
  double scale = h.cards.GetFloat("BSCALE");
  if (scale == 0.0) scale = 1.0;
  const double zero = h.cards.GetFloat("BZERO");
  const int pixelBytes = static_cast<int>(RoundHalfEven(std::abs(bitPix) / 8.0));

  Header = std::move(h.cards);
  Width = width;
  Height = height;
  FileName = fileName;
  BlankCount = start.blankCount;
  BScale = scale;
  BZero = zero;
  BitPix = bitPix;
  PixelBytes = pixelBytes;
  Bitmap_.SetSize(Width, Height);

  const Scaling scaling = MakeScaling(bitPix, scale, zero);
  PixelDecoder decoder(bitPix, scaling);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(pixelBytes);
  const int rowsPerBlock = static_cast<int>(std::clamp<std::size_t>((512u << 10) / rowBytes, 1, 256));
  std::vector<std::uint8_t> buffer(rowBytes * static_cast<std::size_t>(rowsPerBlock));
  long long missing = 0;
  for (int y0 = 0; y0 < height; y0 += rowsPerBlock) {
    const int rows = std::min(rowsPerBlock, height - y0);
    const std::size_t want = rowBytes * static_cast<std::size_t>(rows);
    const long long at = start.offset + static_cast<long long>(rowBytes) * y0;
    const std::size_t got = file.ReadAt(at, buffer.data(), want);
    if (got == want) {
      decoder.Rows(buffer.data(), width, rows, y0, *this);
      continue;
    }
    // The file ends inside this block: what is there is decoded, what is not (a
    // partial last pixel included) reads as 0.
    std::memset(buffer.data() + got, 0, want - got);
    decoder.Rows(buffer.data(), width, rows, y0, *this);
    const std::size_t pixelsThere = got / static_cast<std::size_t>(pixelBytes);
    for (std::size_t i = pixelsThere; i < static_cast<std::size_t>(rows) * static_cast<std::size_t>(width); ++i)
      Data(static_cast<int>(i % static_cast<std::size_t>(width)) + 1,
           y0 + static_cast<int>(i / static_cast<std::size_t>(width)) + 1) = 0.0;
    for (int y = y0 + rows + 1; y <= height; ++y)
      for (int x = 1; x <= width; ++x)
        Data(x, y) = 0.0;
    missing = static_cast<long long>(width) * height -
              (static_cast<long long>(y0) * width + static_cast<long long>(pixelsThere));
    break;
  }

  const long long dataEnd = start.offset + static_cast<long long>(rowBytes) * height;
  const long long trail = fileSize > dataEnd ? (fileSize - dataEnd + 1) / 2 : 0;
  TrailWords = static_cast<std::int32_t>(std::min<long long>(trail, std::numeric_limits<std::int32_t>::max()));
  if (missing > 0)
    log.Add(FormatMessage("The file ends before its pixel data does: %d of %d pixels are missing and read as 0.",
                          {missing, static_cast<long long>(width) * height}));
  if (decoder.NonFinite() > 0)
    log.Add(
        FormatMessage("%d pixels are not finite numbers (NaN or infinity) and are read as 0.", {decoder.NonFinite()}));
  Loaded = true;
  return true;
}

} // namespace morvik
