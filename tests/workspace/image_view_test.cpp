#include <gtest/gtest.h>

#include "workspace/image_view.hpp"
#include "workspace/recording_hooks.hpp"

namespace morvik {
namespace {

class ImageViewTest : public ::testing::Test {
protected:
  ImageViewTest() : ws_(log_) {
    ws_.SetHooks(&hooks_);
    ws_.CurrentFrame = true;
    ws_.Frame->Width = 300;
    ws_.Frame->Height = 200;
    ws_.picture.EnsureSize(2048, 2048);
  }

  // Stars at the given catalog positions; ids from 1.
  void Place(std::initializer_list<TCatalogStar> stars) {
    int id = 0;
    for (const auto& s : stars)
      ws_.Catalog.At(++id) = s;
    ws_.Series.StarCount = static_cast<std::uint16_t>(id);
  }

  void GiveStats() { ws_.Series.Stats.assign(ws_.Series.StarCount, TStarStat{}); }

  MemoryLog log_;
  testing::RecordingHooks hooks_;
  Workspace ws_;
};

TEST_F(ImageViewTest, FindStarTakesTheFirstIdWithinReach) {
  Place({{100, 100, 0}, {101, 100, 0}, {10, 10, 0}});
  EXPECT_EQ(FindStar(ws_, 101, 100), 1); // both in reach: the lower id wins
  EXPECT_EQ(FindStar(ws_, 102, 100), 1); // distance^2 4 from star 1
  EXPECT_EQ(FindStar(ws_, 103, 100), 2); // 9 from star 1, 4 from star 2
  EXPECT_EQ(FindStar(ws_, 11, 11), 3);   // distance^2 2
  EXPECT_EQ(FindStar(ws_, 12, 11), 3);   // 5
  EXPECT_EQ(FindStar(ws_, 12, 12), 0);   // 8
  EXPECT_EQ(FindStar(ws_, 50, 50), 0);
}

TEST_F(ImageViewTest, FindStarIgnoresIdsWithoutACatalogEntry) {
  for (int id = 1; id <= kCatalogSize; ++id)
    ws_.Catalog.At(id) = {1000, 1000, 0};
  ws_.Series.StarCount = 40005; // ids above 40 000 have no place on the frame
  EXPECT_EQ(FindStar(ws_, 1, 1), 0);
  EXPECT_EQ(FindStar(ws_, 1000, 1000), 1);
}

TEST_F(ImageViewTest, StatusTextBeforeAndAfterRun) {
  Place({{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {123.4, 45.6, 12.3456}});
  EXPECT_EQ(ImageStatusText(ws_, 122, 44), "STAR 007 (123, 046) RAW= 12.35");

  GiveStats();
  TStarStat& st = ws_.Series.Stats[6];
  st.Mean = 12.5;
  st.MeanW = 12.25;
  st.RunMean = 11.0;
  st.Variance = 0.0004;
  st.NValid = 40;
  st.Weight = 0.5;
  ws_.RunCount = 1;
  EXPECT_EQ(ImageStatusText(ws_, 122, 44),
            "STAR 007 (123, 046) RAW= 12.35 MEAN= 12.50 MW= 12.25 RUN= 11.00 +- 0.02 N=40 W=5.00000000000000E+003 ");
}

TEST_F(ImageViewTest, StatusTextOverTheSkyShowsThePixel) {
  Place({{150, 150, 10}});
  ws_.Frame->Data(1, 1) = 1500;
  ws_.Frame->Data(300, 200) = 7.125;
  EXPECT_EQ(ImageStatusText(ws_, 0, 0), "COORD (001, 001) I=1500.00");
  EXPECT_EQ(ImageStatusText(ws_, 299, 199), "COORD (300, 200) I=7.12");
  EXPECT_EQ(ImageStatusText(ws_, 300, 10), ""); // beside the frame
  ws_.CurrentFrame = false;
  EXPECT_EQ(ImageStatusText(ws_, 0, 0), "");
}

TEST_F(ImageViewTest, LeftClickPicksTheStarAndSelectsItsPoint) {
  Place({{20, 20, 0}, {40, 40, 0}, {60, 60, 0}});
  PointSeries& s = ws_.VarChart.series[kSeries1];
  s.Add(1.0, 0, "2");
  s.Add(2.0, 0, "0");
  ImageLeftClick(ws_, 19, 19); // star 1, label "0" at position 1
  EXPECT_EQ(ws_.PickedStar, 1);
  EXPECT_EQ(ws_.SelectedPoint, 1);
  EXPECT_EQ(ws_.SelectedStar, 0);
  EXPECT_TRUE(log_.Contains("SERIES 1 Label 0"));
  EXPECT_EQ(hooks_.varChartChanges, 1);

  ImageLeftClick(ws_, 39, 39); // star 2 has no point: only PickedStar changes
  EXPECT_EQ(ws_.PickedStar, 2);
  EXPECT_EQ(ws_.SelectedPoint, 1);
  EXPECT_EQ(ws_.SelectedStar, 0);

  ImageLeftClick(ws_, 100, 5); // empty sky
  EXPECT_EQ(ws_.PickedStar, 2);
}

TEST_F(ImageViewTest, ContextMenuOpensOnlyOverAStar) {
  Place({{20, 20, 0}});
  ws_.PickedStar = 0;
  EXPECT_FALSE(ImageContextPopup(ws_, 100, 100));
  EXPECT_EQ(ws_.PickedStar, 0);
  EXPECT_TRUE(ImageContextPopup(ws_, 19, 19));
  EXPECT_EQ(ws_.PickedStar, 1);
  ws_.CurrentFrame = false;
  ws_.PickedStar = 0;
  EXPECT_FALSE(ImageContextPopup(ws_, 19, 19));
  EXPECT_EQ(ws_.PickedStar, 0);
}

TEST_F(ImageViewTest, MenuItemsFollowRunsSearchesAndPeriodograms) {
  Place({{20, 20, 0}, {40, 40, 0}});
  ImageMenuState m = ImageMenu(ws_);
  EXPECT_TRUE(m.selectComparison && m.markAsVariable && m.falseAlarm);
  EXPECT_FALSE(m.showLightCurve || m.saveLightCurve || m.showPeriodogram || m.savePeriodogram);
  ws_.RunCount = 1;
  ws_.SearchCount = 1;
  ws_.Periodograms.resize(2);
  ws_.Periodograms[1].Computed = true;
  ws_.PickedStar = 1;
  m = ImageMenu(ws_);
  EXPECT_TRUE(m.showLightCurve && m.saveLightCurve && m.showPeriodogram);
  EXPECT_FALSE(m.savePeriodogram);
  ws_.PickedStar = 2;
  EXPECT_TRUE(ImageMenu(ws_).savePeriodogram);
  ws_.PickedStar = 3; // beyond the table
  EXPECT_FALSE(ImageMenu(ws_).savePeriodogram);
}

TEST_F(ImageViewTest, StarMarksShowEachStarsRole) {
  Place({{20, 20, 0}, {40, 20, 0}, {60, 20, 0}, {80, 20, 0}, {100.5, 20.5, 0}});
  DrawStars(ws_); // no statistics yet: nothing drawn
  EXPECT_EQ(hooks_.pictureChanges, 0);

  GiveStats();
  ws_.Series.Stats[0].Mark = kMarkVariable;
  ws_.Series.Stats[1].Mark = kMarkFalseAlarm;
  ws_.Series.Stats[2].Used = true;
  ws_.Series.Stats[3].Used = true;
  ws_.Series.Stats[3].Mark = kMarkVariable; // a mark wins over the comparison role
  ws_.picture.fill = colors::Black;
  ws_.picture.FillRect(0, 0, 200, 100);
  DrawStars(ws_);
  const Bitmap& px = ws_.picture.Pixels();
  EXPECT_EQ(px.PixelAt(20, 20), colors::Red);
  EXPECT_EQ(px.PixelAt(40, 20), colors::Grey);
  EXPECT_EQ(px.PixelAt(60, 20), colors::White);
  EXPECT_EQ(px.PixelAt(80, 20), colors::Red);
  EXPECT_EQ(px.PixelAt(100, 20), colors::White); // 100.5 - 3 rounds to 98 (even), + 3 to 104
  // The outlines: a comparison star green, an ordinary one blue, within the 6-pixel box.
  auto hasColour = [&](int x0, int y0, Rgb c) {
    for (int y = y0; y < y0 + 6; ++y)
      for (int x = x0; x < x0 + 6; ++x)
        if (px.PixelAt(x, y) == c) return true;
    return false;
  };
  EXPECT_TRUE(hasColour(57, 17, colors::Green));
  EXPECT_TRUE(hasColour(98, 18, colors::Blue));
  EXPECT_FALSE(hasColour(98, 18, colors::Green));
  // Nothing is drawn outside the boxes.
  EXPECT_EQ(px.PixelAt(30, 20), colors::Black);
  EXPECT_EQ(px.PixelAt(20, 24), colors::Black);
  EXPECT_GT(hooks_.pictureChanges, 0);
}

TEST_F(ImageViewTest, StarsFarOffTheFrameLeaveNoMark) {
  // 2^32 + 100 pixels away: a coordinate that wrapped to 32 bits would land at 100.
  Place({{4294967396.0, 50, 0}, {50, 4294967396.0, 0}, {-4294967196.0, 50, 0}, {1e300, 1e300, 0}});
  GiveStats();
  ws_.picture.fill = colors::Black;
  ws_.picture.FillRect(0, 0, 300, 300);
  DrawStars(ws_);
  const Bitmap& px = ws_.picture.Pixels();
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x)
      ASSERT_EQ(px.PixelAt(x, y), colors::Black) << "at " << x << ", " << y;
}

} // namespace
} // namespace morvik
