#include "common/format.hpp"

#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale>

namespace morvik {
namespace {

std::atomic<char> g_separator{'.'};

// Non-finite values never reach a message by design; should one slip through, it
// is written plainly instead of as garbage.
bool WriteNonFinite(double v, std::string& out) {
  if (std::isnan(v)) {
    out += "NAN";
    return true;
  }
  if (std::isinf(v)) {
    out += v < 0 ? "-INF" : "INF";
    return true;
  }
  return false;
}

void UseSeparator(std::string& text, std::size_t from, char separator) {
  if (separator == '.') return;
  for (std::size_t i = from; i < text.size(); ++i)
    if (text[i] == '.') text[i] = separator;
}

void AppendFixed(std::string& out, double v, int decimals) {
  if (WriteNonFinite(v, out)) return;
  std::array<char, 400> buf{};
  auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, decimals);
  out.append(buf.data(), r.ptr);
}

// 15 significant digits: d.ddddddddddddddE+ddd
void AppendScientific(std::string& out, double v) {
  if (WriteNonFinite(v, out)) return;
  std::array<char, 64> buf{};
  auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::scientific, 14);
  std::string_view s(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
  auto e = s.find('e');
  out.append(s.substr(0, e));
  out += 'E';
  char sign = s[e + 1];
  std::string_view digits = s.substr(e + 2);
  out += sign;
  for (std::size_t n = digits.size(); n < 3; ++n)
    out += '0';
  out.append(digits);
}

void AppendInteger(std::string& out, long long v, int minDigits) {
  std::array<char, 32> buf{};
  unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  auto r = std::to_chars(buf.data(), buf.data() + buf.size(), mag);
  std::string_view digits(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
  if (v < 0) out += '-';
  for (std::size_t n = digits.size(); n < static_cast<std::size_t>(minDigits); ++n)
    out += '0';
  out.append(digits);
}

} // namespace

void SetMessageDecimalSeparator(char separator) { g_separator = separator; }
char MessageDecimalSeparator() { return g_separator; }

void UseEnvironmentDecimalSeparator() {
  try {
    std::locale loc("");
    SetMessageDecimalSeparator(std::use_facet<std::numpunct<char>>(loc).decimal_point());
  } catch (const std::exception&) {
    SetMessageDecimalSeparator('.');
  }
}

std::string FormatMessage(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 16 * args.size());
  const FormatArg* next = args.begin();
  const char sep = MessageDecimalSeparator();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    if (format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool left = false;
    if (format[j] == '-') {
      left = true;
      ++j;
    }
    int width = 0;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9')
      width = width * 10 + (format[j++] - '0');
    int precision = -1;
    if (j < format.size() && format[j] == '.') {
      ++j;
      precision = 0;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9')
        precision = precision * 10 + (format[j++] - '0');
    }
    if (j >= format.size() || next == args.end()) {
      out.append(format.substr(i));
      break;
    }
    const char conv = format[j];
    std::string piece;
    switch (conv) {
    case 'd':
      AppendInteger(piece, next->integer(), precision < 0 ? 1 : precision);
      break;
    case 'f':
      AppendFixed(piece, next->real(), precision < 0 ? 2 : precision);
      UseSeparator(piece, 0, sep);
      break;
    case 'e':
      AppendScientific(piece, next->real());
      UseSeparator(piece, 0, sep);
      break;
    case 's':
      piece.append(next->text());
      break;
    default:
      out.append(format.substr(i, j - i + 1));
      i = j;
      continue;
    }
    ++next;
    if (static_cast<int>(piece.size()) < width) {
      std::string pad(static_cast<std::size_t>(width) - piece.size(), ' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
    i = j;
  }
  return out;
}

std::string FormatGeneral(double value) {
  std::string out;
  if (WriteNonFinite(value, out)) return out;
  std::array<char, 64> buf{};
  auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::general, 15);
  std::string_view s(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
  auto e = s.find('e');
  if (e == std::string_view::npos) {
    out.assign(s);
  } else {
    out.assign(s.substr(0, e));
    out += 'E';
    std::string_view exp = s.substr(e + 1);
    if (!exp.empty() && exp.front() == '-') out += '-';
    if (!exp.empty() && (exp.front() == '-' || exp.front() == '+')) exp.remove_prefix(1);
    while (exp.size() > 1 && exp.front() == '0')
      exp.remove_prefix(1);
    out.append(exp);
  }
  UseSeparator(out, 0, MessageDecimalSeparator());
  return out;
}

std::string FormatFixed(double value, int decimals, int width) {
  std::string out;
  AppendFixed(out, value, decimals);
  if (static_cast<int>(out.size()) < width) out.insert(0, static_cast<std::size_t>(width) - out.size(), ' ');
  return out;
}

std::string FormatShortest(double value) {
  std::string out;
  if (WriteNonFinite(value, out)) return out;
  std::array<char, 64> buf{};
  auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value);
  return std::string(buf.data(), r.ptr);
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

} // namespace morvik
