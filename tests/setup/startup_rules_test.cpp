#include "setup/startup_rules.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(StartupRules, FilesBesideTheProgramShareItsBaseName) {
  EXPECT_EQ(ChangeFileExt("D:\\SETUP.EXE", ".INI"), "D:\\SETUP.INI");
  EXPECT_EQ(ChangeFileExt("D:\\disk1\\setup.new.exe", ".chm"), "D:\\disk1\\setup.new.chm");
  // A dot in a directory name is no extension of the file.
  EXPECT_EQ(ChangeFileExt("D:\\v1.5\\SETUP", ".TXT"), "D:\\v1.5\\SETUP.TXT");
  EXPECT_EQ(ExtractFilePath("D:\\SETUP.EXE"), "D:\\");
  EXPECT_EQ(ExtractFilePath("D:\\a\\b\\SETUP.EXE"), "D:\\a\\b\\");
  EXPECT_EQ(ExtractFilePath("SETUP.EXE"), "");
}

TEST(StartupRules, DiskNeededIsDecimalOrHexadecimal) {
  EXPECT_EQ(ParseDiskNeededMB("120"), 120);
  EXPECT_EQ(ParseDiskNeededMB("0"), 0);
  EXPECT_EQ(ParseDiskNeededMB("0x20"), 32);
  EXPECT_EQ(ParseDiskNeededMB("0XfF"), 255);
  EXPECT_EQ(ParseDiskNeededMB("$1A"), 26);
  EXPECT_EQ(ParseDiskNeededMB("-7"), -7);
  EXPECT_EQ(ParseDiskNeededMB("2147483647"), 2147483647);
  EXPECT_EQ(ParseDiskNeededMB("-2147483648"), -2147483647 - 1);
}

TEST(StartupRules, DiskNeededThatIsNoNumberCountsAsMissing) {
  for (const char* text : {"", "abc", "-1", "12abc", "0x", "$", "2147483648", "0x80000000",
                           "99999999999999999999", "1 2", "+", "0x1g"}) {
    EXPECT_EQ(ParseDiskNeededMB(text), -1) << '"' << text << '"';
  }
}

TEST(StartupRules, ArchivePathLosesDoubledBackslashes) {
  EXPECT_EQ(ReduceBackslashes("D:\\\\prod.zip"), "D:\\prod.zip");
  EXPECT_EQ(ReduceBackslashes("D:\\\\\\sub\\prod.zip"), "D:\\sub\\prod.zip");
  EXPECT_EQ(ReduceBackslashes("D:\\a\\\\\\\\b\\\\c"), "D:\\a\\b\\c");
  EXPECT_EQ(ReduceBackslashes("\\\\\\sub"), "\\sub");
  // A network path keeps the two backslashes that make it one.
  EXPECT_EQ(ReduceBackslashes("\\\\server\\share\\\\prod.zip"), "\\\\server\\share\\prod.zip");
}

TEST(StartupRules, MebibytesRoundToEven) {
  EXPECT_EQ(BytesToMB(1572864), 2);  // 1.5
  EXPECT_EQ(BytesToMB(2621440), 2);  // 2.5
  EXPECT_EQ(BytesToMB(2621441), 3);
  EXPECT_EQ(BytesToMB(1048576 - 1), 1);
  EXPECT_EQ(BytesToMB(524288), 0);  // 0.5
  EXPECT_EQ(BytesToMB(0), 0);
  EXPECT_EQ(BytesToMB(int64_t{5311} << 20), 5311);
  EXPECT_EQ(BytesToMB(int64_t{1} << 62), 2147483647);  // saturates rather than wraps
}

TEST(StartupRules, MemoLinesEndInAnyConventionAndJoinWithCrLf) {
  EXPECT_EQ(MemoText("one\ntwo\r\nthree\rfour"), "one\r\ntwo\r\nthree\r\nfour");
  EXPECT_EQ(MemoText("one\r\n"), "one");
  EXPECT_EQ(MemoText("one\r\n\r\n"), "one\r\n");
  EXPECT_EQ(MemoText(std::string("a\0b", 3)), "a b");
  EXPECT_EQ(MemoText(""), "");
}

}  // namespace
}  // namespace vx
