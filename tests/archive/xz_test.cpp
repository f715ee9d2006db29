// The xz decoder (ZIP method 95) against files written by the xz tool with
// every check type, presets, small dictionaries, several blocks, filters and
// concatenated streams, and on broken and limited input.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/lzma.h"
#include "archive/lzma_test_support.h"
#include "archive/xz.h"
#include "support/test_support.h"

namespace vx {
namespace {

using test::RunDecoder;

std::vector<uint8_t> AllSamples() {
  std::vector<uint8_t> all;
  for (const auto& [name, data] : test::LzmaSampleInputs())
    all.insert(all.end(), data.begin(), data.end());
  return all;
}

// `xz <args>` over `input`, or an empty result when the tool fails.
std::vector<uint8_t> RunXz(const std::string& args, const std::vector<uint8_t>& input) {
  test::ScratchDir dir;
  test::WriteFile(dir.File("in"), input);
  const auto run = test::RunProcess("xz -c " + args + " " + test::ShellQuote(dir.File("in")) +
                                    " > " + test::ShellQuote(dir.File("out")));
  EXPECT_EQ(run.exit_code, 0) << args << "\n" << run.err;
  return test::ToBytes(test::ReadFile(dir.File("out")).value_or(""));
}

bool HaveXz() {
  return !test::FindTool({"xz"}).empty();
}

TEST(XzDecoder, RealWriter) {
  VX_SKIP_UNDER_WINE();
  if (!HaveXz()) VX_SKIP_OR_FAIL("xz is not installed");
  const auto input = AllSamples();
  struct Case {
    const char* args;
    const char* error;  // nullptr when it decodes
  } cases[] = {
      {"-0", nullptr},
      {"-6", nullptr},
      {"-9e", nullptr},
      {"-1 --check=none", nullptr},
      {"-1 --check=crc32", nullptr},
      {"-1 --check=crc64", nullptr},
      {"-1 --check=sha256", nullptr},
      {"--format=xz --lzma2=dict=64KiB", nullptr},  // the window wraps often
      {"--lzma2=preset=1,lc=4,lp=0,pb=0", nullptr},
      {"--lzma2=preset=1,lc=0,lp=4,pb=4", nullptr},
      {"--delta=dist=4 --lzma2=preset=1", nullptr},
      {"--delta=dist=256 --delta=dist=1 --lzma2=preset=0", nullptr},
      {"-1 --block-size=200KiB", nullptr},
      {"-1 -T2 --block-size=300KiB", nullptr},  // sizes in the block headers
      {"--x86 --lzma2=preset=1", "unsupported filter 4"},
  };
  for (const auto& c : cases) {
    const auto xz = RunXz(c.args, input);
    const auto sized = RunDecoder(DecodeXz, xz, static_cast<int64_t>(input.size()));
    const auto unsized = RunDecoder(DecodeXz, xz, -1);
    if (c.error == nullptr) {
      EXPECT_TRUE(sized.ok && unsized.ok) << c.args << ": " << sized.error << unsized.error;
      EXPECT_TRUE(sized.output == input) << c.args;
      EXPECT_TRUE(unsized.output == input) << c.args;
    } else {
      EXPECT_NE(sized.error.find(c.error), std::string::npos) << c.args << ": " << sized.error;
    }
  }
}

TEST(XzDecoder, ConcatenatedStreamsWithPadding) {
  VX_SKIP_UNDER_WINE();
  if (!HaveXz()) VX_SKIP_OR_FAIL("xz is not installed");
  const auto a = test::SampleText(300000, 41);
  const auto b = test::RandomBytes(100000, 42);
  auto file = RunXz("-1", a);
  file.insert(file.end(), 8, 0);
  const auto second = RunXz("--check=sha256", b);
  file.insert(file.end(), second.begin(), second.end());
  const auto empty = RunXz("", {});
  file.insert(file.end(), empty.begin(), empty.end());
  file.insert(file.end(), 4, 0);
  auto expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  const auto r = RunDecoder(DecodeXz, file, -1);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.output == expected);

  // Padding that is not a multiple of four, or not zero, is corrupt.
  auto odd = file;
  odd.pop_back();
  EXPECT_NE(RunDecoder(DecodeXz, odd).error.find("ends too early"), std::string::npos);
  auto junk = file;
  junk.back() = 1;
  EXPECT_NE(RunDecoder(DecodeXz, junk).error.find("padding"), std::string::npos);
}

TEST(XzDecoder, BrokenAndLimitedInput) {
  VX_SKIP_UNDER_WINE();
  if (!HaveXz()) VX_SKIP_OR_FAIL("xz is not installed");
  const auto input = test::SampleText(400000, 43);
  const int64_t size = static_cast<int64_t>(input.size());
  for (const char* args : {"-6", "-1 --check=sha256 -T2 --block-size=100KiB"}) {
    const auto xz = RunXz(args, input);
    // Every truncation fails.
    for (size_t keep = 0; keep < xz.size(); keep += xz.size() / 61 + 1) {
      const std::vector<uint8_t> cut(xz.begin(), xz.begin() + static_cast<std::ptrdiff_t>(keep));
      EXPECT_FALSE(RunDecoder(DecodeXz, cut, size).ok) << args << " kept " << keep;
    }
    EXPECT_FALSE(RunDecoder(DecodeXz, {xz.begin(), xz.end() - 1}, size).ok) << args;
    // A flipped bit fails, or (in the range coder's last bits) changes nothing.
    for (size_t at = 0; at < xz.size(); at += xz.size() / 113 + 1) {
      auto bad = xz;
      bad[at] ^= static_cast<uint8_t>(1 << (at % 8));
      const auto r = RunDecoder(DecodeXz, bad, size);
      EXPECT_TRUE(!r.ok || r.output == input) << args << " flipped at " << at;
    }
    // Producing more than the declared size fails without writing it.
    const auto over = RunDecoder(DecodeXz, xz, size - 1);
    EXPECT_NE(over.error.find("declared size"), std::string::npos) << over.error;
  }

  // A check type that is not implemented (header and footer patched, with
  // their CRCs) is named.
  auto xz = RunXz("-1 --check=crc32", input);
  for (size_t flags : {size_t{6}, xz.size() - 4}) {
    xz[flags + 1] = 2;
    const uint32_t crc = test::BitwiseCrc32(&xz[flags], 2);
    const size_t crc_at = flags == 6 ? 8 : xz.size() - 12;
    const size_t crc_len = flags == 6 ? 2 : 6;
    const uint32_t value = flags == 6 ? crc : test::BitwiseCrc32(&xz[crc_at + 4], crc_len);
    for (int i = 0; i < 4; ++i) xz[crc_at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  EXPECT_NE(RunDecoder(DecodeXz, xz).error.find("unsupported check type 2"), std::string::npos);

  // A 64 MiB dictionary is refused under a 16 MiB memory limit, unless the
  // declared size shows that a smaller window suffices.
  const auto big = RunXz("-9", input);
  const int64_t limit = int64_t{16} << 20;
  const auto unsized = RunDecoder(DecodeXz, big, -1, limit);
  EXPECT_NE(unsized.error.find("more memory than allowed"), std::string::npos) << unsized.error;
  const auto sized = RunDecoder(DecodeXz, big, size, limit);
  EXPECT_TRUE(sized.ok && sized.output == input) << sized.error;
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// The fuzzers' seeds are real files (written by xz, 7-Zip and Python's
// zipfile; two leading bytes set the fuzzer's mode), so every build, Wine's
// included, decodes them to known data without running a tool.
TEST(LzmaAndXzDecoders, SeedFilesDecodeToKnownData) {
  struct Case {
    const char* seed;
    test::MethodDecoder decode;
    size_t size;
    uint32_t crc;
  } cases[] = {
      {"xz/p0", DecodeXz, 2340, 0xe1155dfe},
      {"xz/crc32", DecodeXz, 2340, 0xe1155dfe},
      {"xz/sha256", DecodeXz, 2340, 0xe1155dfe},
      {"xz/none", DecodeXz, 2340, 0xe1155dfe},
      {"xz/dict4k_lc4", DecodeXz, 2340, 0xe1155dfe},
      {"xz/delta", DecodeXz, 2340, 0xe1155dfe},
      {"xz/blocks", DecodeXz, 2340, 0xe1155dfe},
      {"xz/uncompressed_chunks", DecodeXz, 3000, 0x561a45f8},
      {"xz/multistream", DecodeXz, 800, 0xbb7fbe53},
      {"lzma/7z_t.txt_unsized", DecodeLzma, 2340, 0xe1155dfe},
      {"lzma/7z_eos_small_t.txt_unsized", DecodeLzma, 2340, 0xe1155dfe},
      {"lzma/python_text_unsized", DecodeLzma, 2340, 0xe1155dfe},
      {"lzma/7z_fast_z.bin_unsized", DecodeLzma, 3024, 0xc229da73},
  };
  const std::string sep(1, test::Separator());
  for (const auto& c : cases) {
    std::string path =
        test::SourceDir() + sep + "tests" + sep + "fuzz" + sep + "seeds" + sep + c.seed;
    std::replace(path.begin(), path.end(), '/', test::Separator());
    const auto file = test::ReadFile(path);
    ASSERT_TRUE(file.has_value() && file->size() > 2) << path;
    const std::vector<uint8_t> data(file->begin() + 2, file->end());
    for (int64_t limit : {int64_t{-1}, static_cast<int64_t>(c.size)}) {
      const auto r = RunDecoder(c.decode, data, limit);
      EXPECT_TRUE(r.ok) << c.seed << ": " << r.error;
      EXPECT_EQ(r.output.size(), c.size) << c.seed;
      EXPECT_EQ(test::BitwiseCrc32(r.output), c.crc) << c.seed;
    }
  }
}

}  // namespace
}  // namespace vx
