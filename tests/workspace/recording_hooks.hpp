#pragma once

#include <map>
#include <string>
#include <vector>

#include "workspace/workspace.hpp"

namespace morvik::testing {

// Remembers what the commands asked of the window.
class RecordingHooks : public UiHooks {
public:
  void ShowPage(int page) override { pages.push_back(page); }
  void SetStatusText(int panel, const std::string& text) override { status[panel] = text; }
  void PictureChanged() override { ++pictureChanges; }
  void VarChartChanged() override { ++varChartChanges; }
  void LightCurveChanged() override { ++lightCurveChanges; }

  std::vector<int> pages;
  std::map<int, std::string> status;
  int pictureChanges = 0;
  int varChartChanges = 0;
  int lightCurveChanges = 0;
};

} // namespace morvik::testing
