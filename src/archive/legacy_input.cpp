#include "archive/legacy_input.h"

#include <algorithm>

#include "archive/zdecoder.h"

namespace vx {

bool LegacyInput::FillBlock() {
  if (remaining_ == 0 || read_failed_) return false;
  // Keep the few bytes not yet taken in front of the new block.
  const size_t kept = static_cast<size_t>(end_ - next_);
  std::memmove(buffer_, next_, kept);
  const uint32_t want = std::min<uint32_t>(remaining_, kBlockSize);
  const int64_t got = archive_.Read(buffer_ + kept, want);
  next_ = buffer_;
  end_ = buffer_ + kept;
  if (got <= 0) {
    read_failed_ = true;
    return false;
  }
  if (decoder_ != nullptr) decoder_->Decrypt(buffer_ + kept, static_cast<size_t>(got));
  remaining_ -= static_cast<uint32_t>(got);
  end_ += got;
  return true;
}

void LegacyInput::RefillSlow() {
  // Drop the look-ahead copies above count_: bytes are added one at a time here.
  bits_ &= count_ == 0 ? 0 : ~uint64_t{0} >> (64 - count_);
  while (count_ < kMinBits) {
    if (next_ == end_ && !FillBlock()) {
      count_ += 8;
      pad_bits_ += 8;
      continue;
    }
    if (end_ - next_ >= 8 && count_ < kMinBits) {
      Refill();
      return;
    }
    bits_ |= static_cast<uint64_t>(*next_++) << count_;
    count_ += 8;
  }
}

}  // namespace vx
