// libFuzzer target for DecodeZstd: any input must end in a result or the
// decoder's own error, never a wild read or write, and never more output
// than the limit. Each input is decoded twice, the second time with its own
// output size as the limit less one when it succeeded, which must fail.
//
// Input: a mode byte, then the compressed data.
//   mode bits 0-1: output limit: none, 1000, 100000, or the size of the input
//   mode bit 2:    memory limit of 64 KiB instead of 16 MiB (a window above
//                  it is refused; 16 MiB keeps each run quick)
//   mode bit 3:    compressed size one byte short of the data (a truncation)
#include <cstdint>
#include <string>
#include <vector>

#include "archive/zstd.h"
#include "platform/stream.h"

namespace {

struct Outcome {
  bool failed = false;
  int64_t returned = 0;
  size_t written = 0;
  int64_t last_progress = 0;
};

Outcome Run(const uint8_t* data, size_t size, int64_t compressed_size, int64_t output_limit,
            int64_t memory_limit) {
  vx::TMemoryViewStream source(data, size);
  vx::TMemoryStream dest;
  vx::TAbDecodeJob job;
  job.source = &source;
  job.compressed_size = compressed_size;
  job.dest = &dest;
  job.output_limit = output_limit;
  job.memory_limit = memory_limit;
  Outcome o;
  job.OnInput = [&o](int64_t consumed) {
    if (consumed < o.last_progress) __builtin_trap();
    o.last_progress = consumed;
  };
  try {
    o.returned = vx::DecodeZstd(job);
  } catch (const vx::EAbDecompressError&) {
    o.failed = true;
  }
  o.written = dest.Bytes().size();
  if (output_limit >= 0 && o.written > static_cast<size_t>(output_limit)) __builtin_trap();
  if (compressed_size >= 0 && source.Position() > compressed_size) __builtin_trap();
  if (!o.failed && o.returned != static_cast<int64_t>(o.written)) __builtin_trap();
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  static const int64_t kLimits[4] = {-1, 1000, 100000, 0};
  int64_t limit = kLimits[mode & 3];
  if ((mode & 3) == 3) limit = static_cast<int64_t>(size);
  const int64_t memory = (mode & 4) ? int64_t{65536} : int64_t{16} << 20;
  int64_t compressed = -1;
  if ((mode & 8) && size > 0) compressed = static_cast<int64_t>(size) - 1;
  const Outcome a = Run(data, size, compressed, limit, memory);
  if (!a.failed && a.written > 0) {
    const Outcome b = Run(data, size, compressed, static_cast<int64_t>(a.written) - 1, memory);
    if (!b.failed) __builtin_trap();
  }
  return 0;
}
