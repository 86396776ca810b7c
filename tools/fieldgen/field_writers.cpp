#include "field_writers.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

namespace fieldgen {
namespace {

constexpr std::size_t kFitsBlock = 2880;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool WriteAll(const std::string& path, const std::string& content) {
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  if (!content.empty() && std::fwrite(content.data(), 1, content.size(), f.get()) != content.size()) return false;
  return std::fclose(f.release()) == 0;
}

// One 80-character header card; numbers right-aligned in columns 11-30.
std::string Card(const std::string& key, const std::string& value, const std::string& comment, bool text = false) {
  std::string c = key;
  c.resize(8, ' ');
  c += "= ";
  if (text) {
    std::string v = "'" + value;
    while (v.size() < 9)
      v += ' ';
    v += "'";
    c += v;
    while (c.size() < 30)
      c += ' ';
  } else {
    c += std::string(value.size() < 20 ? 20 - value.size() : 0, ' ') + value;
  }
  if (!comment.empty()) c += " / " + comment;
  c.resize(80, ' ');
  return c;
}

std::string Plain(const std::string& key, const std::string& text) {
  std::string c = key;
  c.resize(8, ' ');
  c += text;
  c.resize(80, ' ');
  return c;
}

} // namespace

void AppendFixed(std::string& out, double v, int decimals) {
  static constexpr long long kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  long long scale = kScale[decimals];
  long long r = std::llround(std::fabs(v) * static_cast<double>(scale));
  if (v < 0 && r != 0) out += '-';
  long long whole = r / scale, part = r % scale;
  char buf[32];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole > 0);
  while (n > 0)
    out += buf[--n];
  if (decimals > 0) {
    out += '.';
    for (int d = decimals - 1; d >= 0; --d) {
      buf[d] = static_cast<char>('0' + part % 10);
      part /= 10;
    }
    out.append(buf, static_cast<std::size_t>(decimals));
  }
}

bool WriteFrame(const Field& field, std::uint64_t seed, const std::string& path) {
  const int w = field.width, h = field.height;
  constexpr double sky = 1000.0, gain = 2.0, readNoise = 6.0;
  constexpr double beta = 3.0, fwhm = 3.4;
  const double alpha = fwhm / (2.0 * std::sqrt(std::pow(2.0, 1.0 / beta) - 1.0));
  std::vector<double> img(static_cast<std::size_t>(w) * h);
  // A gentle gradient, as from moonlight or vignetting.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img[static_cast<std::size_t>(y) * w + x] = sky + 40.0 * x / w + 25.0 * y / h;
  for (const Star& s : field.stars) {
    double flux = 5.0e5 * std::pow(10.0, -0.4 * (s.m - 10.0));
    double peak = flux * (beta - 1.0) / (std::numbers::pi * alpha * alpha);
    // Out to where the profile falls below a tenth of a count.
    double reach = alpha * std::sqrt(std::pow(std::max(peak / 0.1, 1.0), 1.0 / beta) - 1.0);
    int r = static_cast<int>(std::min(30.0, std::ceil(reach)));
    int cx = static_cast<int>(std::lround(s.x)) - 1, cy = static_cast<int>(std::lround(s.y)) - 1;
    for (int y = std::max(0, cy - r); y <= std::min(h - 1, cy + r); ++y)
      for (int x = std::max(0, cx - r); x <= std::min(w - 1, cx + r); ++x) {
        double dx = x + 1 - s.x, dy = y + 1 - s.y;
        double q = 1.0 + (dx * dx + dy * dy) / (alpha * alpha);
        img[static_cast<std::size_t>(y) * w + x] += peak / (q * q * q);
      }
  }
  Rng rng(seed ^ 0xF17EF17EULL);
  std::string out;
  out += Card("SIMPLE", "T", "file conforms to FITS standard");
  out += Card("BITPIX", "16", "number of bits per data pixel");
  out += Card("NAXIS", "2", "number of data axes");
  out += Card("NAXIS1", std::to_string(w), "length of data axis 1");
  out += Card("NAXIS2", std::to_string(h), "length of data axis 2");
  out += Card("BZERO", "32768", "offset data range to that of unsigned short");
  out += Card("BSCALE", "1", "default scaling factor");
  out += Card("OBJECT", "Synthetic field", "", true);
  out += Card("DATE-OBS", "2023-09-27T19:12:00", "start of the reference exposure", true);
  out += Card("EXPTIME", "60.", "exposure time, seconds");
  out += Card("GAIN", "2.", "electrons per count");
  out += Plain("COMMENT", "Synthetic frame: sky, noise and Moffat stars.");
  out += Plain("HISTORY", "Written by morvik-fieldgen, seed " + std::to_string(seed));
  out += Plain("END", "");
  out.resize((out.size() + kFitsBlock - 1) / kFitsBlock * kFitsBlock, ' ');
  std::size_t dataStart = out.size();
  std::size_t dataBytes = static_cast<std::size_t>(w) * h * 2;
  out.resize(dataStart + (dataBytes + kFitsBlock - 1) / kFitsBlock * kFitsBlock, '\0');
  char* p = out.data() + dataStart;
  for (std::size_t i = 0; i < img.size(); ++i) {
    double v = img[i];
    v += std::sqrt(readNoise * readNoise + v / gain) * rng.Normal();
    long counts = std::lround(std::clamp(v, 0.0, 65535.0));
    auto stored = static_cast<std::uint16_t>(counts - 32768); // two's complement of counts - BZERO
    p[2 * i] = static_cast<char>(stored >> 8);
    p[2 * i + 1] = static_cast<char>(stored & 0xFF);
  }
  return WriteAll(path, out);
}

bool WriteTable(const Field& field, std::uint64_t seed, const std::string& path) {
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  Rng rng(seed ^ 0x7AB1E7AB1EULL);
  std::string line;
  line.reserve(field.stars.size() * 14 + 32);
  line = "# Synthetic photometry: JD, then magnitude and error of each star\r\n# Stars " +
         std::to_string(field.stars.size()) + ", frames " + std::to_string(field.times.size()) + "\r\n";
  const std::size_t n = field.stars.size();
  for (std::size_t r = 0; r < field.times.size(); ++r) {
    const double t = field.times[r], zp = field.zeroPoint[r], q = field.quality[r];
    AppendFixed(line, t, 5);
    for (std::size_t s = 0; s < n; ++s) {
      const Star& star = field.stars[s];
      double m = star.m + zp;
      if (star.variable >= 0) m += VariableOffset(field.variables[static_cast<std::size_t>(star.variable)], t);
      double sigma = ErrorModel(m) * q;
      double mag = m + sigma * rng.Normal();
      double err = std::clamp(sigma * (1.0 + 0.1 * rng.Normal()), 0.002, 0.999);
      bool lost = rng.Uniform() < 0.02 && static_cast<int>(s) + 1 != field.comparisonId;
      // Photometry gives up on stars below a signal-to-noise ratio of about 2.5.
      if (lost || sigma > 0.4) {
        line += " 99.999 9.999";
        continue;
      }
      line += ' ';
      AppendFixed(line, mag, 3);
      line += ' ';
      AppendFixed(line, err, 3);
    }
    line += "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), f.get()) != line.size()) return false;
    line.clear();
  }
  return std::fclose(f.release()) == 0;
}

bool WriteCatalog(const Field& field, const std::string& path) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<cat_file>\n <stars>\n";
  for (std::size_t i = 0; i < field.stars.size(); ++i) {
    const Star& s = field.stars[i];
    out += "  <s id=\"" + std::to_string(i + 1) + "\" x=\"";
    AppendFixed(out, s.x, 2);
    out += "\" y=\"";
    AppendFixed(out, s.y, 2);
    out += "\" m=\"";
    AppendFixed(out, s.m, 3);
    out += "\"/>\n";
  }
  out += " </stars>\n</cat_file>\n";
  return WriteAll(path, out);
}

bool WriteVariables(const Field& field, std::uint64_t seed, const std::string& path) {
  std::string out = "# Variables injected by morvik-fieldgen, seed " + std::to_string(seed) +
                    "\n# id type period_days amplitude_mag (peak to peak; period 0: irregular)\n";
  for (const Variable& v : field.variables) {
    out += std::to_string(v.id) + ' ' + TypeName(v.type) + ' ';
    AppendFixed(out, v.period, 6);
    out += ' ';
    AppendFixed(out, v.amplitude, 3);
    out += '\n';
  }
  out += "# a bright constant star well inside the frame, for the comparison\ncomparison " +
         std::to_string(field.comparisonId) + ' ';
  AppendFixed(out, field.stars[static_cast<std::size_t>(field.comparisonId - 1)].m, 3);
  out += '\n';
  return WriteAll(path, out);
}

} // namespace fieldgen
