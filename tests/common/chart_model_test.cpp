#include <gtest/gtest.h>

#include "common/chart_model.hpp"

namespace morvik {
namespace {

std::vector<std::string> Labels(const PointSeries& s) {
  std::vector<std::string> out;
  for (const auto& p : s.Points()) out.push_back(p.label);
  return out;
}

TEST(PointSeries, KeepsAscendingXAndEqualXInAddingOrder) {
  PointSeries s;
  EXPECT_EQ(s.Add(3, 0, "a"), 0u);
  EXPECT_EQ(s.Add(1, 0, "b"), 0u);
  EXPECT_EQ(s.Add(3, 0, "c"), 2u); // after the earlier x = 3
  EXPECT_EQ(s.Add(2, 0, "d"), 1u);
  EXPECT_EQ(s.Add(1, 0, "e"), 1u);
  EXPECT_EQ(Labels(s), (std::vector<std::string>{"b", "e", "d", "a", "c"}));
}

TEST(PointSeries, AddManyEqualsAddingOneByOne) {
  std::vector<ChartPoint> pts;
  PointSeries one;
  double xs[] = {5, 1, 5, 3, 1, 5, 0, 3};
  for (int i = 0; i < 8; ++i) {
    pts.push_back({xs[i], double(i), std::to_string(i), {}});
    one.Add(xs[i], i, std::to_string(i));
  }
  PointSeries many;
  many.Add(3, 99, "pre");
  one.Clear();
  one.Add(3, 99, "pre");
  for (int i = 0; i < 8; ++i) one.Add(xs[i], i, std::to_string(i));
  many.AddMany(pts);
  EXPECT_EQ(Labels(many), Labels(one));
}

TEST(PointSeries, DefaultColourIsTheSeriesColour) {
  PointSeries s("S", colors::Red, MarkerStyle::Circle, 3);
  s.Add(1, 1, "x");
  s.Add(2, 2, "y", colors::Green);
  EXPECT_EQ(s.ColorOf(0), colors::Red);
  EXPECT_EQ(s.ColorOf(1), colors::Green);
  s.color = colors::Blue;
  EXPECT_EQ(s.ColorOf(0), colors::Blue);
}

} // namespace
} // namespace morvik
