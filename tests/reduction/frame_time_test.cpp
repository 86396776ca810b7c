#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "reduction/frame_time.hpp"
#include "reduction/reduce.hpp"
#include "synthetic_frames.hpp"
#include "work_dir.hpp"

namespace morvik::reduction {
namespace {

frames::FrameImage Header(std::vector<std::pair<std::string, std::string>> cards) {
  frames::FrameImage f;
  for (auto& [k, v] : cards)
    f.cards.push_back({k, v, "", ""});
  return f;
}

// 2017-12-20 01:33:43.317 UTC, the start of a 60 s exposure.
constexpr double kStart = 2458107.5 + (1 * 3600 + 33 * 60 + 43.317) / 86400.0;
constexpr double kMid = kStart + 30.0 / 86400.0;

TEST(FrameTime, HeaderConventionsGiveTheMidExposureJd) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> cards;
    TimeOptions options;
    double jd;
  };
  TimeOptions middle;
  middle.keyword = "JDX";
  middle.keywordAt = TimeAt::Middle;
  TimeOptions startKey;
  startKey.keyword = "JULDAT";
  const std::vector<Case> cases = {
      {"DATE-OBS UTC", {{"DATE-OBS", "'2017-12-20T01:33:43.317'"}, {"EXPTIME", "60"}}, {}, kMid},
      {"DATE-OBS Z", {{"DATE-OBS", "'2017-12-20T01:33:43.317Z'"}, {"EXPTIME", "60"}}, {}, kMid},
      {"local -0700", {{"DATE-OBS", "'2017-12-19T18:33:43.317-0700'"}, {"EXPTIME", "60."}}, {}, kMid},
      {"local +05:30", {{"DATE-OBS", "'2017-12-20T07:03:43.317+05:30'"}, {"EXPOSURE", "60"}}, {}, kMid},
      {"date + TIME-OBS", {{"DATE-OBS", "'2017-12-20'"}, {"TIME-OBS", "'01:33:43.317'"}, {"EXPTIME", "60"}}, {}, kMid},
      {"MJD-OBS", {{"MJD-OBS", "58107.06508468750"}, {"EXPTIME", "60"}}, {}, kMid},
      {"JD start", {{"JD", "2458107.56508468750"}, {"EXPTIME", "60"}}, {}, kMid},
      {"JULDAT middle", {{"JULDAT", "2458107.56543190972"}, {"EXPTIME", "60"}}, {}, kMid},
      {"JULDAT wins over DATE-OBS",
       {{"DATE-OBS", "'2000-01-01T00:00:00'"}, {"JULDAT", "2458107.56543190972"}},
       {},
       kMid},
      {"chosen keyword, middle", {{"JDX", "2458107.56543190972"}, {"EXPTIME", "60"}}, middle, kMid},
      {"chosen keyword, start", {{"JULDAT", "2458107.56508468750"}, {"EXPTIME", "60"}}, startKey, kMid},
      {"no exposure: start", {{"DATE-OBS", "'2017-12-20T01:33:43.317'"}}, {}, kStart},
  };
  for (const Case& c : cases) {
    const TimeResult r = ReadFrameTime(Header(c.cards), c.options);
    ASSERT_TRUE(r.time.has_value()) << c.name << ": " << r.error;
    EXPECT_NEAR(r.time->jdMid, c.jd, 1e-6) << c.name;
    EXPECT_FALSE(r.time->source.empty()) << c.name;
  }
}

TEST(FrameTime, FramesWithoutATimeSayWhy) {
  for (const auto& cards :
       std::vector<std::vector<std::pair<std::string, std::string>>>{{},
                                                                     {{"DATE-OBS", "'2017-12-20'"}},
                                                                     {{"DATE-OBS", "'20/12/17'"}},
                                                                     {{"DATE-OBS", "'2017-12-20T25:00:00'"}},
                                                                     {{"JD", "-4581087.5"}},
                                                                     {{"MJD-OBS", "1e300"}}}) {
    const TimeResult r = ReadFrameTime(Header(cards), {});
    EXPECT_FALSE(r.time.has_value());
    EXPECT_NE(r.error.find("no time"), std::string::npos) << r.error;
  }
  TimeOptions missing;
  missing.keyword = "JULDAT";
  EXPECT_FALSE(ReadFrameTime(Header({{"JD", "2458107.5"}}), missing).time.has_value());
}

TEST(FrameTime, SkyPositionsAndCorrectedTimes) {
  EXPECT_NEAR(*ParseRightAscension("10 00 00"), 150.0, 1e-9);
  EXPECT_NEAR(*ParseRightAscension("10:30:36"), 157.65, 1e-9);
  EXPECT_NEAR(*ParseRightAscension("150.5"), 150.5, 1e-9);
  EXPECT_NEAR(*ParseDeclination("-20 30 00"), -20.5, 1e-9);
  EXPECT_NEAR(*ParseDeclination("+05:15:00"), 5.25, 1e-9);
  EXPECT_FALSE(ParseDeclination("95").has_value());
  EXPECT_FALSE(ParseRightAscension("ten").has_value());
  // Beyond a full circle, or so large that hours overflow: no right ascension.
  for (const char* text : {"24 00 01", "361", "-10", "1e308 1"})
    EXPECT_FALSE(ParseRightAscension(text).has_value()) << text;
  // Reference values from astropy (geocentric observer).
  const double jd = 2458107.565431;
  EXPECT_NEAR(CorrectTime(jd, TimeSystem::Bjd, 150, 20), 2458107.56931083, 1e-6);
  EXPECT_NEAR(CorrectTime(jd, TimeSystem::Hjd, 150, 20), 2458107.56849910, 1e-6);
  EXPECT_EQ(CorrectTime(jd, TimeSystem::Utc, 150, 20), jd);
}

// The same instant written in the scales cameras and pipelines use: TT runs 69.184 s
// and TAI 37 s ahead of UTC in 2017, GPS 18 s ahead. A clock with a zone offset is
// civil time whatever TIMESYS says; a scale not known is taken as UTC, with a warning.
TEST(FrameTime, TimeScalesComeBackToUtc) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> cards;
    double jd;
    const char* warning; // a piece of the expected warning, "" for none
  };
  const std::vector<Case> cases = {
      {"TT", {{"DATE-OBS", "'2017-12-20T01:34:52.501'"}, {"TIMESYS", "'TT      '"}, {"EXPTIME", "60"}}, kMid, ""},
      {"TAI", {{"DATE-OBS", "'2017-12-20T01:34:20.317'"}, {"TIMESYS", "'TAI'"}, {"EXPTIME", "60"}}, kMid, ""},
      {"GPS", {{"DATE-OBS", "'2017-12-20T01:34:01.317'"}, {"TIMESYS", "'GPS'"}, {"EXPTIME", "60"}}, kMid, ""},
      {"UTC said", {{"DATE-OBS", "'2017-12-20T01:33:43.317'"}, {"TIMESYS", "'UTC'"}, {"EXPTIME", "60"}}, kMid, ""},
      {"MJD-OBS in TT", {{"MJD-OBS", "58107.06588542824"}, {"TIMESYS", "'TT'"}, {"EXPTIME", "60"}}, kMid, ""},
      {"zone offset stays civil",
       {{"DATE-OBS", "'2017-12-19T18:33:43.317-0700'"}, {"TIMESYS", "'TT'"}, {"EXPTIME", "60"}},
       kMid,
       ""},
      {"DATE-AVG is the middle", {{"DATE-AVG", "'2017-12-20T01:34:13.317'"}, {"EXPTIME", "60"}}, kMid, ""},
      {"DATE-AVG before DATE-OBS",
       {{"DATE-OBS", "'2017-12-20T01:33:43.317'"}, {"DATE-AVG", "'2017-12-20T01:34:13.317'"}},
       kMid,
       "no exposure time"},
      {"MJD-AVG in TT", {{"MJD-AVG", "58107.06623265046"}, {"TIMESYS", "'TT'"}}, kMid, "no exposure time"},
      {"no exposure: start as middle", {{"DATE-OBS", "'2017-12-20T01:33:43.317'"}}, kStart, "stands for its middle"},
      {"no exposure, TT start",
       {{"DATE-OBS", "'2017-12-20T01:34:52.501'"}, {"TIMESYS", "'TT'"}},
       kStart,
       "stands for its middle"},
      {"unknown scale",
       {{"DATE-OBS", "'2017-12-20T01:33:43.317'"}, {"TIMESYS", "'LOCAL'"}, {"EXPTIME", "60"}},
       kMid,
       "TIMESYS 'LOCAL'"},
  };
  for (const Case& c : cases) {
    const TimeResult r = ReadFrameTime(Header(c.cards), {});
    ASSERT_TRUE(r.time.has_value()) << c.name << ": " << r.error;
    EXPECT_NEAR((r.time->jdMid - c.jd) * 86400.0, 0.0, 0.002) << c.name << " (seconds)";
    if (*c.warning == '\0') {
      EXPECT_EQ(r.time->warning, "") << c.name;
    } else {
      EXPECT_NE(r.time->warning.find(c.warning), std::string::npos) << c.name << ": " << r.time->warning;
    }
  }
  // A mid-exposure time without an exposure is still warned of (the magnitudes need it).
  const TimeResult mid = ReadFrameTime(Header({{"JULDAT", "2458107.56543190972"}}), {});
  ASSERT_TRUE(mid.time.has_value());
  EXPECT_EQ(mid.time->warning, "no exposure time (EXPTIME, EXPOSURE)");
}

// BJD (TDB) through the whole reduction: a TT header, the target's position from the
// header's RA/DEC, away from the equator and from RA = Dec. Reference values from
// astropy 5.2 (geocentric observer), computed once with:
//   t = Time('2023-03-01T21:MM:05', scale='tt', location=EarthLocation.from_geocentric(0,0,0,'m'))
//   (t.tdb + t.light_travel_time(SkyCoord(75*u.deg, 48.5*u.deg), 'barycentric')).jd
// for MM = 10, 20, 30 (the middle of 10 s exposures started at MM:00 TT).
TEST(FrameTime, BarycentricTimesOfAReducedSeries) {
  const auto dir = morvik::testing::TestWorkDir("bjd");
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto stars = morvik::testing::SynthField(12, 96, 96, 5);
  ReduceSettings s;
  for (int k = 0; k < 3; ++k) {
    morvik::testing::SynthFrame fr;
    fr.width = fr.height = 96;
    fr.c = 1.5 * k;
    fr.textCards = {{"DATE-OBS", "2023-03-01T21:" + std::to_string(10 + 10 * k) + ":00"},
                    {"TIMESYS", "TT"},
                    {"RA", "05 00 00"},
                    {"DEC", "+48 30 00"}};
    const std::string path = (dir / ("f" + std::to_string(k) + ".fits")).string();
    ASSERT_TRUE(morvik::testing::WriteSynthFrame(path, fr, stars, static_cast<unsigned>(k + 3)));
    s.frames.push_back(path);
  }
  s.out = (dir / "field").string();
  s.system = TimeSystem::Bjd;
  std::atomic<bool> cancel{false};
  const ReduceResult r = Reduce(s, {}, cancel);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_NEAR(r.ra, 75.0, 1e-9);
  EXPECT_NEAR(r.dec, 48.5, 1e-9);
  const double expected[3] = {2460005.382739836, 2460005.389683660, 2460005.396627484};
  ASSERT_EQ(r.frames.size(), 3u);
  for (int k = 0; k < 3; ++k)
    EXPECT_NEAR((r.frames[static_cast<std::size_t>(k)].jd - expected[k]) * 86400.0, 0.0, 0.01) << "frame " << k;
  std::filesystem::remove_all(dir);
}

} // namespace
} // namespace morvik::reduction
