// Method 1, shrunk: LZW with codes of 9 to 13 bits whose size the compressor
// raises explicitly, and partial clearing of the code table.
#pragma once

#include "archive/legacy_input.h"
#include "archive/sliding_window.h"

namespace vx {

// Decodes until the window holds its total or the input ends. Whatever the
// input says, codes stay within 13 bits and the table within 8,192 entries.
void Unshrink(LegacyInput& input, TabSlidingWindowStream& window);

}  // namespace vx
