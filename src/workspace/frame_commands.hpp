#pragma once
// Commands on the frame: File > Open (after its dialog), Set Contrast, Save Image, the
// View modes "CCD only" / "CCD and Chart".

#include <string>

#include "workspace/workspace.hpp"

namespace morvik {

struct CompanionFiles {
  std::string table;   // folder + base + "dat"
  std::string catalog; // folder + base + "xml"
};
// The base is the file name up to and including its first "." (field.2017.fit ->
// "field."); a name without "." gives an empty base.
CompanionFiles CompanionPaths(const std::string& framePath);

// File > Open for a chosen path: RunCount = 0, clear the picture, read the frame,
// render it at the contrast level, read the table and the catalog. Returns false
// (nothing read) when the file does not exist. A frame the reader refuses throws
// CommandError and leaves the frame, the picture and the data set as they were, and so
// does a frame whose table or catalog comes from another reduction; a
// table or catalog that ends the command throws CommandError too.
bool OpenFrame(Workspace& ws, const std::string& path);

// File > Open when the dialog was cancelled: RunCount = 0 and the picture cleared,
// nothing read.
void OpenCancelled(Workspace& ws);

// Set Contrast: render at settings.ContrastLevel, draw the bitmap on the picture and,
// with "CCD and Chart" checked after a Run, the star marks. Nothing without a frame.
void ApplyContrast(Workspace& ws);

// File > Save Image: writes the picture's frame area as FramePath + ".bmp". Returns
// the path written, or an empty string when nothing was written (no frame, or the
// write failed: then a log line says so).
std::string SaveImage(Workspace& ws);

// View > "CCD only" (ccdAndChart = false) or "CCD and Chart" (true): toggles the chosen
// item as the menu does; nothing before a frame and a Run.
void ToggleViewMode(Workspace& ws, bool ccdAndChartItem);

} // namespace morvik
