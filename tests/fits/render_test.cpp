#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <regex>

#include "common/format.hpp"
#include "fits/tfits.hpp"

namespace morvik {
namespace {

class Rendering : public ::testing::Test {
protected:
  // Rows of the frame as they appear in a file: rows[y - 1][x - 1].
  void Fill(const std::vector<std::vector<double>>& rows) {
    f->Height = static_cast<int>(rows.size());
    f->Width = static_cast<int>(rows[0].size());
    for (int y = 1; y <= f->Height; ++y)
      for (int x = 1; x <= f->Width; ++x)
        f->Data(x, y) = rows[static_cast<std::size_t>(y - 1)][static_cast<std::size_t>(x - 1)];
  }
  int Grey(int x, int y) const {
    const Rgb c = f->Bitmap_.PixelAt(x - 1, y - 1);
    EXPECT_TRUE(c.r == c.g && c.g == c.b);
    return c.r;
  }
  void RenderAt(int level) {
    f->SetContrast(level);
    log.Clear();
    f->Render(log);
  }

  std::unique_ptr<TFits> f = std::make_unique<TFits>();
  MemoryLog log;
};

TEST_F(Rendering, FullRangeRoundsHalvesToEven) {
  Fill({{129, 65, 1, 257, 0}});
  RenderAt(16);
  EXPECT_EQ(f->MinK, 1.0);
  EXPECT_EQ(f->MaxK, 257.0);
  EXPECT_EQ(Grey(1, 1), 128); // 127.5
  EXPECT_EQ(Grey(2, 1), 64);  // 63.75
  EXPECT_EQ(Grey(3, 1), 0);
  EXPECT_EQ(Grey(4, 1), 255);
  EXPECT_EQ(Grey(5, 1), 0);
  EXPECT_TRUE(f->Rendered);
}

TEST_F(Rendering, LevelThreeAroundTheBackground) {
  // Most pixels at 1000 put the background there.
  Fill({{1000, 1000, 1000, 1000, 1000, 1000}, {1100, 1500, 1501, 2000, 0, -5}});
  RenderAt(3);
  EXPECT_EQ(f->BgVal, 1000.0);
  EXPECT_EQ(f->MinK, 1000.0);
  EXPECT_EQ(f->MaxK, 1500.0);
  EXPECT_EQ(Grey(1, 1), 0);
  EXPECT_EQ(Grey(1, 2), 51);
  EXPECT_EQ(Grey(2, 2), 255);
  EXPECT_EQ(Grey(3, 2), 255);
  EXPECT_EQ(Grey(5, 2), 0);
  EXPECT_EQ(Grey(6, 2), 0);
  EXPECT_TRUE(log.Contains("mink=1000 maxk=1500"));

  RenderAt(0);
  EXPECT_EQ(f->MinK, 250.0);
  EXPECT_EQ(f->MaxK, 1000.0);
}

TEST_F(Rendering, EveryLevelScalesTheBackground) {
  Fill({{1000, 1000, 1000, 3000}});
  const double minK[] = {0.25, 0.5, 0.75, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const double maxK[] = {1, 2, 3, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5, 5.5, 6, 6.5, 7, 7.5};
  for (int level = 0; level < 16; ++level) {
    RenderAt(level);
    EXPECT_EQ(f->MinK, minK[level] * 1000) << level;
    EXPECT_EQ(f->MaxK, maxK[level] * 1000) << level;
  }
  RenderAt(16);
  EXPECT_EQ(f->MinK, 1000.0);
  EXPECT_EQ(f->MaxK, 3000.0);
}

TEST_F(Rendering, StatisticsOfFourPixels) {
  Fill({{0, 16}, {32, 48}});
  RenderAt(3);
  EXPECT_EQ(f->MinVal, 16.0);
  EXPECT_EQ(f->MaxVal, 48.0);
  EXPECT_EQ(f->MeanVal, 24.0);
  EXPECT_EQ(f->Histogram[0], 1);
  EXPECT_EQ(f->Histogram[128], 1);
  EXPECT_EQ(f->Histogram[255], 1);
  int total = 0;
  for (int n : f->Histogram)
    total += n;
  EXPECT_EQ(total, 3);
  EXPECT_EQ(f->BgVal, 16.0);
  EXPECT_TRUE(log.Contains("min=16 max=48 bgval=16"));
}

TEST_F(Rendering, FullestBinSetsTheBackground) {
  Fill({{10, 265, 138, 138, 138, 265, 265}});
  RenderAt(3);
  EXPECT_EQ(f->Histogram[128], 3);
  EXPECT_EQ(f->Histogram[255], 3);
  EXPECT_EQ(f->BgVal, 10.0 + 255.0 * (128 / 255.0));
}

TEST_F(Rendering, ZerosAndNegativesOnlyCountInTheMeanDivisor) {
  Fill({{-100, 0, 10, 30}});
  RenderAt(16);
  EXPECT_EQ(f->MinVal, 10.0);
  EXPECT_EQ(f->MaxVal, 30.0);
  EXPECT_EQ(f->MeanVal, 10.0);
  EXPECT_EQ(f->Histogram[0] + f->Histogram[255], 2);

  Fill({{-100, 0, -3, -30}});
  RenderAt(3);
  EXPECT_EQ(f->MaxVal, 0.0);
  EXPECT_EQ(f->MinVal, 131070.0);
  EXPECT_EQ(f->MeanVal, 0.0);
  // No positive pixel: no background above zero.
  EXPECT_EQ(f->BgVal, 0.0);
  EXPECT_EQ(f->MinK, 0.0);
  EXPECT_EQ(f->MaxK, 0.0);
  EXPECT_EQ(Grey(1, 1), 0);
  EXPECT_EQ(Grey(2, 1), 128); // on the empty range
  EXPECT_TRUE(log.Contains("min=131070 max=0 bgval=0"));

  Fill({{-7, -2}});
  RenderAt(16);
  EXPECT_EQ(f->MaxVal, -2.0);
  // Full range of a frame without positive pixels runs backwards: all black.
  EXPECT_EQ(Grey(1, 1), 0);
  EXPECT_EQ(Grey(2, 1), 0);
}

TEST_F(Rendering, VeryBrightPixelsNeverSetTheMinimum) {
  Fill({{131070, 140000, 200000}});
  RenderAt(16);
  EXPECT_EQ(f->MinVal, 131070.0);
  EXPECT_EQ(f->MaxVal, 200000.0);
  for (int x = 1; x <= 3; ++x)
    EXPECT_GE(Grey(x, 1), 0);
  EXPECT_EQ(Grey(3, 1), 255);
}

TEST_F(Rendering, UniformFrameKeepsTheEarlierStatistics) {
  Fill({{1000, 1000, 1000, 3000}});
  RenderAt(3);
  const double bg = f->BgVal, mean = f->MeanVal;
  const auto histogram = f->Histogram;

  Fill({{500, 500}, {500, 500}});
  RenderAt(16);
  EXPECT_TRUE(log.Contains("ERROR 200: max=min."));
  EXPECT_EQ(f->BgVal, bg);
  EXPECT_EQ(f->MeanVal, mean);
  EXPECT_EQ(f->Histogram, histogram);
  EXPECT_EQ(f->MinK, 500.0);
  EXPECT_EQ(f->MaxK, 500.0);
  EXPECT_EQ(Grey(2, 2), 128);
  for (const auto& line : log.Lines()) {
    EXPECT_EQ(line.find("NAN"), std::string::npos) << line;
    EXPECT_EQ(line.find("INF"), std::string::npos) << line;
  }

  RenderAt(3); // background 1000 from before: the frame is below it
  EXPECT_EQ(Grey(1, 1), 0);
}

TEST_F(Rendering, RowsBecomeLinesFromTheTop) {
  std::vector<std::vector<double>> rows(5, std::vector<double>(7, 10.0));
  rows[1][2] = 5000; // x = 3, y = 2
  rows[4][6] = 6000; // x = 7, y = 5
  Fill(rows);
  RenderAt(16);
  ASSERT_EQ(f->Bitmap_.Width(), 7);
  ASSERT_EQ(f->Bitmap_.Height(), 5);
  for (int y = 1; y <= 5; ++y)
    for (int x = 1; x <= 7; ++x) {
      const int expected = (x == 3 && y == 2) ? 212 : (x == 7 && y == 5) ? 255 : 0;
      EXPECT_EQ(Grey(x, y), expected) << x << "," << y;
    }
}

TEST_F(Rendering, LogLinesUseTheMessageSeparator) {
  Fill({{1.5, 1.5, 2.5, 100.25}});
  SetMessageDecimalSeparator(',');
  RenderAt(16);
  SetMessageDecimalSeparator('.');
  ASSERT_EQ(log.Lines().size(), 3u);
  EXPECT_EQ(log.Lines()[0], "min=1,5 max=100,25 bgval=1,5");
  EXPECT_EQ(log.Lines()[1], "mink=1,5 maxk=100,25");
  EXPECT_TRUE(std::regex_match(log.Lines()[2], std::regex("loaded in [0-9]{5} ms"))) << log.Lines()[2];
}

// The fast grey mapping must agree with the extended-precision formula everywhere,
// above all at and next to exact halves.
TEST_F(Rendering, GreyLevelsMatchExtendedPrecision) {
  std::mt19937_64 rng(12345);
  const int w = 61, h = 37;
  for (int trial = 0; trial < 8; ++trial) {
    std::uniform_real_distribution<double> start(0.5, 20000.0), span(1e-3, 70000.0);
    double lo = start(rng), hi = lo + span(rng);
    if (trial % 2) lo = std::round(lo), hi = std::round(hi) + 1;
    if (trial == 0) lo = 1, hi = 257;
    std::uniform_real_distribution<double> inside(lo, hi);
    std::vector<std::vector<double>> rows(h, std::vector<double>(w));
    for (int k = 0; k < w * h; ++k) {
      double v = inside(rng);
      if (k % 4 != 3) {
        const double half = lo + (k % 255 + 0.5) / 255.0 * (hi - lo);
        v = k % 4 == 0 ? half : std::nextafter(half, k % 4 == 1 ? 0.0 : 1e300);
      }
      if (trial % 2 && k % 8 == 7) v = std::round(v);
      rows[static_cast<std::size_t>(k / w)][static_cast<std::size_t>(k % w)] = std::clamp(v, lo, hi);
    }
    rows[0][0] = lo;
    rows[0][1] = hi;
    Fill(rows);
    RenderAt(16);
    ASSERT_EQ(f->MinK, lo);
    ASSERT_EQ(f->MaxK, hi);
    const double s = 1.0 / (hi - lo);
    const double o = -lo * s;
    int wrong = 0;
    for (int y = 1; y <= h; ++y)
      for (int x = 1; x <= w; ++x)
        wrong += Grey(x, y) != std::llrintl((static_cast<long double>(f->Data(x, y)) * s + o) * 255.0L);
    EXPECT_EQ(wrong, 0) << trial;
  }
}

TEST_F(Rendering, HistogramMatchesExtendedPrecision) {
  std::mt19937_64 rng(777);
  std::uniform_real_distribution<double> value(1.0, 5000.0);
  const int w = 40, h = 50;
  std::vector<std::vector<double>> rows(h, std::vector<double>(w));
  for (auto& row : rows)
    for (double& v : row)
      v = value(rng);
  rows[0][0] = 1.0;
  rows[0][1] = 5000.0;
  for (int k = 2; k < w; ++k)
    rows[1][static_cast<std::size_t>(k)] = 1.0 + (k + 0.5) / 255.0 * 4999.0;
  Fill(rows);
  RenderAt(3);
  const double a = 1.0 / (f->MaxVal - f->MinVal);
  const double c = -f->MinVal * a;
  std::array<int, 256> expected{};
  for (const auto& row : rows)
    for (double v : row)
      ++expected[static_cast<std::size_t>(std::llrintl((static_cast<long double>(v) * a + c) * 255.0L))];
  for (std::size_t b = 0; b < 256; ++b)
    EXPECT_EQ(f->Histogram[b], expected[b]) << b;
}

// The mean is the positive pixels added one by one in pixel order, whatever shortcut
// the sum takes for integer frames.
TEST_F(Rendering, MeanIsTheSumInPixelOrder) {
  std::mt19937_64 rng(99);
  const int w = 300, h = 260;
  auto sequentialMean = [&] {
    double sum = 0.0;
    for (int x = 1; x <= w; ++x)
      for (int y = 1; y <= h; ++y)
        if (f->Data(x, y) > 0.0) sum += f->Data(x, y);
    return sum / (static_cast<double>(w) * h);
  };
  std::uniform_int_distribution<int> counts(-200, 65535);
  for (int variant = 0; variant < 4; ++variant) {
    std::vector<std::vector<double>> rows(h, std::vector<double>(w));
    for (auto& row : rows)
      for (double& v : row)
        v = counts(rng);
    // Fractions that no double holds exactly make the order of the additions show.
    if (variant == 1)
      for (std::size_t y = 100; y < rows.size(); ++y)
        for (double& v : rows[y])
          v += 0.1;
    if (variant == 2)
      for (auto& row : rows)
        row[0] += 0.3;
    if (variant == 3) rows[100][100] = 1e17; // too large for exact sums
    Fill(rows);
    RenderAt(3);
    EXPECT_EQ(f->MeanVal, sequentialMean()) << variant;
  }
}

// Frames wider and taller than the pieces the bitmap is filled in.
TEST_F(Rendering, LargeFramesFillEveryPixel) {
  const int w = 613, h = 141;
  std::vector<std::vector<double>> rows(h, std::vector<double>(w));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = 1 + (x * 31 + y * 17) % 997;
  Fill(rows);
  RenderAt(16);
  const double s = 1.0 / (f->MaxK - f->MinK);
  const double o = -f->MinK * s;
  int wrong = 0;
  for (int y = 1; y <= h; ++y)
    for (int x = 1; x <= w; ++x)
      wrong += Grey(x, y) != std::llrintl((static_cast<long double>(f->Data(x, y)) * s + o) * 255.0L);
  EXPECT_EQ(wrong, 0);
  int total = 0;
  for (int n : f->Histogram)
    total += n;
  EXPECT_EQ(total, w * h);
}

TEST_F(Rendering, NothingToRenderWithoutAFrame) {
  RenderAt(3);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_FALSE(f->Rendered);
}

} // namespace
} // namespace morvik
