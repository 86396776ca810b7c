#pragma once
// The command line of morvik-cli, read into plain values. Reading checks the form of
// every value and the ranges of the whole-number settings; whether an id or a row
// exists is only known after Open and is checked by the run.

#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_event_options.hpp"
#include "app/cli/cli_period_options.hpp"
#include "app/cli/cli_sky_options.hpp"
#include "workspace/settings.hpp"

namespace morvik::cli {

inline constexpr const char* kVersionText = "morvik-cli 1.0.0";
inline constexpr const char* kUsageLine = "usage: morvik-cli FRAME [options]   (morvik-cli --help lists the options)";

// Outputs that run after Search Variables, in the order given.
enum class OutputKind {
  Stats,
  Chart,
  Table,
  LightCurve,
  Periodogram,
  Histogram,
  Image,
  Candidates,
  PeriodSearch,
  PeriodSearchAll,
  Transit,
  Minima
};

struct Output {
  OutputKind kind;
  std::string path; // empty for the histogram, whose name follows the frame
  long long id = 0; // star id of a light curve or periodogram
  friend bool operator==(const Output&, const Output&) = default;
};

struct Deletion {
  long long id = 0;  // 1-based star id
  long long row = 0; // 0-based row
  friend bool operator==(const Deletion&, const Deletion&) = default;
};

// What to print right after Open, in the order given.
enum class Printout { FrameInfo, Header };

struct Options {
  std::string frame;
  std::optional<long long> comp;
  std::optional<std::string> compMag; // text, checked to be a number
  std::optional<std::vector<long long>> ensemble;
  std::vector<Deletion> deletions;
  std::vector<long long> deletedFrames;
  Settings settings;                    // the whole-number settings and the two texts
  std::optional<std::string> starSigma; // edKOEFINDSIGM4GAPH text
  std::optional<std::string> dataSigma; // edKOEFINDSIGM4GAPHALL text
  std::vector<Output> outputs;
  std::vector<Printout> printouts;
  bool noMarks = false;
  std::optional<std::string> logFile;
  bool quiet = false;
  bool moreIndices = false;         // axis items 8 ... 13 and the new index columns in --stats
  PeriodSearchOptions periodSearch; // settings of --period-search and --period-search-all
  EventOptions events;              // settings of --transit and --minima
  SkyCliOptions sky;
};

struct ParseResult {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  Options options;
  std::string error; // for UsageError: what was wrong
};

ParseResult ParseCommandLine(const std::vector<std::string>& args); // without the program name

// The text of --help.
std::string HelpText();

} // namespace morvik::cli
