#pragma once
// A field opened before each bad input, and snapshots of everything the user had
// loaded, so that a test can show that a refused file took nothing away.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/workspace.hpp"

namespace morvik::hardening {

inline std::string BadFile(const std::string& relative) {
  return std::string(MORVIK_TEST_DATA_DIR) + "/bad/" + relative;
}

inline std::string ReadFile(const std::string& path) {
  std::string bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_NE(f, nullptr) << path;
  if (f == nullptr) return bytes;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
    bytes.append(buf, n);
  std::fclose(f);
  return bytes;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline std::string Card(const std::string& text) {
  std::string c = text;
  c.resize(80, ' ');
  return c;
}

// A 16-bit frame, pixel (x, y) = base + x + 10 y, padded to whole 2880-byte blocks.
inline std::string Frame(int width, int height, int base) {
  auto value = [](const char* key, int v) {
    const std::string s = std::to_string(v);
    return Card(std::string(key) + std::string(8 - std::string(key).size(), ' ') + "= " +
                std::string(20 - s.size(), ' ') + s);
  };
  std::string f = Card("SIMPLE  =                    T") + value("BITPIX", 16) + value("NAXIS", 2) +
                  value("NAXIS1", width) + value("NAXIS2", height) + Card("END");
  f.resize((f.size() + 2879) / 2880 * 2880, ' ');
  for (int y = 1; y <= height; ++y)
    for (int x = 1; x <= width; ++x) {
      const int v = base + x + 10 * y;
      f.push_back(static_cast<char>((v >> 8) & 0xff));
      f.push_back(static_cast<char>(v & 0xff));
    }
  f.resize((f.size() + 2879) / 2880 * 2880, '\0');
  return f;
}

// A scratch folder for one test.
class Folder {
public:
  Folder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("morvik_hard_") + info->test_suite_name() + "_" + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    dir_ = std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    WriteFile(Path(name), bytes);
    return Path(name);
  }

private:
  std::filesystem::path dir_;
};

// Everything the user had loaded: the frame with its pixels and header, the picture,
// the data set with its statistics, the catalog.
struct Loaded {
  std::string fileName;
  int width = 0, height = 0, bitPix = 0;
  double bScale = 0, bZero = 0;
  std::vector<TField> header;
  std::vector<double> pixels;        // the frame's area, column by column
  std::vector<std::uint8_t> picture; // the image view's picture, bytes
  TTimeSeries series;
  std::vector<TCatalogStar> catalog; // ids 1 ... 40 000

  static Loaded Of(const Workspace& ws) {
    Loaded l;
    const TFits& f = *ws.Frame;
    l.fileName = f.FileName;
    l.width = f.Width;
    l.height = f.Height;
    l.bitPix = f.BitPix;
    l.bScale = f.BScale;
    l.bZero = f.BZero;
    l.header = f.Header.Cards;
    for (int x = 1; x <= f.Width; ++x)
      for (int y = 1; y <= f.Height; ++y)
        l.pixels.push_back(f.Data(x, y));
    const Bitmap& b = ws.picture.Pixels();
    if (b.Height() > 0) l.picture.assign(b.Line(0), b.Line(0) + b.Stride() * static_cast<std::size_t>(b.Height()));
    l.series = ws.Series;
    for (long long id = 1; id <= kCatalogSize; ++id)
      l.catalog.push_back(ws.Catalog[id]);
    return l;
  }
};

inline bool SameSeries(const TTimeSeries& a, const TTimeSeries& b) { return a == b; }

inline bool SameCatalog(const std::vector<TCatalogStar>& a, const std::vector<TCatalogStar>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].X != b[i].X || a[i].Y != b[i].Y || a[i].M != b[i].M) return false;
  return true;
}

inline bool SameHeader(const std::vector<TField>& a, const std::vector<TField>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].Keyword != b[i].Keyword || a[i].Value != b[i].Value || a[i].Comment != b[i].Comment) return false;
  return true;
}

inline void ExpectSameFrame(const Loaded& now, const Loaded& before) {
  EXPECT_EQ(now.fileName, before.fileName);
  EXPECT_EQ(now.width, before.width);
  EXPECT_EQ(now.height, before.height);
  EXPECT_EQ(now.bitPix, before.bitPix);
  EXPECT_EQ(now.bScale, before.bScale);
  EXPECT_EQ(now.bZero, before.bZero);
  EXPECT_TRUE(now.pixels == before.pixels) << "the pixels changed";
  EXPECT_TRUE(now.picture == before.picture) << "the picture changed";
}

inline void ExpectSameData(const Loaded& now, const Loaded& before) {
  EXPECT_TRUE(SameSeries(now.series, before.series)) << "the data set changed";
  EXPECT_TRUE(SameCatalog(now.catalog, before.catalog)) << "the catalog changed";
}

// No number in the records is an infinity or NaN.
inline void ExpectFiniteRecords(const Workspace& ws) {
  const TTimeSeries& s = ws.Series;
  ASSERT_EQ(s.Rows.size(), static_cast<std::size_t>(s.RowCount));
  for (const TDataLine& row : s.Rows) {
    ASSERT_TRUE(std::isfinite(row.Time));
    ASSERT_EQ(row.Items.size(), s.StarCount);
    for (const TMeasurement& m : row.Items) {
      ASSERT_TRUE(std::isfinite(m.Mag) && std::isfinite(m.Err) && std::isfinite(m.RunMag));
      if (!m.Valid) {
        ASSERT_TRUE(m.Mag == 0.0 && m.Err == 0.0);
      }
    }
  }
  for (long long id = 1; id <= kCatalogSize; ++id) {
    const TCatalogStar& c = ws.Catalog[id];
    ASSERT_TRUE(std::isfinite(c.X) && std::isfinite(c.Y) && std::isfinite(c.M)) << "catalog id " << id;
  }
}

// A workspace with a field opened and run: a 30 x 20 frame, three stars in five
// frames, their catalog, star 1 as the comparison star and one Run behind it.
class OpenedField : public ::testing::Test {
public:
  OpenedField() : ws(log) {}

  void SetUp() override {
    const std::string frame = folder.Write("good.fit", Frame(30, 20, 100));
    folder.Write("good.dat", "# JD\r\n# stars\r\n"
                             "2450000.1 12.10 0.01 13.20 0.02 14.30 0.03\r\n"
                             "2450000.2 12.11 0.01 13.22 0.02 14.33 0.03\r\n"
                             "2450000.3 12.09 0.01 13.18 0.02 14.27 0.03\r\n"
                             "2450000.4 12.12 0.01 13.25 0.02 14.36 0.03\r\n"
                             "2450000.5 12.08 0.01 13.15 0.02 14.24 0.03\r\n");
    folder.Write("good.xml", "<cat_file><stars>"
                             "<s id=\"1\" x=\"10\" y=\"5\" m=\"12.1\"/>"
                             "<s id=\"2\" x=\"15\" y=\"10\" m=\"13.2\"/>"
                             "<s id=\"3\" x=\"20\" y=\"15\" m=\"14.3\"/>"
                             "</stars></cat_file>");
    ASSERT_TRUE(OpenFrame(ws, frame));
    ASSERT_EQ(ws.Series.StarCount, 3);
    ws.PickedStar = 1;
    SelectComparison(ws, "12.1");
    morvik::Run(ws);
    ASSERT_TRUE(ws.Series.HasStats());
    ws.Series.Stats[1].Mark = kMarkVariable; // a classification the user made
    before = Loaded::Of(ws);
    log.Clear();
  }

  // Opens the field bad.fit with the given companions (empty: no such file).
  // Returns the message of the CommandError that ended the Open, or "" when none did.
  std::string OpenBad(const std::string& frameBytes, const std::string* table = nullptr,
                      const std::string* catalog = nullptr) {
    const std::string path = folder.Write("bad.fit", frameBytes);
    if (table != nullptr) folder.Write("bad.dat", *table);
    if (catalog != nullptr) folder.Write("bad.xml", *catalog);
    try {
      EXPECT_TRUE(OpenFrame(ws, path));
    } catch (const CommandError& e) {
      return e.what();
    }
    return {};
  }

  std::string GoodFrame() const { return Frame(8, 6, 500); }

  Folder folder;
  MemoryLog log;
  Workspace ws;
  Loaded before;
};

} // namespace morvik::hardening
