// The bzip2 decoder (ZIP method 12): one or more concatenated bzip2 streams,
// every block and stream check value verified.
#pragma once

#include <cstdint>

#include "archive/method_decoder.h"

namespace vx {

// Decodes job.source into job.dest (see TAbDecodeJob) and returns the number
// of bytes written. Corrupt input, a truncated stream, output beyond
// job.output_limit and randomised blocks (an obsolete variant no writer has
// produced since 1999) raise EAbDecompressError. Bytes after a complete
// stream that do not begin another stream are ignored.
int64_t DecodeBzip2(TAbDecodeJob& job);

}  // namespace vx
