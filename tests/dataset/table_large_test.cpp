// Tables large enough to be read by two threads: whatever the layout around the middle
// of the file, the data set must be the one a plain front-to-back reading gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "dataset/temp_files.hpp"

namespace morvik {
namespace {

using testing::TempFolder;

struct ExpectedTable {
  std::string bytes;
  std::vector<double> times;
  std::vector<std::vector<TMeasurement>> items;
  std::int64_t lines = 0; // lines holding a number, line 3 included
};

// How one row is laid out: with or without a break after some pair, blank lines after it.
struct RowLayout {
  int breakAfterPair = -1; // -1: the whole row on one line
  bool blankLinesAfter = false;
  std::string tail; // words after the row's last pair, on the same line
};

double Parsed(const std::string& text) {
  std::string_view s = text;
  const bool negative = s.front() == '-';
  if (negative) s.remove_prefix(1);
  double v = 0.0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return negative ? -v : v;
}

// rows x stars of short decimals (about 2 % invalid pairs, some long numbers), laid out
// row by row as layout says. Line 3 is the first row and always stands on one line.
ExpectedTable MakeTable(std::size_t rows, std::size_t stars, const std::string& eol,
                        const std::function<RowLayout(std::size_t)>& layout, unsigned seed) {
  std::mt19937_64 rng(seed);
  ExpectedTable t;
  t.bytes = "# JD" + eol + "# generated" + eol;
  for (std::size_t r = 0; r < rows; ++r) {
    const RowLayout how = r == 0 ? RowLayout{} : layout(r);
    const std::string time = std::to_string(2459000 + r) + "." + std::to_string(10000 + rng() % 90000);
    t.bytes += time;
    t.times.push_back(Parsed(time));
    std::vector<TMeasurement> row;
    for (std::size_t j = 0; j < stars; ++j) {
      std::string mag, err;
      const unsigned kind = static_cast<unsigned>(rng() % 50);
      if (kind == 0) {
        mag = "99.999";
        err = "9.999";
      } else if (kind == 1) {
        mag = "1" + std::to_string(rng() % 10) + "." + std::to_string(rng());
        err = "0.0" + std::to_string(rng() % 1000000000) + "e-1";
      } else {
        mag = (rng() % 9 == 0 ? "-" : "") + std::to_string(rng() % 20) + "." + std::to_string(100 + rng() % 900);
        err = "0." + std::to_string(100 + rng() % 900);
      }
      t.bytes += " " + mag + " " + err;
      const double m = Parsed(mag), e = Parsed(err);
      row.push_back(m < 99.0 && e < 9.0 ? TMeasurement{m, e, 0.0, true} : TMeasurement{});
      if (static_cast<int>(j) == how.breakAfterPair) {
        t.bytes += eol;
        ++t.lines;
      }
    }
    t.bytes += how.tail + eol;
    ++t.lines;
    if (how.blankLinesAfter) t.bytes += eol + " \t " + eol + eol;
    t.items.push_back(std::move(row));
  }
  return t;
}

struct Loaded {
  TTimeSeries series;
  MemoryLog log;
};

// A data set to see that a refusal leaves it alone.
TTimeSeries Previous() {
  TTimeSeries s;
  s.RowCount = 1;
  s.StarCount = 1;
  s.Rows.resize(1);
  s.Rows[0].Time = 7.0;
  s.Rows[0].Items.resize(1);
  return s;
}

// Compares everything read with what the table holds; returns the number of differences.
std::size_t Differences(const TTimeSeries& s, const ExpectedTable& t, std::size_t rows) {
  std::size_t diffs = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    const TDataLine& row = s.Rows[r];
    diffs += row.Time != t.times[r];
    if (row.Items.size() != t.items[r].size()) return diffs + 1;
    int valid = 0;
    for (std::size_t j = 0; j < row.Items.size(); ++j) {
      const TMeasurement& got = row.Items[j];
      const TMeasurement& want = t.items[r][j];
      diffs += got.Mag != want.Mag || got.Err != want.Err || got.Valid != want.Valid || got.RunMag != 0.0;
      valid += want.Valid;
    }
    diffs += row.ValidCount != valid;
    diffs += row.FrameErr != 0.0;
  }
  return diffs;
}

constexpr std::size_t kRows = 500;
constexpr std::size_t kStars = 160; // about 1.6 MB: large enough for the second thread

TEST(LargePhotometryTable, EveryLayoutAroundTheMiddleReadsTheSameRows) {
  TempFolder dir;
  const std::size_t middle = kRows / 2;
  struct Case {
    const char* name;
    std::function<RowLayout(std::size_t)> layout;
  } cases[] = {
      {"one row per line", [](std::size_t) { return RowLayout{}; }},
      {"blank lines between rows",
       [](std::size_t r) {
         return RowLayout{-1, r % 3 == 0, ""};
       }},
      // Rows over two lines just before, at and after the middle of the file: the line
      // found half-way through may be the second half of a row.
      {"rows over two lines near the middle",
       [&](std::size_t r) {
         return RowLayout{r + 8 > middle && r < middle + 8 ? static_cast<int>(r % 50) : -1, false, ""};
       }},
      {"every row over two lines",
       [](std::size_t r) {
         return RowLayout{static_cast<int>(r % (kStars - 1)), r % 7 == 0, ""};
       }},
      {"the break right after the time",
       [](std::size_t r) {
         return RowLayout{r % 2 ? 0 : -1, false, ""};
       }},
  };
  for (const auto& c : cases) {
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
      SCOPED_TRACE(std::string(c.name) + (eol == "\n" ? " LF" : eol == "\r" ? " CR" : " CR LF"));
      const ExpectedTable t = MakeTable(kRows, kStars, eol, c.layout, 7);
      ASSERT_GT(t.bytes.size(), std::size_t{1} << 20);
      Loaded r;
      LoadPhotometryTable(dir.Write("t.dat", t.bytes), r.series, r.log);
      EXPECT_TRUE(r.log.Contains(std::to_string(2 * kStars + 1) + " cols read"));
      EXPECT_TRUE(r.log.Contains(std::to_string(t.lines) + " lines read"));
      const std::int64_t dropped = t.lines - static_cast<std::int64_t>(kRows);
      EXPECT_EQ(r.log.Contains(std::to_string(dropped) + " rows dropped: the file ends before their time"),
                dropped > 0);
      ASSERT_EQ(r.series.RowCount, static_cast<std::int32_t>(kRows));
      ASSERT_EQ(r.series.Rows.size(), kRows);
      ASSERT_EQ(r.series.StarCount, kStars);
      EXPECT_EQ(Differences(r.series, t, kRows), 0u);
    }
  }
}

TEST(LargePhotometryTable, RowCutShortAtTheEndOfALargeTable) {
  TempFolder dir;
  const ExpectedTable t = MakeTable(
      kRows, kStars, "\r\n", [](std::size_t) { return RowLayout{}; }, 11);
  // Cut the last row after its 40th pair and a half.
  std::string bytes = t.bytes.substr(0, t.bytes.size() - 2);
  std::size_t at = bytes.rfind("\r\n") + 2;
  for (int tokens = 0; tokens < 1 + 2 * 40 + 1; ++tokens)
    at = bytes.find(' ', at + 1);
  bytes.resize(at);
  Loaded r;
  LoadPhotometryTable(dir.Write("t.dat", bytes), r.series, r.log);
  ASSERT_EQ(r.series.RowCount, static_cast<std::int32_t>(kRows));
  EXPECT_EQ(Differences(r.series, t, kRows - 1), 0u);
  const TDataLine& last = r.series.Rows.back();
  EXPECT_EQ(last.Time, t.times.back());
  ASSERT_EQ(last.Items.size(), kStars);
  int valid = 0;
  for (std::size_t j = 0; j < kStars; ++j) {
    if (j < 40) {
      EXPECT_EQ(last.Items[j].Mag, t.items.back()[j].Mag) << j;
      valid += last.Items[j].Valid;
    } else {
      EXPECT_FALSE(last.Items[j].Valid) << j;
      EXPECT_EQ(last.Items[j].Mag, 0.0) << j;
    }
  }
  EXPECT_EQ(last.ValidCount, valid);
}

TEST(LargePhotometryTable, ANonNumberInEitherHalfStopsTheRead) {
  TempFolder dir;
  const ExpectedTable t = MakeTable(
      kRows, kStars, "\n", [](std::size_t) { return RowLayout{}; }, 13);
  for (const double where : {0.1, 0.49, 0.51, 0.9, 0.999}) {
    std::string bytes = t.bytes;
    const std::size_t at = bytes.find(' ', static_cast<std::size_t>(where * static_cast<double>(bytes.size())));
    ASSERT_NE(at, std::string::npos);
    bytes.insert(at + 1, "nan ");
    Loaded r;
    r.series = Previous();
    try {
      LoadPhotometryTable(dir.Write("t.dat", bytes), r.series, r.log);
      ADD_FAILURE() << "no error at " << where;
    } catch (const CommandError& e) {
      EXPECT_STREQ(e.what(), "Invalid numeric input");
    }
    EXPECT_EQ(r.series.RowCount, 1) << where;
    ASSERT_EQ(r.series.Rows.size(), 1u);
    EXPECT_EQ(r.series.Rows[0].Time, 7.0);
  }
}

// Rows over two lines whose second line is short and ends with a word: a reading
// that started on such a line would take its first number for a time and run into the
// word, while the rows themselves skip it with the rest of the line.
TEST(LargePhotometryTable, AReadingStartedInsideARowLeavesNoTrace) {
  TempFolder dir;
  const ExpectedTable t = MakeTable(
      kRows, kStars, "\n",
      [](std::size_t) {
        return RowLayout{static_cast<int>(kStars) - 4, false, " junk"};
      },
      17);
  Loaded r;
  LoadPhotometryTable(dir.Write("t.dat", t.bytes), r.series, r.log);
  EXPECT_TRUE(r.log.Contains(std::to_string(kRows - 1) + " rows dropped: the file ends before their time"));
  ASSERT_EQ(r.series.RowCount, static_cast<std::int32_t>(kRows));
  EXPECT_EQ(Differences(r.series, t, kRows), 0u);
}

// Lines are counted by two threads whose counts meet at a line end near the half-way
// byte. That byte is moved, with blanks at the end of the file, onto every character
// around a row broken over two lines (the second starting with a blank) and around
// blank lines: no line may be counted twice or missed, nor any row read twice.
TEST(LargePhotometryTable, TheHalfWayByteOnEveryCharacterAroundLineEnds) {
  TempFolder dir;
  constexpr std::size_t kSpecial = kRows / 2 + 20;
  const ExpectedTable t = MakeTable(
      kRows, kStars, "\r\n",
      [](std::size_t r) {
        return r == kSpecial ? RowLayout{3, true, ""} : RowLayout{};
      },
      19);
  const std::size_t rowStart = t.bytes.find("\r\n" + std::to_string(2459000 + kSpecial) + ".") + 2;
  const std::size_t lineBreak = t.bytes.find("\r\n", rowStart);
  const std::size_t blankLines = t.bytes.find("\r\n \t \r\n\r\n", rowStart);
  ASSERT_NE(blankLines, std::string::npos);
  ASSERT_LT(lineBreak, blankLines);
  std::vector<std::size_t> halves;
  for (std::size_t at = lineBreak - 6; at <= lineBreak + 8; ++at)
    halves.push_back(at);
  for (std::size_t at = blankLines - 4; at <= blankLines + 12; ++at)
    halves.push_back(at);
  halves.push_back(rowStart);
  for (const std::size_t half : halves) {
    SCOPED_TRACE(half);
    ASSERT_GE(2 * half, t.bytes.size());
    const std::string bytes = t.bytes + std::string(2 * half - t.bytes.size(), ' ');
    ASSERT_EQ(bytes.size() / 2, half);
    Loaded r;
    LoadPhotometryTable(dir.Write("t.dat", bytes), r.series, r.log);
    EXPECT_TRUE(r.log.Contains(std::to_string(t.lines) + " lines read"));
    EXPECT_TRUE(r.log.Contains("1 rows dropped: the file ends before their time"));
    ASSERT_EQ(r.series.RowCount, static_cast<std::int32_t>(kRows));
    EXPECT_EQ(Differences(r.series, t, kRows), 0u);
  }
}

// Line 3 with blanks to beyond the half-way byte: the lines after it are still counted
// from its end.
TEST(LargePhotometryTable, LineThreeLongerThanHalfTheFile) {
  TempFolder dir;
  const ExpectedTable t = MakeTable(
      kRows, kStars, "\n", [](std::size_t) { return RowLayout{}; }, 23);
  std::string bytes = t.bytes;
  const std::size_t lineThreeEnd = bytes.find('\n', bytes.find('\n', bytes.find('\n') + 1) + 1);
  bytes.insert(lineThreeEnd, std::string(bytes.size() + 1000, ' '));
  Loaded r;
  LoadPhotometryTable(dir.Write("t.dat", bytes), r.series, r.log);
  EXPECT_TRUE(r.log.Contains(std::to_string(2 * kStars + 1) + " cols read"));
  EXPECT_TRUE(r.log.Contains(std::to_string(kRows) + " lines read"));
  ASSERT_EQ(r.series.RowCount, static_cast<std::int32_t>(kRows));
  EXPECT_EQ(Differences(r.series, t, kRows), 0u);
}

} // namespace
} // namespace morvik
