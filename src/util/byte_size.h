// Byte counts as short texts for people: "512 bytes", "1.5KB", "80GB".
#pragma once

#include <cstdint>
#include <string>

namespace vx {

// The count in the largest unit that keeps the figure at 1 or more (bytes,
// KB, MB, GB), with two, one or no decimals for figures up to 10, up to 100
// and above 100, and trailing zeros and a bare point dropped.
std::string FormatByteSize(int64_t bytes);

}  // namespace vx
