#include "field_model.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fieldgen {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kMaxSide = 2200; // the program refuses larger frames
constexpr double kMinSeparation = 6.0;
constexpr double kAreaPerStar = 150.0; // px^2: well below the packing limit at 6 px
constexpr double kEdgeMargin = 12.0;
constexpr double kFirstNight = 2460210.0; // JD at noon before the first night

std::uint64_t SplitMix(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

double Frac(double x) { return x - std::floor(x); }

// Stars counts rise about as 10^(0.3 m) towards faint magnitudes.
double DrawMagnitude(Rng& rng) {
  constexpr double lo = 9.5, hi = 16.5, k = 0.3;
  double a = std::pow(10.0, k * lo), b = std::pow(10.0, k * hi);
  return std::log10(a + rng.Uniform() * (b - a)) / k;
}

void ChooseSize(const FieldOptions& o, int& width, int& height) {
  width = o.width;
  height = o.height;
  if (o.sizeGiven) return;
  double need = kAreaPerStar * o.stars;
  double have = static_cast<double>(width) * height;
  if (have >= need) return;
  double s = std::sqrt(need / have);
  width = std::min(kMaxSide, static_cast<int>(std::ceil(width * s)));
  height = std::min(kMaxSide, static_cast<int>(std::ceil(height * s)));
}

// Random positions at least kMinSeparation apart, found through a grid of cells as
// large as the separation; when no free place turns up the star overlaps.
void PlaceStars(Rng& rng, Field& f) {
  int cellsX = static_cast<int>(f.width / kMinSeparation) + 2;
  int cellsY = static_cast<int>(f.height / kMinSeparation) + 2;
  std::vector<std::vector<int>> cells(static_cast<std::size_t>(cellsX) * cellsY);
  auto cellOf = [&](double x, double y) {
    return std::pair<int, int>{static_cast<int>(x / kMinSeparation), static_cast<int>(y / kMinSeparation)};
  };
  double spanX = std::max(1.0, f.width - 2 * kEdgeMargin);
  double spanY = std::max(1.0, f.height - 2 * kEdgeMargin);
  for (std::size_t i = 0; i < f.stars.size(); ++i) {
    double x = 0, y = 0;
    for (int attempt = 0; attempt < 60; ++attempt) {
      x = kEdgeMargin + 1.0 + rng.Uniform() * spanX;
      y = kEdgeMargin + 1.0 + rng.Uniform() * spanY;
      auto [cx, cy] = cellOf(x, y);
      bool free = true;
      for (int dx = -1; dx <= 1 && free; ++dx)
        for (int dy = -1; dy <= 1 && free; ++dy) {
          int nx = cx + dx, ny = cy + dy;
          if (nx < 0 || ny < 0 || nx >= cellsX || ny >= cellsY) continue;
          for (int j : cells[static_cast<std::size_t>(nx) * cellsY + ny]) {
            const Star& o = f.stars[static_cast<std::size_t>(j)];
            // A margin for the rounding of positions to two decimals below.
            constexpr double d = kMinSeparation + 0.02;
            if ((o.x - x) * (o.x - x) + (o.y - y) * (o.y - y) < d * d) {
              free = false;
              break;
            }
          }
        }
      if (free) break;
    }
    // Positions with two decimals, as the catalog writes them.
    x = std::round(x * 100.0) / 100.0;
    y = std::round(y * 100.0) / 100.0;
    f.stars[i].x = x;
    f.stars[i].y = y;
    auto [cx, cy] = cellOf(x, y);
    cells[static_cast<std::size_t>(std::min(cx, cellsX - 1)) * cellsY + std::min(cy, cellsY - 1)].push_back(
        static_cast<int>(i));
  }
}

// A star well inside the frame (clear of the comparison-selection border), not yet taken.
int PickInteriorStar(Rng& rng, const Field& f, const std::vector<bool>& taken) {
  double bx = std::max(f.width / 10, 50) + 10.0, by = std::max(f.height / 10, 50) + 10.0;
  int n = static_cast<int>(f.stars.size());
  for (int attempt = 0; attempt < 10 * n; ++attempt) {
    int i = rng.Below(n);
    const Star& s = f.stars[static_cast<std::size_t>(i)];
    if (taken[static_cast<std::size_t>(i)]) continue;
    if (s.x >= bx && s.x <= f.width - bx && s.y >= by && s.y <= f.height - by) return i;
  }
  for (int i = 0; i < n; ++i)
    if (!taken[static_cast<std::size_t>(i)]) return i;
  return 0;
}

double PeakToPeak(const Variable& v, const std::vector<double>& times) {
  double lo = 1e9, hi = -1e9;
  if (v.period > 0) {
    for (int k = 0; k < 2000; ++k) {
      double o = VariableOffset(v, v.epoch + v.period * k / 2000.0);
      lo = std::min(lo, o);
      hi = std::max(hi, o);
    }
  } else {
    for (double t : times) {
      double o = VariableOffset(v, t);
      lo = std::min(lo, o);
      hi = std::max(hi, o);
    }
  }
  return hi > lo ? hi - lo : 0.0;
}

void InjectVariables(Rng& rng, Field& f) {
  std::vector<bool> taken(f.stars.size(), false);
  struct Plan {
    VariableType type;
    double period, magnitude;
  };
  // Periods away from 1 c/d and its aliases, each shorter than a night, so that every
  // night holds a cycle or more; smooth light curves, as the period grid of a span of
  // a few nights is coarse for sharp features.
  const Plan plans[] = {
      {VariableType::EclipsingBinary, 0.3717, 11.6},
      {VariableType::RRLyrae, 0.3127, 12.2},
      {VariableType::ShortPeriodPulsator, 0.0871, 10.8},
      {VariableType::Irregular, 0.0, 12.8},
  };
  for (const Plan& p : plans) {
    int i = PickInteriorStar(rng, f, taken);
    taken[static_cast<std::size_t>(i)] = true;
    Variable v;
    v.id = i + 1;
    v.type = p.type;
    v.period = p.period;
    v.epoch = f.times.empty() ? kFirstNight : f.times.front() + rng.Uniform() * std::max(p.period, 1.0);
    if (p.type == VariableType::Irregular) {
      v.slowPeriods = {7.3, 3.9, 11.2};
      v.slowAmps = {0.15, 0.10, 0.12};
      for (int k = 0; k < 3; ++k)
        v.slowPhases.push_back(rng.Uniform());
    }
    f.stars[static_cast<std::size_t>(i)].m = p.magnitude;
    f.stars[static_cast<std::size_t>(i)].variable = static_cast<int>(f.variables.size());
    f.variables.push_back(v);
  }
  for (Variable& v : f.variables)
    v.amplitude = PeakToPeak(v, f.times);
  int c = PickInteriorStar(rng, f, taken);
  f.stars[static_cast<std::size_t>(c)].m = 10.2;
  f.comparisonId = c + 1;
}

void MakeNights(Rng& rng, const FieldOptions& o, Field& f) {
  int nights = std::max(1, std::min(o.nights, o.frames));
  f.times.reserve(static_cast<std::size_t>(o.frames));
  double transparency = 0.0;
  for (int n = 0; n < nights; ++n) {
    int count = o.frames / nights + (n < o.frames % nights ? 1 : 0);
    double start = kFirstNight + n + 0.30 + 0.03 * rng.Uniform();
    double length = 0.30 + 0.05 * rng.Uniform();
    double cadence = length / std::max(1, count);
    double nightOffset = 0.05 * rng.Normal();
    for (int k = 0; k < count; ++k) {
      double tau = (k + 0.5) / count;
      double t = start + (k + 0.5 + 0.2 * (rng.Uniform() - 0.5)) * cadence;
      double airmass = 1.1 + 0.8 * (2 * tau - 1) * (2 * tau - 1);
      transparency = 0.97 * transparency + 0.003 * rng.Normal();
      f.times.push_back(t);
      f.zeroPoint.push_back(0.18 * airmass + nightOffset + transparency + 0.008 * rng.Normal());
      f.quality.push_back(std::exp(0.15 * rng.Normal()));
    }
  }
  // One frame taken through clouds: much fainter and noisier; in the second night
  // when there is one.
  if (!f.times.empty()) {
    int first = o.frames / nights + (0 < o.frames % nights ? 1 : 0);
    int count2 = nights > 1 ? o.frames / nights + (1 < o.frames % nights ? 1 : 0) : 0;
    f.cloudyFrame = nights > 1 ? first + count2 / 2 : static_cast<int>(f.times.size()) / 2;
    f.cloudExtinction = 1.0;
    f.zeroPoint[static_cast<std::size_t>(f.cloudyFrame)] += f.cloudExtinction;
    f.quality[static_cast<std::size_t>(f.cloudyFrame)] *= 3.0;
  }
}

} // namespace

Rng::Rng(std::uint64_t seed) {
  std::uint64_t x = seed;
  for (auto& s : s_)
    s = SplitMix(x);
}

std::uint64_t Rng::Next() {
  std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
  std::uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = Rotl(s_[3], 45);
  return result;
}

double Rng::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

double Rng::Normal() {
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  double u, v, s;
  do {
    u = 2.0 * Uniform() - 1.0;
    v = 2.0 * Uniform() - 1.0;
    s = u * u + v * v;
  } while (s >= 1.0 || s == 0.0);
  double k = std::sqrt(-2.0 * std::log(s) / s);
  spare_ = v * k;
  haveSpare_ = true;
  return u * k;
}

int Rng::Below(int n) { return static_cast<int>(Uniform() * n); }

const char* TypeName(VariableType type) {
  switch (type) {
  case VariableType::EclipsingBinary:
    return "eclipsing_binary";
  case VariableType::RRLyrae:
    return "rr_lyrae";
  case VariableType::ShortPeriodPulsator:
    return "short_period_pulsator";
  case VariableType::Irregular:
    return "irregular";
  }
  return "unknown";
}

double VariableOffset(const Variable& v, double t) {
  switch (v.type) {
  case VariableType::EclipsingBinary: {
    // A close binary of distorted stars: light varies all the time, the primary
    // minimum clearly deeper than the secondary.
    double ph = Frac((t - v.epoch) / v.period);
    return 0.15 * (1.0 + std::cos(4 * kPi * ph)) + 0.12 * (1.0 + std::cos(2 * kPi * ph));
  }
  case VariableType::RRLyrae: {
    // An overtone pulsator: a skewed wave, rising faster than it fades.
    double ph = Frac((t - v.epoch) / v.period);
    return -(0.21 * std::sin(2 * kPi * ph) + 0.05 * std::sin(4 * kPi * ph) + 0.015 * std::sin(6 * kPi * ph));
  }
  case VariableType::ShortPeriodPulsator: {
    double ph = Frac((t - v.epoch) / v.period);
    return 0.05 * std::sin(2 * kPi * ph) + 0.008 * std::sin(4 * kPi * ph + 1.0);
  }
  case VariableType::Irregular: {
    double o = 0.0;
    for (std::size_t k = 0; k < v.slowPeriods.size(); ++k)
      o += v.slowAmps[k] * std::sin(2 * kPi * ((t - v.epoch) / v.slowPeriods[k] + v.slowPhases[k]));
    return o;
  }
  }
  return 0.0;
}

double ErrorModel(double m) {
  // A floor from flat fielding, photon noise of the star and sky noise.
  constexpr double ln10 = std::numbers::ln10;
  double photon = 0.005 * std::exp(0.2 * ln10 * (m - 12.0));
  double sky = 0.002 * std::exp(0.4 * ln10 * (m - 12.0));
  return std::sqrt(0.004 * 0.004 + photon * photon + sky * sky);
}

Field MakeField(const FieldOptions& options) {
  Rng rng(options.seed);
  Field f;
  ChooseSize(options, f.width, f.height);
  f.stars.resize(static_cast<std::size_t>(options.stars));
  for (Star& s : f.stars)
    s.m = std::round(DrawMagnitude(rng) * 1000.0) / 1000.0;
  PlaceStars(rng, f);
  MakeNights(rng, options, f);
  InjectVariables(rng, f);
  return f;
}

} // namespace fieldgen
