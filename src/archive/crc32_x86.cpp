// CRC-32 with the carry-less multiply instruction: the data is folded 64 bytes
// at a time into four 128-bit accumulators (each multiply moves a lane forward
// by a fixed distance modulo the polynomial), the lanes are folded into one,
// and a Barrett reduction turns the last 128 bits into the 32-bit register.
// Processors with the 256-bit form fold 128 bytes at a time the same way.
// The constants are x^n mod P for the fold distances, bit-reflected to match
// ZIP's reflected CRC. Chosen at run time; other processors use the tables.
#include "archive/crc32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VX_CRC32_CLMUL 1
#endif

namespace vx {

#ifdef VX_CRC32_CLMUL

#define VX_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))
#define VX_WIDE_CLMUL_TARGET __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1")))

bool Crc32ClmulAvailable() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
}

bool Crc32WideClmulAvailable() {
  static const bool available = Crc32ClmulAvailable() && __builtin_cpu_supports("avx2") &&
                                __builtin_cpu_supports("vpclmulqdq");
  return available;
}

namespace {

// Fold distances (low lane constant, high lane constant): x^(d+32) and
// x^(d-32) mod P, reflected.
constexpr int64_t k1024Lo = 0x1e88ef372, k1024Hi = 0x14a7fe880;
constexpr int64_t k512Lo = 0x154442bd4, k512Hi = 0x1c6e41596;
constexpr int64_t k256Lo = 0x0f1da05aa, k256Hi = 0x15a546366;
constexpr int64_t k128Lo = 0x1751997d0, k128Hi = 0x0ccaa009e;
// 64 -> 32 bits, and the Barrett pair (P' and mu).
constexpr int64_t k64 = 0x163cd6124;
constexpr int64_t kPoly = 0x1db710641, kMu = 0x1f7011641;

VX_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

VX_CLMUL_TARGET inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds the remaining 16-byte blocks into `x`, reduces it to the register
// and finishes the last bytes with the tables.
VX_CLMUL_TARGET uint32_t Finish(__m128i x, const uint8_t* p, size_t size) {
  const __m128i k128 = _mm_set_epi64x(k128Hi, k128Lo);
  while (size >= 16) {
    x = Fold(x, k128, Load(p));
    p += 16;
    size -= 16;
  }
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  // 128 -> 64 bits.
  x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k128, 0x10));
  // 64 -> 32 bits (kept in bits 32..95 of the lane).
  x = _mm_xor_si128(_mm_srli_si128(x, 4),
                    _mm_clmulepi64_si128(_mm_and_si128(x, low32), _mm_set_epi64x(0, k64), 0x00));
  // Barrett reduction.
  const __m128i barrett = _mm_set_epi64x(kMu, kPoly);
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  x = _mm_xor_si128(x, t);
  const uint32_t reg = static_cast<uint32_t>(_mm_extract_epi32(x, 1));
  return Crc32RawTable(reg, p, size);
}

VX_WIDE_CLMUL_TARGET inline __m256i Fold256(__m256i x, __m256i k, __m256i next) {
  const __m256i lo = _mm256_clmulepi64_epi128(x, k, 0x00);
  const __m256i hi = _mm256_clmulepi64_epi128(x, k, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(lo, hi), next);
}

VX_WIDE_CLMUL_TARGET inline __m256i Load256(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

}  // namespace

VX_CLMUL_TARGET uint32_t Crc32RawClmul(uint32_t reg, const uint8_t* p, size_t size) {
  if (size < 64) return Crc32RawTable(reg, p, size);
  const __m128i k512 = _mm_set_epi64x(k512Hi, k512Lo);
  const __m128i k128 = _mm_set_epi64x(k128Hi, k128Lo);
  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = Load(p + 16);
  __m128i x2 = Load(p + 32);
  __m128i x3 = Load(p + 48);
  p += 64;
  size -= 64;
  while (size >= 64) {
    x0 = Fold(x0, k512, Load(p));
    x1 = Fold(x1, k512, Load(p + 16));
    x2 = Fold(x2, k512, Load(p + 32));
    x3 = Fold(x3, k512, Load(p + 48));
    p += 64;
    size -= 64;
  }
  __m128i x = Fold(x0, k128, x1);
  x = Fold(x, k128, x2);
  x = Fold(x, k128, x3);
  return Finish(x, p, size);
}

VX_WIDE_CLMUL_TARGET uint32_t Crc32RawWideClmul(uint32_t reg, const uint8_t* p, size_t size) {
  if (size < 256) return Crc32RawClmul(reg, p, size);
  const __m256i k1024 = _mm256_set_epi64x(k1024Hi, k1024Lo, k1024Hi, k1024Lo);
  const __m256i k256 = _mm256_set_epi64x(k256Hi, k256Lo, k256Hi, k256Lo);
  __m256i y0 = _mm256_xor_si256(Load256(p),
                                _mm256_castsi128_si256(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m256i y1 = Load256(p + 32);
  __m256i y2 = Load256(p + 64);
  __m256i y3 = Load256(p + 96);
  p += 128;
  size -= 128;
  while (size >= 128) {
    y0 = Fold256(y0, k1024, Load256(p));
    y1 = Fold256(y1, k1024, Load256(p + 32));
    y2 = Fold256(y2, k1024, Load256(p + 64));
    y3 = Fold256(y3, k1024, Load256(p + 96));
    p += 128;
    size -= 128;
  }
  __m256i y = Fold256(y0, k256, y1);
  y = Fold256(y, k256, y2);
  y = Fold256(y, k256, y3);
  while (size >= 32) {
    y = Fold256(y, k256, Load256(p));
    p += 32;
    size -= 32;
  }
  // The lower lane holds the earlier data: fold it onto the upper one.
  const __m128i x = Fold(_mm256_castsi256_si128(y), _mm_set_epi64x(k128Hi, k128Lo),
                         _mm256_extracti128_si256(y, 1));
  return Finish(x, p, size);
}

#else

bool Crc32ClmulAvailable() {
  return false;
}
bool Crc32WideClmulAvailable() {
  return false;
}
uint32_t Crc32RawClmul(uint32_t reg, const uint8_t* p, size_t size) {
  return Crc32RawTable(reg, p, size);
}
uint32_t Crc32RawWideClmul(uint32_t reg, const uint8_t* p, size_t size) {
  return Crc32RawTable(reg, p, size);
}

#endif

}  // namespace vx
