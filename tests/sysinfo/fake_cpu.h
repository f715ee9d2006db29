// Recorded CPUID answers for the system-information tests.
#pragma once

#include <cstring>
#include <map>
#include <string>

#include "sysinfo/cpu_id.h"

namespace vx::test {

// Leaves not recorded answer all zeros.
class FakeCpu {
 public:
  FakeCpu& Leaf(uint32_t leaf, uint32_t eax, uint32_t ebx = 0, uint32_t ecx = 0, uint32_t edx = 0) {
    leaves_[leaf] = CpuIdRegs{eax, ebx, ecx, edx};
    return *this;
  }
  // Leaf 0: the highest standard leaf and the 12 vendor characters.
  FakeCpu& Vendor(const std::string& vendor, uint32_t highest_leaf) {
    char padded[12] = {};
    std::memcpy(padded, vendor.data(), vendor.size() < 12 ? vendor.size() : 12);
    return Leaf(0, highest_leaf, Word(padded), Word(padded + 8), Word(padded + 4));
  }
  // Leaves 0x80000002-4 holding `brand` (at most 47 characters), and 0x80000000.
  FakeCpu& Brand(const std::string& brand) {
    char padded[48] = {};
    std::memcpy(padded, brand.data(), brand.size() < 47 ? brand.size() : 47);
    Leaf(0x80000000, 0x80000004);
    for (uint32_t i = 0; i < 3; ++i) {
      const char* part = padded + 16 * i;
      Leaf(0x80000002 + i, Word(part), Word(part + 4), Word(part + 8), Word(part + 12));
    }
    return *this;
  }
  CpuIdFunction Function() const {
    return [leaves = leaves_](uint32_t leaf) {
      auto found = leaves.find(leaf);
      return found == leaves.end() ? CpuIdRegs{} : found->second;
    };
  }

 private:
  static uint32_t Word(const char* bytes) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[3])) << 24;
  }
  std::map<uint32_t, CpuIdRegs> leaves_;
};

}  // namespace vx::test
