// Method 6, imploded: LZ77 over a 4 or 8 KiB dictionary, with lengths and the
// high distance bits (and, with three trees, literals) in Shannon-Fano codes.
#pragma once

#include <cstdint>

#include "archive/errors.h"
#include "archive/legacy_input.h"
#include "archive/sliding_window.h"

namespace vx {

// An imploded member whose code description is impossible (more lengths
// than symbols, over-subscribed, or not prefix-free). Its code is that of a
// failed CRC check: to the user it is a damaged member like any other.
class EAbImplodeTreeError : public EAbZipException {
 public:
  explicit EAbImplodeTreeError(const std::string& tree)
      : EAbZipException("Imploded data is corrupt: impossible " + tree + " code", 23) {}
};

// `dictionary_size` 8192 selects the 8 KiB dictionary (any other value 4 KiB);
// `trees` 3 adds the literal tree (any other value: two trees).
void Explode(LegacyInput& input, TabSlidingWindowStream& window, uint32_t dictionary_size,
             int32_t trees);

}  // namespace vx
