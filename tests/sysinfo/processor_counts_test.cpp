#include "sysinfo/processor_counts.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "fake_cpu.h"
#include "platform/system.h"

namespace vx {
namespace {

using test::FakeCpu;

constexpr uint32_t kMultiThreading = 1u << 28;

// A hyper-threading probe that answers `active` and counts its calls.
struct Probe {
  bool active;
  int calls = 0;
  HyperThreadingProbe Function() {
    return [this] {
      ++calls;
      return active;
    };
  }
};

std::string CountsText(const std::string& vendor, uint32_t logical, const FakeCpu& cpu,
                       Probe& probe) {
  return ProcessorCountsText(ProcessorCountsFor(vendor, logical, cpu.Function(), probe.Function()));
}

TEST(ProcessorCountsText, NamesOnlyTheCountsThatDiffer) {
  EXPECT_EQ(ProcessorCountsText({1, 1, 1}), "");
  EXPECT_EQ(ProcessorCountsText({2, 1, 1}), "2 logical CPUs, 1 physical CPU");
  EXPECT_EQ(ProcessorCountsText({2, 2, 1}), "2 CPU cores, 1 physical CPU");
  EXPECT_EQ(ProcessorCountsText({2, 2, 2}), "2 physical CPUs");
  EXPECT_EQ(ProcessorCountsText({4, 2, 1}), "4 logical CPUs, 2 CPU cores, 1 physical CPU");
  EXPECT_EQ(ProcessorCountsText({8, 4, 2}), "8 logical CPUs, 4 CPU cores, 2 physical CPUs");
  EXPECT_EQ(ProcessorCountsText({0, 0, 0}), "0 physical CPUs");
}

TEST(ProcessorCounts, AmdCoresComeFromTheExtendedLeaf) {
  // Two cores, no hyper-threading: p = 2 with two cores per package.
  FakeCpu dual_core;
  dual_core.Vendor("AuthenticAMD", 1)
      .Leaf(1, 0x00040FB1, 0x00020800, 0, kMultiThreading)
      .Leaf(0x80000000, 0x80000008)
      .Leaf(0x80000008, 0x3030, 0, 0x01);
  Probe probe{true};
  ProcessorCounts counts =
      ProcessorCountsFor("AuthenticAMD", 2, dual_core.Function(), probe.Function());
  EXPECT_EQ(counts.logical, 2u);
  EXPECT_EQ(counts.cores, 2u);
  EXPECT_EQ(counts.physical, 1u);
  EXPECT_EQ(probe.calls, 0);  // one thread per core: nothing to probe

  // Without the extended leaf everything stays one per package.
  FakeCpu old;
  old.Vendor("AuthenticAMD", 1).Leaf(1, 0x00000F48, 0x00020800, 0, kMultiThreading);
  old.Leaf(0x80000000, 0x80000001);
  EXPECT_EQ(CountsText("AuthenticAMD", 2, old, probe), "2 physical CPUs");

  // Two threads per core count only while hyper-threading is really active.
  FakeCpu smt;
  smt.Vendor("AuthenticAMD", 1)
      .Leaf(1, 0, 0x00040000, 0, kMultiThreading)
      .Leaf(0x80000000, 0x80000008)
      .Leaf(0x80000008, 0, 0, 0x01);
  Probe on{true}, off{false};
  EXPECT_EQ(CountsText("AuthenticAMD", 4, smt, on), "4 logical CPUs, 2 CPU cores, 1 physical CPU");
  EXPECT_EQ(on.calls, 1);
  EXPECT_EQ(CountsText("AuthenticAMD", 4, smt, off), "4 CPU cores, 2 physical CPUs");
}

TEST(ProcessorCounts, AmdFieldsClaimingMoreCoresThanThreadsDoNotDivideByZero) {
  FakeCpu odd;
  odd.Vendor("AuthenticAMD", 1)
      .Leaf(1, 0, 0x00020000, 0, kMultiThreading)
      .Leaf(0x80000000, 0x80000008)
      .Leaf(0x80000008, 0, 0, 0x03);  // four cores, but only two logical per package
  Probe probe{true};
  ProcessorCounts counts = ProcessorCountsFor("AuthenticAMD", 2, odd.Function(), probe.Function());
  EXPECT_EQ(counts.logical, 2u);
  EXPECT_EQ(counts.cores, 2u);
  EXPECT_EQ(counts.physical, 0u);
}

TEST(ProcessorCounts, IntelFamily15HyperThreading) {
  FakeCpu p4;
  p4.Vendor("GenuineIntel", 2).Leaf(1, 0x00000F29, 0x00020800, 0, kMultiThreading);
  Probe on{true}, off{false};
  EXPECT_EQ(CountsText("GenuineIntel", 2, p4, on), "2 logical CPUs, 1 physical CPU");
  EXPECT_EQ(on.calls, 1);
  // Hyper-threading switched off in the firmware: two real processors.
  EXPECT_EQ(CountsText("GenuineIntel", 2, p4, off), "2 physical CPUs");

  // Without the multi-threading flag, or with an extended family, nothing is probed.
  FakeCpu no_flag;
  no_flag.Vendor("GenuineIntel", 2).Leaf(1, 0x00000F29, 0x00020800, 0, 0);
  FakeCpu extended;
  extended.Vendor("GenuineIntel", 2).Leaf(1, 0x00100F29, 0x00020800, 0, kMultiThreading);
  Probe unused{true};
  EXPECT_EQ(CountsText("GenuineIntel", 2, no_flag, unused), "2 physical CPUs");
  EXPECT_EQ(CountsText("GenuineIntel", 2, extended, unused), "2 physical CPUs");
  EXPECT_EQ(unused.calls, 0);
}

TEST(ProcessorCounts, IntelCoresComeFromLeaf4) {
  FakeCpu core2;
  core2.Vendor("GenuineIntel", 10)
      .Leaf(1, 0x000006F6, 0x00020800, 0, kMultiThreading)
      .Leaf(4, 0x04000121);  // bits 26-31 = 1: two cores per package
  Probe probe{true};
  EXPECT_EQ(CountsText("GenuineIntel", 2, core2, probe), "2 CPU cores, 1 physical CPU");
  EXPECT_EQ(probe.calls, 0);  // family 6 is never probed for hyper-threading

  // Any vendor but AMD takes the same rules; one processor has no text.
  FakeCpu single;
  single.Vendor("GenuineIntel", 1).Leaf(1, 0x00000525);
  EXPECT_EQ(CountsText("GenuineIntel", 1, single, probe), "");
  FakeCpu none;
  none.Vendor("CyrixInstead", 0);
  EXPECT_EQ(CountsText("CyrixInstead", 2, none, probe), "2 physical CPUs");
}

// Affinity operations on a pretend machine, recording every change.
struct FakeAffinity {
  uint64_t process_mask;
  uint64_t current;
  std::vector<uint64_t> visited;
  std::map<uint64_t, uint32_t> apic_ebx;  // leaf 1 EBX seen on each processor
  uint64_t fail_on = 0;

  AffinityControl Control() {
    return AffinityControl{[this] {
                             return platform::AffinityMasks{process_mask, 0xFF};
                           },
                           [this](uint64_t mask) {
                             if (mask == fail_on) throw std::runtime_error("refused");
                             current = mask;
                             if (mask != process_mask) visited.push_back(mask);
                           },
                           [] {},
                           [this](uint32_t) {
                             return CpuIdRegs{0, apic_ebx[current], 0, 0};
                           }};
  }
};

TEST(HyperThreadingActive, VisitsOnlyTheProcessorsOfTheMaskAndRestoresIt) {
  // Processors 1 and 3 allowed; 3 is the second thread of its core.
  FakeAffinity machine{0b1010, 0b1010, {}, {{0b0010, 0x00020000}, {0b1000, 0x01020000}}};
  EXPECT_TRUE(HyperThreadingActive(machine.Control()));
  EXPECT_EQ(machine.visited, (std::vector<uint64_t>{0b0010, 0b1000}));
  EXPECT_EQ(machine.current, 0b1010u);

  // Every processor the first of its core: not active, all visited.
  FakeAffinity plain{0b0111, 0b0111, {}, {{1, 0x00020000}, {2, 0x02020000}, {4, 0x04020000}}};
  EXPECT_FALSE(HyperThreadingActive(plain.Control()));
  EXPECT_EQ(plain.visited, (std::vector<uint64_t>{1, 2, 4}));
  EXPECT_EQ(plain.current, 0b0111u);

  // One logical processor per package: the APIC id says nothing.
  FakeAffinity single{0b11, 0b11, {}, {{1, 0x00010000}, {2, 0x01010000}}};
  EXPECT_FALSE(HyperThreadingActive(single.Control()));
}

TEST(HyperThreadingActive, TheMaskIsRestoredWhenAChangeFails) {
  FakeAffinity machine{0b0110, 0b0110, {}, {}};
  machine.fail_on = 0b0100;
  EXPECT_THROW(HyperThreadingActive(machine.Control()), std::runtime_error);
  EXPECT_EQ(machine.current, 0b0110u);
}

TEST(HyperThreadingActive, TheRealProcessLeavesWithTheMaskItHad) {
  const platform::AffinityMasks before = platform::GetProcessAffinity();
  EXPECT_NE(before.process, 0u);
  const bool active = HyperThreadingActive();
  EXPECT_EQ(platform::GetProcessAffinity().process, before.process);

  const ProcessorCounts counts = GetProcessorCounts();
  EXPECT_EQ(counts.logical, platform::NumberOfProcessors());
  EXPECT_GE(counts.logical, counts.cores);
  EXPECT_GE(counts.cores, counts.physical);
  EXPECT_EQ(ProcessorCountsText().empty(), counts.logical == 1);
  if (!active) {
    EXPECT_EQ(counts.logical, counts.cores);
  }
}

}  // namespace
}  // namespace vx
