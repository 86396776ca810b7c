#include "workspace/ensemble_marks.hpp"

#include <algorithm>

#include "common/capacities.hpp"
#include "common/rounding.hpp"

namespace morvik {

void DrawFlaggedStars(Workspace& ws) {
  if (ws.Check.FlaggedCount == 0) return;
  Picture& pic = ws.picture;
  pic.EnsureSize(kMinPictureSide, kMinPictureSide);
  pic.pen = kFlaggedColour;
  constexpr double kFar = 1e9;
  for (std::size_t j = 0; j < ws.Check.Stars.size(); ++j) {
    if (!ws.Check.Stars[j].Flagged) continue;
    const TCatalogStar& c = ws.Catalog[static_cast<long long>(j) + 1];
    const int x = static_cast<int>(RoundHalfEven(std::clamp(c.X, -kFar, kFar)));
    const int y = static_cast<int>(RoundHalfEven(std::clamp(c.Y, -kFar, kFar)));
    for (int r : {5, 6}) {
      pic.Line(x - r, y - r, x + r, y - r);
      pic.Line(x + r, y - r, x + r, y + r);
      pic.Line(x + r, y + r, x - r, y + r);
      pic.Line(x - r, y + r, x - r, y - r);
    }
  }
  ws.hooks->PictureChanged();
}

std::string EnsembleWarningText(const Workspace& ws) {
  const int n = ws.Check.FlaggedCount;
  if (n == 0) return {};
  std::string text =
      std::to_string(n) + (n == 1 ? " comparison star varies" : " comparison stars vary") + " against the ensemble:";
  int listed = 0;
  for (std::size_t j = 0; j < ws.Check.Stars.size() && listed < 10; ++j) {
    if (!ws.Check.Stars[j].Flagged) continue;
    text += (listed == 0 ? " " : ", ") + std::to_string(j + 1);
    ++listed;
  }
  if (n > listed) text += ", ...";
  text += ws.settings.DropVarying ? " - left out of the ensemble"
                                  : " - see the log; View > Drop varying comparison stars leaves them out";
  return text;
}

} // namespace morvik
