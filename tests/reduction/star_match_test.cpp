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

// A dense field against frames of it and of another field, at a tolerance as wide as a
// defocused frame's: chance brings most stars within reach of a wrong one, and only the
// true frames may align. Close neighbours, one of each pair missing on the frame, and
// stray detections beside true stars must pair with the nearer star.
TEST(StarMatch, OnlySignificantMatchesAlignAndTheNearerStarPairs) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0, 500);
  std::normal_distribution<double> jitter(0, 0.1);
  std::vector<Point> ref;
  for (int i = 0; i < 300; ++i)
    ref.push_back({u(rng), u(rng)});
  // Ten blends among the brighter half, detected as two stars 0.9 px apart on the
  // reference and as one on the frames.
  for (int i = 0; i < 10; ++i)
    ref.insert(ref.begin() + 20 + 3 * i,
               Point{ref[static_cast<std::size_t>(20 + 3 * i)].x + 0.9, ref[static_cast<std::size_t>(20 + 3 * i)].y});
  std::vector<bool> twin(ref.size(), false);
  for (int i = 0; i < 10; ++i)
    twin[static_cast<std::size_t>(20 + 3 * i)] = true; // the inserted one
  const Affine shift{1, 0, 12.5, 0, 1, -7.25};
  struct Case {
    const char* name;
    bool sameField;
    int strays; // detections 2.2 px beside true stars
    bool aligns;
  } cases[] = {{"same field", true, 0, true},
               {"same field with strays", true, 40, true},
               {"another field", false, 0, false},
               {"another field, denser", false, 300, false}};
  for (const Case& c : cases) {
    std::vector<Point> frame;
    std::vector<int> source;
    for (std::size_t i = 0; i < ref.size(); ++i) {
      if (twin[i]) continue;
      const Point p = c.sameField ? shift.Apply(ref[i]) : Point{u(rng), u(rng)};
      frame.push_back({p.x + jitter(rng), p.y + jitter(rng)});
      source.push_back(c.sameField ? static_cast<int>(i) : -1);
    }
    for (int k = 0; k < c.strays; ++k) {
      const Point p = frame[static_cast<std::size_t>(k * 5)];
      frame.push_back({p.x - 2.2 * std::abs(std::cos(k)), p.y + 2.2 * std::sin(k)}); // away from the twins
      source.push_back(-1);
    }
    MatchOptions o;
    o.tolerance = 14; // 0.7 x a defocused frame's FWHM of 20 px
    o.area = 500.0 * 500.0;
    const MatchResult r = MatchStars(ref, frame, o);
    EXPECT_EQ(r.ok, c.aligns) << c.name << ": " << r.error;
    if (!r.ok) continue;
    EXPECT_GE(r.pairs.size(), 290u) << c.name;
    EXPECT_LE(r.tolerance, 2.0) << c.name;
    for (auto [i, j] : r.pairs)
      EXPECT_EQ(source[static_cast<std::size_t>(j)], i) << c.name;
  }
}

} // namespace
} // namespace morvik::reduction
