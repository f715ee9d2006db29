// libFuzzer target for DecodeLzma (ZIP method 14 data); the checks and the input
// layout are the shared harness's.
#include "archive/lzma.h"
#include "fuzz/method_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vx_fuzz::FuzzDecoder(vx::DecodeLzma, data, size);
}
