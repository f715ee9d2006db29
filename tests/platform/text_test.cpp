#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

TEST(SplitLines, EveryKindOfBreakAndTheLastLine) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\n", {"one"}},  // a break at the end starts no empty line
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n\r b", {"a", "", " b"}},  // LF CR is two breaks
      {"\r\n\r\n", {"", ""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (std::string_view line : SplitLines(c.text)) got.emplace_back(line);
    EXPECT_EQ(got, c.lines) << '"' << c.text << '"';
  }
}

TEST(AsciiCase, OnlyTheAsciiLettersChange) {
  // Bytes beyond ASCII (é, Ä in the ANSI code page) and the neighbours of
  // the letter ranges stay as they are.
  const std::string mixed = "aZ09@[`{\xE9\xC4-x";
  EXPECT_EQ(AsciiUpper(mixed), "AZ09@[`{\xE9\xC4-X");
  EXPECT_EQ(AsciiLower(mixed), "az09@[`{\xE9\xC4-x");
  EXPECT_EQ(AsciiUpper('q'), 'Q');
  EXPECT_EQ(AsciiLower('Q'), 'q');

  EXPECT_TRUE(AsciiSameText("Setup", "sETUP"));
  EXPECT_TRUE(AsciiSameText("", ""));
  EXPECT_FALSE(AsciiSameText("Setup", "Setup "));
  EXPECT_FALSE(AsciiSameText("\xE9", "\xC9"));  // é and É differ outside ASCII
  EXPECT_FALSE(AsciiSameText("[", "{"));
}

}  // namespace
}  // namespace vx
