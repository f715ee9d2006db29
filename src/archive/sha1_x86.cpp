// The SHA-1 block function with the processor's SHA extensions: four rounds
// per instruction, with the message schedule computed four words at a time
// (sha1msg1/sha1msg2) and the fifth state word carried by sha1nexte. Chosen
// at run time; elsewhere the portable rounds run.
#include "archive/sha1.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VX_SHA1_EXTENSIONS 1
#endif

namespace vx {

#ifdef VX_SHA1_EXTENSIONS

#define VX_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

bool Sha1ExtensionsAvailable() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool sse41 = (ecx & bit_SSE4_1) != 0 && (ecx & bit_SSSE3) != 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return sse41 && (ebx & (1u << 29)) != 0;
}

namespace {

// Four groups of four rounds each use one round function; `w` holds the last
// four groups of message words, and `before` the state before the previous
// group (sha1nexte derives that group's fifth word from it).
template <int kFunction>
VX_SHA_TARGET inline void FiveGroups(int first, __m128i& abcd, __m128i& before, __m128i (&w)[4],
                                     const __m128i& e0) {
  for (int g = first; g < first + 5; ++g) {
    if (g >= 4) {
      const __m128i x = _mm_xor_si128(_mm_sha1msg1_epu32(w[g & 3], w[(g + 1) & 3]), w[(g + 2) & 3]);
      w[g & 3] = _mm_sha1msg2_epu32(x, w[(g + 3) & 3]);
    }
    const __m128i e = g == 0 ? _mm_add_epi32(e0, w[0]) : _mm_sha1nexte_epu32(before, w[g & 3]);
    before = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, kFunction);
  }
}

}  // namespace

VX_SHA_TARGET void Sha1CompressExtensions(uint32_t state[5], const uint8_t* p, size_t count) {
  const __m128i byte_swap = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; count > 0; --count, p += 64) {
    __m128i w[4];
    for (int i = 0; i < 4; ++i) {
      w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)),
                              byte_swap);
    }
    const __m128i abcd_start = abcd;
    __m128i before = abcd;
    FiveGroups<0>(0, abcd, before, w, e0);
    FiveGroups<1>(5, abcd, before, w, e0);
    FiveGroups<2>(10, abcd, before, w, e0);
    FiveGroups<3>(15, abcd, before, w, e0);
    e0 = _mm_sha1nexte_epu32(before, e0);
    abcd = _mm_add_epi32(abcd, abcd_start);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#else

bool Sha1ExtensionsAvailable() {
  return false;
}
void Sha1CompressExtensions(uint32_t state[5], const uint8_t* blocks, size_t count) {
  Sha1CompressPortable(state, blocks, count);
}

#endif

}  // namespace vx
