// libFuzzer target: reduced members (methods 2-5) through LegacyItem; bits 2
// and 3 of the parameter byte give the factor.
#include "fuzz/legacy_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLegacyItem(data, size, [](uint8_t parameter, vx::TAbLegacyRequest& request) {
    request.method = static_cast<uint16_t>(2 + (parameter >> 2 & 3));  // factor 1-4
  });
}
