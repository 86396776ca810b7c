#pragma once
// The frame object: header, 2200 x 2200 scaled pixels, statistics, display range and
// the 24-bit display bitmap. One object is made at start-up and reused for every frame.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/capacities.hpp"
#include "common/log.hpp"
#include "fits/bitmap.hpp"
#include "fits/tfda.hpp"

namespace morvik {

class TFits {
public:
  TFits(); // Create: empty header, empty bitmap, every number 0, buffer allocated once
  // CreateBlank / CreateBlankWithBitpix: a frame of the source's size, all pixels 0,
  // with the header cards SIMPLE, BITPIX, NAXIS, NAXIS1, NAXIS2 [, BSCALE, BZERO].
  static std::unique_ptr<TFits> CreateBlank(const TFits& source);
  static std::unique_ptr<TFits> CreateBlankWithBitpix(const TFits& source, std::uint16_t bitpix);

  std::string FileName;
  TFDA Header;
  std::array<std::int32_t, 256> Histogram{};
  std::int32_t BlankCount = 0;
  std::int32_t TrailWords = 0;
  std::int32_t Height = 0;
  std::int32_t Width = 0;
  std::int32_t Contrast = 0;
  double MaxK = 0.0;
  double MinK = 0.0;
  double MinVal = 0.0;
  double MaxVal = 0.0;
  double MeanVal = 0.0;
  double BgVal = 0.0;
  double BZero = 0.0;
  double BScale = 0.0;
  Bitmap Bitmap_;
  std::int32_t BitPix = 0;
  std::int32_t PixelBytes = 0;
  bool Loaded = false;
  bool Rendered = false;

  // Data[x][y], x = 1 ... 2200 along NAXIS1, y = 1 ... 2200 along NAXIS2; y varies
  // fastest in memory.
  double Data(int x, int y) const { return data_.get()[Index(x, y)]; }
  double& Data(int x, int y) { return data_.get()[Index(x, y)]; }
  // The 2200 values of column x (y = 1 first).
  const double* Column(int x) const { return data_.get() + Index(x, 1); }
  double* Column(int x) { return data_.get() + Index(x, 1); }

  // Reads one FITS file. False with "File not found." in the log when the file does
  // not exist. A file that cannot be read as a frame throws CommandError with the
  // user's message.
  bool LoadFromFile(const std::string& fileName, bool headerOnly, Log& log);
  static long long GetFileSize(const std::string& fileName);

  void SetContrast(int level) { Contrast = level; }
  // Statistics, display range and bitmap, with their three log lines.
  void Render(Log& log);
  void FindMinMax();
  void BuildHistogram(Log& log);

private:
  static std::size_t Index(int x, int y) {
    return static_cast<std::size_t>(x - 1) * kMaxFrameSide + static_cast<std::size_t>(y - 1);
  }
  // One block for the object's lifetime, on large pages where the system offers them:
  // the statistics and the rendering cross it column by column.
  struct PixelsDeleter {
    void operator()(double* p) const;
  };
  std::unique_ptr<double, PixelsDeleter> data_;
};

} // namespace morvik
