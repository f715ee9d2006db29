// AES with the processor's AES instructions: one instruction per round, and
// eight counter blocks in flight at once, so the instructions' latency is
// hidden behind each other. The round keys are the portable key schedule's,
// whose words already hold the bytes in the order the instructions expect.
// Chosen at run time; elsewhere the portable tables run.
#include "archive/aes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VX_AES_INSTRUCTIONS 1
#endif

namespace vx {

#ifdef VX_AES_INSTRUCTIONS

#define VX_AES_TARGET __attribute__((target("aes,sse4.1")))

bool AesInstructionsAvailable() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_AES) != 0 && (ecx & bit_SSE4_1) != 0;
}

namespace {

VX_AES_TARGET inline __m128i RoundKey(const uint32_t* rk, int r) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rk + 4 * r));
}

// A counter block: the 64-bit counter in the low half, zero above.
VX_AES_TARGET inline __m128i CounterBlock(uint64_t c) {
  return _mm_set_epi64x(0, static_cast<long long>(c));
}

}  // namespace

VX_AES_TARGET void AesEncryptBlockInstructions(const uint32_t* rk, int rounds, const uint8_t* in,
                                               uint8_t* out) {
  __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), RoundKey(rk, 0));
  for (int r = 1; r < rounds; ++r) x = _mm_aesenc_si128(x, RoundKey(rk, r));
  x = _mm_aesenclast_si128(x, RoundKey(rk, rounds));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
}

VX_AES_TARGET void AesCtrInstructions(const uint32_t* rk, int rounds, uint64_t counter,
                                      uint8_t* data, size_t blocks) {
  constexpr int kLanes = 8;
  __m128i keys[15];
  for (int r = 0; r <= rounds; ++r) keys[r] = RoundKey(rk, r);
  while (blocks >= kLanes) {
    __m128i x[kLanes];
    for (int i = 0; i < kLanes; ++i) x[i] = _mm_xor_si128(CounterBlock(counter + i), keys[0]);
    for (int r = 1; r < rounds; ++r) {
      for (int i = 0; i < kLanes; ++i) x[i] = _mm_aesenc_si128(x[i], keys[r]);
    }
    for (int i = 0; i < kLanes; ++i) {
      __m128i* p = reinterpret_cast<__m128i*>(data + 16 * i);
      x[i] = _mm_aesenclast_si128(x[i], keys[rounds]);
      _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), x[i]));
    }
    counter += kLanes;
    data += 16 * kLanes;
    blocks -= kLanes;
  }
  for (; blocks > 0; --blocks, ++counter, data += 16) {
    __m128i x = _mm_xor_si128(CounterBlock(counter), keys[0]);
    for (int r = 1; r < rounds; ++r) x = _mm_aesenc_si128(x, keys[r]);
    x = _mm_aesenclast_si128(x, keys[rounds]);
    __m128i* p = reinterpret_cast<__m128i*>(data);
    _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), x));
  }
}

#else

bool AesInstructionsAvailable() {
  return false;
}
void AesEncryptBlockInstructions(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  AesEncryptBlockPortable(rk, rounds, in, out);
}
void AesCtrInstructions(const uint32_t* rk, int rounds, uint64_t counter, uint8_t* data,
                        size_t blocks) {
  for (; blocks > 0; --blocks, ++counter, data += 16) {
    uint8_t block[16] = {}, keystream[16];
    for (int i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(counter >> (8 * i));
    AesEncryptBlockPortable(rk, rounds, block, keystream);
    for (int i = 0; i < 16; ++i) data[i] ^= keystream[i];
  }
}

#endif

}  // namespace vx
