#pragma once
// The light curve view, point deletion, light-curve export and the periodogram
// commands.

#include <cstddef>
#include <string>

#include "common/chart_model.hpp"
#include "workspace/workspace.hpp"

namespace morvik {

// Refills the Light Curve chart with star s's valid measurements, on whatever page is
// shown (after an undo or redo of a deletion).
void RefillLightCurve(Workspace& ws, int s);

// Fills the Light Curve chart with star s (zero-based) and shows its page.
void PlotLightCurve(Workspace& ws, int s);
void ShowLightCurveFromImage(Workspace& ws); // image popup "Show Light Curve"
void ShowLightCurveFromChart(Workspace& ws); // chart popup "Show Light Curve"

// A click on point i of series kSeriesRaw / kSeriesRun at chart pixel (x, y): sets the
// status text and SelectedRow. True when the caller should open the delete menu
// (false for periodogram points, which carry no row).
bool ClickLightCurvePoint(Workspace& ws, std::size_t series, std::size_t i, int x, int y);

// Marker of point i of a series of the Light Curve chart.
MarkerStyle LightCurvePointStyle(const Workspace& ws, std::size_t series, std::size_t i);

// Error-bar half-length, in magnitudes, of point i of SeriesRAW (0: no bar).
double LightCurveErrorBar(const Workspace& ws, std::size_t i);

void DeletePoint(Workspace& ws);       // "Delete Point"
void DeletePointForAll(Workspace& ws); // "Delete point for all "

// View > "Reset Zoom" on the given page.
void ResetZoom(Workspace& ws, int page);

// "Save Light Curve": whether the command may go on, and the proposed file name.
bool CanSaveLightCurve(const Workspace& ws);
std::string ProposedLightCurveName(const Workspace& ws); // "Star12.dat"
// Writes the light curve of star id; false (and a log line) when the write failed.
bool WriteLightCurve(Workspace& ws, const std::string& path, int id);

// "Lafler-Kinman" (main menu), "Show Periodogram", "Save Periodogram".
void LaflerKinmanCommand(Workspace& ws);
// The computing part of "Lafler-Kinman" for star id (1-based), without plotting or
// writing: sizes Periodograms, logs the time range, computes. Does nothing (false)
// without rows, a Run or a star id in range; true when the star's periodogram is
// computed afterwards. Throws CommandError on a zero time span.
bool ComputePeriodogram(Workspace& ws, int id);
void ShowPeriodogram(Workspace& ws);
bool CanSavePeriodogram(const Workspace& ws);
std::string ProposedPeriodogramName(const Workspace& ws); // "Star12_per.dat"
bool WritePeriodogram(Workspace& ws, const std::string& path, int id);

} // namespace morvik
