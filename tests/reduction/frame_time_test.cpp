#include <gtest/gtest.h>

#include "reduction/frame_time.hpp"

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

} // namespace
} // namespace morvik::reduction
