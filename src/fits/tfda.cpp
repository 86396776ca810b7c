#include "fits/tfda.hpp"

#include <algorithm>

#include "common/parse.hpp"

namespace morvik {
namespace {

// The value with its enclosing single quotes removed and the inner text trimmed; a
// lone quote counts as both the opening and the closing one.
std::string StripQuotes(const std::string& value) {
  if (!value.empty() && value.front() == '\'' && value.back() == '\'') {
    if (value.size() < 2) return std::string();
    return TrimSpaces(std::string_view(value).substr(1, value.size() - 2));
  }
  return value;
}

// A FITS floating value may carry a Fortran exponent letter (1.5D3); it means the
// same as E. Anything else that is not a well-formed decimal number reads as 0.
double ValueToNumber(const std::string& text) {
  std::string_view s = text;
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  if (s.empty()) return 0.0;
  if (auto v = ParseDecimal(s)) return *v;
  auto d = s.find_first_of("Dd");
  if (d != std::string_view::npos) {
    std::string withE(s);
    withE[d] = 'E';
    if (auto v = ParseDecimal(withE)) return *v;
  }
  return 0.0;
}

} // namespace

std::string TrimSpaces(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  std::size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::optional<TField> SplitCard(std::string_view card) {
  std::size_t eq = card.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view keyword = card.substr(0, eq);
  std::string_view rest = card.substr(eq + 1);
  // Quotes are deliberately not honoured: a " /" inside a quoted value cuts it.
  std::size_t slash = rest.find(" /");
  std::string_view value = rest;
  std::string_view comment;
  if (slash != std::string_view::npos) {
    value = rest.substr(0, slash);
    comment = rest.substr(slash + 1);
  }
  return TField{TrimSpaces(keyword), TrimSpaces(value), TrimSpaces(comment)};
}

void TFDA::SetCard(const std::string& keyword, const std::string& value, const std::string& comment) {
  auto it = std::find_if(Cards.begin(), Cards.end(), [&](const TField& f) { return f.Keyword == keyword; });
  if (it != Cards.end()) {
    it->Value = value;
    if (comment == "NUL")
      it->Comment.clear();
    else if (!comment.empty())
      it->Comment = comment;
    return;
  }
  Cards.push_back(TField{keyword, value, comment});
  Count = static_cast<std::int32_t>(Cards.size());
}

std::string TFDA::GetString(std::string_view keyword) const {
  for (const TField& f : Cards)
    if (f.Keyword == keyword) return StripQuotes(f.Value);
  return std::string();
}

double TFDA::GetFloat(std::string_view keyword) const {
  for (const TField& f : Cards)
    if (f.Keyword == keyword) return ValueToNumber(StripQuotes(f.Value));
  return 0.0;
}

void TFDA::Clear() {
  Cards.clear();
  Count = 0;
}

} // namespace morvik
