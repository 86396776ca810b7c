#pragma once
// Run and the comparison-star commands.

#include <string>

#include "workspace/workspace.hpp"

namespace morvik {

// Run: raw statistics and the ensemble, weights, zero points; RunCount + 1; star marks
// when "CCD and Chart" is checked. Throws CommandError(Notice) "Please choose a
// comparison star" when none is chosen (or the one chosen is above StarCount).
void Run(Workspace& ws);

// The input box of "Select a Comparison" for the picked star.
struct ComparisonQuestion {
  bool ask = false;     // false: no star picked, nothing to do
  std::string caption;  // "Comparison Star"
  std::string prompt;   // "Enter star #" + n + " magnitude:"
  std::string proposed; // the catalog magnitude, general form
};
ComparisonQuestion AskComparison(const Workspace& ws);

// The answer of the input box (the proposed text when it was cancelled): makes the
// picked star the comparison star. An empty answer changes nothing.
void SelectComparison(Workspace& ws, const std::string& answer);

// View > "Select comparison manually": toggles settings.CompManual.
void ToggleCompManual(Workspace& ws);

// View > "Set used = 0".
void SetUsedZero(Workspace& ws);

} // namespace morvik
