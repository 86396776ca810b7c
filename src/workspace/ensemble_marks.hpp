#pragma once
// What the desktop shows of the ensemble check: the flagged stars in their own colour
// on the image, and the warning text.

#include <string>

#include "common/chart_model.hpp"
#include "workspace/workspace.hpp"

namespace morvik {

inline constexpr Rgb kFlaggedColour{255, 0, 255};

// A magenta square around every flagged star of the last check.
void DrawFlaggedStars(Workspace& ws);

// "N comparison star(s) vary against the ensemble: id, id, ..." (the first ten ids),
// with " - left out of the ensemble" when Run dropped them; empty when none is flagged.
std::string EnsembleWarningText(const Workspace& ws);

} // namespace morvik
