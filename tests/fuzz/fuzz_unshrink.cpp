// libFuzzer target: shrunk members (method 1) through LegacyItem.
#include "fuzz/legacy_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLegacyItem(data, size,
                        [](uint8_t, vx::TAbLegacyRequest& request) { request.method = 1; });
}
