#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/process.hpp"
#include "common/parse.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::ReadFile;
using testing::SplitFields;
using testing::SplitLines;
using testing::Words;

const fs::path kWork = fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("cli-" + std::to_string(::getpid()));
constexpr int kStars = 60;
constexpr int kFrames = 90;

double Num(const std::string& s) {
  auto v = ParseDecimal(s);
  EXPECT_TRUE(v) << "not a number: \"" << s << "\"";
  return v.value_or(0.0);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Cli : public ::testing::Test {
protected:
  static void TearDownTestSuite() { fs::remove_all(kWork); }
  static void SetUpTestSuite() {
    fs::remove_all(kWork);
    auto r = testing::RunProgram(MORVIK_FIELDGEN,
                                 {"--out", "field", "--stars", std::to_string(kStars), "--frames",
                                  std::to_string(kFrames), "--nights", "3", "--seed", "5"},
                                 kWork);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& l : SplitLines(ReadFile(kWork / "field_variables.txt"))) {
      auto w = Words(l);
      if (w.size() == 3 && w[0] == "comparison") comp_ = w[1], compMag_ = w[2];
    }
    ASSERT_FALSE(comp_.empty());
  }

  // Runs morvik-cli in its own folder beside the field (the frame given by path).
  ProcessResult Cli_(std::vector<std::string> args, const std::string& env = "") {
    fs::path dir = kWork / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return testing::RunProgram(MORVIK_CLI, args, dir, env);
  }
  fs::path Dir() const { return kWork / ::testing::UnitTest::GetInstance()->current_test_info()->name(); }
  static std::string Frame() { return (kWork / "field.fit").string(); }

  static inline std::string comp_, compMag_;
};

TEST_F(Cli, VersionHelpAndUsageErrors) {
  auto v = Cli_({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "morvik-cli 1.0.0\n");
  auto h = Cli_({"--help"});
  EXPECT_EQ(h.status, 0);
  EXPECT_TRUE(Has(h.out, "--periodogram ID=FILE"));

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{},
                                                                                    {"--comp", "3"},
                                                                                    {Frame(), "--bogus"},
                                                                                    {Frame(), "--presence", "0"},
                                                                                    {Frame(), "--contrast", "17"},
                                                                                    {Frame(), "--comp-mag", "x"},
                                                                                    {Frame(), "--delete", "1"}}) {
    auto r = Cli_(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "no arguments" : args.back());
    EXPECT_TRUE(Has(r.err, "usage: morvik-cli FRAME [options]")) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

TEST_F(Cli, MissingFrameIsAFailure) {
  auto r = Cli_({(kWork / "nothing.fit").string(), "--frame-info"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "File not found.")) << r.err;
  EXPECT_TRUE(r.out.empty());
}

TEST_F(Cli, FrameInfoListsTheFiguresInOrder) {
  auto r = Cli_({Frame(), "--frame-info", "--contrast", "5"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = SplitLines(r.out);
  const char* names[] = {"FileName",   "Width",  "Height", "BitPix",  "PixelBytes", "BZero",    "BScale", "BlankCount",
                         "TrailWords", "MinVal", "MaxVal", "MeanVal", "BgVal",      "Contrast", "MinK",   "MaxK"};
  ASSERT_EQ(lines.size(), std::size(names));
  std::vector<std::string> values;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto eq = lines[i].find('=');
    ASSERT_NE(eq, std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].substr(0, eq), names[i]);
    values.push_back(lines[i].substr(eq + 1));
  }
  EXPECT_EQ(values[1], "1024");
  EXPECT_EQ(values[2], "768");
  EXPECT_EQ(values[3], "16");
  EXPECT_EQ(values[4], "2");
  EXPECT_EQ(values[5], "32768");
  EXPECT_EQ(values[6], "1");
  EXPECT_EQ(values[13], "5");
  for (std::size_t i = 9; i < values.size(); ++i)
    Num(values[i]);
  EXPECT_LT(Num(values[9]), Num(values[11]));  // MinVal < MeanVal
  EXPECT_LT(Num(values[11]), Num(values[10])); // MeanVal < MaxVal
  EXPECT_LE(Num(values[14]), Num(values[15])); // MinK <= MaxK
  // The Open log goes to standard error, not into the figures.
  EXPECT_TRUE(Has(r.err, "Read file ")) << r.err;
  EXPECT_TRUE(Has(r.err, "XML Loaded")) << r.err;
}

TEST_F(Cli, HeaderPrintsEveryCardWithTabs) {
  auto r = Cli_({Frame(), "--header", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty());
  auto lines = SplitLines(r.out);
  ASSERT_GE(lines.size(), 7u);
  const char* first[] = {"SIMPLE", "BITPIX", "NAXIS", "NAXIS1", "NAXIS2", "BZERO", "BSCALE"};
  for (std::size_t i = 0; i < std::size(first); ++i) {
    auto f = SplitFields(lines[i], '\t');
    ASSERT_EQ(f.size(), 3u) << lines[i];
    EXPECT_EQ(f[0], first[i]);
  }
  EXPECT_EQ(SplitFields(lines[3], '\t')[1], "1024");
  EXPECT_EQ(SplitFields(lines[0], '\t')[2], "/ file conforms to FITS standard");
  EXPECT_TRUE(Has(r.out, "OBJECT\t'Synthetic field'\t"));
}

struct Bmp {
  std::int32_t width = 0, height = 0;
  int bits = 0;
  bool ok = false;
};

Bmp ReadBmpHeader(const std::string& b) {
  auto u16 = [&](std::size_t at) {
    return static_cast<int>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
  };
  auto u32 = [&](std::size_t at) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2))
                                                                               << 16);
  };
  Bmp h;
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return h;
  h.width = u32(18);
  h.height = u32(22);
  h.bits = u16(28);
  std::size_t stride = (static_cast<std::size_t>(h.width) * 3 + 3) / 4 * 4;
  std::int32_t rows = h.height < 0 ? -h.height : h.height;
  h.ok = static_cast<std::size_t>(u32(2)) == b.size() &&
         b.size() >= static_cast<std::size_t>(u32(10)) + stride * static_cast<std::size_t>(rows);
  return h;
}

TEST_F(Cli, ImageIsAValidBmpOfTheFrameWithMarksOnlyAfterARun) {
  auto plain = Cli_({Frame(), "--image", "plain.bmp", "--quiet"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  std::string a = ReadFile(Dir() / "plain.bmp");
  Bmp h = ReadBmpHeader(a);
  EXPECT_TRUE(h.ok);
  EXPECT_EQ(h.width, 1024);
  EXPECT_EQ(std::abs(h.height), 768);
  EXPECT_EQ(h.bits, 24);

  auto marked = Cli_({Frame(), "--comp", comp_, "--image", "marked.bmp", "--quiet"});
  ASSERT_EQ(marked.status, 0) << marked.err;
  auto unmarked = Cli_({Frame(), "--comp", comp_, "--image", "nomarks.bmp", "--no-marks", "--quiet"});
  ASSERT_EQ(unmarked.status, 0) << unmarked.err;
  std::string m = ReadFile(Dir() / "marked.bmp"), n = ReadFile(Dir() / "nomarks.bmp");
  EXPECT_TRUE(ReadBmpHeader(m).ok);
  EXPECT_EQ(m.size(), a.size());
  EXPECT_TRUE(m != a) << "star marks after a Run";
  EXPECT_TRUE(n == a) << "--no-marks: the frame as rendered";
}

TEST_F(Cli, WithoutComparisonOnlyTheFrameOutputsRun) {
  auto r = Cli_({Frame(), "--stats", "s.csv", "--table", "t.dat"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(Dir() / "s.csv"));
  EXPECT_FALSE(fs::exists(Dir() / "t.dat"));
  EXPECT_TRUE(Has(r.err, "--stats skipped")) << r.err;
  EXPECT_FALSE(Has(r.err, "Mean STD"));
}

TEST_F(Cli, ComparisonOutsideTheTableFailsLikeRunWithoutOne) {
  for (const std::string& id : std::vector<std::string>{"0", std::to_string(kStars + 1), "-4"}) {
    auto r = Cli_({Frame(), "--comp", id, "--stats", "s.csv"});
    EXPECT_EQ(r.status, 1) << id;
    EXPECT_TRUE(Has(r.err, "Please choose a comparison star")) << r.err;
    EXPECT_FALSE(fs::exists(Dir() / "s.csv"));
  }
}

// The whole road with every output, checked against the input table.
TEST_F(Cli, FullRunWritesEveryOutput) {
  std::string lc = "7=lc7.dat", per = "7=per7.dat";
  auto r = Cli_({Frame(), "--comp", comp_, "--stats", "s.csv", "--chart", "c.csv", "--table", "t.dat", "--lightcurve",
                 lc, "--periodogram", per, "--histogram", "--lightcurve", "0=none.dat", "--periodogram",
                 std::to_string(kStars + 5) + "=none.dat"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string& log = r.err;
  for (const char* line :
       {"Read file ", "cols read", "lines read", "XML Loaded", "Mean STD ", "Mean and Sigma calculated; USED ",
        "FINALLY sum_w = ", "FINALLY Norm ", "Mean Sigma (all frames) = ", "Mean and Sigma (RUN) calculated",
        "time range: ", "PERIOD_LK: ", "MIN "})
    EXPECT_TRUE(Has(log, line)) << line;
  auto selected = log.find("Selected " + comp_ + " as comparison = ");
  ASSERT_NE(selected, std::string::npos) << log;
  auto value = log.substr(selected, log.find('\n', selected) - selected);
  EXPECT_EQ(Num(value.substr(value.rfind(' ') + 1)), Num(compMag_)) << value;
  EXPECT_TRUE(Has(log, "--lightcurve star 0 ignored")) << log;
  EXPECT_TRUE(Has(log, "--periodogram star " + std::to_string(kStars + 5) + " ignored")) << log;
  EXPECT_FALSE(fs::exists(Dir() / "none.dat"));

  // --stats: one line per star, 22 columns; the comparison star sits at its magnitude.
  auto stats = SplitLines(ReadFile(Dir() / "s.csv"));
  ASSERT_EQ(stats.size(), static_cast<std::size_t>(kStars) + 1);
  EXPECT_EQ(stats[0], "id,x,y,m,NValid,Mean,MeanW,MeanErr,Variance,Used,Weight,RunMean,NAccepted,RunMeanW,RunMedian,"
                      "RunVariance,ChiSq,Mad,RobustMedian,ExcessVariance,VonNeumann,Mark");
  int used = 0;
  double weights = 0;
  std::vector<int> nvalid;
  for (std::size_t i = 1; i < stats.size(); ++i) {
    auto f = SplitFields(stats[i], ',');
    ASSERT_EQ(f.size(), 22u) << stats[i];
    EXPECT_EQ(f[0], std::to_string(i));
    for (const auto& v : f)
      Num(v);
    used += f[9] == "1";
    weights += Num(f[10]);
    nvalid.push_back(std::stoi(f[4]));
    if (f[0] == comp_) {
      EXPECT_EQ(Num(f[11]), Num(compMag_)) << "RunMean of the comparison star";
    }
  }
  EXPECT_GT(used, 5);
  EXPECT_NEAR(weights, 1.0, 1e-9);

  // --table: the input's shape and its invalid measurements, CR LF, readable again.
  std::string table = ReadFile(Dir() / "t.dat");
  auto rows = SplitLines(table, "\r\n");
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kFrames) + 2);
  EXPECT_EQ(rows[0][0], '#');
  EXPECT_EQ(rows[1][0], '#');
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), std::count(table.begin(), table.end(), '\r'));
  auto input = SplitLines(ReadFile(kWork / "field.dat"), "\r\n");
  std::vector<int> validPerStar(kStars, 0);
  for (std::size_t i = 2; i < rows.size(); ++i) {
    auto out = Words(rows[i]), in = Words(input[i]);
    ASSERT_EQ(out.size(), static_cast<std::size_t>(2 * kStars + 1));
    EXPECT_EQ(Num(out[0]), Num(in[0]));
    for (int s = 0; s < kStars; ++s) {
      bool lostIn = in[static_cast<std::size_t>(2 * s + 1)] == "99.999";
      bool lostOut = out[static_cast<std::size_t>(2 * s + 1)] == "99.999";
      EXPECT_EQ(lostIn, lostOut) << "row " << i - 2 << " star " << s + 1;
      if (lostOut) {
        EXPECT_EQ(out[static_cast<std::size_t>(2 * s + 2)], "9.999");
      } else {
        ++validPerStar[static_cast<std::size_t>(s)];
      }
      if (!lostIn) {
        EXPECT_EQ(Num(out[static_cast<std::size_t>(2 * s + 2)]), Num(in[static_cast<std::size_t>(2 * s + 2)]));
      }
    }
  }
  for (int s = 0; s < kStars; ++s)
    EXPECT_EQ(validPerStar[static_cast<std::size_t>(s)], nvalid[static_cast<std::size_t>(s)]);
  fs::copy_file(Dir() / "t.dat", Dir() / "again.dat", fs::copy_options::overwrite_existing);
  fs::copy_file(kWork / "field.fit", Dir() / "again.fit", fs::copy_options::overwrite_existing);
  auto reread = Cli_({(Dir() / "again.fit").string()});
  EXPECT_EQ(reread.status, 0) << reread.err;
  EXPECT_TRUE(Has(reread.err, std::to_string(2 * kStars + 1) + " cols read")) << reread.err;
  EXPECT_TRUE(Has(reread.err, std::to_string(kFrames) + " lines read")) << reread.err;

  // --chart: ascending x, labels are zero-based star indices.
  auto chart = SplitLines(ReadFile(Dir() / "c.csv"));
  ASSERT_GE(chart.size(), 2u);
  EXPECT_EQ(chart[0], "index,label,x,y,variable");
  double lastX = -1e300;
  for (std::size_t i = 1; i < chart.size(); ++i) {
    auto f = SplitFields(chart[i], ',');
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0], std::to_string(i - 1));
    int label = std::stoi(f[1]);
    EXPECT_GE(label, 0);
    EXPECT_LT(label, kStars);
    EXPECT_GE(Num(f[2]), lastX);
    lastX = Num(f[2]);
    EXPECT_GE(Num(f[3]), 0.0);
    EXPECT_EQ(f[4], "0");
  }

  // --lightcurve: one fixed-format line per valid measurement of star 7.
  auto curve = SplitLines(ReadFile(Dir() / "lc7.dat"), "\r\n");
  EXPECT_EQ(curve.size(), static_cast<std::size_t>(nvalid[6]));
  for (const auto& l : curve) {
    EXPECT_EQ(l.size(), 29u) << l;
    EXPECT_EQ(l[13], ' ');
  }
  // --periodogram: written where asked, and not under the menu command's fixed name.
  auto per7 = SplitLines(ReadFile(Dir() / "per7.dat"), "\r\n");
  EXPECT_GT(per7.size(), 1000u);
  EXPECT_TRUE(Has(log, "show " + std::to_string(per7.size()) + " points from " + std::to_string(per7.size()))) << log;
  EXPECT_FALSE(fs::exists(Dir() / "star6.per"));
  // --histogram: beside the frame.
  auto hist = SplitLines(ReadFile(kWork / "field.fit_histsigma.txt"), "\r\n");
  ASSERT_GE(hist.size(), 1u);
  EXPECT_EQ(hist[0].rfind("MIN ", 0), 0u);
}

TEST_F(Cli, DeletionsClearMeasurementsAndOutOfRangeOnesAreLogged) {
  auto base = Cli_({Frame(), "--comp", comp_, "--stats", "before.csv", "--quiet"});
  ASSERT_EQ(base.status, 0) << base.err;
  auto r = Cli_({Frame(), "--comp", comp_, "--delete", "3:0", "--delete", "3:1", "--delete-frame", "10", "--delete",
                 "3:" + std::to_string(kFrames), "--delete", std::to_string(kStars + 1) + ":0", "--delete-frame", "-1",
                 "--stats", "after.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.err, "--delete 3:" + std::to_string(kFrames) + " ignored")) << r.err;
  EXPECT_TRUE(Has(r.err, "--delete " + std::to_string(kStars + 1) + ":0 ignored")) << r.err;
  EXPECT_TRUE(Has(r.err, "--delete-frame -1 ignored")) << r.err;
  auto before = SplitLines(ReadFile(Dir() / "before.csv")), after = SplitLines(ReadFile(Dir() / "after.csv"));
  ASSERT_EQ(before.size(), after.size());
  auto input = SplitLines(ReadFile(kWork / "field.dat"), "\r\n");
  auto row = [&](int r_) { return Words(input[static_cast<std::size_t>(r_ + 2)]); };
  for (int s = 1; s <= kStars; ++s) {
    int was = std::stoi(SplitFields(before[static_cast<std::size_t>(s)], ',')[4]);
    int now = std::stoi(SplitFields(after[static_cast<std::size_t>(s)], ',')[4]);
    int expected = was - (row(10)[static_cast<std::size_t>(2 * s - 1)] != "99.999");
    if (s == 3) expected -= (row(0)[5] != "99.999") + (row(1)[5] != "99.999");
    EXPECT_EQ(now, expected) << "star " << s;
  }
}

TEST_F(Cli, ManualEnsembleIsExactlyTheListedStarsAndTheComparison) {
  auto r = Cli_({Frame(), "--comp", comp_, "--ensemble", "2,5,9,0," + std::to_string(kStars + 1), "--stats", "s.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.err, "--ensemble star 0 ignored")) << r.err;
  EXPECT_TRUE(Has(r.err, "USED 4 STARS FROM " + std::to_string(kStars))) << r.err;
  auto stats = SplitLines(ReadFile(Dir() / "s.csv"));
  for (std::size_t i = 1; i < stats.size(); ++i) {
    auto f = SplitFields(stats[i], ',');
    bool listed = f[0] == "2" || f[0] == "5" || f[0] == "9" || f[0] == comp_;
    EXPECT_EQ(f[9], listed ? "1" : "0") << "star " << f[0];
  }
}

TEST_F(Cli, SettingsReachTheCore) {
  auto r = Cli_({Frame(), "--comp", comp_, "--max-comp", "3", "--x-axis", "7", "--y-axis", "1", "--skip-less", "100",
                 "--chart", "c.csv", "--comp-mag", "12.5", "--stats", "s.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  // A limit below 5 chooses at most 5 stars.
  EXPECT_TRUE(Has(r.err, "USED 5 STARS FROM")) << r.err;
  EXPECT_TRUE(Has(r.err, "Selected " + comp_ + " as comparison = 12.5")) << r.err;
  // Present on more than 100 % of the frames: nobody.
  EXPECT_EQ(SplitLines(ReadFile(Dir() / "c.csv")).size(), 1u);
  auto stats = SplitLines(ReadFile(Dir() / "s.csv"));
  for (std::size_t i = 1; i < stats.size(); ++i) {
    auto f = SplitFields(stats[i], ',');
    if (f[0] == comp_) {
      EXPECT_EQ(f[11], "12.5");
    }
  }
  auto axes = Cli_(
      {Frame(), "--comp", comp_, "--x-axis", "7", "--y-axis", "1", "--chart", "c.csv", "--stats", "s.csv", "--quiet"});
  ASSERT_EQ(axes.status, 0);
  auto chart = SplitLines(ReadFile(Dir() / "c.csv"));
  stats = SplitLines(ReadFile(Dir() / "s.csv"));
  ASSERT_GT(chart.size(), 1u);
  auto p = SplitFields(chart[1], ',');
  auto s = SplitFields(stats[static_cast<std::size_t>(std::stoi(p[1]) + 1)], ',');
  EXPECT_EQ(Num(p[2]), Num(s[20])) << "x: von Neumann ratio";
  EXPECT_NEAR(Num(p[3]), std::sqrt(Num(s[8])), 1e-12) << "y: raw standard deviation";
}

TEST_F(Cli, LogGoesToTheFileOrNowhere) {
  auto toFile = Cli_({Frame(), "--log", "run.log"});
  EXPECT_EQ(toFile.status, 0);
  EXPECT_TRUE(toFile.err.empty()) << toFile.err;
  EXPECT_TRUE(Has(ReadFile(Dir() / "run.log"), "XML Loaded"));
  auto quiet = Cli_({Frame(), "--quiet", "--comp", comp_});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_TRUE(quiet.err.empty()) << quiet.err;
  auto noLog = Cli_({Frame(), "--log", (kWork / "no" / "such" / "dir" / "run.log").string()});
  EXPECT_EQ(noLog.status, 1);
}

TEST_F(Cli, FailedWriteIsReportedAndKeepsTheOldFile) {
  fs::create_directories(Dir());
  auto r = Cli_({Frame(), "--comp", comp_, "--stats", (kWork / "missing" / "s.csv").string(), "--chart", "c.csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "Cannot write ")) << r.err;
  EXPECT_TRUE(fs::exists(Dir() / "c.csv")) << "later outputs still run";
}

TEST_F(Cli, UnreadableTableIsAFailureWithTheMessage) {
  fs::create_directories(Dir());
  fs::copy_file(kWork / "field.fit", Dir() / "bad.fit", fs::copy_options::overwrite_existing);
  {
    std::string t = ReadFile(kWork / "field.dat");
    auto at = t.find(' ', t.find("\r\n", t.find("\r\n") + 2) + 2);
    t.replace(at + 1, 1, "x");
    std::FILE* f = std::fopen((Dir() / "bad.dat").string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(t.data(), 1, t.size(), f);
    std::fclose(f);
  }
  auto r = Cli_({(Dir() / "bad.fit").string(), "--frame-info"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "Invalid numeric input")) << r.err;
}

TEST_F(Cli, GzippedExtensionFrameListsItsCardsAsTheyStand) {
  const std::string frame = std::string(MORVIK_TEST_DATA_DIR) + "/frames/extension.fits.gz";
  auto r = Cli_({frame, "--header", "--frame-info", "--contrast", "auto"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "XTENSION\t'IMAGE   '\t/ Image extension\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "HISTORY\t\tcalibrated: bias, dark / flat\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "FILTER\t'V       '\t/ first\nFILTER\t'R       '\t/ repeated keyword\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "CONTINUE\t'strings&'\t\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "\nWidth=7\nHeight=5\nBitPix=16\n")) << r.out;
  EXPECT_TRUE(Has(r.err, "automatic contrast: mink=")) << r.err;
  EXPECT_EQ(Cli_({frame, "--contrast", "autox"}).status, 2);
}

} // namespace
} // namespace morvik
