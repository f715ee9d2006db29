// The input side of the legacy decoders: compressed bytes read from the
// archive in blocks of at most 4,096 bytes, never past the member's
// compressed size, decrypted as they arrive, and taken as bits least
// significant first.
//
// Bit buffer invariant: after Refill() at least kMinBits bits are buffered,
// so a decoder may Peek and Consume up to kMinBits bits per refill. Past the
// end of the member's data the buffer is fed zero bits, counted in
// pad_bits_; the decoders test Exhausted() once per symbol instead of testing
// for the end on every bit. A member whose archive ends before its
// compressed size has been read is only an error (EAbReadError) if the
// decoder actually needs the missing bits: ReadFailed() tells the two ends
// apart.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/stream.h"

namespace vx {

class TAbZDecoder;

class LegacyInput {
 public:
  static constexpr int32_t kMinBits = 56;
  static constexpr size_t kBlockSize = 4096;

  LegacyInput(TStream& archive, uint32_t compressed_size, TAbZDecoder* decoder)
      : archive_(archive), remaining_(compressed_size), decoder_(decoder) {}

  inline void Refill() {
    if (count_ >= kMinBits) return;
    if (end_ - next_ >= 8) {
      // Load 8 bytes at once and keep the whole bytes that fit; the bits
      // above count_ then hold copies of the bytes still ahead of next_.
      bits_ |= Load64(next_) << count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
    } else {
      RefillSlow();
    }
  }

  uint32_t Peek(int32_t n) const { return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1)); }
  void Consume(int32_t n) {
    bits_ >>= n;
    count_ -= n;
  }
  uint32_t Take(int32_t n) {
    const uint32_t v = Peek(n);
    Consume(n);
    return v;
  }

  // True once a bit past the end of the member's data has been consumed.
  bool Exhausted() const { return count_ < pad_bits_; }
  // True when the archive ended before the member's compressed size.
  bool ReadFailed() const { return read_failed_; }

 private:
  static uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
  }
  void RefillSlow();
  bool FillBlock();

  TStream& archive_;
  uint32_t remaining_;  // compressed bytes not yet read from the archive
  TAbZDecoder* decoder_;
  uint64_t bits_ = 0;
  int32_t count_ = 0;
  int32_t pad_bits_ = 0;
  bool read_failed_ = false;
  uint8_t buffer_[kBlockSize + 8];
  const uint8_t* next_ = buffer_;
  const uint8_t* end_ = buffer_;
};

}  // namespace vx
