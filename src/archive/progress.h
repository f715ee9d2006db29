// The arithmetic of progress events: whole percentages and rounding to the
// nearest with ties to even, in integers so every build reports the same
// numbers.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/rounding.h"

namespace vx {

// round(done * 100 / total), ties to even, never above 100; 0 when total is 0.
// `done` stays below 2^57 so done * 100 fits.
constexpr uint8_t RoundedPercent(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  return static_cast<uint8_t>(std::min<uint64_t>(RoundHalfEven(done * 100, total), 100));
}

// Whole percent of `done` out of `total`, rounded down; totals above
// 16,384,000 are scaled down by 256 first (rounded) so the product stays in
// 32 bits as the event has always reported it. 0 when total <= 0 or
// done <= 0, 100 when done >= total.
constexpr uint8_t Percent(int64_t done, int64_t total) {
  if (total > 16384000) {
    done = (done + 128) / 256;
    total = (total + 128) / 256;
  }
  if (total <= 0 || done <= 0) return 0;
  if (done < total) return static_cast<uint8_t>(done * 100 / total);
  return 100;
}

}  // namespace vx
