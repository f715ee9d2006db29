// libFuzzer target: shrunk members (method 1) through LegacyItem, each one
// also decoded by the plain decoder of the tests; both must give the same
// bytes and end the same way. The input is laid out as for the other legacy
// targets (legacy_fuzz_input.h).
#include <algorithm>
#include <cstdlib>

#include "archive/errors.h"
#include "archive/legacy.h"
#include "archive/shrink_reference.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  vx::TAbLegacyRequest request;
  request.method = 1;
  const uint32_t rest = static_cast<uint32_t>(size - 4);
  switch (data[0] & 3) {
    case 0:
      request.compressed_size = rest;
      break;
    case 1:
      request.compressed_size = rest / 2;
      break;
    default:
      request.compressed_size = rest + 100;  // the archive ends inside the member
      break;
  }
  request.uncompressed_size = (data[1] | data[2] << 8 | data[3] << 16) & 0x3FFFF;
  vx::TMemoryViewStream archive(data + 4, rest);
  vx::TMemoryStream output;
  bool read_error = false;
  try {
    vx::LegacyItem(archive, output, request);
  } catch (const vx::EAbReadError&) {
    read_error = true;
  }
  if (archive.Position() > static_cast<int64_t>(request.compressed_size)) std::abort();

  const auto reference = vx::test::ReferenceUnshrink(
      data + 4, std::min(rest, request.compressed_size), request.uncompressed_size);
  if (output.Bytes() != reference.bytes) std::abort();
  // Running out of data is an error only where the archive ended early.
  const bool ran_out = reference.end == vx::test::ShrinkEnd::kInputEnded;
  if (read_error != (ran_out && request.compressed_size > rest)) std::abort();
  return 0;
}
