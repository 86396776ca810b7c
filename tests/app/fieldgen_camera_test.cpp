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

class CameraSeries : public ::testing::TestWithParam<Case> {
protected:
  static void TearDownTestSuite() { fs::remove_all(kWork); }
};

TEST_P(CameraSeries, PixelsHoldWhatTheTruthSays) {
  const Case& c = GetParam();
  const fs::path dir = kWork / c.name;
  std::vector<std::string> args = {"--series", "c", "--frames", "8", "--seed", "31"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  auto r = testing::RunProgram(MORVIK_FIELDGEN, args, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const CameraTruth t = ReadCameraTruth(dir / "c_truth.txt");
  ASSERT_EQ(t.files.size(), 8u);
  EXPECT_EQ(t.ceiling, c.ceiling);

  std::vector<frames::FrameImage> img;
  for (const std::string& f : t.files)
    img.push_back(frames::ReadFrame((dir / f).string()));
  EXPECT_EQ(img[0].Number("SATURATE").has_value(), c.saturateCard);

  // Pixels a defect touches on a frame (1-based frame; hot pixels on all of them).
  auto defectNear = [&](int frame, double x, double y, double reach) {
    for (const Pixel& p : t.cosmic)
      if (p.frame == frame && std::hypot(p.x - x, p.y - y) <= reach) return true;
    for (const Pixel& p : t.hot)
      if (std::hypot(p.x - x, p.y - y) <= reach) return true;
    return false;
  };
  auto isolated = [&](const Flux& f, double reach) {
    for (const Flux& o : t.flux)
      if (o.frame == f.frame && o.id != f.id && std::hypot(o.x - f.x, o.y - f.y) < reach && o.adu > 0.002 * f.adu)
        return false;
    return true;
  };

  int fluxChecked = 0, peakChecked = 0, saturated = 0, plateau = 0;
  for (const Flux& f : t.flux) {
    const frames::FrameImage& im = img[static_cast<std::size_t>(f.frame - 1)];
    const double fwhm = t.fwhm[static_cast<std::size_t>(f.frame - 1)];
    const int cx = static_cast<int>(std::lround(f.x)), cy = static_cast<int>(std::lround(f.y));
    if (cx < 22 || cy < 22 || cx >= im.width - 22 || cy >= im.height - 22) continue;

    // The ceiling: a saturated star's core reaches it, an unsaturated one's does not.
    double coreMax = 0;
    int atCeiling = 0;
    for (int y = cy - 2; y <= cy + 2; ++y)
      for (int x = cx - 2; x <= cx + 2; ++x)
        if (std::hypot(x - f.x, y - f.y) <= 1.5) {
          coreMax = std::max(coreMax, static_cast<double>(im.at(x, y)));
          atCeiling += static_cast<double>(im.at(x, y)) == c.ceiling;
        }
    if (f.saturated) {
      ++saturated;
      EXPECT_EQ(coreMax, c.ceiling) << f.frame << " star " << f.id;
      plateau += atCeiling >= 3;
    } else if (!defectNear(f.frame, f.x, f.y, 2.5)) {
      EXPECT_LT(coreMax, c.ceiling) << f.frame << " star " << f.id;
    }
    if (f.saturated || f.peak > 0.8 * c.ceiling || f.adu < 3000 || !isolated(f, 22) ||
        defectNear(f.frame, f.x, f.y, 20))
      continue;

    // The sum of the star's pixels is its true flux (less the Moffat wing beyond 12 px).
    std::vector<double> ring;
    double sum = 0, area = 0;
    for (int y = cy - 21; y <= cy + 21; ++y)
      for (int x = cx - 21; x <= cx + 21; ++x) {
        double d = std::hypot(x - f.x, y - f.y);
        if (d <= 12) {
          sum += static_cast<double>(im.at(x, y));
          ++area;
        } else if (d >= 15 && d <= 21) {
          ring.push_back(static_cast<double>(im.at(x, y)));
        }
      }
    const double sky = SkyLevel(ring), alpha = fwhm / (2.0 * std::sqrt(std::cbrt(2.0) - 1.0));
    const double expected = f.adu * (1.0 - std::pow(1.0 + 144.0 / (alpha * alpha), -2.0));
    const double skyVar = t.readNoise * t.readNoise / (t.gain * t.gain) + (sky - t.pedestal) / t.gain + 1.0 / 12;
    const double sigma = std::sqrt(expected / t.gain + area * skyVar * 1.2);
    EXPECT_NEAR(sum - area * sky, expected, 4.0 * sigma + 0.002 * expected) << f.frame << " star " << f.id;
    ++fluxChecked;

    // The brightest pixel is the profile integrated over it, not sampled at its centre.
    const double share = PixelShare(cx, cy, f.x, f.y, fwhm) * f.adu;
    const double peakSigma = std::sqrt(share / t.gain + skyVar);
    EXPECT_NEAR(static_cast<double>(im.at(cx, cy)) - sky, share, 5.0 * peakSigma + 0.01 * share)
        << f.frame << " star " << f.id;
    ++peakChecked;
  }
  EXPECT_GE(fluxChecked, 20);
  EXPECT_GE(peakChecked, 20);
  EXPECT_GE(saturated, 7) << "the very bright star saturates on every clear frame";
  EXPECT_GE(plateau, 7) << "saturated cores are flat-topped at the ceiling";

  // Hot pixels stand at the same detector pixel on every frame, and stars cross them.
  ASSERT_GE(t.hot.size(), 5u);
  std::vector<double> noise; // each frame's robust sky noise
  for (const frames::FrameImage& im : img) {
    std::vector<double> v(im.pixels.begin(), im.pixels.end());
    const double med = Median(v);
    for (double& x : v)
      x = std::fabs(x - med);
    noise.push_back(1.4826 * Median(v));
  }
  int crossings = 0, hotSeen = 0;
  for (const Pixel& p : t.hot) {
    for (std::size_t k = 0; k < img.size(); ++k) {
      const double level = p.level * t.exptime[k];
      std::vector<double> around;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
          if ((dx || dy) && p.x + dx >= 0 && p.y + dy >= 0 && p.x + dx < img[k].width && p.y + dy < img[k].height)
            around.push_back(static_cast<double>(img[k].at(p.x + dx, p.y + dy)));
      const double value = static_cast<double>(img[k].at(p.x, p.y)), rise = value - Median(around);
      if (value < c.ceiling && level > 10 * noise[k]) {
        EXPECT_GT(rise, level - 5 * noise[k]) << "hot pixel " << p.x << "," << p.y << " frame " << k + 1;
        ++hotSeen;
      }
    }
    for (const Flux& f : t.flux)
      crossings += std::hypot(f.x - p.x, f.y - p.y) < 1.0 && f.adu > 500 && !f.saturated;
  }
  EXPECT_GE(hotSeen, 16);
  EXPECT_GE(crossings, 2) << "stars must run over the sensor's hot pixels";

  // Cosmic rays land on every frame, sharp, and some on stars.
  int onStars = 0;
  for (std::size_t k = 1; k <= img.size(); ++k) {
    int hits = 0;
    for (const Pixel& p : t.cosmic) {
      if (p.frame != static_cast<int>(k)) continue;
      ++hits;
      for (const Flux& f : t.flux)
        onStars += f.frame == p.frame && std::hypot(f.x - p.x, f.y - p.y) < 2 && f.adu > 500;
    }
    EXPECT_GE(hits, 2) << "frame " << k;
  }
  EXPECT_GE(onStars, 2);

  if (c.skyNoiseMax > 0) {
    // The quiet sky: the frames' robust noise, from the median absolute deviation.
    EXPECT_LT(*std::max_element(noise.begin(), noise.end()), c.skyNoiseMax);
    EXPECT_GT(*std::min_element(noise.begin(), noise.end()), 1.0);
  }
  if (t.neighbour > 0) {
    for (const Flux& n : t.flux)
      for (const Flux& s : t.flux)
        if (n.frame == s.frame && n.id == t.neighbour && s.id == t.neighbourOf) {
          EXPECT_NEAR(n.adu / s.adu, 50.0, 0.1);
          EXPECT_NEAR(std::hypot(n.x - s.x, n.y - s.y), 10.0, 0.01);
        }
  }
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
