#include "reduction/reduce_text.hpp"

#include <charconv>
#include <cmath>

#include "common/files.hpp"

namespace morvik::reduction {

std::string Number(double value, int decimals) {
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return "0";
  std::string text(buffer, r.ptr);
  if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
  return text;
}

TableWriter::TableWriter(std::size_t stars, TimeSystem system) : stars_(stars) {
  text_ = std::string("# ") + TimeSystemName(system) + ", then magnitude and error of each star\r\n# Stars " +
          std::to_string(stars) + "; 99.999 9.999 = not measured\r\n";
}

void TableWriter::Add(double time, const std::vector<float>& mag, const std::vector<float>& err) {
  text_ += Number(time, 7);
  for (std::size_t i = 0; i < stars_; ++i) {
    if (i >= mag.size() || !std::isfinite(mag[i]) || !std::isfinite(err[i])) {
      text_ += " 99.999 9.999";
      continue;
    }
    text_ += ' ';
    text_ += Number(mag[i], 4);
    text_ += ' ';
    text_ += Number(err[i], 4);
  }
  text_ += "\r\n";
}

std::string CatalogText(const std::vector<Point>& positions, const std::vector<double>& magnitudes,
                        const std::vector<std::pair<double, double>>& sky,
                        const std::vector<std::string>& flags) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<cat_file>\n <stars>\n";
  for (std::size_t i = 0; i < positions.size(); ++i) {
    out += "  <s id=\"" + std::to_string(i + 1) + "\" x=\"" + Number(positions[i].x + 1.0, 3) + "\" y=\"" +
           Number(positions[i].y + 1.0, 3) + "\" m=\"" + Number(magnitudes[i], 3) + "\"";
    if (i < sky.size()) out += " ra=\"" + Number(sky[i].first, 6) + "\" dec=\"" + Number(sky[i].second, 6) + "\"";
    if (i < flags.size() && !flags[i].empty()) out += " flags=\"" + flags[i] + "\"";
    out += "/>\n";
  }
  out += " </stars>\n</cat_file>\n";
  return out;
}

namespace {

std::string ApertureText(const ReduceSettings& s) {
  if (s.aperture) return "radius " + Number(*s.aperture, 2) + " px";
  std::string out;
  for (double f : s.apertureFactors)
    out += (out.empty() ? "" : ", ") + Number(f, 2);
  return out + " x FWHM of each frame, the best kept per star";
}

// Gain, read noise, saturation level, the radii measured, cosmic and hot pixels.
std::string FrameDetails(const FrameReport& f) {
  std::string out = Number(f.gain, 3) + (f.gainAssumed ? " (assumed)" : "") + " | ";
  out += (f.readNoise > 0 ? Number(f.readNoise, 2) : std::string("unknown")) + " | ";
  out += (f.saturation > 0 ? Number(f.saturation, 1) + " (" + f.saturationSource + ")" : std::string("none")) + " | ";
  std::string radii;
  for (double r : f.radii)
    radii += (radii.empty() ? "" : " ") + Number(r, 2);
  return out + radii + " | " + std::to_string(f.cosmic) + " | " + std::to_string(f.hot);
}

// Per star: the aperture kept, the frames lost by reason, the flags.
std::string StarsText(const ReduceResult& r) {
  if (r.starReports.empty()) return {};
  std::string out = "\n# star | aperture | frames lost: edge, saturated, masked pixel, no sky, no flux | flags\n";
  for (std::size_t i = 0; i < r.starReports.size(); ++i) {
    const StarReport& s = r.starReports[i];
    const auto k = static_cast<std::size_t>(s.aperture);
    out +=
        std::to_string(i + 1) + " | " + (k < r.apertureFactors.size() ? Number(r.apertureFactors[k], 2) : "-") + " | ";
    for (std::size_t reason = 1; reason < s.lost.size(); ++reason)
      out += (reason > 1 ? " " : "") + std::to_string(s.lost[reason]);
    out += " | " + (s.flags.empty() ? std::string("-") : s.flags) + "\n";
  }
  return out;
}

} // namespace

std::string ReportText(const ReduceSettings& s, const ReduceResult& r) {
  std::string out = "Reduction of " + std::to_string(s.frames.size()) + " frames into " + NameOf(s.out) + "\n";
  out += "Time: " + std::string(TimeSystemName(s.system)) + "\n";
  if (s.system != TimeSystem::Utc) out += "Target: RA " + Number(r.ra, 5) + " deg, Dec " + Number(r.dec, 5) + " deg\n";
  out += "Reference frame: " + r.reference + "\n";
  if (const std::string line = SkyReportLine(r.sky); !line.empty()) out += line + "\n";
  out += TychoReportText(r.sky);
  out += "Stars in the catalog: " + std::to_string(r.stars) + "; rows: " + std::to_string(r.rows) + "\n";
  out += "Magnitudes: -2.5 log10(flux / exposure) + " + Number(s.zeroPoint, 3) + "\n";
  out += "Aperture: " + ApertureText(s) + "\n";
  out += "Cosmic-ray repair: " + std::string(s.cosmic ? "on" : "off") + "\n";
  out += "Saturation: " +
         (s.saturation ? Number(*s.saturation, 1) + " ADU" : std::string("SATURATE, else the camera's ceiling")) +
         (s.linearity != 1.0 ? ", linear to " + Number(s.linearity, 3) + " of it" : std::string()) + "\n";
  if (s.minSnr > 0) out += "Minimum S/N: " + Number(s.minSnr, 2) + "\n";
  if (!s.bias.empty()) out += "Bias: " + s.bias + "\n";
  if (!s.dark.empty()) out += "Dark: " + s.dark + (r.darkNote.empty() ? "" : " (" + r.darkNote + ")") + "\n";
  if (!s.flat.empty()) out += "Flat: " + s.flat + "\n";
  out += "\n# file | time | exposure s | FWHM px | sky ADU | detected | matched | measured | aperture px | "
         "transform a b c d e f | rms px | time read from | gain e-/ADU | read noise e- | saturation ADU | "
         "apertures px | cosmic | hot\n";
  for (const FrameReport& f : r.frames) {
    out += f.file;
    if (!f.used) {
      out += " | skipped: " + f.reason + "\n";
      continue;
    }
    const Affine& t = f.transform;
    out += " | " + Number(f.jd, 7) + " | " + Number(f.exposure, 3) + " | " + Number(f.fwhm, 2) + " | " +
           Number(f.sky, 1) + " | " + std::to_string(f.detected) + " | " + std::to_string(f.matched) + " | " +
           std::to_string(f.measured) + " | " + Number(f.aperture, 2) + " | " + Number(t.a, 6) + " " + Number(t.b, 6) +
           " " + Number(t.c, 3) + " " + Number(t.d, 6) + " " + Number(t.e, 6) + " " + Number(t.f, 3) + " | " +
           Number(f.rms, 3) + " | " + f.timeSource + " | " + FrameDetails(f) + "\n";
  }
  for (const FrameReport& f : r.frames)
    if (f.used && !f.timeWarning.empty()) out += "Warning: " + f.file + ": " + f.timeWarning + "\n";
  out += StarsText(r);
  return out;
}

} // namespace morvik::reduction
