// The inflater: decodes DEFLATE (ZIP method 8) and deflate64 (method 9) data
// from a source stream into a destination stream and returns the check value
// of what it produced.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/stream.h"

namespace vx {

// Options and results of one call of Inflate. The inflater works on a copy of
// the inputs and writes back only the two results.
struct TAbDeflateHelper {
  // Bits of `options`: deflate64 (64 KiB window, distance codes 30 and 31,
  // length code 285 with 16 extra bits); Adler-32 instead of CRC-32; test
  // only (decode, check and count, write nothing).
  static constexpr uint32_t kOptionDeflate64 = 0x10;
  static constexpr uint32_t kOptionUseAdler32 = 0x20;
  static constexpr uint32_t kOptionTestOnly = 0x40000000;

  uint32_t options = 15;
  // Compressed bytes expected, the base of input progress; -1 means the whole
  // source stream, 0 switches progress off.
  int64_t stream_size = 0;
  // When positive, decoding stops once this many bytes have been produced
  // and Inflate returns 0.
  int64_t part_size = 0;
  // When not empty, the source is read through TAbDfDecryptStream.
  std::string password;
  // The member's password check value (see TAbZipDecryptEngine).
  uint32_t check_value = 0xFFFFFFFF;
  // Input progress in whole percent, after each refill of the input buffer.
  // It may raise EAbAbortProgress or EAbUserAbort to stop decoding.
  std::function<void(int32_t percent)> OnProgress;
  // A diagnostic log that would only record the start of inflation; this
  // inflater keeps none.
  std::string log_file;

  // Compression settings, kept for callers that share the record with a
  // deflater; inflating ignores them.
  int32_t ample_length = 8;
  int32_t chain_length = 32;
  int32_t max_lazy_length = 16;
  int32_t window_size = 32768;

  // Results: bytes produced, and compressed bytes consumed (after the
  // 12-byte encryption header, when there is a password).
  int64_t normal_size = 0;
  int64_t compressed_size = 0;
};

// Decodes `source` from its current position into `dest`. Returns the
// CRC-32 (or Adler-32) of the output, or 0 when stopped by an abort from
// OnProgress or by `part_size`; in both cases what was decoded is written.
// Afterwards `source` is positioned just after the last compressed byte used.
// Corrupt data raises EAbInflateError; a rejected password
// EAbInflatePasswordError.
uint32_t Inflate(TStream& source, TStream& dest, TAbDeflateHelper& helper);

// The width of the bit buffer the inflater's fast loop keeps in a register.
// Inflate uses the build's choice: the processor's word (32 bits on i686,
// where a 64-bit buffer would take two of its seven registers), unless the
// VX_INFLATE_WORD build option names one. Both loops are in every build and
// give the same results, so tests and the fuzzer run one against the other.
enum class InflateWord { k32 = 32, k64 = 64 };
InflateWord BuildInflateWord();
uint32_t InflateWithWord(InflateWord word, TStream& source, TStream& dest,
                         TAbDeflateHelper& helper);

}  // namespace vx
