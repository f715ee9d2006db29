// Names of Intel and AMD processors too old to report a brand string.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

// The name for (vendor, family, model), family and model as shown (with the
// extended fields folded in); "" when the table has none. The vendor must
// match exactly: "GenuineIntel" or "AuthenticAMD".
std::string CpuModelName(const std::string& vendor, uint32_t family, uint32_t model);

}  // namespace vx
