#include "util/drive_probes.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "platform/drives.h"
#include "support/test_support.h"
#include "util_test_helpers.h"

namespace vx {
namespace {

// A letter no drive uses on this machine; every system leaves some free.
char AbsentDriveLetter() {
  for (char letter = 'Y'; letter >= 'D'; --letter) {
    if (platform::GetDriveType(std::string(1, letter) + ":\\") == platform::kDriveNoRootDir) {
      return letter;
    }
  }
  return 0;
}

TEST(DriveNumber, LettersInEitherCaseAndNothingElse) {
  EXPECT_EQ(DriveNumber('A'), 1);
  EXPECT_EQ(DriveNumber('c'), 3);
  EXPECT_EQ(DriveNumber('Z'), 26);
  EXPECT_EQ(DriveNumber('z'), 26);
  EXPECT_EQ(DriveNumber('@'), -1);
  EXPECT_EQ(DriveNumber('['), -1);
  EXPECT_EQ(DriveNumber('1'), -1);
  EXPECT_EQ(DriveNumber('\xC4'), -1);
}

TEST(DriveProbes, AnAbsentDriveIsNotReadyAndHasNoSpace) {
  const char letter = AbsentDriveLetter();
  ASSERT_NE(letter, 0);
  const std::string root = std::string(1, letter) + ":\\";
  EXPECT_FALSE(DriveReady(letter));
  EXPECT_FALSE(SafeDirExists(root));
  EXPECT_FALSE(SafeFileExists(root + "file.txt"));
  DiskSpace space = GetDiskSpace(DriveNumber(letter));
  EXPECT_EQ(space.total, -1);
  EXPECT_EQ(space.free, -1);
  // Numbers that name no drive at all.
  EXPECT_EQ(GetDiskSpace(27).total, -1);
  EXPECT_EQ(GetDiskSpace(255).free, -1);
  EXPECT_FALSE(DriveReady('?'));
}

TEST(DriveProbes, TheCurrentDriveIsMeasured) {
  DiskSpace space = GetDiskSpace(0);
  EXPECT_GT(space.total, 0);
  EXPECT_GE(space.free, 0);
  EXPECT_LE(space.free, space.total);
}

TEST(DriveProbes, ExistenceTestsOnAReadyDrive) {
  test::ScratchDir scratch;
  std::ofstream(scratch.File("f.txt")) << "x";
#ifndef _WIN32
  test::ScopedDriveMap drives({{'K', scratch.Path()}});
  const std::string base = "K:\\";
#else
  const std::string base = scratch.Path() + "\\";
  ASSERT_EQ(base[1], ':');
#endif
  EXPECT_TRUE(DriveReady(base[0]));
  EXPECT_TRUE(SafeFileExists(base + "f.txt"));
  EXPECT_FALSE(SafeDirExists(base + "f.txt"));
  EXPECT_TRUE(SafeDirExists(base));
  EXPECT_FALSE(SafeFileExists(base));
  EXPECT_FALSE(SafeFileExists(base + "g.txt"));
  EXPECT_FALSE(SafeDirExists(""));
  EXPECT_FALSE(SafeFileExists(""));
}

TEST(FileDateText, TheFileDateInTheLocaleOrNotFound) {
  test::ScratchDir scratch;
  const std::string file = scratch.File("dated.txt");
  std::ofstream(file) << "x";
  EXPECT_EQ(FileDateText(scratch.File("missing.txt")), "not found");
  EXPECT_EQ(FileDateText(scratch.Path()), "not found");  // a directory is no file
  const std::string text = FileDateText(file);
  // Written just now: whatever the locale's order, the year is in the text.
  std::time_t now = std::time(nullptr);
  const int year = std::localtime(&now)->tm_year + 1900;
  EXPECT_NE(text.find(std::to_string(year % 100)), std::string::npos) << text;
  EXPECT_NE(text, "not found");
  EXPECT_NE(text.find(' '), std::string::npos) << text;  // date, blank, time
}

}  // namespace
}  // namespace vx
