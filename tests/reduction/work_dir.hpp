#pragma once
// A work folder per test and per process: ctest runs the tests of one program side by
// side, and a shared folder would be emptied under another test's feet.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace morvik::testing {

inline std::filesystem::path TestWorkDir(const std::string& tag) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = tag;
  if (info != nullptr) name += std::string("_") + info->test_suite_name() + "_" + info->name();
  return std::filesystem::path(MORVIK_BINARY_DIR) / "test_output" / (name + "_" + std::to_string(::getpid()));
}

} // namespace morvik::testing
