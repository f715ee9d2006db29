#include "platform/rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace vx {
namespace {

TEST(Rounding, RoundHalfEvenGoesToTheEvenNeighbourOnATie) {
  struct Case {
    uint64_t numerator, denominator, expected;
  };
  const Case cases[] = {
      {5, 2, 2},
      {7, 2, 4},
      {9, 4, 2},
      {11, 4, 3},
      {0, 7, 0},
      {1, 3, 0},
      {2, 3, 1},
      {15, 10, 2},
      {25, 10, 2},
      {26, 10, 3},
      // Near the top of the range: rest * 2 would overflow.
      {UINT64_MAX, UINT64_MAX, 1},
      {UINT64_MAX - 1, UINT64_MAX, 1},
      {UINT64_MAX / 2, UINT64_MAX, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.numerator, c.denominator), c.expected)
        << c.numerator << " / " << c.denominator;
  }
}

TEST(Rounding, RoundToInt32TiesRangeAndWiderRegisters) {
  // A product computed at run time: 0.1 * 5 is a hair above 0.5, which a
  // double cannot hold, so in double precision it is the tie 0.5 and goes to
  // 0; kept in the x87's 80-bit registers it would round up to 1.
  volatile double tenth = 0.1;
  volatile double five = 5;
  EXPECT_EQ(RoundToInt32(tenth * five), 0);

  struct Case {
    double value;
    int32_t expected;
  };
  const Case cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {87.5, 88},
      {-0.5, 0},
      {-1.5, -2},
      {2.4999999, 2},
      {2.5000001, 3},
      {3e9, INT32_MAX},
      {-3e9, INT32_MIN},
      {2147483647.0, INT32_MAX},
      {std::numeric_limits<double>::quiet_NaN(), INT32_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(RoundToInt32(c.value), c.expected) << c.value;
}

}  // namespace
}  // namespace vx
