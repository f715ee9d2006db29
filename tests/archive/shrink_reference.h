// Test-only counterparts of the unshrink decoder: a plain decoder that reads
// every string by walking its chain through the table as it stands, and a
// shrink encoder that keeps the very same table, so that it grows the code
// size, fills all 8,192 codes, clears partially (when full or whenever asked)
// and reuses the freed codes as a real compressor does. The fuzz target of
// unshrink uses the decoder too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace vx::test {

// The shared code table: codes 0-255 are the bytes, 256 the escape of the
// control sequences, 257-8191 entries (prefix code, last byte). A freed entry
// keeps its contents until it is taken again.
struct ShrinkCodeTable {
  static constexpr uint32_t kSize = 8192;
  static constexpr uint32_t kFirstFree = 257;
  uint16_t prefix[kSize] = {};
  uint8_t suffix[kSize] = {};
  bool in_use[kSize] = {};
  uint32_t top = kFirstFree - 1;  // highest code ever taken
  uint32_t search = kFirstFree;   // no free code below it

  ShrinkCodeTable() {
    for (uint32_t c = 0; c < 256; ++c) {
      suffix[c] = static_cast<uint8_t>(c);
      in_use[c] = true;
    }
  }

  // The string of `code` through the current contents; false when the chain
  // does not reach a byte within kSize steps (it loops).
  bool String(uint32_t code, std::vector<uint8_t>& out) const {
    out.clear();
    for (; code >= 256; code = prefix[code]) {
      if (out.size() == kSize) return false;
      out.push_back(suffix[code]);
    }
    out.push_back(static_cast<uint8_t>(code));
    std::reverse(out.begin(), out.end());
    return true;
  }

  // Codes are only freed by a clear, so the search resumes where it ended.
  uint32_t LowestFree() {
    while (search < kSize && in_use[search]) ++search;
    return search;
  }

  void Take(uint32_t code, uint32_t prefix_code, uint8_t last) {
    prefix[code] = static_cast<uint16_t>(prefix_code);
    suffix[code] = last;
    in_use[code] = true;
    top = std::max(top, code);
  }

  // Frees every entry in use that no entry in use names as its prefix; the
  // freed codes are returned.
  std::vector<uint32_t> PartialClear() {
    std::vector<bool> named(kSize);
    for (uint32_t c = kFirstFree; c <= top; ++c) {
      if (in_use[c]) named[prefix[c]] = true;
    }
    std::vector<uint32_t> freed;
    search = kFirstFree;
    for (uint32_t c = kFirstFree; c <= top; ++c) {
      if (in_use[c] && !named[c]) {
        in_use[c] = false;
        freed.push_back(c);
      }
    }
    return freed;
  }
};

// ---------------------------------------------------------------------------
// The plain decoder.

enum class ShrinkEnd { kComplete, kInputEnded, kDamaged };

struct ShrinkResult {
  std::vector<uint8_t> bytes;
  ShrinkEnd end = ShrinkEnd::kComplete;
};

inline ShrinkResult ReferenceUnshrink(const uint8_t* data, size_t size, uint64_t total) {
  ShrinkResult r;
  ShrinkCodeTable t;
  size_t bit = 0;
  auto take = [&](int32_t n, uint32_t& value) {
    if (bit + n > size * 8) return false;
    value = 0;
    for (int32_t i = 0; i < n; ++i, ++bit) value |= ((data[bit / 8] >> (bit % 8)) & 1u) << i;
    return true;
  };
  constexpr uint32_t kNone = ShrinkCodeTable::kSize;
  int32_t code_size = 9;
  uint32_t previous = kNone;
  std::vector<uint8_t> s;
  auto end = [&r](ShrinkEnd why) {
    r.end = why;
    return r;
  };
  while (r.bytes.size() < total) {
    uint32_t code, control;
    if (!take(code_size, code)) return end(ShrinkEnd::kInputEnded);
    if (code == 256) {
      if (!take(code_size, control)) return end(ShrinkEnd::kInputEnded);
      if (control == 1) {
        code_size = std::min(code_size + 1, 13);
      } else if (control == 2) {
        t.PartialClear();
      } else {
        return end(ShrinkEnd::kDamaged);
      }
      continue;
    }
    const bool defined = t.in_use[code];
    if (defined) {
      if (!t.String(code, s)) return end(ShrinkEnd::kDamaged);
    } else {
      // Not yet defined: the entry this step defines, the previous string
      // followed by its own first byte.
      if (previous == kNone || !t.String(previous, s)) return end(ShrinkEnd::kDamaged);
      s.push_back(s[0]);
    }
    const uint32_t free_code = t.LowestFree();
    uint32_t added = kNone;
    if (previous != kNone && free_code < ShrinkCodeTable::kSize) {
      t.Take(free_code, previous, s[0]);
      added = free_code;
    }
    previous = defined ? code : added;
    const size_t n = std::min<uint64_t>(s.size(), total - r.bytes.size());
    r.bytes.insert(r.bytes.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return r;
}

inline ShrinkResult ReferenceUnshrink(const std::vector<uint8_t>& data, uint64_t total) {
  return ReferenceUnshrink(data.data(), data.size(), total);
}

// ---------------------------------------------------------------------------
// The encoder: greedy longest match over the table the decoder will hold.

struct ShrinkPolicy {
  bool clear_when_full = true;  // else the full table stays as it is
  uint32_t clear_chance = 0;    // also clears before a code with probability 1/clear_chance
  uint32_t seed = 1;
  // Those other clears only once the codes freed by the last one are all
  // taken again (no free code below the highest one taken).
  bool clear_without_holes = false;
};

// What an encoding went through, to check that a test reaches what it means to.
struct ShrinkStats {
  int32_t code_size = 9;
  uint32_t highest_code = 0;  // taken
  uint32_t clears = 0;
  uint32_t reused = 0;  // codes taken again after a clear freed them
};

inline std::vector<uint8_t> Shrink(const std::vector<uint8_t>& input, const ShrinkPolicy& policy,
                                   ShrinkStats* stats = nullptr) {
  ShrinkStats local;
  ShrinkStats& st = stats != nullptr ? *stats : local;
  constexpr uint32_t kNone = ShrinkCodeTable::kSize;
  ShrinkCodeTable t;
  // child[prefix * 256 + byte]: the entry in use with those contents, or 0.
  std::vector<uint16_t> child(size_t{ShrinkCodeTable::kSize} * 256);
  std::mt19937 random(policy.seed);
  std::vector<uint8_t> out;
  uint32_t bit_count = 0;
  auto put = [&](uint32_t value, int32_t n) {
    for (int32_t i = 0; i < n; ++i, ++bit_count) {
      if (bit_count % 8 == 0) out.push_back(0);
      out.back() |= static_cast<uint8_t>(((value >> i) & 1) << (bit_count % 8));
    }
  };
  int32_t code_size = 9;
  uint32_t previous = kNone;
  std::vector<uint8_t> s;
  for (size_t pos = 0; pos < input.size();) {
    uint32_t free_code = t.LowestFree();
    const bool full = free_code == ShrinkCodeTable::kSize;
    const bool holes = free_code < t.top;
    if ((full && policy.clear_when_full) ||
        (policy.clear_chance != 0 && random() % policy.clear_chance == 0 &&
         !(holes && policy.clear_without_holes))) {
      put(256, code_size);
      put(2, code_size);
      ++st.clears;
      for (uint32_t c : t.PartialClear()) {
        uint16_t& slot = child[t.prefix[c] * 256u + t.suffix[c]];
        if (slot == c) slot = 0;
      }
      free_code = t.LowestFree();
    }
    // The longest string the table holds, then the entry this code defines
    // (the previous string and its first byte) when it matches further.
    uint32_t code = input[pos];
    size_t length = 1;
    while (pos + length < input.size()) {
      const uint16_t next = child[code * 256u + input[pos + length]];
      if (next == 0) break;
      code = next;
      ++length;
    }
    const bool defines = previous != kNone && free_code < ShrinkCodeTable::kSize;
    if (defines && t.String(previous, s) && s.size() + 1 > length &&
        pos + s.size() + 1 <= input.size()) {
      s.push_back(s[0]);
      if (std::equal(s.begin(), s.end(), input.begin() + static_cast<std::ptrdiff_t>(pos))) {
        code = free_code;
        length = s.size();
      }
    }
    const uint32_t highest = std::max(code, defines ? free_code : 0);
    while (highest >= (1u << code_size) && code_size < 13) {
      put(256, code_size);
      put(1, code_size);
      ++code_size;
    }
    put(code, code_size);
    if (defines) {
      st.reused += free_code <= t.top;
      t.Take(free_code, previous, input[pos]);
      child[previous * 256u + input[pos]] = static_cast<uint16_t>(free_code);
    }
    previous = code;
    pos += length;
  }
  st.code_size = code_size;
  st.highest_code = t.top;
  return out;
}

}  // namespace vx::test
