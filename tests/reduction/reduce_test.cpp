#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "dataset/readers.hpp"
#include "reduction/reduce.hpp"
#include "synthetic_frames.hpp"
#include "work_dir.hpp"

namespace morvik::reduction {
namespace {

namespace fs = std::filesystem;
using morvik::testing::SynthFrame;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ReduceSeries : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = morvik::testing::TestWorkDir("reduction");
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    stars_ = morvik::testing::SynthField(25, kSide, kSide, 11);
    // Frames 0..4 taken ten minutes apart; frame 2 after a meridian flip.
    const double shifts[5][2] = {{0, 0}, {6.5, -4.25}, {-3, 7}, {9.75, 2.5}, {-7.5, -8}};
    for (int k = 0; k < 5; ++k) {
      SynthFrame fr;
      fr.width = fr.height = kSide;
      fr.fwhm = 2.5 + 0.25 * k;
      fr.c = shifts[k][0];
      fr.f = shifts[k][1];
      if (k == 2) {
        fr.a = fr.e = -1;
        fr.c += kSide - 1;
        fr.f += kSide - 1;
      }
      fr.textCards = {{"DATE-OBS", "2023-03-01T21:" + std::to_string(10 + 10 * k) + ":00"}};
      jd_.push_back(2460004.5 + (21 * 3600 + (10 + 10 * k) * 60 + 5) / 86400.0);
      Write("f" + std::to_string(k) + ".fits", fr, static_cast<unsigned>(k + 1));
      frameOf_.push_back(fr);
    }
    SynthFrame small;
    small.width = small.height = 64;
    small.textCards = {{"DATE-OBS", "2023-03-01T23:00:00"}};
    Write("small.fits", small, 9);
    SynthFrame untimed;
    untimed.width = untimed.height = kSide;
    Write("untimed.fits", untimed, 10);
    SynthFrame twin;
    twin.width = twin.height = kSide;
    twin.textCards = {{"DATE-OBS", "2023-03-01T21:10:00"}};
    Write("twin.fits", twin, 12);
    std::ofstream(dir_ / "broken.fits") << "not a FITS file";
  }

  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void Write(const std::string& name, const SynthFrame& fr, unsigned seed) {
    ASSERT_TRUE(morvik::testing::WriteSynthFrame((dir_ / name).string(), fr, stars_, seed));
    frames_.push_back((dir_ / name).string());
  }

  ReduceSettings Settings() const {
    ReduceSettings s;
    // Out of time order, bad frames among them.
    for (int i : {3, 0, 5, 1, 6, 4, 7, 2})
      s.frames.push_back(frames_[static_cast<std::size_t>(i)]);
    s.frames.push_back((dir_ / "broken.fits").string());
    s.reference = frames_[0];
    s.out = (dir_ / "field").string();
    return s;
  }

  static constexpr long kSide = 128;
  fs::path dir_;
  std::vector<morvik::testing::SynthStar> stars_;
  std::vector<std::string> frames_;
  std::vector<double> jd_;
  std::vector<SynthFrame> frameOf_;
};

TEST_F(ReduceSeries, WritesAFieldTheReadersOpen) {
  std::atomic<bool> cancel{false};
  int calls = 0;
  const ReduceResult r = Reduce(
      Settings(), [&](int, int) { ++calls; }, cancel);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(calls, 9);
  EXPECT_EQ(r.rows, 5);
  // Each bad frame is reported with its reason.
  std::map<std::string, std::string> reasons;
  for (const FrameReport& f : r.frames)
    if (!f.used) reasons[fs::path(f.file).filename().string()] = f.reason;
  EXPECT_NE(reasons["small.fits"].find("size"), std::string::npos);
  EXPECT_NE(reasons["untimed.fits"].find("no time"), std::string::npos);
  EXPECT_NE(reasons["twin.fits"].find("duplicate"), std::string::npos);
  EXPECT_NE(reasons["broken.fits"].find("unreadable"), std::string::npos);
  EXPECT_EQ(reasons.size(), 4u);

  TTimeSeries series;
  StarCatalog catalog;
  NullLog log;
  LoadPhotometryTable((dir_ / "field.dat").string(), series, log);
  LoadStarCatalog((dir_ / "field.xml").string(), catalog, log);
  ASSERT_EQ(series.RowCount, 5);
  EXPECT_EQ(series.StarCount, r.stars);
  for (int k = 0; k < 5; ++k)
    EXPECT_NEAR(series.Rows[static_cast<std::size_t>(k)].Time, jd_[static_cast<std::size_t>(k)], 1e-6);

  // The ten brightest stars are in the catalog, id 1 the brightest, each measured on
  // every frame (the flipped one too) with magnitude differences within the errors.
  std::vector<int> ids;
  for (std::size_t s = 0; s < 10; ++s) {
    int found = 0;
    for (int id = 1; id <= r.stars; ++id) {
      const TCatalogStar& c = catalog[id];
      if (std::hypot(c.X - 1 - stars_[s].x, c.Y - 1 - stars_[s].y) < 0.3) found = id;
    }
    ASSERT_GT(found, 0) << "star " << s;
    ids.push_back(found);
  }
  EXPECT_EQ(ids[0], 1);
  for (std::size_t k = 0; k < 5; ++k) {
    const TDataLine& row = series.Rows[k];
    const TMeasurement& first = row.Items[static_cast<std::size_t>(ids[0] - 1)];
    ASSERT_TRUE(first.Valid);
    for (std::size_t s = 1; s < ids.size(); ++s) {
      const TMeasurement& m = row.Items[static_cast<std::size_t>(ids[s] - 1)];
      const SynthFrame& fr = frameOf_[k];
      const double x = fr.a * stars_[s].x + fr.b * stars_[s].y + fr.c,
                   y = fr.d * stars_[s].x + fr.e * stars_[s].y + fr.f;
      const double edge = std::min(std::min(x, y), std::min(kSide - 1 - x, kSide - 1 - y));
      // A star whose aperture leaves the frame is not measured.
      if (edge < 6.0) {
        if (edge < 0) {
          EXPECT_FALSE(m.Valid) << "star " << s << " off frame " << k;
        }
        continue;
      }
      ASSERT_TRUE(m.Valid) << "star " << s << " at " << row.Time;
      const double truth = -2.5 * std::log10(stars_[s].flux / stars_[0].flux);
      EXPECT_NEAR(m.Mag - first.Mag, truth, 5 * std::hypot(m.Err, first.Err) + 0.005) << "star " << s;
    }
  }
  const std::string report = Slurp(dir_ / "field_reduction.txt");
  EXPECT_NE(report.find("JD (UTC)"), std::string::npos);
  EXPECT_NE(report.find("twin.fits | skipped: duplicate"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "field.fts"));
}

TEST_F(ReduceSeries, CancelledOrFailedRunsLeaveTheEarlierFieldAlone) {
  std::atomic<bool> cancel{false};
  ASSERT_TRUE(Reduce(Settings(), {}, cancel).ok);
  const std::string table = Slurp(dir_ / "field.dat");
  const auto listing = [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const auto before = listing();

  cancel = true;
  const ReduceResult cancelled = Reduce(Settings(), {}, cancel);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_FALSE(cancelled.ok);

  cancel = false;
  ReduceSettings bad = Settings();
  bad.frames = {frames_[0], frames_[6]}; // the second has no time
  const ReduceResult failed = Reduce(bad, {}, cancel);
  EXPECT_FALSE(failed.ok);
  EXPECT_NE(failed.error.find("Fewer than two"), std::string::npos) << failed.error;

  EXPECT_EQ(listing(), before);
  EXPECT_EQ(Slurp(dir_ / "field.dat"), table);
}

} // namespace
} // namespace morvik::reduction
