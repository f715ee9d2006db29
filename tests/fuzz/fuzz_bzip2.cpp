// libFuzzer target for the bzip2 decoder: any input must end in a result or
// the decoder's own error, never a wild read or write, and the job's bounds
// must hold either way.
//
// Input: a mode byte, then the compressed data.
//   mode bits 0-3: hide that many trailing bytes behind the compressed size
//   mode bit 4:    an output limit derived from the mode byte
//   mode bit 5:    a memory limit that refuses levels above 4
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "archive/bzip2.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  const size_t hidden = std::min<size_t>(mode & 15, size);

  vx::TMemoryViewStream source(data, size);
  vx::TDiscardStream dest;  // counts; a block may expand to tens of megabytes
  vx::TAbDecodeJob job;
  job.source = &source;
  job.dest = &dest;
  job.compressed_size = static_cast<int64_t>(size - hidden);
  if (mode & 16) job.output_limit = int64_t{mode} * 4099;
  if (mode & 32) job.memory_limit = 2000000;
  int64_t last = 0;
  job.OnInput = [&last, &job](int64_t consumed) {
    if (consumed < last || consumed > job.compressed_size) __builtin_trap();
    last = consumed;
  };
  int64_t written = -1;
  try {
    written = vx::DecodeBzip2(job);
  } catch (const vx::EAbDecompressError&) {
  }
  const int64_t out = dest.Size();
  if (written >= 0 && written != out) __builtin_trap();
  if (job.output_limit >= 0 && out > job.output_limit) __builtin_trap();
  if (source.Position() > job.compressed_size) __builtin_trap();
  return 0;
}
