#include "reduction/frame_time.hpp"

#include <erfa.h>
#include <erfam.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "common/parse.hpp"
#include <charconv>

namespace morvik::reduction {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kMjdZero = 2400000.5;

std::string Shortest(double value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Reads exactly `digits` decimal digits at text[pos].
std::optional<int> Digits(const std::string& text, std::size_t pos, std::size_t digits) {
  if (pos + digits > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = pos; i < pos + digits; ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// "hh:mm:ss[.sss]" followed by an optional zone; seconds of the day (zone applied)
// and the position after the time.
std::optional<double> ParseTimeOfDay(const std::string& text) {
  auto h = Digits(text, 0, 2), m = Digits(text, 3, 2), s = Digits(text, 6, 2);
  if (!h || !m || !s || text[2] != ':' || text[5] != ':' || *h > 23 || *m > 59 || *s > 60) return std::nullopt;
  double seconds = *h * 3600.0 + *m * 60.0 + *s;
  std::size_t pos = 8;
  if (pos < text.size() && text[pos] == '.') {
    std::size_t end = pos + 1;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0)
      ++end;
    if (end > pos + 1) seconds += std::strtod(text.substr(pos, end - pos).c_str(), nullptr);
    pos = end;
  }
  std::string zone = Trimmed(text.substr(pos));
  if (zone.empty() || zone == "Z" || zone == "UTC" || zone == "UT") return seconds;
  if (zone[0] != '+' && zone[0] != '-') return std::nullopt;
  const double sign = zone[0] == '-' ? -1.0 : 1.0;
  auto zh = Digits(zone, 1, 2);
  std::size_t mpos = zone.size() > 3 && zone[3] == ':' ? 4 : 3;
  std::optional<int> zm = zone.size() > 3 ? Digits(zone, mpos, 2) : std::optional<int>(0);
  if (!zh || !zm || zone.size() != (zone.size() > 3 ? mpos + 2 : 3)) return std::nullopt;
  // Local time = UTC + offset.
  return seconds - sign * (*zh * 3600.0 + *zm * 60.0);
}

std::optional<double> Sexagesimal(const std::string& raw) {
  std::string text = Trimmed(raw);
  for (char& c : text)
    if (c == ':' || c == 'h' || c == 'd' || c == 'm' || c == 's' || c == '\'' || c == '"') c = ' ';
  std::vector<double> parts;
  bool negative = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && text[pos] == ' ')
      ++pos;
    if (pos >= text.size()) break;
    std::size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    std::string token = text.substr(pos, end - pos);
    if (parts.empty() && !token.empty() && token[0] == '-') negative = true;
    auto value = ParseDecimal(token);
    if (!value) return std::nullopt;
    parts.push_back(std::abs(*value));
    pos = end;
  }
  if (parts.empty() || parts.size() > 3) return std::nullopt;
  double value = 0, unit = 1;
  for (double p : parts) {
    value += p / unit;
    unit *= 60;
  }
  return negative ? -value : value;
}

// A clock reading ("hh:mm:ss...", or the part after a date's 'T') that ends in a zone
// offset ("...-0700", "+05:30").
bool HasZone(const std::string& raw, bool isDate) {
  const std::string text = Trimmed(raw);
  if (isDate && text.size() <= 11) return false;
  return text.substr(isDate ? 11 : 0).find_first_of("+-") != std::string::npos;
}

bool HasSeparators(const std::string& text) { return Trimmed(text).find_first_of(" :hdm") != std::string::npos; }

// A JD or MJD value: values below 10^6 are taken as MJD.
double AsJd(double value) { return value < 1e6 ? value + kMjdZero : value; }

} // namespace

std::optional<double> ParseFitsDate(const std::string& raw, const std::string& timeOfDay) {
  const std::string text = Trimmed(raw);
  auto y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2);
  if (!y || !mo || !d || text[4] != '-' || text[7] != '-') return std::nullopt;
  double djm0 = 0, djm = 0;
  if (eraCal2jd(*y, *mo, *d, &djm0, &djm) != 0) return std::nullopt;
  std::optional<double> seconds;
  if (!timeOfDay.empty()) {
    seconds = ParseTimeOfDay(Trimmed(timeOfDay));
  } else if (text.size() > 10 && (text[10] == 'T' || text[10] == ' ')) {
    seconds = ParseTimeOfDay(text.substr(11));
  }
  if (!seconds) return std::nullopt;
  return kMjdZero + (djm + *seconds / kSecondsPerDay);
}

std::optional<double> ParseRightAscension(const std::string& text) {
  auto value = Sexagesimal(text);
  if (!value) return std::nullopt;
  // Hours when written with separators, degrees otherwise; a full circle at most.
  const double degrees = HasSeparators(text) ? *value * 15.0 : *value;
  if (!std::isfinite(degrees) || degrees < 0.0 || degrees > 360.0) return std::nullopt;
  return degrees;
}

std::optional<double> ParseDeclination(const std::string& text) {
  auto value = Sexagesimal(text);
  if (!value || std::abs(*value) > 90) return std::nullopt;
  return value;
}

namespace {

// Julian Dates of the years 763 to 3501: anything else is no time of an observation.
TimeResult Plausible(TimeResult r) {
  if (r.time && !(r.time->jdMid > 2000000.0 && r.time->jdMid < 3000000.0))
    return {std::nullopt, "no time: " + r.time->source + " is no date of an observation"};
  return r;
}

TimeResult ReadTime(const frames::FrameImage& frame, const TimeOptions& options);

const char* ScaleName(HeaderTimeScale scale) {
  switch (scale) {
  case HeaderTimeScale::Tt:
    return "TT";
  case HeaderTimeScale::Tai:
    return "TAI";
  case HeaderTimeScale::Gps:
    return "GPS";
  case HeaderTimeScale::Tdb:
    return "TDB";
  default:
    return "UTC";
  }
}

// Splits a Julian Date the way ERFA keeps most precision.
void Split(double jd, double& d1, double& d2) {
  d1 = kMjdZero;
  d2 = jd - kMjdZero;
}

// The header's times are in the scale TIMESYS names; the frame's JD is UTC. A date
// with a zone offset is a civil (UTC-based) clock reading whatever TIMESYS says.
TimeResult InScale(TimeResult r, const frames::FrameImage& frame) {
  if (!r.time) return r;
  auto text = frame.String("TIMESYS");
  if (!text) return r;
  const std::string written = Trimmed(*text);
  auto scale = ParseTimeScale(written);
  if (!scale) {
    r.time->warning = "TIMESYS '" + written + "' is not a time scale known here: the times are taken as UTC";
    return r;
  }
  if (*scale == HeaderTimeScale::Utc || r.time->zoned) return r;
  // No date of an observation (refused after): nothing for the leap-second table.
  if (!(r.time->jdMid > 2000000.0 && r.time->jdMid < 3000000.0)) return r;
  r.time->jdMid = ToUtc(r.time->jdMid, *scale);
  r.time->source += std::string(", TIMESYS ") + ScaleName(*scale);
  return r;
}

// A frame without an exposure time: its magnitudes and, for a start time, its time
// are doubtful.
TimeResult Warned(TimeResult r) {
  if (!r.time || r.time->exposureKnown) return r;
  const bool start = r.time->source.find("(start)") != std::string::npos;
  if (!r.time->warning.empty()) r.time->warning += "; ";
  r.time->warning += start ? "no exposure time (EXPTIME, EXPOSURE): the start of the exposure stands for its middle"
                           : "no exposure time (EXPTIME, EXPOSURE)";
  return r;
}

} // namespace

std::optional<HeaderTimeScale> ParseTimeScale(const std::string& raw) {
  std::string t;
  for (char c : Trimmed(raw))
    t += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (t.empty() || t == "UTC" || t == "UT" || t == "Z") return HeaderTimeScale::Utc;
  if (t == "TT" || t == "TDT" || t == "ET") return HeaderTimeScale::Tt;
  if (t == "TAI" || t == "IAT") return HeaderTimeScale::Tai;
  if (t == "GPS") return HeaderTimeScale::Gps;
  if (t == "TDB") return HeaderTimeScale::Tdb;
  return std::nullopt;
}

double ToUtc(double jd, HeaderTimeScale scale) {
  if (scale == HeaderTimeScale::Utc) return jd;
  double a1 = 0, a2 = 0, tai1 = 0, tai2 = 0;
  Split(jd, a1, a2);
  switch (scale) {
  case HeaderTimeScale::Tdb: {
    // TT = TDB - (TDB - TT); the difference (under 2 ms) barely depends on which is used.
    const double tdbMinusTt = eraDtdb(a1, a2, 0.0, 0.0, 0.0, 0.0) / kSecondsPerDay;
    eraTttai(a1, a2 - tdbMinusTt, &tai1, &tai2);
    break;
  }
  case HeaderTimeScale::Tt:
    eraTttai(a1, a2, &tai1, &tai2);
    break;
  case HeaderTimeScale::Gps: // GPS time runs 19 s behind TAI
    tai1 = a1;
    tai2 = a2 + 19.0 / kSecondsPerDay;
    break;
  default:
    tai1 = a1;
    tai2 = a2;
  }
  double u1 = 0, u2 = 0;
  if (eraTaiutc(tai1, tai2, &u1, &u2) < 0) return tai1 + tai2;
  return u1 + u2;
}

TimeResult ReadFrameTime(const frames::FrameImage& frame, const TimeOptions& options) {
  return Plausible(Warned(InScale(ReadTime(frame, options), frame)));
}

namespace {

TimeResult ReadTime(const frames::FrameImage& frame, const TimeOptions& options) {
  FrameTime time;
  if (options.exposure) {
    time.exposure = *options.exposure;
    time.exposureKnown = true;
  } else {
    for (const char* key : {"EXPTIME", "EXPOSURE"}) {
      if (auto e = frame.Number(key); e && *e >= 0) {
        time.exposure = *e;
        time.exposureKnown = true;
        break;
      }
    }
  }
  const double half = time.exposure / 2.0 / kSecondsPerDay;
  auto numberSource = [&](const std::string& key, double value, bool middle) {
    time.jdMid = AsJd(value) + (middle ? 0.0 : half);
    time.source = key + " " + Shortest(value) + (middle ? " (mid-exposure)" : " (start)");
    return TimeResult{time, ""};
  };

  if (!options.keyword.empty()) {
    auto value = frame.Number(options.keyword);
    if (!value) return {std::nullopt, "no time: no number in " + options.keyword};
    return numberSource(options.keyword, *value, options.keywordAt == TimeAt::Middle);
  }
  // Keywords that mark the middle of the exposure.
  for (const char* key : {"JD-MID", "MJD-MID", "JULDAT", "MJD-AVG"}) {
    if (auto value = frame.Number(key)) return numberSource(key, *value, true);
  }
  if (auto date = frame.String("DATE-AVG")) {
    if (auto jd = ParseFitsDate(*date)) {
      time.jdMid = *jd;
      time.zoned = HasZone(*date, true);
      time.source = "DATE-AVG " + Trimmed(*date) + " (mid-exposure)";
      return {time, ""};
    }
  }
  if (auto date = frame.String("DATE-OBS")) {
    std::string clock;
    for (const char* key : {"TIME-OBS", "UT", "UTSTART"}) {
      if (auto t = frame.String(key); t && Trimmed(*date).size() <= 10) {
        clock = *t;
        break;
      }
    }
    if (auto jd = ParseFitsDate(*date, clock)) {
      time.jdMid = *jd + half;
      time.zoned = clock.empty() ? HasZone(*date, true) : HasZone(clock, false);
      time.source = "DATE-OBS " + Trimmed(*date) + (clock.empty() ? "" : " TIME-OBS " + Trimmed(clock)) + " (start)";
      return {time, ""};
    }
  }
  for (const char* key : {"MJD-OBS", "JD", "JD-OBS"}) {
    if (auto value = frame.Number(key)) return numberSource(key, *value, false);
  }
  if (auto date = frame.String("DATE-OBS"))
    return {std::nullopt, "no time: DATE-OBS '" + *date + "' holds no time of day"};
  return {std::nullopt, "no time: none of DATE-OBS, MJD-OBS, JD, JULDAT"};
}

} // namespace

// The light-time (Roemer) correction: the dot product of the observer's position
// relative to the Sun (HJD) or to the barycentre (BJD) with the unit vector to the
// target, divided by the speed of light. BJD is counted in TDB. After Eastman, Siverd
// & Gaudi (2010), PASP 122, 935, "Achieving Better Than 1 Minute Accuracy in the
// Heliocentric and Barycentric Julian Dates". Earth's centre stands for the observer
// (at most 21 ms off).
double CorrectTime(double jdUtc, TimeSystem system, double raDeg, double decDeg) {
  if (system == TimeSystem::Utc) return jdUtc;
  double tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
  // Outside ERFA's table of leap seconds, TAI stands for UTC.
  if (eraUtctai(kMjdZero, jdUtc - kMjdZero, &tai1, &tai2) < 0) {
    tai1 = kMjdZero;
    tai2 = jdUtc - kMjdZero;
  }
  eraTaitt(tai1, tai2, &tt1, &tt2);
  const double tdbMinusTt = eraDtdb(tt1, tt2, 0.0, 0.0, 0.0, 0.0) / kSecondsPerDay;
  double pvh[2][3] = {}, pvb[2][3] = {};
  eraEpv00(tt1, tt2 + tdbMinusTt, pvh, pvb);
  const double ra = raDeg * ERFA_DD2R, dec = decDeg * ERFA_DD2R;
  const double n[3] = {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
  const double(&p)[3] = system == TimeSystem::Hjd ? pvh[0] : pvb[0];
  const double lightDays = (p[0] * n[0] + p[1] * n[1] + p[2] * n[2]) * ERFA_AULT / kSecondsPerDay;
  if (system == TimeSystem::Hjd) return jdUtc + lightDays;
  return tt1 + (tt2 + tdbMinusTt) + lightDays;
}

const char* TimeSystemName(TimeSystem system) {
  switch (system) {
  case TimeSystem::Hjd:
    return "HJD (UTC), heliocentric, Julian Date at mid-exposure";
  case TimeSystem::Bjd:
    return "BJD (TDB), barycentric, Julian Date at mid-exposure";
  default:
    return "JD (UTC), geocentric, Julian Date at mid-exposure";
  }
}

} // namespace morvik::reduction
