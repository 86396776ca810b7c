#pragma once
// FITS header cards: the keyed card list of a frame.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvik {

struct TField {
  std::string Keyword;
  std::string Value;   // string values keep their quotes here
  std::string Comment; // starts with '/' when present
};

// Only the space character is removed, from both ends.
std::string TrimSpaces(std::string_view text);

// Splits one 80-character card; nullopt when the card carries no "=".
std::optional<TField> SplitCard(std::string_view card);

class TFDA {
public:
  std::vector<TField> Cards; // in order of first appearance of each keyword
  std::int32_t Count = 0;    // always Cards.size()

  void SetCard(const std::string& keyword, const std::string& value, const std::string& comment);
  std::string GetString(std::string_view keyword) const;
  double GetFloat(std::string_view keyword) const;
  void Clear();
};

} // namespace morvik
