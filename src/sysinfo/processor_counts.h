// Logical processors, cores and physical packages, from the count Windows
// reports and the processor's CPUID topology fields, with a real test of
// whether hyper-threading is active.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/cpu.h"
#include "sysinfo/cpu_id.h"

namespace vx {

struct ProcessorCounts {
  uint32_t logical = 0;
  uint32_t cores = 0;
  uint32_t physical = 0;
};

// The intermediate of one count: n logical processors, threads per core and
// cores per package (both at least 1).
struct ProcessorTopology {
  uint32_t logical = 0;
  uint32_t threads_per_core = 1;
  uint32_t cores_per_package = 1;
};

// Asked only when the CPUID fields claim more than one thread per core.
using HyperThreadingProbe = std::function<bool()>;

// AMD: cores from extended leaf 0x80000008, threads from leaf 1's count.
ProcessorTopology AmdTopology(uint32_t logical, const CpuIdFunction& cpuid,
                              const HyperThreadingProbe& hyper_threading_active);
// Everyone else: cores from leaf 4; threads only on family-15 processors.
ProcessorTopology OtherTopology(uint32_t logical, const CpuIdFunction& cpuid,
                                const HyperThreadingProbe& hyper_threading_active);

ProcessorCounts CountsFromTopology(const ProcessorTopology& topology);

// The counts for a vendor text ("AuthenticAMD" picks the AMD rules).
ProcessorCounts ProcessorCountsFor(const std::string& vendor, uint32_t logical,
                                   const CpuIdFunction& cpuid,
                                   const HyperThreadingProbe& hyper_threading_active);

// "" for one logical processor; otherwise e.g. "2 logical CPUs, 1 physical CPU".
std::string ProcessorCountsText(const ProcessorCounts& counts);

// The operations HyperThreadingActive needs, replaceable for tests.
struct AffinityControl {
  std::function<platform::AffinityMasks()> get;
  std::function<void(uint64_t)> set;
  std::function<void()> yield;
  CpuIdFunction cpuid;
};
// Moves the process to each processor of its affinity mask in turn and reads
// that processor's initial APIC id: true as soon as one is not the first
// logical processor of its core. The mask is restored in every case; failures
// to read or change it raise EOSError.
bool HyperThreadingActive(const AffinityControl& control);
bool HyperThreadingActive();

// This machine's counts and their text.
ProcessorCounts GetProcessorCounts();
std::string ProcessorCountsText();

}  // namespace vx
