// The Shannon-Fano codes are described by their lengths only, run-length
// packed: a byte count, then bytes holding (length - 1) in the low nibble and
// (run - 1) in the high nibble. Codes are handed out in order of decreasing
// length (and, among equal lengths, decreasing symbol), each one the previous
// code plus the previous code's weight, as 16-bit values whose top `length`
// bits are the code; the stream carries them most significant bit first.
//
// Decoding is one table lookup per symbol: the table has 2^L entries for the
// longest length L and is indexed by the next L input bits. An entry holds the
// symbol and its length; length 0 marks a bit pattern no code starts with.
//
// A description is rejected before any output when it gives more lengths
// than the tree has symbols, fewer, or lengths that are not a prefix code
// (over-subscribed, or a shorter code colliding with longer ones). A match
// reaches at most 8,192 bytes back, inside the window's zero-filled history,
// and is at most 321 bytes long, inside its slack.
#include "archive/explode.h"

#include <algorithm>
#include <vector>

namespace vx {

namespace {

constexpr int32_t kMaxCodeLength = 16;

class ShannonFanoTable {
 public:
  // Reads one tree description of `symbols` codes; raises EAbImplodeTreeError.
  // Returns false when the input ended inside the description.
  bool Read(LegacyInput& input, uint32_t symbols, const char* name) {
    uint8_t lengths[256];
    input.Refill();
    const uint32_t groups = input.Take(8) + 1;
    uint32_t n = 0;
    for (uint32_t g = 0; g < groups; ++g) {
      input.Refill();
      const uint32_t packed = input.Take(8);
      if (input.Exhausted()) return false;
      const uint32_t run = (packed >> 4) + 1;
      if (n + run > symbols) throw EAbImplodeTreeError(name);
      std::fill_n(lengths + n, run, static_cast<uint8_t>((packed & 0x0F) + 1));
      n += run;
    }
    if (n != symbols) throw EAbImplodeTreeError(name);
    Build(lengths, symbols, name);
    return true;
  }

  // Decodes one symbol; -1 for a bit pattern that starts no code. Needs up
  // to 16 bits buffered.
  int32_t Decode(LegacyInput& input) const {
    const uint16_t entry = table_[input.Peek(bits_)];
    const int32_t length = entry >> 8;
    if (length == 0) return -1;
    input.Consume(length);
    return entry & 0xFF;
  }

 private:
  void Build(const uint8_t* lengths, uint32_t symbols, const char* name) {
    bits_ = *std::max_element(lengths, lengths + symbols);
    table_.assign(size_t{1} << bits_, 0);
    uint32_t code = 0;  // 16-bit code value, plus one bit to see overflow
    for (int32_t length = kMaxCodeLength; length >= 1; --length) {
      const uint32_t weight = 1u << (kMaxCodeLength - length);
      for (int32_t s = static_cast<int32_t>(symbols) - 1; s >= 0; --s) {
        if (lengths[s] != length) continue;
        // The top `length` bits must be free: aligned and below 2^16.
        if ((code & (weight - 1)) != 0 || code + weight > (1u << kMaxCodeLength)) {
          throw EAbImplodeTreeError(name);
        }
        const uint32_t reversed = Reverse(code >> (kMaxCodeLength - length), length);
        const uint16_t entry = static_cast<uint16_t>((length << 8) | s);
        for (uint32_t i = reversed; i < table_.size(); i += 1u << length) table_[i] = entry;
        code += weight;
      }
    }
  }

  static uint32_t Reverse(uint32_t value, int32_t bits) {
    uint32_t r = 0;
    for (int32_t i = 0; i < bits; ++i) r |= ((value >> i) & 1) << (bits - 1 - i);
    return r;
  }

  std::vector<uint16_t> table_;
  int32_t bits_ = 0;
};

}  // namespace

void Explode(LegacyInput& input, TabSlidingWindowStream& window, uint32_t dictionary_size,
             int32_t trees) {
  if (window.Left() == 0) return;
  const bool literal_tree = trees == 3;
  const int32_t low_bits = dictionary_size == 8192 ? 7 : 6;
  const uint32_t min_match = literal_tree ? 3 : 2;

  ShannonFanoTable literals, lengths, distances;
  if (literal_tree && !literals.Read(input, 256, "literal")) return;
  if (!lengths.Read(input, 64, "length")) return;
  if (!distances.Read(input, 64, "distance")) return;

  uint8_t* out = window.Cursor();
  uint8_t* mark = window.FlushMark();
  uint64_t left = window.Left();
  while (left > 0) {
    // One refill covers the longest step: 1 + 7 + 16 + 16 + 8 = 48 bits.
    input.Refill();
    if (input.Take(1) == 1) {
      const int32_t c = literal_tree ? literals.Decode(input) : static_cast<int32_t>(input.Take(8));
      if (c < 0 || input.Exhausted()) break;
      *out++ = static_cast<uint8_t>(c);
      --left;
    } else {
      const uint32_t low = input.Take(low_bits);
      const int32_t high = distances.Decode(input);
      if (high < 0) break;
      int32_t length = lengths.Decode(input);
      if (length < 0) break;
      if (length == 63) length += static_cast<int32_t>(input.Take(8));
      if (input.Exhausted()) break;
      const size_t distance = ((static_cast<size_t>(high) << low_bits) | low) + 1;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(length + min_match, left));
      CopyMatch(out, distance, n);
      out += n;
      left -= n;
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
