#include <gtest/gtest.h>

#include "platform/datetime.h"
#include "platform/errors.h"

namespace vx::platform {
namespace {

TEST(DosDateTime, PacksAndUnpacksWithinTheMsDosRange) {
  struct Case {
    LocalDateTime when;
    uint16_t date, time;
  };
  const Case cases[] = {
      {{1980, 1, 1, 0, 0, 0}, 0x0021, 0x0000},
      {{2024, 2, 29, 23, 59, 58}, static_cast<uint16_t>((44 << 9) | (2 << 5) | 29),
       static_cast<uint16_t>((23 << 11) | (59 << 5) | 29)},
      {{2107, 12, 31, 12, 30, 10}, static_cast<uint16_t>((127 << 9) | (12 << 5) | 31),
       static_cast<uint16_t>((12 << 11) | (30 << 5) | 5)},
  };
  for (const Case& c : cases) {
    uint16_t date = 1, time = 1;
    PackDosDateTime(c.when, date, time);
    EXPECT_EQ(date, c.date) << c.when.year;
    EXPECT_EQ(time, c.time) << c.when.year;
    const auto back = UnpackDosDateTime(date, time);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->year, c.when.year);
    EXPECT_EQ(back->day, c.when.day);
    EXPECT_EQ(back->second, c.when.second);
  }
  // Outside the range both halves are zero; an odd second drops to the step below.
  uint16_t date = 1, time = 1;
  PackDosDateTime({1979, 12, 31, 23, 59, 59}, date, time);
  EXPECT_EQ(date, 0);
  EXPECT_EQ(time, 0);
  PackDosDateTime({2000, 1, 1, 0, 0, 59}, date, time);
  EXPECT_EQ(time & 31, 29);
}

TEST(DosDateTime, RejectsFieldsOutOfRange) {
  const uint16_t noon = 12 << 11;
  EXPECT_FALSE(UnpackDosDateTime((20 << 9) | (13 << 5) | 1, noon));  // month 13
  EXPECT_FALSE(UnpackDosDateTime((20 << 9) | (0 << 5) | 1, noon));   // month 0
  EXPECT_FALSE(UnpackDosDateTime((20 << 9) | (2 << 5) | 30, noon));  // 30 February
  EXPECT_FALSE(UnpackDosDateTime((21 << 9) | (2 << 5) | 29, noon));  // 2001 is no leap year
  EXPECT_TRUE(UnpackDosDateTime((20 << 9) | (2 << 5) | 29, noon));   // 2000 is
  EXPECT_FALSE(UnpackDosDateTime((20 << 9) | (1 << 5) | 1, 24 << 11));
  EXPECT_FALSE(UnpackDosDateTime((20 << 9) | (1 << 5) | 1, 30));  // 60 seconds
}

TEST(SystemErrorLine, OneLineOrANumberedFallback) {
  const std::string denied = SystemErrorLine(kErrorAccessDenied);
  EXPECT_FALSE(denied.empty());
  EXPECT_EQ(denied.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(SystemErrorLine(0x2FFFFFFF), "System error 805306367.");
}

}  // namespace
}  // namespace vx::platform
