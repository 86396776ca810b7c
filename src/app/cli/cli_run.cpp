#include "app/cli/cli_run.hpp"

#include <cmath>
#include <exception>
#include <string>
#include <vector>

#include "app/cli/cli_events.hpp"
#include "app/cli/cli_outputs.hpp"
#include "app/cli/cli_period_search.hpp"
#include "app/cli/cli_sky.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/format.hpp"
#include "periods/lafler_kinman.hpp"
#include "workspace/candidate_commands.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/period_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"

namespace morvik::cli {
namespace {

const char* OptionName(OutputKind kind) {
  switch (kind) {
  case OutputKind::Stats:
    return "--stats";
  case OutputKind::Chart:
    return "--chart";
  case OutputKind::Table:
    return "--table";
  case OutputKind::LightCurve:
    return "--lightcurve";
  case OutputKind::Periodogram:
    return "--periodogram";
  case OutputKind::Histogram:
    return "--histogram";
  case OutputKind::Image:
    return "--image";
  case OutputKind::Candidates:
    return "--candidates";
  case OutputKind::PeriodSearch:
    return "--period-search";
  case OutputKind::PeriodSearchAll:
    return "--period-search-all";
  case OutputKind::Transit:
    return "--transit";
  case OutputKind::Minima:
    return "--minima";
  }
  return "";
}

bool HasStar(const Workspace& ws, long long id) { return id >= 1 && id <= ws.Series.StarCount; }
bool HasRow(const Workspace& ws, long long row) { return row >= 0 && row < ws.Series.RowCount; }

class Batch {
public:
  Batch(const Options& o, Log& log, std::FILE* out, std::FILE* err) : o_(o), ws_(log), out_(out), err_(err) {}

  // False when an output could not be written (the log says which).
  bool Go() {
    ApplySettings();
    if (!FileExists(o_.frame) || !OpenFrame(ws_, o_.frame)) throw CommandError("File not found.");
    // Said whether the log is on or not; the run goes on with what is there.
    for (const std::string& w : ws_.OpenWarnings)
      std::fprintf(err_, "warning: %s\n", w.c_str());
    for (Printout p : o_.printouts) {
      std::string text = p == Printout::FrameInfo ? FrameInfoText(*ws_.Frame) : HeaderListing(ws_);
      std::fwrite(text.data(), 1, text.size(), out_);
    }
    if (!sky_.AfterOpen(ws_, o_.frame, out_)) ok_ = false;
    std::fflush(out_);
    if (!o_.comp) {
      for (const Output& out : o_.outputs) {
        if (out.kind == OutputKind::Image)
          WriteOutput(out);
        else
          ws_.log.Add(std::string(OptionName(out.kind)) + " skipped: it needs a Run, and a Run needs --comp");
      }
      return ok_;
    }
    Delete();
    ChooseComparison();
    Run(ws_);
    bool candidates = o_.moreIndices;
    for (const Output& out : o_.outputs)
      candidates = candidates || out.kind == OutputKind::Candidates;
    SearchVariables(ws_, candidates);
    if (candidates && ws_.More.empty()) ComputeCandidates(ws_);
    for (const Output& out : o_.outputs)
      WriteOutput(out);
    return ok_;
  }

private:
  void ApplySettings() {
    Settings& s = ws_.settings;
    s = o_.settings;
    s.Debug = true; // the batch log shows every line
    s.CCDandChart = true;
    s.CompManual = o_.ensemble.has_value();
    if (o_.starSigma) SetStarSigmaText(ws_, *o_.starSigma);
    if (o_.dataSigma) SetDataSigmaText(ws_, *o_.dataSigma);
  }

  void Delete() {
    for (const Deletion& d : o_.deletions) {
      if (!HasStar(ws_, d.id) || !HasRow(ws_, d.row)) {
        ws_.log.Add("--delete " + std::to_string(d.id) + ":" + std::to_string(d.row) + " ignored: no such star or row");
        continue;
      }
      ws_.Series.Rows[static_cast<std::size_t>(d.row)].Items[static_cast<std::size_t>(d.id - 1)].Valid = false;
    }
    for (long long row : o_.deletedFrames) {
      if (!HasRow(ws_, row)) {
        ws_.log.Add("--delete-frame " + std::to_string(row) + " ignored: no such row");
        continue;
      }
      for (TMeasurement& m : ws_.Series.Rows[static_cast<std::size_t>(row)].Items)
        m.Valid = false;
    }
  }

  void ChooseComparison() {
    if (o_.ensemble) {
      // The records exist before the first Run so that the ensemble can be flagged;
      // a Run keeps records of the right size.
      TTimeSeries& t = ws_.Series;
      if (!t.HasStats()) t.Stats.assign(t.StarCount, TStarStat{});
      for (long long id : *o_.ensemble) {
        if (!HasStar(ws_, id)) {
          ws_.log.Add("--ensemble star " + std::to_string(id) + " ignored: no such star");
          continue;
        }
        t.Stats[static_cast<std::size_t>(id - 1)].Used = true;
      }
    }
    // An id outside the table leaves no comparison star: Run's refusal, with the reason.
    if (!HasStar(ws_, *o_.comp))
      throw CommandError("Please choose a comparison star: --comp " + std::to_string(*o_.comp) +
                             " is no star of this field (its ids run from 1 to " +
                             std::to_string(ws_.Series.StarCount) + ")",
                         CommandError::Kind::Notice);
    ws_.PickedStar = static_cast<std::int32_t>(*o_.comp);
    // Without --comp-mag the catalog magnitude, as a cancelled input box keeps it;
    // written exactly and with a point, whatever the message separator.
    SelectComparison(ws_, o_.compMag ? *o_.compMag : FormatShortest(ws_.Catalog[*o_.comp].M));
  }

  void WriteOutput(const Output& out) {
    switch (out.kind) {
    case OutputKind::Stats:
      Save(out.path, sky_.Stats(ws_, o_.moreIndices ? StatsCsvWithMore(ws_) : StatsCsv(ws_)));
      break;
    case OutputKind::Chart:
      Save(out.path, ChartCsv(ws_));
      break;
    case OutputKind::Table:
      Save(out.path, TableText(ws_));
      break;
    case OutputKind::LightCurve:
      if (!HasStar(ws_, out.id)) {
        ws_.log.Add("--lightcurve star " + std::to_string(out.id) + " ignored: no such star");
        break;
      }
      if (!WriteLightCurve(ws_, out.path, static_cast<int>(out.id))) Problem("Cannot write " + out.path);
      break;
    case OutputKind::Periodogram:
      Periodogram(out);
      break;
    case OutputKind::Histogram:
      SigmaHistogram(ws_);
      break;
    case OutputKind::Image: {
      const TFits& f = *ws_.Frame;
      const Bitmap& pixels = o_.noMarks ? f.Bitmap_ : ws_.picture.Pixels();
      if (!SaveBmp(pixels, f.Width, f.Height, out.path)) Failed(out.path);
      break;
    }
    case OutputKind::Candidates:
      Save(out.path, sky_.Candidates(ws_, CandidatesCsv(ws_)));
      break;
    case OutputKind::PeriodSearch:
      if (auto failed = PeriodSearchOneStar(ws_, out.id, out.path, o_.periodSearch)) Problem(*failed);
      break;
    case OutputKind::PeriodSearchAll:
      if (auto failed = PeriodSearchAllStars(ws_, out.path, o_.periodSearch)) Problem(*failed);
      break;
    case OutputKind::Transit:
      if (!TransitOneStar(ws_, out.id, out.path, o_.events, o_.periodSearch.seed)) ok_ = false;
      break;
    case OutputKind::Minima:
      if (!MinimaOneStar(ws_, out.id, out.path, o_.events)) ok_ = false;
      break;
    }
  }

  // As the Lafler-Kinman command, but the file goes where the option says.
  void Periodogram(const Output& out) {
    TTimeSeries& t = ws_.Series;
    if (!HasStar(ws_, out.id)) {
      ws_.log.Add("--periodogram star " + std::to_string(out.id) + " ignored: no such star");
      return;
    }
    if (t.RowCount < 1) return;
    ws_.Periodograms.resize(t.StarCount);
    double span = t.Rows.back().Time - t.Rows.front().Time;
    ws_.log.Add("time range: " + FormatGeneral(span));
    auto star = static_cast<std::uint16_t>(out.id - 1);
    ComputeLaflerKinman(t, t.Stats, ws_.Periodograms, star, kLkShortestPeriod, std::fabs(span), kLkPhaseStep,
                        kLkExponent, ws_.log);
    const TPeriodogram& p = ws_.Periodograms[star];
    ws_.log.Add(FormatMessage("show %d points from %d", {p.Freq.size(), p.Freq.size()}));
    if (p.Computed && !WritePeriodogram(ws_, out.path, static_cast<int>(out.id))) Problem("Cannot write " + out.path);
  }

  void Save(const std::string& path, const std::string& text) {
    if (!WriteFileReplacing(path, text)) Failed(path);
  }

  void Failed(const std::string& path) {
    ws_.log.Add("Cannot write " + path);
    Problem("Cannot write " + path);
  }

  void Problem(const std::string& text) {
    problems_.push_back(text);
    ok_ = false;
  }

  const Options& o_;
  Workspace ws_;
  std::FILE* out_;
  SkyRun sky_{o_.sky};
  std::FILE* err_;
  bool ok_ = true;

public:
  std::vector<std::string> problems_; // what failed, said on standard error at the end
};

} // namespace

int RunBatch(const Options& options, Log& log, std::FILE* out, std::FILE* err) {
  try {
    Batch batch(options, log, out, err);
    if (!batch.Go()) {
      // Said here, whether the log is on or not.
      for (const std::string& p : batch.problems_)
        std::fprintf(err, "%s\n", p.c_str());
      if (batch.problems_.empty()) std::fputs("Some files could not be written; the log names them.\n", err);
      return 1;
    }
    return 0;
  } catch (const CommandError& e) {
    std::fprintf(err, "%s\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(err, "%s\n", e.what());
  }
  return 1;
}

} // namespace morvik::cli
