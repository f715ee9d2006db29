// libFuzzer target for the PPMd decoder (ZIP method 98 data): any input must
// end in a result or EAbDecompressError, never a wild read or write, a read
// past the compressed size or output past the declared size; decoding into
// memory and into a discarding stream must agree.
//
// Input: a mode byte, a shift byte, then the member's data.
//   mode bit 0:    the size is unknown (decoding runs to the end marker)
//   mode bit 1:    the compressed size stops `shift` bytes short of the data
//   mode bits 2-4: 0 takes the model size from the member header (up to
//                  2 MiB; larger ones are refused); k > 0 replaces it with
//                  2^(10+k) bytes, so the model fills up, and is restarted
//                  or cut off, within a few kilobytes of output
#include <cstdint>

#include "archive/ppmd.h"
#include "fuzz/method_fuzz_harness.h"

namespace {

uint32_t g_model_bytes = 0;

int64_t DecodeWithModel(vx::TAbDecodeJob& job) {
  return g_model_bytes ? vx::DecodePpmdWithModelSize(job, g_model_bytes) : vx::DecodePpmd(job);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<vx_fuzz::FuzzInput> in = vx_fuzz::ReadFuzzInput(data, size);
  if (!in) return 0;
  const unsigned k = (in->mode >> 2) & 7;
  g_model_bytes = k ? uint32_t{1} << (10 + k) : 0;
  vx_fuzz::CheckDecoder(DecodeWithModel, in->bytes, in->compressed, in->output_limit,
                        int64_t{2} << 20);
  return 0;
}
