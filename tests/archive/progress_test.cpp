#include "archive/progress.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vx {
namespace {

TEST(Progress, RoundHalfEvenGoesToTheEvenNeighbourOnATie) {
  struct Case {
    uint64_t numerator, denominator, expected;
  };
  const Case cases[] = {
      {5, 2, 2},  {7, 2, 4},   {9, 4, 2},  {11, 4, 3},  {0, 7, 0},
      {1, 3, 0},  {2, 3, 1},   {15, 10, 2}, {25, 10, 2}, {26, 10, 3},
      // Near the top of the range: rest * 2 would overflow.
      {UINT64_MAX, UINT64_MAX, 1}, {UINT64_MAX - 1, UINT64_MAX, 1}, {UINT64_MAX / 2, UINT64_MAX, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.numerator, c.denominator), c.expected)
        << c.numerator << " / " << c.denominator;
  }
}

TEST(Progress, RoundedPercentStaysWithinAHundred) {
  EXPECT_EQ(RoundedPercent(1, 200), 0);   // 0.5 goes down to 0
  EXPECT_EQ(RoundedPercent(3, 200), 2);   // 1.5 goes up to 2
  EXPECT_EQ(RoundedPercent(199, 200), 100);  // 99.5 goes up to 100
  EXPECT_EQ(RoundedPercent(500, 200), 100);
  EXPECT_EQ(RoundedPercent(0, 0), 0);
}

}  // namespace
}  // namespace vx
