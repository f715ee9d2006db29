// Helpers of the LZMA and xz decoder tests: one call of a decoder on bytes in
// memory that also checks the job's contract (no read past the compressed
// size, progress within bounds, nothing written past the output limit), and
// the inputs the real encoders compress.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/inflate_test_support.h"
#include "archive/method_decoder.h"
#include "archive/zip_test_support.h"
#include "platform/stream.h"

namespace vx::test {

struct DecodeResult {
  bool ok = false;
  std::string error;  // the message when !ok
  std::vector<uint8_t> output;
};

using MethodDecoder = int64_t (*)(TAbDecodeJob&);

// Decodes `data` followed by bytes the decoder must not read.
inline DecodeResult RunDecoder(MethodDecoder decode, const std::vector<uint8_t>& data,
                               int64_t output_limit = -1, int64_t memory_limit = int64_t{1} << 30) {
  std::vector<uint8_t> bytes = data;
  bytes.insert(bytes.end(), 100, 0xA5);
  TMemoryStream source(bytes);
  TMemoryStream dest;
  TAbDecodeJob job;
  job.source = &source;
  job.compressed_size = static_cast<int64_t>(data.size());
  job.dest = &dest;
  job.output_limit = output_limit;
  job.memory_limit = memory_limit;
  int64_t last = 0;
  job.OnInput = [&](int64_t consumed) {
    EXPECT_GE(consumed, last);
    EXPECT_LE(consumed - last, 65536);
    EXPECT_LE(consumed, job.compressed_size);
    last = consumed;
  };
  DecodeResult r;
  try {
    const int64_t written = decode(job);
    r.ok = true;
    EXPECT_EQ(written, static_cast<int64_t>(dest.Bytes().size()));
  } catch (const EAbDecompressError& e) {
    r.error = e.Message();
  }
  EXPECT_LE(source.Position(), job.compressed_size);
  if (output_limit >= 0) {
    EXPECT_LE(static_cast<int64_t>(dest.Bytes().size()), output_limit);
  }
  r.output = dest.Bytes();
  return r;
}

// Text, noise, runs, skewed bytes, and noise repeated from 300 KB back (so
// a small dictionary wraps and large ones reach far).
inline std::vector<std::pair<std::string, std::vector<uint8_t>>> LzmaSampleInputs() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
      {"text", SampleText(400000, 31)},
      {"noise", RandomBytes(150000, 32)},
      {"zeros", std::vector<uint8_t>(300000, 0)},
      {"one", {'1'}}};
  std::vector<uint8_t> far = RandomBytes(70000, 33);
  const auto gap = SampleText(300000, 34);
  std::vector<uint8_t> copy = far;
  far.insert(far.end(), gap.begin(), gap.end());
  far.insert(far.end(), copy.begin(), copy.end());
  inputs.push_back({"far", far});
  std::vector<uint8_t> skewed = RandomBytes(200000, 35);
  for (auto& b : skewed) b = static_cast<uint8_t>(b % 7 == 0 ? b : b % 23);
  inputs.push_back({"skewed", skewed});
  return inputs;
}

inline std::vector<uint8_t> ToBytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace vx::test

#ifdef _WIN32
#define VX_SKIP_UNDER_WINE() \
  GTEST_SKIP() << "Linux tools cannot be run from a Windows test under Wine"
#else
#define VX_SKIP_UNDER_WINE() (void)0
#endif
