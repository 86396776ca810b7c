#pragma once
// A scratch folder per test, removed afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace morvik::testing {

class TempFolder {
public:
  TempFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() / ("morvik_dataset_" + std::string(info->test_suite_name()) + "_" +
                                                     info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Writes the bytes as they are (no line-end translation) and returns the full path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const auto path = dir_ / name;
    // A fresh file rather than a truncated one: the file system flushes truncated
    // files on close, which makes many small writes slow.
    std::filesystem::remove(path);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
    return path.string();
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

private:
  std::filesystem::path dir_;
};

} // namespace morvik::testing
