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
