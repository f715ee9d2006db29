// The xz decoder (ZIP method 95): one or more xz streams with stream
// padding, blocks of LZMA2 data (optionally behind delta filters), each
// block's check (none, CRC-32, CRC-64 or SHA-256) and the index verified.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/method_decoder.h"

namespace vx {

// Returns the bytes written to job.dest.
int64_t DecodeXz(TAbDecodeJob& job);

// The CRC-64 of xz (the reflected ECMA-182 polynomial), a running check
// started at 0 like Crc32Update.
uint64_t Crc64Update(uint64_t crc, const void* data, size_t size);

// SHA-256, for the check of that name.
class TSha256 {
 public:
  TSha256();
  void Update(const void* data, size_t size);
  void Final(uint8_t digest[32]);

 private:
  void Compress(const uint8_t* block);
  uint32_t h_[8];
  uint8_t block_[64];
  size_t fill_ = 0;
  uint64_t total_ = 0;
};

}  // namespace vx
