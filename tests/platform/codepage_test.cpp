#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace vx::platform {
namespace {

TEST(CodePage, AsciiIsTheSameInBothCodePages) {
  std::string ascii;
  for (int c = 0; c < 128; ++c) ascii += static_cast<char>(c);
  EXPECT_EQ(OemToAnsi(ascii), ascii);
  EXPECT_EQ(AnsiToOem(ascii), ascii);
  EXPECT_TRUE(FileApisAreAnsi());
}

TEST(CodePage, LettersConvertBothWays) {
  // OEM 437 -> Windows-1252: ü, ß, Ä, é, ñ, £.
  EXPECT_EQ(OemToAnsi("\x81\xE1\x8E\x82\xA4\x9C"), "\xFC\xDF\xC4\xE9\xF1\xA3");
  EXPECT_EQ(AnsiToOem("\xFC\xDF\xC4\xE9\xF1\xA3"), "\x81\xE1\x8E\x82\xA4\x9C");
  // The accented letters and currency signs of OEM 0x80-0xA8 all exist in
  // Windows-1252 (but the peseta sign 0x9E) and survive a round trip.
  for (int c = 0x80; c <= 0xA8; ++c) {
    if (c == 0x9E) continue;
    std::string oem(1, static_cast<char>(c));
    EXPECT_GE(static_cast<unsigned char>(OemToAnsi(oem)[0]), 0x80) << "OEM " << c;
    EXPECT_EQ(AnsiToOem(OemToAnsi(oem)), oem) << "OEM " << c;
  }
}

TEST(CodePage, MissingCharactersBecomeLookAlikes) {
  EXPECT_EQ(OemToAnsi("\xC4\xB3\xDA"), "-\xA6+");  // box drawing
  EXPECT_EQ(AnsiToOem("\xC0\xC8"), "AE");          // À and È have no OEM form
}

TEST(CodePage, LongNamesAndZeroBytesKeepTheirLength) {
  std::string name(70000, '\x81');
  name[100] = '\0';
  std::string ansi = OemToAnsi(name);
  ASSERT_EQ(ansi.size(), name.size());
  EXPECT_EQ(ansi[100], '\0');
  EXPECT_EQ(static_cast<unsigned char>(ansi.back()), 0xFC);
}

}  // namespace
}  // namespace vx::platform
