#include "astrometry/index_stars.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fitsio.h>
#include <numbers>

#include "common/errors.hpp"

namespace morvik::astrometry {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

struct FitsFile {
  fitsfile* f = nullptr;
  ~FitsFile() {
    int s = 0;
    if (f) fits_close_file(f, &s);
  }
};

// Moves to the binary table whose first column is named `column`.
bool FindTable(fitsfile* f, const char* column, long& rows, long& rowBytes) {
  int count = 0, status = 0;
  fits_get_num_hdus(f, &count, &status);
  for (int i = 2; i <= count; ++i) {
    status = 0;
    int type = 0;
    if (fits_movabs_hdu(f, i, &type, &status) || type != BINARY_TBL) continue;
    char name[FLEN_VALUE] = "";
    if (fits_read_key(f, TSTRING, "TTYPE1", name, nullptr, &status)) continue;
    if (std::strcmp(name, column) != 0) continue;
    fits_read_key(f, TLONG, "NAXIS2", &rows, nullptr, &status);
    fits_read_key(f, TLONG, "NAXIS1", &rowBytes, nullptr, &status);
    return status == 0;
  }
  return false;
}

std::vector<unsigned char> TableBytes(fitsfile* f, long rows, long rowBytes) {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(rows * rowBytes));
  int status = 0;
  if (!bytes.empty()) fits_read_tblbytes(f, 1, 1, static_cast<LONGLONG>(bytes.size()), bytes.data(), &status);
  if (status) throw CommandError("The index file's star table cannot be read.");
  return bytes;
}

} // namespace

std::vector<CatalogStar> ReadIndexStars(const std::string& path, const Sky& centre, double radius) {
  FitsFile file;
  int status = 0;
  if (fits_open_file(&file.f, path.c_str(), READONLY, &status)) throw CommandError("Cannot open " + path + ".");
  // The star tree stores unit vectors as native-endian integers scaled into a box;
  // these files are written on a little-endian machine (ENDIAN card 04:03:02:01).
  char endian[FLEN_VALUE] = "";
  fits_read_key(file.f, TSTRING, "ENDIAN", endian, nullptr, &status);
  if (status || std::strcmp(endian, "04:03:02:01") != 0)
    throw CommandError(path + " is no little-endian astrometry.net index file.");
  long n = 0, rowBytes = 0, rangeRows = 0, rangeBytes = 0;
  if (!FindTable(file.f, "kdtree_range_stars", rangeRows, rangeBytes) || rangeRows * rangeBytes != 7 * 8)
    throw CommandError(path + " holds no star tree.");
  std::vector<unsigned char> rangeRaw = TableBytes(file.f, rangeRows, rangeBytes);
  double range[7];
  std::memcpy(range, rangeRaw.data(), sizeof range);
  if (!FindTable(file.f, "kdtree_data_stars", n, rowBytes) || rowBytes != 12)
    throw CommandError(path + " holds no star tree.");
  std::vector<unsigned char> data = TableBytes(file.f, n, rowBytes);
  std::vector<float> vt;
  long magRows = 0, magBytes = 0;
  if (FindTable(file.f, "MAG_VT", magRows, magBytes) && magRows == n) {
    vt.resize(static_cast<std::size_t>(n));
    int s = 0, any = 0;
    fits_read_col(file.f, TFLOAT, 1, 1, 1, n, nullptr, vt.data(), &any, &s);
    if (s) vt.clear();
  }
  const double cosRadius = std::cos(radius * kDeg);
  const double cx = std::cos(centre.dec * kDeg) * std::cos(centre.ra * kDeg);
  const double cy = std::cos(centre.dec * kDeg) * std::sin(centre.ra * kDeg);
  const double cz = std::sin(centre.dec * kDeg);
  std::vector<CatalogStar> out;
  for (long i = 0; i < n; ++i) {
    std::uint32_t u[3];
    std::memcpy(u, data.data() + i * 12, 12);
    double v[3];
    for (int k = 0; k < 3; ++k)
      v[k] = range[k] + static_cast<double>(u[k]) / range[6];
    if (v[0] * cx + v[1] * cy + v[2] * cz < cosRadius) continue;
    const double norm = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    CatalogStar star;
    star.sky.ra = std::atan2(v[1], v[0]) / kDeg;
    if (star.sky.ra < 0) star.sky.ra += 360.0;
    star.sky.dec = std::asin(std::clamp(v[2] / norm, -1.0, 1.0)) / kDeg;
    if (!vt.empty() && std::isfinite(vt[static_cast<std::size_t>(i)]))
      star.vt = static_cast<double>(vt[static_cast<std::size_t>(i)]);
    out.push_back(star);
  }
  return out;
}

std::vector<CatalogStar> ReadIndexFolder(const std::string& folder, const Sky& centre, double radius) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.path().filename().string().rfind("index-", 0) == 0 && entry.path().extension() == ".fits")
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  std::vector<CatalogStar> all;
  for (const std::string& f : files) {
    for (const CatalogStar& s : ReadIndexStars(f, centre, radius)) {
      // The same star in another index: within an arcsecond (the tree's resolution
      // is far finer).
      bool seen = false;
      for (const CatalogStar& t : all)
        if (std::abs(t.sky.dec - s.sky.dec) < 3e-4 && Separation(t.sky, s.sky) < 1.0 / 3600.0) {
          seen = true;
          break;
        }
      if (!seen) all.push_back(s);
    }
  }
  return all;
}

} // namespace morvik::astrometry
