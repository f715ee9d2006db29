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
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const uint8_t shift = data[1];
  const std::vector<uint8_t> bytes(data + 2, data + size);
  int64_t compressed = static_cast<int64_t>(bytes.size());
  if (mode & 2) compressed = compressed > shift ? compressed - shift : 0;
  const int64_t output_limit = (mode & 1) ? -1 : int64_t{shift} * 4099;
  const unsigned k = (mode >> 2) & 7;
  g_model_bytes = k ? uint32_t{1} << (10 + k) : 0;
  const int64_t memory_limit = int64_t{2} << 20;

  vx::TMemoryStream written;
  const vx_fuzz::Outcome a =
      vx_fuzz::Run(DecodeWithModel, bytes, compressed, output_limit, memory_limit, written);
  vx::TDiscardStream discarded;
  const vx_fuzz::Outcome b =
      vx_fuzz::Run(DecodeWithModel, bytes, compressed, output_limit, memory_limit, discarded);
  if (a.failed != b.failed || a.message != b.message) __builtin_trap();
  if (discarded.Size() != static_cast<int64_t>(written.Bytes().size())) __builtin_trap();
  if (!a.failed && (a.written != b.written || a.written != discarded.Size())) __builtin_trap();
  if (output_limit >= 0 && static_cast<int64_t>(written.Bytes().size()) > output_limit) {
    __builtin_trap();
  }
  return 0;
}
