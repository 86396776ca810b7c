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
                        const std::vector<std::pair<double, double>>& sky) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<cat_file>\n <stars>\n";
  for (std::size_t i = 0; i < positions.size(); ++i) {
    out += "  <s id=\"" + std::to_string(i + 1) + "\" x=\"" + Number(positions[i].x + 1.0, 3) + "\" y=\"" +
           Number(positions[i].y + 1.0, 3) + "\" m=\"" + Number(magnitudes[i], 3) + "\"";
    if (i < sky.size()) out += " ra=\"" + Number(sky[i].first, 6) + "\" dec=\"" + Number(sky[i].second, 6) + "\"";
    out += "/>\n";
  }
  out += " </stars>\n</cat_file>\n";
  return out;
}

std::string ReportText(const ReduceSettings& s, const ReduceResult& r) {
  std::string out = "Reduction of " + std::to_string(s.frames.size()) + " frames into " + NameOf(s.out) + "\n";
  out += "Time: " + std::string(TimeSystemName(s.system)) + "\n";
  if (s.system != TimeSystem::Utc) out += "Target: RA " + Number(r.ra, 5) + " deg, Dec " + Number(r.dec, 5) + " deg\n";
  out += "Reference frame: " + r.reference + "\n";
  if (const std::string line = SkyReportLine(r.sky); !line.empty()) out += line + "\n";
  out += TychoReportText(r.sky);
  out += "Stars in the catalog: " + std::to_string(r.stars) + "; rows: " + std::to_string(r.rows) + "\n";
  out += "Magnitudes: -2.5 log10(flux / exposure) + " + Number(s.zeroPoint, 3) + "\n";
  out += "Aperture: " +
         (s.aperture ? "radius " + Number(*s.aperture, 2) + " px" : std::string("1.5 x FWHM of each frame")) + "\n";
  if (!s.bias.empty()) out += "Bias: " + s.bias + "\n";
  if (!s.dark.empty()) out += "Dark: " + s.dark + " (scaled by exposure time)\n";
  if (!s.flat.empty()) out += "Flat: " + s.flat + "\n";
  out += "\n# file | time | exposure s | FWHM px | sky ADU | detected | matched | measured | aperture px | "
         "transform a b c d e f | rms px | time read from\n";
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
           Number(f.rms, 3) + " | " + f.timeSource + "\n";
  }
  return out;
}

} // namespace morvik::reduction
