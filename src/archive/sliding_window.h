// The output side of the legacy decoders: the history the back references copy
// from, the 32 KiB output blocks handed to the real output, the running CRC-32
// and the item progress.
//
// Decoding writes straight into one flat buffer:
//
//   [ history (kHistory) | pending output ... | slack ]
//   ^ buf_               ^ block_start_        ^ cursor
//
// The history before the first byte of the member is zero-filled, so a copy
// from before the start of the output yields zero bytes without a test in the
// copy loop (a decoder without such copies may keep bytes of its own there,
// as unshrink does). Whenever the pending output reaches kBlock bytes,
// exactly kBlock bytes go to the output, the CRC and the progress report; so
// the progress percentages are those of a decoder that flushes a 32 KiB
// buffer, however long its copies are. The buffer slides down (keeping
// kHistory bytes) only every few blocks, which keeps the extra copying small.
//
// The decoders hold the cursor in a local pointer while they decode and hand
// it back (SetCursor) before each flush, so their stores need not reload the
// window's fields.
//
// As a TStream the window allows reads and seeks inside what it still holds
// and writes only at its end; the errors carry the window's own texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/stream.h"

namespace vx {

class TabSlidingWindowStream : public TStream {
 public:
  static constexpr size_t kHistory = 32768;    // back references reach at most 8 KiB
  static constexpr size_t kBlock = 32768;      // one flush of the output buffer
  static constexpr size_t kSpan = 4 * kBlock;  // output held between two slides
  // Room past a block boundary for the longest single write: an unshrink
  // string (below 8,192 bytes) or a copy, plus the 8-byte overrun of the
  // fast copy loops.
  static constexpr size_t kSlack = 8192 + 512;

  // `windowed` is false for shrunk members, which the classic decoder wrote
  // straight to the output: a failed write then raises the output's own error
  // rather than the window's.
  TabSlidingWindowStream(TStream& output, uint32_t total, bool windowed);
  ~TabSlidingWindowStream() override;
  TabSlidingWindowStream(const TabSlidingWindowStream&) = delete;
  TabSlidingWindowStream& operator=(const TabSlidingWindowStream&) = delete;

  // Called with each new whole percentage of `total` sent to the output; an
  // abort answer raises EAbUserAbort.
  std::function<void(int32_t percent, bool& abort)> OnProgress;

  // ---- the decoders' interface ----
  uint8_t* Cursor() const { return cursor_; }
  void SetCursor(uint8_t* cursor) { cursor_ = cursor; }
  // When the cursor reaches this mark, call FlushBlocks.
  uint8_t* FlushMark() const { return block_start_ + kBlock; }
  // The first byte still held: copies may reach back to here.
  uint8_t* Base() const { return buf_.get(); }
  // Output position of Base(); negative while the zero history is held.
  int64_t BasePosition() const { return origin_; }
  // Bytes still to produce before the member is complete.
  uint64_t Left() const { return total_ - Produced(); }
  uint64_t Produced() const { return sent_ + static_cast<uint64_t>(cursor_ - block_start_); }
  // Sends every complete block to the output and slides when needed; the
  // cursor may have moved (read it again).
  void FlushBlocks();
  // Sends what is pending (the end of the member, or of the data) and reports
  // its progress.
  void Finish();
  // Sends what is pending without progress, swallowing output errors: used
  // while another error leaves the decoder.
  void Close() noexcept;
  uint32_t Crc() const { return crc_; }

  // ---- TStream ----
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(Produced()); }

 private:
  void Send(const uint8_t* data, size_t size);
  void Report();
  int64_t KeptStart() const;
  uint8_t* Capacity() const { return buf_.get() + kHistory + kSpan + kSlack; }

  TStream& output_;
  int64_t output_start_;
  bool windowed_;
  uint64_t total_;
  std::unique_ptr<uint8_t[]> buf_;
  uint8_t* cursor_;
  uint8_t* block_start_;
  int64_t origin_;  // output position of buf_[0]; negative while in the zero history
  uint64_t sent_ = 0;
  uint32_t crc_ = 0;
  int32_t last_percent_ = 0;
  int64_t position_ = 0;  // TStream position
};

// Copies `length` bytes from `distance` bytes back to `out`, byte after byte
// in effect (a short distance repeats what the copy has just written). May
// write up to 7 bytes past the copy, which the window's slack absorbs.
inline void CopyMatch(uint8_t* out, size_t distance, size_t length) {
  const uint8_t* from = out - distance;
  if (distance >= 8) {
    for (size_t i = 0; i < length; i += 8) {
      uint64_t chunk;
      std::memcpy(&chunk, from + i, 8);
      std::memcpy(out + i, &chunk, 8);
    }
  } else if (distance == 1) {
    std::memset(out, *from, length);
  } else {
    for (size_t i = 0; i < length; ++i) out[i] = from[i];
  }
}

}  // namespace vx
