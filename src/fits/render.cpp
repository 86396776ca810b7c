// Frame statistics, display range and the grey-scale bitmap.

#include <algorithm>
#include <chrono>
#include <cmath>

#include "common/format.hpp"
#include "fits/tfits.hpp"

namespace morvik {
namespace {

constexpr double kNoMin = 131070.0;

// round((v * mul + add) * 255) with the products and sums carried out in extended
// precision and halves going to even, clamped to 0 ... 255. Double arithmetic gives
// the same integer unless its result lies within `slack` of a half; only those few
// values are recomputed in extended precision.
class ByteScale {
public:
  // Every v passed in lies within [lo, hi].
  ByteScale(double mul, double add, double lo, double hi) : mul_(mul), add_(add) {
    const double reach = std::max(std::fabs(lo), std::fabs(hi)) * std::fabs(mul);
    // Worst case of both evaluations' rounding errors, with a margin.
    slack_ = 255.0 * 8.0 * std::max(reach, std::fabs(add)) * 0x1p-53;
  }

  int operator()(double v) const {
    const double t = (v * mul_ + add_) * 255.0;
    if (!(t > -0.5)) return 0; // also NaN
    if (t >= 255.5) return 255;
    constexpr double kShift = 0x1.8p52; // adding and removing it rounds to an integer, halves to even
    const double r = (t + kShift) - kShift;
    if (std::fabs(std::fabs(t - r) - 0.5) <= slack_) return Extended(v);
    return static_cast<int>(r);
  }

private:
  int Extended(double v) const {
    const long double e = (static_cast<long double>(v) * mul_ + add_) * 255.0L;
    return static_cast<int>(std::clamp(std::llrintl(e), 0LL, 255LL));
  }

  double mul_;
  double add_;
  double slack_ = 0.0;
};

} // namespace

void TFits::FindMinMax() {
  double minVal = kNoMin;
  double maxVal = -kNoMin;
  for (int x = 1; x <= Width; ++x) {
    const double* col = Column(x);
    for (int y = 0; y < Height; ++y) {
      const double v = col[y];
      maxVal = v > maxVal ? v : maxVal;
      minVal = (v < minVal && v > 0.0) ? v : minVal;
    }
  }
  MinVal = minVal;
  MaxVal = maxVal;
}

void TFits::BuildHistogram(Log& log) {
  if (MaxVal == MinVal) {
    log.Add("ERROR 200: max=min.");
    return;
  }
  const double a = 1.0 / (MaxVal - MinVal);
  const double c = -MinVal * a;
  const ByteScale bin(a, c, MinVal, MaxVal);
  // Runs of equal bins are the rule on a sky background; counting into several
  // tables keeps consecutive increments independent.
  std::array<std::array<std::int32_t, 256>, 4> counts{};
  double sum = 0.0;
  for (int x = 1; x <= Width; ++x) {
    const double* col = Column(x);
    for (int y = 0; y < Height; ++y) {
      const double v = col[y];
      if (v > 0.0) {
        sum += v;
        ++counts[static_cast<std::size_t>(y) & 3][static_cast<std::size_t>(bin(v))];
      }
    }
  }
  for (std::size_t b = 0; b < 256; ++b)
    Histogram[b] = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
  const double pixels = static_cast<double>(Width) * static_cast<double>(Height);
  MeanVal = pixels > 0.0 ? sum / pixels : 0.0;

  int fullest = -1;
  std::int32_t fullestCount = 0;
  for (int b = 0; b < 256; ++b) {
    if (Histogram[static_cast<std::size_t>(b)] > fullestCount) {
      fullest = b;
      fullestCount = Histogram[static_cast<std::size_t>(b)];
    }
  }
  // Without a single positive pixel there is no background above zero.
  BgVal = fullest < 0 ? 0.0 : MinVal + (MaxVal - MinVal) * (fullest / 255.0);
}

void TFits::Render(Log& log) {
  if (Width <= 0 || Height <= 0) return;
  Rendered = true;
  // The reader sizes the bitmap; a frame filled by other means gets it here.
  if (Bitmap_.Width() != Width || Bitmap_.Height() != Height) Bitmap_.SetSize(Width, Height);
  FindMinMax();
  BuildHistogram(log);
  const auto started = std::chrono::steady_clock::now();
  log.Add("min=" + FormatGeneral(MinVal) + " max=" + FormatGeneral(MaxVal) + " bgval=" + FormatGeneral(BgVal));

  const int level = std::clamp(Contrast, 0, 16);
  if (level == 16) {
    MinK = MinVal;
    MaxK = MaxVal;
  } else if (level >= 3) {
    MinK = BgVal;
    MaxK = level * BgVal / 2.0;
  } else {
    MinK = (level + 1) * BgVal * 0.25;
    MaxK = (level + 1) * BgVal;
  }
  log.Add("mink=" + FormatGeneral(MinK) + " maxk=" + FormatGeneral(MaxK));

  const double s = 1.0 / (MaxK - MinK);
  const double o = -MinK * s;
  // An empty range (a frame of one value at full range, or a zero background) has no
  // grey scale: what is above it is white, below it black, on it mid-grey.
  const bool emptyRange = !(MaxK > MinK) || !std::isfinite(s) || !std::isfinite(o);
  const ByteScale grey(emptyRange ? 0.0 : s, emptyRange ? 0.0 : o, MinK, MaxK);
  const double minK = MinK;
  const double maxK = MaxK;

  // Blocks of rows keep the lines being written in cache while the columns are read.
  constexpr int kRowsPerBlock = 16;
  for (int y0 = 0; y0 < Height; y0 += kRowsPerBlock) {
    const int rows = std::min(kRowsPerBlock, Height - y0);
    std::uint8_t* lines[kRowsPerBlock];
    for (int r = 0; r < rows; ++r)
      lines[r] = Bitmap_.Line(y0 + r);
    for (int x = 0; x < Width; ++x) {
      const double* col = Column(x + 1) + y0;
      const std::size_t at = static_cast<std::size_t>(x) * 3;
      for (int r = 0; r < rows; ++r) {
        const double v = col[r];
        int g;
        if (v > maxK)
          g = 255;
        else if (v >= minK)
          g = emptyRange ? 128 : grey(v);
        else
          g = 0;
        std::uint8_t* p = lines[r] + at;
        p[0] = p[1] = p[2] = static_cast<std::uint8_t>(g);
      }
    }
  }

  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  log.Add(FormatMessage("loaded in %.5d ms", {static_cast<long long>(elapsed)}));
}

} // namespace morvik
