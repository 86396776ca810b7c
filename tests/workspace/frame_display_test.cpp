// Frames that only the cfitsio path reads, opened in the workspace: picture, picking,
// refusals, and the automatic contrast.

#include <gtest/gtest.h>

#include <fitsio.h>

#include <cmath>
#include <limits>

#include "common/errors.hpp"
#include "workspace/field_files.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/frame_display.hpp"
#include "workspace/image_view.hpp"

namespace morvik {
namespace {

using testing::TempFolder;

// An empty primary and a float image extension (cfitsio gzips a path ending in .gz).
void WriteExtensionFrame(const std::string& path, long width, long height, float (*pixel)(long x, long y)) {
  fitsfile* f = nullptr;
  int status = 0;
  fits_create_file(&f, ("!" + path).c_str(), &status);
  fits_create_img(f, FLOAT_IMG, 0, nullptr, &status);
  long axes[2] = {width, height};
  fits_create_img(f, FLOAT_IMG, 2, axes, &status);
  std::vector<float> data(static_cast<std::size_t>(width * height));
  for (long y = 0; y < height; ++y)
    for (long x = 0; x < width; ++x)
      data[static_cast<std::size_t>(y * width + x)] = pixel(x, y);
  fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(data.size()), data.data(), &status);
  fits_close_file(f, &status);
  ASSERT_EQ(status, 0) << path;
}

// Sky of 1000 with a little structure, a star at (2900, 20) (0-based), a NaN column at
// x = 5 and a border of zeros in the first row.
float WideField(long x, long y) {
  if (x == 5) return std::numeric_limits<float>::quiet_NaN();
  if (y == 0) return 0.0f;
  const long dx = x - 2900, dy = y - 20;
  return 1000.0f + static_cast<float>((x * 7 + y * 3) % 11) +
         (dx * dx + dy * dy < 9 ? 60000.0f / static_cast<float>(1 + dx * dx + dy * dy) : 0.0f);
}

int Grey(const Workspace& ws, int x, int y) { return ws.picture.Pixels().PixelAt(x, y).r; }

class LargeFrameTest : public ::testing::Test {
protected:
  LargeFrameTest() : folder_("large"), ws_(log_) {}
  TempFolder folder_;
  MemoryLog log_;
  Workspace ws_;
};

TEST_F(LargeFrameTest, GzippedExtensionWiderThanTheBufferOpensAndPicks) {
  const std::string path = folder_ / "wide.fits.gz";
  WriteExtensionFrame(path, 3000, 40, WideField);
  testing::WriteText(folder_ / "wide.xml",
                     "<cat_file><stars><s id=\"1\" x=\"2901\" y=\"21\" m=\"10.0\"/></stars></cat_file>");
  testing::WriteText(folder_ / "wide.dat", "# JD star1\r\n# x\r\n2451000.1 10.0 0.01\r\n2451000.2 10.1 0.01\r\n");
  ASSERT_TRUE(OpenFrame(ws_, path));
  ASSERT_TRUE(ws_.LargeFrame);
  EXPECT_EQ(ws_.Frame->Width, 3000);
  EXPECT_EQ(ws_.Frame->Height, 40);
  EXPECT_EQ(ws_.Frame->FileName, path);
  EXPECT_EQ(ws_.Series.RowCount, 2);
  ASSERT_GE(ws_.picture.Width(), 3000);
  // Level 3: from the background up to 1.5 times it.
  EXPECT_EQ(Grey(ws_, 2900, 20), 255);
  EXPECT_LT(Grey(ws_, 100, 20), 20);
  EXPECT_EQ(Grey(ws_, 5, 20), 0); // missing
  EXPECT_EQ(ImageStatusText(ws_, 2900, 20).rfind("STAR 001 (2901, 021)", 0), 0u) << ImageStatusText(ws_, 2900, 20);
  EXPECT_EQ(ImageStatusText(ws_, 5, 30), "COORD (006, 031) I=NaN");
  EXPECT_EQ(ImageStatusText(ws_, 2999, 0), "COORD (3000, 001) I=0.00");
  EXPECT_EQ(ImageStatusText(ws_, 3000, 0), "");

  // A frame the frame object reads goes back to it.
  const std::string small = folder_ / "small.fit";
  testing::WriteFrame(small, 40, 30, [](int x, int y) { return 1000 + (x + y) % 7; });
  ASSERT_TRUE(OpenFrame(ws_, small));
  EXPECT_FALSE(ws_.LargeFrame);
  EXPECT_EQ(ws_.Frame->Width, 40);
}

TEST_F(LargeFrameTest, SidesUpTo16384Open) {
  const std::string path = folder_ / "long.fits";
  WriteExtensionFrame(path, 16384, 2, [](long x, long) { return static_cast<float>(x); });
  ASSERT_TRUE(OpenFrame(ws_, path));
  EXPECT_EQ(ws_.Frame->Width, 16384);
  EXPECT_EQ(ImageStatusText(ws_, 16383, 1), "COORD (16384, 002) I=16383.00");

  const std::string beyond = folder_ / "beyond.fits";
  WriteExtensionFrame(beyond, 16385, 2, [](long, long) { return 1.0f; });
  try {
    OpenFrame(ws_, beyond);
    ADD_FAILURE() << "opened";
  } catch (const CommandError& e) {
    EXPECT_NE(std::string(e.what()).find("16385 x 2 pixels"), std::string::npos) << e.what();
  }
  // The refused frame left the open one as it was.
  EXPECT_EQ(ws_.Frame->Width, 16384);
  EXPECT_EQ(ws_.Frame->FileName, path);
}

TEST_F(LargeFrameTest, RefusalsSayWhatTheFileHolds) {
  const std::string dir = std::string(MORVIK_TEST_DATA_DIR) + "/frames/";
  try {
    OpenFrame(ws_, dir + "table.fits");
    ADD_FAILURE() << "opened";
  } catch (const CommandError& e) {
    EXPECT_STREQ(e.what(), "no image: the file holds a binary table");
  }
  // A file neither reader takes keeps the frame object's own message.
  const std::string text = folder_ / "notes.fit";
  testing::WriteText(text, std::string(3000, 'x'));
  try {
    OpenFrame(ws_, text);
    ADD_FAILURE() << "opened";
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("The file ends after", 0), 0u) << e.what();
  }
  EXPECT_FALSE(ws_.CurrentFrame);
}

TEST(AutomaticRange, SkySitsLowInTheGreyScale) {
  struct Case {
    const char* name;
    std::vector<float> values;
  };
  std::vector<float> noisy, flat, bright;
  for (int i = 0; i < 10000; ++i) {
    const float sky = 500.0f + static_cast<float>((i * 7919) % 41 - 20); // sky 500, spread about 12
    noisy.push_back(i < 1500 ? 0.0f : (i % 97 == 0 ? 65535.0f : (i % 50 == 1 ? -30.0f : sky)));
    flat.push_back(7.0f);
    bright.push_back(i % 3 == 0 ? 65535.0f : 60000.0f + static_cast<float>(i % 5));
  }
  for (Case c : {Case{"noisy", noisy}, Case{"flat", flat}, Case{"bright", bright}}) {
    std::vector<float> values = c.values;
    const DisplayRange r = AutomaticRange(values);
    ASSERT_GT(r.maxK, r.minK) << c.name;
    const double median = c.name == std::string("noisy") ? 500.0 : c.name == std::string("flat") ? 7.0 : 60002.0;
    const double sky = (median - r.minK) / (r.maxK - r.minK);
    EXPECT_GT(sky, 0.15) << c.name;
    EXPECT_LT(sky, 0.4) << c.name;
  }
  std::vector<float> none;
  const DisplayRange empty = AutomaticRange(none);
  EXPECT_GT(empty.maxK, empty.minK);
}

} // namespace
} // namespace morvik
