#pragma once
// The image view's logic: star marks, the star under the mouse, picking.

#include <string>

#include "workspace/workspace.hpp"

namespace morvik {

// First star in id order within a distance below sqrt(6) of frame point (x, y);
// 0 when none.
int FindStar(const Workspace& ws, int x, int y);

// Marks every star on the picture in the colour of its role (needs a Run).
void DrawStars(Workspace& ws);

// Text of status panel 1 while the mouse is at view pixel (X, Y); empty when no frame.
std::string ImageStatusText(const Workspace& ws, int viewX, int viewY);

// Left button released at view pixel (X, Y): picks the star there and selects its
// point on the Find Variables chart.
void ImageLeftClick(Workspace& ws, int viewX, int viewY);

// Right click at view pixel (X, Y): true (and PickedStar set) when the context menu
// may open over a star.
bool ImageContextPopup(Workspace& ws, int viewX, int viewY);

// Which items of the image's context menu are enabled now.
struct ImageMenuState {
  bool selectComparison = true;
  bool markAsVariable = true;
  bool falseAlarm = true;
  bool showLightCurve = false;
  bool saveLightCurve = false;
  bool showPeriodogram = false;
  bool savePeriodogram = false;
};
ImageMenuState ImageMenu(const Workspace& ws);

} // namespace morvik
