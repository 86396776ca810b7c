// The generator's camera model checked against its own truth file, pixel by pixel:
// fluxes, undersampled peaks, the ADC's ceiling, the sensor's hot pixels, cosmic rays,
// the quiet sky and the bright neighbour.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "app/process.hpp"
#include "frames/frame_file.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;

const fs::path kWork = fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("camera-" + std::to_string(::getpid()));

struct Flux {
  int frame = 0, id = 0;
  double x = 0, y = 0, adu = 0, peak = 0;
  bool saturated = false;
};
struct Pixel {
  int frame = 0, x = 0, y = 0; // frame 0: every frame (a hot pixel)
  double level = 0;            // ADU (cosmic) or ADU per second (hot)
};
struct CameraTruth {
  double gain = 0, pedestal = 0, ceiling = 0, readNoise = 0;
  std::vector<std::string> files;
  std::vector<double> fwhm, exptime;
  std::vector<Flux> flux;
  std::vector<Pixel> hot, cosmic;
  int neighbour = 0, neighbourOf = 0;
};

CameraTruth ReadCameraTruth(const fs::path& path) {
  CameraTruth t;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream w(line);
    std::string kind, skip;
    w >> kind;
    if (kind == "frame") {
      std::string file;
      double jd, exptime, c[6], fwhm;
      w >> skip >> file >> jd >> exptime >> c[0] >> c[1] >> c[2] >> c[3] >> c[4] >> c[5] >> fwhm;
      t.files.push_back(file);
      t.exptime.push_back(exptime);
      t.fwhm.push_back(fwhm);
    } else if (kind == "camera") {
      w >> skip >> t.ceiling >> t.gain >> t.readNoise >> t.pedestal;
    } else if (kind == "flux") {
      Flux f;
      int sat = 0;
      w >> f.frame >> f.id >> f.x >> f.y >> f.adu >> f.peak >> sat;
      f.saturated = sat != 0;
      t.flux.push_back(f);
    } else if (kind == "hot") {
      Pixel p;
      w >> p.x >> p.y >> p.level;
      t.hot.push_back(p);
    } else if (kind == "cosmic") {
      Pixel p;
      w >> p.frame >> p.x >> p.y >> p.level;
      t.cosmic.push_back(p);
    } else if (kind == "neighbour") {
      w >> t.neighbour >> t.neighbourOf;
    }
  }
  return t;
}

// Moffat (beta 3) of unit flux integrated over the pixel centred on (px, py), by a
// fine midpoint rule independent of the generator's.
double PixelShare(double px, double py, double x0, double y0, double fwhm) {
  const double alpha = fwhm / (2.0 * std::sqrt(std::cbrt(2.0) - 1.0));
  const int n = 60;
  double sum = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double dx = px - 0.5 + (i + 0.5) / n - x0, dy = py - 0.5 + (j + 0.5) / n - y0;
      sum += std::pow(1.0 + (dx * dx + dy * dy) / (alpha * alpha), -3.0);
    }
  return sum / (n * n) * 2.0 / (std::numbers::pi * alpha * alpha);
}

double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// The sky of a few counts is Poisson and whole-numbered: its median is off by up to
// half a count, so the level is a mean, clipped at 5 sigma about the median.
double SkyLevel(const std::vector<double>& v) {
  const double med = Median(v);
  std::vector<double> dev;
  for (double x : v)
    dev.push_back(std::fabs(x - med));
  const double cut = 5.0 * std::max(1.4826 * Median(dev), 1.0);
  double sum = 0;
  int n = 0;
  for (double x : v)
    if (std::fabs(x - med) < cut) {
      sum += x;
      ++n;
    }
  return sum / n;
}

struct Case {
  const char* name;
  std::vector<std::string> args;
  double ceiling;
  bool saturateCard;
  double skyNoiseMax; // ADU; 0: no check
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// One generated series of a case, its truth and its frames.
class CameraSeries : public ::testing::TestWithParam<Case> {
protected:
  static void TearDownTestSuite() { fs::remove_all(kWork); }

  void SetUp() override {
    const Case& c = GetParam();
    const fs::path dir = kWork / c.name;
    std::vector<std::string> args = {"--series", "c", "--frames", "8", "--seed", "31"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = testing::RunProgram(MORVIK_FIELDGEN, args, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    t_ = ReadCameraTruth(dir / "c_truth.txt");
    ASSERT_EQ(t_.files.size(), 8u);
    for (const std::string& f : t_.files) {
      img_.push_back(frames::ReadFrame((dir / f).string()));
      // The frame's robust sky noise, from the median absolute deviation.
      std::vector<double> v(img_.back().pixels.begin(), img_.back().pixels.end());
      const double med = Median(v);
      for (double& x : v)
        x = std::fabs(x - med);
      noise_.push_back(1.4826 * Median(v));
    }
  }

  // A cosmic ray of that frame (1-based) or a hot pixel within reach of (x, y).
  bool DefectNear(int frame, double x, double y, double reach) const {
    for (const Pixel& p : t_.cosmic)
      if (p.frame == frame && std::hypot(p.x - x, p.y - y) <= reach) return true;
    for (const Pixel& p : t_.hot)
      if (std::hypot(p.x - x, p.y - y) <= reach) return true;
    return false;
  }
  bool Isolated(const Flux& f, double reach) const {
    for (const Flux& o : t_.flux)
      if (o.frame == f.frame && o.id != f.id && std::hypot(o.x - f.x, o.y - f.y) < reach && o.adu > 0.002 * f.adu)
        return false;
    return true;
  }
  double Value(const Flux& f, int x, int y) const {
    return static_cast<double>(img_[static_cast<std::size_t>(f.frame - 1)].at(x, y));
  }

  CameraTruth t_;
  std::vector<frames::FrameImage> img_;
  std::vector<double> noise_;
};

// The ADC's ceiling: a saturated star's core reaches it (flat-topped), an unsaturated
// one's does not; the SATURATE card is there or not as asked.
TEST_P(CameraSeries, SaturationIsWhereTheTruthSays) {
  const double ceiling = GetParam().ceiling;
  EXPECT_EQ(t_.ceiling, ceiling);
  EXPECT_EQ(img_[0].Number("SATURATE").has_value(), GetParam().saturateCard);
  int saturated = 0, plateau = 0;
  for (const Flux& f : t_.flux) {
    const int cx = static_cast<int>(std::lround(f.x)), cy = static_cast<int>(std::lround(f.y));
    if (cx < 2 || cy < 2 || cx >= img_[0].width - 2 || cy >= img_[0].height - 2) continue;
    double coreMax = 0;
    int atCeiling = 0;
    for (int y = cy - 2; y <= cy + 2; ++y)
      for (int x = cx - 2; x <= cx + 2; ++x)
        if (std::hypot(x - f.x, y - f.y) <= 1.5) {
          coreMax = std::max(coreMax, Value(f, x, y));
          atCeiling += Value(f, x, y) == ceiling;
        }
    if (f.saturated) {
      ++saturated;
      EXPECT_EQ(coreMax, ceiling) << f.frame << " star " << f.id;
      plateau += atCeiling >= 3;
    } else if (!DefectNear(f.frame, f.x, f.y, 2.5)) {
      EXPECT_LT(coreMax, ceiling) << f.frame << " star " << f.id;
    }
  }
  EXPECT_GE(saturated, 7) << "the very bright star saturates on every clear frame";
  EXPECT_GE(plateau, 7) << "saturated cores are flat-topped at the ceiling";
}

// Isolated, unsaturated stars: the sum of their pixels is the true flux, and the pixel
// under the centre holds the profile integrated over it, not sampled at its centre.
TEST_P(CameraSeries, StarsHoldTheirTrueFlux) {
  int checked = 0;
  for (const Flux& f : t_.flux) {
    const double fwhm = t_.fwhm[static_cast<std::size_t>(f.frame - 1)];
    const int cx = static_cast<int>(std::lround(f.x)), cy = static_cast<int>(std::lround(f.y));
    if (cx < 22 || cy < 22 || cx >= img_[0].width - 22 || cy >= img_[0].height - 22) continue;
    if (f.saturated || f.peak > 0.8 * t_.ceiling || f.adu < 3000 || !Isolated(f, 22) ||
        DefectNear(f.frame, f.x, f.y, 20))
      continue;
    std::vector<double> ring;
    double sum = 0, area = 0;
    for (int y = cy - 21; y <= cy + 21; ++y)
      for (int x = cx - 21; x <= cx + 21; ++x) {
        double d = std::hypot(x - f.x, y - f.y);
        if (d <= 12) {
          sum += Value(f, x, y);
          ++area;
        } else if (d >= 15 && d <= 21) {
          ring.push_back(Value(f, x, y));
        }
      }
    // The Moffat wing beyond 12 px is not in the sum.
    const double sky = SkyLevel(ring), alpha = fwhm / (2.0 * std::sqrt(std::cbrt(2.0) - 1.0));
    const double expected = f.adu * (1.0 - std::pow(1.0 + 144.0 / (alpha * alpha), -2.0));
    const double skyVar = t_.readNoise * t_.readNoise / (t_.gain * t_.gain) + (sky - t_.pedestal) / t_.gain + 1.0 / 12;
    const double sigma = std::sqrt(expected / t_.gain + area * skyVar * 1.2);
    EXPECT_NEAR(sum - area * sky, expected, 4.0 * sigma + 0.002 * expected) << f.frame << " star " << f.id;

    const double share = PixelShare(cx, cy, f.x, f.y, fwhm) * f.adu;
    const double peakSigma = std::sqrt(share / t_.gain + skyVar);
    EXPECT_NEAR(Value(f, cx, cy) - sky, share, 5.0 * peakSigma + 0.01 * share) << f.frame << " star " << f.id;
    ++checked;
  }
  EXPECT_GE(checked, 20);
}

// Hot pixels stand at the same detector pixel on every frame, and stars cross them;
// cosmic rays land on every frame, some on stars.
TEST_P(CameraSeries, DefectsStayOnTheDetectorAndMeetStars) {
  ASSERT_GE(t_.hot.size(), 5u);
  int crossings = 0, hotSeen = 0;
  for (const Pixel& p : t_.hot) {
    for (std::size_t k = 0; k < img_.size(); ++k) {
      const frames::FrameImage& im = img_[k];
      const double level = p.level * t_.exptime[k];
      std::vector<double> around;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
          if ((dx || dy) && p.x + dx >= 0 && p.y + dy >= 0 && p.x + dx < im.width && p.y + dy < im.height)
            around.push_back(static_cast<double>(im.at(p.x + dx, p.y + dy)));
      const double value = static_cast<double>(im.at(p.x, p.y));
      if (value < t_.ceiling && level > 10 * noise_[k]) {
        EXPECT_GT(value - Median(around), level - 5 * noise_[k])
            << "hot pixel " << p.x << "," << p.y << " frame " << k + 1;
        ++hotSeen;
      }
    }
    for (const Flux& f : t_.flux)
      crossings += std::hypot(f.x - p.x, f.y - p.y) < 1.0 && f.adu > 500 && !f.saturated;
  }
  EXPECT_GE(hotSeen, 16);
  EXPECT_GE(crossings, 2) << "stars must run over the sensor's hot pixels";

  int onStars = 0;
  for (int k = 1; k <= static_cast<int>(img_.size()); ++k) {
    int hits = 0;
    for (const Pixel& p : t_.cosmic) {
      if (p.frame != k) continue;
      ++hits;
      for (const Flux& f : t_.flux)
        onStars += f.frame == k && std::hypot(f.x - p.x, f.y - p.y) < 2 && f.adu > 500;
    }
    EXPECT_GE(hits, 2) << "frame " << k;
  }
  EXPECT_GE(onStars, 2);
}

// The quiet sky's noise, and the bright neighbour's flux and distance.
TEST_P(CameraSeries, QuietSkyAndBrightNeighbour) {
  if (GetParam().skyNoiseMax > 0) {
    EXPECT_LT(*std::max_element(noise_.begin(), noise_.end()), GetParam().skyNoiseMax);
    EXPECT_GT(*std::min_element(noise_.begin(), noise_.end()), 1.0);
  }
  int pairs = 0;
  for (const Flux& n : t_.flux)
    for (const Flux& s : t_.flux)
      if (n.frame == s.frame && n.id == t_.neighbour && s.id == t_.neighbourOf) {
        EXPECT_NEAR(n.adu / s.adu, 50.0, 0.1);
        EXPECT_NEAR(std::hypot(n.x - s.x, n.y - s.y), 10.0, 0.01);
        ++pairs;
      }
  EXPECT_EQ(pairs, t_.neighbour > 0 ? 8 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cameras, CameraSeries,
                         ::testing::Values(Case{"undersampled", {"--fwhm", "1.2", "1.3"}, 65535, true, 0},
                                           Case{"twelve_bit",
                                                {"--bits", "12", "--no-saturate-card", "--quiet-sky", "--fwhm", "1.5",
                                                 "2.5", "--bright-neighbour"},
                                                4095,
                                                false,
                                                1.9},
                                           Case{"defocused", {"--fwhm", "3.5", "4.5"}, 65535, true, 0}),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(CameraSeriesOptions, MalformedValuesAreUsageErrors) {
  const fs::path dir = kWork / "usage";
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--series", "c", "--bits", "14"},
                                             {"--series", "c", "--fwhm", "3", "2"},
                                             {"--series", "c", "--fwhm", "0.5", "2"},
                                             {"--series", "c", "--fwhm", "2"},
                                             {"--out", "f", "--quiet-sky"}}) {
    auto r = testing::RunProgram(MORVIK_FIELDGEN, args, dir);
    EXPECT_EQ(r.status, 2) << args[2];
    EXPECT_FALSE(fs::exists(dir / "c_truth.txt"));
  }
}

} // namespace
} // namespace morvik
