#include "reduction/star_match.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <unordered_map>

namespace morvik::reduction {
namespace {

struct Triangle {
  std::array<int, 3> v; // vertices opposite the shortest, middle and longest side
  double r1 = 0;        // shortest / longest
  double r2 = 0;        // middle / longest
};

double Distance(Point p, Point q) { return std::hypot(p.x - q.x, p.y - q.y); }

std::vector<Triangle> Triangles(const std::vector<Point>& points, int count, double minSide) {
  std::vector<Triangle> out;
  const int n = std::min<int>(count, static_cast<int>(points.size()));
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      for (int k = j + 1; k < n; ++k) {
        // Side opposite each vertex.
        std::array<std::pair<double, int>, 3> s = {{{Distance(points[j], points[k]), i},
                                                    {Distance(points[i], points[k]), j},
                                                    {Distance(points[i], points[j]), k}}};
        std::sort(s.begin(), s.end());
        if (s[0].first < minSide) continue;
        // Nearly equal sides leave the vertex order open.
        if (s[0].first / s[1].first > 0.97 || s[1].first / s[2].first > 0.97) continue;
        out.push_back({{s[0].second, s[1].second, s[2].second}, s[0].first / s[2].first, s[1].first / s[2].first});
      }
  std::sort(out.begin(), out.end(), [](const Triangle& l, const Triangle& r) { return l.r1 < r.r1; });
  return out;
}

// Finds the nearest point within a radius through a grid of cells.
class Grid {
public:
  Grid(const std::vector<Point>& points, double cell) : points_(points), cell_(cell) {
    for (int i = 0; i < static_cast<int>(points.size()); ++i)
      cells_[Key(points[i].x, points[i].y)].push_back(i);
  }
  int Nearest(Point p, double radius) const {
    int best = -1;
    double bestD = radius;
    const long cx = Cell(p.x), cy = Cell(p.y);
    for (long dy = -1; dy <= 1; ++dy)
      for (long dx = -1; dx <= 1; ++dx) {
        auto it = cells_.find(Pack(cx + dx, cy + dy));
        if (it == cells_.end()) continue;
        for (int i : it->second) {
          const double d = Distance(p, points_[static_cast<std::size_t>(i)]);
          if (d <= bestD) {
            bestD = d;
            best = i;
          }
        }
      }
    return best;
  }

private:
  long Cell(double v) const { return static_cast<long>(std::floor(v / cell_)); }
  static long long Pack(long x, long y) { return (static_cast<long long>(x) << 32) ^ (y & 0xffffffffLL); }
  long long Key(double x, double y) const { return Pack(Cell(x), Cell(y)); }
  const std::vector<Point>& points_;
  double cell_;
  std::unordered_map<long long, std::vector<int>> cells_;
};

bool FromThree(const std::array<Point, 3>& p, const std::array<Point, 3>& q, Affine& t) {
  return FitAffine({p.begin(), p.end()}, {q.begin(), q.end()}, t);
}

bool NearSimilarity(const Affine& t, const MatchOptions& o) {
  // Singular values of the linear part.
  const double s1 = std::hypot(t.a + t.e, t.d - t.b) / 2, s2 = std::hypot(t.a - t.e, t.d + t.b) / 2;
  const double big = s1 + s2, small = std::abs(s1 - s2);
  return small > 0 && big / small < 1.05 && big >= o.minScale && big <= o.maxScale && small >= o.minScale &&
         small <= o.maxScale;
}

// Pairs every reference star (of the first `limit`) with its nearest frame star within
// tolerance, each frame star used once (the closer pair wins).
std::vector<std::pair<int, int>> Pair(const std::vector<Point>& reference, const Grid& grid,
                                      const std::vector<Point>& frame, const Affine& t, double tolerance,
                                      std::size_t limit) {
  std::vector<std::pair<int, int>> pairs;
  std::unordered_map<int, std::pair<int, double>> taken;
  const std::size_t n = std::min(limit, reference.size());
  for (std::size_t i = 0; i < n; ++i) {
    const Point p = t.Apply(reference[i]);
    const int j = grid.Nearest(p, tolerance);
    if (j < 0) continue;
    const double d = Distance(p, frame[static_cast<std::size_t>(j)]);
    auto it = taken.find(j);
    if (it != taken.end() && it->second.second <= d) continue;
    taken[j] = {static_cast<int>(i), d};
  }
  for (const auto& [j, who] : taken)
    pairs.emplace_back(who.first, j);
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

Box BoxOf(const std::vector<Point>& points) {
  Box b{points[0].x, points[0].y, points[0].x, points[0].y};
  for (const Point& p : points) {
    b.x0 = std::min(b.x0, p.x);
    b.y0 = std::min(b.y0, p.y);
    b.x1 = std::max(b.x1, p.x);
    b.y1 = std::max(b.y1, p.y);
  }
  return b;
}

double BoxArea(const std::vector<Point>& points) {
  const Box b = BoxOf(points);
  return (b.x1 - b.x0) * (b.y1 - b.y0);
}

// Root mean square distance of the pairs under t.
double Residual(const std::vector<Point>& reference, const std::vector<Point>& frame,
                const std::vector<std::pair<int, int>>& pairs, const Affine& t) {
  if (pairs.empty()) return 0;
  double sum = 0;
  for (auto [i, j] : pairs) {
    const Point p = t.Apply(reference[static_cast<std::size_t>(i)]);
    const Point q = frame[static_cast<std::size_t>(j)];
    sum += (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y);
  }
  return std::sqrt(sum / static_cast<double>(pairs.size()));
}

} // namespace

double Affine::Scale() const { return std::sqrt(std::abs(a * e - b * d)); }

double Affine::RotationDeg() const {
  // The angle by which the x axis turns.
  return std::atan2(d, a) * 180.0 / std::numbers::pi;
}

bool Affine::Mirrored() const { return a * e - b * d < 0; }

bool FitAffine(const std::vector<Point>& from, const std::vector<Point>& to, Affine& out) {
  const std::size_t n = from.size();
  if (n < 3 || to.size() != n) return false;
  // Centred sums keep the normal equations well conditioned.
  double mx = 0, my = 0, nx = 0, ny = 0;
  for (std::size_t i = 0; i < n; ++i) {
    mx += from[i].x;
    my += from[i].y;
    nx += to[i].x;
    ny += to[i].y;
  }
  mx /= static_cast<double>(n);
  my /= static_cast<double>(n);
  nx /= static_cast<double>(n);
  ny /= static_cast<double>(n);
  double sxx = 0, sxy = 0, syy = 0, sxu = 0, syu = 0, sxv = 0, syv = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = from[i].x - mx, y = from[i].y - my, u = to[i].x - nx, v = to[i].y - ny;
    sxx += x * x;
    sxy += x * y;
    syy += y * y;
    sxu += x * u;
    syu += y * u;
    sxv += x * v;
    syv += y * v;
  }
  const double det = sxx * syy - sxy * sxy;
  if (std::abs(det) < 1e-9 * (sxx * syy + 1e-300) || det == 0) return false;
  out.a = (sxu * syy - syu * sxy) / det;
  out.b = (syu * sxx - sxu * sxy) / det;
  out.d = (sxv * syy - syv * sxy) / det;
  out.e = (syv * sxx - sxv * sxy) / det;
  out.c = nx - out.a * mx - out.b * my;
  out.f = ny - out.d * mx - out.e * my;
  return true;
}

MatchResult MatchStars(const std::vector<Point>& reference, const std::vector<Point>& frame,
                       const MatchOptions& options) {
  MatchResult result;
  if (reference.size() < 3 || frame.size() < 3) {
    result.error = "too few stars to align (" + std::to_string(frame.size()) + ")";
    return result;
  }
  const double minSide = 4.0 * options.tolerance;
  const auto refTriangles = Triangles(reference, options.brightest, minSide);
  const auto frameTriangles = Triangles(frame, options.brightest, minSide);
  const Grid grid(frame, options.tolerance);
  const std::size_t checkLimit = static_cast<std::size_t>(std::max(options.brightest * 2, 20));
  const double eps = 0.01;

  Affine best;
  std::size_t bestCount = 0;
  const std::size_t enough =
      std::max<std::size_t>(8, std::min(std::min(reference.size(), frame.size()), checkLimit) * 8 / 10);
  for (const Triangle& ft : frameTriangles) {
    auto it = std::lower_bound(refTriangles.begin(), refTriangles.end(), ft.r1 - eps,
                               [](const Triangle& t, double v) { return t.r1 < v; });
    for (; it != refTriangles.end() && it->r1 <= ft.r1 + eps; ++it) {
      if (std::abs(it->r2 - ft.r2) > eps) continue;
      std::array<Point, 3> p, q;
      for (int k = 0; k < 3; ++k) {
        p[static_cast<std::size_t>(k)] = reference[static_cast<std::size_t>(it->v[static_cast<std::size_t>(k)])];
        q[static_cast<std::size_t>(k)] = frame[static_cast<std::size_t>(ft.v[static_cast<std::size_t>(k)])];
      }
      Affine t;
      if (!FromThree(p, q, t) || !NearSimilarity(t, options)) continue;
      const std::size_t count = Pair(reference, grid, frame, t, options.tolerance, checkLimit).size();
      if (count > bestCount) {
        bestCount = count;
        best = t;
      }
    }
    if (bestCount >= enough) break;
  }
  // Chance coincidences of a wrong hypothesis stay far below a quarter of the stars.
  const std::size_t common = std::min(std::min(reference.size(), frame.size()), checkLimit);
  const std::size_t required =
      std::max<std::size_t>(static_cast<std::size_t>(std::max(3, options.minMatches)), (common + 3) / 4);
  if (bestCount < required) {
    result.error = "no star pattern in common with the reference";
    return result;
  }
  // Refine over every star, the tolerance narrowing to the fit's residuals.
  Affine t = best;
  double tolerance = options.tolerance;
  std::vector<std::pair<int, int>> pairs;
  for (int round = 0; round < 4; ++round) {
    pairs = Pair(reference, grid, frame, t, tolerance, reference.size());
    std::vector<Point> from, to;
    for (auto [i, j] : pairs) {
      from.push_back(reference[static_cast<std::size_t>(i)]);
      to.push_back(frame[static_cast<std::size_t>(j)]);
    }
    Affine fitted;
    if (!FitAffine(from, to, fitted)) break;
    t = fitted;
    if (options.narrowToFit && pairs.size() >= 8)
      tolerance = std::min(tolerance, std::max(1.0, 4.0 * Residual(reference, frame, pairs, t)));
  }
  pairs = Pair(reference, grid, frame, t, tolerance, reference.size());
  if (pairs.size() < required || !NearSimilarity(t, options)) {
    result.error = "only " + std::to_string(pairs.size()) + " stars matched the reference";
    return result;
  }
  // Pairs that chance alone brings within the tolerance: each reference star that
  // lands on the frame finds a frame star within reach with the probability that the
  // frame's density gives the tolerance's circle. The count must stand far above
  // that, by a Poisson margin.
  const double area = options.area > 0 ? options.area : BoxArea(frame);
  std::size_t landing = 0;
  const Box box = BoxOf(frame);
  for (const Point& p : reference) {
    const Point q = t.Apply(p);
    if (q.x >= box.x0 && q.x <= box.x1 && q.y >= box.y0 && q.y <= box.y1) ++landing;
  }
  const double chance =
      static_cast<double>(landing) *
      std::min(1.0, static_cast<double>(frame.size()) * std::numbers::pi * tolerance * tolerance / std::max(area, 1.0));
  result.chance = chance;
  result.tolerance = tolerance;
  if (static_cast<double>(pairs.size()) < chance + 5.0 * std::sqrt(chance) + 3.0 ||
      static_cast<double>(pairs.size()) < 2.0 * chance) {
    char text[200];
    std::snprintf(text, sizeof text, "%zu stars matched within %.2g px where chance alone gives %.1f", pairs.size(),
                  tolerance, chance);
    result.error = text;
    return result;
  }
  const double rms = Residual(reference, frame, pairs, t);
  result.ok = true;
  result.transform = t;
  result.pairs = std::move(pairs);
  result.rms = rms;
  return result;
}

} // namespace morvik::reduction
