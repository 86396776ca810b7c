// morvik-skyframes: frames of a real patch of sky with a known WCS.
//   morvik-skyframes --out DIR [--ra DEG --dec DEG] [--scale ARCSEC] [--size W H]
//     [--rotation DEG] [--flip] [--mirror] [--frames N] [--keep N] [--fwhm PX]
//     [--hints pixscale|pixsize|none] [--no-position] [--seed N] [--index-dir DIR]

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "astrometry/sexagesimal.hpp"
#include "sky_frame.hpp"

namespace {

double Number(const char* text) {
  double v = 0;
  const std::string s = text;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) throw std::invalid_argument(s);
  return v;
}

} // namespace

int main(int argc, char** argv) {
  skyframes::SkyOptions o;
  std::string out;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      auto next = [&]() -> const char* {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        return argv[++i];
      };
      if (a == "--out")
        out = next();
      else if (a == "--ra")
        o.centre.ra = morvik::astrometry::ParseRa(next()).value();
      else if (a == "--dec")
        o.centre.dec = morvik::astrometry::ParseDec(next()).value();
      else if (a == "--scale")
        o.scale = Number(next());
      else if (a == "--size") {
        o.width = static_cast<int>(Number(next()));
        o.height = static_cast<int>(Number(next()));
      } else if (a == "--rotation")
        o.rotation = Number(next());
      else if (a == "--flip")
        o.meridianFlip = true;
      else if (a == "--mirror")
        o.mirror = true;
      else if (a == "--frames")
        o.frames = static_cast<int>(Number(next()));
      else if (a == "--keep")
        o.keepBrightest = static_cast<int>(Number(next()));
      else if (a == "--fwhm")
        o.fwhm = Number(next());
      else if (a == "--seed")
        o.seed = static_cast<std::uint64_t>(Number(next()));
      else if (a == "--index-dir")
        o.indexDir = next();
      else if (a == "--no-position")
        o.positionHint = false;
      else if (a == "--hints") {
        const std::string h = next();
        o.hints = h == "pixsize" ? skyframes::Hints::PixelSize
                  : h == "none"  ? skyframes::Hints::None
                                 : skyframes::Hints::PixScale;
      } else
        throw std::invalid_argument("unknown option " + a);
    }
    if (out.empty()) throw std::invalid_argument("--out DIR is required");
    if (o.width < 16 || o.height < 16 || o.scale <= 0 || o.frames < 1) throw std::invalid_argument("bad size");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morvik-skyframes: %s\n", e.what());
    return 2;
  }
  try {
    const double radius = std::hypot(o.width, o.height) * o.scale / 3600.0 * 0.6;
    const auto catalogue = morvik::astrometry::ReadIndexFolder(o.indexDir, o.centre, radius);
    const auto sky = skyframes::MakeSky(o, catalogue);
    std::filesystem::create_directories(out);
    std::string message;
    if (!skyframes::WriteSkyFrames(o, sky, out, message)) {
      std::fprintf(stderr, "morvik-skyframes: %s\n", message.c_str());
      return 1;
    }
    int tycho = 0;
    for (const auto& s : sky.stars)
      tycho += s.catalogue ? 1 : 0;
    std::printf("%d frames, %zu stars (%d from the catalogue)\n", o.frames, sky.stars.size(), tycho);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morvik-skyframes: %s\n", e.what());
    return 1;
  }
  return 0;
}
