#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "reduction/star_match.hpp"

namespace morvik::reduction {
namespace {

TEST(StarMatch, FindsTheTransformUnderRotationMirrorScaleAndOutliers) {
  struct Case {
    const char* name;
    double angleDeg, scale;
    bool mirror;
    double shiftX, shiftY;
    int dropped, outliers;
  };
  const std::vector<Case> cases = {
      {"shift", 0, 1.0, false, 37.5, -22.25, 0, 0}, {"meridian flip", 180, 1.0, false, 250, 240, 3, 0},
      {"mirror", 30, 1.0, true, 10, 20, 0, 0},      {"scale 1.02", 90, 1.02, false, 255, -3, 2, 0},
      {"outliers", 12, 0.98, false, -15, 8, 5, 15},
  };
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 250);
  std::normal_distribution<double> jitter(0, 0.05);
  std::vector<Point> ref;
  for (int i = 0; i < 40; ++i)
    ref.push_back({u(rng), u(rng)});
  for (const Case& c : cases) {
    const double t = c.angleDeg * std::numbers::pi / 180, m = c.mirror ? -1.0 : 1.0;
    Affine truth{c.scale * std::cos(t) * m, -c.scale * std::sin(t), c.shiftX,
                 c.scale * std::sin(t) * m, c.scale * std::cos(t),  c.shiftY};
    std::vector<Point> frame;
    std::vector<int> source; // reference index of each frame star, -1 for outliers
    for (int i = c.dropped; i < 40; ++i) {
      Point p = truth.Apply(ref[static_cast<std::size_t>(i)]);
      frame.push_back({p.x + jitter(rng), p.y + jitter(rng)});
      source.push_back(i);
    }
    // Outliers are spread through the list, some among the brightest.
    for (int k = 0; k < c.outliers; ++k) {
      const auto at = static_cast<std::ptrdiff_t>((k * 7) % static_cast<int>(frame.size()));
      frame.insert(frame.begin() + at, {u(rng), u(rng)});
      source.insert(source.begin() + at, -1);
    }
    const MatchResult r = MatchStars(ref, frame);
    ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
    EXPECT_EQ(r.transform.Mirrored(), c.mirror) << c.name;
    EXPECT_NEAR(r.transform.Scale(), c.scale, 0.002) << c.name;
    for (const Point& p : {Point{0, 0}, Point{250, 250}}) {
      EXPECT_NEAR(r.transform.Apply(p).x, truth.Apply(p).x, 0.1) << c.name;
      EXPECT_NEAR(r.transform.Apply(p).y, truth.Apply(p).y, 0.1) << c.name;
    }
    EXPECT_GE(r.pairs.size(), 40u - static_cast<std::size_t>(c.dropped) - 1) << c.name;
    for (auto [i, j] : r.pairs)
      EXPECT_EQ(source[static_cast<std::size_t>(j)], i) << c.name;
  }
}

TEST(StarMatch, UnrelatedStarsAreNotAligned) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0, 250);
  std::vector<Point> a, b;
  for (int i = 0; i < 30; ++i)
    a.push_back({u(rng), u(rng)});
  for (int i = 0; i < 30; ++i)
    b.push_back({u(rng), u(rng)});
  EXPECT_FALSE(MatchStars(a, b).ok);
  EXPECT_FALSE(MatchStars(a, {{1, 1}, {5, 9}}).ok);
}

} // namespace
} // namespace morvik::reduction
