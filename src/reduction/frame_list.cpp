#include "reduction/frame_list.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace morvik::reduction {
namespace {

namespace fs = std::filesystem;

// The folder's frame files, sorted by path. False with error set when the folder
// cannot be listed.
bool ListFolder(const fs::path& folder, FrameList& list) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    list.error = "cannot list the folder " + folder.string() + ": " + ec.message();
    return false;
  }
  std::vector<std::string> found;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) {
      list.error = "cannot list the folder " + folder.string() + ": " + ec.message();
      return false;
    }
    const fs::path path = it->path();
    if (!IsFrameName(path.filename().string())) continue;
    std::error_code kind;
    const bool regular = it->is_regular_file(kind);
    if (kind)
      list.notes.push_back(path.string() + ": " + kind.message());
    else if (regular)
      found.push_back(path.string());
  }
  std::sort(found.begin(), found.end());
  if (found.empty()) {
    list.error = "the folder " + folder.string() + " holds no frame (.fit, .fits, .fts, .fz or .gz)";
    return false;
  }
  list.frames.insert(list.frames.end(), found.begin(), found.end());
  return true;
}

} // namespace

bool IsFrameName(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const std::string end : {".fit", ".fits", ".fts", ".fz", ".gz"})
    if (lower.size() > end.size() && lower.ends_with(end)) return true;
  return false;
}

FrameList ListFrames(const std::vector<std::string>& arguments) {
  FrameList list;
  for (const std::string& a : arguments) {
    std::error_code ec;
    const fs::file_status st = fs::status(a, ec);
    bool ok = true;
    if (fs::is_directory(st)) {
      ok = ListFolder(a, list);
    } else if (fs::is_regular_file(st)) {
      list.frames.push_back(a);
    } else if (st.type() == fs::file_type::not_found) {
      // Skipped with its reason like any frame that cannot be read.
      list.frames.push_back(a);
      list.notes.push_back("no such file or folder: " + a);
    } else {
      list.error = "cannot read " + a + ": " + (ec ? ec.message() : std::string("not a file"));
      ok = false;
    }
    if (!ok) {
      list.frames.clear();
      return list;
    }
  }
  return list;
}

} // namespace morvik::reduction
