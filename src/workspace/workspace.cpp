#include "workspace/workspace.hpp"

namespace morvik {

Workspace::Workspace(Log& l) : log(l), hooks(&noHooks_), Frame(std::make_unique<TFits>()) {
  VarChart.title = "Find Variables";
  VarChart.bottomTitle = "Magnitude";
  VarChart.leftTitle = "St.dev.";
  VarChart.series.emplace_back("Series1", colors::Red, MarkerStyle::Circle, 3);

  LightCurve.title = "Light Curve";
  LightCurve.bottomTitle = "JD";
  LightCurve.leftTitle = "Magnitude";
  LightCurve.leftInverted = true;
  LightCurve.series.emplace_back("SeriesRAW", colors::Red, MarkerStyle::Circle, 2);
  LightCurve.series.emplace_back("SeriesRUN", colors::Green, MarkerStyle::Rectangle, 2);
}

void Workspace::SetHooks(UiHooks* h) { hooks = h != nullptr ? h : &noHooks_; }

} // namespace morvik
