#include "platform/path_text.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(JoinPath, OneBackslashBetweenExceptAfterABareDrive) {
  EXPECT_EQ(JoinPath("C:\\VX\\", "KELDA.EXE"), "C:\\VX\\KELDA.EXE");
  EXPECT_EQ(JoinPath("C:\\VX", "\\\\bin\\KELDA.EXE"), "C:\\VX\\bin\\KELDA.EXE");
  // A drive root is first cut to "C:", which then joins drive-relative.
  EXPECT_EQ(JoinPath("C:\\", "\\KELDA.EXE"), "C:KELDA.EXE");
  EXPECT_EQ(JoinPath("C:", "KELDA.EXE"), "C:KELDA.EXE");
  // Only one trailing backslash goes.
  EXPECT_EQ(JoinPath("C:\\VX\\\\", "a"), "C:\\VX\\\\a");
  EXPECT_EQ(JoinPath("", "a"), "\\a");
}

TEST(FileDirectory, CutsAtTheLastBackslashOrColon) {
  EXPECT_EQ(FileDirectory("C:\\VX\\KELDA.EXE"), "C:\\VX");
  EXPECT_EQ(FileDirectory("C:\\KELDA.EXE"), "C:");
  EXPECT_EQ(FileDirectory("C:KELDA.EXE"), "C:");
  EXPECT_EQ(FileDirectory("KELDA.EXE"), "");
  EXPECT_EQ(FileDirectory("\\\\server\\share\\x.txt"), "\\\\server\\share");
  EXPECT_EQ(FileNamePart("C:\\VX\\KELDA.EXE"), "KELDA.EXE");
  EXPECT_EQ(FileNamePart("C:KELDA.EXE"), "KELDA.EXE");
}

TEST(ChangeFileExt, TheExtensionIsTheFileNamesOwn) {
  struct Case {
    const char* path;
    const char* changed;
  } cases[] = {
      {"D:\\SETUP.EXE", "D:\\SETUP.chm"},
      {"D:\\v1.5\\SETUP", "D:\\v1.5\\SETUP.chm"},  // a dot of a directory is no extension
      {"/home/u.v/bin/setup", "/home/u.v/bin/setup.chm"},
      {"/home/u.v/bin/setup.exe", "/home/u.v/bin/setup.chm"},
      {"D:SETUP", "D:SETUP.chm"},
      {"D:.X", "D:.chm"},
      {"setup.new.exe", "setup.new.chm"},
      {"", ".chm"},
  };
  for (const Case& c : cases) EXPECT_EQ(ChangeFileExt(c.path, ".chm"), c.changed) << c.path;
}

TEST(AppendFileName, AddsABackslashOnlyWhenMissing) {
  EXPECT_EQ(AppendFileName("C:\\", "g"), "C:\\g");
  EXPECT_EQ(AppendFileName("C:\\TEMP", "g"), "C:\\TEMP\\g");
  EXPECT_EQ(AppendFileName("C:", "g"), "C:\\g");
}

TEST(TrimBlanks, RemovesBlanksAndControlCharactersAtBothEnds) {
  EXPECT_EQ(TrimBlanks(" \t C:\\A B \r\n"), "C:\\A B");
  EXPECT_EQ(TrimBlanks(" \x01\x1f "), "");
  // Bytes above 127 are letters in the ANSI code page, not blanks.
  EXPECT_EQ(TrimBlanks("\xe9t\xe9"), "\xe9t\xe9");
}

}  // namespace
}  // namespace vx
