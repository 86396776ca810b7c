#include "fits/bitmap.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>

#include "common/files.hpp"

namespace morvik {

void* AllocateLargeBlock(std::size_t bytes) {
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  void* p = nullptr;
  if (bytes >= kLargePage) {
    p = std::aligned_alloc(kLargePage, (bytes + kLargePage - 1) / kLargePage * kLargePage);
#ifdef MADV_HUGEPAGE
    if (p != nullptr) ::madvise(p, (bytes + kLargePage - 1) / kLargePage * kLargePage, MADV_HUGEPAGE);
#endif
  } else {
    p = std::malloc(bytes == 0 ? 1 : bytes);
  }
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void Bitmap::SetSize(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  bytes_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3);
}

Rgb Bitmap::PixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return colors::Black;
  const std::uint8_t* p = Line(y) + static_cast<std::size_t>(x) * 3;
  return Rgb{p[2], p[1], p[0]};
}

void Bitmap::SetPixel(int x, int y, Rgb c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  std::uint8_t* p = Line(y) + static_cast<std::size_t>(x) * 3;
  p[0] = c.b;
  p[1] = c.g;
  p[2] = c.r;
}

void Picture::EnsureSize(int width, int height) {
  const int oldW = pixels_.Width();
  const int oldH = pixels_.Height();
  const int newW = std::max(width, oldW);
  const int newH = std::max(height, oldH);
  if (newW == oldW && newH == oldH) return;
  Bitmap grown;
  grown.SetSize(newW, newH);
  for (int y = 0; y < newH; ++y) {
    std::uint8_t* line = grown.Line(y);
    std::memset(line, 0xFF, grown.Stride());
    if (y < oldH && oldW > 0) std::memcpy(line, pixels_.Line(y), pixels_.Stride());
  }
  pixels_ = std::move(grown);
}

void Picture::FillRect(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Width());
  y2 = std::min(y2, Height());
  for (int y = y1; y < y2; ++y)
    for (int x = x1; x < x2; ++x)
      pixels_.SetPixel(x, y, fill);
}

void Picture::Ellipse(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const int w = x2 - x1;
  const int h = y2 - y1;
  if (w <= 0 || h <= 0) return;
  // A pixel belongs to the ellipse when its centre lies inside the ellipse inscribed
  // in the box; it is part of the outline when one of its four neighbours does not.
  const double rx = w / 2.0;
  const double ry = h / 2.0;
  auto inside = [&](int x, int y) {
    if (x < x1 || x >= x2 || y < y1 || y >= y2) return false;
    const double dx = (x + 0.5 - x1 - rx) / rx;
    const double dy = (y + 0.5 - y1 - ry) / ry;
    return dx * dx + dy * dy <= 1.0;
  };
  for (int y = std::max(y1, 0); y < std::min(y2, Height()); ++y) {
    for (int x = std::max(x1, 0); x < std::min(x2, Width()); ++x) {
      if (!inside(x, y)) continue;
      const bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
      pixels_.SetPixel(x, y, edge ? pen : fill);
    }
  }
}

void Picture::Line(int x1, int y1, int x2, int y2) {
  const int dx = std::abs(x2 - x1);
  const int dy = -std::abs(y2 - y1);
  const int sx = x1 < x2 ? 1 : -1;
  const int sy = y1 < y2 ? 1 : -1;
  int err = dx + dy;
  int x = x1;
  int y = y1;
  while (x != x2 || y != y2) {
    pixels_.SetPixel(x, y, pen);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

void Picture::Draw(const Bitmap& bitmap) {
  const int w = std::min(bitmap.Width(), Width());
  const int h = std::min(bitmap.Height(), Height());
  if (w <= 0) return;
  for (int y = 0; y < h; ++y)
    std::memcpy(pixels_.Line(y), bitmap.Line(y), static_cast<std::size_t>(w) * 3);
}

namespace {

void PutU16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

} // namespace

bool SaveBmp(const Bitmap& bitmap, int width, int height, const std::string& path) {
  width = std::min(width, bitmap.Width());
  height = std::min(height, bitmap.Height());
  if (width <= 0 || height <= 0) return false;
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(height);
  constexpr std::uint32_t kHeaderBytes = 14 + 40;
  std::string out;
  out.reserve(kHeaderBytes + imageBytes);
  out += "BM";
  PutU32(out, static_cast<std::uint32_t>(kHeaderBytes + imageBytes));
  PutU32(out, 0);
  PutU32(out, kHeaderBytes);
  PutU32(out, 40);
  PutU32(out, static_cast<std::uint32_t>(width));
  PutU32(out, static_cast<std::uint32_t>(height)); // positive: rows stored bottom-up
  PutU16(out, 1);
  PutU16(out, 24);
  PutU32(out, 0); // no compression
  PutU32(out, static_cast<std::uint32_t>(imageBytes));
  PutU32(out, 3780); // 96 dots per inch
  PutU32(out, 3780);
  PutU32(out, 0);
  PutU32(out, 0);
  const std::string padding(rowBytes - static_cast<std::size_t>(width) * 3, '\0');
  for (int y = height - 1; y >= 0; --y) {
    out.append(reinterpret_cast<const char*>(bitmap.Line(y)), static_cast<std::size_t>(width) * 3);
    out += padding;
  }
  return WriteFileReplacing(path, out);
}

} // namespace morvik
