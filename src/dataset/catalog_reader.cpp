#include <cstdint>
#include <filesystem>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "common/capacities.hpp"
#include "common/errors.hpp"
#include "common/parse.hpp"
#include "dataset/readers.hpp"

namespace morvik {
namespace {

// Comments and processing instructions are kept so that they count as child nodes of
// stars. Without parse_doctype a DOCTYPE is skipped, and pugixml never expands entities
// declared in it nor loads anything named there: only the file itself is read.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;

bool IsExistingFile(const std::string& path) {
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

[[noreturn]] void ThrowNotANumber(std::string_view value, const char* attribute) {
  throw CommandError("'" + std::string(value) + "' is not a valid number (attribute " + attribute + " of a star)");
}

// An integer star id; ids too large for any type are kept as out of range rather than
// refused, since they are numbers all the same.
long long ParseStarId(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) ThrowNotANumber(text, "id");
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') ThrowNotANumber(text, "id");
    if (v < 1000000000LL) v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

double ParseCoordinate(std::string_view text, const char* attribute) {
  const std::optional<double> v = ParseDecimal(TrimBlanks(text));
  if (!v) ThrowNotANumber(text, attribute);
  return *v;
}

// A document without a root element is empty when it holds nothing but a declaration,
// comments and blanks; stray text there makes it malformed instead. pugixml drops such
// text unless asked to parse a fragment.
bool HasTopLevelText(const std::string& path) {
  pugi::xml_document fragment;
  if (!fragment.load_file(path.c_str(), kParseOptions | pugi::parse_fragment)) return true;
  for (pugi::xml_node n = fragment.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) return true;
  }
  return false;
}

} // namespace

void LoadStarCatalog(const std::string& path, StarCatalog& catalog, Log& log) {
  if (!IsExistingFile(path)) return;
  catalog.Clear();

  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_file(path.c_str(), kParseOptions);
  if (result.status == pugi::status_no_document_element && !HasTopLevelText(path)) return; // an empty document
  if (result.status == pugi::status_file_not_found || result.status == pugi::status_io_error) {
    log.Add("Cannot open " + path);
    return;
  }
  if (!result) {
    throw CommandError(std::string(result.description()) + " at offset " + std::to_string(result.offset) + " of " +
                       path);
  }

  const pugi::xml_node root = doc.child("cat_file");
  if (!root) {
    log.Add("No cat_file element in the catalog");
    return;
  }
  const pugi::xml_node stars = root.child("stars");
  if (!stars) {
    log.Add("No stars element in the catalog");
    return;
  }

  std::int64_t children = 0;
  for (pugi::xml_node n = stars.first_child(); n; n = n.next_sibling())
    ++children;
  log.Add("Stars has " + std::to_string(children) + " child nodes");

  std::int64_t outside = 0;
  for (pugi::xml_node n = stars.first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_element || std::string_view(n.name()) != "s") continue;
    const pugi::xml_attribute idAttr = n.attribute("id");
    if (!idAttr) continue;
    const long long id = ParseStarId(idAttr.value());
    if (!StarCatalog::HasId(id)) {
      ++outside;
      continue;
    }
    TCatalogStar& entry = catalog.At(id);
    if (const pugi::xml_attribute a = n.attribute("x")) entry.X = ParseCoordinate(a.value(), "x");
    if (const pugi::xml_attribute a = n.attribute("y")) entry.Y = ParseCoordinate(a.value(), "y");
    if (const pugi::xml_attribute a = n.attribute("m")) entry.M = ParseCoordinate(a.value(), "m");
  }
  if (outside > 0) {
    log.Add(std::to_string(outside) + " stars with an id outside 1..." + std::to_string(kCatalogSize) + " skipped");
  }
  log.Add("XML Loaded");
}

} // namespace morvik
