// Adler-32 (RFC 1950), for the inflater's zlib option. The two sums are
// reduced only every 5,552 bytes: the most that cannot overflow 32 bits.
#include "archive/crc32.h"

namespace vx {

uint32_t Adler32Update(uint32_t adler, const void* data, size_t size) {
  constexpr uint32_t kBase = 65521;
  constexpr size_t kMaxRun = 5552;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t a = adler & 0xFFFF;
  uint32_t b = adler >> 16;
  while (size > 0) {
    size_t run = size < kMaxRun ? size : kMaxRun;
    size -= run;
    while (run >= 8) {
      a += p[0];
      b += a;
      a += p[1];
      b += a;
      a += p[2];
      b += a;
      a += p[3];
      b += a;
      a += p[4];
      b += a;
      a += p[5];
      b += a;
      a += p[6];
      b += a;
      a += p[7];
      b += a;
      p += 8;
      run -= 8;
    }
    while (run--) {
      a += *p++;
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return (b << 16) | a;
}

}  // namespace vx
