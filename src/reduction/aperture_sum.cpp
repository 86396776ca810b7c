#include "reduction/aperture_sum.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace morvik::reduction {
namespace {

// Integral of sqrt(r^2 - t^2) dt from 0 to x, |x| <= r.
double HalfChordIntegral(double x, double r) {
  const double c = std::clamp(x / r, -1.0, 1.0);
  return 0.5 * (x * r * std::sqrt(std::max(0.0, 1.0 - c * c)) + r * r * std::asin(c));
}

// The light at the point symmetric to pixel (x, y) about `at`, interpolated between
// the four pixels around it when they are all clean (the profile is steep: the nearest
// pixel alone can be half a pixel off), else the nearest when it is clean; NaN when
// the point is the pixel itself or no clean light is there.
double PointSymmetric(const PixelView& v, Point at, long x, long y) {
  const double ox = 2.0 * at.x - static_cast<double>(x), oy = 2.0 * at.y - static_cast<double>(y);
  const long fx = static_cast<long>(std::floor(ox)), fy = static_cast<long>(std::floor(oy));
  auto clean = [&](long px, long py) {
    return px >= 0 && py >= 0 && px < v.width && py < v.height && (px != x || py != y) &&
           v.mask[static_cast<std::size_t>(py * v.width + px)] == pixel::kClean;
  };
  auto value = [&](long px, long py) {
    return static_cast<double>(v.data[static_cast<std::size_t>(py * v.width + px)]);
  };
  if (clean(fx, fy) && clean(fx + 1, fy) && clean(fx, fy + 1) && clean(fx + 1, fy + 1)) {
    const double tx = ox - static_cast<double>(fx), ty = oy - static_cast<double>(fy);
    return (1 - ty) * ((1 - tx) * value(fx, fy) + tx * value(fx + 1, fy)) +
           ty * ((1 - tx) * value(fx, fy + 1) + tx * value(fx + 1, fy + 1));
  }
  const long nx = std::lround(ox), ny = std::lround(oy);
  return clean(nx, ny) ? value(nx, ny) : std::nan("");
}

} // namespace

double CircleRectOverlap(double x0, double x1, double y0, double y1, double r) {
  x0 = std::max(x0, -r);
  x1 = std::min(x1, r);
  if (x1 <= x0 || y1 <= y0 || y0 >= r || y1 <= -r) return 0;
  // Along x the clipped chord min(max(s, y0), y1) - min(max(-s, y0), y1), with
  // s = sqrt(r^2 - x^2), is piecewise a constant or +-s: split where s meets |y0| or |y1|.
  double cuts[6] = {x0, x1, 0, 0, 0, 0};
  std::size_t n = 2;
  for (double y : {y0, y1})
    if (std::abs(y) < r) {
      const double x = std::sqrt(r * r - y * y);
      for (double c : {-x, x})
        if (c > x0 && c < x1) cuts[n++] = c;
    }
  for (std::size_t k = 1; k < n; ++k) // at most six: insertion
    for (std::size_t j = k; j > 0 && cuts[j - 1] > cuts[j]; --j)
      std::swap(cuts[j - 1], cuts[j]);
  double area = 0;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const double a = cuts[k], b = cuts[k + 1];
    if (b <= a) continue;
    const double mid = 0.5 * (a + b);
    const double s = std::sqrt(std::max(0.0, r * r - mid * mid));
    // Upper edge: y1 or s or (when s < y0) y0; lower edge: y0 or -s or (when -s > y1) y1.
    // The arc's integral (two arcsines) only where an edge follows the circle.
    const bool upperArc = s < y1 && s > y0, lowerArc = -s > y0 && -s < y1;
    const double chord = upperArc || lowerArc ? HalfChordIntegral(b, r) - HalfChordIntegral(a, r) : 0.0;
    const double upper = s >= y1 ? y1 * (b - a) : (s <= y0 ? y0 * (b - a) : chord);
    const double lower = -s <= y0 ? y0 * (b - a) : (-s >= y1 ? y1 * (b - a) : -chord);
    area += upper - lower;
  }
  return std::max(0.0, area);
}

CircleSum SumCircle(const PixelView& v, Point at, double r) {
  CircleSum out;
  if (at.x - r < -0.5 || at.y - r < -0.5 || at.x + r > static_cast<double>(v.width) - 0.5 ||
      at.y + r > static_cast<double>(v.height) - 0.5) {
    out.edge = true;
    return out;
  }
  const long x0 = static_cast<long>(std::floor(at.x - r + 0.5)), x1 = static_cast<long>(std::ceil(at.x + r - 0.5));
  const long y0 = static_cast<long>(std::floor(at.y - r + 0.5)), y1 = static_cast<long>(std::ceil(at.y + r - 0.5));
  // A pixel whose farthest corner lies inside counts whole, one whose nearest point
  // lies outside not at all; only the pixels the edge crosses need the exact area.
  for (long y = std::max(0L, y0); y <= std::min(v.height - 1, y1); ++y) {
    const double dy = static_cast<double>(y) - at.y;
    for (long x = std::max(0L, x0); x <= std::min(v.width - 1, x1); ++x) {
      const double dx = static_cast<double>(x) - at.x;
      const double far = (std::abs(dx) + 0.5) * (std::abs(dx) + 0.5) + (std::abs(dy) + 0.5) * (std::abs(dy) + 0.5);
      double w = 1.0;
      if (far > r * r) {
        const double nx = std::max(0.0, std::abs(dx) - 0.5), ny = std::max(0.0, std::abs(dy) - 0.5);
        if (nx * nx + ny * ny >= r * r) continue;
        w = CircleRectOverlap(dx - 0.5, dx + 0.5, dy - 0.5, dy + 0.5, r);
        if (w <= 0) continue;
      }
      const std::size_t i = static_cast<std::size_t>(y * v.width + x);
      const std::uint8_t flag = v.mask[i];
      double value = v.data[i];
      if (flag & pixel::kSaturated) out.saturated = true;
      if (flag & (pixel::kBad | pixel::kSaturated)) {
        out.blocked = true;
        continue;
      }
      if (flag & (pixel::kHot | pixel::kCosmic)) {
        const double mirrored = PointSymmetric(v, at, x, y);
        if (std::isnan(mirrored)) {
          out.blocked = true;
          continue;
        }
        value = mirrored;
        ++out.replaced;
      }
      out.sum += w * value;
      out.area += w;
    }
  }
  return out;
}

} // namespace morvik::reduction
