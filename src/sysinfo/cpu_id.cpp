#include "sysinfo/cpu_id.h"

#include <cstdio>
#include <cstring>

#include "platform/system.h"
#include "sysinfo/cpu_model_names.h"
#include "sysinfo/processor_counts.h"

namespace vx {

namespace {

constexpr uint32_t kExtendedLeafBase = 0x80000000;
constexpr uint32_t kBrandLeafLast = 0x80000004;

void AppendRegister(std::string& text, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) text += static_cast<char>((value >> shift) & 0xFF);
}

std::string Formatted(const char* format, const std::string& vendor, const CpuSignature& s) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, vendor.c_str(), s.type, s.family, s.model,
                s.stepping);
  return buffer;
}

}  // namespace

CpuIdRegs CpuId(uint32_t leaf) {
  return platform::ExecuteCpuId(leaf, 0);
}

std::string CpuVendorFromRegs(const CpuIdRegs& leaf0) {
  std::string vendor;
  AppendRegister(vendor, leaf0.ebx);
  AppendRegister(vendor, leaf0.edx);
  AppendRegister(vendor, leaf0.ecx);
  return vendor;
}

std::string CpuVendor() {
  return CpuVendorFromRegs(CpuId(0));
}

uint64_t ReadTimeStampCounter() {
  return platform::ReadTimeStampCounter();
}

CpuSignature DecodeCpuSignature(uint32_t eax) {
  CpuSignature s;
  s.stepping = eax & 0xF;
  s.model = (eax >> 4) & 0xF;
  s.base_family = (eax >> 8) & 0xF;
  s.family = s.base_family;
  s.type = (eax >> 12) & 0x3;
  if (s.base_family == 15) {
    s.family = 15 + ((eax >> 20) & 0xFF);
    s.model += 16 * ((eax >> 16) & 0xF);
  }
  return s;
}

std::string FormatCpuSignature(const std::string& vendor, const CpuSignature& signature) {
  if (signature.base_family == 15) {
    return Formatted("%s, type %.1X, family %.3X, model %.2X, stepping %.1X", vendor, signature);
  }
  return Formatted("%s, type %.1X, family %.1X, model %.1X, stepping %.1X", vendor, signature);
}

std::string CpuBrandString(const CpuIdRegs& part1, const CpuIdRegs& part2, const CpuIdRegs& part3) {
  std::string raw;
  for (const CpuIdRegs* part : {&part1, &part2, &part3}) {
    AppendRegister(raw, part->eax);
    AppendRegister(raw, part->ebx);
    AppendRegister(raw, part->ecx);
    AppendRegister(raw, part->edx);
  }
  raw.resize(std::strlen(raw.c_str()));
  size_t begin = 0;
  while (begin < raw.size() && static_cast<unsigned char>(raw[begin]) <= 32) ++begin;
  return raw.substr(begin);
}

double MeasureClockHz(const ClockSources& sources) {
  const int64_t frequency = sources.frequency();
  const int64_t c0 = sources.counter();
  while (sources.counter() < c0 + frequency / 2) {
  }
  const int64_t t0 = sources.counter();
  const uint64_t s0 = sources.time_stamp();
  int64_t t1;
  do {
    t1 = sources.counter();
  } while (t1 < t0 + frequency / 4);
  const uint64_t s1 = sources.time_stamp();
  if (t1 <= t0) return 0.0;

  const int64_t ticks = static_cast<int64_t>(s1 - s0);
  int64_t product;
  if (!__builtin_mul_overflow(ticks, frequency, &product)) {
    return static_cast<double>(product) / static_cast<double>(t1 - t0);
  }
  // Too large for 64 bits: the same quotient in floating point.
  return static_cast<double>(ticks) * static_cast<double>(frequency) / static_cast<double>(t1 - t0);
}

double CpuClockHz() {
  static bool measured = false;
  static double hz = 0.0;
  if (!measured) {
    hz = MeasureClockHz(ClockSources{platform::PerformanceFrequency, platform::PerformanceCounter,
                                     platform::ReadTimeStampCounter});
    measured = true;
  }
  return hz;
}

std::string BuildCpuDescription(const CpuIdFunction& cpuid, double mhz,
                                const std::string& counts_text, char decimal_separator) {
  const CpuIdRegs leaf0 = cpuid(0);
  const std::string vendor = CpuVendorFromRegs(leaf0);
  std::string text;
  if (leaf0.eax >= 1) {
    const CpuSignature signature = DecodeCpuSignature(cpuid(1).eax);
    text = FormatCpuSignature(vendor, signature);
    if (cpuid(kExtendedLeafBase).eax >= kBrandLeafLast) {
      // The processor names itself, even if only with blanks.
      const std::string brand =
          CpuBrandString(cpuid(0x80000002), cpuid(0x80000003), cpuid(0x80000004));
      text = brand + " (" + text + ")";
    } else if (const std::string name = CpuModelName(vendor, signature.family, signature.model);
               !name.empty()) {
      text = name + " (" + text + ")";
    }
  }
  char clock[64];
  std::snprintf(clock, sizeof clock, "%.1f", mhz);
  for (char* c = clock; *c != '\0'; ++c) {
    if (*c == '.') *c = decimal_separator;
  }
  std::string result = text + ", " + clock + " MHz";
  if (!counts_text.empty()) result += ", " + counts_text;
  return result;
}

std::string CpuDescription() {
  if (!platform::CpuIdSupported()) return "(CPUID instruction not supported)";
  const double mhz = CpuClockHz() / 1000000.0;
  return BuildCpuDescription(CpuId, mhz, ProcessorCountsText(), ProgramDecimalSeparator());
}

char ProgramDecimalSeparator() {
  static const char separator = platform::UserDecimalSeparator();
  return separator;
}

}  // namespace vx
