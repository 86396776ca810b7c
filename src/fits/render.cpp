// Frame statistics, display range and the grey-scale bitmap.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/format.hpp"
#include "fits/tfits.hpp"

namespace morvik {
namespace {

constexpr double kNoMin = 131070.0;
constexpr double kShift = 0x1.8p52; // adding and removing it rounds to an integer, halves to even
constexpr int kChunk = 256;

// round((v * mul + add) * 255) with the products and sums carried out in extended
// precision and halves going to even, clamped to 0 ... 255. Double arithmetic gives
// the same integer unless its result lies within `slack` of a half; those few values
// are flagged and recomputed in extended precision.
class ByteScale {
public:
  // Every v in [lo, hi] is mapped; above hi gives 255, below lo (and NaN) gives `below`.
  ByteScale(double mul, double add, double lo, double hi, int below = 0)
      : mul_(mul), add_(add), lo_(lo), hi_(hi), below_(below) {
    const double reach = std::max(std::fabs(lo), std::fabs(hi)) * std::fabs(mul);
    // Worst case of both evaluations' rounding errors, with a margin.
    const double slack = 255.0 * 8.0 * std::max(reach, std::fabs(add)) * 0x1p-53;
    nearHalf_ = 0.5 - slack;
  }

  // Scales n values in double arithmetic. True when some value may round differently
  // from the extended arithmetic: the caller then asks Near for each and recomputes
  // those with Extended.
  bool Many(const double* v, int n, std::int32_t* out) const {
    int i = 0;
    bool any = false;
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) i = ManyWide(v, n, out, any);
#endif
#if defined(__SSE2__)
    const __m128d mul = _mm_set1_pd(mul_), add = _mm_set1_pd(add_), top = _mm_set1_pd(255.0);
    const __m128d zero = _mm_setzero_pd(), shift = _mm_set1_pd(kShift), nearHalf = _mm_set1_pd(nearHalf_);
    const __m128d lo = _mm_set1_pd(lo_), hi = _mm_set1_pd(hi_), below = _mm_set1_pd(below_);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    __m128d flagged = zero;
    for (; i + 2 <= n; i += 2) {
      const __m128d x = _mm_loadu_pd(v + i);
      __m128d t = _mm_mul_pd(_mm_add_pd(_mm_mul_pd(x, mul), add), top);
      t = _mm_min_pd(_mm_max_pd(t, zero), top); // max_pd gives the second operand for NaN
      __m128d r = _mm_sub_pd(_mm_add_pd(t, shift), shift);
      const __m128d distance = _mm_and_pd(_mm_sub_pd(t, r), magnitude);
      const __m128d inRange = _mm_cmpge_pd(x, lo);
      const __m128d above = _mm_cmpgt_pd(x, hi);
      r = _mm_or_pd(_mm_and_pd(inRange, r), _mm_andnot_pd(inRange, below));
      r = _mm_or_pd(_mm_andnot_pd(above, r), _mm_and_pd(above, top));
      flagged = _mm_or_pd(flagged, _mm_andnot_pd(above, _mm_and_pd(inRange, _mm_cmpge_pd(distance, nearHalf))));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_cvttpd_epi32(r));
    }
    any = any || _mm_movemask_pd(flagged) != 0;
#endif
    for (; i < n; ++i) {
      const double x = v[i];
      const double r = Rounded(x);
      out[i] = x > hi_ ? 255 : x >= lo_ ? static_cast<std::int32_t>(r) : below_;
      any = any || Near(x);
    }
    return any;
  }

  // The same double arithmetic as Many, one value at a time.
  bool Near(double x) const {
    const double t = Clamped(x);
    return x >= lo_ && !(x > hi_) && std::fabs(t - Rounded(x)) >= nearHalf_;
  }

  int Extended(double v) const {
    const long double e =
        (static_cast<long double>(v) * static_cast<long double>(mul_) + static_cast<long double>(add_)) * 255.0L;
    if (!(e > 0.0L)) return 0;
    return static_cast<int>(std::min(std::llrintl(e), 255LL));
  }

private:
  double Clamped(double x) const {
    double t = (x * mul_ + add_) * 255.0;
    t = t > 0.0 ? t : 0.0; // also NaN
    return t < 255.0 ? t : 255.0;
  }
  double Rounded(double x) const { return (Clamped(x) + kShift) - kShift; }

#if defined(__x86_64__) && defined(__GNUC__)
  // Four values at a time where the processor has them; the same steps as the loop
  // of Many. Returns how many values it did.
  __attribute__((target("avx2"))) int ManyWide(const double* v, int n, std::int32_t* out, bool& any) const {
    const __m256d mul = _mm256_set1_pd(mul_), add = _mm256_set1_pd(add_), top = _mm256_set1_pd(255.0);
    const __m256d zero = _mm256_setzero_pd(), shift = _mm256_set1_pd(kShift), nearHalf = _mm256_set1_pd(nearHalf_);
    const __m256d lo = _mm256_set1_pd(lo_), hi = _mm256_set1_pd(hi_), below = _mm256_set1_pd(below_);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    __m256d flagged = zero;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
      const __m256d x = _mm256_loadu_pd(v + i);
      __m256d t = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(x, mul), add), top);
      t = _mm256_min_pd(_mm256_max_pd(t, zero), top);
      __m256d r = _mm256_sub_pd(_mm256_add_pd(t, shift), shift);
      const __m256d distance = _mm256_and_pd(_mm256_sub_pd(t, r), magnitude);
      const __m256d inRange = _mm256_cmp_pd(x, lo, _CMP_GE_OQ);
      const __m256d above = _mm256_cmp_pd(x, hi, _CMP_GT_OQ);
      r = _mm256_blendv_pd(below, r, inRange);
      r = _mm256_blendv_pd(r, top, above);
      flagged = _mm256_or_pd(
          flagged, _mm256_andnot_pd(above, _mm256_and_pd(inRange, _mm256_cmp_pd(distance, nearHalf, _CMP_GE_OQ))));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_cvttpd_epi32(r));
    }
    any = _mm256_movemask_pd(flagged) != 0;
    return i;
  }
#endif

  double mul_;
  double add_;
  double lo_;
  double hi_;
  int below_;
  double nearHalf_ = 0.5;
};

#if defined(__x86_64__) && defined(__GNUC__)
// ExactPositiveSum's vector part, four values at a time; returns how many it did, or
// -1 when one of them is not an integer within the limit.
__attribute__((target("avx2"))) int ExactPositiveSumWide(const double* v, int n, double limit, double& total) {
  const __m256d zero = _mm256_setzero_pd(), two52 = _mm256_set1_pd(0x1p52), top = _mm256_set1_pd(limit);
  __m256d lanes = zero, bad = zero;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d a = _mm256_loadu_pd(v + i);
    const __m256d positive = _mm256_cmp_pd(a, zero, _CMP_GT_OQ);
    lanes = _mm256_add_pd(lanes, _mm256_and_pd(positive, a));
    const __m256d rounded = _mm256_sub_pd(_mm256_add_pd(a, two52), two52);
    const __m256d wrong = _mm256_or_pd(_mm256_cmp_pd(rounded, a, _CMP_NEQ_UQ), _mm256_cmp_pd(a, top, _CMP_GT_OQ));
    bad = _mm256_or_pd(bad, _mm256_and_pd(positive, wrong));
  }
  if (_mm256_movemask_pd(bad) != 0) return -1;
  double parts[4];
  _mm256_storeu_pd(parts, lanes);
  total = (parts[0] + parts[1]) + (parts[2] + parts[3]);
  return i;
}
#endif

// The sum of the positive values among n when each of them is an integer no larger
// than `limit`, itself below 2^52 (so that with a small enough limit no partial sum
// can round); false when one is not.
bool ExactPositiveSum(const double* v, int n, double limit, double& sum) {
  constexpr double kTwo52 = 0x1p52;
  int i = 0;
  double total = 0.0;
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) {
    i = ExactPositiveSumWide(v, n, limit, total);
    if (i < 0) return false;
  }
#endif
#if defined(__SSE2__)
  if (i == 0) {
    const __m128d zero = _mm_setzero_pd(), two52 = _mm_set1_pd(kTwo52), top = _mm_set1_pd(limit);
    __m128d lanes0 = zero, lanes1 = zero, bad = zero;
    for (; i + 4 <= n; i += 4) {
      const __m128d a = _mm_loadu_pd(v + i), b = _mm_loadu_pd(v + i + 2);
      const __m128d pa = _mm_cmpgt_pd(a, zero), pb = _mm_cmpgt_pd(b, zero);
      lanes0 = _mm_add_pd(lanes0, _mm_and_pd(pa, a));
      lanes1 = _mm_add_pd(lanes1, _mm_and_pd(pb, b));
      // Below 2^52, adding and removing 2^52 keeps exactly the integers.
      const __m128d ra = _mm_sub_pd(_mm_add_pd(a, two52), two52), rb = _mm_sub_pd(_mm_add_pd(b, two52), two52);
      const __m128d wrongA = _mm_or_pd(_mm_cmpneq_pd(ra, a), _mm_cmpgt_pd(a, top));
      const __m128d wrongB = _mm_or_pd(_mm_cmpneq_pd(rb, b), _mm_cmpgt_pd(b, top));
      bad = _mm_or_pd(bad, _mm_or_pd(_mm_and_pd(pa, wrongA), _mm_and_pd(pb, wrongB)));
    }
    if (_mm_movemask_pd(bad) != 0) return false;
    double lanes[4];
    _mm_storeu_pd(lanes, lanes0);
    _mm_storeu_pd(lanes + 2, lanes1);
    total = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
  }
#endif
  bool ok = true;
  for (; i < n; ++i) {
    const double x = v[i];
    if (!(x > 0.0)) continue;
    ok = ok && x <= limit && (x + kTwo52) - kTwo52 == x;
    total += x;
  }
  if (!ok) return false;
  sum = total;
  return true;
}

} // namespace

void TFits::FindMinMax() {
  // Several lanes break the dependency between neighbouring pixels; the maximum and
  // the minimum do not depend on the order in which the pixels are compared.
  double maxVal = -kNoMin;
  double minVal = kNoMin;
#if defined(__SSE2__)
  const __m128d zero = _mm_setzero_pd(), none = _mm_set1_pd(kNoMin);
  __m128d max0 = _mm_set1_pd(-kNoMin), max1 = max0, min0 = none, min1 = none;
#endif
  for (int x = 1; x <= Width; ++x) {
    const double* col = Column(x);
    int y = 0;
#if defined(__SSE2__)
    for (; y + 4 <= Height; y += 4) {
      const __m128d a = _mm_loadu_pd(col + y), b = _mm_loadu_pd(col + y + 2);
      max0 = _mm_max_pd(a, max0); // NaN keeps the second operand
      max1 = _mm_max_pd(b, max1);
      const __m128d pa = _mm_cmpgt_pd(a, zero), pb = _mm_cmpgt_pd(b, zero);
      min0 = _mm_min_pd(_mm_or_pd(_mm_and_pd(pa, a), _mm_andnot_pd(pa, none)), min0);
      min1 = _mm_min_pd(_mm_or_pd(_mm_and_pd(pb, b), _mm_andnot_pd(pb, none)), min1);
    }
#endif
    for (; y < Height; ++y) {
      const double v = col[y];
      maxVal = v > maxVal ? v : maxVal;
      minVal = (v < minVal && v > 0.0) ? v : minVal;
    }
  }
#if defined(__SSE2__)
  double lanes[8];
  _mm_storeu_pd(lanes, max0);
  _mm_storeu_pd(lanes + 2, max1);
  _mm_storeu_pd(lanes + 4, min0);
  _mm_storeu_pd(lanes + 6, min1);
  for (int k = 0; k < 4; ++k) {
    maxVal = std::max(maxVal, lanes[k]);
    minVal = std::min(minVal, lanes[4 + k]);
  }
#endif
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
  // Pixels of 0 or below (and NaN) go to an extra bin that is dropped.
  constexpr int kNotCounted = 256;
  const ByteScale scale(a, c, MinVal, MaxVal, kNotCounted);
  // Runs of equal bins are the rule on a sky background; counting into several
  // tables keeps consecutive increments independent.
  std::array<std::array<std::int32_t, 257>, 4> counts{};
  std::int32_t bins[kChunk];
  // The mean is the sum of the positive pixels added one by one in pixel order. While
  // every positive pixel is an integer no larger than MaxVal and all of them together
  // stay within 2^53, every partial sum is an exact integer, so adding them in any
  // order gives the same double; that allows sums over vector lanes. From the first
  // piece where this cannot be shown, the pixels are added one by one.
  constexpr double kExact = 9007199254740992.0; // 2^53
  bool exact =
      MaxVal < kExact / 2 && static_cast<double>(Width) * static_cast<double>(Height) * std::max(MaxVal, 0.0) <= kExact;
  double sum = 0.0;
  for (int x = 1; x <= Width; ++x) {
    const double* col = Column(x);
    for (int y0 = 0; y0 < Height; y0 += kChunk) {
      const int n = std::min(kChunk, Height - y0);
      const double* v = col + y0;
      // The counting below issues no loads of its own: fetch the next piece meanwhile.
      const double* next = y0 + kChunk < Height ? v + kChunk : (x < Width ? Column(x + 1) : nullptr);
      if (next != nullptr)
        for (int i = 0; i < kChunk; i += 8)
          __builtin_prefetch(next + i);
      if (scale.Many(v, n, bins))
        for (int i = 0; i < n; ++i)
          if (scale.Near(v[i])) bins[i] = scale.Extended(v[i]);
      int i = 0;
      for (; i + 4 <= n; i += 4) {
        ++counts[0][static_cast<std::size_t>(bins[i])];
        ++counts[1][static_cast<std::size_t>(bins[i + 1])];
        ++counts[2][static_cast<std::size_t>(bins[i + 2])];
        ++counts[3][static_cast<std::size_t>(bins[i + 3])];
      }
      for (; i < n; ++i)
        ++counts[0][static_cast<std::size_t>(bins[i])];
      if (exact) {
        double piece = 0.0;
        exact = ExactPositiveSum(v, n, MaxVal, piece);
        if (exact) {
          sum += piece;
          continue;
        }
      }
      for (int k = 0; k < n; ++k)
        if (v[k] > 0.0) sum += v[k];
    }
  }
  for (std::size_t b = 0; b < 256; ++b)
    Histogram[b] = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
  const double pixels = static_cast<double>(Width) * static_cast<double>(Height);
  MeanVal = pixels > 0.0 ? sum / pixels : 0.0;
  if (!std::isfinite(MeanVal)) {
    // Pixels near the largest double overflow their sum, never their mean.
    MeanVal = 0.0;
    for (int x = 1; x <= Width; ++x)
      for (int y = 1; y <= Height; ++y)
        if (Data(x, y) > 0.0) MeanVal += Data(x, y) / pixels;
  }

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
  // A background near the largest double puts the range beyond it.
  constexpr double kLargest = std::numeric_limits<double>::max();
  MinK = std::clamp(MinK, -kLargest, kLargest);
  MaxK = std::clamp(MaxK, -kLargest, kLargest);
  log.Add("mink=" + FormatGeneral(MinK) + " maxk=" + FormatGeneral(MaxK));

  const double s = 1.0 / (MaxK - MinK);
  const double o = -MinK * s;
  // An empty range (a frame of one value at full range, or a zero background) has no
  // grey scale: what is above it is white, below it black, on it mid-grey.
  const bool emptyRange = !(MaxK > MinK) || !std::isfinite(s) || !std::isfinite(o);
  const ByteScale grey(emptyRange ? 0.0 : s, emptyRange ? 0.0 : o, MinK, MaxK);
  const double minK = MinK;
  const double maxK = MaxK;

  // Tiles of kTileRows x kTileCols pixels that stay in the first-level cache: the
  // greys of a tile are computed column by column as the pixels lie in Data, and then
  // written to the bitmap line by line. The pieces of the columns ahead are fetched
  // early, as short pieces far apart escape the hardware prefetch.
  constexpr int kTileRows = 64;
  constexpr int kTileCols = 256;
  constexpr int kAhead = 16;
  const int width = Width;
  const int height = Height;
  std::int32_t greys[kTileRows];
  std::uint8_t tile[kTileCols][kTileRows];
  for (int y0 = 0; y0 < height; y0 += kTileRows) {
    const int rows = std::min(kTileRows, height - y0);
    for (int x0 = 0; x0 < width; x0 += kTileCols) {
      const int cols = std::min(kTileCols, width - x0);
      for (int c = 0; c < cols; ++c) {
        if (x0 + c + kAhead < width) {
          const double* next = Column(x0 + c + kAhead + 1) + y0;
          for (int r = 0; r < rows; r += 8)
            __builtin_prefetch(next + r);
        }
        const double* v = Column(x0 + c + 1) + y0;
        if (emptyRange) {
          for (int r = 0; r < rows; ++r)
            greys[r] = v[r] > maxK ? 255 : v[r] >= minK ? 128 : 0;
        } else if (grey.Many(v, rows, greys)) {
          for (int r = 0; r < rows; ++r)
            if (grey.Near(v[r])) greys[r] = grey.Extended(v[r]);
        }
        for (int r = 0; r < rows; ++r)
          tile[c][r] = static_cast<std::uint8_t>(greys[r]);
      }
      for (int r = 0; r < rows; ++r) {
        std::uint8_t* p = Bitmap_.Line(y0 + r) + static_cast<std::size_t>(x0) * 3;
        // The same line's piece of the next tile, fetched for writing meanwhile.
        if (x0 + kTileCols < width)
          for (int b = 0; b < kTileCols * 3; b += 64)
            __builtin_prefetch(p + kTileCols * 3 + b, 1);
        // Four bytes per pixel, the fourth overwritten by the next pixel; the last
        // pixel of the piece gets its three bytes alone.
        for (int c = 0; c + 1 < cols; ++c, p += 3) {
          const std::uint32_t g = tile[c][r] * 0x01010101u;
          std::memcpy(p, &g, 4);
        }
        p[0] = p[1] = p[2] = tile[cols - 1][r];
      }
    }
  }

  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  log.Add(FormatMessage("loaded in %.5d ms", {static_cast<long long>(elapsed)}));
}

} // namespace morvik
