#pragma once
// A literal, slow Lafler-Kinman scan, written step by step from the method's
// description (running-sum grid, fold with truncation, Shell sort on 1-based
// positions, closing term first). The fast scan must agree with it bit for bit.

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "dataset/records.hpp"

namespace morvik::literal {

struct Result {
  bool stored = false; // false: stopped before storing anything
  std::vector<double> freq;
  std::vector<double> theta;
};

inline double Term(double d, double p) { return p == 2.0 ? d * d : std::pow(std::fabs(d), p); }

// theta of one frequency from the times and magnitudes of the valid measurements in
// row order (times relative to the phase origin are formed here, as the method does).
inline double Theta(const std::vector<double>& times, double t0, const std::vector<double>& mags, double f, double p,
                    double denominator) {
  const long n = static_cast<long>(times.size());
  std::vector<double> ph(times.size());
  std::vector<double> mg(mags);
  for (long i = 0; i < n; ++i) {
    const double x = (times[static_cast<std::size_t>(i)] - t0) * f;
    double phi = x - std::trunc(x);
    if (phi < 0) phi += 1.0;
    ph[static_cast<std::size_t>(i)] = phi;
  }
  long h = 1;
  while (static_cast<double>(n) / 9.0 > static_cast<double>(h))
    h = 3 * h + 1;
  do {
    for (long i = h + 1; i <= n; ++i) {
      long j = i - h;
      while (j >= 1 && ph[static_cast<std::size_t>(j - 1)] > ph[static_cast<std::size_t>(j + h - 1)]) {
        std::swap(ph[static_cast<std::size_t>(j - 1)], ph[static_cast<std::size_t>(j + h - 1)]);
        std::swap(mg[static_cast<std::size_t>(j - 1)], mg[static_cast<std::size_t>(j + h - 1)]);
        j -= h;
      }
    }
    h = h / 3;
  } while (h >= 1);
  double s = 0.0;
  if (n > 0) {
    s = Term(mg[static_cast<std::size_t>(n - 1)] - mg[0], p);
    for (long j = 2; j <= n; ++j)
      s += Term(mg[static_cast<std::size_t>(j - 1)] - mg[static_cast<std::size_t>(j - 2)], p);
  }
  if (denominator == 0.0) return 0.0;
  const double theta = s / denominator;
  return std::isfinite(theta) ? theta : 0.0;
}

inline Result LaflerKinman(const TTimeSeries& ts, const std::vector<TStarStat>& stats, std::size_t star,
                           double shortest, double longest, double phaseStep, double p) {
  Result r;
  if (stats[star].RunVariance == 0.0) return r;
  if (phaseStep == 0.0) phaseStep = 0.01;
  if (shortest == 0.0 || longest == 0.0) {
    shortest = 0.04;
    longest = 10.0;
  }
  const double fLo = 1.0 / longest;
  const double fHi = 1.0 / shortest;
  const double t0 = ts.Rows.front().Time;
  const double span = ts.Rows.back().Time - t0;
  double df = phaseStep / span;
  long long n = static_cast<long long>(std::trunc((fHi - fLo) / df)) + 1;
  if (n > 10000) {
    df = (fHi - fLo) / 10000.0;
    n = static_cast<long long>(std::trunc((fHi - fLo) / df)) + 1;
  }
  std::vector<double> times;
  std::vector<double> mags;
  for (const TDataLine& row : ts.Rows) {
    if (!row.Items[star].Valid) continue;
    times.push_back(row.Time);
    mags.push_back(row.Items[star].RunMag);
  }
  const double denominator = static_cast<double>(stats[star].NValid) * stats[star].RunVariance;
  double f = fLo;
  for (long long k = 0; k < n; ++k) {
    if (f > fHi) break;
    r.freq.push_back(f);
    r.theta.push_back(Theta(times, t0, mags, f, p, denominator));
    f += df;
  }
  r.stored = true;
  return r;
}

} // namespace morvik::literal
