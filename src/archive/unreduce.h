// Methods 2-5, reduced with factor 1-4: bytes coded against the follower set
// of the byte before them, expanded by a DLE-escaped copy scheme whose
// length/distance split depends on the factor.
#pragma once

#include <cstdint>

#include "archive/legacy_input.h"
#include "archive/sliding_window.h"

namespace vx {

// Raises EAbZipInvalidFactor for a factor outside 1-4.
void Unreduce(LegacyInput& input, TabSlidingWindowStream& window, int32_t factor);

}  // namespace vx
