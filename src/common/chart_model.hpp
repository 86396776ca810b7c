#pragma once
// What a scatter chart shows, without any drawing: titles, axes and point series.
// The workspace fills these models; the desktop's chart view draws them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvik {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

namespace colors {
inline constexpr Rgb Red{255, 0, 0};
inline constexpr Rgb Green{0, 128, 0};
inline constexpr Rgb Blue{0, 0, 255};
inline constexpr Rgb Grey{128, 128, 128};
inline constexpr Rgb Yellow{255, 255, 0};
inline constexpr Rgb White{255, 255, 255};
inline constexpr Rgb Black{0, 0, 0};
} // namespace colors

enum class MarkerStyle { Rectangle, Circle, Triangle, DownTriangle };

struct ChartPoint {
  double x = 0.0;
  double y = 0.0;
  std::string label;        // may be empty
  std::optional<Rgb> color; // empty: the series colour
};

// Points kept in ascending x; a point with an x equal to existing ones goes after
// them, so equal x keep the order in which they were added.
class PointSeries {
public:
  PointSeries() = default;
  PointSeries(std::string title_, Rgb color_, MarkerStyle style_, int halfSize_)
      : title(std::move(title_)), color(color_), style(style_), halfSize(halfSize_) {}

  std::string title;
  Rgb color = colors::Red;
  MarkerStyle style = MarkerStyle::Circle;
  int halfSize = 3; // horizontal and vertical, pixels

  void Clear() { points_.clear(); }
  // Inserts by the ordering rule and returns the index the point got.
  std::size_t Add(double x, double y, std::string label = {}, std::optional<Rgb> color = {});
  // Adds many points at once; the result is the same as adding them one by one.
  void AddMany(std::vector<ChartPoint> points);
  std::size_t Count() const { return points_.size(); }
  const ChartPoint& Point(std::size_t i) const { return points_[i]; }
  const std::vector<ChartPoint>& Points() const { return points_; }
  Rgb ColorOf(std::size_t i) const { return points_[i].color.value_or(color); }

private:
  std::vector<ChartPoint> points_;
};

struct ChartModel {
  std::string title;
  std::string bottomTitle;
  std::string leftTitle;
  bool leftInverted = false;
  std::vector<PointSeries> series;
  // Raised by UndoZoom; a view that saw a different value returns to the full view.
  unsigned zoomResets = 0;
  void UndoZoom() { ++zoomResets; }
};

} // namespace morvik
