// Processor identification for the diagnostic report: vendor, signature,
// brand string or table name, and the clock rate measured with the
// time-stamp counter against the high-resolution performance counter.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/cpu.h"

namespace vx {

// EAX, EBX, ECX, EDX as one CPUID execution leaves them.
using CpuIdRegs = platform::CpuIdRegs;

// CPUID with `leaf` in EAX and 0 in ECX.
CpuIdRegs CpuId(uint32_t leaf);
// A CPUID source: the real instruction, or recorded registers in tests.
using CpuIdFunction = std::function<CpuIdRegs(uint32_t leaf)>;

// The 12 vendor characters of leaf 0: EBX, EDX, ECX, each little-endian.
std::string CpuVendorFromRegs(const CpuIdRegs& leaf0);
std::string CpuVendor();

uint64_t ReadTimeStampCounter();

// Leaf 1's EAX decoded. For family 15 the extended family and model are
// folded in as the processor makers define them: family 15 + extended
// family, model + 16 * extended model.
struct CpuSignature {
  uint32_t stepping = 0;
  uint32_t model = 0;   // as shown and looked up
  uint32_t family = 0;  // as shown and looked up
  uint32_t type = 0;
  uint32_t base_family = 0;  // the 4-bit field
};
CpuSignature DecodeCpuSignature(uint32_t eax);

// "GenuineIntel, type 0, family 00F, model 02, stepping 9"; family and model
// take three and two digits when the base family is 15, one otherwise.
std::string FormatCpuSignature(const std::string& vendor, const CpuSignature& signature);

// The 48 bytes of leaves 0x80000002..0x80000004, cut at the first zero byte,
// without leading blanks and control characters.
std::string CpuBrandString(const CpuIdRegs& part1, const CpuIdRegs& part2, const CpuIdRegs& part3);

// The ticks of the time-stamp counter per second: waits half a second for
// the processor to settle, then counts TSC ticks over a quarter of a second
// of the performance counter.
struct ClockSources {
  std::function<int64_t()> frequency;  // performance counter ticks per second
  std::function<int64_t()> counter;    // performance counter
  std::function<uint64_t()> time_stamp;
};
double MeasureClockHz(const ClockSources& sources);

// The measured clock rate in Hz; measured once per process (about 0.75 s of
// busy waiting), the same figure afterwards. A performance counter that
// cannot be read raises EOSError.
double CpuClockHz();

// The identification line from its parts: signature part (with the brand
// string or table name in front), the clock in MHz with one decimal and
// `decimal_separator`, then ", " and `counts_text` unless that is empty.
std::string BuildCpuDescription(const CpuIdFunction& cpuid, double mhz,
                                const std::string& counts_text, char decimal_separator);

// The identification line of this machine, or "(CPUID instruction not
// supported)" on a processor without CPUID.
std::string CpuDescription();

// The decimal separator the program's own number texts use: the user's
// locale's when first asked, "." when the locale gives none.
char ProgramDecimalSeparator();

}  // namespace vx
