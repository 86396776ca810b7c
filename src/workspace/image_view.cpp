#include "workspace/image_view.hpp"

#include <algorithm>
#include <cmath>

#include "common/format.hpp"
#include "common/rounding.hpp"

namespace morvik {
namespace {

// Ids above the catalog's capacity have no position and are never marked or found.
int LastPlacedId(const Workspace& ws) { return std::min<int>(ws.Series.StarCount, kCatalogSize); }

// A catalog coordinate rounded to a picture pixel. Absurd values are held far off the
// picture: rounded unclamped they would wrap in the drawing's 32-bit coordinates and
// put a mark on the frame where no star is.
int MarkPixel(double v) {
  constexpr double kFar = 1e9;
  return static_cast<int>(RoundHalfEven(std::clamp(v, -kFar, kFar)));
}

} // namespace

int FindStar(const Workspace& ws, int x, int y) {
  const int last = LastPlacedId(ws);
  for (int id = 1; id <= last; ++id) {
    const TCatalogStar& s = ws.Catalog[id];
    const long double dx = static_cast<long double>(s.X) - x;
    const long double dy = static_cast<long double>(s.Y) - y;
    if (dx * dx + dy * dy < 6.0L) return id;
  }
  return 0;
}

void DrawStars(Workspace& ws) {
  if (!ws.Series.HasStats()) return;
  const int last = LastPlacedId(ws);
  for (int id = 1; id <= last; ++id) {
    const TStarStat& st = ws.Series.Stats[static_cast<std::size_t>(id - 1)];
    if (st.Mark == kMarkVariable) {
      ws.picture.pen = colors::Red;
      ws.picture.fill = colors::Red;
    } else if (st.Mark == kMarkFalseAlarm) {
      ws.picture.pen = colors::Grey;
      ws.picture.fill = colors::Grey;
    } else if (st.Used) {
      ws.picture.pen = colors::Green;
      ws.picture.fill = colors::White;
    } else {
      ws.picture.pen = colors::Blue;
      ws.picture.fill = colors::White;
    }
    const TCatalogStar& c = ws.Catalog[id];
    ws.picture.Ellipse(MarkPixel(c.X - 3), MarkPixel(c.Y - 3), MarkPixel(c.X + 3), MarkPixel(c.Y + 3));
  }
  ws.hooks->PictureChanged();
}

std::string ImageStatusText(const Workspace& ws, int viewX, int viewY) {
  if (!ws.CurrentFrame) return {};
  const int x = viewX + 1;
  const int y = viewY + 1;
  const int id = FindStar(ws, x, y);
  if (id != 0) {
    const TCatalogStar& c = ws.Catalog[id];
    const long long cx = RoundHalfEven(c.X);
    const long long cy = RoundHalfEven(c.Y);
    if (ws.RunCount >= 1 && ws.Series.HasStats()) {
      const TStarStat& st = ws.Series.Stats[static_cast<std::size_t>(id - 1)];
      return FormatMessage("STAR %.3d (%.3d, %.3d) RAW= %f MEAN= %f MW= %f RUN= %f +- %f N=%d W=%e ",
                           {id, cx, cy, c.M, st.Mean, st.MeanW, st.RunMean, std::sqrt(std::max(0.0, st.Variance)),
                            st.NValid, st.Weight * 10000.0});
    }
    return FormatMessage("STAR %.3d (%.3d, %.3d) RAW= %f", {id, cx, cy, c.M});
  }
  const TFits& f = *ws.Frame;
  if (x < 1 || y < 1 || x > f.Width || y > f.Height) return {};
  if (ws.LargeFrame) {
    const float v = ws.LargeFrame->at(x - 1, y - 1);
    if (std::isnan(v)) return FormatMessage("COORD (%.3d, %.3d) I=NaN", {x, y});
    return FormatMessage("COORD (%.3d, %.3d) I=%f", {x, y, static_cast<double>(v)});
  }
  return FormatMessage("COORD (%.3d, %.3d) I=%f", {x, y, f.Data(x, y)});
}

void ImageLeftClick(Workspace& ws, int viewX, int viewY) {
  if (!ws.CurrentFrame) return;
  const int id = FindStar(ws, viewX + 1, viewY + 1);
  if (id == 0) return;
  ws.PickedStar = id;
  const std::string label = std::to_string(id - 1);
  const PointSeries& series = ws.VarChart.series[kSeries1];
  for (std::size_t i = 0; i < series.Count(); ++i) {
    if (series.Point(i).label != label) continue;
    ws.log.Add("SERIES " + std::to_string(i) + " Label " + label);
    ws.SelectedPoint = static_cast<std::uint16_t>(i);
    ws.SelectedStar = static_cast<std::uint16_t>(id - 1);
    ws.hooks->VarChartChanged();
    break;
  }
}

bool ImageContextPopup(Workspace& ws, int viewX, int viewY) {
  if (!ws.CurrentFrame) return false;
  const int id = FindStar(ws, viewX + 1, viewY + 1);
  if (id == 0) return false;
  ws.PickedStar = id;
  return true;
}

ImageMenuState ImageMenu(const Workspace& ws) {
  ImageMenuState m;
  m.showLightCurve = ws.RunCount >= 1;
  m.saveLightCurve = ws.RunCount >= 1;
  m.showPeriodogram = ws.SearchCount > 0;
  m.savePeriodogram = ws.PickedStar >= 1 && static_cast<std::size_t>(ws.PickedStar) <= ws.Periodograms.size() &&
                      ws.Periodograms[static_cast<std::size_t>(ws.PickedStar - 1)].Computed;
  return m;
}

} // namespace morvik
