#include "sysinfo/processor_counts.h"

#include <cstdio>

#include "platform/system.h"

namespace vx {

namespace {

constexpr uint32_t kMultiThreadingFlag = 1u << 28;  // leaf 1, EDX

uint32_t Bits(uint32_t value, int low, int count) {
  return (value >> low) & ((count >= 32) ? 0xFFFFFFFFu : ((1u << count) - 1));
}

}  // namespace

ProcessorTopology AmdTopology(uint32_t logical, const CpuIdFunction& cpuid,
                              const HyperThreadingProbe& hyper_threading_active) {
  ProcessorTopology topology{logical, 1, 1};
  if (cpuid(0).eax == 0) return topology;
  const CpuIdRegs leaf1 = cpuid(1);
  if ((leaf1.edx & kMultiThreadingFlag) == 0) return topology;
  const uint32_t per_package = Bits(leaf1.ebx, 16, 8);
  if (per_package == 0) return topology;
  if (cpuid(0x80000000).eax < 0x80000008) return topology;
  topology.cores_per_package = Bits(cpuid(0x80000008).ecx, 0, 8) + 1;
  topology.threads_per_core = per_package / topology.cores_per_package;
  // Fields that claim more cores than logical processors (seen under some
  // virtual machines) must not leave a divisor of zero behind.
  if (topology.threads_per_core == 0) topology.threads_per_core = 1;
  if (topology.threads_per_core > 1 && !hyper_threading_active()) topology.threads_per_core = 1;
  return topology;
}

ProcessorTopology OtherTopology(uint32_t logical, const CpuIdFunction& cpuid,
                                const HyperThreadingProbe& hyper_threading_active) {
  ProcessorTopology topology{logical, 1, 1};
  const uint32_t highest = cpuid(0).eax;
  if (highest >= 4) topology.cores_per_package = Bits(cpuid(4).eax, 26, 6) + 1;
  if (highest == 0) return topology;
  const CpuIdRegs leaf1 = cpuid(1);
  // Hyper-threading is considered on family-15 processors only.
  const bool family15 = Bits(leaf1.eax, 8, 4) == 15 && Bits(leaf1.eax, 20, 4) == 0;
  if (!family15 || (leaf1.edx & kMultiThreadingFlag) == 0) return topology;
  topology.threads_per_core = Bits(leaf1.ebx, 16, 8);
  if (topology.threads_per_core == 0) topology.threads_per_core = 1;
  if (topology.threads_per_core > 1 && !hyper_threading_active()) topology.threads_per_core = 1;
  return topology;
}

ProcessorCounts CountsFromTopology(const ProcessorTopology& topology) {
  ProcessorCounts counts;
  counts.logical = topology.logical;
  counts.cores = counts.logical / topology.threads_per_core;
  counts.physical = counts.cores / topology.cores_per_package;
  return counts;
}

ProcessorCounts ProcessorCountsFor(const std::string& vendor, uint32_t logical,
                                   const CpuIdFunction& cpuid,
                                   const HyperThreadingProbe& hyper_threading_active) {
  if (vendor == "AuthenticAMD") {
    return CountsFromTopology(AmdTopology(logical, cpuid, hyper_threading_active));
  }
  return CountsFromTopology(OtherTopology(logical, cpuid, hyper_threading_active));
}

std::string ProcessorCountsText(const ProcessorCounts& counts) {
  if (counts.logical == 1) return "";
  std::string text;
  char part[48];
  if (counts.logical > counts.cores) {
    std::snprintf(part, sizeof part, "%u logical CPUs", counts.logical);
    text = part;
  }
  if (counts.cores > counts.physical) {
    if (!text.empty()) text += ", ";
    std::snprintf(part, sizeof part, "%u CPU cores", counts.cores);
    text += part;
  }
  if (!text.empty()) text += ", ";
  std::snprintf(part, sizeof part, "%u physical CPU", counts.physical);
  text += part;
  if (counts.physical != 1) text += "s";
  return text;
}

bool HyperThreadingActive(const AffinityControl& control) {
  const platform::AffinityMasks masks = control.get();
  bool active = false;
  try {
    for (uint64_t b = 1; b != 0 && b <= masks.process; b <<= 1) {
      if ((masks.process & b) == 0) continue;
      control.set(b);
      control.yield();  // so that the thread is moved to that processor now
      const uint32_t ebx = control.cpuid(1).ebx;
      const uint32_t per_package = Bits(ebx, 16, 8);
      const uint32_t apic_id = Bits(ebx, 24, 8);
      const uint32_t logical_id = per_package > 1 ? (apic_id & (per_package - 1)) : 0;
      if (logical_id != 0) {
        active = true;
        break;
      }
    }
  } catch (...) {
    try {
      control.set(masks.process);
    } catch (...) {
      // The first failure is the one worth reporting.
    }
    throw;
  }
  control.set(masks.process);
  return active;
}

bool HyperThreadingActive() {
  return HyperThreadingActive(AffinityControl{
      platform::GetProcessAffinity, platform::SetProcessAffinity, platform::YieldTimeSlice, CpuId});
}

ProcessorCounts GetProcessorCounts() {
  return ProcessorCountsFor(CpuVendor(), platform::NumberOfProcessors(), CpuId,
                            [] { return HyperThreadingActive(); });
}

std::string ProcessorCountsText() {
  return ProcessorCountsText(GetProcessorCounts());
}

}  // namespace vx
