// morvik-fieldgen: writes a synthetic star field for trying and testing the program.
//   <out>.fit            the reference frame (16-bit, BZERO 32768)
//   <out>.dat            the photometry table
//   <out>.xml            the star catalog
//   <out>_variables.txt  the injected variables and a comparison star
// With --series DIR/PREFIX instead: a series of FITS frames of one field,
//   DIR/PREFIX_0001.fits ...  and DIR/PREFIX_truth.txt (what each frame holds).

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "common/parse.hpp"
#include "field_model.hpp"
#include "field_truth.hpp"
#include "field_writers.hpp"
#include "series_writers.hpp"

namespace {

constexpr const char* kUsage =
    "usage: morvik-fieldgen [--out PATH] [--stars N] [--frames N] [--nights N] [--width W] [--height H]\n"
    "                       [--seed S] [--no-image]\n"
    "                       [--truth-variables N] [--outliers] [--drift MAG] [--ensemble-variable]\n"
    "       morvik-fieldgen --series DIR/PREFIX [--stars N] [--frames M] [--nights N] [--width W]\n"
    "                       [--height H] [--seed S]\n"
    "                       [--fwhm MIN MAX] [--bits 12|16] [--no-saturate-card] [--quiet-sky]\n"
    "                       [--bright-neighbour] [--no-defects]\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "morvik-fieldgen: %s\n%s", message.c_str(), kUsage);
  return 2;
}

bool ReadCount(std::string_view text, int lo, int hi, int& value) {
  auto v = morvik::ParseInteger(text);
  if (!v || *v < lo || *v > hi) return false;
  value = *v;
  return true;
}

// A series of frames: 60 stars on 20 frames of 256 x 256 in one night unless told.
int WriteSeries(fieldgen::FieldOptions o, const fieldgen::CameraOptions& camera, const std::string& target,
                bool starsGiven, bool framesGiven, bool nightsGiven) {
  if (!starsGiven) o.stars = 60;
  if (!framesGiven) o.frames = 20;
  if (!nightsGiven) o.nights = 1;
  if (!o.sizeGiven) o.width = o.height = 256;
  std::filesystem::path base(target);
  std::string dir = base.parent_path().empty() ? std::string(".") : base.parent_path().string();
  std::string prefix = base.filename().string();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);

  fieldgen::Series series = fieldgen::MakeSeries(o, prefix, camera);
  std::string error;
  std::vector<fieldgen::FrameTruth> truths;
  if (!fieldgen::WriteSeriesFrames(series, o.seed, dir, error, &truths)) {
    std::fprintf(stderr, "morvik-fieldgen: cannot write %s\n", error.c_str());
    return 1;
  }
  std::string truth = dir + "/" + prefix + "_truth.txt";
  if (!fieldgen::WriteSeriesTruth(series, truth, truths)) {
    std::fprintf(stderr, "morvik-fieldgen: cannot write %s: %s\n", truth.c_str(), std::strerror(errno));
    return 1;
  }
  std::printf("Series of %zu frames %dx%d, %zu stars, written to %s/%s_*\n", series.frames.size(), series.width,
              series.height, series.mags.size(), dir.c_str(), prefix.c_str());
  return 0;
}

// The camera options of a series; false with a message when one is malformed.
// Returns true when argv[i] was a camera option (i moved past its values).
bool ReadCameraOption(int argc, char** argv, int& i, fieldgen::CameraOptions& c, bool& given, std::string& error) {
  std::string_view a = argv[i];
  const std::pair<const char*, bool*> flags[] = {{"--no-saturate-card", &c.saturateCard},
                                                 {"--quiet-sky", &c.quietSky},
                                                 {"--bright-neighbour", &c.brightNeighbour},
                                                 {"--no-defects", &c.defects}};
  for (auto [name, flag] : flags)
    if (a == name) {
      *flag = !a.starts_with("--no-");
      given = true;
      return true;
    }
  if (a == "--bits") {
    given = true;
    if (i + 1 >= argc || (std::string_view(argv[i + 1]) != "12" && std::string_view(argv[i + 1]) != "16")) {
      error = "--bits must be 12 or 16";
      return true;
    }
    c.bits = std::string_view(argv[++i]) == "12" ? 12 : 16;
    return true;
  }
  if (a == "--fwhm") {
    given = true;
    const double lo = i + 1 < argc ? morvik::ParseDecimal(argv[i + 1]).value_or(-1.0) : -1.0;
    const double hi = i + 2 < argc ? morvik::ParseDecimal(argv[i + 2]).value_or(-1.0) : -1.0;
    if (lo < 0.8 || hi > 30.0 || lo > hi) {
      error = "--fwhm needs MIN MAX in pixels, 0.8 <= MIN <= MAX <= 30";
      return true;
    }
    c.fwhmMin = lo;
    c.fwhmMax = hi;
    c.fwhmGiven = true;
    i += 2;
    return true;
  }
  return false;
}

} // namespace

int main(int argc, char** argv) {
  fieldgen::FieldOptions o;
  std::string series;
  bool outGiven = false, starsGiven = false, framesGiven = false, nightsGiven = false;
  fieldgen::TruthOptions truthOptions;
  fieldgen::CameraOptions camera;
  bool cameraGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    std::string cameraError;
    if (ReadCameraOption(argc, argv, i, camera, cameraGiven, cameraError)) {
      if (!cameraError.empty()) return UsageError(cameraError);
      continue;
    }
    if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--no-image") {
      o.image = false;
      continue;
    }
    struct Numeric {
      const char* name;
      int lo, hi;
      int* value;
    };
    int seed = 0;
    const Numeric numeric[] = {
        {"--stars", 8, 65535, &o.stars}, {"--frames", 2, 100000, &o.frames}, {"--nights", 1, 30, &o.nights},
        {"--width", 64, 2200, &o.width}, {"--height", 64, 2200, &o.height},  {"--seed", 0, 2147483647, &seed},
    };
    bool known = false;
    for (const Numeric& n : numeric) {
      if (a != n.name) continue;
      known = true;
      if (i + 1 >= argc) return UsageError(std::string(n.name) + " needs a value");
      if (!ReadCount(argv[++i], n.lo, n.hi, *n.value))
        return UsageError(std::string(n.name) + " must be a whole number from " + std::to_string(n.lo) + " to " +
                          std::to_string(n.hi));
      if (n.value == &seed) o.seed = static_cast<std::uint64_t>(seed);
      if (n.value == &o.width || n.value == &o.height) o.sizeGiven = true;
      starsGiven |= n.value == &o.stars;
      framesGiven |= n.value == &o.frames;
      nightsGiven |= n.value == &o.nights;
    }
    if (known) continue;
    if (a == "--outliers" || a == "--ensemble-variable") {
      (a == "--outliers" ? truthOptions.outliers : truthOptions.ensembleVariable) = true;
      continue;
    }
    if (a == "--truth-variables") {
      if (i + 1 >= argc || !ReadCount(argv[++i], 0, 65535, truthOptions.variables))
        return UsageError("--truth-variables must be a whole number from 0 to 65535");
      continue;
    }
    if (a == "--drift") {
      auto v = i + 1 < argc ? morvik::ParseDecimal(argv[++i]) : std::nullopt;
      if (!v || std::fabs(*v) > 5.0) return UsageError("--drift needs a magnitude from -5 to 5");
      truthOptions.drift = *v;
      continue;
    }
    if (a == "--out") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return UsageError("--out needs a path");
      o.out = argv[++i];
      outGiven = true;
      continue;
    }
    if (a == "--series") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return UsageError("--series needs DIR/PREFIX");
      series = argv[++i];
      if (std::filesystem::path(series).filename().empty()) return UsageError("--series needs DIR/PREFIX");
      continue;
    }
    return UsageError("unknown option " + std::string(a));
  }

  if (!series.empty()) {
    if (outGiven || !o.image) return UsageError("--series writes frames only: no --out or --no-image with it");
    return WriteSeries(o, camera, series, starsGiven, framesGiven, nightsGiven);
  }
  if (cameraGiven) return UsageError("the camera options (--fwhm, --bits, ...) go with --series");

  // `make run` asks for sample/field before the folder exists.
  std::error_code ec;
  if (auto folder = std::filesystem::path(o.out).parent_path(); !folder.empty())
    std::filesystem::create_directories(folder, ec);

  fieldgen::Field field = fieldgen::MakeField(o);
  const bool truth = truthOptions.Any();
  const fieldgen::Truth richer = truth ? fieldgen::MakeTruth(field, truthOptions, o.seed) : fieldgen::Truth{};
  struct Output {
    bool wanted;
    std::string path;
    bool (*write)(const fieldgen::Field&, std::uint64_t, const std::string&);
  };
  const Output outputs[] = {
      {o.image, o.out + ".fit", fieldgen::WriteFrame},
      {!truth, o.out + ".dat", fieldgen::WriteTable},
      {true, o.out + ".xml",
       [](const fieldgen::Field& f, std::uint64_t, const std::string& p) { return fieldgen::WriteCatalog(f, p); }},
      {true, o.out + "_variables.txt", fieldgen::WriteVariables},
  };
  for (const Output& out : outputs) {
    if (!out.wanted) continue;
    if (!out.write(field, o.seed, out.path)) {
      std::fprintf(stderr, "morvik-fieldgen: cannot write %s: %s\n", out.path.c_str(), std::strerror(errno));
      return 1;
    }
  }
  if (truth) {
    for (const std::string& path : {o.out + ".dat", o.out + "_truth.txt"}) {
      const bool written = path.ends_with(".dat") ? fieldgen::WriteTruthTable(field, richer, o.seed, path)
                                                  : fieldgen::WriteTruth(richer, path);
      if (!written) {
        std::fprintf(stderr, "morvik-fieldgen: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
      }
    }
  }
  std::printf("Field %dx%d, %zu stars, %zu frames written to %s.*\n", field.width, field.height, field.stars.size(),
              field.times.size(), o.out.c_str());
  return 0;
}
