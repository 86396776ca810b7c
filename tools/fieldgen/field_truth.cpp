#include "field_truth.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "field_writers.hpp"

namespace fieldgen {
namespace {

constexpr double kPi = std::numbers::pi;

double Frac(double x) { return x - std::floor(x); }

// Inside the comparison-selection border, not a variable, not the comparison star.
bool Free(const Field& f, const Truth& t, int i) {
  const Star& s = f.stars[static_cast<std::size_t>(i)];
  const double bx = std::max(f.width / 10, 50) + 10.0, by = std::max(f.height / 10, 50) + 10.0;
  return s.variable < 0 && t.of[static_cast<std::size_t>(i)] < 0 && i + 1 != f.comparisonId && s.x >= bx &&
         s.x <= f.width - bx && s.y >= by && s.y <= f.height - by;
}

TruthVariable Make(Rng& rng, const Field& f, int i, TruthKind kind, double ratio) {
  TruthVariable v;
  v.id = i + 1;
  v.kind = kind;
  v.noise = ErrorModel(f.stars[static_cast<std::size_t>(i)].m);
  v.amplitude = ratio * v.noise;
  switch (kind) {
  case TruthKind::Eclipsing:
    v.period = 0.3 + 0.6 * rng.Uniform();
    break;
  case TruthKind::Pulsating:
    v.period = 0.08 + 0.5 * rng.Uniform();
    break;
  case TruthKind::Irregular:
    v.period = 0.5 + 2.0 * rng.Uniform();
    break;
  case TruthKind::Transit: // a few hundredths of a magnitude at most
    v.period = 1.2 + 2.5 * rng.Uniform();
    v.amplitude = std::min(v.amplitude, 0.05);
    break;
  }
  v.epoch = (f.times.empty() ? 0.0 : f.times.front()) + rng.Uniform() * v.period;
  return v;
}

} // namespace

const char* TruthKindName(TruthKind kind) {
  switch (kind) {
  case TruthKind::Eclipsing:
    return "eclipsing";
  case TruthKind::Pulsating:
    return "pulsating";
  case TruthKind::Irregular:
    return "irregular";
  case TruthKind::Transit:
    return "transit";
  }
  return "unknown";
}

Truth MakeTruth(Field& f, const TruthOptions& o, std::uint64_t seed) {
  Rng rng(seed ^ 0x7E57ED7E57EDULL);
  Truth t;
  t.outliers = o.outliers;
  const int n = static_cast<int>(f.stars.size());
  t.of.assign(f.stars.size(), -1);
  auto add = [&](const TruthVariable& v) {
    t.of[static_cast<std::size_t>(v.id - 1)] = static_cast<int>(t.variables.size());
    t.variables.push_back(v);
  };
  if (o.ensembleVariable) {
    // The automatic ensemble takes the quiet stars in id order: a bright star early in
    // the list with a pulsation of six times its noise still passes its variance test.
    for (int i = 0; i < n; ++i) {
      if (!Free(f, t, i) || f.stars[static_cast<std::size_t>(i)].m > 12.0) continue;
      add(Make(rng, f, i, TruthKind::Pulsating, 6.0));
      t.ensembleId = i + 1;
      break;
    }
  }
  // Amplitudes from 1 to 30 times the noise, evenly in their logarithm.
  const TruthKind kinds[] = {TruthKind::Eclipsing, TruthKind::Pulsating, TruthKind::Irregular, TruthKind::Transit};
  for (int k = 0, attempts = 0; k < o.variables && attempts < 20 * n; ++attempts) {
    const int i = rng.Below(n);
    if (!Free(f, t, i)) continue;
    add(Make(rng, f, i, kinds[k % 4], std::exp(std::log(30.0) * rng.Uniform())));
    ++k;
  }
  if (o.drift != 0.0 && !f.times.empty()) {
    const double t0 = f.times.front(), span = std::max(f.times.back() - t0, 1e-3);
    for (std::size_t r = 0; r < f.times.size(); ++r)
      f.zeroPoint[r] += 0.5 * o.drift * std::sin(2.0 * kPi * (f.times[r] - t0) / (1.7 * span));
  }
  return t;
}

double TruthOffset(const TruthVariable& v, double t) {
  const double ph = Frac((t - v.epoch) / v.period);
  switch (v.kind) {
  case TruthKind::Eclipsing: { // two eclipses, the secondary 0.6 as deep
    const double d1 = std::fabs(ph - 0.25), d2 = std::fabs(ph - 0.75);
    if (d1 < 0.07) return v.amplitude * (1.0 - d1 / 0.07);
    if (d2 < 0.07) return 0.6 * v.amplitude * (1.0 - d2 / 0.07);
    return 0.0;
  }
  case TruthKind::Pulsating: // a fast rise and a slow decline
    return v.amplitude * (ph < 0.2 ? 0.5 - ph / 0.2 : -0.5 + (ph - 0.2) / 0.8);
  case TruthKind::Irregular: { // incommensurate slow waves
    const double x = (t - v.epoch) / v.period;
    return v.amplitude * 0.25 * (std::sin(2 * kPi * x) + std::sin(2 * kPi * 0.61 * x + 1.3));
  }
  case TruthKind::Transit: // flat-bottomed, 3 % of the period
    return std::fabs(ph - 0.5) < 0.015 ? v.amplitude : 0.0;
  }
  return 0.0;
}

bool WriteTruthTable(const Field& field, const Truth& truth, std::uint64_t seed, const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  Rng rng(seed ^ 0x7AB1E7AB1EULL); // the noise of WriteTable
  Rng wild(seed ^ 0x0B71E25ULL);   // the outliers, a stream of their own
  std::string line = "# Synthetic photometry: JD, then magnitude and error of each star\r\n# Stars " +
                     std::to_string(field.stars.size()) + ", frames " + std::to_string(field.times.size()) + "\r\n";
  bool ok = true;
  for (std::size_t r = 0; r < field.times.size() && ok; ++r) {
    const double t = field.times[r], zp = field.zeroPoint[r], q = field.quality[r];
    AppendFixed(line, t, 5);
    for (std::size_t s = 0; s < field.stars.size(); ++s) {
      const Star& star = field.stars[s];
      double m = star.m + zp;
      if (star.variable >= 0) m += VariableOffset(field.variables[static_cast<std::size_t>(star.variable)], t);
      if (truth.of[s] >= 0) m += TruthOffset(truth.variables[static_cast<std::size_t>(truth.of[s])], t);
      const double sigma = ErrorModel(m) * q;
      double mag = m + sigma * rng.Normal();
      const double err = std::clamp(sigma * (1.0 + 0.1 * rng.Normal()), 0.002, 0.999);
      const bool lost = rng.Uniform() < 0.02 && static_cast<int>(s) + 1 != field.comparisonId;
      if (truth.outliers && wild.Uniform() < 0.002)
        mag += (wild.Uniform() < 0.5 ? -1 : 1) * sigma * (5 + 5 * wild.Uniform());
      if (lost || sigma > 0.4) {
        line += " 99.999 9.999";
        continue;
      }
      line += ' ';
      AppendFixed(line, mag, 3);
      line += ' ';
      AppendFixed(line, err, 3);
    }
    line += "\r\n";
    ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    line.clear();
  }
  return std::fclose(f) == 0 && ok;
}

bool WriteTruth(const Truth& truth, const std::string& path) {
  std::string out = "# id kind amplitude_mag noise_mag period_days (amplitude peak to peak or depth)\n";
  for (const TruthVariable& v : truth.variables) {
    out += std::to_string(v.id) + ' ' + TruthKindName(v.kind) + ' ';
    AppendFixed(out, v.amplitude, 4);
    out += ' ';
    AppendFixed(out, v.noise, 4);
    out += ' ';
    AppendFixed(out, v.period, 5);
    out += '\n';
  }
  if (truth.ensembleId > 0) out += "ensemble " + std::to_string(truth.ensembleId) + '\n';
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

} // namespace fieldgen
