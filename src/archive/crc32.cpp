// Portable CRC-32 by slicing: sixteen tables let one step fold sixteen input
// bytes with independent lookups, several times faster than a byte at a time.
// The carry-less multiply path in crc32_x86.cpp is preferred when the
// processor has it.
#include "archive/crc32.h"

namespace vx {

namespace {

struct SliceTables {
  uint32_t t[16][256];
};

// t[k][i]: the register after byte i followed by k zero bytes.
constexpr SliceTables MakeSliceTables() {
  SliceTables s{};
  for (int i = 0; i < 256; ++i) s.t[0][i] = kCrc32Table[i];
  for (int k = 1; k < 16; ++k) {
    for (int i = 0; i < 256; ++i) {
      const uint32_t prev = s.t[k - 1][i];
      s.t[k][i] = (prev >> 8) ^ s.t[0][prev & 0xFF];
    }
  }
  return s;
}

alignas(64) constexpr SliceTables kSlices = MakeSliceTables();

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t Crc32RawTable(uint32_t reg, const uint8_t* p, size_t size) {
  const auto& t = kSlices.t;
  while (size >= 16) {
    const uint32_t a = Load32(p) ^ reg;
    const uint32_t b = Load32(p + 4);
    const uint32_t c = Load32(p + 8);
    const uint32_t d = Load32(p + 12);
    reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    p += 16;
    size -= 16;
  }
  while (size--) reg = Crc32Step(reg, *p++);
  return reg;
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
  static const auto raw = Crc32WideClmulAvailable() ? Crc32RawWideClmul
                          : Crc32ClmulAvailable()   ? Crc32RawClmul
                                                    : Crc32RawTable;
  return ~raw(~crc, static_cast<const uint8_t*>(data), size);
}

}  // namespace vx
