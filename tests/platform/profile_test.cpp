// The profile reader against files written here; the same answers are
// expected from Windows' own reader (under Wine) and from the Linux one.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_support.h"

namespace vx::platform {
namespace {

class Profile : public ::testing::Test {
 protected:
  std::string Write(const std::string& content) {
    std::string path = scratch_.File("settings.ini");
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& fallback = "DEFAULT") {
    return GetPrivateProfileString(section, key, fallback, scratch_.File("settings.ini"));
  }
  test::ScratchDir scratch_;
};

TEST_F(Profile, TrimsBlanksAndOnePairOfQuotes) {
  Write(
      "[Settings]\r\n"
      "plain=value\r\n"
      "  spaced  =  two words \t\r\n"
      "double=\"  kept inside  \"\r\n"
      "single='x'\r\n"
      "mismatch=\"a'\r\n"
      "lone=\"\r\n"
      "nested=\"\"\"\r\n"
      "inner=a\"b\"c\r\n"
      "comment=x ; stays\r\n"
      "equals=a=b\r\n"
      "empty=\r\n"
      "emptyquotes=''\r\n"
      "nokey\r\n");
  EXPECT_EQ(Read("Settings", "plain"), "value");
  EXPECT_EQ(Read("Settings", "spaced"), "two words");
  EXPECT_EQ(Read("Settings", "double"), "  kept inside  ");
  EXPECT_EQ(Read("Settings", "single"), "x");
  EXPECT_EQ(Read("Settings", "mismatch"), "\"a'");
  EXPECT_EQ(Read("Settings", "lone"), "\"");
  EXPECT_EQ(Read("Settings", "nested"), "\"");
  EXPECT_EQ(Read("Settings", "inner"), "a\"b\"c");
  EXPECT_EQ(Read("Settings", "comment"), "x ; stays");
  EXPECT_EQ(Read("Settings", "equals"), "a=b");
  EXPECT_EQ(Read("Settings", "empty"), "");
  EXPECT_EQ(Read("Settings", "emptyquotes"), "");
  EXPECT_EQ(Read("Settings", "nokey"), "DEFAULT");  // a line without "=" is no key
}

TEST_F(Profile, NamesMatchWithoutCaseOrBlanks) {
  Write(
      "; InstTitle=commented out\n"
      "  [ Settings ]  trailing text\n"
      "InstTitle=VESTRIX\n"
      "\tDiskNeededMB\t=\t120\n"
      "[Other]\n"
      "InstTitle=other\n"
      "[SETTINGS]\n"
      "Later=only the first section of a name counts\n");
  EXPECT_EQ(Read("settings", "insttitle"), "VESTRIX");
  EXPECT_EQ(Read(" SETTINGS ", "InstTitle "), "VESTRIX");
  EXPECT_EQ(Read("Settings", "diskneededmb"), "120");
  EXPECT_EQ(Read("other", "INSTTITLE"), "other");
  EXPECT_EQ(Read("Settings", "Later"), "DEFAULT");
}

TEST_F(Profile, LineEndsOfEveryKind) {
  Write("[A]\rcr=1\rlf=2\ncrlf=3\r\nlast=4");
  EXPECT_EQ(Read("A", "cr"), "1");
  EXPECT_EQ(Read("A", "lf"), "2");
  EXPECT_EQ(Read("A", "crlf"), "3");
  EXPECT_EQ(Read("A", "last"), "4");
}

TEST_F(Profile, ValuesStopAt2047Characters) {
  const std::string long_value(3000, 'L');
  Write("[S]\nlong=" + long_value + "\nexact=" + std::string(2047, 'E') + "   \nquoted=\"" +
        std::string(2100, 'Q') + "\"\n");
  EXPECT_EQ(Read("S", "long"), long_value.substr(0, kProfileValueLimit));
  EXPECT_EQ(Read("S", "exact"), std::string(2047, 'E'));
  EXPECT_EQ(Read("S", "quoted"), std::string(2047, 'Q'));
}

TEST_F(Profile, MissingPiecesGiveTheDefaultWithoutTrailingBlanks) {
  EXPECT_EQ(Read("Settings", "InstTitle", "no file"), "no file");
  Write("[Settings]\nInstTitle=x\n");
  EXPECT_EQ(Read("Missing", "InstTitle", "  padded  "), "  padded");
  EXPECT_EQ(Read("Settings", "Missing", ""), "");
  EXPECT_EQ(Read("Settings", "Missing", "-1"), "-1");
  EXPECT_EQ(Read("Settings", "Missing", std::string(3000, 'D')), std::string(2047, 'D'));
  EXPECT_EQ(GetPrivateProfileString("Settings", "InstTitle", "none", scratch_.File("nodir/x.ini")),
            "none");
}

}  // namespace
}  // namespace vx::platform
