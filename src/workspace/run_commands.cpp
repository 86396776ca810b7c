#include "workspace/run_commands.hpp"

#include <algorithm>
#include <optional>
#include <string>

#include "common/capacities.hpp"
#include "common/errors.hpp"
#include "common/format.hpp"
#include "photometry/ensemble.hpp"
#include "photometry/ensemble_check.hpp"
#include "workspace/ensemble_marks.hpp"
#include "workspace/image_view.hpp"

namespace morvik {

namespace {

int Clamp(int value, SpinRange range) { return std::clamp(value, range.min, range.max); }

SelectionSettings SelectionFrom(const Settings& s) {
  SelectionSettings out;
  // The controls cannot hold values outside their ranges; a caller filling the struct
  // by hand gets the nearest value the controls could hold.
  out.FrameBorder = Clamp(s.FrameBorder, kFrameBorderRange);
  out.FrameBorderPX = Clamp(s.FrameBorderPX, kFrameBorderPXRange);
  out.Part4select = Clamp(s.Part4select, kPart4selectRange);
  out.VarianceFactor = ReadVarianceFactor(s.Variance4Comp);
  out.NotMoreComp = ReadNotMoreComp(s.NotMoreComp);
  out.CompManual = s.CompManual;
  return out;
}

[[noreturn]] void RefuseWithoutComparison() {
  throw CommandError("Please choose a comparison star", CommandError::Kind::Notice);
}

} // namespace

void Run(Workspace& ws) {
  TTimeSeries& data = ws.Series;
  if (ws.CompStarId == 0) RefuseWithoutComparison();
  if (data.StarCount == 0) {
    ws.log.Add("Run: the data set has no stars (open a frame with its photometry table first)");
    return;
  }
  // A star chosen on a frame opened earlier, whose table had more stars.
  if (ws.CompStarId > data.StarCount) RefuseWithoutComparison();

  const FrameSize frame{ws.Frame->Width, ws.Frame->Height};
  ws.Check = {};
  if (ws.settings.CheckEnsemble || ws.settings.DropVarying) {
    ws.Check = RunAndCheckEnsemble(data, ws.Catalog, frame, SelectionFrom(ws.settings), ws.CompStarId, ws.CompStarMag,
                                   ws.settings.DropVarying, EnsembleCheckSettings{}, ws.log);
  } else {
    ComputeRawStatistics(data, ws.Catalog, frame, SelectionFrom(ws.settings), ws.log);
    ComputeComparisonWeights(data, ws.CompStarId, ws.CompStarMag, ws.log);
    ComputeFrameZeroPoints(data, ws.CompStarId, ws.CompStarMag, ws.log);
  }
  ++ws.RunCount;

  if (ws.settings.CCDandChart) {
    DrawStars(ws);
    DrawFlaggedStars(ws); // nothing unless the ensemble check flagged a star
    ws.hooks->PictureChanged();
  }
}

ComparisonQuestion AskComparison(const Workspace& ws) {
  ComparisonQuestion q;
  const std::int32_t n = ws.PickedStar;
  if (n < 1 || n > kMaxStars) return q;
  q.ask = true;
  q.caption = "Comparison Star";
  q.prompt = "Enter star #" + std::to_string(n) + " magnitude:";
  q.proposed = FormatGeneral(ws.Catalog[n].M);
  return q;
}

void SelectComparison(Workspace& ws, const std::string& answer) {
  const std::int32_t n = ws.PickedStar;
  if (n < 1 || n > kMaxStars || answer.empty()) return;
  const std::optional<double> magnitude = ReadUserDecimal(answer);
  if (!magnitude) {
    // Nothing is chosen on a magnitude that cannot be read: a wrong scale would
    // silently shift every corrected magnitude.
    ws.log.Add("Magnitude \"" + answer + "\" is not a number; comparison star not changed");
    return;
  }
  if (!(*magnitude > -99.0 && *magnitude < 99.0)) {
    // Beyond the range the table accepts for a measurement; such a scale would only
    // overflow the statistics computed from it.
    ws.log.Add("Magnitude \"" + answer + "\" is out of range; comparison star not changed");
    return;
  }
  ws.CompStarId = static_cast<std::uint16_t>(n);
  TTimeSeries& data = ws.Series;
  if (data.HasStats() && static_cast<std::size_t>(n) <= data.Stats.size())
    data.Stats[static_cast<std::size_t>(n) - 1].Used = true;
  ws.CompStarMag = *magnitude;
  ws.log.Add("Selected " + std::to_string(n) + " as comparison = " + FormatGeneral(ws.CompStarMag));
}

void ToggleCompManual(Workspace& ws) { ws.settings.CompManual = !ws.settings.CompManual; }

void SetUsedZero(Workspace& ws) {
  TTimeSeries& data = ws.Series;
  if (data.Stats.empty()) return;
  const std::size_t stars = std::min<std::size_t>(data.StarCount, data.Stats.size());
  for (std::size_t j = 0; j < stars; ++j)
    data.Stats[j].Used = false;
  data.UsedCount = 0;
}

} // namespace morvik
