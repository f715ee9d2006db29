// CRC-32 (the reflected polynomial 0xEDB88320 of ZIP) and Adler-32, in the
// zlib calling convention: start with the value for "nothing" (0 for CRC-32,
// 1 for Adler-32) and pass the previous result to continue over more data;
// each result is the finished check value of everything seen so far.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vx {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
uint32_t Adler32Update(uint32_t adler, const void* data, size_t size);

// The byte-wise table of the reflected polynomial; entry i is the register
// after shifting the byte i through it. The traditional ZIP cipher steps its
// keys with it one byte at a time.
extern const uint32_t kCrc32Table[256];

// One byte-wise step on a raw (not inverted) CRC register.
inline uint32_t Crc32Step(uint32_t reg, uint8_t byte) {
  return kCrc32Table[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

}  // namespace vx
