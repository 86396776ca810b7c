#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "common/log.hpp"
#include "session/session_file.hpp"

using namespace morvik;

namespace {

std::string Fixture(const std::string& name) {
  std::ifstream in(std::string(MORVIK_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// One star, two rows, both measurements valid, no Run yet.
TTimeSeries OneStarTwoRows() {
  TTimeSeries s;
  s.StarCount = 1;
  s.RowCount = 2;
  s.Rows.resize(2);
  for (TDataLine& row : s.Rows)
    row.Items = {TMeasurement{12.0, 0.01, 0.0, true}};
  return s;
}

} // namespace

TEST(SessionFile, ReadsEveryEntryAndWritesTheSameBack) {
  const SessionRead read = ReadSession(Fixture("session/small.morvik"));
  ASSERT_TRUE(read.session) << read.error;
  const SessionData& s = *read.session;
  EXPECT_EQ(s.frame, "small.fit");
  EXPECT_EQ(s.stars, 1u);
  EXPECT_EQ(s.rows, 2u);
  EXPECT_EQ(s.comparison, 1);
  EXPECT_DOUBLE_EQ(s.comparisonMag, 11.5);
  EXPECT_TRUE(s.manual);
  EXPECT_TRUE(s.settings.CompManual);
  EXPECT_EQ(s.used, (std::vector<std::uint16_t>{1}));
  EXPECT_EQ(s.deleted, (std::vector<std::pair<std::int32_t, std::uint16_t>>{{1, 1}}));
  EXPECT_EQ(s.marks, (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{1, kMarkVariable}}));
  EXPECT_EQ(s.settings.ChartX, 3);
  EXPECT_FALSE(s.settings.Debug);
  EXPECT_EQ(s.settings.ChartY, Settings{}.ChartY); // not in the file: the default
  EXPECT_DOUBLE_EQ(s.starSigmaFactor, 2.5);
  EXPECT_DOUBLE_EQ(s.periods.at(0).second, 0.73);

  const SessionRead again = ReadSession(WriteSession(s));
  ASSERT_TRUE(again.session) << again.error;
  EXPECT_EQ(WriteSession(*again.session), WriteSession(s));
}

TEST(SessionFile, RefusesWhatItCannotReadWithTheLine) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "not a Morvik session file"},
      {"{\"session\": 1}\n", "line 1: not a Morvik session file"},
      {Fixture("bad/session/cut_short.morvik"), "cut short"},
      {Fixture("bad/session/newer_version.morvik"), "line 1: format version 2"},
      {Fixture("bad/session/bad_entries.morvik"), "line 3: unreadable deletion"},
      {"morvik-session 1\ntable 1 stars 2 rows\nmark 1 maybe\n", "line 3: unreadable \"mark\" entry"},
      {"morvik-session 1\nlater 1\n", "line 2: unknown entry \"later\""},
      {"morvik-session 1\ntable 1 stars 2 rows\nsetting Colour red\n", "line 3: unknown setting Colour"},
      {"morvik-session 1\ntable 1 stars 2 rows\ncomparison 1 nan\n", "line 3: unreadable comparison star"},
      {"morvik-session 1\ntable 70000 stars 2 rows\n", "line 2: unreadable table size"},
      // Values no field has, each refused with its line.
      {"morvik-session 1\ntable 1 stars 2 rows\ncomparison 1 1e308\n",
       "line 3: comparison magnitude 1e308 out of range"},
      {"morvik-session 1\ntable 1 stars 2 rows\ncomparison 1 -101\n", "line 3: comparison magnitude -101 out of range"},
      {"morvik-session 1\ntable 1 stars 2 rows\nperiod 1 4.9e-324\n", "line 3: period 4.9e-324 out of range"},
      {"morvik-session 1\ntable 1 stars 2 rows\nperiod 1 2e7\n", "line 3: period 2e7 out of range"},
      {"morvik-session 1\ntable 1 stars 2 rows\nsetting Variance4Comp nan\n",
       "line 3: setting Variance4Comp out of range"},
      {"morvik-session 1\ntable 1 stars 2 rows\nsetting Variance4Comp -1.5\n",
       "line 3: setting Variance4Comp out of range"},
      {"morvik-session 1\ntable 1 stars 2 rows\nsetting NotMoreComp -5\n", "line 3: setting NotMoreComp out of range"},
      {"morvik-session 1\ntable 1 stars 2 rows\nsetting StarSigmaFactor 0\n",
       "line 3: setting StarSigmaFactor out of range"},
  };
  for (const auto& c : cases) {
    const SessionRead read = ReadSession(c.text);
    EXPECT_FALSE(read.session) << c.text;
    EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
  }
  // What an observer may type stays readable: texts that are no number, and the edges.
  for (const char* line : {"setting Variance4Comp 1,5", "setting Variance4Comp abc", "setting NotMoreComp 0",
                           "comparison 1 -100", "period 1 1e-6", "comparison 1 30.5"})
    EXPECT_TRUE(ReadSession(std::string("morvik-session 1\ntable 1 stars 2 rows\n") + line + "\n").session) << line;
}

TEST(SessionFile, FitsOnlyItsOwnTableAndAppliesBeforeTheRun) {
  MemoryLog log;
  Workspace ws(log);
  ws.Series = OneStarTwoRows();
  SessionData s = *ReadSession(Fixture("session/small.morvik")).session;
  EXPECT_EQ(SessionMismatch(s, ws), "");
  for (const auto& [stars, rows] : {std::pair<std::size_t, std::size_t>{2, 2}, {1, 3}}) {
    SessionData other = s;
    other.stars = stars;
    other.rows = rows;
    EXPECT_NE(SessionMismatch(other, ws).find("Nothing was restored"), std::string::npos);
  }
  SessionData farStar = s;
  farStar.marks = {{2, kMarkVariable}};
  EXPECT_NE(SessionMismatch(farStar, ws), "");

  ApplySession(ws, s);
  EXPECT_TRUE(ws.Series.Rows[0].Items[0].Valid);
  EXPECT_FALSE(ws.Series.Rows[1].Items[0].Valid);
  EXPECT_EQ(ws.CompStarId, 1);
  ASSERT_EQ(ws.Series.Stats.size(), 1u);
  EXPECT_EQ(ws.Series.Stats[0].Mark, kMarkVariable);
  EXPECT_TRUE(ws.Series.Stats[0].Used);
  EXPECT_EQ(ws.ChosenPeriods, (std::map<int, double>{{1, 0.73}}));

  // Captured against the table as read: the one deletion, the mark and the manual choice.
  const SessionData captured = CaptureSession(ws, ValidityOf(OneStarTwoRows()));
  EXPECT_EQ(captured.deleted, s.deleted);
  EXPECT_EQ(captured.marks, s.marks);
  EXPECT_EQ(captured.used, s.used);
  EXPECT_EQ(captured.periods, s.periods);
  // A period chosen later replaces the one restored.
  ws.ChosenPeriods[1] = 2.5;
  EXPECT_EQ(CaptureSession(ws, ValidityOf(OneStarTwoRows())).periods,
            (std::vector<std::pair<std::uint16_t, double>>{{1, 2.5}}));
}

TEST(SessionFile, LiesBesideTheFrameWithItsBase) {
  EXPECT_EQ(SessionPath("/data/field.fit"), "/data/field.morvik");
  EXPECT_EQ(SessionPath("/data/m31.2024.fts"), "/data/m31.morvik");
}

// The best period of a periodogram is at its smallest theta (Lafler & Kinman 1965: the
// sum of squared differences of neighbours in phase is least at the true period), the
// edges included; stars without a computed periodogram keep none.
TEST(SessionFile, CapturesEachPeriodogramsSmallestTheta) {
  MemoryLog log;
  Workspace ws(log);
  ws.Series = OneStarTwoRows();
  ws.Series.StarCount = 3;
  for (TDataLine& row : ws.Series.Rows)
    row.Items.assign(3, TMeasurement{12.0, 0.01, 0.0, true});
  ws.Periodograms.resize(3);
  ws.Periodograms[0] = {true, {1.0, 2.0, 4.0, 5.0}, {0.9, 0.2, 0.95, 0.6}};
  ws.Periodograms[1] = {true, {0.5, 2.0}, {0.1, 1.3}}; // the best at the grid's first point
  ws.Periodograms[2] = {false, {1.0}, {0.1}};
  EXPECT_EQ(CaptureSession(ws, ValidityOf(ws.Series)).periods,
            (std::vector<std::pair<std::uint16_t, double>>{{1, 0.5}, {2, 2.0}}));
}
