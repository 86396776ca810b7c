#include "dataset/reduction_id.hpp"

#include <fstream>
#include <vector>

#include "common/files.hpp"

namespace morvik {
namespace {

// Up to `bytes` bytes from the start of the file.
std::string Head(const std::string& path, std::size_t bytes) {
  std::ifstream in(path, std::ios::binary);
  std::string text(bytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(bytes));
  text.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  return text;
}

// The identifier's characters: letters and digits only.
std::string Word(const std::string& text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && end - from < 64 && std::isalnum(static_cast<unsigned char>(text[end])) != 0)
    ++end;
  return text.substr(from, end - from);
}

} // namespace

std::string FrameReductionId(const std::string& path) {
  // The primary header's cards, to its END card (a few blocks at most).
  const std::string head = Head(path, 2880 * 8);
  for (std::size_t at = 0; at + 80 <= head.size(); at += 80) {
    const std::string card = head.substr(at, 80);
    if (card.compare(0, 8, "END     ") == 0) break;
    if (card.compare(0, 10, "REDUCTID= ") != 0) continue;
    const auto quote = card.find('\'', 10);
    return quote == std::string::npos ? std::string() : Word(card, quote + 1);
  }
  return {};
}

std::string TableReductionId(const std::string& path) {
  const std::string head = Head(path, 4096);
  const std::string line = head.substr(0, head.find_first_of("\r\n"));
  const auto at = line.find(" reduction:");
  return at == std::string::npos ? std::string() : Word(line, at + 11);
}

std::string CatalogReductionId(const std::string& path) {
  const std::string head = Head(path, 4096);
  const auto root = head.find("<cat_file");
  if (root == std::string::npos) return {};
  const auto close = head.find('>', root);
  const auto at = head.find(" reduction=\"", root);
  return at == std::string::npos || at > close ? std::string() : Word(head, at + 12);
}

std::string MixedFieldMessage(const std::string& frame, const std::string& table, const std::string& catalog) {
  const std::string id = FileExists(frame) ? FrameReductionId(frame) : std::string();
  const std::string tableId = FileExists(table) ? TableReductionId(table) : std::string();
  const std::string catalogId = FileExists(catalog) ? CatalogReductionId(catalog) : std::string();
  // Files without an identifier were written before it existed: nothing to compare.
  std::vector<std::string> odd;
  if (!id.empty() && !tableId.empty() && tableId != id) odd.push_back(NameOf(table));
  if (!id.empty() && !catalogId.empty() && catalogId != id) odd.push_back(NameOf(catalog));
  if (id.empty() && !tableId.empty() && !catalogId.empty() && tableId != catalogId) odd.push_back(NameOf(catalog));
  if (odd.empty()) return {};
  std::string names = odd[0];
  if (odd.size() > 1) names += " and " + odd[1];
  return "The field is mixed: " + names + (odd.size() > 1 ? " come" : " comes") + " from another reduction than " +
         (id.empty() ? NameOf(table) : NameOf(frame)) + " (a reduction was interrupted while its files were replaced).";
}

} // namespace morvik
