// The PPMd decoder (ZIP method 98): Dmitry Shkarin's PPM model, variant I
// revision 1, with its range coder, as ZIP writers store it.
#pragma once

#include <cstdint>

#include "archive/method_decoder.h"

namespace vx {

// Decodes job.source into job.dest (see TAbDecodeJob) and returns the number
// of bytes written. The member starts with a 2-byte header: model order
// (bits 0-3, plus 1), model memory in MiB (bits 4-11, plus 1) and what to do
// when that memory is full (bits 12-15: 0 restart the model, 1 cut it off).
// A model larger than job.memory_limit is refused before anything is
// allocated. Decoding ends at job.output_limit, or at the end marker when
// the size is unknown. Corrupt or truncated input, output beyond
// job.output_limit and the "freeze" memory method (no writer produces it)
// raise EAbDecompressError.
int64_t DecodePpmd(TAbDecodeJob& job);

// The same with a model of `model_bytes` (at least 2048) instead of the
// header's size, which cannot say less than 1 MiB: the fuzzer uses it to
// fill the model, and restart or cut it off, within a few kilobytes.
int64_t DecodePpmdWithModelSize(TAbDecodeJob& job, uint32_t model_bytes);

}  // namespace vx
