#include <gtest/gtest.h>

#include "periods/light_curve.hpp"
#include "periods/periodogram_file.hpp"

namespace morvik {
namespace {

TDataLine Row(double time, std::vector<TMeasurement> items, double frameErr = 0.0) {
  TDataLine r;
  r.Time = time;
  r.Items = std::move(items);
  r.FrameErr = frameErr;
  return r;
}

TMeasurement M(double mag, double err, double runMag, bool valid = true) { return {mag, err, runMag, valid}; }

TEST(LightCurveFile, FixedColumnsAndValidRowsOnly) {
  TTimeSeries ts;
  ts.StarCount = 2;
  ts.Rows.push_back(Row(2459000.12345, {M(12, 0.0123, 12.3456), M(9, 0.01, 9.1)}));
  ts.Rows.push_back(Row(2459000.2, {M(12, 0.02, 12.5, false), M(9, 0.01, 9.2)})); // deleted
  ts.Rows.push_back(Row(2459000.3, {M(12, 0.02, 100.5), M(9, 0.01, 9.3)}));
  ts.Rows.push_back(Row(2459000.4, {M(12, 1.5, -1.25), M(9, 0.01, 9.3)}));
  ts.RowCount = 4;
  EXPECT_EQ(LightCurveFileText(ts, 1), "2459000.12345 12.3456  0.0123\r\n"
                                       "2459000.30000 100.5000  0.0200\r\n" // the error moves right
                                       "2459000.40000 -1.2500  1.5000\r\n");
  EXPECT_EQ(LightCurveFileText(ts, 2).size(), 4u * 31u);
  EXPECT_EQ(LightCurveFileText(ts, 3), ""); // no such star
  EXPECT_EQ(LightCurveFileText(ts, 0), "");
}

// The time column is 13 wide whatever the size of the time: short times are padded on
// the left, so the columns of the file stay in place.
TEST(LightCurveFile, ShortTimesArePaddedToTheColumn) {
  TTimeSeries ts;
  ts.StarCount = 1;
  ts.Rows.push_back(Row(59000.5, {M(12, 0.01, 12.25)}));
  ts.Rows.push_back(Row(999999.999994, {M(12, 0.01, 12.25)}));
  ts.Rows.push_back(Row(0.125, {M(12, 0.01, 12.25)}));
  ts.RowCount = 3;
  EXPECT_EQ(LightCurveFileText(ts, 1), "  59000.50000 12.2500  0.0100\r\n"
                                       " 999999.99999 12.2500  0.0100\r\n"
                                       "      0.12500 12.2500  0.0100\r\n");
}

TEST(LightCurveFile, StarWithoutValidMeasurementIsEmpty) {
  TTimeSeries ts;
  ts.StarCount = 1;
  ts.Rows.push_back(Row(1.0, {M(0, 0, 0, false)}));
  ts.RowCount = 1;
  EXPECT_TRUE(LightCurveFileText(ts, 1).empty());
}

TEST(LightCurveLabels, NumbersOrRowZero) {
  EXPECT_EQ(RowOfLabel("12"), 12);
  EXPECT_EQ(RowOfLabel("0"), 0);
  EXPECT_EQ(RowOfLabel(""), 0);
  EXPECT_EQ(RowOfLabel("abc"), 0);
  EXPECT_EQ(RowOfLabel("12abc"), 0);
  EXPECT_EQ(RowOfLabel("70000"), 70000);
}

TEST(LightCurveMarkers, NoisyMeasurementAndNoisyFrame) {
  TTimeSeries ts;
  ts.StarCount = 1;
  ts.MeanSigmaAll = 0.01;
  ts.Rows.push_back(Row(1.0, {M(10, 0.01, 10)}, 0.01)); // quiet
  ts.Rows.push_back(Row(2.0, {M(10, 0.05, 10)}, 0.01)); // Err above 2 x MeanErr
  ts.Rows.push_back(Row(3.0, {M(10, 0.01, 10)}, 0.03)); // frame above 2 x MeanSigmaAll
  ts.Rows.push_back(Row(4.0, {M(10, 0.05, 10)}, 0.03)); // both: the frame wins
  ts.Rows.push_back(Row(5.0, {M(10, 0.04, 10)}, 0.02)); // exactly at both limits
  ts.RowCount = 5;
  ts.Stats.resize(1);
  ts.Stats[0].MeanErr = 0.02;
  const MarkerStyle c = MarkerStyle::Circle;
  EXPECT_EQ(LightCurveMarker(ts, 0, 0, 2.0, c), c);
  EXPECT_EQ(LightCurveMarker(ts, 0, 0, 2.0, MarkerStyle::Rectangle), MarkerStyle::Rectangle);
  EXPECT_EQ(LightCurveMarker(ts, 0, 1, 2.0, c), MarkerStyle::Triangle);
  EXPECT_EQ(LightCurveMarker(ts, 0, 1, 3.0, c), c); // the factor is the setting
  EXPECT_EQ(LightCurveMarker(ts, 0, 2, 2.0, c), MarkerStyle::DownTriangle);
  EXPECT_EQ(LightCurveMarker(ts, 0, 3, 2.0, MarkerStyle::Rectangle), MarkerStyle::DownTriangle);
  EXPECT_EQ(LightCurveMarker(ts, 0, 4, 2.0, c), c);
  // Rows and stars that do not exist keep the series' marker.
  EXPECT_EQ(LightCurveMarker(ts, 0, 9, 2.0, c), c);
  EXPECT_EQ(LightCurveMarker(ts, 0, -1, 2.0, c), c);
  EXPECT_EQ(LightCurveMarker(ts, 5, 1, 2.0, c), c);
  ts.Stats.clear(); // before a Run only the frame test applies
  EXPECT_EQ(LightCurveMarker(ts, 0, 1, 2.0, c), c);
  EXPECT_EQ(LightCurveMarker(ts, 0, 2, 2.0, c), MarkerStyle::DownTriangle);
}

TPeriodogram Grid(std::size_t n) {
  TPeriodogram p;
  p.Computed = true;
  for (std::size_t k = 0; k < n; ++k) {
    p.Freq.push_back(0.1 + 0.01 * static_cast<double>(k));
    p.Theta.push_back(static_cast<double>(k % 8));
  }
  return p;
}

TEST(PeriodogramSmoothing, CompleteBlocksOfEight) {
  EXPECT_EQ(SmoothedPeriodogram(Grid(10001)).size(), 1250u);
  EXPECT_EQ(SmoothedPeriodogram(Grid(7043)).size(), 880u);
  EXPECT_EQ(SmoothedPeriodogram(Grid(7)).size(), 0u);
  const auto s = SmoothedPeriodogram(Grid(16));
  ASSERT_EQ(s.size(), 2u);
  EXPECT_NEAR(s[0].freq, 0.135, 1e-12);
  EXPECT_NEAR(s[1].freq, 0.215, 1e-12);
  EXPECT_EQ(s[0].theta, 3.5);
  EXPECT_EQ(s[1].theta, 3.5);
}

TEST(PeriodogramFile, FixedColumns) {
  TPeriodogram p;
  p.Computed = true;
  p.Freq = {0.1, 12.5, 1.0 / 0.007};
  p.Theta = {1.23456, 0.5, 12.0};
  EXPECT_EQ(PeriodogramFileText(p), "  0.100000000 1.23456 10.0000000\r\n" // two leading blanks
                                    " 12.500000000 0.50000 0.0800000\r\n"
                                    "142.857142857 12.00000 0.0070000\r\n");
  TPeriodogram empty;
  EXPECT_EQ(PeriodogramFileText(empty), "");
  TPeriodogram zero; // a frequency of 0 has no period; no infinity reaches the file
  zero.Freq = {0.0};
  zero.Theta = {1.0};
  EXPECT_EQ(PeriodogramFileText(zero), "  0.000000000 1.00000 0.0000000\r\n");
}

} // namespace
} // namespace morvik
