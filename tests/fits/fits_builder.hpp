#pragma once
// Builds FITS files byte by byte for the reader tests, including malformed ones that
// no FITS writer would produce.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace morvik::test {

// One 80-character card.
inline std::string Card(const std::string& text) {
  std::string c = text.substr(0, 80);
  c.resize(80, ' ');
  return c;
}

// keyword = value, the value right-aligned in columns 11-30 like a fixed-format card.
inline std::string ValueCard(const std::string& keyword, const std::string& value, const std::string& comment = "") {
  std::string kw = keyword;
  kw.resize(8, ' ');
  std::string v = value.size() < 20 ? std::string(20 - value.size(), ' ') + value : value;
  return Card(kw + "= " + v + (comment.empty() ? "" : " / " + comment));
}

struct FitsBytes {
  std::string bytes;

  FitsBytes& Add(const std::string& card) {
    bytes += Card(card);
    return *this;
  }
  FitsBytes& Value(const std::string& keyword, const std::string& value, const std::string& comment = "") {
    bytes += ValueCard(keyword, value, comment);
    return *this;
  }
  // SIMPLE, BITPIX, NAXIS = 2, NAXIS1, NAXIS2.
  FitsBytes& Frame(int bitpix, int width, int height) {
    return Value("SIMPLE", "T")
        .Value("BITPIX", std::to_string(bitpix))
        .Value("NAXIS", "2")
        .Value("NAXIS1", std::to_string(width))
        .Value("NAXIS2", std::to_string(height));
  }
  FitsBytes& End() { return Add("END"); }
  FitsBytes& Blanks(std::size_t n) {
    bytes.append(n, ' ');
    return *this;
  }
  FitsBytes& PadTo2880(char with = ' ') {
    bytes.append((2880 - bytes.size() % 2880) % 2880, with);
    return *this;
  }
  FitsBytes& Raw(const std::string& raw) {
    bytes += raw;
    return *this;
  }
  FitsBytes& I16(std::int16_t v) { return Be(static_cast<std::uint16_t>(v), 2); }
  FitsBytes& U8(std::uint8_t v) { return Be(v, 1); }
  FitsBytes& I32(std::int32_t v) { return Be(static_cast<std::uint32_t>(v), 4); }
  FitsBytes& I64(std::int64_t v) { return Be(static_cast<std::uint64_t>(v), 8); }
  FitsBytes& F32(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return Be(bits, 4);
  }
  FitsBytes& F64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return Be(bits, 8);
  }
  FitsBytes& Be(std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i)
      bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    return *this;
  }
};

// A folder of its own under the build tree, removed at the end of the test.
class TempFolder {
public:
  TempFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::path(MORVIK_BINARY_DIR) / "fits_test_files" /
            (std::string(info->test_suite_name()) + "." + info->name() + "." + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string file = (path_ / name).string();
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

} // namespace morvik::test
