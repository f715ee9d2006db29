// LZMA decoding: the ZIP form (method 14) and the core that the xz decoder's
// LZMA2 chunks share: the range decoder, the LZMA symbol state machine and
// the dictionary kept as a circular window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/method_decoder.h"

namespace vx {

// Method 14: a 2-byte encoder version, a 2-byte properties size (5), the
// properties (lc/lp/pb byte and the dictionary size), then one LZMA stream.
// Decoding ends at job.output_limit, or at an end marker (required when the
// size is unknown). Returns the bytes written.
int64_t DecodeLzma(TAbDecodeJob& job);

// Where the window's decoded bytes go, in order, a piece at a time.
class TLzmaSink {
 public:
  virtual ~TLzmaSink() = default;
  virtual void Put(const uint8_t* data, size_t size) = 0;
};

// Compressed bytes of one member, read through a buffer. Every read stays
// within job.compressed_size; progress is reported after every read.
class TLzmaInput {
 public:
  TLzmaInput(TAbDecodeJob& job, const char* method);

  // Makes at least `count` bytes (at most kCapacity - kReadSize) available
  // at Data(); false when the member ends first.
  bool Ensure(size_t count);
  const uint8_t* Data() const { return buffer_.get() + head_; }
  size_t Buffered() const { return tail_ - head_; }
  void Skip(size_t count) { head_ += count; }
  // True when everything the member holds is in the buffer.
  bool Exhausted() const { return left_ == 0 || ended_; }
  // Bytes handed out so far (read from the stream and not still buffered).
  int64_t Consumed() const { return read_ - static_cast<int64_t>(Buffered()); }

  // One byte or `count` bytes; running out is corrupt input.
  uint8_t Byte();
  void Read(uint8_t* dest, size_t count);

  static constexpr size_t kReadSize = 65536;
  static constexpr size_t kCapacity = 2 * kReadSize;

 private:
  void Refill();

  TAbDecodeJob& job_;
  const char* method_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t head_ = 0;
  size_t tail_ = 0;
  int64_t left_;  // bytes the stream may still give
  int64_t read_ = 0;
  bool ended_ = false;
};

// The LZMA decoder proper. The owner sets the dictionary and properties,
// starts a range-coded span, and asks for output up to a limit; the decoded
// bytes pass to the sink whenever Flush is called and before the window
// wraps.
class TLzmaCore {
 public:
  // Largest lc + lp the literal probabilities are sized for.
  static constexpr uint32_t kMaxLcLp = 12;

  enum class Stop { kLimit, kInput, kEndMarker };

  TLzmaCore(const char* method, TLzmaSink& sink) : method_(method), sink_(sink) {}

  // The memory Allocate takes for a dictionary of `dict_size` bytes with
  // literal contexts for lc + lp = `lc_lp`.
  static uint64_t MemoryFor(uint64_t dict_size, uint32_t lc_lp);
  // Sets up the window for distances up to `dict_size` (at least 1) and
  // probabilities for lc + lp up to `max_lc_lp`; the window is made larger
  // for small dictionaries when `memory_limit` leaves room.
  void Allocate(uint32_t dict_size, uint32_t max_lc_lp, int64_t memory_limit);

  // Properties byte (pb * 5 + lp) * 9 + lc; false when out of range or
  // lc + lp exceeds the maximum given to Allocate.
  bool SetProperties(uint32_t props_byte);
  // Forgets the history (flushing what is pending first).
  void ResetDictionary();
  // Resets probabilities, state and distances.
  void ResetState();
  // Starts the range decoder on the 5 bytes at `in`; false when they are
  // not a valid start.
  bool StartRangeCoder(const uint8_t* in);
  static constexpr size_t kRangeCoderStartBytes = 5;

  // Decodes from [in, end) until `count` more bytes are produced, an end
  // marker is read, or (when !final) the input may not hold another
  // symbol. `in` advances over what was used. When `final`, running out of
  // input is corrupt.
  Stop Decode(const uint8_t*& in, const uint8_t* end, bool final, uint64_t count);
  // Appends stored bytes to the history.
  void AppendUncompressed(const uint8_t* data, size_t size);
  // Passes every decoded byte not yet passed to the sink.
  void Flush();

  // Output produced since the last ResetDictionary, and whether a match
  // was cut by the output limit and still has bytes to copy.
  uint64_t Produced() const { return produced_; }
  bool MatchPending() const { return pending_len_ != 0; }

  [[noreturn]] void Fail(const char* cause) const;

 private:
  template <bool kCareful>
  Stop Run(const uint8_t*& in, const uint8_t* end, size_t limit);
  void CopyPending(size_t limit);
  void Advance(size_t limit);

  const char* method_;
  TLzmaSink& sink_;

  // The window: window_size_ bytes of history plus slack for word copies.
  std::unique_ptr<uint8_t[]> window_;
  size_t window_size_ = 0;
  uint32_t dict_size_ = 0;
  size_t pos_ = 0;      // next byte to write
  size_t flushed_ = 0;  // bytes before this went to the sink
  bool wrapped_ = false;
  uint64_t produced_ = 0;

  std::unique_ptr<uint16_t[]> probs_;
  uint32_t max_lc_lp_ = 0;
  uint32_t lc_ = 0, lp_ = 0, pb_ = 0;

  uint32_t range_ = 0, code_ = 0;
  uint32_t state_ = 0;
  uint32_t rep0_ = 0, rep1_ = 0, rep2_ = 0, rep3_ = 0;
  uint32_t pending_len_ = 0;
};

}  // namespace vx
