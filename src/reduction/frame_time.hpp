#pragma once
// When a frame was taken: the Julian Date at mid-exposure read from the header in the
// conventions cameras use, and the optional heliocentric / barycentric correction.

#include <optional>
#include <string>

#include "frames/frame_file.hpp"

namespace morvik::reduction {

enum class TimeAt { Start, Middle };
enum class TimeSystem { Utc, Hjd, Bjd };

struct TimeOptions {
  std::string keyword;              // a JD keyword chosen by the user ("" = find one)
  TimeAt keywordAt = TimeAt::Start; // what the chosen keyword marks
  std::optional<double> exposure;   // seconds, overrides the header
};

struct FrameTime {
  double jdMid = 0;    // Julian Date (UTC) at mid-exposure
  double exposure = 0; // seconds (0 when the header has none)
  bool exposureKnown = false;
  std::string source; // what was read, e.g. "DATE-OBS 2017-12-19T18:33:43.317-0700 (start)"
};

// Reads the time of a frame. The error text says why there is none.
struct TimeResult {
  std::optional<FrameTime> time;
  std::string error;
};
TimeResult ReadFrameTime(const frames::FrameImage& frame, const TimeOptions& options);

// Julian Date (UTC) of a FITS date "YYYY-MM-DD[Thh:mm:ss[.sss]][Z|+hh[:]mm|-hh[:]mm]";
// with timeOfDay ("hh:mm:ss.sss") given, the date part alone is taken from text.
// A time-zone offset names local time: UTC = local - offset.
std::optional<double> ParseFitsDate(const std::string& text, const std::string& timeOfDay = "");

// Sky position in degrees from "hh mm ss.s" / "hh:mm:ss" (right ascension in hours) or
// plain degrees; declination "+dd mm ss" / "dd:mm:ss" or degrees.
std::optional<double> ParseRightAscension(const std::string& text);
std::optional<double> ParseDeclination(const std::string& text);

// Moves a UTC Julian Date to the Sun's centre (HJD, UTC) or to the solar system's
// barycentre in TDB (BJD_TDB) for a target at raDeg, decDeg.
double CorrectTime(double jdUtc, TimeSystem system, double raDeg, double decDeg);

const char* TimeSystemName(TimeSystem system);

} // namespace morvik::reduction
