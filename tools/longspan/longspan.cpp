#include "longspan.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace morvik::longspan {
namespace {

// A small, portable random stream: splitmix64.
class Random {
public:
  explicit Random(std::uint64_t seed) : state_(seed * 0x2545F4914F6CDD1Dull + 0x9E3779B97F4A7C15ull) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  double LogUniform(double lo, double hi) { return std::exp(Uniform(std::log(lo), std::log(hi))); }
  double Normal() {
    const double u = 1.0 - Uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * Uniform());
  }

private:
  std::uint64_t state_;
};

double Frac(double x) { return x - std::floor(x); }

} // namespace

const char* KindName(Kind k) {
  switch (k) {
  case Kind::Noise:
    return "noise";
  case Kind::Sinusoid:
    return "sinusoid";
  case Kind::RRab:
    return "rrab";
  case Kind::RRc:
    return "rrc";
  case Kind::EclipsingEqual:
    return "eb-equal";
  case Kind::EclipsingUnequal:
    return "eb-unequal";
  case Kind::Transit:
    return "transit";
  }
  return "";
}

std::vector<double> MakeTimes(const Sampling& s, std::uint64_t seed) {
  Random rnd(seed ^ 0x7431ull);
  std::vector<double> t;
  for (int season = 0; season < s.seasons; ++season) {
    for (int night = 0; night < s.seasonNights; ++night) {
      if (rnd.Uniform() >= s.nightFraction) continue;
      const double day = s.start + 365.25 * season + night;
      if (s.visitsPerNight <= 1) {
        // Around local midnight: the same hour every night, hence daily aliases.
        t.push_back(day + 0.5 + 0.06 * rnd.Normal());
        continue;
      }
      const double first = day + 0.35 + 0.05 * rnd.Uniform();
      for (int v = 0; v < s.visitsPerNight; ++v)
        if (rnd.Uniform() < 0.9) t.push_back(first + v * s.visitSpacing + 0.001 * rnd.Uniform());
    }
  }
  std::sort(t.begin(), t.end());
  return t;
}

double Shape(Kind kind, double phase, double secondaryDepth, double width) {
  const double twoPi = 2.0 * std::numbers::pi;
  const double d0 = std::min(phase, 1.0 - phase); // distance to phase 0
  switch (kind) {
  case Kind::Noise:
    return 0.0;
  case Kind::Sinusoid:
    return 0.5 - 0.5 * std::cos(twoPi * phase);
  case Kind::RRab: // slow decline from maximum, steep rise in the last 15 %
    return phase < 0.85 ? std::pow(phase / 0.85, 0.7) : 1.0 - (phase - 0.85) / 0.15;
  case Kind::RRc:
    return (0.5 - 0.5 * std::cos(twoPi * phase) + 0.08 * std::sin(2.0 * twoPi * phase)) / 1.0;
  case Kind::EclipsingEqual:
  case Kind::EclipsingUnequal: {
    const double d5 = std::fabs(phase - 0.5);
    const double second = kind == Kind::EclipsingEqual ? 1.0 : secondaryDepth;
    return std::exp(-0.5 * (d0 / width) * (d0 / width)) + second * std::exp(-0.5 * (d5 / width) * (d5 / width));
  }
  case Kind::Transit:
    return d0 < 0.5 * width ? 1.0 : 0.0;
  }
  return 0.0;
}

Series MakeSeries(Kind kind, double period, double amplitude, double noise, const Sampling& s, std::uint64_t seed) {
  Random rnd(seed);
  Series out;
  out.kind = kind;
  out.period = kind == Kind::Noise ? 0.0 : period;
  out.amplitude = amplitude;
  out.noise = noise;
  out.t = MakeTimes(s, seed);
  const double p = period > 0.0 ? period : 1.0;
  out.epoch = s.start + rnd.Uniform() * p;
  const double secondary = rnd.Uniform(0.2, 0.6);
  double width = rnd.Uniform(0.04, 0.08); // eclipses: the sigma of a minimum in phase
  if (kind == Kind::Transit) {
    out.duration = rnd.Uniform(0.06, 0.15);
    width = out.duration / p;
  }
  const double offset =
      kind == Kind::EclipsingEqual || kind == Kind::EclipsingUnequal || kind == Kind::Transit ? 0.0 : 0.5;
  std::vector<long long> transits;
  for (double ti : out.t) {
    const double phase = Frac((ti - out.epoch) / p);
    const double shape = Shape(kind, phase, secondary, width);
    if (kind == Kind::Transit && shape > 0.0) transits.push_back(std::llround((ti - out.epoch) / p));
    const double err = noise * (0.7 + 0.6 * rnd.Uniform());
    double y = 12.0 + amplitude * (shape - offset) + err * rnd.Normal();
    if (rnd.Uniform() < 0.01) y += (rnd.Uniform() < 0.5 ? -1.0 : 1.0) * noise * rnd.Uniform(5.0, 10.0);
    out.y.push_back(y);
    out.dy.push_back(err);
  }
  std::sort(transits.begin(), transits.end());
  out.transitsSeen = static_cast<int>(std::unique(transits.begin(), transits.end()) - transits.begin());
  return out;
}

std::vector<Series> MakeSet(std::size_t count, std::uint64_t seed, const SetOptions& o) {
  Random rnd(seed);
  std::vector<Series> set;
  for (std::size_t i = 0; i < count; ++i) {
    const Kind kind = o.kinds[i % o.kinds.size()];
    double period = 0.0;
    switch (kind) {
    case Kind::Noise:
      break;
    case Kind::Sinusoid:
      period = rnd.LogUniform(0.25, 30.0);
      break;
    case Kind::RRab:
      period = rnd.Uniform(0.45, 0.75);
      break;
    case Kind::RRc:
      period = rnd.Uniform(0.25, 0.42);
      break;
    case Kind::EclipsingEqual:
    case Kind::EclipsingUnequal:
      period = rnd.LogUniform(0.5, 4.0);
      break;
    case Kind::Transit:
      period = rnd.Uniform(1.0, 6.0);
      break;
    }
    const double noise = rnd.Uniform(o.noiseLo, o.noiseHi);
    const double amplitude = kind == Kind::Noise ? 0.0 : noise * rnd.Uniform(o.ampLo, o.ampHi);
    Sampling s = o.sampling;
    if (kind == Kind::Transit && s.visitsPerNight <= 1) {
      s.seasons = 1;
      s.seasonNights = 60;
      s.nightFraction = 0.85;
      s.visitsPerNight = 36;
    }
    Series series = MakeSeries(kind, period, amplitude, noise, s, rnd.Next());
    char name[32];
    std::snprintf(name, sizeof name, "LS%05zu", i + 1);
    series.name = name;
    set.push_back(std::move(series));
  }
  return set;
}

std::string SeriesText(const std::vector<Series>& set) {
  std::string text = "# name time mag err\n";
  char line[128];
  for (const Series& s : set)
    for (std::size_t i = 0; i < s.t.size(); ++i) {
      std::snprintf(line, sizeof line, "%s %.6f %.5f %.5f\n", s.name.c_str(), s.t[i], s.y[i], s.dy[i]);
      text += line;
    }
  return text;
}

std::string TruthCsv(const std::vector<Series>& set) {
  std::string text = "name,kind,period,amplitude,noise,epoch,duration,points,transits_seen\n";
  char line[256];
  for (const Series& s : set) {
    std::snprintf(line, sizeof line, "%s,%s,%.8f,%.5f,%.5f,%.6f,%.5f,%zu,%d\n", s.name.c_str(), KindName(s.kind),
                  s.period, s.amplitude, s.noise, s.epoch, s.duration, s.t.size(), s.transitsSeen);
    text += line;
  }
  return text;
}

} // namespace morvik::longspan
