#pragma once
// The Settings page as a plain struct: the desktop fills it from its controls when a
// command starts, the batch program from its options.

#include <string>

namespace morvik {

struct Settings {
  int ChartX = 0;             // rgChartX item 0 ... 7; -1 when none is selected
  int ChartY = 2;             // rgChartY item
  bool Debug = true;          // debugch: the log shows messages starting with '*'
  int FrameBorder = 10;       // spFrameBorder, 3 ... 20
  int FrameBorderPX = 50;     // spFrameBorderPX, 1 ... 256
  int Part4select = 70;       // spPart4select, 1 ... 100
  std::string Variance4Comp = "1.5";  // edVariance4Comp
  std::string NotMoreComp = "1000";   // edNotMoreComp
  int SkipLessPercFrame = 20; // spSkipLessPercFrame, 1 ... 100
  bool CompManual = false;    // View > "Select comparison manually"
  bool CCDandChart = true;    // View > "CCD and Chart" (false: "CCD only")
  int ContrastLevel = 3;      // the contrast track bar, 0 ... 16
  bool CheckEnsemble = false; // View > "Check comparison stars": flag varying ones after Run
  bool DropVarying = false;   // View > "Drop varying comparison stars" (checks as well)
  double CandidateThreshold = 5.0; // a candidate scores above this
  // View > "Automatic contrast": a robust range around the sky instead of the level.
  bool AutoContrast = false;
};

// Ranges of the whole-number controls.
struct SpinRange {
  int min, max;
};
inline constexpr SpinRange kFrameBorderRange{3, 20};
inline constexpr SpinRange kFrameBorderPXRange{1, 256};
inline constexpr SpinRange kPart4selectRange{1, 100};
inline constexpr SpinRange kSkipLessPercFrameRange{1, 100};
inline constexpr SpinRange kContrastRange{0, 16};

// The eight items of both axis radio groups, in order.
inline constexpr const char* kAxisItems[8] = {
    "Mean magnitude",
    "Raw Standard deviation",
    "Standard deviation",
    "sq.root( Chi-squared )",
    "MAD (Median absolute deviation)",
    "Robust median statistic",
    "Normalized excess variance",
    "von Neumann ratio",
};

} // namespace morvik
