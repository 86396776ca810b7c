#include "frames/rice_check.hpp"

namespace morvik::frames {

bool RiceTileFits(const std::uint8_t* bytes, std::size_t size, long long pixels, int blockSize, int bytePix) {
  int fsBits = 0, fsMax = 0, bBits = 0;
  switch (bytePix) {
  case 1:
    fsBits = 3, fsMax = 6, bBits = 8;
    break;
  case 2:
    fsBits = 4, fsMax = 14, bBits = 16;
    break;
  case 4:
    fsBits = 5, fsMax = 25, bBits = 32;
    break;
  default:
    return true; // cfitsio refuses these itself
  }
  if (blockSize <= 0) return false;
  std::size_t at = static_cast<std::size_t>(bytePix); // the first value, stored whole
  // The next byte; false once the stream is spent.
  auto next = [&](std::uint32_t& into) {
    if (at >= size) return false;
    into = bytes[at++];
    return true;
  };
  std::uint32_t byte = 0;
  if (!next(byte)) return pixels <= 0;
  std::uint64_t b = byte; // the bits not yet used, nbits of them
  int nbits = 8;
  for (long long i = 0; i < pixels;) {
    nbits -= fsBits;
    while (nbits < 0) {
      if (!next(byte)) return false;
      b = (b << 8) | byte;
      nbits += 8;
    }
    const int fs = static_cast<int>(b >> nbits) - 1;
    b &= (std::uint64_t{1} << nbits) - 1;
    const long long end = i + blockSize < pixels ? i + blockSize : pixels;
    if (fs < 0) {
      i = end; // a block of equal values
    } else if (fs == fsMax) {
      // Values stored whole: bBits bits each.
      for (; i < end; ++i) {
        int k = bBits - nbits;
        for (k -= 8; k >= 0; k -= 8)
          if (!next(byte)) return false;
        if (nbits > 0) {
          if (!next(byte)) return false;
          b = byte & ((std::uint32_t{1} << nbits) - 1);
        } else {
          b = 0;
        }
      }
    } else if (fs > fsMax) {
      return false;
    } else {
      for (; i < end; ++i) {
        // The unary part: zero bits up to a one.
        while (b == 0) {
          if (!next(byte)) return false;
          b = byte;
          nbits += 8;
        }
        int top = 0;
        while ((b >> (top + 1)) != 0)
          ++top;
        nbits = top; // the one is used
        b ^= std::uint64_t{1} << nbits;
        nbits -= fs;
        while (nbits < 0) {
          if (!next(byte)) return false;
          b = (b << 8) | byte;
          nbits += 8;
        }
        b &= (std::uint64_t{1} << nbits) - 1;
      }
    }
  }
  return true;
}

} // namespace morvik::frames
