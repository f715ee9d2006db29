// The harness the LZMA, xz and PPMd fuzz targets share: any input must end
// in a result or EAbDecompressError, never a wild read or write, a read past
// the compressed size or output past the declared size. Each input is decoded
// into memory and into a discarding stream, and both runs must agree.
//
// Input: a mode byte, a shift byte, then the member's data.
//   mode bit 0: the size is unknown (an LZMA member then needs its end marker)
//   mode bit 1: the compressed size stops `shift` bytes short of the data
//   mode bit 2: for LZMA and xz, a memory limit of 64 KiB (PPMd reads bits
//               2-4 its own way)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/method_decoder.h"
#include "platform/stream.h"

namespace vx_fuzz {

using Decoder = int64_t (*)(vx::TAbDecodeJob&);

struct Outcome {
  bool failed = false;
  std::string message;
  int64_t written = 0;
};

inline Outcome Run(Decoder decode, const std::vector<uint8_t>& data, int64_t compressed_size,
                   int64_t output_limit, int64_t memory_limit, vx::TStream& dest) {
  vx::TMemoryViewStream source(data.data(), data.size());
  vx::TAbDecodeJob job;
  job.source = &source;
  job.compressed_size = compressed_size;
  job.dest = &dest;
  job.output_limit = output_limit;
  job.memory_limit = memory_limit;
  int64_t last = 0;
  job.OnInput = [&](int64_t consumed) {
    if (consumed < last || consumed > compressed_size) __builtin_trap();
    last = consumed;
  };
  Outcome o;
  try {
    o.written = decode(job);
  } catch (const vx::EAbDecompressError& e) {
    o.failed = true;
    o.message = e.Message();
  }
  if (source.Position() > compressed_size) __builtin_trap();
  return o;
}

// Decodes `bytes` into memory and into a discarding stream and traps unless
// both runs agree and stay within the output limit.
inline void CheckDecoder(Decoder decode, const std::vector<uint8_t>& bytes, int64_t compressed,
                         int64_t output_limit, int64_t memory_limit) {
  vx::TMemoryStream written;
  const Outcome a = Run(decode, bytes, compressed, output_limit, memory_limit, written);
  vx::TDiscardStream discarded;
  const Outcome b = Run(decode, bytes, compressed, output_limit, memory_limit, discarded);
  if (a.failed != b.failed || a.message != b.message) __builtin_trap();
  if (discarded.Size() != static_cast<int64_t>(written.Bytes().size())) __builtin_trap();
  if (!a.failed && (a.written != b.written || a.written != discarded.Size())) __builtin_trap();
  if (output_limit >= 0 && static_cast<int64_t>(written.Bytes().size()) > output_limit) {
    __builtin_trap();
  }
}

// The parts of the input every target reads alike: the mode byte, the shift
// byte, the data, the compressed size and the output limit.
struct FuzzInput {
  uint8_t mode;
  std::vector<uint8_t> bytes;
  int64_t compressed;
  int64_t output_limit;
};

// Nothing for an input shorter than the two leading bytes.
inline std::optional<FuzzInput> ReadFuzzInput(const uint8_t* data, size_t size) {
  if (size < 2) return std::nullopt;
  FuzzInput in{data[0], std::vector<uint8_t>(data + 2, data + size), 0, -1};
  const uint8_t shift = data[1];
  in.compressed = static_cast<int64_t>(in.bytes.size());
  if (in.mode & 2) in.compressed = in.compressed > shift ? in.compressed - shift : 0;
  if (!(in.mode & 1)) in.output_limit = int64_t{shift} * 4099;
  return in;
}

inline int FuzzDecoder(Decoder decode, const uint8_t* data, size_t size) {
  const std::optional<FuzzInput> in = ReadFuzzInput(data, size);
  if (!in) return 0;
  const int64_t memory_limit = (in->mode & 4) ? int64_t{1} << 16 : int64_t{1} << 26;
  CheckDecoder(decode, in->bytes, in->compressed, in->output_limit, memory_limit);
  return 0;
}

}  // namespace vx_fuzz
