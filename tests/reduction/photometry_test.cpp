// The photometry of morvik-reduce on frames as real cameras write them (undersampled
// and broad stars, a 12-bit converter with and without SATURATE, hot pixels the stars
// cross, cosmic rays, a quiet sky), held against the generator's true fluxes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <regex>
#include <sstream>

#include "app/process.hpp"
#include "dataset/readers.hpp"
#include "work_dir.hpp"

namespace morvik {
namespace {

namespace fs = std::filesystem;

struct Frame {
  std::string file;
  double exptime = 0, fwhm = 0, sky = 0;
};
struct Flux {
  double x = 0, y = 0, adu = 0;
  bool saturated = false;
};
struct Truth {
  double gain = 1, readNoise = 0;
  std::vector<Frame> frames;
  std::map<int, std::string> kind;                        // id -> constant|eclipsing|...
  std::map<std::pair<int, int>, Flux> flux;               // (frame 1-based, id)
  std::vector<std::pair<int, int>> hot;                   // detector pixels
  std::map<int, std::vector<std::pair<int, int>>> cosmic; // frame -> pixels
};

Truth ReadTruth(const fs::path& path) {
  Truth t;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream w(line);
    std::string kind, skip;
    w >> kind;
    if (kind == "frame") {
      Frame f;
      double jd, c;
      w >> skip >> f.file >> jd >> f.exptime;
      for (int k = 0; k < 6; ++k)
        w >> c;
      w >> f.fwhm >> f.sky;
      t.frames.push_back(f);
    } else if (kind == "star") {
      int id;
      double x, y, m;
      w >> id >> x >> y >> m >> skip;
      t.kind[id] = skip;
    } else if (kind == "camera") {
      w >> skip >> skip >> t.gain >> t.readNoise;
    } else if (kind == "flux") {
      int frame, id, sat;
      Flux f;
      double peak;
      w >> frame >> id >> f.x >> f.y >> f.adu >> peak >> sat;
      f.saturated = sat != 0;
      t.flux[{frame, id}] = f;
    } else if (kind == "hot") {
      int x, y;
      w >> x >> y;
      t.hot.emplace_back(x, y);
    } else if (kind == "cosmic") {
      int frame, x, y;
      w >> frame >> x >> y;
      t.cosmic[frame].emplace_back(x, y);
    }
  }
  return t;
}

struct CatalogStar {
  double x = 0, y = 0; // 0-based
  std::string flags;
};

// The reduction's output: the table's rows in time order (frames are generated in
// time order), the catalog with its flags, the report's columns.
struct Reduced {
  std::vector<std::vector<std::pair<double, double>>> rows; // [row][star] (mag, err)
  std::vector<CatalogStar> catalog;
  std::string report;
  std::string reference;
  std::vector<std::vector<std::string>> frameColumns; // per used frame, in the given order
  std::map<int, double> factor;                       // catalog id -> aperture kept (x FWHM)
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t bar = line.find(" | ", from);
    out.push_back(line.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
    if (bar == std::string::npos) return out;
    from = bar + 3;
  }
}

Reduced Read(const fs::path& base) {
  Reduced r;
  std::ifstream table(base.string() + ".dat");
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    double t, m, e;
    w >> t;
    r.rows.emplace_back();
    while (w >> m >> e)
      r.rows.back().emplace_back(m, e);
  }
  std::ifstream xml(base.string() + ".xml");
  std::stringstream all;
  all << xml.rdbuf();
  const std::string text = all.str();
  const std::regex star(R"re(<s id="(\d+)" x="([-0-9.]+)" y="([-0-9.]+)" m="[-0-9.]+"(?: flags="([a-z,]+)")?/>)re");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), star); it != std::sregex_iterator(); ++it)
    r.catalog.push_back({std::stod((*it)[2]) - 1, std::stod((*it)[3]) - 1, (*it)[4]});
  std::ifstream rep(base.string() + "_reduction.txt");
  std::stringstream rs;
  rs << rep.rdbuf();
  r.report = rs.str();
  std::istringstream lines(r.report);
  bool stars = false;
  while (std::getline(lines, line)) {
    if (line.starts_with("Reference frame: ")) r.reference = fs::path(line.substr(17)).filename().string();
    if (line.starts_with("# star |")) stars = true;
    if (line.empty() || line[0] == '#') continue;
    const auto cols = Split(line);
    if (stars && cols.size() == 4) r.factor[std::stoi(cols[0])] = std::stod(cols[1]);
    if (!stars && cols.size() >= 18) r.frameColumns.push_back(cols);
  }
  return r;
}

// Moffat (beta 3) light within r of its centre.
double Enclosed(double r, double fwhm) {
  const double alpha = fwhm / (2.0 * std::sqrt(std::cbrt(2.0) - 1.0));
  return 1.0 - std::pow(1.0 + r * r / (alpha * alpha), -2.0);
}

double Median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

struct Series {
  fs::path dir;
  Truth truth;
  int ref = 0;             // 1-based frame of the reference
  std::map<int, int> idOf; // truth id -> catalog index (0-based)
};

Series Generate(const std::string& name, double fwhm, bool card, int seed, bool quiet = true) {
  Series s;
  s.dir = testing::TestWorkDir("photometry_" + name);
  fs::remove_all(s.dir);
  std::vector<std::string> args{"--series",
                                (s.dir / "s").string(),
                                "--frames",
                                "24",
                                "--width",
                                "256",
                                "--height",
                                "256",
                                "--stars",
                                "70",
                                "--fwhm",
                                std::to_string(fwhm),
                                std::to_string(fwhm),
                                "--bits",
                                "12",
                                "--seed",
                                std::to_string(seed)};
  if (!card) args.push_back("--no-saturate-card");
  if (quiet) args.push_back("--quiet-sky");
  const auto gen = testing::RunProgram(MORVIK_FIELDGEN, args, s.dir);
  EXPECT_EQ(gen.status, 0) << gen.err;
  s.truth = ReadTruth(s.dir / "s_truth.txt");
  return s;
}

Reduced RunReduce(Series& s, const std::string& out, std::vector<std::string> extra) {
  std::vector<std::string> args;
  for (const Frame& f : s.truth.frames)
    args.push_back((s.dir / f.file).string());
  args.insert(args.end(), {"--out", (s.dir / out / "field").string()});
  args.insert(args.end(), extra.begin(), extra.end());
  const auto run = testing::RunProgram(MORVIK_REDUCE, args, s.dir);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  Reduced r = Read(s.dir / out / "field");
  for (std::size_t k = 0; k < s.truth.frames.size(); ++k)
    if (s.truth.frames[k].file == r.reference) s.ref = static_cast<int>(k) + 1;
  // Each true star at its catalog position on the reference.
  s.idOf.clear();
  for (auto [id, kind] : s.truth.kind) {
    const Flux& f = s.truth.flux[{s.ref, id}];
    for (std::size_t c = 0; c < r.catalog.size(); ++c)
      if (std::hypot(r.catalog[c].x - f.x, r.catalog[c].y - f.y) < 1.0) s.idOf[id] = static_cast<int>(c);
  }
  return r;
}

// Expected S/N of a star on a frame through an aperture of `factor` x FWHM.
double SignalToNoise(const Truth& t, int frame, int id, double factor) {
  const Frame& f = t.frames[static_cast<std::size_t>(frame - 1)];
  const double r = factor * f.fwhm;
  const double signal = Enclosed(r, f.fwhm) * t.flux.at({frame, id}).adu;
  const double pixelVar = f.sky / t.gain + t.readNoise * t.readNoise / (t.gain * t.gain);
  return signal / std::sqrt(signal / t.gain + std::numbers::pi * r * r * pixelVar);
}

bool EverSaturated(const Truth& t, int id) {
  for (std::size_t k = 1; k <= t.frames.size(); ++k)
    if (t.flux.at({static_cast<int>(k), id}).saturated) return true;
  return false;
}

// Constant stars with no other star within `reach` px that gives `share` of their light.
bool Clean(const Truth& t, int frame, int id, double reach = 12, double share = 0.025) {
  if (t.kind.at(id) != "constant" || EverSaturated(t, id)) return false;
  const Flux& f = t.flux.at({frame, id});
  for (auto [other, kind] : t.kind) {
    const Flux& o = t.flux.at({frame, other});
    if (other != id && std::hypot(o.x - f.x, o.y - f.y) < reach && o.adu > share * f.adu) return false;
  }
  return true;
}

// A cosmic ray within `radius` of the star on frame k: on its core it cannot be told
// from the star.
bool Hit(const Truth& t, std::size_t k, int id, double radius) {
  const auto it = t.cosmic.find(static_cast<int>(k));
  if (it == t.cosmic.end()) return false;
  const Flux& f = t.flux.at({static_cast<int>(k), id});
  return std::any_of(it->second.begin(), it->second.end(),
                     [&](std::pair<int, int> p) { return std::hypot(p.first - f.x, p.second - f.y) < radius; });
}

struct Case {
  double fwhm;
  bool card;
  int seed;
  bool single = false; // also against one aperture of 1.5 FWHM
};

class Photometry : public ::testing::TestWithParam<Case> {};

TEST_P(Photometry, TrueFluxesFromRealCameras) {
  const Case c = GetParam();
  Series s = Generate("f" + std::to_string(static_cast<int>(c.fwhm * 10)), c.fwhm, c.card, c.seed);
  const Truth& t = s.truth;
  const std::size_t frames = t.frames.size();

  // One wide aperture: the light of every unsaturated bright star is all there. (At
  // 1.2 px on a 12-bit camera the stars of S/N 100 saturate: S/N 70 and up here.)
  const double r = std::max(5.0, 4.0 * c.fwhm);
  Reduced wide = RunReduce(s, "wide", {"--aperture", std::to_string(r)});
  ASSERT_EQ(wide.rows.size(), frames);
  int brightStars = 0;
  for (auto [id, index] : s.idOf) {
    if (!Clean(t, s.ref, id, r + 4.0 * c.fwhm, 0.002) || SignalToNoise(t, s.ref, id, 1.0) < 70) continue;
    std::vector<double> ratio;
    for (std::size_t k = 1; k <= frames; ++k) {
      const auto [m, e] = wide.rows[k - 1][static_cast<std::size_t>(index)];
      if (m > 99) continue;
      const double flux = t.frames[k - 1].exptime * std::pow(10.0, -0.4 * (m - 25.0));
      ratio.push_back(flux / (t.flux.at({static_cast<int>(k), id}).adu * Enclosed(r, t.frames[k - 1].fwhm)));
    }
    if (ratio.size() < 5) continue; // near the edge most of the time
    EXPECT_NEAR(Median(ratio), 1.0, 0.01) << "star " << id << " S/N " << SignalToNoise(t, s.ref, id, 1.0);
    ++brightStars;
  }
  EXPECT_GE(brightStars, 1);

  // The default: several apertures, the best per star, on one scale.
  Reduced best = RunReduce(s, "best", {});
  ASSERT_EQ(best.rows.size(), frames);
  ASSERT_EQ(best.frameColumns.size(), frames);
  // The seeing as fitted is the truth's within 5 %.
  for (std::size_t k = 0; k < frames; ++k)
    EXPECT_NEAR(std::stod(best.frameColumns[k][3]), t.frames[k].fwhm, 0.05 * t.frames[k].fwhm + 0.005) << k;

  // The clean stars of S/N >= 50: each one's median offset from the truth and the
  // scatter of the bright ones against their expected noise.
  std::vector<int> good;
  for (auto [id, index] : s.idOf)
    if (Clean(t, s.ref, id, 8.0 + 3.0 * c.fwhm, 0.01) && SignalToNoise(t, s.ref, id, 1.0) >= 50) good.push_back(id);
  ASSERT_GE(good.size(), 5u);
  auto delta = [&](std::size_t k, int id) {
    const auto [m, e] = best.rows[k - 1][static_cast<std::size_t>(s.idOf[id])];
    return m > 99 ? std::nan("")
                  : m - (25.0 - 2.5 * std::log10(t.flux.at({static_cast<int>(k), id}).adu / t.frames[k - 1].exptime));
  };
  // The true fluxes hold the transparency; per frame what is left is the share of the
  // light in the widest aperture: the error-weighted mean offset of the clean stars.
  std::vector<double> zero(frames + 1, 0.0);
  for (std::size_t k = 1; k <= frames; ++k) {
    double sw = 0, swx = 0;
    for (int id : good) {
      const double e = best.rows[k - 1][static_cast<std::size_t>(s.idOf[id])].second;
      if (!std::isfinite(delta(k, id)) || Hit(t, k, id, 2.0 * c.fwhm + 2.0)) continue;
      sw += 1 / (e * e);
      swx += delta(k, id) / (e * e);
    }
    zero[k] = swx / sw;
  }
  // Each star's mean offset (a bias) and the standard error of that mean; the median
  // |offset| may exceed 3 mmag only by what 24 frames of noise give (0.67 x its error).
  std::vector<double> offsets, standardErrors;
  double sum2 = 0, expected2 = 0;
  for (int id : good) {
    double sw = 0, swx = 0, expected = 0;
    std::vector<double> d;
    const double factor = best.factor.at(s.idOf[id] + 1);
    for (std::size_t k = 1; k <= frames; ++k) {
      if (!std::isfinite(delta(k, id)) || Hit(t, k, id, 2.0 * c.fwhm + 2.0)) continue;
      const double e = best.rows[k - 1][static_cast<std::size_t>(s.idOf[id])].second;
      d.push_back(delta(k, id) - zero[k]);
      sw += 1 / (e * e);
      swx += d.back() / (e * e);
      expected += std::pow(1.0857 / SignalToNoise(t, static_cast<int>(k), id, factor), 2);
    }
    offsets.push_back(std::abs(swx / sw));
    standardErrors.push_back(std::sqrt(1 / sw));
    if (SignalToNoise(t, s.ref, id, 1.0) < 70) continue;
    // The bright ones' scatter, pooled, against the noise of photons, sky and readout.
    for (double v : d)
      sum2 += (v - swx / sw) * (v - swx / sw);
    expected2 += expected;
  }
  EXPECT_LE(Median(offsets), 0.003 + 0.67 * Median(standardErrors));
  ASSERT_GT(expected2, 0);
  EXPECT_LE(std::sqrt(sum2 / expected2), 1.2);

  // Every star that saturates is flagged and not measured where it does.
  int saturated = 0;
  for (auto [id, index] : s.idOf) {
    if (!EverSaturated(t, id)) continue;
    ++saturated;
    EXPECT_NE(best.catalog[static_cast<std::size_t>(index)].flags.find("saturated"), std::string::npos) << id;
    for (std::size_t k = 1; k <= frames; ++k)
      if (t.flux.at({static_cast<int>(k), id}).saturated) {
        EXPECT_GT(best.rows[k - 1][static_cast<std::size_t>(index)].first, 99.0) << id << " frame " << k;
      }
  }
  EXPECT_GE(saturated, 1);

  // A star whose aperture takes in a hot pixel (and no cosmic-ray hit) shows no dip
  // or bump beyond 3 sigma.
  int crossings = 0;
  for (auto [id, index] : s.idOf) {
    if (!Clean(t, s.ref, id) || SignalToNoise(t, s.ref, id, 1.0) < 20) continue;
    const double radius = 2.0 * c.fwhm + 1.0;
    for (std::size_t k = 1; k <= frames; ++k) {
      const Flux& f = t.flux.at({static_cast<int>(k), id});
      auto near = [&](std::pair<int, int> p) { return std::hypot(p.first - f.x, p.second - f.y) < radius; };
      if (std::none_of(t.hot.begin(), t.hot.end(), near)) continue;
      if (Hit(t, k, id, radius)) continue;
      // Not measured (the hot pixel at its centre, or saturating it) is no dip.
      const auto [m, e] = best.rows[k - 1][static_cast<std::size_t>(s.idOf[id])];
      if (m > 99) continue;
      ++crossings;
      EXPECT_LT(std::abs(delta(k, id) - zero[k]), 3.0 * e + 0.003) << "star " << id << " frame " << k;
    }
  }
  EXPECT_GE(crossings, 1);

  // Faint constant stars (S/N 20-50) on a bright sky: the aperture kept per star
  // scatters at least 20 % less than one aperture of 1.5 FWHM for all.
  if (c.single) {
    Series bright = Generate("sky", c.fwhm, c.card, c.seed, false);
    Reduced one = RunReduce(bright, "single", {"--apertures", "1.5"});
    Reduced many = RunReduce(bright, "many", {});
    auto scatter = [&](const Reduced& red, int id) {
      std::vector<double> d;
      for (std::size_t k = 1; k <= frames; ++k) {
        const double m = red.rows[k - 1][static_cast<std::size_t>(bright.idOf[id])].first;
        if (m < 99 && !Hit(bright.truth, k, id, 2.0 * c.fwhm + 2.0))
          d.push_back(m - (25.0 - 2.5 * std::log10(bright.truth.flux.at({static_cast<int>(k), id}).adu /
                                                   bright.truth.frames[k - 1].exptime)));
      }
      const double mid = Median(d);
      for (double& v : d)
        v = std::abs(v - mid);
      return 1.4826 * Median(d);
    };
    std::vector<double> ratio;
    for (auto [id, index] : bright.idOf) {
      const double snr = SignalToNoise(bright.truth, bright.ref, id, 1.5);
      if (Clean(bright.truth, bright.ref, id) && snr >= 20 && snr <= 50)
        ratio.push_back(scatter(many, id) / scatter(one, id));
    }
    ASSERT_GE(ratio.size(), 5u);
    EXPECT_LE(Median(ratio), 0.8);
  }

  // The catalog reader opens the flagged catalog as before.
  StarCatalog catalog;
  NullLog log;
  LoadStarCatalog((s.dir / "best" / "field.xml").string(), catalog, log);
  for (std::size_t i = 0; i < best.catalog.size(); ++i) {
    EXPECT_NEAR(catalog[static_cast<long long>(i) + 1].X - 1, best.catalog[i].x, 1e-9) << i;
    EXPECT_NEAR(catalog[static_cast<long long>(i) + 1].Y - 1, best.catalog[i].y, 1e-9) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeing, Photometry,
                         ::testing::Values(Case{1.2, false, 11}, Case{1.5, true, 12}, Case{2.0, false, 13, true},
                                           Case{3.5, true, 14}),
                         [](const auto& p) { return "fwhm" + std::to_string(static_cast<int>(p.param.fwhm * 10)); });

} // namespace
} // namespace morvik
