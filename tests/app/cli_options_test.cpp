#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cli/cli_options.hpp"

namespace morvik::cli {
namespace {

using Action = ParseResult::Action;

ParseResult Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(CliOptions, FrameAloneRunsWithTheSettingsPageDefaults) {
  ParseResult r = Parse({"field.fit"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  const Options& o = r.options;
  EXPECT_EQ(o.frame, "field.fit");
  EXPECT_FALSE(o.comp);
  EXPECT_FALSE(o.compMag);
  EXPECT_FALSE(o.ensemble);
  EXPECT_EQ(o.settings.FrameBorder, 10);
  EXPECT_EQ(o.settings.FrameBorderPX, 50);
  EXPECT_EQ(o.settings.Part4select, 70);
  EXPECT_EQ(o.settings.Variance4Comp, "1.5");
  EXPECT_EQ(o.settings.NotMoreComp, "1000");
  EXPECT_EQ(o.settings.SkipLessPercFrame, 20);
  EXPECT_EQ(o.settings.ChartX, 0);
  EXPECT_EQ(o.settings.ChartY, 2);
  EXPECT_EQ(o.settings.ContrastLevel, 3);
  EXPECT_TRUE(o.outputs.empty());
  EXPECT_FALSE(o.quiet);
  EXPECT_FALSE(o.logFile);
}

TEST(CliOptions, HelpAndVersionWinWhereverTheyStand) {
  EXPECT_EQ(Parse({"--help"}).action, Action::Help);
  EXPECT_EQ(Parse({"field.fit", "--comp", "3", "--version"}).action, Action::Version);
  EXPECT_EQ(Parse({"--version"}).action, Action::Version);
  // An error before them is reported first: the command line is read in order.
  EXPECT_EQ(Parse({"--bogus", "--help"}).action, Action::UsageError);
}

TEST(CliOptions, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* why;
  };
  const Case cases[] = {
      {{}, "no FRAME"},
      {{"--comp", "3"}, "no FRAME, only options"},
      {{"a.fit", "b.fit"}, "two frames"},
      {{"a.fit", "--bogus"}, "unknown option"},
      {{"a.fit", "-x"}, "unknown short option"},
      {{"a.fit", "--comp"}, "missing value at the end"},
      {{"a.fit", "--comp", "abc"}, "id not a number"},
      {{"a.fit", "--comp", "3.5"}, "id not whole"},
      {{"a.fit", "--comp-mag", "1,5"}, "decimal comma"},
      {{"a.fit", "--comp-mag", "nan"}, "not a number"},
      {{"a.fit", "--comp-mag", ""}, "empty magnitude"},
      {{"a.fit", "--ensemble", "1,,2"}, "empty id in a list"},
      {{"a.fit", "--ensemble", "1,2,"}, "trailing comma"},
      {{"a.fit", "--delete", "3"}, "delete without row"},
      {{"a.fit", "--delete", "3:x"}, "delete row not a number"},
      {{"a.fit", "--delete", ":4"}, "delete without id"},
      {{"a.fit", "--delete-frame", "first"}, "row not a number"},
      {{"a.fit", "--frame-border", "2"}, "below range"},
      {{"a.fit", "--frame-border", "21"}, "above range"},
      {{"a.fit", "--frame-border-px", "0"}, "below range"},
      {{"a.fit", "--frame-border-px", "257"}, "above range"},
      {{"a.fit", "--presence", "0"}, "below range"},
      {{"a.fit", "--presence", "101"}, "above range"},
      {{"a.fit", "--skip-less", "0"}, "below range"},
      {{"a.fit", "--skip-less", "101"}, "above range"},
      {{"a.fit", "--contrast", "-1"}, "below range"},
      {{"a.fit", "--contrast", "17"}, "above range"},
      {{"a.fit", "--x-axis", "8"}, "no such axis item"},
      {{"a.fit", "--y-axis", "-1"}, "no such axis item"},
      {{"a.fit", "--frame-border", "10.0"}, "not whole"},
      {{"a.fit", "--lightcurve", "3"}, "no =FILE"},
      {{"a.fit", "--lightcurve", "3="}, "empty file"},
      {{"a.fit", "--periodogram", "x=p.dat"}, "id not a number"},
      {{"a.fit", "--stats", ""}, "empty file name"},
      {{"a.fit", "--log", ""}, "empty log name"},
      {{"a.fit", "--histogram=yes"}, "value for a flag"},
  };
  for (const Case& c : cases) {
    ParseResult r = Parse(c.args);
    EXPECT_EQ(r.action, Action::UsageError) << c.why;
    EXPECT_FALSE(r.error.empty()) << c.why;
  }
}

TEST(CliOptions, WholeNumberSettingsAcceptTheirWholeRange) {
  struct Case {
    const char* option;
    int lo, hi;
    int Settings::*field;
  };
  const Case cases[] = {
      {"--frame-border", 3, 20, &Settings::FrameBorder},
      {"--frame-border-px", 1, 256, &Settings::FrameBorderPX},
      {"--presence", 1, 100, &Settings::Part4select},
      {"--skip-less", 1, 100, &Settings::SkipLessPercFrame},
      {"--contrast", 0, 16, &Settings::ContrastLevel},
      {"--x-axis", 0, 7, &Settings::ChartX},
      {"--y-axis", 0, 7, &Settings::ChartY},
  };
  for (const Case& c : cases) {
    for (int v : {c.lo, c.hi}) {
      ParseResult r = Parse({"a.fit", c.option, std::to_string(v)});
      ASSERT_EQ(r.action, Action::Run) << c.option << " " << v << ": " << r.error;
      EXPECT_EQ(r.options.settings.*c.field, v) << c.option;
    }
  }
}

TEST(CliOptions, TextSettingsAreKeptAsTypedForTheCoreToRead) {
  // A text that is no number would silently fall back to the default in the core.
  ParseResult bad = Parse({"a.fit", "--variance-factor", "abc"});
  EXPECT_NE(bad.action, Action::Run);
  EXPECT_EQ(bad.error, "--variance-factor needs a number above 0, not \"abc\"");
  ParseResult r =
      Parse({"a.fit", "--variance-factor", "1.50", "--max-comp", "3", "--star-sigma", "0.01", "--data-sigma", " 1.5e0"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.settings.Variance4Comp, "1.50");
  EXPECT_EQ(r.options.settings.NotMoreComp, "3");
  EXPECT_EQ(r.options.starSigma, "0.01");
  EXPECT_EQ(r.options.dataSigma, " 1.5e0");
}

TEST(CliOptions, ComparisonAndEnsemble) {
  ParseResult r = Parse({"a.fit", "--comp", "12", "--comp-mag", "-1.25e1", "--ensemble", "3,4,+5,0,70000"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.comp, 12);
  EXPECT_EQ(r.options.compMag, "-1.25e1");
  // Ids that name no star are kept: the run logs and ignores them once the table is read.
  EXPECT_EQ(r.options.ensemble, (std::vector<long long>{3, 4, 5, 0, 70000}));
  // Out-of-range ids are well formed; a comparison of 0 fails later like Run does.
  EXPECT_EQ(Parse({"a.fit", "--comp", "0"}).options.comp, 0);
  EXPECT_EQ(Parse({"a.fit", "--comp", "99999999999999999999999"}).action, Action::Run);
}

TEST(CliOptions, DeletionsAreRepeatableAndKeepTheirOrder) {
  ParseResult r = Parse({"a.fit", "--delete", "3:0", "--delete-frame", "7", "--delete", "1:-2", "--delete-frame", "0"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.deletions, (std::vector<Deletion>{{3, 0}, {1, -2}}));
  EXPECT_EQ(r.options.deletedFrames, (std::vector<long long>{7, 0}));
}

TEST(CliOptions, OutputsKeepTheOrderGiven) {
  ParseResult r = Parse({"a.fit", "--table", "t.dat", "--lightcurve", "5=lc=odd.dat", "--histogram", "--stats", "s.csv",
                         "--periodogram=2=p.dat", "--chart", "c.csv", "--image", "i.bmp"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  const std::vector<Output> expected = {
      {OutputKind::Table, "t.dat", 0}, {OutputKind::LightCurve, "lc=odd.dat", 5}, {OutputKind::Histogram, "", 0},
      {OutputKind::Stats, "s.csv", 0}, {OutputKind::Periodogram, "p.dat", 2},     {OutputKind::Chart, "c.csv", 0},
      {OutputKind::Image, "i.bmp", 0},
  };
  EXPECT_EQ(r.options.outputs, expected);
}

TEST(CliOptions, ValuesMayLookLikeOptionsOrNegativeNumbers) {
  ParseResult r = Parse({"a.fit", "--comp-mag", "-3", "--stats", "--chart"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.compMag, "-3");
  ASSERT_EQ(r.options.outputs.size(), 1u);
  EXPECT_EQ(r.options.outputs[0].path, "--chart");
}

TEST(CliOptions, FrameMayFollowOptionsOrDoubleDash) {
  EXPECT_EQ(Parse({"--comp", "3", "x.fit"}).options.frame, "x.fit");
  ParseResult r = Parse({"--quiet", "--", "-odd.fit"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.frame, "-odd.fit");
  EXPECT_TRUE(r.options.quiet);
}

TEST(CliOptions, PrintoutsAndLog) {
  ParseResult r = Parse({"a.fit", "--header", "--frame-info", "--log", "run.log", "--no-marks", "--quiet"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.printouts, (std::vector<Printout>{Printout::Header, Printout::FrameInfo}));
  EXPECT_EQ(r.options.logFile, "run.log");
  EXPECT_TRUE(r.options.noMarks);
  EXPECT_TRUE(r.options.quiet);
}

TEST(CliOptions, HelpNamesEveryOption) {
  std::string help = HelpText();
  for (const char* o : {"--comp ",           "--comp-mag",     "--ensemble",
                        "--delete ",         "--delete-frame", "--frame-border ",
                        "--frame-border-px", "--presence",     "--variance-factor",
                        "--max-comp",        "--skip-less",    "--star-sigma",
                        "--data-sigma",      "--x-axis",       "--y-axis",
                        "--contrast",        "--stats",        "--chart",
                        "--table",           "--lightcurve",   "--periodogram",
                        "--histogram",       "--image",        "--no-marks",
                        "--frame-info",      "--header",       "--log",
                        "--quiet",           "--help",         "--version"})
    EXPECT_NE(help.find(o), std::string::npos) << o;
  EXPECT_EQ(help.rfind(kUsageLine, 0), 0u);
}

} // namespace
} // namespace morvik::cli
