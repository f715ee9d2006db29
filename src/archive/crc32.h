// CRC-32 (the reflected polynomial 0xEDB88320 of ZIP) and Adler-32, both
// running checks: start with the value for "nothing" (0 for CRC-32, 1 for
// Adler-32) and pass the previous result to continue over more data; each
// result is the finished check value of everything seen so far.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vx {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
uint32_t Adler32Update(uint32_t adler, const void* data, size_t size);

inline constexpr uint32_t kCrc32Polynomial = 0xEDB88320;

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t reg = i;
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ ((reg & 1) ? kCrc32Polynomial : 0);
    table[i] = reg;
  }
  return table;
}

// Entry i is the register after shifting the byte i through it. The
// traditional ZIP cipher steps its keys with it one byte at a time.
inline constexpr std::array<uint32_t, 256> kCrc32Table = MakeCrc32Table();

// One byte-wise step on a raw (not inverted) CRC register.
inline uint32_t Crc32Step(uint32_t reg, uint8_t byte) {
  return kCrc32Table[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

// The raw-register variants behind Crc32Update, exposed so tests can check
// each path against the others on any machine.
uint32_t Crc32RawTable(uint32_t reg, const uint8_t* data, size_t size);  // slicing-by-16
bool Crc32ClmulAvailable();
bool Crc32WideClmulAvailable();  // the 256-bit form (AVX2 and VPCLMULQDQ)
// Only when available; each falls back to a narrower path for short inputs.
uint32_t Crc32RawClmul(uint32_t reg, const uint8_t* data, size_t size);
uint32_t Crc32RawWideClmul(uint32_t reg, const uint8_t* data, size_t size);

}  // namespace vx
