#include "reduction/reduce_measure.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "reduction/reduce.hpp"

namespace morvik::reduction {
namespace {

constexpr std::size_t kEnsembleSize = 60;

double MedianOf(std::vector<double>& v) {
  if (v.empty()) return NAN;
  const std::size_t m = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(m), v.end());
  if (v.size() % 2 == 1) return v[m];
  const double upper = v[m];
  return 0.5 * (upper + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(m)));
}

// Other stars within `reach` of each star, from a grid of cells `reach` wide.
std::vector<std::vector<Point>> NeighboursWithin(const std::vector<Point>& at, double reach) {
  std::unordered_map<long long, std::vector<std::size_t>> grid;
  auto key = [](long cx, long cy) {
    return (static_cast<long long>(cx) << 32) ^ static_cast<long long>(cy & 0xffffffff);
  };
  auto cell = [reach](double v) { return static_cast<long>(std::floor(v / reach)); };
  for (std::size_t i = 0; i < at.size(); ++i)
    grid[key(cell(at[i].x), cell(at[i].y))].push_back(i);
  std::vector<std::vector<Point>> out(at.size());
  for (std::size_t i = 0; i < at.size(); ++i) {
    const long cx = cell(at[i].x), cy = cell(at[i].y);
    for (long dy = -1; dy <= 1; ++dy)
      for (long dx = -1; dx <= 1; ++dx)
        if (auto it = grid.find(key(cx + dx, cy + dy)); it != grid.end())
          for (std::size_t j : it->second)
            if (j != i && std::hypot(at[j].x - at[i].x, at[j].y - at[i].y) < reach) out[i].push_back(at[j]);
  }
  return out;
}

// Per frame, the median offset of the ensemble's magnitudes from their own medians.
std::vector<double> FrameOffsets(const std::vector<const StarRows*>& rows, std::size_t k,
                                 const std::vector<std::size_t>& ensemble, const std::vector<double>& centre) {
  std::vector<double> offsets(rows.size(), NAN), d;
  for (std::size_t f = 0; f < rows.size(); ++f) {
    d.clear();
    for (std::size_t i : ensemble) {
      const float m = rows[f]->mag[k * rows[f]->stars + i];
      if (std::isfinite(m)) d.push_back(static_cast<double>(m) - centre[i]);
    }
    if (d.size() >= 3) offsets[f] = MedianOf(d);
  }
  return offsets;
}

} // namespace

ApertureSet AperturesFor(const ReduceSettings& s, double fwhm) {
  ApertureSet a;
  const double f = fwhm > 0 ? fwhm : 3.0;
  if (s.aperture) {
    a.radii = {*s.aperture};
  } else {
    for (double factor : s.apertureFactors)
      a.radii.push_back(std::clamp(factor * f, 1.0, 40.0));
  }
  const double largest = *std::max_element(a.radii.begin(), a.radii.end());
  a.skyInner = s.skyInner.value_or(largest + std::max(3.0, f));
  a.skyOuter = s.skyOuter.value_or(a.skyInner + std::max(5.0, 2.0 * f));
  a.maskRadius = largest;
  return a;
}

StarRows MeasureStars(const FrameMeasurer& frame, const std::vector<Point>& at, const ApertureSet& set, double fwhm,
                      double exposure, double zeroPoint, double minSnr) {
  StarRows rows;
  rows.stars = at.size();
  rows.apertures = set.radii.size();
  const std::size_t n = rows.stars * rows.apertures;
  rows.mag.assign(n, NAN);
  rows.err.assign(n, NAN);
  rows.loss.assign(n, static_cast<std::uint8_t>(Loss::None));
  rows.replaced.assign(n, 0);
  const auto neighbours = NeighboursWithin(at, set.skyOuter + set.maskRadius);
  const double recentre = std::max(1.0, 0.5 * fwhm);
  // Stars taken band by band across the frame: a star's pixels are mostly still in
  // the cache from its neighbour's.
  std::vector<std::pair<double, std::size_t>> order(at.size());
  for (std::size_t i = 0; i < at.size(); ++i)
    order[i] = {std::floor(at[i].y / 64.0) * 1e6 + at[i].x, i};
  std::sort(order.begin(), order.end());
  for (auto [key, i] : order) {
    const std::vector<Measurement> ms = frame.Measure(at[i], set, fwhm, recentre, neighbours[i]);
    for (std::size_t k = 0; k < ms.size(); ++k) {
      const Measurement& m = ms[k];
      const std::size_t j = k * rows.stars + i;
      rows.replaced[j] = m.replaced > 0 ? 1 : 0;
      Loss loss = m.loss;
      if (m.ok && minSnr > 0 && m.flux < minSnr * m.fluxErr) loss = Loss::NoFlux;
      const double mag = zeroPoint - 2.5 * std::log10(m.flux / exposure);
      if (m.ok && loss == Loss::None && mag < 99.0) {
        rows.mag[j] = static_cast<float>(mag);
        rows.err[j] = static_cast<float>(1.0857 * m.fluxErr / m.flux);
      } else {
        rows.loss[j] = static_cast<std::uint8_t>(loss == Loss::None ? Loss::NoFlux : loss);
      }
    }
  }
  return rows;
}

std::vector<double> ApertureCorrections(const StarRows& row, std::size_t widest) {
  std::vector<double> out(row.apertures, 0.0);
  if (row.apertures < 2 || widest >= row.apertures) return out;
  const std::size_t n = row.stars;
  std::vector<std::pair<double, std::size_t>> best;
  for (std::size_t i = 0; i < n; ++i) {
    bool all = true;
    for (std::size_t k = 0; k < row.apertures && all; ++k)
      all = std::isfinite(row.mag[k * n + i]);
    if (all) best.emplace_back(row.err[widest * n + i], i);
  }
  if (best.size() < 3) return out;
  std::sort(best.begin(), best.end());
  if (best.size() > 30) best.resize(30);
  std::vector<double> d;
  for (std::size_t k = 0; k < row.apertures; ++k) {
    auto diff = [&](std::size_t i) {
      return static_cast<double>(row.mag[k * n + i]) - static_cast<double>(row.mag[widest * n + i]);
    };
    d.clear();
    for (auto [e, i] : best)
      d.push_back(diff(i));
    const double median = MedianOf(d);
    // Weighted by the widest aperture's error, which dominates the difference; a star
    // more than 5 errors from the median (a hit, a neighbour) left out.
    double sw = 0, swx = 0;
    for (auto [e, i] : best) {
      const double w = 1.0 / (e * e);
      if (std::abs(diff(i) - median) > 5.0 * e) continue;
      sw += w;
      swx += w * diff(i);
    }
    out[k] = sw > 0 ? swx / sw : median;
  }
  return out;
}

std::vector<int> ChooseApertures(const std::vector<const StarRows*>& rows, std::size_t fallback) {
  if (rows.empty()) return {};
  const std::size_t stars = rows.front()->stars, apertures = rows.front()->apertures;
  std::vector<int> chosen(stars, static_cast<int>(fallback));
  if (apertures < 2) return chosen;
  std::vector<std::vector<double>> scatter(apertures, std::vector<double>(stars, NAN));
  std::vector<std::vector<int>> count(apertures, std::vector<int>(stars, 0));
  std::vector<double> v;
  for (std::size_t k = 0; k < apertures; ++k) {
    // Each star's median magnitude and error through this aperture.
    std::vector<double> centre(stars, NAN), typicalErr(stars, NAN);
    for (std::size_t i = 0; i < stars; ++i) {
      std::vector<double> m, e;
      for (const StarRows* r : rows)
        if (std::isfinite(r->mag[k * stars + i])) {
          m.push_back(r->mag[k * stars + i]);
          e.push_back(r->err[k * stars + i]);
        }
      count[k][i] = static_cast<int>(m.size());
      if (m.size() >= 3) {
        centre[i] = MedianOf(m);
        typicalErr[i] = MedianOf(e);
      }
    }
    // The ensemble: the best-measured stars seen on at least 90 % of the frames.
    std::vector<std::size_t> ensemble;
    for (std::size_t i = 0; i < stars; ++i)
      if (std::isfinite(centre[i]) && 10 * count[k][i] >= 9 * static_cast<int>(rows.size())) ensemble.push_back(i);
    std::sort(ensemble.begin(), ensemble.end(),
              [&](std::size_t a, std::size_t b) { return typicalErr[a] < typicalErr[b]; });
    if (ensemble.size() > kEnsembleSize) ensemble.resize(kEnsembleSize);
    const std::vector<double> offsets = FrameOffsets(rows, k, ensemble, centre);
    for (std::size_t i = 0; i < stars; ++i) {
      v.clear();
      for (std::size_t f = 0; f < rows.size(); ++f) {
        const float m = rows[f]->mag[k * stars + i];
        if (std::isfinite(m) && std::isfinite(offsets[f])) v.push_back(static_cast<double>(m) - offsets[f]);
      }
      if (v.size() < 3) continue;
      const double mid = MedianOf(v);
      for (double& x : v)
        x = std::abs(x - mid);
      scatter[k][i] = 1.4826 * MedianOf(v);
    }
  }
  for (std::size_t i = 0; i < stars; ++i) {
    int most = 0;
    for (std::size_t k = 0; k < apertures; ++k)
      most = std::max(most, count[k][i]);
    double best = INFINITY;
    for (std::size_t k = 0; k < apertures; ++k)
      if (10 * count[k][i] >= 9 * most && scatter[k][i] < best) {
        best = scatter[k][i];
        chosen[i] = static_cast<int>(k);
      }
  }
  return chosen;
}

std::vector<StarReport> SummariseStars(const std::vector<const StarRows*>& rows, const std::vector<int>& chosen,
                                       const std::vector<Point>& catalog, const std::vector<double>& referenceRadii) {
  std::vector<StarReport> out(catalog.size());
  const double widest = referenceRadii.empty() ? 0 : *std::max_element(referenceRadii.begin(), referenceRadii.end());
  const auto near = NeighboursWithin(catalog, std::max(2.0 * widest, 1.0));
  for (std::size_t i = 0; i < catalog.size(); ++i) {
    StarReport& s = out[i];
    s.aperture = i < chosen.size() ? chosen[i] : 0;
    const std::size_t k = static_cast<std::size_t>(s.aperture);
    bool hot = false;
    for (const StarRows* r : rows) {
      const std::size_t j = k * r->stars + i;
      ++s.lost[r->loss[j]];
      hot = hot || r->replaced[j] != 0;
    }
    s.lost[0] = 0;
    bool blend = false;
    const double radius = k < referenceRadii.size() ? referenceRadii[k] : 0;
    for (const Point& q : near[i])
      blend = blend || std::hypot(q.x - catalog[i].x, q.y - catalog[i].y) < 2.0 * radius;
    auto add = [&s](bool on, const char* name) {
      if (!on) return;
      if (!s.flags.empty()) s.flags += ',';
      s.flags += name;
    };
    add(s.lost[static_cast<std::size_t>(Loss::Edge)] > 0, "edge");
    add(blend, "blend");
    add(s.lost[static_cast<std::size_t>(Loss::Saturated)] > 0, "saturated");
    add(hot, "hot");
  }
  return out;
}

} // namespace morvik::reduction
