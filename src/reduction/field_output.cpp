#include "reduction/field_output.hpp"

#include <fitsio.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "common/files.hpp"

namespace morvik::reduction {
namespace {

std::string TempName(const std::string& path) {
  return FolderOf(path) + "." + NameOf(path) + ".tmp" + std::to_string(::getpid());
}

bool WriteText(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok;
}

bool WriteFits(const std::string& path, const FieldFiles& files) {
  fitsfile* f = nullptr;
  int status = 0;
  const std::string name = "!" + path;
  if (fits_create_file(&f, name.c_str(), &status) != 0) return false;
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
  std::vector<float> pixels = files.pixels;
  // The viewer has no missing pixels: they show as 0.
  for (float& v : pixels)
    if (!std::isfinite(v)) v = 0.0f;
  fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(pixels.size()), pixels.data(), &status);
  fits_close_file(f, &status);
  return status == 0;
}

} // namespace

bool WriteField(const std::string& out, const FieldFiles& files, std::vector<std::string>& written,
                std::string& error) {
  const std::vector<std::string> finals = {out + ".fts", out + ".dat", out + ".xml", out + "_reduction.txt"};
  std::vector<std::string> temps;
  for (const auto& path : finals)
    temps.push_back(TempName(path));
  bool ok = WriteFits(temps[0], files) && WriteText(temps[1], files.table) && WriteText(temps[2], files.catalog) &&
            WriteText(temps[3], files.report);
  std::size_t renamed = 0;
  if (ok) {
    for (; renamed < finals.size(); ++renamed)
      if (std::rename(temps[renamed].c_str(), finals[renamed].c_str()) != 0) break;
    ok = renamed == finals.size();
  }
  if (!ok) {
    for (std::size_t i = renamed; i < temps.size(); ++i)
      std::remove(temps[i].c_str());
    error = "Cannot write the field " + out + (renamed > 0 ? " (some of its files were replaced)" : "");
    return false;
  }
  written = finals;
  return true;
}

} // namespace morvik::reduction
