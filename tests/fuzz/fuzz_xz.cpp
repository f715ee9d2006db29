// libFuzzer target for DecodeXz (ZIP method 95 data); the checks and the input
// layout are the shared harness's.
#include "archive/xz.h"
#include "fuzz/method_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vx_fuzz::FuzzDecoder(vx::DecodeXz, data, size);
}
