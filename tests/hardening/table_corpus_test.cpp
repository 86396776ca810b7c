// Bad photometry tables beside a good frame, opened over a field that is already open:
// a refused table leaves the data set and the catalog as they were; an accepted one
// holds only finite numbers.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "hardening_support.hpp"

namespace morvik::hardening {
namespace {

using TableCorpus = OpenedField;

// Opens a good frame with this table and no catalog; returns the error message, if any.
std::string OpenTable(TableCorpus& t, const std::string& table) { return t.OpenBad(t.GoodFrame(), &table); }

// A refused table keeps the data set; the catalog, missing beside it, is emptied so
// that no earlier field's stars stay with it.
void ExpectNothingLost(const TableCorpus& t) {
  const Loaded now = Loaded::Of(t.ws);
  EXPECT_TRUE(SameSeries(now.series, t.before.series)) << "the data set changed";
  int stale = 0;
  for (long long id = 1; id <= kCatalogSize; ++id)
    stale += t.ws.Catalog[id].X != 0 || t.ws.Catalog[id].Y != 0 || t.ws.Catalog[id].M != 0 ? 1 : 0;
  EXPECT_EQ(stale, 0) << "an earlier catalog stayed";
}

TEST_F(TableCorpus, RefusedTablesAreLoggedAndKeepTheDataSet) {
  struct Case {
    const char* file;
    const char* line; // the last line the reader logs
  };
  for (const Case& c : {Case{"empty.dat", "1st line mismatch"}, Case{"garbage.dat", "1st line mismatch"},
                        Case{"one_line.dat", "2nd line mismatch"}, Case{"two_lines.dat", "Number of cols not even!"},
                        Case{"even_columns.dat", "Number of cols not even!"}}) {
    SCOPED_TRACE(c.file);
    log.Clear();
    EXPECT_EQ(OpenTable(*this, ReadFile(BadFile(std::string("table/") + c.file))), "");
    EXPECT_TRUE(log.Contains(c.line));
    ExpectNothingLost(*this);
  }
  EXPECT_TRUE(log.Contains("4 cols read"));
}

TEST_F(TableCorpus, TokensThatAreNotNumbersEndTheOpenAndKeepTheDataSet) {
  for (const char* file : {"table/too_large.dat", "table/nan.dat", "table/decimal_comma.dat"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(OpenTable(*this, ReadFile(BadFile(file))), "Invalid numeric input");
    ExpectNothingLost(*this);
  }
  // Neither an exponent beyond the double range nor one of the spellings of a
  // non-number may slip through as inf or NaN.
  for (const char* token : {"1e309", "-1e400", "inf", "-inf", "Infinity", "NaN", "0x10", "1e", "--1", "1.5.2"}) {
    SCOPED_TRACE(token);
    EXPECT_EQ(OpenTable(*this, std::string("#\n#\n2450000.1 12 0.01\n2450000.2 ") + token + " 0.01\n"),
              "Invalid numeric input");
    ExpectNothingLost(*this);
  }
}

TEST_F(TableCorpus, SeventyThousandStarsAreRefused) {
  std::string table = "#\r\n#\r\n2450000.1";
  for (int i = 0; i < 70000; ++i)
    table += " 12.5 0.01";
  table += "\r\n";
  EXPECT_EQ(OpenTable(*this, table), "");
  EXPECT_TRUE(log.Contains("140001 cols read"));
  EXPECT_TRUE(log.Contains("Too many stars: 70000, at most 65535 can be read"));
  ExpectNothingLost(*this);
}

// The accepted oddities: each gives the rows a plain table would.
TEST_F(TableCorpus, OddButReadableTablesGiveTheirRows) {
  struct Case {
    const char* file;
    int stars;
    double lastMag; // star 1 in the last row
  };
  for (const Case& c : {Case{"odd_columns.dat", 2, 12.2}, Case{"no_final_line_end.dat", 1, 12.2},
                        Case{"cr_only.dat", 1, 12.2}, Case{"nul_byte.dat", 1, 12.2}, Case{"minus_zero.dat", 1, 12.2}}) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(OpenTable(*this, ReadFile(BadFile(std::string("table/") + c.file))), "");
    ASSERT_EQ(ws.Series.StarCount, c.stars);
    ASSERT_EQ(ws.Series.RowCount, 2);
    EXPECT_EQ(ws.Series.Rows[1].Items[0].Mag, c.lastMag);
    EXPECT_TRUE(ws.Series.Stats.empty());
    ExpectFiniteRecords(ws);
    // No catalog beside the table: none from before stays.
    EXPECT_EQ(ws.Catalog[1].X, 0.0);
    EXPECT_EQ(ws.OpenWarnings.size(), 1u);
  }
}

TEST_F(TableCorpus, ANulByteSeparatesNumbersLikeABlank) {
  EXPECT_EQ(OpenTable(*this, ReadFile(BadFile("table/nul_byte.dat"))), "");
  ASSERT_EQ(ws.Series.RowCount, 2);
  EXPECT_EQ(ws.Series.Rows[0].Items[0].Mag, 12.1);
  EXPECT_EQ(ws.Series.Rows[0].Items[0].Err, 0.01);
  EXPECT_TRUE(ws.Series.Rows[0].Items[0].Valid);
}

TEST_F(TableCorpus, MinusZeroIsAValidZero) {
  EXPECT_EQ(OpenTable(*this, ReadFile(BadFile("table/minus_zero.dat"))), "");
  const TMeasurement& m = ws.Series.Rows[0].Items[0];
  EXPECT_TRUE(m.Valid);
  EXPECT_EQ(m.Mag, 0.0);
  EXPECT_EQ(m.Err, 0.0);
  EXPECT_EQ(ws.Series.Rows[0].ValidCount, 1);
}

TEST_F(TableCorpus, TwoHundredThousandRowsAreRead) {
  std::string table = "#\n#\n";
  table.reserve(200000 * 40);
  for (int r = 0; r < 200000; ++r)
    table += std::to_string(2450000 + r) + " " + (r % 7 == 0 ? "99.999 9.999" : "12.5 0.01") + " 13.25 0.02\n";
  EXPECT_EQ(OpenTable(*this, table), "");
  EXPECT_TRUE(log.Contains("200000 lines read"));
  ASSERT_EQ(ws.Series.RowCount, 200000);
  ASSERT_EQ(ws.Series.StarCount, 2);
  EXPECT_EQ(ws.Series.Rows[199999].Time, 2450000.0 + 199999);
  EXPECT_EQ(ws.Series.Rows[199999].Items[1].Mag, 13.25);
  EXPECT_FALSE(ws.Series.Rows[7].Items[0].Valid);
  EXPECT_EQ(ws.Series.Rows[7].ValidCount, 1);
  ExpectFiniteRecords(ws);
}

TEST_F(TableCorpus, TenMegabyteLines) {
  const std::string tenMb(10 * 1024 * 1024, 'x');
  // A header line that long is only skipped.
  EXPECT_EQ(OpenTable(*this, "#" + tenMb + "\n#\n2450000.1 12.5 0.01\n"), "");
  ASSERT_EQ(ws.Series.RowCount, 1);
  EXPECT_EQ(ws.Series.Rows[0].Items[0].Mag, 12.5);

  // Blanks after the last number of a row are not columns.
  EXPECT_EQ(
      OpenTable(*this, "#\n#\n2450000.1 12.5 0.01" + std::string(10 * 1024 * 1024, ' ') + "\n2450000.2 12.6 0.01\n"),
      "");
  ASSERT_EQ(ws.Series.RowCount, 2);
  EXPECT_EQ(ws.Series.Rows[1].Items[0].Mag, 12.6);

  // One token of ten million digits is too large for a double: not a number.
  const Loaded loaded = Loaded::Of(ws);
  EXPECT_EQ(OpenTable(*this, "#\n#\n2450000.1 1" + std::string(10 * 1024 * 1024, '0') + " 0.01\n"),
            "Invalid numeric input");
  EXPECT_TRUE(SameSeries(ws.Series, loaded.series));

  // A line of ten megabytes of digits after a point is a long but ordinary number.
  EXPECT_EQ(OpenTable(*this, "#\n#\n2450000.1 12." + std::string(10 * 1024 * 1024, '5') + " 0.01\n"), "");
  ASSERT_EQ(ws.Series.RowCount, 1);
  EXPECT_NEAR(ws.Series.Rows[0].Items[0].Mag, 12.5555555, 1e-6);
  ExpectFiniteRecords(ws);
}

} // namespace
} // namespace morvik::hardening
