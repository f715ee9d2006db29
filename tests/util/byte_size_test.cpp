#include "util/byte_size.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(FormatByteSize, PicksTheLargestUnitThatKeepsTheFigureAtOneOrMore) {
  EXPECT_EQ(FormatByteSize(0), "0 bytes");
  EXPECT_EQ(FormatByteSize(512), "512 bytes");
  EXPECT_EQ(FormatByteSize(1536), "1.5KB");
  EXPECT_EQ(FormatByteSize(1048576), "1MB");
  EXPECT_EQ(FormatByteSize(85899345920), "80GB");
  EXPECT_EQ(FormatByteSize(10737418240), "10GB");
  EXPECT_EQ(FormatByteSize(11274289152), "10.5GB");
}

TEST(FormatByteSize, UnitBordersAndDecimalSteps) {
  EXPECT_EQ(FormatByteSize(1023), "1023 bytes");
  EXPECT_EQ(FormatByteSize(1024), "1KB");
  EXPECT_EQ(FormatByteSize(1047552), "1023KB");
  EXPECT_EQ(FormatByteSize(100 * 1048576LL), "100MB");
  EXPECT_EQ(FormatByteSize(10 * 1024), "10KB");
  // Up to 10 keeps two decimals, up to 100 one, above 100 none.
  EXPECT_EQ(FormatByteSize(1280), "1.25KB");
  EXPECT_EQ(FormatByteSize(15 * 1048576LL + 524288), "15.5MB");
  EXPECT_EQ(FormatByteSize(15 * 1048576LL + 550000), "15.5MB");
  EXPECT_EQ(FormatByteSize(150 * 1048576LL + 600000), "151MB");
  // A figure that rounds up to whole units loses its point as well.
  EXPECT_EQ(FormatByteSize(2 * 1024 - 1), "2KB");
}

TEST(FormatByteSize, HugeCountsStayInGigabytes) {
  EXPECT_EQ(FormatByteSize(4096LL * 1024 * 1048576), "4096GB");
  EXPECT_EQ(FormatByteSize(INT64_MAX), "8589934592GB");
}

}  // namespace
}  // namespace vx
