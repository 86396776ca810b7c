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

// The pedestal a camera adds so that its noise never clips at zero, and the quiet
// sky's electrons: with gain 1 and 1 e of read noise the sky's noise is ~1.5 ADU.
constexpr double kPedestal = 100.0;
constexpr double kQuietGain = 1.0, kQuietReadNoise = 1.0;
constexpr double kNeighbourRatio = 50.0;
constexpr double kNeighbourDistance = 10.0; // pixels: in the sky annulus of a 2-4 px star

bool InsideMargin(const Field& f, double x, double y, double margin) {
  return x > margin && y > margin && x < f.width - margin && y < f.height - margin;
}

// A constant star of middle brightness in the inner frame gets a neighbour 50 times
// brighter at kNeighbourDistance pixels, in a random direction that stays inside.
void AddBrightNeighbour(Series& s, Rng& rng) {
  Field& f = s.field;
  std::vector<int> candidates;
  for (std::size_t i = 0; i < f.stars.size(); ++i) {
    const Star& st = f.stars[i];
    const int id = static_cast<int>(i) + 1;
    if (st.variable >= 0 || id == f.comparisonId || id == s.saturatedId || st.m < 13.0 || st.m > 15.0) continue;
    if (InsideMargin(f, st.x, st.y, 0.25 * std::min(f.width, f.height))) candidates.push_back(static_cast<int>(i));
  }
  if (candidates.empty()) return;
  const int pick = candidates[static_cast<std::size_t>(rng.Below(static_cast<int>(candidates.size())))];
  const Star target = f.stars[static_cast<std::size_t>(pick)];
  double angle = 2.0 * std::numbers::pi * rng.Uniform();
  Star n;
  n.x = RoundTo(target.x + kNeighbourDistance * std::cos(angle), 0.001);
  n.y = RoundTo(target.y + kNeighbourDistance * std::sin(angle), 0.001);
  n.m = RoundTo(target.m - 2.5 * std::log10(kNeighbourRatio), 0.0001);
  s.neighbourOf = pick + 1;
  f.stars.push_back(n);
  s.neighbourId = static_cast<int>(f.stars.size());
}

// Position of star st on frame fr, 0-based pixel coordinates.
void OnFrame(const Star& st, const SeriesFrame& fr, double& x, double& y) {
  double x1 = st.x - 1.0, y1 = st.y - 1.0;
  x = fr.a * x1 + fr.b * y1 + fr.c;
  y = fr.d * x1 + fr.e * y1 + fr.f;
}

// The sensor's hot pixels: scattered ones of every strength (most are warm, a few
// burn), and a few right on the tracks of ordinary stars, so that the jitter of the
// pointing carries those stars across them (two under a core, others at its edge).
void PlaceHotPixels(Series& s, Rng& rng) {
  const int w = s.width, h = s.height;
  for (int n = 0, count = std::max(4, w * h / 8000); n < count; ++n)
    s.hotPixels.push_back({rng.Below(w), rng.Below(h), RoundTo(0.5 * std::pow(10.0, 2.5 * rng.Uniform()), 0.001)});
  std::vector<int> tracked;
  for (std::size_t i = 0; i < s.field.stars.size(); ++i)
    if (s.kinds[i] == "constant" && s.mags[i] > 12.0 && s.mags[i] < 15.5) tracked.push_back(static_cast<int>(i));
  const int offsets[4][2] = {{0, 0}, {0, 0}, {1, 0}, {-2, 1}};
  for (int n = 0; n < 4 && !tracked.empty(); ++n) {
    int pick = rng.Below(static_cast<int>(tracked.size()));
    const Star& st = s.field.stars[static_cast<std::size_t>(tracked[static_cast<std::size_t>(pick)])];
    tracked.erase(tracked.begin() + pick);
    double x, y;
    OnFrame(st, s.frames[static_cast<std::size_t>(rng.Below(static_cast<int>(s.frames.size())))], x, y);
    int px = static_cast<int>(std::lround(x)) + offsets[n][0], py = static_cast<int>(std::lround(y)) + offsets[n][1];
    if (px < 0 || py < 0 || px >= w || py >= h) continue;
    s.hotPixels.push_back({px, py, RoundTo(15.0 + 45.0 * rng.Uniform(), 0.001)});
  }
}

// Cosmic rays: short sharp tracks anywhere, and on every other frame one on a star.
void PlaceCosmics(Series& s, SeriesFrame& fr, int k, Rng& rng) {
  const int w = s.width, h = s.height;
  auto track = [&](double x0, double y0) {
    int x = static_cast<int>(std::lround(x0)), y = static_cast<int>(std::lround(y0));
    int len = 1 + rng.Below(3), dx = rng.Below(3) - 1, dy = rng.Below(3) - 1;
    if (dx == 0 && dy == 0) len = 1;
    double level = (300.0 + 3000.0 * rng.Uniform()) / s.gain;
    for (int i = 0; i < len; ++i, x += dx, y += dy)
      if (x >= 0 && y >= 0 && x < w && y < h)
        fr.cosmics.push_back({x, y, RoundTo(level * (0.5 + rng.Uniform()), 0.01)});
  };
  for (int n = 0, count = std::max(2, w * h / 20000); n < count; ++n)
    track(rng.Below(w), rng.Below(h));
  if (k % 2 == 1) {
    const Star& st = s.field.stars[static_cast<std::size_t>(rng.Below(static_cast<int>(s.field.stars.size())))];
    double x, y;
    OnFrame(st, fr, x, y);
    track(x + 2.0 * rng.Uniform() - 1.0, y + 2.0 * rng.Uniform() - 1.0);
  }
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

Series MakeSeries(const FieldOptions& options, const std::string& prefix, const CameraOptions& camera) {
  Series s;
  s.field = MakeField(options);
  s.camera = camera;
  Rng cameraRng(options.seed ^ 0xC0FFEE5EEDULL); // its own stream: the classic draws stay as they were
  if (camera.quietSky) {
    s.gain = kQuietGain;
    s.readNoise = kQuietReadNoise;
    s.pedestal = kPedestal;
  }
  if (camera.bits == 12) s.saturate = camera.Ceiling();
  const Field& f = s.field;
  s.width = f.width;
  s.height = f.height;
  const int n = static_cast<int>(f.times.size());

  s.saturatedId = PickSaturated(f) + 1;
  if (camera.brightNeighbour) AddBrightNeighbour(s, cameraRng);
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

    fr.fwhm = RoundTo(camera.fwhmMin + (camera.fwhmMax - camera.fwhmMin) * rng.Uniform(), 0.001);
    fr.sky = RoundTo(200.0 + 300.0 * rng.Uniform(), 0.01);
    if (camera.quietSky) fr.sky = RoundTo(1.0 + 0.5 * (fr.sky - 200.0) / 300.0, 0.01);
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
    if (camera.Real() && camera.defects) PlaceCosmics(s, fr, k, cameraRng);
    s.frames.push_back(std::move(fr));
  }
  if (camera.Real() && camera.defects) PlaceHotPixels(s, cameraRng);
  return s;
}

} // namespace fieldgen
