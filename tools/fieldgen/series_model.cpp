#include "series_model.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace fieldgen {
namespace {

constexpr double kUnixEpochJd = 2440587.5;
constexpr double kSaturatedMag = 7.0; // peaks well above 65535 ADU in any seeing
constexpr double kCloudTransparency = 0.1;

double RoundTo(double v, double step) { return std::round(v / step) * step; }

const char* KindOf(const Field& f, const Star& s) {
  if (s.variable < 0) return "constant";
  switch (f.variables[static_cast<std::size_t>(s.variable)].type) {
  case VariableType::EclipsingBinary:
    return "eclipsing";
  case VariableType::RRLyrae:
  case VariableType::ShortPeriodPulsator:
    return "pulsating";
  case VariableType::Irregular:
    return "irregular";
  }
  return "constant";
}

// The brightest constant star in the middle of the frame (not the comparison star)
// becomes far too bright for the camera.
int PickSaturated(const Field& f) {
  int best = -1;
  for (std::size_t i = 0; i < f.stars.size(); ++i) {
    const Star& s = f.stars[i];
    if (s.variable >= 0 || static_cast<int>(i) + 1 == f.comparisonId) continue;
    bool inside = std::fabs(s.x - 0.5 * f.width) < 0.3 * f.width && std::fabs(s.y - 0.5 * f.height) < 0.3 * f.height;
    if (!inside) continue;
    if (best < 0 || s.m < f.stars[static_cast<std::size_t>(best)].m) best = static_cast<int>(i);
  }
  return best;
}

// Frame k's pointing: a turn by angle about the frame's centre and a shift. The
// coefficients are rounded as the truth file writes them, so that the file is exact.
void SetPointing(SeriesFrame& fr, double angle, double shiftX, double shiftY, int w, int h) {
  const double cx = 0.5 * (w - 1), cy = 0.5 * (h - 1);
  fr.a = RoundTo(std::cos(angle), 1e-8);
  fr.b = RoundTo(-std::sin(angle), 1e-8);
  fr.d = -fr.b;
  fr.e = fr.a;
  fr.c = RoundTo(cx - fr.a * cx - fr.b * cy + shiftX, 1e-6);
  fr.f = RoundTo(cy - fr.d * cx - fr.e * cy + shiftY, 1e-6);
}

} // namespace

const char* ConventionName(TimeConvention c) {
  switch (c) {
  case TimeConvention::DateObs:
    return "date-obs";
  case TimeConvention::DateTimeObs:
    return "date+time-obs";
  case TimeConvention::DateObsZone:
    return "date-obs-tz";
  case TimeConvention::MjdObs:
    return "mjd-obs";
  case TimeConvention::JdStart:
    return "jd-start";
  case TimeConvention::JuldatMid:
    return "juldat-mid";
  }
  return "unknown";
}

double JulianDateOfMs(long long ms) { return kUnixEpochJd + static_cast<double>(ms) / 86400000.0; }

Series MakeSeries(const FieldOptions& options, const std::string& prefix) {
  Series s;
  s.field = MakeField(options);
  const Field& f = s.field;
  s.width = f.width;
  s.height = f.height;
  const int n = static_cast<int>(f.times.size());

  s.saturatedId = PickSaturated(f) + 1;
  for (std::size_t i = 0; i < f.stars.size(); ++i) {
    bool saturated = static_cast<int>(i) + 1 == s.saturatedId;
    s.mags.push_back(saturated ? kSaturatedMag : f.stars[i].m);
    s.kinds.emplace_back(saturated ? "saturated" : KindOf(f, f.stars[i]));
  }

  // The meridian flip and the clouds come in the second and first third of the run;
  // frame 1 is always an ordinary frame.
  if (n >= 3) {
    s.flippedFrame = 2 * n / 3;
    s.cloudyFrame = n / 3;
  } else if (n == 2) {
    s.flippedFrame = 1;
  }

  // Exposures shorter than half the mean spacing, so that no two overlap.
  double spacing = n > 1 ? (f.times.back() - f.times.front()) / (n - 1) * 86400.0 : 120.0;
  double exposure = std::clamp(0.5 * spacing, 1.0, 60.0);
  const double jitter = std::min(40.0, 0.12 * std::min(s.width, s.height));

  Rng rng(options.seed ^ 0x5E41E5F4A3E5ULL);
  for (int k = 0; k < n; ++k) {
    SeriesFrame fr;
    char name[32];
    std::snprintf(name, sizeof name, "_%04d.fits", k + 1);
    fr.file = prefix + name;
    fr.exptime = RoundTo(exposure * (1.0 + 0.05 * (2.0 * rng.Uniform() - 1.0)), 0.1);
    double startJd = f.times[static_cast<std::size_t>(k)] - 0.5 * fr.exptime / 86400.0;
    fr.startMs = std::llround((startJd - kUnixEpochJd) * 86400000.0);
    fr.jdMid = JulianDateOfMs(fr.startMs) + 0.5 * fr.exptime / 86400.0;
    fr.convention = static_cast<TimeConvention>(k % 6);

    double angle = (2.0 * rng.Uniform() - 1.0) * std::numbers::pi / 600.0; // up to 0.3 degrees
    double shiftX = (2.0 * rng.Uniform() - 1.0) * jitter, shiftY = (2.0 * rng.Uniform() - 1.0) * jitter;
    if (k == s.flippedFrame) angle += std::numbers::pi;
    if (k > 0) SetPointing(fr, angle, shiftX, shiftY, s.width, s.height);

    fr.fwhm = RoundTo(2.0 + 2.0 * rng.Uniform(), 0.001);
    fr.sky = RoundTo(200.0 + 300.0 * rng.Uniform(), 0.01);
    double gradAngle = 2.0 * std::numbers::pi * rng.Uniform(), grad = 0.1 + 0.2 * rng.Uniform();
    fr.gradX = grad * std::cos(gradAngle);
    fr.gradY = grad * std::sin(gradAngle);
    fr.transparency = RoundTo(0.85 + 0.15 * rng.Uniform(), 0.0001);
    if (k == s.cloudyFrame) {
      fr.transparency = kCloudTransparency;
      fr.sky *= 1.5; // clouds lit by the town
    }
    for (std::size_t i = 0; i < f.stars.size(); ++i) {
      const Star& star = f.stars[i];
      double m = s.mags[i];
      if (star.variable >= 0) m += VariableOffset(f.variables[static_cast<std::size_t>(star.variable)], fr.jdMid);
      fr.mags.push_back(RoundTo(m, 0.0001));
    }
    s.frames.push_back(std::move(fr));
  }
  return s;
}

} // namespace fieldgen
