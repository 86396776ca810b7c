#pragma once
// Search Variables, the Find Variables chart, the classification actions and the
// sigma histogram.

#include <cstddef>
#include <string>
#include <string_view>

#include "common/chart_model.hpp"
#include "workspace/workspace.hpp"

namespace morvik {

// The one line logged instead of acting when the data set has no per-star records yet
// (no Run since the table was read): "<command>: no Run since ...; run first."
std::string RunFirstMessage(std::string_view command);

// Search Variables (Ctrl+F): SearchCount + 1, variability indices, chart refill, View page.
// withCandidates: the further indices and the candidates too, from the same pass over
// the table (as ComputeCandidates would give them, for less time).
void SearchVariables(Workspace& ws, bool withCandidates = false);

// Refills the Find Variables chart (VarChart) from the records and settings.
void RePlotVarChart(Workspace& ws);

// A click on point i of Series1 at chart pixel (x, y): status text, selection, log line,
// the yellow mark on the picture. The caller then opens the chart's popup menu.
void ClickVarPoint(Workspace& ws, std::size_t i, int x, int y);

// Marker of point i: rectangle for the selected position, circle otherwise.
MarkerStyle VarPointStyle(const Workspace& ws, std::size_t i);

// Index of the point that carries the red cross, or -1 for none.
long VarCrossPoint(const Workspace& ws);

// Change handlers of the two factor edits.
void SetStarSigmaText(Workspace& ws, std::string_view text);
void SetDataSigmaText(Workspace& ws, std::string_view text);

// Classification. Chart popup: act on SelectedStar. Image popup: on PickedStar - 1.
void ConfirmVariable1Click(Workspace& ws);  // chart "Mark as Variable"
void RemoveStar1Click(Workspace& ws);       // chart "False alarm (remove)"
void MarkasVariable1Click(Workspace& ws);   // image "Mark as Variable"
void Falsealarmremove1Click(Workspace& ws); // image "False alarm (remove)"

// "test1": the sigma histogram in the log and in FramePath + "_histsigma.txt".
void SigmaHistogram(Workspace& ws);

} // namespace morvik
