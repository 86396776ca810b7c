#include <gtest/gtest.h>

#include <string>

#include "common/errors.hpp"
#include "common/format.hpp"
#include "field.hpp"
#include "workspace/recording_hooks.hpp"
#include "workspace/run_commands.hpp"

namespace morvik {
namespace {

using testing::At;
using testing::Star;

class RunCommandsTest : public ::testing::Test {
protected:
  RunCommandsTest() : ws_(log_) {
    ws_.SetHooks(&hooks_);
    ws_.Frame->Width = 1024;
    ws_.Frame->Height = 768;
    ws_.settings.CCDandChart = false;
  }

  // Eight stars over 40 rows; star 8 scatters far more than the rest.
  void LoadField() {
    ws_.Series = testing::FlatSeries(40, 8);
    for (int id = 1; id <= 7; ++id)
      testing::Scatter(ws_.Series, id, 0.01, static_cast<std::uint64_t>(id));
    testing::Scatter(ws_.Series, 8, 0.5, 99);
    testing::CentreCatalog(ws_.Catalog, 8);
  }

  void Pick(int id) { ws_.PickedStar = id; }

  void ExpectRefused() {
    try {
      morvik::Run(ws_);
      ADD_FAILURE() << "Run went ahead";
    } catch (const CommandError& e) {
      EXPECT_EQ(std::string(e.what()), "Please choose a comparison star");
      EXPECT_EQ(e.kind(), CommandError::Kind::Notice);
    }
  }

  MemoryLog log_;
  testing::RecordingHooks hooks_;
  Workspace ws_;
};

TEST_F(RunCommandsTest, RunWithoutAComparisonStarChangesNothing) {
  LoadField();
  ExpectRefused();
  EXPECT_TRUE(ws_.Series.Stats.empty());
  EXPECT_EQ(ws_.RunCount, 0);
  EXPECT_TRUE(log_.Lines().empty());

  // A star chosen on an earlier table with more stars counts as no choice.
  ws_.CompStarId = 9;
  ExpectRefused();
  EXPECT_TRUE(ws_.Series.Stats.empty());
  EXPECT_EQ(ws_.RunCount, 0);
  EXPECT_EQ(At(ws_.Series, 0, 1).RunMag, 0.0);
}

TEST_F(RunCommandsTest, RunWithoutStarsEndsWithOneLogLine) {
  ws_.CompStarId = 3;
  morvik::Run(ws_);
  EXPECT_EQ(log_.Lines().size(), 1u);
  EXPECT_EQ(ws_.RunCount, 0);
  EXPECT_TRUE(ws_.Series.Stats.empty());
  EXPECT_EQ(hooks_.pictureChanges, 0);
}

TEST_F(RunCommandsTest, RunComputesTheThreeStepsAndCountsItself) {
  LoadField();
  ws_.CompStarId = 1;
  ws_.CompStarMag = 11.5;
  morvik::Run(ws_);
  EXPECT_EQ(ws_.RunCount, 1);
  ASSERT_TRUE(ws_.Series.HasStats());
  EXPECT_EQ(Star(ws_.Series, 1).RunMean, 11.5);
  EXPECT_EQ(ws_.Series.UsedCount, 7); // star 8 is too noisy
  EXPECT_FALSE(Star(ws_.Series, 8).Used);
  EXPECT_EQ(Star(ws_.Series, 8).Weight, 0.0);
  EXPECT_NE(At(ws_.Series, 5, 3).RunMag, 0.0);
  EXPECT_GT(ws_.Series.MeanSigmaAll, 0.0);
  EXPECT_TRUE(log_.ContainsPrefix("Mean STD "));
  EXPECT_TRUE(log_.Contains("Mean and Sigma calculated; USED 7 STARS FROM 8"));
  EXPECT_TRUE(log_.ContainsPrefix("FINALLY Norm "));
  EXPECT_EQ(log_.Lines().back(), "Mean Sigma (all frames) = " + FormatGeneral(ws_.Series.MeanSigmaAll));
  EXPECT_EQ(hooks_.pictureChanges, 0); // "CCD only"
}

TEST_F(RunCommandsTest, TwoRunsGiveTheSameStatistics) {
  LoadField();
  ws_.CompStarId = 2;
  ws_.CompStarMag = 12.0;
  morvik::Run(ws_);
  const std::vector<TStarStat> first = ws_.Series.Stats;
  const double runMag = At(ws_.Series, 17, 4).RunMag;
  morvik::Run(ws_);
  EXPECT_EQ(ws_.RunCount, 2);
  ASSERT_EQ(ws_.Series.Stats.size(), first.size());
  for (std::size_t j = 0; j < first.size(); ++j) {
    const TStarStat& a = first[j];
    const TStarStat& b = ws_.Series.Stats[j];
    EXPECT_EQ(a.Mean, b.Mean) << j;
    EXPECT_EQ(a.MeanW, b.MeanW) << j;
    EXPECT_EQ(a.Variance, b.Variance) << j;
    EXPECT_EQ(a.Used, b.Used) << j;
    EXPECT_EQ(a.Weight, b.Weight) << j;
    EXPECT_EQ(a.RunMean, b.RunMean) << j;
  }
  EXPECT_EQ(At(ws_.Series, 17, 4).RunMag, runMag);
}

TEST_F(RunCommandsTest, RunRedrawsTheMarksOnlyWithCcdAndChart) {
  LoadField();
  ws_.CompStarId = 1;
  ws_.settings.CCDandChart = true;
  ws_.picture.EnsureSize(2048, 2048);
  morvik::Run(ws_);
  EXPECT_GE(hooks_.pictureChanges, 1);
}

TEST_F(RunCommandsTest, RunReadsTheSelectionEditsWithTheirFallBacks) {
  LoadField();
  ws_.CompStarId = 1;
  ws_.settings.NotMoreComp = "3";
  morvik::Run(ws_);
  EXPECT_EQ(ws_.Series.UsedCount, 5);
  EXPECT_TRUE(log_.Contains("Mean and Sigma calculated; USED 5 STARS FROM 8"));

  // A factor of 0 or -2 works as 1.5: the noisy star stays out, the others are in.
  ws_.settings.NotMoreComp = "1000";
  for (const char* factor : {"0", "-2", "abc"}) {
    ws_.settings.Variance4Comp = factor;
    morvik::Run(ws_);
    EXPECT_EQ(ws_.Series.UsedCount, 7) << factor;
  }
  ws_.settings.Variance4Comp = "1000";
  morvik::Run(ws_);
  EXPECT_EQ(ws_.Series.UsedCount, 8);
}

TEST_F(RunCommandsTest, AskComparisonProposesTheCatalogMagnitude) {
  LoadField();
  EXPECT_FALSE(AskComparison(ws_).ask); // nothing picked
  ws_.Catalog.At(3).M = 12.345;
  Pick(3);
  const ComparisonQuestion q = AskComparison(ws_);
  EXPECT_TRUE(q.ask);
  EXPECT_EQ(q.caption, "Comparison Star");
  EXPECT_EQ(q.prompt, "Enter star #3 magnitude:");
  EXPECT_EQ(q.proposed, "12.345");
}

TEST_F(RunCommandsTest, SelectComparisonBeforeTheFirstRunRecordsOnlyTheChoice) {
  LoadField();
  Pick(4);
  // A cancelled box yields the proposed text.
  SelectComparison(ws_, AskComparison(ws_).proposed);
  EXPECT_EQ(ws_.CompStarId, 4);
  EXPECT_EQ(ws_.CompStarMag, ws_.Catalog[4].M);
  EXPECT_TRUE(ws_.Series.Stats.empty());
  EXPECT_EQ(log_.Lines().back(), "Selected 4 as comparison = " + FormatGeneral(ws_.Catalog[4].M));
}

TEST_F(RunCommandsTest, SelectComparisonIgnoresNoStarAndEmptyAnswers) {
  LoadField();
  SelectComparison(ws_, "12.5"); // nothing picked
  Pick(2);
  SelectComparison(ws_, "");
  EXPECT_EQ(ws_.CompStarId, 0);
  EXPECT_EQ(ws_.CompStarMag, 0.0);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(RunCommandsTest, SelectComparisonKeepsTheChoiceWhenTheAnswerIsNotANumber) {
  LoadField();
  Pick(2);
  SelectComparison(ws_, "12.5");
  Pick(5);
  SelectComparison(ws_, "twelve");
  EXPECT_EQ(ws_.CompStarId, 2);
  EXPECT_EQ(ws_.CompStarMag, 12.5);
  ASSERT_EQ(log_.Lines().size(), 2u);
  EXPECT_NE(log_.Lines()[1].find("not a number"), std::string::npos);
}

TEST_F(RunCommandsTest, SelectComparisonRefusesMagnitudesNoTableCouldHold) {
  LoadField();
  Pick(2);
  SelectComparison(ws_, "12.5");
  for (const char* absurd : {"1e300", "-1e200", "99", "-99"}) {
    Pick(5);
    SelectComparison(ws_, absurd);
    EXPECT_EQ(ws_.CompStarId, 2) << absurd;
    EXPECT_EQ(ws_.CompStarMag, 12.5) << absurd;
    EXPECT_TRUE(log_.ContainsPrefix(std::string("Magnitude \"") + absurd + "\" is out of range")) << absurd;
  }
  Pick(5);
  SelectComparison(ws_, "-98.5");
  EXPECT_EQ(ws_.CompStarId, 5);
  EXPECT_EQ(ws_.CompStarMag, -98.5);
}

TEST_F(RunCommandsTest, SelectComparisonReadsTheUsersDecimalSeparator) {
  LoadField();
  SetMessageDecimalSeparator(',');
  ws_.Catalog.At(6).M = 13.25;
  Pick(6);
  const std::string proposed = AskComparison(ws_).proposed;
  SelectComparison(ws_, proposed);
  SetMessageDecimalSeparator('.');
  EXPECT_EQ(proposed, "13,25");
  EXPECT_EQ(ws_.CompStarMag, 13.25);
}

TEST_F(RunCommandsTest, AutomaticRunDecidesWhetherTheChosenStarStaysInTheEnsemble) {
  LoadField();
  ws_.CompStarId = 1;
  morvik::Run(ws_);
  Pick(8);
  SelectComparison(ws_, "14.0");
  EXPECT_TRUE(Star(ws_.Series, 8).Used); // after a Run the choice joins the ensemble
  morvik::Run(ws_);
  EXPECT_FALSE(Star(ws_.Series, 8).Used);       // but it does not qualify
  EXPECT_EQ(Star(ws_.Series, 8).RunMean, 14.0); // it still sets the scale
  EXPECT_EQ(ws_.CompStarId, 8);
}

TEST_F(RunCommandsTest, ManualEnsembleIsBuiltStarByStar) {
  LoadField();
  SetUsedZero(ws_); // before any Run: nothing to clear
  EXPECT_TRUE(ws_.Series.Stats.empty());

  ws_.CompStarId = 1;
  ws_.CompStarMag = 11.0;
  morvik::Run(ws_);
  ToggleCompManual(ws_);
  EXPECT_TRUE(ws_.settings.CompManual);
  SetUsedZero(ws_);
  EXPECT_EQ(ws_.Series.UsedCount, 0);
  for (const TStarStat& st : ws_.Series.Stats)
    EXPECT_FALSE(st.Used);
  EXPECT_EQ(ws_.CompStarId, 1); // the choice stays
  EXPECT_EQ(ws_.CompStarMag, 11.0);

  Pick(8); // the noisy star: manual mode does not judge it
  SelectComparison(ws_, "14.5");
  Pick(3);
  SelectComparison(ws_, "12.5");
  morvik::Run(ws_);
  EXPECT_EQ(ws_.Series.UsedCount, 2);
  EXPECT_TRUE(log_.Contains("Mean and Sigma calculated; USED 2 STARS FROM 8"));
  EXPECT_TRUE(Star(ws_.Series, 8).Used);
  EXPECT_TRUE(Star(ws_.Series, 3).Used);
  EXPECT_DOUBLE_EQ(Star(ws_.Series, 3).Weight + Star(ws_.Series, 8).Weight, 1.0);
  EXPECT_EQ(Star(ws_.Series, 1).Weight, 0.0);
  EXPECT_EQ(Star(ws_.Series, 3).RunMean, 12.5);

  ToggleCompManual(ws_);
  EXPECT_FALSE(ws_.settings.CompManual);
}

} // namespace
} // namespace morvik
