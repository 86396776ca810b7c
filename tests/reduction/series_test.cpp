// A generated series of frames reduced end to end by morvik-reduce and compared with
// the generator's truth file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/process.hpp"
#include "common/chart_outliers.hpp"
#include "dataset/readers.hpp"
#include "work_dir.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/period_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"

namespace morvik {
namespace {

namespace fs = std::filesystem;

struct TruthFrame {
  std::string file;
  double jd = 0, exptime = 0, a = 1, b = 0, c = 0, d = 0, e = 1, f = 0, fwhm = 0, sky = 0, transparency = 1;
};
struct TruthStar {
  int id = 0;
  double x = 0, y = 0, mag = 0;
  std::string kind;
};
struct Truth {
  double zeroPoint = 0, gain = 1;
  std::vector<TruthFrame> frames;
  std::vector<TruthStar> stars;
  std::map<std::pair<int, int>, double> mags; // (frame index 1-based, id) -> magnitude

  double Mag(int frame, const TruthStar& s) const {
    auto it = mags.find({frame, s.id});
    return it == mags.end() ? s.mag : it->second;
  }
  // Another star within 12 pixels that gives at least 2.5 % of this one's light changes
  // its aperture's light with the seeing: no test of the errors there.
  bool Crowded(const TruthStar& s) const {
    for (const TruthStar& o : stars)
      if (o.id != s.id && std::hypot(o.x - s.x, o.y - s.y) < 12 && o.mag < s.mag + 4) return true;
    return false;
  }
  // Expected signal-to-noise ratio of a star on a frame in an aperture of 1.5 FWHM.
  double SignalToNoise(int frame, const TruthStar& s) const {
    const TruthFrame& f = frames[static_cast<std::size_t>(frame - 1)];
    const double signal = std::pow(10.0, -0.4 * (Mag(frame, s) - zeroPoint)) * f.exptime * f.transparency;
    const double area = M_PI * std::pow(1.5 * f.fwhm, 2);
    return signal / std::sqrt(signal + area * f.sky * gain);
  }
};

Truth ReadTruth(const fs::path& path) {
  Truth t;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream w(line);
    std::string kind;
    w >> kind;
    if (kind == "zero_point") w >> t.zeroPoint;
    if (kind == "gain") w >> t.gain;
    if (kind == "frame") {
      TruthFrame f;
      int index = 0;
      w >> index >> f.file >> f.jd >> f.exptime >> f.a >> f.b >> f.c >> f.d >> f.e >> f.f >> f.fwhm >> f.sky >>
          f.transparency;
      t.frames.push_back(f);
    }
    if (kind == "star") {
      TruthStar s;
      w >> s.id >> s.x >> s.y >> s.mag >> s.kind;
      t.stars.push_back(s);
    }
    if (kind == "mag") {
      int frame = 0, id = 0;
      double m = 0;
      w >> frame >> id >> m;
      t.mags[{frame, id}] = m;
    }
  }
  return t;
}

TEST(ReductionSeries, UsageErrorsWriteNothing) {
  const fs::path dir = morvik::testing::TestWorkDir("reduction_usage");
  fs::remove_all(dir);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"a.fits", "b.fits"},
                                             {"a.fits", "--out", "x/f"},
                                             {"a.fits", "b.fits", "--out", "x/f", "--time-at", "end"},
                                             {"a.fits", "b.fits", "--out", "x/f", "--annulus", "9", "4"},
                                             {"a.fits", "b.fits", "--out", "x/f", "--bogus"}}) {
    const auto r = testing::RunProgram(MORVIK_REDUCE, args, dir);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
  }
  // Two frames that cannot be read: a failure with a message.
  const auto r = testing::RunProgram(MORVIK_REDUCE, {"a.fits", "b.fits", "--out", "x/f"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(dir / "x"));
}

TEST(ReductionSeries, GeneratedFramesReduceToTheTruth) {
  const fs::path dir = morvik::testing::TestWorkDir("reduction_series");
  fs::remove_all(dir);
  auto gen = testing::RunProgram(MORVIK_FIELDGEN, {"--series", (dir / "s").string()}, dir);
  ASSERT_EQ(gen.status, 0) << gen.err;
  const Truth truth = ReadTruth(dir / "s_truth.txt");
  ASSERT_EQ(truth.frames.size(), 20u);
  std::vector<std::string> args;
  for (const auto& f : truth.frames)
    args.push_back((dir / f.file).string());
  // Every faint phase is kept by default; the chart's standard deviation weighs each
  // point alike, so the stars that vanish on the cloudy frame are cut as an observer
  // cuts them, at S/N 3.
  args.insert(args.end(), {"--out", (dir / "out" / "field").string(), "--min-snr", "3", "--no-solve"});
  auto run = testing::RunProgram(MORVIK_REDUCE, args, dir);
  ASSERT_EQ(run.status, 0) << run.out << run.err;

  TTimeSeries series;
  StarCatalog catalog;
  NullLog log;
  LoadPhotometryTable((dir / "out" / "field.dat").string(), series, log);
  LoadStarCatalog((dir / "out" / "field.xml").string(), catalog, log);
  // Every frame is used, the flipped and the cloudy one too; rows in time order.
  ASSERT_EQ(series.RowCount, 20) << run.out;
  std::vector<int> frameOfRow; // 1-based truth frame of each row
  for (int k = 1; k <= 20; ++k)
    frameOfRow.push_back(k);
  std::sort(frameOfRow.begin(), frameOfRow.end(), [&](int l, int r) {
    return truth.frames[static_cast<std::size_t>(l - 1)].jd < truth.frames[static_cast<std::size_t>(r - 1)].jd;
  });
  for (std::size_t r = 0; r < 20; ++r)
    EXPECT_NEAR(series.Rows[r].Time, truth.frames[static_cast<std::size_t>(frameOfRow[r] - 1)].jd, 1e-6) << r;

  // Catalog positions are on the reference frame.
  const std::string report = testing::ReadFile(dir / "out" / "field_reduction.txt");
  const auto at = report.find("Reference frame: ");
  ASSERT_NE(at, std::string::npos);
  const std::string refName = fs::path(report.substr(at + 17, report.find('\n', at) - at - 17)).filename().string();
  int ref = 0;
  for (std::size_t k = 0; k < truth.frames.size(); ++k)
    if (truth.frames[k].file == refName) ref = static_cast<int>(k) + 1;
  ASSERT_GT(ref, 0) << refName;
  const TruthFrame& rf = truth.frames[static_cast<std::size_t>(ref - 1)];

  // Bright stars found on the reference, each at its own id.
  std::map<int, int> idOf; // truth id -> catalog id
  int bright = 0;
  std::map<int, int> used;
  for (const TruthStar& s : truth.stars) {
    const double x = rf.a * s.x + rf.b * s.y + rf.c, y = rf.d * s.x + rf.e * s.y + rf.f;
    if (s.kind == "saturated" || truth.SignalToNoise(ref, s) < 20 || x < 10 || y < 10 || x > 245 || y > 245) continue;
    ++bright;
    int best = 0;
    double bestD = 1.0;
    for (int id = 1; id <= series.StarCount; ++id) {
      const double dd = std::hypot(catalog[id].X - 1 - x, catalog[id].Y - 1 - y);
      if (dd < bestD) {
        bestD = dd;
        best = id;
      }
    }
    if (best == 0) continue;
    EXPECT_EQ(used[best]++, 0) << "catalog star " << best << " taken twice";
    idOf[s.id] = best;
  }
  ASSERT_GT(bright, 10);
  EXPECT_GE(static_cast<double>(idOf.size()), 0.98 * bright) << idOf.size() << " of " << bright;

  // (m - truth) / err of the bright constant stars, frame zero points removed.
  std::vector<double> z;
  int cloudy = 0, vanished = 0, vanishedMarked = 0;
  for (std::size_t r = 0; r < 20; ++r) {
    const int k = frameOfRow[r];
    std::vector<std::pair<double, double>> resid; // (m - truth, err)
    for (const TruthStar& s : truth.stars) {
      auto it = idOf.find(s.id);
      if (it == idOf.end()) continue;
      const TMeasurement& m = series.Rows[r].Items[static_cast<std::size_t>(it->second - 1)];
      if (s.kind != "constant" || !m.Valid || truth.SignalToNoise(k, s) < 20 || truth.Crowded(s)) continue;
      resid.emplace_back(m.Mag - truth.Mag(k, s), m.Err);
    }
    if (resid.size() >= 3) {
      // Weighted mean zero point; a residual from it has the variance err^2 - 1 / sum(w).
      double sw = 0, swx = 0;
      for (auto [d, e] : resid) {
        sw += 1 / (e * e);
        swx += d / (e * e);
      }
      for (auto [d, e] : resid)
        z.push_back((d - swx / sw) / std::sqrt(e * e - 1 / sw));
    }
    if (truth.frames[static_cast<std::size_t>(k - 1)].transparency < 0.5) {
      cloudy = k;
      for (const TruthStar& s : truth.stars) {
        auto it = idOf.find(s.id);
        if (it == idOf.end() || truth.SignalToNoise(k, s) >= 1.0) continue;
        ++vanished;
        if (!series.Rows[r].Items[static_cast<std::size_t>(it->second - 1)].Valid) ++vanishedMarked;
      }
    }
  }
  ASSERT_GT(z.size(), 60u);
  // A cosmic-ray hit on a star's core cannot be told from the star; such rare hits
  // (beyond 5 sigma, at most 3 %) stay out of the spread.
  double sum2 = 0;
  std::size_t kept = 0;
  for (double v : z)
    if (std::abs(v) <= 5) {
      sum2 += v * v;
      ++kept;
    }
  EXPECT_GE(kept, z.size() * 97 / 100);
  const double spread = std::sqrt(sum2 / static_cast<double>(kept));
  EXPECT_GT(spread, 0.8) << kept;
  EXPECT_LT(spread, 1.3) << kept;
  EXPECT_GT(cloudy, 0);
  EXPECT_GE(vanishedMarked, vanished * 9 / 10) << vanishedMarked << " of " << vanished;

  // Opened, with the brightest uncrowded constant star as comparison, Run and Search
  // Variables: each variable that swings by 0.3 mag or more over the series stands at
  // least 3 times above the median standard deviation of the 10 stars nearest in
  // magnitude, and among the most outlying points.
  MemoryLog wsLog(true);
  Workspace ws(wsLog);
  ASSERT_TRUE(OpenFrame(ws, (dir / "out" / "field.fts").string()));
  const TruthStar* comp = nullptr;
  for (const TruthStar& s : truth.stars)
    if (s.kind == "constant" && idOf.count(s.id) && !truth.Crowded(s) && (!comp || s.mag < comp->mag)) comp = &s;
  ASSERT_NE(comp, nullptr);
  ws.PickedStar = idOf[comp->id];
  SelectComparison(ws, std::to_string(comp->mag));
  // The variables that swing by at least `swing`, and by `errors` times their error
  // on the first frame, over the series stand out.
  auto standOut = [&](double swing, double errors) {
    morvik::Run(ws);
    SearchVariables(ws);
    const auto& pts = ws.VarChart.series[kSeries1].Points();
    EXPECT_GT(pts.size(), 15u);
    const std::vector<double> ratio = testing::RatioToNeighbours(pts, 10);
    std::vector<double> sorted = ratio;
    std::sort(sorted.rbegin(), sorted.rend());
    int variables = 0;
    for (const TruthStar& s : truth.stars) {
      if (s.kind == "constant" || s.kind == "saturated" || !idOf.count(s.id)) continue;
      double lo = 99, hi = -99;
      for (int k = 1; k <= 20; ++k) {
        lo = std::min(lo, truth.Mag(k, s));
        hi = std::max(hi, truth.Mag(k, s));
      }
      const std::string label = std::to_string(idOf[s.id] - 1);
      auto it = std::find_if(pts.begin(), pts.end(), [&](const ChartPoint& p) { return p.label == label; });
      if (hi - lo < swing || (hi - lo) * truth.SignalToNoise(1, s) < errors) continue;
      ++variables;
      if (it == pts.end()) {
        ADD_FAILURE() << s.kind << " " << s.id << " not on the chart";
        continue;
      }
      const double r = ratio[static_cast<std::size_t>(it - pts.begin())];
      EXPECT_GE(r, 3.0) << s.kind << " " << s.id << " swing " << hi - lo;
      EXPECT_GE(r, sorted[5]) << s.kind << " " << s.id << " swing " << hi - lo;
    }
    return variables;
  };
  EXPECT_GE(standOut(0.3, 0.0), 2);
  // The field is sparse: the stars nearest in magnitude to the brightest are much
  // fainter and noisier. Against its own errors (the square root of chi-squared on Y),
  // with the cloudy frame deleted for all stars as an observer cleans a light curve,
  // every variable that swings by ten times its error stands out: the 0.1 mag pulsator
  // too, though not the 0.02 mag irregular star of S/N 60.
  ws.SelectedRow = -1;
  for (std::size_t r = 0; r < 20; ++r)
    if (frameOfRow[r] == cloudy) ws.SelectedRow = static_cast<int>(r);
  ASSERT_GE(ws.SelectedRow, 0);
  DeletePointForAll(ws);
  ws.settings.ChartY = 3;
  EXPECT_GE(standOut(0.0, 10.0), 3);
}

} // namespace
} // namespace morvik
