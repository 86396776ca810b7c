// morvik-reduce: frames of one field -> <NAME>.fts, <NAME>.dat, <NAME>.xml and
// NAME_reduction.txt, the field that File > Open and morvik-cli read.

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/files.hpp"
#include "common/parse.hpp"
#include "reduce_sky_options.hpp"
#include "reduction/frame_list.hpp"
#include "reduction/reduce.hpp"

namespace {

using morvik::reduction::ReduceSettings;

std::atomic<bool> gCancel{false};

extern "C" void OnInterrupt(int) { gCancel.store(true); }

const char* kUsage =
    "Usage: morvik-reduce FRAMES... --out DIR/NAME [options]\n"
    "Measures every star of the reference frame on every frame and writes the field\n"
    "DIR/NAME.fts, DIR/NAME.dat, DIR/NAME.xml and DIR/NAME_reduction.txt.\n"
    "A folder among FRAMES stands for its .fit, .fits, .fts, .fz and .gz files.\n"
    "Options:\n"
    "  --out DIR/NAME          where the field goes (required)\n"
    "  --bias FILE             master bias\n"
    "  --dark FILE             master dark (with --bias, its dark current is scaled by exposure time)\n"
    "  --flat FILE             master flat\n"
    "  --reference FILE        the reference frame (default: the frame with the most stars among a sample)\n"
    "  --gain E_PER_ADU        default: GAIN or EGAIN of each frame, else 1\n"
    "  --saturation ADU        default: SATURATE of each frame, else the camera's ceiling\n"
    "                          (a plateau at the frame's largest value, else the BITPIX maximum)\n"
    "  --linearity FRACTION    a star whose pixels pass this fraction of the saturation is\n"
    "                          saturated (default 1)\n"
    "  --aperture R            one aperture radius in pixels for every star\n"
    "  --apertures LIST        aperture radii in FWHM, comma-separated; the best per star is\n"
    "                          kept (default 0.75,1,1.25,1.5,2)\n"
    "  --cosmic on|off         find and repair cosmic-ray hits (default on)\n"
    "  --min-snr S             a star below this signal-to-noise ratio counts as not measured\n"
    "                          (default: none)\n"
    "  --annulus R1 R2         sky annulus radii in pixels\n"
    "  --zero-point Z          magnitude of 1 ADU/s (default 25)\n"
    "  --threshold SIGMA       detection threshold (default 3)\n"
    "  --time-keyword KEY      read the time from KEY (a JD or MJD)\n"
    "  --time-at start|middle  what that keyword marks (default start)\n"
    "  --exposure SECONDS      exposure time of every frame\n"
    "  --hjd | --bjd           heliocentric JD (UTC) or barycentric JD (TDB)\n"
    "  --ra RA --dec DEC       target position for --hjd/--bjd (default RA/DEC of the reference)\n"
    "  --threads N             worker threads (default 2)\n"
    "  --no-solve              do not plate-solve the reference frame\n"
    "  --scale LOW HIGH        image scale for the solver, arcsec/px (default PIXSCALE/SECPIX or pixel size and\n"
    "                          FOCALLEN of the reference, else unknown)\n"
    "  --solve-time S          processor time the solver may take, seconds (default 30)\n";

int Usage(const std::string& message) {
  std::cerr << "morvik-reduce: " << message << "\n" << kUsage;
  return 2;
}

std::string Clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

} // namespace

int main(int argc, char** argv) {
  // Frames of up to 32 MB come from the heap and go back to it: the next frame reuses
  // the pages instead of mapping and faulting in fresh ones.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  ReduceSettings s;
  s.sky.solve = true;
  std::vector<std::string> named; // frames and folders of frames
  std::vector<std::string> args(argv + 1, argv + argc);
  auto number = [&](std::size_t& i, std::optional<double>& into) {
    if (i + 1 >= args.size()) return false;
    into = morvik::ParseDecimal(args[++i]);
    return into.has_value();
  };
  auto text = [&](std::size_t& i, std::string& into) {
    if (i + 1 >= args.size()) return false;
    into = args[++i];
    return true;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::optional<double> value;
    bool ok = true;
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--out") {
      ok = text(i, s.out);
    } else if (a == "--bias") {
      ok = text(i, s.bias);
    } else if (a == "--dark") {
      ok = text(i, s.dark);
    } else if (a == "--flat") {
      ok = text(i, s.flat);
    } else if (a == "--reference") {
      ok = text(i, s.reference);
    } else if (a == "--gain") {
      ok = number(i, s.gain) && *s.gain > 0;
    } else if (a == "--saturation") {
      ok = number(i, s.saturation);
    } else if (a == "--linearity") {
      ok = number(i, value) && *value > 0 && *value <= 1;
      s.linearity = value.value_or(1.0);
    } else if (a == "--apertures") {
      std::string list;
      ok = text(i, list);
      s.apertureFactors.clear();
      for (std::size_t from = 0; ok && from <= list.size();) {
        const std::size_t comma = std::min(list.find(',', from), list.size());
        const auto factor = morvik::ParseDecimal(list.substr(from, comma - from));
        ok = factor && *factor > 0;
        if (ok) s.apertureFactors.push_back(*factor);
        from = comma + 1;
      }
    } else if (a == "--cosmic") {
      std::string on;
      ok = text(i, on) && (on == "on" || on == "off");
      s.cosmic = on != "off";
    } else if (a == "--min-snr") {
      ok = number(i, value) && *value > 0;
      s.minSnr = value.value_or(0.0);
    } else if (a == "--aperture") {
      ok = number(i, s.aperture) && *s.aperture > 0;
    } else if (a == "--annulus") {
      ok = number(i, s.skyInner) && number(i, s.skyOuter) && *s.skyInner > 0 && *s.skyOuter > *s.skyInner;
    } else if (a == "--zero-point") {
      ok = number(i, value);
      s.zeroPoint = value.value_or(25.0);
    } else if (a == "--threshold") {
      ok = number(i, value) && *value > 0;
      s.detectSigma = value.value_or(3.0);
    } else if (a == "--time-keyword") {
      ok = text(i, s.time.keyword);
    } else if (a == "--time-at") {
      std::string at;
      ok = text(i, at) && (at == "start" || at == "middle");
      s.time.keywordAt = at == "middle" ? morvik::reduction::TimeAt::Middle : morvik::reduction::TimeAt::Start;
    } else if (a == "--exposure") {
      ok = number(i, s.time.exposure) && *s.time.exposure >= 0;
    } else if (a == "--hjd") {
      s.system = morvik::reduction::TimeSystem::Hjd;
    } else if (a == "--bjd") {
      s.system = morvik::reduction::TimeSystem::Bjd;
    } else if (a == "--ra" || a == "--dec") {
      std::string t;
      ok = text(i, t);
      if (ok && a == "--ra") ok = (s.ra = morvik::reduction::ParseRightAscension(t)).has_value();
      if (ok && a == "--dec") ok = (s.dec = morvik::reduction::ParseDeclination(t)).has_value();
    } else if (a == "--threads") {
      ok = number(i, value) && *value >= 1;
      s.threads = static_cast<int>(value.value_or(2));
    } else if (ParseSkyOption(args, i, s.sky, ok)) {
    } else if (a.starts_with("--")) {
      return Usage("unknown option " + a);
    } else {
      named.push_back(a);
    }
    if (!ok) return Usage("missing or bad value after " + a);
  }
  if (s.out.empty()) return Usage("--out DIR/NAME is required");
  const morvik::reduction::FrameList list = morvik::reduction::ListFrames(named);
  for (const auto& note : list.notes)
    std::cerr << "morvik-reduce: " << note << '\n';
  if (!list.error.empty()) {
    std::cerr << "morvik-reduce: " << list.error << '\n';
    return 2;
  }
  s.frames = list.frames;
  if (s.frames.size() < 2) return Usage("give at least two frames (" + std::to_string(s.frames.size()) + " found)");

  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  const bool terminal = ::isatty(STDOUT_FILENO) != 0;
  const auto start = std::chrono::steady_clock::now();
  auto progress = [&](int done, int total) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = elapsed > 0 ? done / elapsed : 0;
    const double left = rate > 0 ? (total - done) / rate : 0;
    char line[160];
    std::snprintf(line, sizeof line, "frames %d / %d  %.2f frames/s  %s left", done, total, rate, Clock(left).c_str());
    if (terminal) {
      std::cout << '\r' << line << "   " << std::flush;
      if (done == total) std::cout << '\n';
    } else {
      std::cout << line << '\n' << std::flush;
    }
  };
  std::cout << "Reducing " << s.frames.size() << " frames into " << s.out << '\n' << std::flush;
  const auto result = morvik::reduction::Reduce(s, progress, gCancel);
  if (terminal && !result.frames.empty() && result.cancelled) std::cout << '\n';
  for (const auto& f : result.frames)
    if (!f.used) std::cout << "skipped " << f.file << ": " << f.reason << '\n';
  if (!result.ok) {
    std::cerr << "morvik-reduce: " << result.error << '\n';
    return 1;
  }
  if (const std::string line = morvik::reduction::SkyReportLine(result.sky); !line.empty()) std::cout << line << '\n';
  std::cout << "Reference frame: " << result.reference << '\n'
            << "Field written: " << result.stars << " stars, " << result.rows << " frames\n";
  for (const auto& path : result.written)
    std::cout << "  " << path << '\n';
  return 0;
}
