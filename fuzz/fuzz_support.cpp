#include "fuzz_support.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace morvik::fuzz {

namespace {

void RemoveFolderAtExit() {
  std::error_code ec;
  std::filesystem::remove_all(ScratchFolder(), ec);
}

} // namespace

const std::string& ScratchFolder() {
  // Never destroyed: the exit handler that removes the folder runs after the static
  // objects are gone.
  static const std::string* folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::filesystem::path base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    const auto dir = base / ("morvik-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto* f = new std::string(dir.string() + "/");
    std::atexit(RemoveFolderAtExit);
    return f;
  }();
  return *folder;
}

std::string WriteScratch(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchFolder() + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Fail("cannot write the scratch file " + path);
  return path;
}

void RemoveScratch(const std::string& name) {
  std::error_code ec;
  std::filesystem::remove(ScratchFolder() + name, ec);
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "\n==morvik-fuzz== broken promise: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

void CheckFinite(double v, const std::string& what) {
  if (!std::isfinite(v)) Fail(what + " is not finite");
}

void CheckReadDataSet(const TTimeSeries& series) {
  Check(series.RowCount >= 0, "RowCount is negative");
  Check(series.Rows.size() == static_cast<std::size_t>(series.RowCount), "RowCount differs from the rows");
  for (std::size_t r = 0; r < series.Rows.size(); ++r) {
    const TDataLine& row = series.Rows[r];
    const std::string at = "row " + std::to_string(r);
    CheckFinite(row.Time, at + " Time");
    Check(row.Items.size() == series.StarCount, at + " does not have StarCount measurements");
    std::size_t valid = 0;
    for (const TMeasurement& m : row.Items) {
      CheckFinite(m.Mag, at + " Mag");
      CheckFinite(m.Err, at + " Err");
      CheckFinite(m.RunMag, at + " RunMag");
      if (m.Valid) {
        ++valid;
        Check(m.Mag < 99.0 && m.Err < 9.0, at + " holds a valid measurement that the validity rule refuses");
      } else {
        Check(m.Mag == 0.0 && m.Err == 0.0, at + " holds an invalid measurement that is not 0");
      }
    }
    Check(valid == row.ValidCount, at + " ValidCount does not count the valid measurements");
  }
}

void CheckCatalog(const StarCatalog& catalog) {
  for (long long id = 1; id <= kCatalogSize; ++id) {
    const TCatalogStar& s = catalog[id];
    if (!std::isfinite(s.X) || !std::isfinite(s.Y) || !std::isfinite(s.M))
      Fail("catalog entry " + std::to_string(id) + " is not finite");
  }
}

bool SameDataSet(const TTimeSeries& a, const TTimeSeries& b) { return a == b; }

TTimeSeries PreviousDataSet() {
  TTimeSeries s;
  s.RowCount = 2;
  s.StarCount = 1;
  s.Rows.resize(2);
  for (int r = 0; r < 2; ++r) {
    s.Rows[static_cast<std::size_t>(r)].Time = 2450000.5 + r;
    s.Rows[static_cast<std::size_t>(r)].Items = {TMeasurement{12.0 + r, 0.01, 11.5, true}};
    s.Rows[static_cast<std::size_t>(r)].ValidCount = 1;
    s.Rows[static_cast<std::size_t>(r)].FrameErr = 0.01;
  }
  s.Stats.resize(1);
  s.Stats[0].Mark = kMarkVariable;
  s.Stats[0].Used = true;
  s.UsedCount = 1;
  s.MeanVariance = 0.25;
  s.MeanSigmaAll = 0.125;
  return s;
}

} // namespace morvik::fuzz
