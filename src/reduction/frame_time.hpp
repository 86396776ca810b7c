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

// The time scale a header's times are written in (TIMESYS; UTC when absent).
enum class HeaderTimeScale { Utc, Tt, Tai, Gps, Tdb };

struct FrameTime {
  double jdMid = 0;    // Julian Date (UTC) at mid-exposure
  double exposure = 0; // seconds (0 when the header has none)
  bool exposureKnown = false;
  std::string source; // what was read, e.g. "DATE-OBS 2017-12-19T18:33:43.317-0700 (start)"
  bool zoned = false; // a clock reading with a zone offset: civil time, whatever TIMESYS says
  // For the report: why this time may be off ("" when nothing is doubtful), e.g. a
  // frame without an exposure time whose start stands for its middle.
  std::string warning;
};

// Reads the time of a frame. The error text says why there is none.
struct TimeResult {
  std::optional<FrameTime> time;
  std::string error;
};
TimeResult ReadFrameTime(const frames::FrameImage& frame, const TimeOptions& options);

// The scale of a TIMESYS value ("UTC", "TT", "TAI", ...); nullopt when not understood.
std::optional<HeaderTimeScale> ParseTimeScale(const std::string& timesys);

// A Julian Date of the given scale as a Julian Date in UTC (through ERFA's leap-second
// table; before 1960 and beyond the table TAI stands for UTC).
double ToUtc(double jd, HeaderTimeScale scale);

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
