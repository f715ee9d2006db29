// CPUID and RDTSC through the compiler's intrinsics: the same on Windows and
// Linux, so this file serves both backends.
#include "platform/cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#define VX_HAVE_X86 1
#endif

namespace vx::platform {

bool CpuIdSupported() {
#ifdef VX_HAVE_X86
  // On i386 the compiler's probe first tests whether EFLAGS.ID can be
  // toggled, the documented way to learn that CPUID exists before executing
  // it; it then answers the highest leaf and leaves the first vendor word in
  // `signature`. A highest leaf of 0 alone is ambiguous, the vendor word is not.
  static const bool supported = [] {
    unsigned int signature = 0;
    return __get_cpuid_max(0, &signature) != 0 || signature != 0;
  }();
  return supported;
#else
  return false;
#endif
}

CpuIdRegs ExecuteCpuId(uint32_t leaf, uint32_t subleaf) {
  CpuIdRegs regs;
#ifdef VX_HAVE_X86
  if (CpuIdSupported()) __cpuid_count(leaf, subleaf, regs.eax, regs.ebx, regs.ecx, regs.edx);
#else
  (void)leaf;
  (void)subleaf;
#endif
  return regs;
}

uint64_t ReadTimeStampCounter() {
#ifdef VX_HAVE_X86
  return __rdtsc();
#else
  return 0;
#endif
}

}  // namespace vx::platform
