#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/process.hpp"
#include "common/parse.hpp"
#include "frames/frame_file.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunProgram;
using testing::SplitLines;
using testing::Words;

const fs::path kWork = fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("series-" + std::to_string(::getpid()));

double Num(const std::string& s) {
  auto v = ParseDecimal(s);
  EXPECT_TRUE(v) << s;
  return v.value_or(0.0);
}

struct TruthFrame {
  std::string file, convention;
  double jd = 0, exptime = 0, t[6] = {}, fwhm = 0, sky = 0, transparency = 0;
};
struct TruthStar {
  double x = 0, y = 0, mag = 0;
  std::string kind;
};
struct Truth {
  double zeroPoint = 0, gain = 0;
  std::vector<TruthFrame> frames;             // element index - 1
  std::vector<TruthStar> stars;               // element id - 1
  std::map<std::pair<int, int>, double> mags; // (frame, star) of the stars that vary
};

Truth ReadTruth(const fs::path& path) {
  Truth t;
  auto lines = SplitLines(ReadFile(path));
  EXPECT_EQ(lines.at(0), "# morvik frame-series truth 1");
  for (const auto& line : lines) {
    auto w = Words(line);
    if (w.empty() || w[0][0] == '#') continue;
    if (w[0] == "zero_point") t.zeroPoint = Num(w.at(1));
    if (w[0] == "gain") t.gain = Num(w.at(1));
    if (w[0] == "frame") {
      EXPECT_EQ(w.size(), 15u) << line;
      EXPECT_EQ(Num(w[1]), static_cast<double>(t.frames.size() + 1));
      TruthFrame f{w[2], w[14], Num(w[3]), Num(w[4])};
      for (int i = 0; i < 6; ++i)
        f.t[i] = Num(w[5 + static_cast<std::size_t>(i)]);
      f.fwhm = Num(w[11]), f.sky = Num(w[12]), f.transparency = Num(w[13]);
      t.frames.push_back(f);
    }
    if (w[0] == "star") {
      EXPECT_EQ(Num(w.at(1)), static_cast<double>(t.stars.size() + 1));
      t.stars.push_back({Num(w.at(2)), Num(w.at(3)), Num(w.at(4)), w.at(5)});
    }
    if (w[0] == "mag") t.mags[{std::stoi(w.at(1)), std::stoi(w.at(2))}] = Num(w.at(3));
  }
  return t;
}

// Julian Date at 0 h UT of a Gregorian date (Fliegel & Van Flandern 1968), plus the time.
double JulianDate(int y, int m, int d, double hours) {
  long jdn = (1461L * (y + 4800 + (m - 14) / 12)) / 4 + (367L * (m - 2 - 12 * ((m - 14) / 12))) / 12 -
             (3L * ((y + 4900 + (m - 14) / 12) / 100)) / 4 + d - 32075;
  return static_cast<double>(jdn) - 0.5 + hours / 24.0;
}

double ParseClock(const std::string& s) { // "hh:mm:ss.sss"
  return Num(s.substr(0, 2)) + Num(s.substr(3, 2)) / 60.0 + Num(s.substr(6)) / 3600.0;
}

// Mid-exposure JD from the header the way the truth names the convention.
double HeaderMidJd(const frames::FrameImage& h, const std::string& convention, double exptime) {
  double half = 0.5 * exptime / 86400.0;
  if (convention == "mjd-obs") return h.Number("MJD-OBS").value() + 2400000.5 + half;
  if (convention == "jd-start") return h.Number("JD").value() + half;
  if (convention == "juldat-mid") return h.Number("JULDAT").value();
  std::string date = h.String("DATE-OBS").value();
  int y = std::stoi(date.substr(0, 4)), m = std::stoi(date.substr(5, 2)), d = std::stoi(date.substr(8, 2));
  if (convention == "date+time-obs") return JulianDate(y, m, d, ParseClock(h.String("TIME-OBS").value())) + half;
  double hours = ParseClock(date.substr(11, 12));
  if (convention == "date-obs-tz") { // local time and its offset from UTC: "...-0700"
    EXPECT_EQ(date.size(), 28u) << date;
    std::string zone = date.substr(23);
    double offset = (zone[0] == '-' ? -1 : 1) * (Num(zone.substr(1, 2)) + Num(zone.substr(3, 2)) / 60.0);
    hours -= offset;
  }
  return JulianDate(y, m, d, hours) + half;
}

class FrameSeries : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    fs::remove_all(kWork);
    auto r = RunProgram(MORVIK_FIELDGEN, {"--series", "frames/s", "--seed", "7"}, kWork);
    ASSERT_EQ(r.status, 0) << r.err;
    truth = ReadTruth(kWork / "frames" / "s_truth.txt");
  }
  static void TearDownTestSuite() { fs::remove_all(kWork); }
  static Truth truth;

  static frames::FrameImage Frame(int index) {
    return frames::ReadFrame((kWork / "frames" / truth.frames.at(static_cast<std::size_t>(index - 1)).file).string());
  }
};
Truth FrameSeries::truth;

TEST_F(FrameSeries, WritesTheFramesAndATruthOfEveryStarAndFrame) {
  ASSERT_EQ(truth.frames.size(), 20u);
  ASSERT_EQ(truth.stars.size(), 60u);
  EXPECT_EQ(truth.gain, 1.5);
  EXPECT_EQ(truth.frames[0].file, "s_0001.fits");
  EXPECT_EQ(truth.frames[19].file, "s_0020.fits");
  std::multiset<std::string> kinds;
  for (const auto& s : truth.stars)
    kinds.insert(s.kind);
  EXPECT_EQ(kinds.count("saturated"), 1u);
  EXPECT_EQ(kinds.count("eclipsing"), 1u);
  EXPECT_EQ(kinds.count("pulsating"), 2u);
  EXPECT_EQ(kinds.count("irregular"), 1u);
  EXPECT_EQ(truth.mags.size(), 4u * 20u) << "a magnitude per frame for each variable";
  EXPECT_EQ(
      std::count_if(truth.frames.begin(), truth.frames.end(), [](const TruthFrame& f) { return f.transparency < 0.2; }),
      1)
      << "one cloudy frame";

  // The same seed gives the same bytes, whichever core rendered a frame.
  auto again = RunProgram(MORVIK_FIELDGEN, {"--series", "again/s", "--seed", "7"}, kWork);
  ASSERT_EQ(again.status, 0) << again.err;
  for (const char* name : {"s_0001.fits", "s_0014.fits", "s_truth.txt"})
    EXPECT_TRUE(ReadFile(kWork / "frames" / name) == ReadFile(kWork / "again" / name)) << name;
}

TEST_F(FrameSeries, HeaderTimesGiveTheTruthsMidExposureJdInEveryConvention) {
  std::set<std::string> conventions;
  for (const TruthFrame& t : truth.frames) {
    auto h = frames::ReadFrame((kWork / "frames" / t.file).string(), {.headerOnly = true});
    EXPECT_EQ(h.bitpix, 16);
    EXPECT_EQ(h.Number("EXPTIME").value(), t.exptime);
    EXPECT_EQ(h.Number("GAIN").value(), 1.5);
    EXPECT_GT(h.Number("SATURATE").value(), 50000.0);
    conventions.insert(t.convention);
    EXPECT_NEAR(HeaderMidJd(h, t.convention, t.exptime), t.jd, 2e-8) << t.file << " " << t.convention;
  }
  EXPECT_EQ(conventions.size(), 6u);
}

// Centroid with the sky of an annulus taken off, iterated from the brightest pixel
// near (x, y); returns the electrons within three FWHM of it.
double Measure(const frames::FrameImage& img, double fwhm, double gain, double& x, double& y) {
  long px = std::lround(x), py = std::lround(y);
  for (long yy = std::lround(y) - 3; yy <= std::lround(y) + 3; ++yy)
    for (long xx = std::lround(x) - 3; xx <= std::lround(x) + 3; ++xx)
      if (img.at(xx, yy) > img.at(px, py)) px = xx, py = yy;
  x = static_cast<double>(px), y = static_cast<double>(py);
  double flux = 0;
  for (int pass = 0; pass < 5; ++pass) {
    std::vector<float> ring;
    for (long yy = py - 24; yy <= py + 24; ++yy)
      for (long xx = px - 24; xx <= px + 24; ++xx) {
        double d = std::hypot(xx - x, yy - y);
        if (d > 18 && d < 24) ring.push_back(img.at(xx, yy));
      }
    std::nth_element(ring.begin(), ring.begin() + static_cast<long>(ring.size() / 2), ring.end());
    double sky = static_cast<double>(ring[ring.size() / 2]), sx = 0, sy = 0, s = 0;
    flux = 0;
    for (long yy = py - 14; yy <= py + 14; ++yy)
      for (long xx = px - 14; xx <= px + 14; ++xx) {
        double d = std::hypot(xx - x, yy - y), v = static_cast<double>(img.at(xx, yy)) - sky;
        if (d < 1.5 * fwhm) sx += v * static_cast<double>(xx), sy += v * static_cast<double>(yy), s += v;
        if (d < 3 * fwhm) flux += v * gain;
      }
    x = sx / s, y = sy / s;
  }
  return flux;
}

TEST_F(FrameSeries, StarsLandWhereTheTransformSaysWithTheirLightAlsoOnTheTurnedFrame) {
  // The flipped frame: a turn by 180 degrees.
  int flipped = 0;
  for (int k = 1; k <= static_cast<int>(truth.frames.size()); ++k)
    if (truth.frames[static_cast<std::size_t>(k - 1)].t[0] < -0.99) flipped = k;
  ASSERT_GT(flipped, 1);
  const double* ft = truth.frames[static_cast<std::size_t>(flipped - 1)].t;
  EXPECT_NEAR(ft[4], -1.0, 1e-3);
  EXPECT_NEAR(ft[0] * ft[4] - ft[1] * ft[3], 1.0, 1e-6);

  // Bright constant stars with no bright neighbour, measured on frame 1, a shifted
  // frame and the turned one: where they are and how much light they give.
  for (int k : {1, 2, flipped}) {
    const TruthFrame& f = truth.frames[static_cast<std::size_t>(k - 1)];
    auto img = Frame(k);
    int measured = 0, photometered = 0;
    for (std::size_t i = 0; i < truth.stars.size(); ++i) {
      const TruthStar& s = truth.stars[i];
      if (s.kind != "constant" || s.mag > 13.0) continue;
      bool alone = std::none_of(truth.stars.begin(), truth.stars.end(), [&](const TruthStar& o) {
        return &o != &s && std::hypot(o.x - s.x, o.y - s.y) < 16 && o.mag < s.mag + 3;
      });
      double x = f.t[0] * s.x + f.t[1] * s.y + f.t[2], y = f.t[3] * s.x + f.t[4] * s.y + f.t[5];
      if (!alone || x < 25 || y < 25 || x > img.width - 26 || y > img.height - 26) continue;
      double cx = x + 0.7, cy = y - 0.6;
      double flux = Measure(img, f.fwhm, truth.gain, cx, cy);
      EXPECT_NEAR(cx, x, 0.1) << "frame " << k << " star " << i + 1;
      EXPECT_NEAR(cy, y, 0.1) << "frame " << k << " star " << i + 1;
      ++measured;
      if (s.mag > 11.0) continue; // fainter ones: the sky's noise in the aperture is a few %
      // A Moffat profile of exponent 3 keeps (1 + r^2 / alpha^2)^-2 of its light
      // outside radius r.
      double alpha = f.fwhm / (2.0 * std::sqrt(std::cbrt(2.0) - 1.0)), r2 = 9.0 * f.fwhm * f.fwhm;
      double expected = std::pow(10.0, -0.4 * (s.mag - truth.zeroPoint)) * f.exptime * f.transparency *
                        (1.0 - std::pow(1.0 + r2 / (alpha * alpha), -2.0));
      EXPECT_NEAR(flux / expected, 1.0, 0.03) << "frame " << k << " star " << i + 1;
      ++photometered;
    }
    EXPECT_GE(measured, 3) << "frame " << k;
    EXPECT_GE(photometered, 1) << "frame " << k;
  }
}

TEST_F(FrameSeries, TheSaturatedStarIsClippedOnClearFrames) {
  auto it =
      std::find_if(truth.stars.begin(), truth.stars.end(), [](const TruthStar& s) { return s.kind == "saturated"; });
  ASSERT_NE(it, truth.stars.end());
  for (int k : {1, 2}) {
    const TruthFrame& f = truth.frames[static_cast<std::size_t>(k - 1)];
    auto img = Frame(k);
    double x = f.t[0] * it->x + f.t[1] * it->y + f.t[2], y = f.t[3] * it->x + f.t[4] * it->y + f.t[5];
    EXPECT_EQ(img.at(std::lround(x), std::lround(y)), 65535.0f) << "frame " << k;
  }
}

} // namespace
} // namespace morvik
