// libFuzzer target for DecodePpmd (ZIP method 98 data); the checks and the
// input layout are the shared harness's. Mode bit 2 refuses every model
// (the smallest needs 1 MiB), so most inputs exercise the model itself.
#include "archive/ppmd.h"
#include "fuzz/method_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vx_fuzz::FuzzDecoder(vx::DecodePpmd, data, size);
}
