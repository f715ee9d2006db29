// The shape every decoder of the newer ZIP methods (bzip2, LZMA, xz, zstd,
// PPMd) shares, so the member dispatch can treat them alike: read at most the
// member's compressed bytes, write what they decode, stop at the declared
// size, and report corrupt input through one exception.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/exception.h"
#include "platform/stream.h"

namespace vx {

// One member's data to decode.
struct TAbDecodeJob {
  // Positioned at the first compressed byte (after any encryption header,
  // already decrypted when the member is encrypted).
  TStream* source = nullptr;
  // Compressed bytes the decoder may read; it never reads past them. -1
  // means up to the end of `source`.
  int64_t compressed_size = -1;
  // Receives the decoded bytes.
  TStream* dest = nullptr;
  // The member's declared uncompressed size. Producing more than this is
  // corrupt input (nothing past it is written); -1 means no limit.
  int64_t output_limit = -1;
  // Memory a decoder may take for its dictionary or model; a member that
  // asks for more is refused with EAbDecompressError before allocating.
  int64_t memory_limit = int64_t{1} << 30;
  // Progress: compressed bytes consumed so far, called now and then (at
  // least once per 64 KiB of input). It may throw to stop decoding.
  std::function<void(int64_t consumed)> OnInput;
};

// Corrupt or unsupported input in one of these decoders. The message says
// what was wrong, for the member's failure report.
class EAbDecompressError : public Exception {
 public:
  EAbDecompressError(const std::string& method, const std::string& cause)
      : Exception(method + " data error: " + cause) {}
};

// Each decoder (in its own file) has this signature and returns the number
// of bytes it wrote to job.dest:
//   int64_t DecodeBzip2(TAbDecodeJob& job);   // method 12
//   int64_t DecodeLzma(TAbDecodeJob& job);    // method 14 (ZIP form: 4-byte version/size header)
//   int64_t DecodeXz(TAbDecodeJob& job);      // method 95
//   int64_t DecodeZstd(TAbDecodeJob& job);    // methods 93 and 20
//   int64_t DecodePpmd(TAbDecodeJob& job);    // method 98

}  // namespace vx
