#include "app/cli/cli_options.hpp"

#include <algorithm>
#include <cmath>

#include <climits>
#include <string_view>

#include "common/parse.hpp"

namespace morvik::cli {
namespace {

// A whole number: optional sign and digits. Values beyond 64 bits saturate; they
// name no star or row either way.
std::optional<long long> ParseWhole(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  unsigned long long v = 0;
  bool saturated = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    if (v > (ULLONG_MAX - 9) / 10) saturated = true;
    if (!saturated) v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (saturated || v > static_cast<unsigned long long>(LLONG_MAX)) return negative ? LLONG_MIN : LLONG_MAX;
  return negative ? -static_cast<long long>(v) : static_cast<long long>(v);
}

std::string RangeText(const char* name, SpinRange r) {
  return std::string(name) + " must be a whole number from " + std::to_string(r.min) + " to " + std::to_string(r.max);
}

// ID=FILE of --lightcurve and --periodogram.
bool SplitIdFile(std::string_view value, long long& id, std::string& path) {
  auto eq = value.find('=');
  if (eq == std::string_view::npos) return false;
  auto parsed = ParseWhole(value.substr(0, eq));
  if (!parsed || eq + 1 == value.size()) return false;
  id = *parsed;
  path = std::string(value.substr(eq + 1));
  return true;
}

} // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  ParseResult r;
  Options& o = r.options;
  bool frameSeen = false;
  bool onlyPositional = false;
  auto fail = [&](std::string message) {
    r.action = ParseResult::Action::UsageError;
    r.error = std::move(message);
    return r;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (onlyPositional || arg.size() < 2 || arg[0] != '-' || arg == "-") {
      if (frameSeen) return fail("more than one FRAME given: " + arg);
      o.frame = arg;
      frameSeen = true;
      continue;
    }
    if (arg == "--") {
      onlyPositional = true;
      continue;
    }
    // --name=value is the same as --name value.
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }

    // Options without a value.
    if (name == "--help" || name == "--version" || name == "--histogram" || name == "--no-marks" ||
        name == "--frame-info" || name == "--header" || name == "--quiet" || name == "--check-ensemble" ||
        name == "--drop-varying" || name == "--more-indices" || name == "--approximate" || IsSkyFlag(name)) {
      if (inlineValue) return fail(name + " takes no value");
      if (name == "--help") {
        r.action = ParseResult::Action::Help;
        return r;
      }
      if (name == "--version") {
        r.action = ParseResult::Action::Version;
        return r;
      }
      if (name == "--histogram") o.outputs.push_back({OutputKind::Histogram, "", 0});
      if (name == "--no-marks") o.noMarks = true;
      if (name == "--frame-info") o.printouts.push_back(Printout::FrameInfo);
      if (name == "--header") o.printouts.push_back(Printout::Header);
      if (name == "--quiet") o.quiet = true;
      if (name == "--check-ensemble") o.settings.CheckEnsemble = true;
      if (name == "--drop-varying") o.settings.DropVarying = true;
      if (name == "--more-indices") o.moreIndices = true;
      if (name == "--approximate") o.periodSearch.approximate = true;
      SetSkyFlag(name, o.sky);
      continue;
    }

    static const char* const kValued[] = {"--comp",
                                          "--comp-mag",
                                          "--ensemble",
                                          "--delete",
                                          "--delete-frame",
                                          "--frame-border",
                                          "--frame-border-px",
                                          "--presence",
                                          "--variance-factor",
                                          "--max-comp",
                                          "--skip-less",
                                          "--star-sigma",
                                          "--data-sigma",
                                          "--x-axis",
                                          "--y-axis",
                                          "--contrast",
                                          "--stats",
                                          "--chart",
                                          "--table",
                                          "--lightcurve",
                                          "--periodogram",
                                          "--image",
                                          "--log",
                                          "--candidates",
                                          "--candidate-threshold",
                                          "--period-search",
                                          "--period-search-all",
                                          "--transit",
                                          "--minima"};
    bool valued = IsPeriodSearchOption(name) || IsEventOption(name) || IsSkyValued(name);
    for (const char* v : kValued)
      valued = valued || name == v;
    if (!valued) return fail("unknown option " + name);
    std::string value;
    if (inlineValue) {
      value = *inlineValue;
    } else {
      if (i + 1 >= args.size()) return fail(name + " needs a value");
      value = args[++i];
    }

    auto spin = [&](int& target, SpinRange range) {
      auto v = ParseInteger(value);
      if (!v || *v < range.min || *v > range.max) return false;
      target = *v;
      return true;
    };
    auto path = [&](OutputKind kind) {
      if (value.empty()) return false;
      o.outputs.push_back({kind, value, 0});
      return true;
    };

    if (name == "--comp") {
      auto v = ParseWhole(value);
      if (!v) return fail("--comp needs a star id, not \"" + value + "\"");
      o.comp = *v;
    } else if (name == "--comp-mag") {
      if (!ParseDecimal(value)) return fail("--comp-mag needs a magnitude, not \"" + value + "\"");
      o.compMag = value;
    } else if (name == "--ensemble") {
      std::vector<long long> ids;
      std::string_view rest = value;
      while (true) {
        auto comma = rest.find(',');
        auto v = ParseWhole(rest.substr(0, comma));
        if (!v) return fail("--ensemble needs star ids separated by commas, not \"" + value + "\"");
        ids.push_back(*v);
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
      }
      o.ensemble = std::move(ids);
    } else if (name == "--delete") {
      auto colon = value.find(':');
      std::optional<long long> id, row;
      if (colon != std::string::npos) {
        id = ParseWhole(std::string_view(value).substr(0, colon));
        row = ParseWhole(std::string_view(value).substr(colon + 1));
      }
      if (!id || !row) return fail("--delete needs ID:ROW, not \"" + value + "\"");
      o.deletions.push_back({*id, *row});
    } else if (name == "--delete-frame") {
      auto row = ParseWhole(value);
      if (!row) return fail("--delete-frame needs a row number, not \"" + value + "\"");
      o.deletedFrames.push_back(*row);
    } else if (name == "--frame-border") {
      if (!spin(o.settings.FrameBorder, kFrameBorderRange)) return fail(RangeText("--frame-border", kFrameBorderRange));
    } else if (name == "--frame-border-px") {
      if (!spin(o.settings.FrameBorderPX, kFrameBorderPXRange))
        return fail(RangeText("--frame-border-px", kFrameBorderPXRange));
    } else if (name == "--presence") {
      if (!spin(o.settings.Part4select, kPart4selectRange)) return fail(RangeText("--presence", kPart4selectRange));
    } else if (name == "--skip-less") {
      if (!spin(o.settings.SkipLessPercFrame, kSkipLessPercFrameRange))
        return fail(RangeText("--skip-less", kSkipLessPercFrameRange));
    } else if (name == "--contrast" && value == "auto") {
      o.settings.AutoContrast = true;
    } else if (name == "--contrast") {
      if (!spin(o.settings.ContrastLevel, kContrastRange)) return fail(RangeText("--contrast", kContrastRange));
    } else if (name == "--x-axis" || name == "--y-axis") {
      constexpr SpinRange axes{0, 13}; // 8 ... 13 only with --more-indices, checked at the end
      if (!spin(name == "--x-axis" ? o.settings.ChartX : o.settings.ChartY, axes))
        return fail(RangeText(name.c_str(), axes));
    } else if (name == "--variance-factor") {
      // Read later as the edit is read, which takes a text that is no number for 1.5
      // without a word: here such a text is refused.
      std::string point = value;
      std::replace(point.begin(), point.end(), ',', '.');
      const auto v = ParseDecimal(point);
      if (!v || !(*v > 0) || !std::isfinite(*v))
        return fail("--variance-factor needs a number above 0, not \"" + value + "\"");
      o.settings.Variance4Comp = value;
    } else if (name == "--max-comp") {
      o.settings.NotMoreComp = value;
    } else if (name == "--star-sigma") {
      o.starSigma = value;
    } else if (name == "--data-sigma") {
      o.dataSigma = value;
    } else if (name == "--stats") {
      if (!path(OutputKind::Stats)) return fail("--stats needs a file name");
    } else if (name == "--chart") {
      if (!path(OutputKind::Chart)) return fail("--chart needs a file name");
    } else if (name == "--table") {
      if (!path(OutputKind::Table)) return fail("--table needs a file name");
    } else if (name == "--image") {
      if (!path(OutputKind::Image)) return fail("--image needs a file name");
    } else if (name == "--lightcurve" || name == "--periodogram") {
      Output out{name == "--lightcurve" ? OutputKind::LightCurve : OutputKind::Periodogram, "", 0};
      if (!SplitIdFile(value, out.id, out.path)) return fail(name + " needs ID=FILE, not \"" + value + "\"");
      o.outputs.push_back(out);
    } else if (name == "--candidates") {
      if (!path(OutputKind::Candidates)) return fail("--candidates needs a file name");
    } else if (name == "--candidate-threshold") {
      auto v = ParseDecimal(value);
      if (!v || !(*v > 0.0)) return fail("--candidate-threshold needs a number above 0, not \"" + value + "\"");
      o.settings.CandidateThreshold = *v;
    } else if (name == "--period-search") {
      Output out{OutputKind::PeriodSearch, "", 0};
      if (!SplitIdFile(value, out.id, out.path)) return fail(name + " needs ID=FILE, not \"" + value + "\"");
      o.outputs.push_back(out);
    } else if (name == "--period-search-all") {
      if (!path(OutputKind::PeriodSearchAll)) return fail("--period-search-all needs a file name");
    } else if (name == "--transit" || name == "--minima") {
      Output out{name == "--transit" ? OutputKind::Transit : OutputKind::Minima, "", 0};
      if (!SplitIdFile(value, out.id, out.path)) return fail(name + " needs ID=FILE, not \"" + value + "\"");
      o.outputs.push_back(out);
    } else if (IsEventOption(name)) {
      if (auto error = ParseEventOption(name, value, o.events)) return fail(*error);
    } else if (IsPeriodSearchOption(name)) {
      if (auto error = ParsePeriodSearchOption(name, value, o.periodSearch)) return fail(*error);
    } else if (IsSkyValued(name)) {
      if (auto error = ParseSkyValue(name, value, o.sky)) return fail(*error);
    } else if (name == "--log") {
      if (value.empty()) return fail("--log needs a file name");
      o.logFile = value;
    }
  }
  if (!frameSeen) return fail("no FRAME given");
  // One target for both uses: the star selected on the frame and the coordinates that
  // turn the exoplanet report's times into BJD_TDB. A report needs no WCS for that.
  if (o.sky.targetRa) o.events.target = std::make_pair(*o.sky.targetRa, *o.sky.targetDec);
  o.sky.targetForTimes = o.sky.targetRa.has_value() && o.events.reportPath.has_value();
  if (!o.moreIndices && (o.settings.ChartX > 7 || o.settings.ChartY > 7))
    return fail(RangeText("--x-axis and --y-axis", SpinRange{0, 7}) + " (8 to 13 with --more-indices)");
  return r;
}

std::string HelpText() {
  return std::string(kUsageLine) + R"(

Reads FRAME with its photometry table and star catalog (<base>.dat, <base>.xml: the
file name up to its first "."), then with --comp: deletions, the comparison star, Run,
Search Variables and the outputs, in the order the options are given.

  --comp ID               comparison star id (1-based); without it only the frame,
                          --frame-info, --header and --image are done
  --comp-mag MAG          magnitude of the comparison star (default: its catalog M)
  --ensemble ID,ID,...    choose the ensemble by hand: these stars and the comparison
  --delete ID:ROW         clear the measurement of star ID in row ROW (0-based); repeatable
  --delete-frame ROW      clear every measurement of row ROW (0-based); repeatable
  --frame-border N        border as 1/N of the frame size, 3..20 (10)
  --frame-border-px N     smallest border in pixels, 1..256 (50)
  --presence PCT          % of frames a comparison star must be measured in, 1..100 (70)
  --variance-factor TEXT  comparison variance limit, times the mean variance ("1.5")
  --max-comp TEXT         largest number of comparison stars ("1000")
  --skip-less PCT         leave out of the chart stars present in fewer % of frames, 1..100 (20)
  --star-sigma TEXT       skip measurements with sigma > TEXT x star mean sigma ("2.0")
  --data-sigma TEXT       skip measurements with sigma > TEXT x data mean sigma ("2.0")
  --x-axis I, --y-axis I  chart axes 0..7 (0, 2): mean magnitude, raw standard deviation,
                          standard deviation, sq.root(chi-squared), MAD, robust median
                          statistic, normalized excess variance, von Neumann ratio
  --check-ensemble        after Run, flag comparison stars that vary against the others
                          (a log line each, a Flag column in --stats)
  --drop-varying          --check-ensemble, and Run again without the flagged stars
                          until none is flagged (at most 5 rounds)
  --more-indices          axis items 8..13: interquartile range, Stetson J, K, L, 1/eta,
                          excess over expected scatter; their columns in --stats
  --candidates FILE       the variable-star candidates, ranked, CSV
  --candidate-threshold S score above which a star is a candidate (5)
  --contrast L            contrast level 0..16 for the picture (3)
  --contrast auto         a robust range around the sky of the frame instead of a level
  --stats FILE            per-star statistics, CSV
  --chart FILE            the points of the Find Variables chart, CSV
  --table FILE            the ensemble-corrected table, readable again
  --lightcurve ID=FILE    light curve of star ID; repeatable
  --periodogram ID=FILE   Lafler-Kinman periodogram of star ID; repeatable
)" + std::string(PeriodSearchHelp()) +
         std::string(EventHelp()) +
         R"(  --histogram             sigma histogram, written beside FRAME (FRAME_histsigma.txt)
  --image FILE            the picture as a BMP (star marks after a Run)
  --no-marks              --image without star marks
  --frame-info            print the frame figures
  --header                print the header cards (keyword, value, comment; TABs)
  --log FILE              write the log there instead of standard error
  --quiet                 write no log
  --help, --version
)" + std::string(SkyHelp()) + R"(
Exit status: 0 done, 1 failure (message on standard error), 2 usage error.
)";
}

} // namespace morvik::cli
