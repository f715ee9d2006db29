// The Linux backend's drive table and path translation. Windows has real
// drives, so there is nothing to map there.
#ifndef _WIN32

#include "platform/posix/path_map.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/drives.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace vx::platform {
namespace {

TEST(DriveTable, ParsesTheEnvironmentForm) {
  DriveTable table = ParseDriveMap(" c=/tmp/c/ ;D:=/srv/d;;bad;E=;1=/x;F=/");
  EXPECT_EQ(table, (DriveTable{{'C', "/tmp/c"}, {'D', "/srv/d"}, {'F', "/"}}));
  DriveTable relative = ParseDriveMap("R=rel/dir");
  ASSERT_EQ(relative.count('R'), 1u);
  EXPECT_EQ(relative['R'], (std::filesystem::current_path() / "rel/dir").string());
}

// Maps C: to a scratch directory and restores the previous table afterwards.
class MappedDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = DriveMap();
    saved_directory_ = std::filesystem::current_path();
    SetDriveMap({{'c', scratch_.Path()}, {'D', scratch_.Path() + "/d"}});
  }
  void TearDown() override {
    std::filesystem::current_path(saved_directory_);
    SetDriveMap(saved_);
  }
  std::string Host(const std::string& relative) const { return scratch_.Path() + relative; }

  test::ScratchDir scratch_;
  DriveTable saved_;
  std::filesystem::path saved_directory_;
};

TEST_F(MappedDrive, TranslatesDrivePathsAndKeepsLinuxPaths) {
  EXPECT_EQ(ToHostPath("C:\\"), Host(""));
  EXPECT_EQ(ToHostPath("c:\\Dir\\File.txt"), Host("/Dir/File.txt"));
  EXPECT_EQ(ToHostPath("C:/mixed\\seps/"), Host("/mixed/seps/"));
  EXPECT_EQ(ToHostPath("C:\\a\\..\\..\\..\\b\\.\\c"), Host("/b/c"));  // never above the root
  EXPECT_EQ(ToHostPath("Q:\\file"), std::nullopt);
  EXPECT_EQ(ToHostPath("\\\\server\\share\\file"), std::nullopt);
  EXPECT_EQ(ToHostPath("/usr/lib"), "/usr/lib");
  EXPECT_EQ(ToHostPath("rel\\name.txt"), "rel/name.txt");

  EXPECT_EQ(FromHostPath(Host("")), "C:\\");
  EXPECT_EQ(FromHostPath(Host("/x/y.txt")), "C:\\x\\y.txt");
  EXPECT_EQ(FromHostPath(Host("/d/z")), "D:\\z");  // the deepest drive wins
  EXPECT_EQ(FromHostPath(Host("x")), Host("x"));   // only whole components
  EXPECT_EQ(FromHostPath("/usr/lib"), "/usr/lib");
}

TEST_F(MappedDrive, DriveRelativePathsFollowTheCurrentDirectory) {
  ASSERT_TRUE(CreateDirectory("C:\\work"));
  ASSERT_TRUE(SetCurrentDirectory("C:\\work"));
  EXPECT_EQ(GetCurrentDirectory(), "C:\\work");
  EXPECT_EQ(ToHostPath("C:name"), Host("/work/name"));
  EXPECT_EQ(ToHostPath("\\top"), Host("/top"));
  EXPECT_EQ(FullPathName("name"), "C:\\work\\name");
  EXPECT_EQ(FullPathName("..\\..\\up"), "C:\\up");
  EXPECT_EQ(FullPathName("\\top\\"), "C:\\top\\");
  EXPECT_EQ(FullPathName("C:name"), "C:\\work\\name");
  EXPECT_EQ(FullPathName("D:name"), "D:\\name");
  EXPECT_EQ(FullPathName("Q:\\a\\.\\b"), "Q:\\a\\b");  // lexical, like Windows
  ASSERT_TRUE(SetCurrentDirectory("C:\\"));
  EXPECT_EQ(GetCurrentDirectory(), "C:\\");
  EXPECT_FALSE(SetCurrentDirectory("Q:\\"));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
}

TEST_F(MappedDrive, FileFunctionsWorkThroughTheDrive) {
  ASSERT_TRUE(CreateDirectory("C:\\Sub"));
  EXPECT_TRUE(std::filesystem::is_directory(Host("/Sub")));
  {
    auto stream = TFileStream::CreateAlways("C:\\Sub\\file.txt");
    stream->WriteBuffer("abc", 3);
  }
  EXPECT_TRUE(FileExists(Host("/Sub/file.txt")));
  EXPECT_EQ(FileSizeBySearch("C:\\Sub\\file.txt"), 3);
  ASSERT_EQ(FindFiles("C:\\Sub\\*.TXT").size(), 1u);
  EXPECT_TRUE(DirectoryExists("C:\\"));
  EXPECT_FALSE(FileExists("Q:\\Sub\\file.txt"));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_EQ(GetFileAttributes("Q:\\"), kInvalidAttributes);
  try {
    TFileStream::OpenRead("Q:\\file.txt");
    ADD_FAILURE() << "opened a file on a drive that does not exist";
  } catch (const EFileError& error) {
    EXPECT_EQ(error.ErrorCode(), kErrorPathNotFound);
  }
  std::ofstream(Host("/.dotfile")) << "x";
  EXPECT_EQ(GetFileAttributes("C:\\.dotfile") & kAttrHidden, kAttrHidden);
}

TEST_F(MappedDrive, OnlyMappedDrivesExist) {
  EXPECT_EQ(GetDriveType("C:\\"), kDriveFixed);
  EXPECT_EQ(GetDriveType("D:\\"), kDriveNoRootDir);  // mapped to a missing directory
  EXPECT_EQ(GetDriveType("Q:\\"), kDriveNoRootDir);
  int64_t free_bytes = 0, total_bytes = 0;
  EXPECT_TRUE(GetDiskFreeSpace("c:\\", free_bytes, total_bytes));
  EXPECT_GT(total_bytes, 0);
  EXPECT_FALSE(GetDiskFreeSpace("Q:\\", free_bytes, total_bytes));
  EXPECT_EQ(free_bytes, -1);
  EXPECT_EQ(total_bytes, -1);
}

}  // namespace
}  // namespace vx::platform

#endif  // _WIN32
