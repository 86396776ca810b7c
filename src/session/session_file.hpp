#pragma once
// The session file `<base>.morvik` beside a frame: what a night's work added to the
// opened table (comparison star, ensemble choices, deleted measurements, marks,
// settings, periods found), as readable and versioned text:
//
//   morvik-session 1
//   frame field.fit
//   table 300 stars 300 rows
//   comparison 12 11.234
//   ensemble manual
//   used 3 5 12
//   deleted 40 7          (row, star id)
//   mark 7 variable       (or false-alarm)
//   setting ChartX 0
//   period 7 0.5234       (star id, days)
//
// Lines starting with '#' and empty lines are skipped; unknown keys are refused, so
// a file of a newer format is not half read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "workspace/workspace.hpp"

namespace morvik {

inline constexpr int kSessionFormatVersion = 1;

struct SessionData {
  std::string frame; // file name of the frame, for the user's eyes
  std::size_t stars = 0;
  std::size_t rows = 0;
  std::uint16_t comparison = 0; // star id; 0: none chosen
  double comparisonMag = 0.0;
  bool manual = false;
  std::vector<std::uint16_t> used;                             // star ids, manual ensemble
  std::vector<std::pair<std::int32_t, std::uint16_t>> deleted; // row, star id
  std::vector<std::pair<std::uint16_t, std::uint8_t>> marks;   // star id, kMark...
  Settings settings;
  double starSigmaFactor = 2.0;
  double dataSigmaFactor = 2.0;
  std::vector<std::pair<std::uint16_t, double>> periods; // star id, days
};

std::string WriteSession(const SessionData& session);

struct SessionRead {
  std::optional<SessionData> session;
  std::string error; // why it was refused: "line 7: ..."
};
SessionRead ReadSession(std::string_view text);

// `<base>morvik` beside the frame, with the base its table and catalog have.
std::string SessionPath(const std::string& framePath);

// The validity of every measurement as the table was read, row by row: the deletions
// of a session are the measurements valid then and not now.
std::vector<bool> ValidityOf(const TTimeSeries& series);

// What the workspace holds now, against the validity the table had when read.
SessionData CaptureSession(const Workspace& ws, const std::vector<bool>& asRead);

// Empty when the session fits the opened table; otherwise the user's message.
std::string SessionMismatch(const SessionData& session, const Workspace& ws);

// Puts a matching session into the workspace: comparison, settings, deletions, and,
// when a Run will follow (a comparison star is chosen), the marks and the manual
// ensemble. The caller shows the settings and runs.
void ApplySession(Workspace& ws, const SessionData& session);

} // namespace morvik
