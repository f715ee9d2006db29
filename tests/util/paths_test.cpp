#include "util/paths.h"

#include <gtest/gtest.h>

#include "util/process_utils.h"

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

TEST(QuoteArgument, StripsQuotesAndBlanksThenQuotesWhatNeedsIt) {
  EXPECT_EQ(QuoteArgument("\"C:\\Program Files\\VX\\KELDA.EXE\""),
            "\"C:\\Program Files\\VX\\KELDA.EXE\"");
  EXPECT_EQ(QuoteArgument("  C:\\Program Files\\VX\\KELDA.EXE\t"),
            "\"C:\\Program Files\\VX\\KELDA.EXE\"");
  EXPECT_EQ(QuoteArgument("C:\\VX\\kelrpt.sti"), "C:\\VX\\kelrpt.sti");
  EXPECT_EQ(QuoteArgument("C:\\R&D\\x.sti"), "\"C:\\R&D\\x.sti\"");
  EXPECT_EQ(QuoteArgument(""), "");
  EXPECT_EQ(QuoteArgument("\" \"\"  \""), "");
  // Quotes inside the text are left alone.
  EXPECT_EQ(QuoteArgument("a\"b"), "a\"b");
}

TEST(StartProgramText, CommandLineAndWindowTitle) {
  EXPECT_EQ(ProgramCommandLine("C:\\Program Files\\VX\\KELDA.EXE", "kelrpt.sti"),
            "\"C:\\Program Files\\VX\\KELDA.EXE\" kelrpt.sti");
  EXPECT_EQ(ProgramCommandLine("C:\\VX\\KELDA.EXE", ""), "C:\\VX\\KELDA.EXE ");
  EXPECT_EQ(ProgramWindowTitle("Diagnostics", "C:\\VX\\KELDA.EXE"), "Diagnostics: KELDA.EXE");
  EXPECT_EQ(ProgramWindowTitle("", "C:\\VX\\KELDA.EXE"), "");
}

}  // namespace
}  // namespace vx
