// libFuzzer target: imploded members (method 6) through LegacyItem, in every
// dictionary and tree form (bits 2 and 3 of the parameter byte).
#include "fuzz/legacy_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLegacyItem(data, size, [](uint8_t parameter, vx::TAbLegacyRequest& request) {
    request.method = 6;
    request.dictionary_size = (parameter & 4) ? 8192 : 4096;
    request.shannon_fano_trees = (parameter & 8) ? 3 : 2;
  });
}
