// Frames written by astropy (tests/data/fits/make_fixtures.py) read to the same pixels.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/parse.hpp"
#include "fits/tfits.hpp"

namespace morvik {
namespace {

const std::string kDir = std::string(MORVIK_TEST_DATA_DIR) + "/fits/";

struct Fixture {
  const char* name;
  int bitPix;
  double bscale;
  double bzero;
};

class AstropyParity : public ::testing::TestWithParam<Fixture> {};

TEST_P(AstropyParity, SamePixelsAsAstropy) {
  const Fixture fx = GetParam();
  MemoryLog log;
  TFits frame;
  ASSERT_TRUE(frame.LoadFromFile(kDir + fx.name + ".fits", false, log)) << "fixture missing: " << fx.name;
  EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0];
  EXPECT_EQ(frame.Width, 7);
  EXPECT_EQ(frame.Height, 5);
  EXPECT_EQ(frame.BitPix, fx.bitPix);
  EXPECT_EQ(frame.PixelBytes, std::abs(fx.bitPix) / 8);
  EXPECT_EQ(frame.BScale, fx.bscale);
  EXPECT_EQ(frame.BZero, fx.bzero);
  EXPECT_EQ(frame.TrailWords, (2880 - 35 * frame.PixelBytes + 1) / 2);

  std::ifstream expected(kDir + fx.name + ".txt");
  ASSERT_TRUE(expected) << "expected values missing: " << fx.name;
  std::string line;
  int count = 0;
  while (std::getline(expected, line)) {
    std::istringstream fields(line);
    int x = 0, y = 0;
    std::string text;
    fields >> x >> y >> text;
    const auto value = ParseDecimal(text);
    ASSERT_TRUE(value) << line;
    ASSERT_TRUE(x >= 1 && x <= 7 && y >= 1 && y <= 5) << line;
    EXPECT_EQ(frame.Data(x, y), *value) << fx.name << " at " << x << "," << y;
    ++count;
  }
  EXPECT_EQ(count, 35);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AstropyParity,
                         ::testing::Values(Fixture{"bitpix8", 8, 1.0, 0.0}, Fixture{"bitpix16_bzero", 16, 1.0, 32768.0},
                                           Fixture{"bitpix32", 32, 1.0, 0.0}, Fixture{"bitpix64", 64, 1.0, 0.0},
                                           Fixture{"float32", -32, 1.0, 0.0}, Fixture{"float64", -64, 1.0, 0.0},
                                           Fixture{"bscale", 16, 0.1, 100.5}, Fixture{"cards", 16, 1.0, 32768.0},
                                           Fixture{"blank_pixels", 16, 1.0, 0.0},
                                           Fixture{"blank_pixels_full_block", 16, 1.0, 0.0}),
                         [](const ::testing::TestParamInfo<Fixture>& p) { return std::string(p.param.name); });

TEST(AstropyCards, CommentaryCardsWithEndDoNotEndTheHeader) {
  MemoryLog log;
  TFits frame;
  ASSERT_TRUE(frame.LoadFromFile(kDir + "cards.fits", false, log));
  EXPECT_EQ(frame.Header.GetString("FILTER"), "V");
  EXPECT_EQ(frame.Header.GetString("OBJECT"), "M 31");
  EXPECT_EQ(frame.Header.GetFloat("EXPTIME"), 30.0);
  EXPECT_EQ(frame.Header.GetString("COMMENT x"), "5 inside a comment");
  EXPECT_EQ(frame.Header.GetString("HISTORY"), "");
}

TEST(AstropyCards, PaddingBeforeBlankPixelsIsCounted) {
  MemoryLog log;
  TFits frame;
  ASSERT_TRUE(frame.LoadFromFile(kDir + "blank_pixels_full_block.fits", false, log));
  EXPECT_EQ(frame.BlankCount, 1); // the header fills its block: no padding
  EXPECT_EQ(frame.Data(1, 1), 8224.0);
  ASSERT_TRUE(frame.LoadFromFile(kDir + "blank_pixels.fits", false, log));
  EXPECT_GT(frame.BlankCount, 1);
  EXPECT_EQ(frame.Data(1, 1), 8224.0);
}

} // namespace
} // namespace morvik
