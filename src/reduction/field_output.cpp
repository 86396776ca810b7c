#include "reduction/field_output.hpp"

#include <fitsio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "common/files.hpp"

namespace morvik::reduction {
namespace {

namespace fs = std::filesystem;

// The folder a reduction into out writes in before its files are swapped into place:
// hidden, beside the target, named after it so that the next run finds what an
// interrupted one left.
const char* kWorkTag = ".reducing.";

std::string WorkFolder(const std::string& out) {
  return FolderOf(out) + "." + NameOf(out) + kWorkTag + std::to_string(::getpid());
}

std::string Reason() { return std::strerror(errno); }

bool WriteText(const std::string& path, const std::string& content, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    error = Reason();
    return false;
  }
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  ok = std::fflush(f) == 0 && ok;
  if (!ok) error = Reason();
  if (std::fclose(f) != 0 && ok) {
    error = Reason();
    ok = false;
  }
  return ok;
}

bool WriteFits(const std::string& path, const FieldFiles& files, const std::string& id, std::string& error) {
  fitsfile* f = nullptr;
  int status = 0;
  const std::string name = "!" + path;
  if (fits_create_file(&f, name.c_str(), &status) != 0) {
    error = Reason();
    return false;
  }
  long axes[2] = {files.width, files.height};
  fits_create_img(f, FLOAT_IMG, 2, axes, &status);
  for (const auto& [key, value] : files.textCards)
    fits_update_key(f, TSTRING, key.c_str(), const_cast<char*>(value.c_str()), nullptr, &status);
  for (const auto& [key, value] : files.numberCards) {
    double v = value;
    fits_update_key(f, TDOUBLE, key.c_str(), &v, nullptr, &status);
  }
  for (const std::string& record : files.records)
    fits_write_record(f, record.c_str(), &status);
  fits_update_key(f, TSTRING, "REDUCTID", const_cast<char*>(id.c_str()), "the reduction that wrote this field",
                  &status);
  std::vector<float> pixels = files.pixels;
  // The viewer has no missing pixels: they show as 0.
  for (float& v : pixels)
    if (!std::isfinite(v)) v = 0.0f;
  fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(pixels.size()), pixels.data(), &status);
  const int writeErrno = errno;
  fits_close_file(f, &status);
  if (status != 0) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    error = std::string(text) + (writeErrno != 0 ? std::string(": ") + std::strerror(writeErrno) : std::string());
  }
  return status == 0;
}

// The table with the identifier as the last word of its first line.
std::string TableWithId(const std::string& table, const std::string& id) {
  const auto end = table.find_first_of("\r\n");
  if (end == std::string::npos || table.empty() || table[0] != '#') return table;
  return table.substr(0, end) + " reduction:" + id + table.substr(end);
}

std::string CatalogWithId(const std::string& catalog, const std::string& id) {
  const auto root = catalog.find("<cat_file>");
  if (root == std::string::npos) return catalog;
  return catalog.substr(0, root) + "<cat_file reduction=\"" + id + "\">" + catalog.substr(root + 10);
}

std::string NewId() {
  std::random_device device;
  std::mt19937_64 rng(device() ^
                      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
                      static_cast<std::uint64_t>(::getpid()));
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(rng()));
  return text;
}

} // namespace

void RemoveLeftovers(const std::string& out) {
  const std::string folder = FolderOf(out).empty() ? "." : FolderOf(out);
  const std::string prefix = "." + NameOf(out) + kWorkTag;
  // Temporaries of the earlier writer: one hidden file per output.
  const std::string older = "." + NameOf(out);
  std::error_code ec;
  std::vector<fs::path> gone;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with(prefix) || (name.starts_with(older) && name.find(".tmp") != std::string::npos &&
                                     (name.starts_with(older + ".fts") || name.starts_with(older + ".dat") ||
                                      name.starts_with(older + ".xml") || name.starts_with(older + "_reduction.txt"))))
      gone.push_back(it->path());
  }
  for (const fs::path& p : gone)
    fs::remove_all(p, ec);
}

std::string CheckOutputFolder(const std::string& out) {
  if (NameOf(out).empty()) return "--out needs a name after the folder (DIR/NAME), not " + out;
  // The nearest part of the folder that exists must be a folder this program may
  // write in; the rest is made when the field is written.
  std::error_code ec;
  fs::path p = fs::absolute(FolderOf(out).empty() ? fs::path(".") : fs::path(FolderOf(out)), ec);
  while (!ec && !fs::exists(p, ec) && p.has_parent_path() && p != p.parent_path())
    p = p.parent_path();
  if (!fs::is_directory(p, ec)) return "Cannot write the field " + out + ": " + p.string() + " is not a folder";
  if (::access(p.c_str(), W_OK) != 0) return "Cannot write the field " + out + ": " + p.string() + ": " + Reason();
  return {};
}

bool WriteField(const std::string& out, const FieldFiles& files, std::vector<std::string>& written,
                std::string& error) {
  RemoveLeftovers(out);
  const std::string id = files.id.empty() ? NewId() : files.id;
  // The catalog and the table go first, the frame (what Open is given) after them:
  // a swap cut short leaves files of two reductions, which Open refuses by their ids.
  const std::vector<std::string> suffixes = {".xml", ".dat", ".fts", "_reduction.txt"};
  const std::string work = WorkFolder(out);
  std::error_code ec;
  fs::create_directories(work, ec);
  std::string reason = ec ? ec.message() : std::string();
  const std::string base = work + "/" + NameOf(out);
  bool ok = !ec && WriteText(base + ".xml", CatalogWithId(files.catalog, id), reason) &&
            WriteText(base + ".dat", TableWithId(files.table, id), reason) &&
            WriteFits(base + ".fts", files, id, reason) && WriteText(base + "_reduction.txt", files.report, reason);
  std::size_t renamed = 0;
  if (ok) {
    for (; renamed < suffixes.size(); ++renamed)
      if (std::rename((base + suffixes[renamed]).c_str(), (out + suffixes[renamed]).c_str()) != 0) {
        reason = Reason();
        break;
      }
    ok = renamed == suffixes.size();
  }
  fs::remove_all(work, ec);
  if (!ok) {
    error = "Cannot write the field " + out + ": " + reason +
            (renamed > 0 ? " (some of its files were replaced: open it again after a new reduction)" : "");
    return false;
  }
  written.clear();
  for (const char* s : {".fts", ".dat", ".xml", "_reduction.txt"})
    written.push_back(out + s);
  return true;
}

} // namespace morvik::reduction
