#include "archive/sliding_window.h"

#include <algorithm>
#include <cstring>

#include "archive/crc32.h"
#include "archive/errors.h"
#include "archive/progress.h"

namespace vx {

namespace {

// The window's failures are coded archive errors without a class of their own.
[[noreturn]] void WindowError(int32_t code) {
  throw EAbException(MessageTextOf(code), code);
}

constexpr int32_t kNotAtEnd = 80;
constexpr int32_t kSeekFailed = 81;
constexpr int32_t kWriteFailed = 82;
constexpr int32_t kInvalidOrigin = 83;
constexpr int32_t kInvalidPosition = 84;

}  // namespace

TabSlidingWindowStream::TabSlidingWindowStream(TStream& output, uint32_t total, bool windowed)
    : output_(output),
      output_start_(windowed ? output.Position() : 0),
      windowed_(windowed),
      total_(total),
      buf_(new uint8_t[kHistory + kSpan + kSlack]),
      cursor_(buf_.get() + kHistory),
      block_start_(cursor_),
      origin_(-static_cast<int64_t>(kHistory)) {
  // Only the history before the first byte is ever read before it is written.
  std::memset(buf_.get(), 0, kHistory);
}

TabSlidingWindowStream::~TabSlidingWindowStream() = default;

void TabSlidingWindowStream::Send(const uint8_t* data, size_t size) {
  if (size == 0) return;
  if (windowed_) {
    const int64_t at = output_start_ + static_cast<int64_t>(sent_);
    if (output_.Seek(at, soBeginning) != at) WindowError(kSeekFailed);
    if (output_.Write(data, static_cast<int64_t>(size)) != static_cast<int64_t>(size)) {
      WindowError(kWriteFailed);
    }
  } else {
    output_.WriteBuffer(data, static_cast<int64_t>(size));
  }
  crc_ = Crc32Update(crc_, data, size);
  sent_ += size;
}

void TabSlidingWindowStream::Report() {
  const int32_t percent = Percent(sent_, total_);
  if (percent == last_percent_) return;
  last_percent_ = percent;
  bool abort = false;
  if (OnProgress) OnProgress(percent, abort);
  if (abort) throw EAbUserAbort();
}

void TabSlidingWindowStream::FlushBlocks() {
  while (static_cast<size_t>(cursor_ - block_start_) >= kBlock) {
    Send(block_start_, kBlock);
    block_start_ += kBlock;
    Report();
  }
  if (block_start_ + kBlock + kSlack > Capacity()) {
    // Keep kHistory bytes before the pending output; the pending part is
    // shorter than one block.
    uint8_t* keep = block_start_ - kHistory;
    const size_t shift = static_cast<size_t>(keep - buf_.get());
    std::memmove(buf_.get(), keep, static_cast<size_t>(cursor_ - keep));
    origin_ += static_cast<int64_t>(shift);
    block_start_ -= shift;
    cursor_ -= shift;
  }
}

void TabSlidingWindowStream::Finish() {
  FlushBlocks();
  const size_t pending = static_cast<size_t>(cursor_ - block_start_);
  Send(block_start_, pending);
  block_start_ = cursor_;
  Report();
}

void TabSlidingWindowStream::Close() noexcept {
  try {
    Send(block_start_, static_cast<size_t>(cursor_ - block_start_));
    block_start_ = cursor_;
  } catch (...) {
    // The error that is already leaving the decoder is the one to report.
  }
}

int64_t TabSlidingWindowStream::KeptStart() const {
  return std::max<int64_t>(0, origin_);
}

int64_t TabSlidingWindowStream::Read(void* buffer, int64_t count) {
  const int64_t end = static_cast<int64_t>(Produced());
  const int64_t n = std::clamp<int64_t>(end - position_, 0, std::max<int64_t>(count, 0));
  if (n > 0) {
    std::memcpy(buffer, buf_.get() + (position_ - origin_), static_cast<size_t>(n));
    position_ += n;
  }
  return n;
}

int64_t TabSlidingWindowStream::Write(const void* buffer, int64_t count) {
  if (position_ != static_cast<int64_t>(Produced())) WindowError(kNotAtEnd);
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t left = std::max<int64_t>(count, 0);
  while (left > 0) {
    const int64_t room = FlushMark() - cursor_;
    const int64_t n = std::min(left, room);
    std::memcpy(cursor_, in, static_cast<size_t>(n));
    cursor_ += n;
    in += n;
    left -= n;
    FlushBlocks();
  }
  position_ = static_cast<int64_t>(Produced());
  return std::max<int64_t>(count, 0);
}

int64_t TabSlidingWindowStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t end = static_cast<int64_t>(Produced());
  int64_t target;
  switch (origin) {
    case soBeginning:
      target = offset;
      break;
    case soCurrent:
      target = position_ + offset;
      break;
    case soEnd:
      target = end + offset;
      break;
    default:
      WindowError(kInvalidOrigin);
  }
  if (target < KeptStart() || target > end) WindowError(kInvalidPosition);
  position_ = target;
  return position_;
}

}  // namespace vx
