#pragma once
// Small fields written by hand for the workspace tests: a 16-bit FITS frame, a
// photometry table and a star catalog in a temporary folder.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

namespace morvik::testing {

inline std::string Card(const std::string& text) {
  std::string c = text;
  c.resize(80, ' ');
  return c;
}

// A frame of width x height 16-bit pixels with BZERO 32768; pixel(x, y) gives the
// physical value (0 ... 65535) of 1-based pixel (x, y).
inline void WriteFrame(const std::filesystem::path& path, int width, int height,
                       const std::function<int(int, int)>& pixel) {
  std::string h;
  h += Card("SIMPLE  =                    T");
  h += Card("BITPIX  =                   16");
  h += Card("NAXIS   =                    2");
  h += Card("NAXIS1  = " + std::string(20 - std::to_string(width).size(), ' ') + std::to_string(width));
  h += Card("NAXIS2  = " + std::string(20 - std::to_string(height).size(), ' ') + std::to_string(height));
  h += Card("BZERO   =                32768");
  h += Card("END");
  h.resize((h.size() + 2879) / 2880 * 2880, ' ');
  std::string d;
  for (int y = 1; y <= height; ++y)
    for (int x = 1; x <= width; ++x) {
      const auto stored = static_cast<std::uint16_t>(static_cast<std::int16_t>(pixel(x, y) - 32768));
      d += static_cast<char>(stored >> 8);
      d += static_cast<char>(stored & 0xff);
    }
  d.resize((d.size() + 2879) / 2880 * 2880, '\0');
  std::ofstream(path, std::ios::binary) << h << d;
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A temporary folder removed at the end of the test.
class TempFolder {
public:
  explicit TempFolder(const std::string& tag) {
    path_ = std::filesystem::temp_directory_path() / ("morvik_ws_" + tag + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

} // namespace morvik::testing
