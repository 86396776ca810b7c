#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
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

// A data set as a Run would leave it, to see that refusals keep it and reads reset it.
TTimeSeries PreviousDataSet() {
  TTimeSeries s;
  s.RowCount = 1;
  s.StarCount = 1;
  s.Rows.resize(1);
  s.Rows[0].Time = 2450000.5;
  s.Rows[0].Items.resize(1);
  s.Rows[0].Items[0] = TMeasurement{12.0, 0.01, 11.5, true};
  s.Rows[0].ValidCount = 1;
  s.Rows[0].FrameErr = 0.01;
  s.Stats.resize(1);
  s.Stats[0].Mark = kMarkVariable;
  s.Stats[0].Used = true;
  s.UsedCount = 1;
  s.MeanVariance = 0.25;
  s.MeanSigmaAll = 0.125;
  return s;
}

void ExpectPreviousDataSet(const TTimeSeries& s) {
  EXPECT_EQ(s.RowCount, 1);
  EXPECT_EQ(s.StarCount, 1);
  ASSERT_EQ(s.Rows.size(), 1u);
  EXPECT_EQ(s.Rows[0].Time, 2450000.5);
  ASSERT_EQ(s.Rows[0].Items.size(), 1u);
  EXPECT_EQ(s.Rows[0].Items[0].Mag, 12.0);
  EXPECT_EQ(s.Rows[0].Items[0].RunMag, 11.5);
  ASSERT_EQ(s.Stats.size(), 1u);
  EXPECT_EQ(s.Stats[0].Mark, kMarkVariable);
  EXPECT_EQ(s.UsedCount, 1);
  EXPECT_EQ(s.MeanVariance, 0.25);
  EXPECT_EQ(s.MeanSigmaAll, 0.125);
}

struct Loaded {
  TTimeSeries series = PreviousDataSet();
  MemoryLog log;
};

Loaded Load(const TempFolder& dir, const std::string& bytes) {
  Loaded r;
  LoadPhotometryTable(dir.Write("t.dat", bytes), r.series, r.log);
  return r;
}

std::string CrLf(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

const char* const kTwoStars = "# JD mag err\n"
                              "# header\n"
                              "2459000.12345 12.345 0.012 99.999 9.999\n"
                              "2459000.13345 12.355 0.013 14.001 0.120\n"
                              "2459000.14345 -1.5 0 98.99 8.99\n";

TEST(PhotometryTable, ReadsTimesPairsAndValidity) {
  TempFolder dir;
  Loaded r = Load(dir, CrLf(kTwoStars));
  const std::vector<std::string> expectedLog = {"Read file " + dir.Path("t.dat"), "5 cols read", "3 lines read"};
  EXPECT_EQ(r.log.Lines(), expectedLog);

  const TTimeSeries& s = r.series;
  ASSERT_EQ(s.RowCount, 3);
  ASSERT_EQ(s.StarCount, 2);
  ASSERT_EQ(s.Rows.size(), 3u);
  EXPECT_EQ(s.Rows[0].Time, 2459000.12345);
  EXPECT_EQ(s.Rows[2].Time, 2459000.14345);
  for (const auto& row : s.Rows)
    ASSERT_EQ(row.Items.size(), 2u);

  // 99.999 / 9.999: not measured, stored as zeros.
  const TMeasurement& missing = s.Rows[0].Items[1];
  EXPECT_FALSE(missing.Valid);
  EXPECT_EQ(missing.Mag, 0.0);
  EXPECT_EQ(missing.Err, 0.0);
  EXPECT_EQ(s.Rows[0].ValidCount, 1);

  EXPECT_TRUE(s.Rows[1].Items[1].Valid);
  EXPECT_EQ(s.Rows[1].Items[1].Mag, 14.001);
  EXPECT_EQ(s.Rows[1].Items[1].Err, 0.12);
  EXPECT_EQ(s.Rows[1].ValidCount, 2);

  // Just below the limits, a negative magnitude and an error of 0 are all measurements.
  EXPECT_TRUE(s.Rows[2].Items[0].Valid);
  EXPECT_EQ(s.Rows[2].Items[0].Mag, -1.5);
  EXPECT_TRUE(s.Rows[2].Items[1].Valid);
  EXPECT_EQ(s.Rows[2].Items[1].Mag, 98.99);
  EXPECT_EQ(s.Rows[2].Items[1].Err, 8.99);
  EXPECT_EQ(s.Rows[2].ValidCount, 2);
}

TEST(PhotometryTable, ResetsEverythingARunComputed) {
  TempFolder dir;
  Loaded r = Load(dir, kTwoStars);
  EXPECT_TRUE(r.series.Stats.empty());
  EXPECT_EQ(r.series.UsedCount, 0);
  EXPECT_EQ(r.series.MeanVariance, 0.0);
  EXPECT_EQ(r.series.MeanSigmaAll, 0.0);
  for (const auto& row : r.series.Rows) {
    EXPECT_EQ(row.FrameErr, 0.0);
    for (const auto& m : row.Items)
      EXPECT_EQ(m.RunMag, 0.0);
  }
}

TEST(PhotometryTable, LimitsOfValidityAreExclusive) {
  TempFolder dir;
  Loaded r = Load(dir, "#\n#\n1 99 0.1 10 9 99.0000001 0.5 98.9999 8.9999 12 -0.1\n");
  ASSERT_EQ(r.series.StarCount, 5);
  const auto& items = r.series.Rows[0].Items;
  EXPECT_FALSE(items[0].Valid); // magnitude exactly 99
  EXPECT_FALSE(items[1].Valid); // error exactly 9
  EXPECT_FALSE(items[2].Valid);
  EXPECT_TRUE(items[3].Valid);
  EXPECT_TRUE(items[4].Valid); // a negative error is not refused by the rule
  for (int j : {0, 1, 2}) {
    EXPECT_EQ(items[static_cast<std::size_t>(j)].Mag, 0.0) << j;
    EXPECT_EQ(items[static_cast<std::size_t>(j)].Err, 0.0) << j;
  }
  EXPECT_EQ(r.series.Rows[0].ValidCount, 2);
}

TEST(PhotometryTable, MirrorImagesOfTheLimitsAreNoMeasurementEither) {
  // Magnitudes of -99 or less and errors of -9 or less would only overflow the sums of
  // Run (no star is that bright); they read as not measured.
  TempFolder dir;
  Loaded r = Load(dir, "#\n#\n1 -99 0.1 -1e200 0.1 12 -9 -98.99 -8.99 -5 0.02\n");
  ASSERT_EQ(r.series.StarCount, 5);
  const auto& items = r.series.Rows[0].Items;
  EXPECT_FALSE(items[0].Valid);
  EXPECT_FALSE(items[1].Valid);
  EXPECT_FALSE(items[2].Valid);
  EXPECT_TRUE(items[3].Valid);
  EXPECT_TRUE(items[4].Valid); // instrumental magnitudes are often negative
  EXPECT_EQ(items[1].Mag, 0.0);
  EXPECT_EQ(r.series.Rows[0].ValidCount, 2);
}

TEST(PhotometryTable, EveryLineEndReadsTheSameTable) {
  TempFolder dir;
  const Loaded lf = Load(dir, kTwoStars);
  std::string noFinal = kTwoStars;
  noFinal.pop_back();
  std::string crOnly = kTwoStars;
  for (char& c : crOnly)
    if (c == '\n') c = '\r';
  for (const std::string& bytes : {CrLf(kTwoStars), noFinal, crOnly, CrLf(noFinal)}) {
    const Loaded r = Load(dir, bytes);
    EXPECT_EQ(r.log.Lines(), lf.log.Lines());
    ASSERT_EQ(r.series.RowCount, 3);
    ASSERT_EQ(r.series.StarCount, 2);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(r.series.Rows[i].Time, lf.series.Rows[i].Time);
      EXPECT_EQ(r.series.Rows[i].ValidCount, lf.series.Rows[i].ValidCount);
      for (std::size_t j = 0; j < 2; ++j) {
        EXPECT_EQ(r.series.Rows[i].Items[j].Mag, lf.series.Rows[i].Items[j].Mag);
        EXPECT_EQ(r.series.Rows[i].Items[j].Err, lf.series.Rows[i].Items[j].Err);
      }
    }
  }
}

TEST(PhotometryTable, EmptyAndBlankLinesAreNoRows) {
  TempFolder dir;
  // Blank-only lines would otherwise become phantom frames at time 0.
  const Loaded r = Load(dir, CrLf("#\n#\n1 10 0.1\n\n  \t \n2 11 0.1\n\n\n3 12 0.1\n \n\t\n\n"));
  EXPECT_TRUE(r.log.Contains("3 lines read"));
  ASSERT_EQ(r.series.RowCount, 3);
  ASSERT_EQ(r.series.Rows.size(), 3u);
  EXPECT_EQ(r.series.Rows[1].Time, 2.0);
  EXPECT_EQ(r.series.Rows[2].Time, 3.0);
  EXPECT_EQ(r.series.Rows[2].Items[0].Mag, 12.0);
  EXPECT_FALSE(r.log.ContainsPrefix("0 rows"));
  for (const auto& line : r.log.Lines())
    EXPECT_EQ(line.find("dropped"), std::string::npos) << line;
}

TEST(PhotometryTable, TabsAndRunsOfBlanksSeparateNumbers) {
  TempFolder dir;
  const Loaded r = Load(dir, "#\n#\n\t 1\t\t10   0.1 \t\n2\t11\t0.2\t\n");
  EXPECT_TRUE(r.log.Contains("3 cols read"));
  ASSERT_EQ(r.series.RowCount, 2);
  EXPECT_EQ(r.series.Rows[1].Items[0].Err, 0.2);
}

TEST(PhotometryTable, RefusedHeadersKeepThePreviousDataSet) {
  TempFolder dir;
  struct Case {
    std::string bytes;
    const char* message;
  } cases[] = {
      {"", "1st line mismatch"},
      {"\r\n#\r\n1 2 3\r\n", "1st line mismatch"},
      {" # header\n#\n1 2 3\n", "1st line mismatch"},
      {"JD\n#\n1 2 3\n", "1st line mismatch"},
      {"#", "2nd line mismatch"},
      {"#\r\n", "2nd line mismatch"},
      {"#\n #\n1 2 3\n", "2nd line mismatch"},
      {"#\n\n#\n1 2 3\n", "2nd line mismatch"},
      {"#\r\r\n#\n1 2 3\n", "2nd line mismatch"}, // CR then CR LF: an empty line 2
  };
  for (const auto& c : cases) {
    const Loaded r = Load(dir, c.bytes);
    const std::vector<std::string> expected = {"Read file " + dir.Path("t.dat"), c.message};
    EXPECT_EQ(r.log.Lines(), expected) << c.bytes;
    ExpectPreviousDataSet(r.series);
  }
}

TEST(PhotometryTable, ColumnCountMustBeOdd) {
  TempFolder dir;
  struct Case {
    std::string bytes;
    const char* count;
  } cases[] = {
      {"#\n#\n1 10 0.1 11\n2 10 0.1 11\n", "4 cols read"},
      {"#\n#\n", "0 cols read"},
      {"#\n#", "0 cols read"},
      {"#\n#\n\n1 10 0.1\n", "0 cols read"}, // the count is taken on the third line itself
      {"#\n#\n   \t\n1 10 0.1\n", "0 cols read"},
      {"#\n#\n1 2\n", "2 cols read"},
  };
  for (const auto& c : cases) {
    const Loaded r = Load(dir, c.bytes);
    const std::vector<std::string> expected = {"Read file " + dir.Path("t.dat"), c.count, "Number of cols not even!"};
    EXPECT_EQ(r.log.Lines(), expected) << c.bytes;
    ExpectPreviousDataSet(r.series);
  }
}

TEST(PhotometryTable, TimeOnlyTableHasNoStars) {
  TempFolder dir;
  const Loaded r = Load(dir, "#\n#\n2459000.1   \n2459000.2\n2459000.3 extra words are ignored\n");
  EXPECT_TRUE(r.log.Contains("1 cols read"));
  ASSERT_EQ(r.series.StarCount, 0);
  ASSERT_EQ(r.series.RowCount, 3);
  for (const auto& row : r.series.Rows) {
    EXPECT_TRUE(row.Items.empty());
    EXPECT_EQ(row.ValidCount, 0);
  }
  EXPECT_EQ(r.series.Rows[2].Time, 2459000.3);
}

TEST(PhotometryTable, ExtraNumbersAtTheEndOfALineAreIgnored) {
  TempFolder dir;
  const Loaded r = Load(dir, "#\n#\n1 10 0.1\n2 11 0.2 77 0.7 junk\n3 12 0.3\n");
  ASSERT_EQ(r.series.RowCount, 3);
  EXPECT_EQ(r.series.Rows[2].Time, 3.0);
  EXPECT_EQ(r.series.Rows[2].Items[0].Mag, 12.0);
}

TEST(PhotometryTable, RowSplitOverTwoLinesIsReadWholeAndTheSurplusRowDropped) {
  TempFolder dir;
  const Loaded r = Load(dir, CrLf("#\n#\n1 10 0.1 20 0.2\n2 11 0.1\n21 0.2\n3 12 0.1 22 0.2\n"));
  EXPECT_TRUE(r.log.Contains("4 lines read"));
  EXPECT_TRUE(r.log.Contains("1 rows dropped: the file ends before their time"));
  ASSERT_EQ(r.series.RowCount, 3);
  ASSERT_EQ(r.series.Rows.size(), 3u);
  EXPECT_EQ(r.series.Rows[1].Time, 2.0);
  EXPECT_EQ(r.series.Rows[1].Items[1].Mag, 21.0);
  EXPECT_EQ(r.series.Rows[1].Items[1].Err, 0.2);
  EXPECT_EQ(r.series.Rows[2].Time, 3.0);
  EXPECT_EQ(r.series.Rows[2].Items[1].Mag, 22.0);
}

TEST(PhotometryTable, RowCutShortByTheEndOfTheFileHasInvalidMeasurements) {
  TempFolder dir;
  for (const std::string& tail :
       {std::string("2 11 0.1 21"), std::string("2 11 0.1 21\r\n"), std::string("2 11 0.1"), std::string("2\n")}) {
    const Loaded r = Load(dir, "#\n#\n1 10 0.1 20 0.2 30 0.3\n" + tail);
    ASSERT_EQ(r.series.RowCount, 2) << tail;
    const TDataLine& row = r.series.Rows[1];
    EXPECT_EQ(row.Time, 2.0);
    ASSERT_EQ(row.Items.size(), 3u);
    for (std::size_t j = 1; j < 3; ++j) {
      EXPECT_FALSE(row.Items[j].Valid) << tail << " star " << j + 1;
      EXPECT_EQ(row.Items[j].Mag, 0.0);
      EXPECT_EQ(row.Items[j].Err, 0.0);
    }
    EXPECT_EQ(row.ValidCount, row.Items[0].Valid ? 1 : 0) << tail;
    EXPECT_EQ(row.Items[0].Valid, tail != "2\n") << tail;
  }
}

TEST(PhotometryTable, NonNumbersStopTheReadAndKeepThePreviousDataSet) {
  TempFolder dir;
  for (const char* token : {"nan", "inf", "-inf", "1,5", "0x10", "1e309", "-1e309", "12a", "1.2.3", "--1", "e5", "."}) {
    for (const std::string& where : {std::string("line3"), std::string("later")}) {
      const std::string bytes = where == "line3" ? "#\n#\n1 10 " + std::string(token) + "\n2 11 0.1\n"
                                                 : "#\n#\n1 10 0.1\n2 11 0.1\n3 " + std::string(token) + " 0.1\n";
      Loaded r;
      try {
        LoadPhotometryTable(dir.Write("t.dat", bytes), r.series, r.log);
        ADD_FAILURE() << "no error for " << token << " on " << where;
      } catch (const CommandError& e) {
        EXPECT_STREQ(e.what(), "Invalid numeric input");
        EXPECT_EQ(e.kind(), CommandError::Kind::Error);
      }
      ExpectPreviousDataSet(r.series);
    }
  }
}

TEST(PhotometryTable, TinyNumbersUnderflowToZeroRatherThanFail) {
  TempFolder dir;
  const Loaded r = Load(dir, "#\n#\n1e-400 10 -1e-400\n");
  ASSERT_EQ(r.series.RowCount, 1);
  EXPECT_EQ(r.series.Rows[0].Time, 0.0);
  EXPECT_TRUE(std::signbit(r.series.Rows[0].Items[0].Err));
}

TEST(PhotometryTable, MissingFileChangesNothing) {
  TempFolder dir;
  Loaded r;
  LoadPhotometryTable(dir.Path("absent.dat"), r.series, r.log);
  LoadPhotometryTable(dir.Path(""), r.series, r.log); // a folder is no table
  EXPECT_TRUE(r.log.Lines().empty());
  ExpectPreviousDataSet(r.series);
}

std::string TableWithColumns(std::size_t columns) {
  std::string bytes = "#\n#\n1";
  for (std::size_t i = 1; i < columns; ++i)
    bytes += i % 2 ? " 10" : " 0.1";
  return bytes + "\n";
}

TEST(PhotometryTable, AtMost65535StarsAreRead) {
  TempFolder dir;
  const Loaded most = Load(dir, TableWithColumns(2 * 65535 + 1));
  EXPECT_EQ(most.series.StarCount, 65535);
  EXPECT_EQ(most.series.Rows[0].ValidCount, 65535);

  const Loaded tooMany = Load(dir, TableWithColumns(2 * 65536 + 1));
  EXPECT_TRUE(tooMany.log.Contains("131073 cols read"));
  EXPECT_TRUE(tooMany.log.Contains("Too many stars: 65536, at most 65535 can be read"));
  ExpectPreviousDataSet(tooMany.series);
}

// A table larger than the reader's blocks, with numbers of every length and long header
// lines, so that tokens and line ends fall across block boundaries. The expected values
// come from a correctly rounded conversion of the same texts.
TEST(PhotometryTable, LargeTableIsReadExactlyAcrossBlocks) {
  TempFolder dir;
  std::mt19937_64 rng(99);
  const std::size_t stars = 301;
  const std::size_t rows = 400;
  std::string bytes = "# " + std::string(1500000, 'h') + "\r\n#" + std::string(700000, ' ') + "\r\n";
  std::vector<double> expected; // time, then mag, err per star, per row; invalid as 0
  auto number = [&](std::string text, double& value) {
    bytes += text;
    std::string_view s = text;
    const bool negative = s.front() == '-';
    if (negative) s.remove_prefix(1);
    std::from_chars(s.data(), s.data() + s.size(), value);
    if (negative) value = -value;
  };
  for (std::size_t r = 0; r < rows; ++r) {
    double t = 0.0;
    number(std::to_string(2459000 + r) + "." + std::to_string(10000 + rng() % 90000), t);
    expected.push_back(t);
    for (std::size_t j = 0; j < stars; ++j) {
      double mag = 0.0, err = 0.0;
      bytes += (rng() % 5 == 0) ? "\t " : " ";
      const unsigned kind = static_cast<unsigned>(rng() % 50);
      if (kind == 0) {
        number("99.999", mag);
        bytes += ' ';
        number("9.999", err);
      } else if (kind == 1) { // long: the general path
        number("1" + std::to_string(rng() % 10) + "." + std::to_string(rng()) + std::to_string(rng()), mag);
        bytes += ' ';
        number("0.0" + std::to_string(rng()) + "e-1", err);
      } else {
        number((rng() % 7 == 0 ? "-" : "") + std::to_string(rng() % 20) + "." + std::to_string(100 + rng() % 900), mag);
        bytes += ' ';
        number("0." + std::to_string(100 + rng() % 900), err);
      }
      const bool valid = mag < 99 && err < 9;
      expected.push_back(valid ? mag : 0.0);
      expected.push_back(valid ? err : 0.0);
    }
    bytes += "\r\n";
  }
  ASSERT_GT(bytes.size(), std::size_t{3} << 20);
  const Loaded r = Load(dir, bytes);
  EXPECT_TRUE(r.log.Contains("603 cols read"));
  EXPECT_TRUE(r.log.Contains("400 lines read"));
  ASSERT_EQ(r.series.RowCount, static_cast<std::int32_t>(rows));
  ASSERT_EQ(r.series.StarCount, stars);
  std::size_t k = 0, mismatches = 0;
  for (const auto& row : r.series.Rows) {
    mismatches += row.Time != expected[k++];
    for (const auto& m : row.Items) {
      mismatches += m.Mag != expected[k++];
      mismatches += m.Err != expected[k++];
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

TEST(PhotometryTable, RowLongerThanABlockIsReadExactly) {
  TempFolder dir;
  const std::size_t stars = 60000;
  std::string bytes = "#\r\n#\r\n";
  std::vector<std::string> rows;
  for (int r = 0; r < 3; ++r) {
    std::string line = std::to_string(2459000 + r) + ".5";
    for (std::size_t j = 0; j < stars; ++j) {
      line += " 1" + std::to_string(j % 10) + "." + std::to_string(1000000 + j) + " 0.0" + std::to_string(100 + r);
    }
    bytes += line + "\r\n";
  }
  ASSERT_GT(bytes.size() / 3, std::size_t{1} << 20);
  const Loaded r = Load(dir, bytes);
  ASSERT_EQ(r.series.RowCount, 3);
  ASSERT_EQ(r.series.StarCount, stars);
  std::size_t mismatches = 0;
  for (int row = 0; row < 3; ++row) {
    const TDataLine& line = r.series.Rows[static_cast<std::size_t>(row)];
    EXPECT_EQ(line.Time, 2459000.5 + row);
    EXPECT_EQ(line.ValidCount, stars);
    for (std::size_t j = 0; j < stars; j += 997) {
      const std::string mag = "1" + std::to_string(j % 10) + "." + std::to_string(1000000 + j);
      double expected = 0.0;
      std::from_chars(mag.data(), mag.data() + mag.size(), expected);
      mismatches += line.Items[j].Mag != expected;
      mismatches += line.Items[j].Err != (100 + row) / 10000.0; // "0.0100"
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

TEST(PhotometryTable, NumberLongerThanABlockIsReadWhole) {
  TempFolder dir;
  const std::string longTime = "2459000." + std::string(3000000, '0') + "1";
  const Loaded r = Load(dir, "#\n#\n" + longTime + " 10.5 0.1\n2 11 0.1\n");
  ASSERT_EQ(r.series.RowCount, 2);
  EXPECT_EQ(r.series.Rows[0].Time, 2459000.0);
  EXPECT_EQ(r.series.Rows[0].Items[0].Mag, 10.5);
  EXPECT_EQ(r.series.Rows[1].Time, 2.0);
}

// Damaged tables (bytes changed, dropped, line ends mixed, cut anywhere) must either be
// refused or give a consistent data set: one that later computations can walk safely.
TEST(PhotometryTable, DamagedTablesGiveConsistentDataSetsOrRefusals) {
  TempFolder dir;
  std::mt19937 rng(4242);
  const std::string base = CrLf(kTwoStars) + "2459000.15345 12.1 0.01 13.2 0.02\r\n\r\n2459000.16 1e1 .5 99 9\r\n";
  const char alphabet[] = "0123456789.-+eE \t\r\n#,x";
  int read = 0, refused = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string bytes = base;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < edits && !bytes.empty(); ++k) {
      const std::size_t at = rng() % bytes.size();
      switch (rng() % 4) {
      case 0:
        bytes[at] = alphabet[rng() % (sizeof alphabet - 1)];
        break;
      case 1:
        bytes.erase(at, 1 + rng() % 8);
        break;
      case 2:
        bytes.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]);
        break;
      default:
        bytes.resize(at);
        break;
      }
    }
    Loaded r;
    try {
      LoadPhotometryTable(dir.Write("t.dat", bytes), r.series, r.log);
    } catch (const CommandError& e) {
      EXPECT_STREQ(e.what(), "Invalid numeric input");
      ExpectPreviousDataSet(r.series);
      ++refused;
      continue;
    }
    if (!r.log.Contains("1st line mismatch") && !r.log.Contains("2nd line mismatch") &&
        !r.log.Contains("Number of cols not even!")) {
      ++read;
      const TTimeSeries& s = r.series;
      ASSERT_EQ(s.Rows.size(), static_cast<std::size_t>(s.RowCount)) << bytes;
      EXPECT_TRUE(s.Stats.empty());
      for (const TDataLine& row : s.Rows) {
        ASSERT_EQ(row.Items.size(), s.StarCount) << bytes;
        int valid = 0;
        for (const TMeasurement& m : row.Items) {
          valid += m.Valid;
          EXPECT_TRUE(std::isfinite(m.Mag) && std::isfinite(m.Err));
          if (m.Valid) {
            EXPECT_LT(m.Mag, 99.0);
            EXPECT_LT(m.Err, 9.0);
          } else {
            EXPECT_EQ(m.Mag, 0.0);
            EXPECT_EQ(m.Err, 0.0);
          }
        }
        EXPECT_EQ(row.ValidCount, valid);
      }
    } else {
      ExpectPreviousDataSet(r.series);
    }
  }
  // The damage is mild enough that both outcomes occur often.
  EXPECT_GT(read, 300);
  EXPECT_GT(refused, 300);
}

} // namespace
} // namespace morvik
