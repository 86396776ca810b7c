#include "reduction/fwhm.hpp"

#include <algorithm>
#include <cmath>

namespace morvik::reduction {
namespace {

constexpr double kSigmaToFwhm = 2.354820045;

// FWHM of one star from the light within `window` of it, the sky taken from the ring
// just outside; 0 when a flagged pixel is near or the light is not positive.
double StarFwhm(const PixelView& v, Point at, double window, double skyRms) {
  const double ring = window + 3.0;
  const long x0 = static_cast<long>(std::floor(at.x - ring)), x1 = static_cast<long>(std::ceil(at.x + ring));
  const long y0 = static_cast<long>(std::floor(at.y - ring)), y1 = static_cast<long>(std::ceil(at.y + ring));
  if (x0 < 0 || y0 < 0 || x1 >= v.width || y1 >= v.height) return 0;
  std::vector<float> sky;
  float peak = 0;
  for (long y = y0; y <= y1; ++y)
    for (long x = x0; x <= x1; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * v.width + x);
      const double r = std::hypot(static_cast<double>(x) - at.x, static_cast<double>(y) - at.y);
      if (r <= window && v.mask[i] != pixel::kClean) return 0;
      if (r > window && r <= ring && v.mask[i] == pixel::kClean) sky.push_back(v.data[i]);
      if (r <= 1.5) peak = std::max(peak, v.data[i]);
    }
  if (sky.size() < 10 || static_cast<double>(peak) < 20.0 * skyRms) return 0;
  std::nth_element(sky.begin(), sky.begin() + static_cast<std::ptrdiff_t>(sky.size() / 2), sky.end());
  const double level = static_cast<double>(sky[sky.size() / 2]);
  // The centre from the first moments, three times over, then the second moment.
  Point c = at;
  double sum = 0, second = 0;
  for (int pass = 0; pass < 4; ++pass) {
    double sx = 0, sy = 0, s2 = 0;
    sum = 0;
    for (long y = y0; y <= y1; ++y)
      for (long x = x0; x <= x1; ++x) {
        const double dx = static_cast<double>(x) - c.x, dy = static_cast<double>(y) - c.y;
        const double r2 = dx * dx + dy * dy;
        if (r2 > window * window) continue;
        const double value = static_cast<double>(v.data[static_cast<std::size_t>(y * v.width + x)]) - level;
        sum += value;
        sx += value * dx;
        sy += value * dy;
        s2 += value * r2;
      }
    if (!(sum > 0)) return 0;
    second = s2 / sum;
    if (pass < 3) c = {c.x + sx / sum, c.y + sy / sum};
  }
  const double variance = 0.5 * second - 1.0 / 12.0;
  return variance > 0 ? kSigmaToFwhm * std::sqrt(variance) : 0;
}

} // namespace

double MomentFwhm(const PixelView& v, const std::vector<Point>& bright, const std::vector<Point>& all, double guess,
                  double skyRms) {
  double fwhm = guess > 0 ? guess : 3.0;
  // Twice: the second window follows the first answer.
  for (int round = 0; round < 2; ++round) {
    const double window = std::max(3.0, 2.5 * fwhm);
    std::vector<double> found;
    for (const Point& p : bright) {
      if (found.size() >= 30) break;
      bool isolated = true;
      for (const Point& q : all) {
        const double d = std::hypot(q.x - p.x, q.y - p.y);
        if (d > 0.5 && d < 2.0 * window) {
          isolated = false;
          break;
        }
      }
      if (!isolated) continue;
      const double f = StarFwhm(v, p, window, skyRms);
      if (f > 0) found.push_back(f);
    }
    if (found.empty()) return round == 0 ? 0 : fwhm;
    std::nth_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(found.size() / 2), found.end());
    fwhm = found[found.size() / 2];
  }
  return fwhm;
}

} // namespace morvik::reduction
