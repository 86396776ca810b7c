#include "workspace/frame_commands.hpp"

#include <algorithm>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "dataset/readers.hpp"
#include "dataset/reduction_id.hpp"
#include "workspace/frame_display.hpp"
#include "workspace/image_view.hpp"

namespace morvik {
namespace {

void ClearPicture(Workspace& ws) {
  ws.picture.EnsureSize(kMinPictureSide, kMinPictureSide);
  ws.picture.fill = colors::White;
  ws.picture.FillRect(0, 0, ws.picture.Width(), ws.picture.Height());
  ws.hooks->PictureChanged();
}

// Periodograms, kept periods and chart points belong to the data set they were made
// from: a period of star #5 is another star's in another table, and a point
// of an old light curve names a row that the new table may have for another frame, and
// deleting through it would clear the wrong measurement.
void ForgetResultsOfOldTable(Workspace& ws) {
  ws.Periodograms.clear();
  ws.ChosenPeriods.clear();
  for (ChartModel* chart : {&ws.VarChart, &ws.LightCurve}) {
    for (PointSeries& s : chart->series)
      s.Clear();
    chart->UndoZoom();
  }
  ws.LightCurveShowsPeriodogram = false;
  ws.hooks->VarChartChanged();
  ws.hooks->LightCurveChanged();
}

// A companion file that is not there leaves nothing of the previous field's in its
// place: the table of one field with the catalog of another would mix the two.
void ForgetMissingCompanions(Workspace& ws, const CompanionFiles& companions) {
  ws.OpenWarnings.clear();
  const bool table = FileExists(companions.table), catalog = FileExists(companions.catalog);
  if (!table) {
    ws.Series = TTimeSeries{};
    ForgetResultsOfOldTable(ws);
    ws.OpenWarnings.push_back(NameOf(companions.table) +
                              " is missing: no table beside the frame: there are no measurements to run");
  }
  if (!catalog) {
    ws.Catalog.Clear();
    ws.OpenWarnings.push_back(NameOf(companions.catalog) +
                              " is missing: no catalog beside the table: positions and catalog magnitudes are unknown");
  }
  if (!table || !catalog) {
    ws.CompStarId = 0;
    ws.CompStarMag = 0.0;
    ws.PickedStar = 0;
    ws.More.clear();
    ws.Candidates.clear();
  }
  for (const std::string& w : ws.OpenWarnings)
    ws.log.Add(w);
}

} // namespace

CompanionFiles CompanionPaths(const std::string& framePath) {
  const std::string folder = FolderOf(framePath);
  const std::string name = NameOf(framePath);
  const auto dot = name.find('.');
  const std::string base = dot == std::string::npos ? std::string() : name.substr(0, dot + 1);
  return {folder + base + "dat", folder + base + "xml"};
}

void OpenCancelled(Workspace& ws) {
  ws.RunCount = 0;
  ClearPicture(ws);
}

bool OpenFrame(Workspace& ws, const std::string& path) {
  if (!FileExists(path)) {
    OpenCancelled(ws);
    return false;
  }
  // A frame whose table or catalog comes from another reduction is refused before
  // anything changes.
  {
    const CompanionFiles c = CompanionPaths(path);
    if (std::string mixed = MixedFieldMessage(path, c.table, c.catalog); !mixed.empty()) throw CommandError(mixed);
  }
  // The reader throws before it changes anything when it refuses the frame, so a
  // refused frame leaves the picture, RunCount and the data set as they were.
  try {
    ws.Frame->LoadFromFile(path, false, ws.log);
    ws.LargeFrame.reset();
  } catch (const CommandError& refused) {
    // Extensions, compression, a third axis of 1, large frames: the frames reader.
    OpenLargeFrame(ws, path, refused.what());
  }
  ws.RunCount = 0;
  ws.CurrentFrame = true;
  ws.FramePath = path;
  ws.picture.EnsureSize(std::max(kMinPictureSide, ws.Frame->Width), std::max(kMinPictureSide, ws.Frame->Height));
  ClearPicture(ws);
  ws.hooks->SetStatusText(0, NameOf(ws.Frame->FileName));
  ApplyContrast(ws);

  const CompanionFiles companions = CompanionPaths(path);
  ForgetMissingCompanions(ws, companions);
  const TDataLine* rowsBefore = ws.Series.Rows.data();
  LoadPhotometryTable(companions.table, ws.Series, ws.log);
  // Periodograms belong to the data set they were computed from; the reader replaces
  // the rows only when it read a whole new table.
  if (ws.Series.Rows.data() != rowsBefore || ws.Series.Rows.empty()) ForgetResultsOfOldTable(ws);
  LoadStarCatalog(companions.catalog, ws.Catalog, ws.log);
  return true;
}

void ApplyContrast(Workspace& ws) {
  if (!ws.CurrentFrame) return;
  ws.Frame->SetContrast(ws.settings.ContrastLevel);
  if (ws.LargeFrame)
    RenderLargeFrame(ws);
  else if (ws.settings.AutoContrast)
    RenderAutomatic(*ws.Frame, ws.log);
  else
    ws.Frame->Render(ws.log);
  ws.picture.EnsureSize(std::max(kMinPictureSide, ws.Frame->Width), std::max(kMinPictureSide, ws.Frame->Height));
  ws.picture.Draw(ws.Frame->Bitmap_);
  if (ws.settings.CCDandChart && ws.RunCount >= 1) DrawStars(ws);
  ws.hooks->PictureChanged();
}

std::string SaveImage(Workspace& ws) {
  if (!ws.CurrentFrame) return {};
  const std::string path = ws.Frame->FileName + ".bmp";
  if (!SaveBmp(ws.picture.Pixels(), ws.Frame->Width, ws.Frame->Height, path)) {
    ws.log.Add("Could not write " + path);
    return {};
  }
  return path;
}

void ToggleViewMode(Workspace& ws, bool /*ccdAndChartItem*/) {
  if (!ws.CurrentFrame || ws.RunCount < 1) return;
  // The two items are a pair with exactly one checked: choosing either one flips both.
  ws.settings.CCDandChart = !ws.settings.CCDandChart;
  ws.picture.Draw(ws.Frame->Bitmap_);
  if (ws.settings.CCDandChart) DrawStars(ws);
  ws.hooks->PictureChanged();
}

} // namespace morvik
