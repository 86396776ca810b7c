#pragma once
// Number formats of the program. Messages use the user's decimal separator; files
// always use a point. Everything here is independent of the C locale, which the
// desktop toolkit changes at start-up.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace morvik {

// Decimal separator of messages; '.' until the program sets the user's one.
void SetMessageDecimalSeparator(char separator);
char MessageDecimalSeparator();
// Takes the separator from the environment's locale (LC_ALL / LC_NUMERIC / LANG).
void UseEnvironmentDecimalSeparator();

// One argument of FormatMessage.
class FormatArg {
public:
  enum class Type { Integer, Real, Text };
  template <typename T>
  requires std::is_integral_v<T> FormatArg(T v) : type_(Type::Integer), i_(static_cast<long long>(v)) {}
  FormatArg(double v) : type_(Type::Real), d_(v) {}
  FormatArg(long double v) : type_(Type::Real), d_(static_cast<double>(v)) {}
  FormatArg(std::string_view v) : type_(Type::Text), s_(v) {}
  FormatArg(const char* v) : type_(Type::Text), s_(v) {}
  FormatArg(const std::string& v) : type_(Type::Text), s_(v) {}

  Type type() const { return type_; }
  long long integer() const { return type_ == Type::Real ? static_cast<long long>(d_) : i_; }
  double real() const { return type_ == Type::Integer ? static_cast<double>(i_) : d_; }
  std::string_view text() const { return s_; }

private:
  Type type_;
  long long i_ = 0;
  double d_ = 0.0;
  std::string_view s_;
};

// printf-like formatting with the program's meanings:
//   %d  integer; %.3d at least three digits, zero-padded; a width pads with blanks
//   %f  fixed notation with two decimals; %.4f with four
//   %e  15 significant digits, 'E', a sign and at least three exponent digits
//   %s  text; %% a percent sign
// Real numbers use the message decimal separator.
std::string FormatMessage(std::string_view format, std::initializer_list<FormatArg> args);

// The shortest general form with up to 15 significant digits, message separator
// (0.1 -> "0.1", 1500 -> "1500", 1e-7 -> "1E-7", 2.5e20 -> "2.5E20").
std::string FormatGeneral(double value);

// Files: fixed notation with a point, padded on the left with blanks to width.
std::string FormatFixed(double value, int decimals, int width = 0);

// Machine-readable outputs: the shortest text that reads back to the same double.
std::string FormatShortest(double value);

// One CSV field: quoted, with doubled quotes, when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text);

} // namespace morvik
