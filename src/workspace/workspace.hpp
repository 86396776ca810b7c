#pragma once
// The program-wide state: what the program keeps for the whole run. The desktop's
// main window owns one Workspace, the batch program makes one. Commands are free
// functions taking the workspace (see the *_commands.hpp headers beside this one);
// views read the state and draw it.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/chart_model.hpp"
#include "common/log.hpp"
#include "dataset/records.hpp"
#include "fits/bitmap.hpp"
#include "fits/tfits.hpp"
#include "frames/frame_file.hpp"
#include "periods/periodogram.hpp"
#include "photometry/ensemble_check.hpp"
#include "search/candidates.hpp"
#include "search/more_indices.hpp"
#include "workspace/settings.hpp"

namespace morvik {

// What commands ask of a window. The batch program leaves every call a no-op.
class UiHooks {
public:
  virtual ~UiHooks() = default;
  virtual void ShowPage(int /*page: 0 View, 1 Light Curve, 2 Settings*/) {}
  virtual void SetStatusText(int /*panel*/, const std::string& /*text*/) {}
  virtual void PictureChanged() {}    // the image view's picture was drawn on
  virtual void VarChartChanged() {}   // the Find Variables chart must repaint
  virtual void LightCurveChanged() {} // the Light Curve chart must repaint
};

inline constexpr int kPageView = 0;
inline constexpr int kPageLightCurve = 1;
inline constexpr int kPageSettings = 2;

// Index of the series in the charts' models.
inline constexpr std::size_t kSeries1 = 0;   // Find Variables
inline constexpr std::size_t kSeriesRaw = 0; // Light Curve "SeriesRAW" (Series2)
inline constexpr std::size_t kSeriesRun = 1; // Light Curve "SeriesRUN" (Series3)

class Workspace {
public:
  explicit Workspace(Log& log);
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  Log& log;
  UiHooks* hooks; // never null; a no-op set by default
  void SetHooks(UiHooks* h);

  // The frame object, made once. CurrentFrame: set by the first Open that found its
  // file, never cleared.
  std::unique_ptr<TFits> Frame;
  bool CurrentFrame = false;
  std::string FramePath; // path chosen in the last Open that found its file
  // The pixels of a frame that Frame's buffer does not take (see frame_display.hpp);
  // null while Frame holds the frame's pixels itself.
  std::unique_ptr<frames::FrameImage> LargeFrame;
  long LargeFrameSide = 16384; // largest side LargeFrame takes

  TTimeSeries Series;
  StarCatalog Catalog;
  // What the last Open found missing beside the frame, and what follows from it; one
  // line per missing file, also in the log.
  std::vector<std::string> OpenWarnings;
  std::vector<TPeriodogram> Periodograms; // element id - 1

  Settings settings;

  std::uint16_t CompStarId = 0;
  double CompStarMag = 0.0;
  double StarSigmaFactor = 2.0;
  double DataSigmaFactor = 2.0;
  std::uint16_t SelectedPoint = 0;
  std::uint16_t SelectedStar = 0;
  std::int32_t SelectedRow = 0; // a row index: tables may have more than 65 535 rows
  std::int32_t PickedStar = 0;
  std::int32_t RunCount = 0;
  std::int32_t SearchCount = 0;
  // The last ensemble check; empty when Run did not check.
  EnsembleCheck Check;
  // The indices beside the eight and the candidates, from the last Search Variables.
  std::vector<MoreIndices> More;
  std::vector<Candidate> Candidates;

  // The image view's picture: the rendered frame with the marks drawn over it.
  Picture picture;
  // "Find Variables": one series (Series1). "Light Curve": SeriesRAW, SeriesRUN.
  ChartModel VarChart;
  ChartModel LightCurve;
  // True while the Light Curve chart holds a periodogram: its points carry no row.
  bool LightCurveShowsPeriodogram = false;
  // Periods kept with "Use this period" of the Period Search window, by star id.
  std::map<int, double> ChosenPeriods;

private:
  UiHooks noHooks_;
};

} // namespace morvik
