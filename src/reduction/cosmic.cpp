#include "reduction/cosmic.hpp"

#include <algorithm>
#include <cmath>

#include "reduction/aperture_sum.hpp"

namespace morvik::reduction {
namespace {

struct Frame {
  std::vector<float>& data;
  std::vector<std::uint8_t>& mask;
  long w, h;
  double skyRms, gain;

  // Beyond the edge the edge pixel repeats: hot pixels on the edge are found too.
  std::size_t index(long x, long y) const {
    return static_cast<std::size_t>(std::clamp(y, 0L, h - 1) * w + std::clamp(x, 0L, w - 1));
  }
  float at(long x, long y) const { return data[index(x, y)]; }
  bool usable(long x, long y) const {
    const std::uint8_t m = mask[index(x, y)];
    return (m & (pixel::kBad | pixel::kSaturated | pixel::kHot)) == 0;
  }

  // Median of the usable pixels of the (2k+1)^2 box; 0 when none.
  double BoxMedian(long x, long y, long k) const {
    float v[49];
    int n = 0;
    for (long dy = -k; dy <= k; ++dy)
      for (long dx = -k; dx <= k; ++dx)
        if (usable(x + dx, y + dy)) v[n++] = at(x + dx, y + dy);
    if (n == 0) return 0;
    std::nth_element(v, v + n / 2, v + n);
    return v[n / 2];
  }

  // The Laplacian of the frame sampled twice as finely, its negative values clipped,
  // averaged back over each pixel's four sub-pixels: with every sub-pixel a copy of its
  // pixel, each sub-pixel's Laplacian is 2 v minus the two outer neighbours it touches.
  double LaplacianPlus(long x, long y) const {
    const double v = 2.0 * static_cast<double>(at(x, y));
    const double l = at(x - 1, y), r = at(x + 1, y), u = at(x, y - 1), d = at(x, y + 1);
    return 0.25 *
           (std::max(0.0, v - l - u) + std::max(0.0, v - r - u) + std::max(0.0, v - l - d) + std::max(0.0, v - r - d));
  }

  // Noise of one pixel: the sky's and the photon noise of the median-filtered source.
  double Noise(long x, long y) const { return std::sqrt(skyRms * skyRms + std::max(0.0, BoxMedian(x, y, 2)) / gain); }

  // S = L+ / (2 N): the 2 for the finer sampling.
  double Significance(long x, long y) const { return LaplacianPlus(x, y) / (2.0 * Noise(x, y)); }

  // S' = S - M5(S): what stands out of the smooth structure of S.
  double SignificanceSharp(long x, long y) const {
    float s[25];
    int n = 0;
    for (long dy = -2; dy <= 2; ++dy)
      for (long dx = -2; dx <= 2; ++dx)
        s[n++] = static_cast<float>(Significance(x + dx, y + dy));
    const double self = static_cast<double>(s[12]);
    std::nth_element(s, s + 12, s + 25);
    return self - static_cast<double>(s[12]);
  }

  // Fine structure F = M3(I) - M7(M3(I)) at the pixel.
  double FineStructure(long x, long y) const {
    float m3[49];
    int n = 0;
    for (long dy = -3; dy <= 3; ++dy)
      for (long dx = -3; dx <= 3; ++dx)
        m3[n++] = static_cast<float>(BoxMedian(x + dx, y + dy, 1));
    const double self = static_cast<double>(m3[24]);
    std::nth_element(m3, m3 + 24, m3 + 49);
    return self - static_cast<double>(m3[24]);
  }

  // Its own flags clean and its four sides usable.
  bool Testable(long x, long y) const {
    return mask[index(x, y)] == pixel::kClean && usable(x - 1, y) && usable(x + 1, y) && usable(x, y - 1) &&
           usable(x, y + 1);
  }

  // Inside a star's core: its brightest 3 x 3 neighbour (itself included) is star-like.
  bool InStarCore(long x, long y) const {
    long bx = x, by = y;
    for (long dy = -1; dy <= 1; ++dy)
      for (long dx = -1; dx <= 1; ++dx)
        if (at(x + dx, y + dy) > at(bx, by)) bx = std::clamp(x + dx, 0L, w - 1), by = std::clamp(y + dy, 0L, h - 1);
    return StarLikePeak(data.data(), w, h, bx, by);
  }
};

// The pixels within kReach (a square) of those given, each once, in raster order.
// The search's tests read no farther than kReach from the pixel tested: the box
// median of the significance's noise (2) around each of the 5 x 5 significances, and
// the 7 x 7 box of 3 x 3 medians of the fine structure.
constexpr long kReach = 4;
std::vector<std::size_t> Near(const std::vector<std::size_t>& at, long width, long height) {
  std::vector<std::size_t> out;
  out.reserve(at.size() * (2 * kReach + 1) * (2 * kReach + 1));
  for (std::size_t i : at) {
    const long x = static_cast<long>(i % static_cast<std::size_t>(width));
    const long y = static_cast<long>(i / static_cast<std::size_t>(width));
    for (long v = std::max(0L, y - kReach); v <= std::min(height - 1, y + kReach); ++v)
      for (long u = std::max(0L, x - kReach); u <= std::min(width - 1, x + kReach); ++u)
        out.push_back(static_cast<std::size_t>(v * width + u));
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

} // namespace

bool StarLikePeak(const float* data, long width, long height, long x, long y) {
  auto at = [&](long px, long py) {
    return static_cast<double>(data[std::clamp(py, 0L, height - 1) * width + std::clamp(px, 0L, width - 1)]);
  };
  const double peak = at(x, y);
  if (peak <= 0) return false;
  return at(x - 1, y) + at(x + 1, y) >= 0.1 * peak && at(x, y - 1) + at(x, y + 1) >= 0.1 * peak;
}

std::vector<std::size_t> RepairCosmicRays(std::vector<float>& data, std::vector<std::uint8_t>& mask, long width,
                                          long height, double skyRms, double gain, const CosmicOptions& o) {
  std::vector<std::size_t> found;
  if (skyRms <= 0 || gain <= 0 || width < 3 || height < 3) return found;
  Frame f{data, mask, width, height, skyRms, gain};
  // L+ / (2 N) with N no smaller than the sky's noise: below sigclip there, below it
  // anywhere, so the full test runs only where this quick bound passes.
  const double quick = 2.0 * o.sigclip * skyRms;
  const double grow = o.sigfrac * o.sigclip;
  std::vector<std::size_t> changed; // the pixels the last pass repaired
  for (int pass = 0; pass < o.iterations; ++pass) {
    std::vector<std::size_t> hits;
    auto sharp = [&](long x, long y, double limit) {
      if (x < 0 || y < 0 || x >= width || y >= height || !f.Testable(x, y) ||
          f.LaplacianPlus(x, y) <= 2.0 * limit * skyRms)
        return false;
      // The cheap test first: most pixels that pass the bound are stars' cores.
      if (f.InStarCore(x, y)) return false;
      // S' = S - M5(S) with S >= 0 is never above S (as stored, in float): where S
      // itself is not above the limit the 25 neighbours' S need not be found.
      if (static_cast<double>(static_cast<float>(f.Significance(x, y))) <= limit || f.SignificanceSharp(x, y) <= limit)
        return false;
      const double fine = f.FineStructure(x, y);
      return !(fine > 0 && f.LaplacianPlus(x, y) / fine <= o.objlim);
    };
    auto test = [&](long x, long y) {
      // Away from the edges a pixel that is not above all four sides has L+ below
      // its excess over them: the bound on L+ is taken from the raw pixels first.
      if (y > 0 && y + 1 < height && x > 0 && x + 1 < width) {
        const float* row = data.data() + y * width;
        const double v = row[x];
        const double side = std::min(std::min(row[x - 1], row[x + 1]), std::min(row[x - width], row[x + width]));
        if (2.0 * (v - side) <= quick) return;
      }
      if (f.LaplacianPlus(x, y) > quick && sharp(x, y, o.sigclip))
        hits.push_back(static_cast<std::size_t>(y * width + x));
    };
    if (pass == 0) {
      for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
          test(x, y);
    } else {
      // Every test reaches no farther than kReach pixels: only the pixels that near
      // the last pass's repairs can answer differently now, in the same raster order.
      for (std::size_t i : Near(changed, width, height))
        test(static_cast<long>(i % static_cast<std::size_t>(width)),
             static_cast<long>(i / static_cast<std::size_t>(width)));
    }
    if (hits.empty()) break;
    // The hits' neighbours at the lower limit: the rest of a track.
    const std::size_t first = hits.size();
    for (std::size_t k = 0; k < first; ++k) {
      const long x = static_cast<long>(hits[k] % static_cast<std::size_t>(width));
      const long y = static_cast<long>(hits[k] / static_cast<std::size_t>(width));
      for (long dy = -1; dy <= 1; ++dy)
        for (long dx = -1; dx <= 1; ++dx) {
          const std::size_t i = f.index(x + dx, y + dy);
          if ((dx != 0 || dy != 0) && x + dx >= 0 && y + dy >= 0 && x + dx < width && y + dy < height &&
              std::find(hits.begin(), hits.end(), i) == hits.end() && sharp(x + dx, y + dy, grow))
            hits.push_back(i);
        }
    }
    for (std::size_t i : hits)
      mask[i] |= pixel::kCosmic;
    // Repaired from the clean pixels around them, all at once.
    std::vector<float> values(hits.size());
    for (std::size_t k = 0; k < hits.size(); ++k) {
      const long x = static_cast<long>(hits[k] % static_cast<std::size_t>(width));
      const long y = static_cast<long>(hits[k] / static_cast<std::size_t>(width));
      float v[25];
      int n = 0;
      for (long dy = -2; dy <= 2; ++dy)
        for (long dx = -2; dx <= 2; ++dx)
          if (mask[f.index(x + dx, y + dy)] == pixel::kClean) v[n++] = f.at(x + dx, y + dy);
      std::nth_element(v, v + n / 2, v + n);
      values[k] = n > 0 ? v[n / 2] : 0.0f;
    }
    for (std::size_t k = 0; k < hits.size(); ++k)
      data[hits[k]] = values[k];
    found.insert(found.end(), hits.begin(), hits.end());
    changed = std::move(hits);
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

} // namespace morvik::reduction
