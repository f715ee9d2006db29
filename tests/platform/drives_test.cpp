// Drive probes, on whatever drives this machine has.
#include "platform/drives.h"

#include <gtest/gtest.h>

#include "platform/files.h"

namespace vx::platform {
namespace {

TEST(Drives, TheCurrentDriveIsFixedAndMeasurable) {
  CriticalErrorsSuppressed outer;  // nests: the probes below take their own
  EXPECT_EQ(GetDriveType(""), kDriveFixed);
  int64_t free_bytes = -2, total_bytes = -2;
  ASSERT_TRUE(GetDiskFreeSpace("", free_bytes, total_bytes));
  EXPECT_GT(total_bytes, 0);
  EXPECT_GE(free_bytes, 0);
  EXPECT_LE(free_bytes, total_bytes);
}

TEST(Drives, ADriveThatDoesNotExistHasNoRootAndNoSpace) {
  // The highest letter no drive uses; every system leaves some free.
  std::string root;
  for (char letter = 'Y'; letter >= 'D' && root.empty(); --letter) {
    std::string candidate = std::string(1, letter) + ":\\";
    if (GetDriveType(candidate) == kDriveNoRootDir) root = candidate;
  }
  ASSERT_FALSE(root.empty());
  int64_t free_bytes = 0, total_bytes = 0;
  EXPECT_FALSE(GetDiskFreeSpace(root, free_bytes, total_bytes));
  EXPECT_EQ(free_bytes, -1);
  EXPECT_EQ(total_bytes, -1);
  EXPECT_FALSE(DirectoryExists(root));
  EXPECT_FALSE(FileExists(root + "file.txt"));
}

}  // namespace
}  // namespace vx::platform
