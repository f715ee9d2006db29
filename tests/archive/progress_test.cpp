#include "archive/progress.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vx {
namespace {

TEST(Progress, RoundedPercentStaysWithinAHundred) {
  EXPECT_EQ(RoundedPercent(1, 200), 0);      // 0.5 goes down to 0
  EXPECT_EQ(RoundedPercent(3, 200), 2);      // 1.5 goes up to 2
  EXPECT_EQ(RoundedPercent(199, 200), 100);  // 99.5 goes up to 100
  EXPECT_EQ(RoundedPercent(500, 200), 100);
  EXPECT_EQ(RoundedPercent(0, 0), 0);
}

}  // namespace
}  // namespace vx
