#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sysinfo/cpu_model_names.h"

namespace vx {
namespace {

struct Row {
  uint32_t family;
  std::vector<uint32_t> models;
  const char* name;
};

// The published names, copied here by hand rather than from the code, so a
// typing slip in either copy shows.
const std::vector<Row> kIntel = {
    {4, {0, 1}, "Intel 486 DX"},
    {4, {2}, "Intel 486 SX"},
    {4, {3}, "Intel 486 DX/2"},
    {4, {4}, "Intel 486 SL"},
    {4, {5}, "Intel 486 SX/2"},
    {4, {7}, "Intel 486 DX/2-WB"},
    {4, {8}, "Intel 486 DX/4"},
    {4, {9}, "Intel 486 DX/4-WB"},
    {5, {0, 1, 2}, "Intel Pentium"},
    {5, {4}, "Intel Pentium MMX"},
    {5, {7}, "Intel Mobile Pentium"},
    {5, {8}, "Intel Mobile Pentium MMX"},
    {6, {1}, "Intel Pentium Pro"},
    {6, {3}, "Intel Pentium II [Klamath]"},
    {6, {5}, "Intel Pentium II [Deschutes]"},
    {6, {6}, "Intel Celeron [Mendocino]"},
    {6, {7}, "Intel Pentium III [Katmai]"},
    {6, {8}, "Intel Pentium III [Coppermine]"},
    {6, {9}, "Intel Pentium M [Banias]"},
    {6, {10}, "Intel Pentium III Xeon"},
    {6, {11}, "Intel Pentium III"},
    {6, {13}, "Intel Pentium M [Dothan]"},
    {15, {0, 1}, "Pentium 4 [Willamette]"},
    {15, {2}, "Pentium 4 [Northwood]"},
    {15, {3, 4}, "Pentium 4 [Prescott]"},
};

const std::vector<Row> kAmd = {
    {4, {3}, "AMD 486 DX/2"},
    {4, {7}, "AMD 486 DX/2-WB"},
    {4, {8}, "AMD 486 DX/4"},
    {4, {9}, "AMD 486 DX/4-WB"},
    {4, {14}, "AMD Am5x86-WT"},
    {4, {15}, "AMD Am5x86-WB"},
    {5, {0}, "AMD K5/SSA5"},
    {5, {1, 2, 3}, "AMD K5"},
    {5, {6, 7}, "AMD K6"},
    {5, {8}, "AMD K6-2"},
    {5, {9}, "AMD K6-3"},
    {5, {13}, "AMD K6-2+ / K6-III+"},
    {6, {0, 1, 2}, "AMD Athlon"},
    {6, {3}, "AMD Duron"},
    {6, {4}, "AMD Athlon [Thunderbird]"},
    {6, {6}, "AMD Athlon [Palamino]"},
    {6, {7}, "AMD Duron [Morgan]"},
    {6, {8}, "AMD Athlon [Thoroughbred]"},
    {6, {10}, "AMD Athlon [Barton]"},
    {15, {4}, "AMD Athlon 64"},
    {15, {5}, "AMD Athlon 64 FX / Opteron"},
};

std::map<std::pair<uint32_t, uint32_t>, std::string> Expand(const std::vector<Row>& rows) {
  std::map<std::pair<uint32_t, uint32_t>, std::string> names;
  for (const Row& row : rows) {
    for (uint32_t model : row.models) names[{row.family, model}] = row.name;
  }
  return names;
}

// Every family and model a processor of these vendors can report up to the
// extended family-15 range: named exactly as listed, or not at all.
TEST(CpuModelName, EveryNameMatchesThePublishedTable) {
  const std::pair<const char*, const std::vector<Row>*> vendors[] = {{"GenuineIntel", &kIntel},
                                                                     {"AuthenticAMD", &kAmd}};
  for (const auto& [vendor, rows] : vendors) {
    const auto names = Expand(*rows);
    for (uint32_t family : {0u, 3u, 4u, 5u, 6u, 7u, 15u, 16u, 31u}) {
      for (uint32_t model = 0; model < 32; ++model) {
        const auto found = names.find({family, model});
        const std::string expected = found == names.end() ? "" : found->second;
        EXPECT_EQ(CpuModelName(vendor, family, model), expected)
            << vendor << " family " << family << " model " << model;
      }
    }
    EXPECT_EQ(CpuModelName(std::string(vendor) + " ", 5, 4 + (vendor[0] == 'A')), "") << vendor;
  }
  EXPECT_EQ(CpuModelName("CyrixInstead", 5, 2), "");
}

}  // namespace
}  // namespace vx
