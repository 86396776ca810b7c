#pragma once
// The indices beside the eight, the candidate list, and the actions of the Candidates
// pane: select a candidate everywhere, mark it as variable or as false alarm.

#include <cstdint>
#include <string>

#include "workspace/workspace.hpp"

namespace morvik {

// The new indices (Workspace::More) and the candidates (Workspace::Candidates) from the
// records of the last Run, with the acceptance of Search Variables. Nothing without a Run.
void ComputeCandidates(Workspace& ws);

// The candidates from the further indices already in Workspace::More.
void RefreshCandidates(Workspace& ws);

// Name of axis item 0 ... 13 (the eight, then the new indices); empty for others.
std::string AxisItemName(int item);
inline constexpr int kAllAxisItemCount = 14;

// Makes star id (1-based) the selected and the picked star: its point on the Find
// Variables chart is selected, a yellow ring drawn on the image, and Show Light Curve
// then shows it. Nothing for an id outside the data set.
void SelectCandidate(Workspace& ws, int id);

// Marks star id as variable (kMarkVariable) or false alarm (kMarkFalseAlarm) as the
// image's popup does, then refreshes the list.
void MarkCandidate(Workspace& ws, int id, std::uint8_t mark);

// The candidates as CSV with a header: rank,id,m,score,index,NAccepted.
std::string CandidatesCsv(const Workspace& ws);

} // namespace morvik
