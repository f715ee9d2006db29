// libFuzzer target for Inflate: any input must end in a result or one of the
// inflater's own errors, never a wild read or write. Each input is decoded
// three times: writing and in test-only mode with the 64-bit bit buffer, and
// writing with the 32-bit one. The first two must agree in everything; the
// 32-bit run must give the same bytes, result and error as the 64-bit one.
//
// Input: a mode byte, a shift byte, then the compressed data.
//   mode bit 0: deflate64
//   mode bit 2: put the data behind a stored block of almost 16 KiB, so it
//               crosses the refill of the input buffer (shift moves it) and
//               has history to copy from
//   mode bit 3: stop at a part size derived from shift
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/errors.h"
#include "archive/inflate.h"
#include "platform/stream.h"

namespace {

struct Outcome {
  bool failed = false;
  std::string message;
  uint32_t checksum = 0;
  int64_t normal_size = 0;
  int64_t compressed_size = 0;
  int64_t position = 0;
};

Outcome Run(vx::InflateWord word, const std::vector<uint8_t>& stream, uint32_t options,
            int64_t part_size, vx::TStream& dest) {
  vx::TMemoryViewStream source(stream.data(), stream.size());
  vx::TAbDeflateHelper helper;
  helper.options = options;
  helper.part_size = part_size;
  helper.stream_size = -1;
  int32_t last = -1;
  helper.OnProgress = [&last](int32_t percent) {
    if (percent < last || percent > 100) __builtin_trap();
    last = percent;
  };
  Outcome o;
  try {
    o.checksum = vx::InflateWithWord(word, source, dest, helper);
    o.normal_size = helper.normal_size;
    o.compressed_size = helper.compressed_size;
    o.position = source.Position();
  } catch (const vx::EAbInflateError& e) {
    o.failed = true;
    o.message = e.Message();
  }
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const uint8_t shift = data[1];
  data += 2;
  size -= 2;

  std::vector<uint8_t> stream;
  if (mode & 4) {
    const uint32_t len = 16384 - 5 - shift;
    stream = {0x00, static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
              static_cast<uint8_t>(~len), static_cast<uint8_t>(~len >> 8)};
    for (uint32_t i = 0; i < len; ++i) stream.push_back(static_cast<uint8_t>(i * 7 + (i >> 5)));
  }
  stream.insert(stream.end(), data, data + size);

  uint32_t options = 15;
  if (mode & 1) options |= vx::TAbDeflateHelper::kOptionDeflate64;
  const int64_t part_size = (mode & 8) ? 1 + int64_t{shift} * 997 : 0;

  using vx::InflateWord;
  vx::TMemoryStream written;
  const Outcome a = Run(InflateWord::k64, stream, options, part_size, written);
  vx::TDiscardStream discarded;
  const Outcome b = Run(InflateWord::k64, stream, options | vx::TAbDeflateHelper::kOptionTestOnly,
                        part_size, discarded);
  vx::TMemoryStream written32;
  const Outcome c = Run(InflateWord::k32, stream, options, part_size, written32);

  auto same = [](const Outcome& x, const Outcome& y) {
    if (x.failed != y.failed || x.message != y.message) return false;
    return x.failed || (x.checksum == y.checksum && x.normal_size == y.normal_size &&
                        x.compressed_size == y.compressed_size && x.position == y.position);
  };
  if (!same(a, b)) __builtin_trap();
  // Both widths write a prefix of the same output, whatever happens.
  const auto& bytes64 = written.Bytes();
  const auto& bytes32 = written32.Bytes();
  const size_t common = std::min(bytes64.size(), bytes32.size());
  if (!std::equal(bytes64.begin(), bytes64.begin() + common, bytes32.begin())) __builtin_trap();
  if (part_size == 0) {
    if (!same(a, c)) __builtin_trap();
    if (!a.failed && bytes64 != bytes32) __builtin_trap();
  } else {
    // Decoding stops at the end of the step that reaches the part size, and
    // a 64-bit step may take a symbol more: an error just past the part may
    // be met by one width only, and so may the end of the data, where that
    // width returns the check value and the other 0 for a part stopped.
    // Otherwise the results agree.
    if (a.failed && c.failed && a.message != c.message) __builtin_trap();
    if (a.failed != c.failed && (a.failed ? c : a).normal_size != part_size) __builtin_trap();
    if (!a.failed && !c.failed) {
      if (a.normal_size != c.normal_size || bytes64 != bytes32) __builtin_trap();
      const bool one_stopped_at_part =
          a.normal_size == part_size && (a.checksum == 0 || c.checksum == 0);
      if (a.checksum != c.checksum && !one_stopped_at_part) __builtin_trap();
    }
  }
  if (!a.failed) {
    if (a.normal_size != static_cast<int64_t>(written.Bytes().size())) __builtin_trap();
    if (a.position != a.compressed_size || a.position > static_cast<int64_t>(stream.size())) {
      __builtin_trap();
    }
    if (part_size > 0 && a.normal_size > part_size) __builtin_trap();
    if (discarded.Size() != 0) __builtin_trap();
  }
  return 0;
}
