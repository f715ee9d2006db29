// The processor itself: the CPUID and RDTSC instructions, the high-resolution
// counter the clock rate is measured against, and the process affinity mask
// that lets a caller move the process from processor to processor.
#pragma once

#include <cstdint>

namespace vx::platform {

// The four registers as one CPUID execution leaves them.
struct CpuIdRegs {
  uint32_t eax = 0;
  uint32_t ebx = 0;
  uint32_t ecx = 0;
  uint32_t edx = 0;
};

// False on a processor without CPUID (an early 486) or one that is not x86.
bool CpuIdSupported();
// Executes CPUID with `leaf` in EAX and `subleaf` in ECX; all zero where
// CpuIdSupported() is false.
CpuIdRegs ExecuteCpuId(uint32_t leaf, uint32_t subleaf);
// The time-stamp counter; 0 where there is none.
uint64_t ReadTimeStampCounter();

// The high-resolution performance counter and its ticks per second; both
// raise EOSError when the system cannot read them.
int64_t PerformanceFrequency();
int64_t PerformanceCounter();

// Processors the process may run on, and those the system has (bit n = CPU n).
struct AffinityMasks {
  uint64_t process = 0;
  uint64_t system = 0;
};
// Both raise EOSError on failure.
AffinityMasks GetProcessAffinity();
void SetProcessAffinity(uint64_t process_mask);
// Gives up the rest of the time slice, so that the scheduler can move the
// thread to a processor the affinity now demands.
void YieldTimeSlice();

}  // namespace vx::platform
