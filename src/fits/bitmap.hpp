#pragma once
// 24-bit pictures and the few drawing operations the program needs, without any GUI
// toolkit: the frame's rendered bitmap, the image view's picture with its star marks,
// and writing a picture as a BMP file.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/chart_model.hpp"

namespace morvik {

// Memory for big pictures, on large pages where the system offers them; freed with
// std::free.
void* AllocateLargeBlock(std::size_t bytes);

// Storage of big pictures, on large pages where the system offers them: the frame's
// bitmap is written in tiles that cross many lines at once.
template <class T> struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <class U> LargePageAllocator(const LargePageAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateLargeBlock(n * sizeof(T))); }
  void deallocate(T* p, std::size_t) { std::free(p); }
  friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};

// Width x Height pixels, three bytes each (blue, green, red), rows from the top.
class Bitmap {
public:
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Sizing keeps no particular content.
  void SetSize(int width, int height);
  std::uint8_t* Line(int y) { return bytes_.data() + static_cast<std::size_t>(y) * Stride(); }
  const std::uint8_t* Line(int y) const { return bytes_.data() + static_cast<std::size_t>(y) * Stride(); }
  std::size_t Stride() const { return static_cast<std::size_t>(width_) * 3; }
  Rgb PixelAt(int x, int y) const;
  void SetPixel(int x, int y, Rgb c); // ignored outside the bitmap

private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t, LargePageAllocator<std::uint8_t>> bytes_;
};

// A drawing surface with a pen and a fill, like the image view's canvas. Everything
// drawn is clipped to the surface.
class Picture {
public:
  Bitmap& Pixels() { return pixels_; }
  const Bitmap& Pixels() const { return pixels_; }
  int Width() const { return pixels_.Width(); }
  int Height() const { return pixels_.Height(); }
  // Makes the surface at least width x height (it never shrinks); new area is white.
  void EnsureSize(int width, int height);

  Rgb pen = colors::Black;
  Rgb fill = colors::White;

  // Filled rectangle in the fill colour, right and bottom edges excluded.
  void FillRect(int x1, int y1, int x2, int y2);
  // Ellipse inside the box (x1, y1) - (x2, y2), right and bottom edges excluded:
  // filled with the fill colour, outlined one pixel wide with the pen.
  void Ellipse(int x1, int y1, int x2, int y2);
  // Straight line with the pen from (x1, y1) to (x2, y2), the end point excluded.
  void Line(int x1, int y1, int x2, int y2);
  // Copies a bitmap with its top-left corner at (0, 0).
  void Draw(const Bitmap& bitmap);

private:
  Bitmap pixels_;
};

// Writes the top-left width x height pixels of a bitmap as an uncompressed 24-bit BMP
// file (temporary file and rename). False when the file could not be written.
bool SaveBmp(const Bitmap& bitmap, int width, int height, const std::string& path);

} // namespace morvik
