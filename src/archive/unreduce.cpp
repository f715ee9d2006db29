// Two layers. Below, every byte is coded against the follower set of the
// byte before it: a 1 bit and 8 raw bits, or a 0 bit and an index into the
// set (or 8 raw bits when the set is empty). Above, byte 144 (DLE) escapes
// copies: DLE 0 is a literal 144; DLE V [extra] D copies
// (V & mask) [+ extra] + 3 bytes from ((V >> (8 - factor)) * 256 + D + 1)
// bytes back.
//
// A set holds at most 63 followers (a 6-bit count) and an index has at most
// 6 bits, so indexes address a 64-entry row and can never leave it; entries
// past the count are zero. Copies reach at most 4,096 bytes back, inside the
// window's zero-filled history.
#include "archive/unreduce.h"

#include <algorithm>
#include <memory>

#include "archive/errors.h"

namespace vx {

namespace {

constexpr uint8_t kDle = 144;

struct FollowerSets {
  uint8_t followers[256][64] = {};
  uint8_t count[256] = {};
  uint8_t index_bits[256] = {};
};

// Bits needed to number `n` followers, at least 1.
uint8_t IndexBits(uint32_t n) {
  uint8_t bits = 1;
  while ((1u << bits) < n) ++bits;
  return bits;
}

}  // namespace

void Unreduce(LegacyInput& input, TabSlidingWindowStream& window, int32_t factor) {
  if (factor < 1 || factor > 4) throw EAbZipInvalidFactor();
  if (window.Left() == 0) return;

  auto sets = std::make_unique<FollowerSets>();
  for (int32_t i = 255; i >= 0; --i) {
    input.Refill();
    const uint32_t n = input.Take(6);
    sets->count[i] = static_cast<uint8_t>(n);
    sets->index_bits[i] = IndexBits(n);
    for (uint32_t j = 0; j < n; ++j) {
      input.Refill();
      sets->followers[i][j] = static_cast<uint8_t>(input.Take(8));
    }
    if (input.Exhausted()) return;
  }

  const uint32_t length_mask = 0x7Fu >> (factor - 1);
  const int32_t distance_shift = 8 - factor;
  uint32_t last = 0;
  // The next byte of the lower layer.
  auto next_byte = [&]() -> uint32_t {
    input.Refill();
    if (sets->count[last] == 0 || input.Take(1) == 1) {
      last = input.Take(8);
    } else {
      last = sets->followers[last][input.Take(sets->index_bits[last])];
    }
    return last;
  };

  uint8_t* out = window.Cursor();
  uint8_t* mark = window.FlushMark();
  uint64_t left = window.Left();
  while (left > 0) {
    const uint32_t c = next_byte();
    if (c != kDle) {
      if (input.Exhausted()) break;
      *out++ = static_cast<uint8_t>(c);
      --left;
    } else {
      const uint32_t v = next_byte();
      if (v == 0) {
        if (input.Exhausted()) break;
        *out++ = kDle;
        --left;
      } else {
        uint32_t length = v & length_mask;
        if (length == length_mask) length += next_byte();
        const uint32_t distance = ((v >> distance_shift) << 8) + next_byte() + 1;
        if (input.Exhausted()) break;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(length + 3, left));
        CopyMatch(out, distance, n);
        out += n;
        left -= n;
      }
    }
    if (out >= mark) {
      window.SetCursor(out);
      window.FlushBlocks();
      out = window.Cursor();
      mark = window.FlushMark();
    }
  }
  window.SetCursor(out);
}

}  // namespace vx
