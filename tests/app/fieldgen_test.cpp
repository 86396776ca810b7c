#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "app/process.hpp"
#include "common/parse.hpp"
#include <unistd.h>

namespace morvik {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunProgram;
using testing::SplitLines;
using testing::Words;

const fs::path kWork = fs::path(MORVIK_BINARY_DIR) / "tests" / "app_work" / ("fieldgen-" + std::to_string(::getpid()));

double Num(const std::string& s) {
  auto v = ParseDecimal(s);
  EXPECT_TRUE(v) << s;
  return v.value_or(0.0);
}

struct CatalogEntry {
  double x, y, m;
};

std::vector<CatalogEntry> ReadCatalog(const fs::path& path) {
  std::vector<CatalogEntry> stars;
  std::string xml = ReadFile(path);
  std::regex s(R"re(<s id="(\d+)" x="([-\d.]+)" y="([-\d.]+)" m="([-\d.]+)"/>)re");
  long expectedId = 1;
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), s); it != std::sregex_iterator(); ++it) {
    EXPECT_EQ(std::stol((*it)[1]), expectedId++);
    stars.push_back({Num((*it)[2]), Num((*it)[3]), Num((*it)[4])});
  }
  return stars;
}

struct Table {
  std::vector<double> times;
  std::vector<std::vector<double>> mag, err; // [row][star]; 99.999 / 9.999 when not measured
};

Table ReadTable(const fs::path& path) {
  std::string text = ReadFile(path);
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "CR LF line ends";
  auto lines = SplitLines(text, "\r\n");
  EXPECT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0][0], '#');
  EXPECT_EQ(lines[1][0], '#');
  Table t;
  std::regex jd(R"(\d+\.\d{5})"), three(R"(\d+\.\d{3})");
  for (std::size_t i = 2; i < lines.size(); ++i) {
    auto w = Words(lines[i]);
    EXPECT_TRUE(std::regex_match(w[0], jd)) << w[0];
    t.times.push_back(Num(w[0]));
    std::vector<double> m, e;
    for (std::size_t k = 1; k + 1 < w.size(); k += 2) {
      EXPECT_TRUE(std::regex_match(w[k], three) && std::regex_match(w[k + 1], three)) << w[k] << " " << w[k + 1];
      m.push_back(Num(w[k]));
      e.push_back(Num(w[k + 1]));
    }
    t.mag.push_back(m);
    t.err.push_back(e);
  }
  return t;
}

class FieldGenerator : public ::testing::Test {
protected:
  static void TearDownTestSuite() { fs::remove_all(kWork); }
  static void SetUpTestSuite() {
    fs::remove_all(kWork);
    auto r =
        RunProgram(MORVIK_FIELDGEN, {"--out", "field", "--stars", "120", "--frames", "200", "--seed", "11"}, kWork);
    ASSERT_EQ(r.status, 0) << r.err;
  }
};

TEST_F(FieldGenerator, TableHasTheFramesNightsAndNoiseOfAnObservingRun) {
  Table t = ReadTable(kWork / "field.dat");
  ASSERT_EQ(t.times.size(), 200u);
  for (const auto& row : t.mag)
    ASSERT_EQ(row.size(), 120u);
  EXPECT_TRUE(std::is_sorted(t.times.begin(), t.times.end()));
  int gaps = 0;
  for (std::size_t i = 1; i < t.times.size(); ++i)
    gaps += t.times[i] - t.times[i - 1] > 0.4 ? 1 : 0;
  EXPECT_EQ(gaps, 3) << "four nights by default";
  double span = t.times.back() - t.times.front();
  EXPECT_GT(span, 2.5);
  EXPECT_LT(span, 4.0);

  // About 2 % not measured, always written as the pair 99.999 9.999.
  long invalid = 0, all = 0;
  for (std::size_t r = 0; r < t.mag.size(); ++r) {
    for (std::size_t s = 0; s < t.mag[r].size(); ++s) {
      ++all;
      bool lost = t.mag[r][s] >= 99;
      EXPECT_EQ(lost, t.err[r][s] >= 9);
      if (lost) {
        ++invalid;
        EXPECT_EQ(t.mag[r][s], 99.999);
        EXPECT_EQ(t.err[r][s], 9.999);
      } else {
        EXPECT_GT(t.err[r][s], 0.0);
      }
    }
  }
  double share = static_cast<double>(invalid) / static_cast<double>(all);
  EXPECT_GT(share, 0.01);
  EXPECT_LT(share, 0.05);

  // One cloudy frame: the stars measured in it have far larger errors than usual.
  std::vector<double> typical(t.err[0].size());
  for (std::size_t s = 0; s < typical.size(); ++s) {
    std::vector<double> e;
    for (std::size_t r = 0; r < t.err.size(); ++r)
      if (t.mag[r][s] < 99) e.push_back(t.err[r][s]);
    std::nth_element(e.begin(), e.begin() + static_cast<long>(e.size() / 2), e.end());
    typical[s] = e[e.size() / 2];
  }
  std::vector<double> growth;
  for (std::size_t r = 0; r < t.err.size(); ++r) {
    std::vector<double> g;
    for (std::size_t s = 0; s < typical.size(); ++s)
      if (t.mag[r][s] < 99) g.push_back(t.err[r][s] / typical[s]);
    std::nth_element(g.begin(), g.begin() + static_cast<long>(g.size() / 2), g.end());
    growth.push_back(g[g.size() / 2]);
  }
  std::sort(growth.begin(), growth.end());
  EXPECT_GT(growth.back(), 3.0);
  EXPECT_LT(growth[growth.size() - 2], 2.0);
}

TEST_F(FieldGenerator, ErrorsGrowWithMagnitude) {
  auto cat = ReadCatalog(kWork / "field.xml");
  Table t = ReadTable(kWork / "field.dat");
  double brightSum = 0, faintSum = 0;
  int bright = 0, faint = 0;
  for (std::size_t r = 0; r < t.mag.size(); ++r)
    for (std::size_t s = 0; s < cat.size(); ++s) {
      if (t.mag[r][s] >= 99) continue;
      if (cat[s].m < 12.5) brightSum += t.err[r][s], ++bright;
      if (cat[s].m > 15.0) faintSum += t.err[r][s], ++faint;
    }
  ASSERT_GT(bright, 0);
  ASSERT_GT(faint, 0);
  EXPECT_GT(faintSum / faint, 4 * (brightSum / bright));
}

TEST_F(FieldGenerator, CatalogStarsAreOnTheFrameApartAndBright) {
  auto cat = ReadCatalog(kWork / "field.xml");
  ASSERT_EQ(cat.size(), 120u);
  std::string fit = ReadFile(kWork / "field.fit");
  ASSERT_EQ(fit.size() % 2880, 0u);
  ASSERT_GE(fit.size(), 2880u + 1024u * 768u * 2u);
  EXPECT_EQ(fit.substr(0, 30), "SIMPLE  =                    T");
  EXPECT_NE(fit.find("NAXIS1  =                 1024"), std::string::npos);
  EXPECT_NE(fit.find("NAXIS2  =                  768"), std::string::npos);
  EXPECT_NE(fit.find("BZERO   =                32768"), std::string::npos);
  std::size_t data = fit.find("END     ");
  ASSERT_NE(data, std::string::npos);
  data = (data / 2880 + 1) * 2880;
  auto pixel = [&](int x, int y) { // 1-based, x along NAXIS1
    std::size_t at = data + 2 * (static_cast<std::size_t>(y - 1) * 1024 + static_cast<std::size_t>(x - 1));
    auto hi = static_cast<unsigned char>(fit[at]), lo = static_cast<unsigned char>(fit[at + 1]);
    return static_cast<int>(static_cast<std::int16_t>((hi << 8) | lo)) + 32768;
  };
  std::vector<int> sky;
  for (int y = 1; y <= 768; y += 37)
    for (int x = 1; x <= 1024; x += 41)
      sky.push_back(pixel(x, y));
  std::sort(sky.begin(), sky.end());
  int background = sky[sky.size() / 2];
  for (std::size_t i = 0; i < cat.size(); ++i) {
    const auto& s = cat[i];
    EXPECT_GE(s.x, 1.0);
    EXPECT_LE(s.x, 1024.0);
    EXPECT_GE(s.y, 1.0);
    EXPECT_LE(s.y, 768.0);
    for (std::size_t j = 0; j < i; ++j)
      EXPECT_GE(std::hypot(s.x - cat[j].x, s.y - cat[j].y), 6.0) << "stars " << i + 1 << " and " << j + 1;
    // A star of 13th magnitude stands well above the sky at its catalog position.
    if (s.m < 13.0) {
      int x = static_cast<int>(std::lround(s.x)), y = static_cast<int>(std::lround(s.y));
      EXPECT_GT(pixel(x, y), background + 300) << "star " << i + 1;
      EXPECT_GT(pixel(x, y), pixel(x + 5, y)) << "star " << i + 1;
    }
  }
}

TEST_F(FieldGenerator, VariablesFileNamesTheInjectedStarsAndAComparison) {
  auto lines = SplitLines(ReadFile(kWork / "field_variables.txt"));
  std::vector<std::string> types;
  int comparison = 0;
  for (const auto& l : lines) {
    auto w = Words(l);
    if (w.empty() || w[0][0] == '#') continue;
    if (w[0] == "comparison") {
      ASSERT_EQ(w.size(), 3u);
      comparison = std::stoi(w[1]);
      continue;
    }
    ASSERT_EQ(w.size(), 4u) << l;
    types.push_back(w[1]);
    EXPECT_GT(Num(w[3]), 0.05) << l;
    if (w[1] != "irregular") {
      EXPECT_GT(Num(w[2]), 0.0) << l;
    }
  }
  EXPECT_EQ(types, (std::vector<std::string>{"eclipsing_binary", "rr_lyrae", "short_period_pulsator", "irregular"}));
  ASSERT_GE(comparison, 1);
  Table t = ReadTable(kWork / "field.dat");
  for (const auto& row : t.mag)
    EXPECT_LT(row[static_cast<std::size_t>(comparison - 1)], 99) << "always measured";
}

TEST_F(FieldGenerator, SameSeedSameFilesOtherSeedOtherField) {
  auto again =
      RunProgram(MORVIK_FIELDGEN, {"--out", "again", "--stars", "120", "--frames", "200", "--seed", "11"}, kWork);
  ASSERT_EQ(again.status, 0) << again.err;
  for (const char* ext : {".fit", ".dat", ".xml", "_variables.txt"}) {
    std::string a = ReadFile(kWork / (std::string("field") + ext)), b = ReadFile(kWork / (std::string("again") + ext));
    EXPECT_TRUE(a == b) << ext;
  }
  auto other =
      RunProgram(MORVIK_FIELDGEN, {"--out", "other", "--stars", "120", "--frames", "200", "--seed", "12"}, kWork);
  ASSERT_EQ(other.status, 0) << other.err;
  EXPECT_NE(ReadFile(kWork / "field.dat"), ReadFile(kWork / "other.dat"));
}

TEST(FieldGeneratorSizes, ManyStarsGetALargerFrameAndStayApart) {
  fs::path dir = kWork / "many";
  auto r = RunProgram(MORVIK_FIELDGEN, {"--out", "big", "--stars", "10000", "--frames", "20", "--no-image"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "big.fit"));
  auto cat = ReadCatalog(dir / "big.xml");
  ASSERT_EQ(cat.size(), 10000u);
  double maxX = 0, maxY = 0;
  for (const auto& s : cat)
    maxX = std::max(maxX, s.x), maxY = std::max(maxY, s.y);
  EXPECT_GT(maxX, 1024.0);
  EXPECT_LE(maxX, 2200.0);
  EXPECT_LE(maxY, 2200.0);
  // Nearest neighbours through a coarse grid.
  std::vector<std::vector<int>> cells(400 * 400);
  for (std::size_t i = 0; i < cat.size(); ++i)
    cells[static_cast<std::size_t>(cat[i].x / 6) * 400 + static_cast<std::size_t>(cat[i].y / 6)].push_back(
        static_cast<int>(i));
  int close = 0;
  for (std::size_t i = 0; i < cat.size(); ++i) {
    int cx = static_cast<int>(cat[i].x / 6), cy = static_cast<int>(cat[i].y / 6);
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy) {
        if (cx + dx < 0 || cy + dy < 0) continue;
        for (int j : cells[static_cast<std::size_t>(cx + dx) * 400 + static_cast<std::size_t>(cy + dy)])
          if (j != static_cast<int>(i) && std::hypot(cat[i].x - cat[static_cast<std::size_t>(j)].x,
                                                     cat[i].y - cat[static_cast<std::size_t>(j)].y) < 6.0)
            ++close;
      }
  }
  EXPECT_EQ(close, 0);
  auto lines = SplitLines(ReadFile(dir / "big.dat"), "\r\n");
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(Words(lines[2]).size(), 20001u);
}

TEST(FieldGeneratorSizes, BadOptionsAreUsageErrors) {
  fs::path dir = kWork / "bad";
  const std::vector<std::vector<std::string>> bad = {{"--stars", "3"},
                                                     {"--width", "3000"},
                                                     {"--frames", "x"},
                                                     {"--bogus"},
                                                     {"--out"},
                                                     {"--series"},
                                                     {"--series", "s/x", "--out", "y"},
                                                     {"--series", "dir/"}};
  for (const std::vector<std::string>& args : bad) {
    auto r = RunProgram(MORVIK_FIELDGEN, args, dir);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("usage:"), std::string::npos) << args[0];
  }
  EXPECT_FALSE(fs::exists(dir / "field.dat"));
}

} // namespace
} // namespace morvik
