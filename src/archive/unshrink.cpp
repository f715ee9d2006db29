// Each table entry is (prefix code, last byte); codes 0-255 are the bytes
// themselves and 256 is the escape of the two control sequences.
//
// How the compressor's table behaves decides every detail here, and PKZIP's
// own archives settle three of them:
//  - After each code (the first one and control sequences aside) the entry
//    (previous code, first byte of this code's string) takes the lowest free
//    code, also right after a partial clear.
//  - A partial clear frees every code in use above 256 that no code in use
//    names as its prefix. The previous code may be among them, and the entry
//    added next still names it: a freed entry keeps its contents until it is
//    taken again, and strings are always read through the current contents.
//  - So a chain may run through a reused entry, and (in damaged data) even
//    loop. Such strings are expanded by walking the chain onto a stack of
//    8,192 bytes, and a chain that does not end on a byte within that many
//    steps ends the decoding.
//
// Speed: most codes are "stable": a byte, or an entry added on a stable
// prefix that was in use. A code in use keeps its prefix in use (a clear
// frees only codes nobody names), so a stable code's whole chain stays put
// and its string never changes. For those the table keeps the string's
// length and where it last appeared in the output; the string is copied from
// there like an LZ77 match when the window still holds it, or else written
// from its last byte backwards along the chain, exactly `length` steps.
// The string of a new entry is always in the output already: the previous
// code's string followed by the first byte of the current one. Single bytes
// go the same way (their first copies sit in the window's history), which
// spares the decoder a branch it would mispredict on every other code.
#include "archive/unshrink.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace vx {

namespace {

constexpr int32_t kFirstCodeSize = 9;
constexpr int32_t kMaxCodeSize = 13;
constexpr uint32_t kTableSize = 1u << kMaxCodeSize;  // 8,192 codes
constexpr uint32_t kCodeMask = kTableSize - 1;
constexpr uint32_t kEscape = 256;
constexpr uint32_t kFirstFree = 257;
constexpr uint32_t kNone = kTableSize;  // no previous code

struct ShrinkTable {
  uint16_t prefix[kTableSize];
  uint16_t length[kTableSize];    // stable codes: length of the string
  uint32_t position[kTableSize];  // stable codes: output position of the string
  uint8_t suffix[kTableSize];
  uint8_t in_use[kTableSize + 8];  // the 8 past the end stay 1, for NextFree's whole words
  uint8_t stable[kTableSize];
  uint8_t is_prefix[kTableSize];
  uint8_t stack[kTableSize];

  ShrinkTable() {
    for (uint32_t c = 0; c < kTableSize; ++c) {
      prefix[c] = 0;
      length[c] = 1;
      position[c] = 0;
      suffix[c] = static_cast<uint8_t>(c);
      in_use[c] = c < 256;
      stable[c] = c < 256;
    }
    std::memset(in_use + kTableSize, 1, 8);
  }

  // Any code in use: follows the chain through whatever the entries hold now.
  // Returns the length written at `out`, or 0 when the chain does not end on
  // a byte within kTableSize steps.
  uint32_t ExpandWalking(uint32_t code, uint8_t* out) {
    uint8_t* const top = stack + kTableSize;
    uint8_t* p = top;
    while (code >= 256) {
      if (p == stack + 1) return 0;
      *--p = suffix[code];
      code = prefix[code];
    }
    *--p = static_cast<uint8_t>(code);
    const uint32_t n = static_cast<uint32_t>(top - p);
    std::memcpy(out, p, n);
    return n;
  }

  // A stable code above 255: exactly length - 1 steps down its chain.
  void ExpandStable(uint32_t code, uint8_t* out, uint32_t n) const {
    for (uint32_t i = n - 1; i > 0; --i) {
      out[i] = suffix[code];
      code = prefix[code] & kCodeMask;
    }
    out[0] = static_cast<uint8_t>(code);
  }

  // Frees every code above 256 that no code in use names as its prefix.
  // Codes above `top` have never been taken.
  void PartialClear(uint32_t top) {
    std::memset(is_prefix, 0, sizeof is_prefix);
    const size_t end = size_t{top} + 1;
    for (size_t c = kFirstFree; c < end; ++c) is_prefix[prefix[c]] |= in_use[c];
    for (size_t c = kFirstFree; c < end; ++c) in_use[c] &= is_prefix[c];
    scan = kFirstFree;
  }

  // The lowest free code; kTableSize when the table is full. Codes are taken
  // in ascending order between two clears, so the search resumes where the
  // last one ended, eight entries at a time. The last word may reach past
  // the table, into the padding that always reads as taken.
  uint32_t NextFree() {
    constexpr uint64_t kOnes = 0x0101010101010101;
    while (scan < kTableSize) {
      uint64_t word;
      std::memcpy(&word, in_use + scan, 8);
      const uint64_t free_bytes = ~word & kOnes;  // in_use holds 0 or 1
      if (free_bytes != 0) {
        if constexpr (std::endian::native == std::endian::little) {
          scan += static_cast<uint32_t>(std::countr_zero(free_bytes)) / 8;
        } else {
          while (in_use[scan]) ++scan;
        }
        return scan++;
      }
      scan += 8;
    }
    return kTableSize;
  }

  uint32_t scan = kFirstFree;  // no free code below it
};

}  // namespace

void Unshrink(LegacyInput& input, TabSlidingWindowStream& window) {
  if (window.Left() == 0) return;
  auto table = std::make_unique<ShrinkTable>();
  ShrinkTable& t = *table;
  int32_t code_size = kFirstCodeSize;
  uint32_t free_code = t.NextFree();
  uint32_t top = kFirstFree;  // highest code ever taken
  uint32_t previous = kNone;
  uint32_t previous_position = 0;

  uint8_t* out = window.Cursor();
  uint8_t* mark = window.FlushMark();
  uint8_t* base = window.Base();
  int64_t base_position = window.BasePosition();
  uint64_t left = window.Left();

  // The 256 bytes, written just before the output, make a byte one more
  // stable string: it is copied from its last appearance like the others.
  for (uint32_t c = 0; c < 256; ++c) {
    out[static_cast<int32_t>(c) - 256] = static_cast<uint8_t>(c);
    t.position[c] = static_cast<uint32_t>(static_cast<int32_t>(c) - 256);
  }

  // Writes the string of `code` (a byte or a code in use) at `out`; 0 when
  // it cannot be expanded.
  auto expand = [&](uint32_t code, uint32_t now) -> uint32_t {
    if (!t.stable[code]) return t.ExpandWalking(code, out);
    const uint32_t n = t.length[code];
    const uint32_t distance = now - t.position[code];
    if (distance <= static_cast<uint64_t>(out - base)) {
      CopyMatch(out, distance, n);
    } else {
      t.ExpandStable(code, out, n);
    }
    t.position[code] = now;
    return n;
  };

  while (left > 0) {
    // One refill covers the longest step: two codes of 13 bits.
    input.Refill();
    const uint32_t code = input.Take(code_size);
    if (input.Exhausted()) break;

    if (code == kEscape) {
      const uint32_t control = input.Take(code_size);
      if (input.Exhausted()) break;
      if (control == 1) {
        // A compressor may ask once too often; the size never passes 13 bits.
        if (code_size < kMaxCodeSize) ++code_size;
      } else if (control == 2) {
        t.PartialClear(top);
        free_code = t.NextFree();
      } else {
        break;  // no such control sequence: the data is damaged
      }
      continue;
    }

    const uint32_t now = static_cast<uint32_t>(base_position + (out - base));
    uint32_t n;
    if (t.in_use[code]) {
      n = expand(code, now);
    } else {
      // A code not yet defined: the one this very step defines, the
      // previous string followed by its own first byte.
      if (previous == kNone) break;
      n = expand(previous, now);
      if (n != 0) out[n++] = out[0];
    }
    if (n == 0) break;

    uint32_t added = kNone;
    if (previous != kNone && free_code < kTableSize) {
      added = free_code;
      const uint8_t stable = t.in_use[previous] & t.stable[previous];
      t.stable[added] = stable;
      t.length[added] = static_cast<uint16_t>(stable * (t.length[previous] + 1));
      t.position[added] = previous_position;
      t.prefix[added] = static_cast<uint16_t>(previous);
      t.suffix[added] = out[0];
      t.in_use[added] = 1;
      top = std::max(top, added);
      free_code = t.NextFree();
    }
    previous = t.in_use[code] ? code : added;
    previous_position = now;

    const uint32_t produced = static_cast<uint32_t>(std::min<uint64_t>(n, left));
    out += produced;
    left -= produced;
    if (out >= mark) {
      window.SetCursor(out);
      window.FlushBlocks();
      out = window.Cursor();
      mark = window.FlushMark();
      base = window.Base();
      base_position = window.BasePosition();
    }
  }
  window.SetCursor(out);
}

}  // namespace vx
