#include "series_writers.hpp"

#include <fitsio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "field_writers.hpp"
#include "series_render.hpp"

namespace fieldgen {
namespace {

constexpr int kZoneMinutes = -7 * 60; // the observer's clock runs 7 h behind UTC

// Proleptic Gregorian date of a day count from 1970-01-01 (H. Hinnant's algorithm).
void CivilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// Writes the keywords of the frame's time convention, and only those.
void WriteTimeKeys(fitsfile* fp, const SeriesFrame& f, int& status) {
  std::string utc = FormatUtc(f.startMs);
  switch (f.convention) {
  case TimeConvention::DateObs:
    fits_write_key_str(fp, "DATE-OBS", utc.c_str(), "UTC start of the exposure", &status);
    break;
  case TimeConvention::DateTimeObs:
    fits_write_key_str(fp, "DATE-OBS", utc.substr(0, 10).c_str(), "UTC date of the start", &status);
    fits_write_key_str(fp, "TIME-OBS", utc.substr(11).c_str(), "UTC start of the exposure", &status);
    break;
  case TimeConvention::DateObsZone: {
    std::string local = FormatUtc(f.startMs, kZoneMinutes) + "-0700";
    fits_write_key_str(fp, "DATE-OBS", local.c_str(), "local start of the exposure", &status);
    break;
  }
  case TimeConvention::MjdObs:
    fits_write_key_fixdbl(fp, "MJD-OBS", JulianDateOfMs(f.startMs) - 2400000.5, 9, "MJD at start (UTC)", &status);
    break;
  case TimeConvention::JdStart:
    fits_write_key_fixdbl(fp, "JD", JulianDateOfMs(f.startMs), 8, "Julian Date at start (UTC)", &status);
    break;
  case TimeConvention::JuldatMid:
    fits_write_key_fixdbl(fp, "JULDAT", f.jdMid, 8, "Julian Date at mid-exposure (UTC)", &status);
    break;
  }
}

bool WriteFits(const Series& s, int k, const std::vector<std::uint16_t>& pixels, const std::string& path,
               std::string& error) {
  const SeriesFrame& f = s.frames[static_cast<std::size_t>(k)];
  int status = 0;
  fitsfile* fp = nullptr;
  std::string target = "!" + path; // '!': replace an earlier file
  fits_create_file(&fp, target.c_str(), &status);
  long axes[2] = {s.width, s.height};
  fits_create_img(fp, USHORT_IMG, 2, axes, &status);
  fits_write_key_str(fp, "OBJECT", "Synthetic field", "", &status);
  fits_write_key_str(fp, "IMAGETYP", "Light Frame", "", &status);
  fits_write_key_str(fp, "FILTER", "V", "", &status);
  fits_write_key_fixdbl(fp, "EXPTIME", f.exptime, 2, "exposure time, seconds", &status);
  fits_write_key_fixdbl(fp, "GAIN", s.gain, 3, "electrons per ADU", &status);
  if (s.camera.saturateCard)
    fits_write_key_lng(fp, "SATURATE", static_cast<long>(s.saturate), "counts where the camera saturates", &status);
  fits_write_key_lng(fp, "XBINNING", 1, "", &status);
  fits_write_key_lng(fp, "YBINNING", 1, "", &status);
  fits_write_key_str(fp, "RA", "20 12 07.32", "field centre, hours", &status);
  fits_write_key_str(fp, "DEC", "+38 21 18.2", "field centre, degrees", &status);
  WriteTimeKeys(fp, f, status);
  std::string history = "morvik-fieldgen series frame " + std::to_string(k + 1);
  fits_write_history(fp, history.c_str(), &status);
  fits_write_img(fp, TUSHORT, 1, static_cast<LONGLONG>(pixels.size()), const_cast<std::uint16_t*>(pixels.data()),
                 &status);
  int closeStatus = 0;
  if (fp != nullptr) fits_close_file(fp, &closeStatus);
  if (status == 0) status = closeStatus;
  if (status == 0) return true;
  char text[FLEN_STATUS] = "";
  fits_get_errstatus(status, text);
  error = path + ": " + text;
  return false;
}

// The camera model's part of the truth file, after the classic lines.
void AppendCameraTruth(std::string& out, const Series& s, const std::vector<FrameTruth>& truths) {
  out += "# Camera model: each pixel holds the profile integrated over its square (FWHM above is the\n"
         "#   profile's, before that), Poisson photons, read noise and a pedestal; then cosmic rays\n"
         "#   and hot pixels; then the ADC clips at CEILING. SKY excludes the pedestal.\n"
         "# camera BITS CEILING GAIN READ_NOISE PEDESTAL SATURATE_CARD\n"
         "# flux INDEX ID X Y ADU PEAK SATURATED\n"
         "#   every star on every frame: X, Y its centre; ADU its true total (before noise and\n"
         "#   clipping); PEAK the highest noise-free pixel within 1.5 px of its centre (sky,\n"
         "#   pedestal and neighbours included); SATURATED 1 when such a pixel reached CEILING\n"
         "# hot X Y RATE         a sensor hot pixel (detector position), RATE ADU per second\n"
         "# cosmic INDEX X Y ADU a cosmic-ray pixel of frame INDEX\n"
         "# neighbour ID OF      star ID is 50 times brighter than star OF and 10 px from it\n";
  out += "camera " + std::to_string(s.camera.bits) + ' ';
  AppendFixed(out, s.camera.Ceiling(), 0);
  for (double v : {s.gain, s.readNoise, s.pedestal}) {
    out += ' ';
    AppendFixed(out, v, 3);
  }
  out += s.camera.saturateCard ? " yes\n" : " no\n";
  for (std::size_t k = 0; k < s.frames.size() && k < truths.size(); ++k) {
    const SeriesFrame& f = s.frames[k];
    const FrameTruth& t = truths[k];
    for (std::size_t i = 0; i < f.mags.size() && i < t.peak.size(); ++i) {
      double x, y;
      StarOnFrame(s, static_cast<int>(k), static_cast<int>(i) + 1, x, y);
      double adu = std::pow(10.0, -0.4 * (f.mags[i] - s.zeroPoint)) * f.exptime * f.transparency / s.gain;
      out += "flux " + std::to_string(k + 1) + ' ' + std::to_string(i + 1);
      for (auto [v, digits] : {std::pair{x, 3}, {y, 3}, {adu, 2}, {t.peak[i], 1}}) {
        out += ' ';
        AppendFixed(out, v, digits);
      }
      out += t.saturated[i] ? " 1\n" : " 0\n";
    }
  }
  for (const HotPixel& p : s.hotPixels) {
    out += "hot " + std::to_string(p.x) + ' ' + std::to_string(p.y) + ' ';
    AppendFixed(out, p.rate, 3);
    out += '\n';
  }
  for (std::size_t k = 0; k < s.frames.size(); ++k)
    for (const CosmicHit& c : s.frames[k].cosmics) {
      out += "cosmic " + std::to_string(k + 1) + ' ' + std::to_string(c.x) + ' ' + std::to_string(c.y) + ' ';
      AppendFixed(out, c.adu, 2);
      out += '\n';
    }
  if (s.neighbourId > 0)
    out += "neighbour " + std::to_string(s.neighbourId) + ' ' + std::to_string(s.neighbourOf) + '\n';
}

} // namespace

std::string FormatUtc(long long ms, int zoneMinutes) {
  ms += static_cast<long long>(zoneMinutes) * 60000;
  long long days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
  auto rest = static_cast<int>(ms - days * 86400000); // 0 ... 86399999
  int year, month, day;
  CivilFromDays(days, year, month, day);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", year, month, day, rest / 3600000,
                rest / 60000 % 60, rest / 1000 % 60, rest % 1000);
  return buf;
}

bool WriteSeriesFrames(const Series& series, std::uint64_t seed, const std::string& dir, std::string& error,
                       std::vector<FrameTruth>* truths) {
  const int n = static_cast<int>(series.frames.size());
  if (truths != nullptr) truths->assign(static_cast<std::size_t>(n), FrameTruth{});
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::mutex fitsLock; // one cfitsio call at a time: the library need not be reentrant
  auto work = [&] {
    for (int k = next++; k < n && !failed; k = next++) {
      std::vector<std::uint16_t> pixels =
          series.camera.Real()
              ? RenderCameraFrame(series, k, seed,
                                  truths != nullptr ? &(*truths)[static_cast<std::size_t>(k)] : nullptr)
              : RenderFrame(series, k, seed);
      std::lock_guard<std::mutex> hold(fitsLock);
      std::string message;
      if (!WriteFits(series, k, pixels, dir + "/" + series.frames[static_cast<std::size_t>(k)].file, message)) {
        if (!failed.exchange(true)) error = message;
      }
    }
  };
  unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  std::vector<std::thread> workers;
  for (unsigned i = 1; i < cores; ++i)
    workers.emplace_back(work);
  work();
  for (std::thread& t : workers)
    t.join();
  return !failed;
}

bool WriteSeriesTruth(const Series& s, const std::string& path, const std::vector<FrameTruth>& truths) {
  std::string out = "# morvik frame-series truth 1\n"
                    "# A star of magnitude m gives 10^(-0.4 (m - zero_point)) * EXPTIME * TRANSPARENCY electrons\n"
                    "# in total (divide by gain for ADU); a Moffat profile (beta 3) of the frame's FWHM.\n"
                    "# Pixel coordinates start at 0 at the centre of the first pixel (FITS pixel = value + 1).\n"
                    "# frame INDEX FILE JD_MID EXPTIME A B C D E F FWHM SKY TRANSPARENCY TIME_CONVENTION\n"
                    "#   JD_MID: UTC Julian Date at mid-exposure; EXPTIME seconds; star (x, y) on frame 1\n"
                    "#   lands at x' = A x + B y + C, y' = D x + E y + F; FWHM pixels; SKY ADU per pixel at\n"
                    "#   the frame's centre (the sky grows towards one side); frames also hold hot pixels\n"
                    "#   (the same on every frame) and cosmic-ray hits.\n"
                    "#   TIME_CONVENTION: the header's time keywords, each frame only its own: date-obs\n"
                    "#   (UTC start), date+time-obs (DATE-OBS date, TIME-OBS UTC start), date-obs-tz\n"
                    "#   (local start with its offset, '...-0700': UTC = local + 7 h), mjd-obs (start),\n"
                    "#   jd-start (keyword JD at the start), juldat-mid (keyword JULDAT at mid-exposure).\n"
                    "# star ID X Y MAG KIND   (X, Y on frame 1; MAG the mean magnitude)\n"
                    "# mag INDEX ID MAG       (true magnitude on frame INDEX of the stars that vary)\n";
  out += "zero_point ";
  AppendFixed(out, s.zeroPoint, 3);
  out += "\ngain ";
  AppendFixed(out, s.gain, 3);
  out += '\n';
  for (std::size_t k = 0; k < s.frames.size(); ++k) {
    const SeriesFrame& f = s.frames[k];
    out += "frame " + std::to_string(k + 1) + ' ' + f.file + ' ';
    AppendFixed(out, f.jdMid, 8);
    out += ' ';
    AppendFixed(out, f.exptime, 2);
    for (double v : {f.a, f.b, f.c, f.d, f.e, f.f}) {
      out += ' ';
      AppendFixed(out, v, 8);
    }
    out += ' ';
    AppendFixed(out, f.fwhm, 3);
    out += ' ';
    AppendFixed(out, f.sky, 2);
    out += ' ';
    AppendFixed(out, f.transparency, 4);
    out += ' ';
    out += ConventionName(f.convention);
    out += '\n';
  }
  for (std::size_t i = 0; i < s.mags.size(); ++i) {
    const Star& star = s.field.stars[i];
    out += "star " + std::to_string(i + 1) + ' ';
    AppendFixed(out, star.x - 1.0, 3);
    out += ' ';
    AppendFixed(out, star.y - 1.0, 3);
    out += ' ';
    AppendFixed(out, s.mags[i], 4);
    out += ' ' + s.kinds[i] + '\n';
  }
  for (std::size_t k = 0; k < s.frames.size(); ++k)
    for (std::size_t i = 0; i < s.mags.size(); ++i) {
      if (s.field.stars[i].variable < 0) continue;
      out += "mag " + std::to_string(k + 1) + ' ' + std::to_string(i + 1) + ' ';
      AppendFixed(out, s.frames[k].mags[i], 4);
      out += '\n';
    }
  if (s.camera.Real()) AppendCameraTruth(out, s, truths);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

} // namespace fieldgen
