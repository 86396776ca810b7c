#include "common/files.hpp"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace morvik {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

long long FileSizeOf(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return -1;
  struct stat st {};
  long long size = ::fstat(::fileno(f), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
  std::fclose(f);
  return size;
}

std::string FolderOf(const std::string& path) {
  auto pos = path.find_last_of('/');
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string NameOf(const std::string& path) {
  auto pos = path.find_last_of('/');
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool WriteFileReplacing(const std::string& path, std::string_view content) {
  std::string temp = FolderOf(path) + "." + NameOf(path) + ".tmp" + std::to_string(::getpid());
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  ok = (std::fflush(f) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

} // namespace morvik
