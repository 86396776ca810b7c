#include <gtest/gtest.h>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "workspace/field_files.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/recording_hooks.hpp"

namespace morvik {
namespace {

using testing::TempFolder;

TEST(CompanionPaths, BaseEndsAtTheFirstDot) {
  struct Case {
    const char* frame;
    const char* table;
    const char* catalog;
  } cases[] = {
      {"/obs/m31.fit", "/obs/m31.dat", "/obs/m31.xml"},
      {"/obs/m31.v.fit", "/obs/m31.dat", "/obs/m31.xml"},
      {"/obs/field.2017.fit", "/obs/field.dat", "/obs/field.xml"},
      {"/obs/m31", "/obs/dat", "/obs/xml"},
      {"m31.fts", "m31.dat", "m31.xml"},
      {"/o.d/frame", "/o.d/dat", "/o.d/xml"}, // a dot in the folder does not count
  };
  for (const auto& c : cases) {
    CompanionFiles f = CompanionPaths(c.frame);
    EXPECT_EQ(f.table, c.table) << c.frame;
    EXPECT_EQ(f.catalog, c.catalog) << c.frame;
  }
}

class OpenFrameTest : public ::testing::Test {
protected:
  OpenFrameTest() : folder_("open"), ws_(log_) { ws_.SetHooks(&hooks_); }

  // A 40 x 30 frame with a sky of 1000 and brighter pixels at a few places, its table
  // of `rows` rows for three stars, and the catalog.
  std::string WriteField(const std::string& name, int rows = 4) {
    testing::WriteFrame(folder_ / (name + ".fit"), 40, 30, [](int x, int y) { return 1000 + (x == 10 && y == 12 ? 5000 : (x + y) % 7); });
    std::string dat = "# JD star1 star2 star3\r\n# second header line\r\n";
    for (int r = 0; r < rows; ++r)
      dat += "2451000." + std::to_string(r) + " 12.1 0.01 13.2 0.02 99.999 9.999\r\n";
    testing::WriteText(folder_ / (name + ".dat"), dat);
    testing::WriteText(folder_ / (name + ".xml"),
                       "<cat_file><stars><s id=\"1\" x=\"10\" y=\"12\" m=\"12.0\"/><s id=\"2\" x=\"20\" y=\"5\" "
                       "m=\"13.1\"/><s id=\"3\" x=\"30\" y=\"20\" m=\"14.5\"/></stars></cat_file>");
    return folder_ / (name + ".fit");
  }

  TempFolder folder_;
  MemoryLog log_;
  testing::RecordingHooks hooks_;
  Workspace ws_;
};

TEST_F(OpenFrameTest, ReadsTheFrameTheTableAndTheCatalog) {
  const std::string path = WriteField("m31");
  ws_.RunCount = 3;
  ASSERT_TRUE(OpenFrame(ws_, path));
  EXPECT_TRUE(ws_.CurrentFrame);
  EXPECT_EQ(ws_.FramePath, path);
  EXPECT_EQ(ws_.RunCount, 0);
  EXPECT_EQ(ws_.Frame->Width, 40);
  EXPECT_EQ(ws_.Frame->Height, 30);
  EXPECT_EQ(ws_.Frame->Contrast, 3);
  EXPECT_TRUE(ws_.Frame->Rendered);
  EXPECT_EQ(ws_.Series.RowCount, 4);
  EXPECT_EQ(ws_.Series.StarCount, 3);
  EXPECT_EQ(ws_.Catalog[2].X, 20.0);
  EXPECT_EQ(ws_.Catalog[3].M, 14.5);
  EXPECT_EQ(hooks_.status[0], "m31.fit");
  EXPECT_GE(ws_.picture.Width(), 2048);
  // The bright pixel (10, 12) is drawn white at view pixel (9, 11), the sky dark.
  EXPECT_EQ(ws_.picture.Pixels().PixelAt(9, 11), colors::White);
  EXPECT_EQ(ws_.picture.Pixels().PixelAt(2, 2).r, ws_.Frame->Bitmap_.Line(2)[2 * 3]);
  // Outside the frame the picture is cleared to white.
  EXPECT_EQ(ws_.picture.Pixels().PixelAt(100, 100), colors::White);
  EXPECT_TRUE(log_.Contains("Read file " + (folder_ / "m31.dat")));
  EXPECT_TRUE(log_.Contains("XML Loaded"));
}

TEST_F(OpenFrameTest, MissingFileReadsNothing) {
  ws_.RunCount = 2;
  EXPECT_FALSE(OpenFrame(ws_, folder_ / "absent.fit"));
  EXPECT_FALSE(ws_.CurrentFrame);
  EXPECT_EQ(ws_.RunCount, 0);
  EXPECT_EQ(ws_.Series.RowCount, 0);
}

TEST_F(OpenFrameTest, RefusedFrameLeavesEverythingAsItWas) {
  ASSERT_TRUE(OpenFrame(ws_, WriteField("good")));
  ws_.RunCount = 2;
  const Rgb before = ws_.picture.Pixels().PixelAt(9, 11);
  const int changes = hooks_.pictureChanges;

  testing::WriteFrame(folder_ / "huge.fit", 16385, 1, [](int, int) { return 7; });
  testing::WriteText(folder_ / "huge.dat", "# a\r\n# b\r\n1 2 3\r\n");
  EXPECT_THROW(OpenFrame(ws_, folder_ / "huge.fit"), CommandError);
  EXPECT_EQ(ws_.FramePath, folder_ / "good.fit");
  EXPECT_EQ(ws_.RunCount, 2);
  EXPECT_EQ(ws_.Frame->Width, 40);
  EXPECT_EQ(ws_.Series.StarCount, 3);
  EXPECT_EQ(ws_.picture.Pixels().PixelAt(9, 11), before);
  EXPECT_EQ(hooks_.pictureChanges, changes);
}

TEST_F(OpenFrameTest, MissingCompanionFilesLeaveNothingOfThePreviousField) {
  // The table and catalog of one field never meet the frame of another.
  ASSERT_TRUE(OpenFrame(ws_, WriteField("first", 5)));
  testing::WriteFrame(folder_ / "second.fit", 8, 8, [](int x, int) { return 100 * x; });
  ASSERT_TRUE(OpenFrame(ws_, folder_ / "second.fit"));
  EXPECT_EQ(ws_.Frame->Width, 8);
  EXPECT_EQ(ws_.Series.RowCount, 0);
  EXPECT_EQ(ws_.Catalog[1].X, 0.0);
}

TEST_F(OpenFrameTest, NewTableDropsResultsOfTheOldOne) {
  ASSERT_TRUE(OpenFrame(ws_, WriteField("a")));
  ws_.Periodograms.resize(3);
  ws_.Periodograms[0].Computed = true;
  ws_.LightCurve.series[kSeriesRaw].Add(1.0, 12.0, "3");
  ws_.VarChart.series[kSeries1].Add(1.0, 0.1, "0");
  ws_.LightCurveShowsPeriodogram = true;
  ASSERT_TRUE(OpenFrame(ws_, WriteField("b")));
  EXPECT_TRUE(ws_.Periodograms.empty());
  EXPECT_EQ(ws_.LightCurve.series[kSeriesRaw].Count(), 0u);
  EXPECT_EQ(ws_.VarChart.series[kSeries1].Count(), 0u);
  EXPECT_FALSE(ws_.LightCurveShowsPeriodogram);

  // A frame whose table is missing drops the old data set, and with it the results.
  ws_.Periodograms.resize(3);
  ws_.VarChart.series[kSeries1].Add(1.0, 0.1, "0");
  testing::WriteFrame(folder_ / "lone.fit", 8, 8, [](int, int) { return 10; });
  ASSERT_TRUE(OpenFrame(ws_, folder_ / "lone.fit"));
  EXPECT_TRUE(ws_.Periodograms.empty());
  EXPECT_EQ(ws_.VarChart.series[kSeries1].Count(), 0u);
}

TEST_F(OpenFrameTest, ViewModesWaitForARun) {
  ASSERT_TRUE(OpenFrame(ws_, WriteField("v")));
  ToggleViewMode(ws_, false);
  EXPECT_TRUE(ws_.settings.CCDandChart);
  ws_.RunCount = 1;
  ToggleViewMode(ws_, false); // "CCD only"
  EXPECT_FALSE(ws_.settings.CCDandChart);
  ToggleViewMode(ws_, true); // "CCD and Chart"
  EXPECT_TRUE(ws_.settings.CCDandChart);
}

TEST_F(OpenFrameTest, ContrastAndSaveImageNeedAFrame) {
  ws_.settings.ContrastLevel = 16;
  ApplyContrast(ws_);
  EXPECT_EQ(hooks_.pictureChanges, 0);
  EXPECT_EQ(SaveImage(ws_), "");

  const std::string path = WriteField("img");
  ASSERT_TRUE(OpenFrame(ws_, path));
  EXPECT_EQ(ws_.Frame->Contrast, 16);
  const std::string written = SaveImage(ws_);
  EXPECT_EQ(written, path + ".bmp");
  // 40 x 30 pixels, 120 bytes a row (already a multiple of 4), 54 bytes of headers.
  EXPECT_EQ(FileSizeOf(written), 54 + 120 * 30);
}

TEST_F(OpenFrameTest, CancelledOpenClearsThePicture) {
  ASSERT_TRUE(OpenFrame(ws_, WriteField("c")));
  ws_.RunCount = 4;
  OpenCancelled(ws_);
  EXPECT_EQ(ws_.RunCount, 0);
  EXPECT_EQ(ws_.picture.Pixels().PixelAt(2, 2), colors::White);
  EXPECT_TRUE(ws_.CurrentFrame);
}

} // namespace
} // namespace morvik
