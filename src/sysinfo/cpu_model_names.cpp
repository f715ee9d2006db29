#include "sysinfo/cpu_model_names.h"

namespace vx {

namespace {

struct ModelRow {
  uint32_t family;
  uint32_t model;
  const char* name;
};

constexpr ModelRow kIntelModels[] = {
    {4, 0, "Intel 486 DX"},
    {4, 1, "Intel 486 DX"},
    {4, 2, "Intel 486 SX"},
    {4, 3, "Intel 486 DX/2"},
    {4, 4, "Intel 486 SL"},
    {4, 5, "Intel 486 SX/2"},
    {4, 7, "Intel 486 DX/2-WB"},
    {4, 8, "Intel 486 DX/4"},
    {4, 9, "Intel 486 DX/4-WB"},
    {5, 0, "Intel Pentium"},
    {5, 1, "Intel Pentium"},
    {5, 2, "Intel Pentium"},
    {5, 4, "Intel Pentium MMX"},
    {5, 7, "Intel Mobile Pentium"},
    {5, 8, "Intel Mobile Pentium MMX"},
    {6, 1, "Intel Pentium Pro"},
    {6, 3, "Intel Pentium II [Klamath]"},
    {6, 5, "Intel Pentium II [Deschutes]"},
    {6, 6, "Intel Celeron [Mendocino]"},
    {6, 7, "Intel Pentium III [Katmai]"},
    {6, 8, "Intel Pentium III [Coppermine]"},
    {6, 9, "Intel Pentium M [Banias]"},
    {6, 10, "Intel Pentium III Xeon"},
    {6, 11, "Intel Pentium III"},
    {6, 13, "Intel Pentium M [Dothan]"},
    {15, 0, "Pentium 4 [Willamette]"},
    {15, 1, "Pentium 4 [Willamette]"},
    {15, 2, "Pentium 4 [Northwood]"},
    {15, 3, "Pentium 4 [Prescott]"},
    {15, 4, "Pentium 4 [Prescott]"},
};

constexpr ModelRow kAmdModels[] = {
    {4, 3, "AMD 486 DX/2"},
    {4, 7, "AMD 486 DX/2-WB"},
    {4, 8, "AMD 486 DX/4"},
    {4, 9, "AMD 486 DX/4-WB"},
    {4, 14, "AMD Am5x86-WT"},
    {4, 15, "AMD Am5x86-WB"},
    {5, 0, "AMD K5/SSA5"},
    {5, 1, "AMD K5"},
    {5, 2, "AMD K5"},
    {5, 3, "AMD K5"},
    {5, 6, "AMD K6"},
    {5, 7, "AMD K6"},
    {5, 8, "AMD K6-2"},
    {5, 9, "AMD K6-3"},
    {5, 13, "AMD K6-2+ / K6-III+"},
    {6, 0, "AMD Athlon"},
    {6, 1, "AMD Athlon"},
    {6, 2, "AMD Athlon"},
    {6, 3, "AMD Duron"},
    {6, 4, "AMD Athlon [Thunderbird]"},
    {6, 6, "AMD Athlon [Palamino]"},
    {6, 7, "AMD Duron [Morgan]"},
    {6, 8, "AMD Athlon [Thoroughbred]"},
    {6, 10, "AMD Athlon [Barton]"},
    {15, 4, "AMD Athlon 64"},
    {15, 5, "AMD Athlon 64 FX / Opteron"},
};

template <size_t N>
std::string Lookup(const ModelRow (&rows)[N], uint32_t family, uint32_t model) {
  for (const ModelRow& row : rows) {
    if (row.family == family && row.model == model) return row.name;
  }
  return "";
}

}  // namespace

std::string CpuModelName(const std::string& vendor, uint32_t family, uint32_t model) {
  if (vendor == "GenuineIntel") return Lookup(kIntelModels, family, model);
  if (vendor == "AuthenticAMD") return Lookup(kAmdModels, family, model);
  return "";
}

}  // namespace vx
