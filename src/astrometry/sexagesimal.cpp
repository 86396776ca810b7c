#include "astrometry/sexagesimal.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace morvik::astrometry {

namespace {

std::string Trimmed(const std::string& s) {
  const auto a = s.find_first_not_of(" \t\r\n'\"");
  if (a == std::string::npos) return {};
  const auto b = s.find_last_not_of(" \t\r\n'\"");
  return s.substr(a, b - a + 1);
}

bool HasSeparators(const std::string& t) { return t.find_first_of(" :hdm") != std::string::npos; }

// Sign and up to three parts; nullopt on anything else.
std::optional<double> Parts(std::string text) {
  for (char& c : text)
    if (c == ':' || c == 'h' || c == 'd' || c == 'm' || c == 's' || c == '\'' || c == '"') c = ' ';
  bool negative = false;
  std::vector<double> parts;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && text[pos] == ' ')
      ++pos;
    if (pos >= text.size()) break;
    std::size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    std::string token = text.substr(pos, end - pos);
    if (parts.empty() && (token[0] == '-' || token[0] == '+')) {
      negative = token[0] == '-';
      token.erase(0, 1);
      if (token.empty()) {
        pos = end;
        continue;
      }
    }
    double v = 0;
    auto [p, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
    if (ec != std::errc() || p != token.data() + token.size() || v < 0) return std::nullopt;
    // Minutes and seconds stay below 60.
    if (!parts.empty() && v >= 60) return std::nullopt;
    parts.push_back(v);
    pos = end;
  }
  if (parts.empty() || parts.size() > 3) return std::nullopt;
  double value = 0, unit = 1;
  for (double p : parts) {
    value += p / unit;
    unit *= 60;
  }
  return negative ? -value : value;
}

std::string Sexagesimal(double value, int secondsDecimals, bool sign) {
  const bool negative = value < 0;
  const double scale = std::pow(10.0, secondsDecimals);
  long long ticks = std::llround(std::abs(value) * 3600.0 * scale);
  const long long perMinute = static_cast<long long>(60 * scale);
  const long long whole = ticks / (60 * perMinute);
  ticks -= whole * 60 * perMinute;
  const long long minutes = ticks / perMinute;
  const double seconds = static_cast<double>(ticks - minutes * perMinute) / scale;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s%02lld:%02lld:%0*.*f", sign ? (negative ? "-" : "+") : "", whole, minutes,
                secondsDecimals + 3, secondsDecimals, seconds);
  return buffer;
}

} // namespace

std::optional<double> ParseRa(const std::string& raw) {
  const std::string text = Trimmed(raw);
  auto v = Parts(text);
  if (!v) return std::nullopt;
  const double degrees = HasSeparators(text) ? *v * 15.0 : *v;
  if (!std::isfinite(degrees) || degrees < 0 || degrees >= 360.0) return std::nullopt;
  return degrees;
}

std::optional<double> ParseDec(const std::string& raw) {
  auto v = Parts(Trimmed(raw));
  if (!v || !std::isfinite(*v) || std::abs(*v) > 90.0) return std::nullopt;
  return v;
}

std::string FormatRa(double degrees) {
  double h = std::fmod(degrees, 360.0) / 15.0;
  if (h < 0) h += 24.0;
  std::string s = Sexagesimal(h, 2, false);
  return s.rfind("24:", 0) == 0 ? "00" + s.substr(2) : s;
}

std::string FormatDec(double degrees) { return Sexagesimal(degrees, 1, true); }

} // namespace morvik::astrometry
