// Rounding to the nearest whole number with ties to the even neighbour, the
// same in every build. The 32-bit Windows build computes floating point in
// the x87's 80-bit registers, where a value that is a tie in double precision
// may be a hair off it (or the other way round) and round the other way; so
// ratios are rounded in integers, and a floating-point value is narrowed to
// a double in memory before it is rounded.
#pragma once

#include <cmath>
#include <cstdint>

namespace vx {

// numerator / denominator rounded to the nearest whole number, a tie going
// to the even neighbour. `denominator` must be positive.
constexpr uint64_t RoundHalfEven(uint64_t numerator, uint64_t denominator) {
  uint64_t quotient = numerator / denominator;
  const uint64_t rest = numerator % denominator;
  // rest * 2 compared without overflowing: rest < denominator.
  const uint64_t other = denominator - rest;
  if (rest > other || (rest == other && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

// `value` rounded to the nearest int32_t, a tie going to the even neighbour;
// values beyond the range give its ends, NaN gives INT32_MIN.
inline int32_t RoundToInt32(double value) {
  // The store drops any extra precision the value was computed with.
  volatile double narrowed = value;
  const double rounded = std::nearbyint(static_cast<double>(narrowed));
  if (!(rounded > -2147483648.0)) return INT32_MIN;
  if (rounded > 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(rounded);
}

}  // namespace vx
