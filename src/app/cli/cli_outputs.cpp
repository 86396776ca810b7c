#include "app/cli/cli_outputs.hpp"

#include "common/errors.hpp"
#include "common/format.hpp"

namespace morvik::cli {
namespace {

void Field(std::string& out, const char* name, const std::string& value) {
  out += name;
  out += '=';
  out += value;
  out += '\n';
}

std::string Whole(long long v) { return std::to_string(v); }

} // namespace

std::string FrameInfoText(const TFits& f) {
  std::string out;
  Field(out, "FileName", f.FileName);
  Field(out, "Width", Whole(f.Width));
  Field(out, "Height", Whole(f.Height));
  Field(out, "BitPix", Whole(f.BitPix));
  Field(out, "PixelBytes", Whole(f.PixelBytes));
  Field(out, "BZero", FormatShortest(f.BZero));
  Field(out, "BScale", FormatShortest(f.BScale));
  Field(out, "BlankCount", Whole(f.BlankCount));
  Field(out, "TrailWords", Whole(f.TrailWords));
  Field(out, "MinVal", FormatShortest(f.MinVal));
  Field(out, "MaxVal", FormatShortest(f.MaxVal));
  Field(out, "MeanVal", FormatShortest(f.MeanVal));
  Field(out, "BgVal", FormatShortest(f.BgVal));
  Field(out, "Contrast", Whole(f.Contrast));
  Field(out, "MinK", FormatShortest(f.MinK));
  Field(out, "MaxK", FormatShortest(f.MaxK));
  return out;
}

std::string HeaderText(const TFits& f) {
  std::string out;
  for (const TField& c : f.Header.Cards) {
    out += c.Keyword;
    out += '\t';
    out += c.Value;
    out += '\t';
    out += c.Comment;
    out += '\n';
  }
  return out;
}

std::string HeaderListing(const Workspace& ws) {
  if (ws.LargeFrame) return frames::ListCards(ws.LargeFrame->cards);
  try {
    frames::ReadOptions headerOnly;
    headerOnly.headerOnly = true;
    return frames::ListCards(frames::ReadFrame(ws.Frame->FileName, headerOnly).cards);
  } catch (const CommandError&) {
    return HeaderText(*ws.Frame);
  }
}

std::string StatsCsv(const Workspace& ws) {
  std::string out = "id,x,y,m,NValid,Mean,MeanW,MeanErr,Variance,Used,Weight,RunMean,NAccepted,RunMeanW,RunMedian,"
                    "RunVariance,ChiSq,Mad,RobustMedian,ExcessVariance,VonNeumann,Mark";
  const auto& stats = ws.Series.Stats;
  // After an ensemble check: Flag, 1 for a varying comparison star.
  const bool flags = ws.Check.Stars.size() == stats.size() && !stats.empty();
  out += flags ? ",Flag\n" : "\n";
  for (std::size_t i = 0; i < stats.size(); ++i) {
    const TStarStat& s = stats[i];
    const TCatalogStar& c = ws.Catalog[static_cast<long long>(i) + 1];
    const std::string fields[] = {Whole(static_cast<long long>(i) + 1),
                                  FormatShortest(c.X),
                                  FormatShortest(c.Y),
                                  FormatShortest(c.M),
                                  Whole(s.NValid),
                                  FormatShortest(s.Mean),
                                  FormatShortest(s.MeanW),
                                  FormatShortest(s.MeanErr),
                                  FormatShortest(s.Variance),
                                  s.Used ? "1" : "0",
                                  FormatShortest(s.Weight),
                                  FormatShortest(s.RunMean),
                                  Whole(s.NAccepted),
                                  FormatShortest(s.RunMeanW),
                                  FormatShortest(s.RunMedian),
                                  FormatShortest(s.RunVariance),
                                  FormatShortest(s.ChiSq),
                                  FormatShortest(s.Mad),
                                  FormatShortest(s.RobustMedian),
                                  FormatShortest(s.ExcessVariance),
                                  FormatShortest(s.VonNeumann),
                                  Whole(s.Mark)};
    bool first = true;
    for (const std::string& f : fields) {
      if (!first) out += ',';
      out += f;
      first = false;
    }
    if (flags) out += ws.Check.Stars[i].Flagged ? ",1" : ",0";
    out += '\n';
  }
  return out;
}

std::string ChartCsv(const Workspace& ws) {
  std::string out = "index,label,x,y,variable\n";
  if (ws.VarChart.series.size() <= kSeries1) return out;
  const PointSeries& series = ws.VarChart.series[kSeries1];
  for (std::size_t i = 0; i < series.Count(); ++i) {
    const ChartPoint& p = series.Point(i);
    out += Whole(static_cast<long long>(i)) + ',' + p.label + ',' + FormatShortest(p.x) + ',' + FormatShortest(p.y) +
           ',' + (series.ColorOf(i) == colors::Green ? "1" : "0") + '\n';
  }
  return out;
}

std::string TableText(const Workspace& ws) {
  const TTimeSeries& t = ws.Series;
  std::string out = "# Ensemble-corrected photometry: JD, then RunMag and Err of each star\r\n# Comparison star " +
                    std::to_string(ws.CompStarId) + ", magnitude " + FormatShortest(ws.CompStarMag) + "\r\n";
  out.reserve(out.size() + static_cast<std::size_t>(t.RowCount) * (16 + 20 * static_cast<std::size_t>(t.StarCount)));
  for (const TDataLine& row : t.Rows) {
    out += FormatShortest(row.Time);
    for (const TMeasurement& m : row.Items) {
      if (m.Valid) {
        out += ' ';
        out += FormatShortest(m.RunMag);
        out += ' ';
        out += FormatShortest(m.Err);
      } else {
        out += " 99.999 9.999";
      }
    }
    out += "\r\n";
  }
  return out;
}

} // namespace morvik::cli
