#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "common/files.hpp"
#include "common/log.hpp"

namespace morvik {
namespace {

TEST(Log, DebugFilterDropsStarredMessagesOnly) {
  EXPECT_FALSE(LogShows("", true));
  EXPECT_FALSE(LogShows("", false));
  EXPECT_TRUE(LogShows("*detail", true));
  EXPECT_FALSE(LogShows("*detail", false));
  EXPECT_TRUE(LogShows("plain", false));
  EXPECT_TRUE(LogShows(" *not first", false));

  MemoryLog log(false);
  log.Add("*hidden");
  log.Add("");
  log.Add("shown");
  log.SetDebug(true);
  log.Add("*now shown");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"shown", "*now shown"}));
  log.Clear();
  EXPECT_TRUE(log.Lines().empty());
}

class FilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("morvik_files_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(dir_);
  }
  static std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::filesystem::path dir_;
};

TEST_F(FilesTest, PathsSplitAtTheLastSlash) {
  EXPECT_EQ(FolderOf("/a/b/m31.fit"), "/a/b/");
  EXPECT_EQ(NameOf("/a/b/m31.fit"), "m31.fit");
  EXPECT_EQ(FolderOf("m31.fit"), "");
  EXPECT_EQ(NameOf("m31.fit"), "m31.fit");
}

TEST_F(FilesTest, ExistenceAndSize) {
  auto p = (dir_ / "x.bin").string();
  EXPECT_FALSE(FileExists(p));
  EXPECT_EQ(FileSizeOf(p), -1);
  ASSERT_TRUE(WriteFileReplacing(p, "12345"));
  EXPECT_TRUE(FileExists(p));
  EXPECT_EQ(FileSizeOf(p), 5);
  EXPECT_FALSE(FileExists(dir_.string())); // a folder is not a file
}

TEST_F(FilesTest, ReplacingWriteKeepsTheOldFileWhenItFails) {
  auto p = (dir_ / "out.txt").string();
  ASSERT_TRUE(WriteFileReplacing(p, "old"));
  ASSERT_TRUE(WriteFileReplacing(p, "new content"));
  EXPECT_EQ(Read(p), "new content");
  if (::geteuid() != 0) { // root may write anywhere; the check needs an ordinary user
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(WriteFileReplacing(p, "lost"));
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
    EXPECT_EQ(Read(p), "new content");
  }
  EXPECT_FALSE(WriteFileReplacing((dir_ / "missing" / "f.txt").string(), "x"));
  // Nothing but the target is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
}

TEST_F(FilesTest, ReplacingWriteRefusesAFolderAsTarget) {
  std::filesystem::create_directories(dir_ / "sub" / "keep");
  EXPECT_FALSE(WriteFileReplacing((dir_ / "sub").string(), "x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "sub" / "keep"));
}

} // namespace
} // namespace morvik
