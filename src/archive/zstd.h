// The zstd decoder: Zstandard frames (ZIP method 93, and 20 from older
// writers), one after another, skippable frames passed over, the content
// checksum verified when a frame carries one. Frames that need a dictionary
// are refused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/method_decoder.h"

namespace vx {

// Decodes every frame of job.source (up to job.compressed_size) into
// job.dest and returns the bytes written. Corrupt input, a window above
// job.memory_limit, a frame needing a dictionary or output beyond
// job.output_limit raise EAbDecompressError("zstd", ...).
int64_t DecodeZstd(TAbDecodeJob& job);

// The 64-bit xxHash of `size` bytes with seed 0 (a zstd frame's checksum is
// its low 32 bits).
uint64_t ZstdXxh64(const uint8_t* data, size_t size);

}  // namespace vx
