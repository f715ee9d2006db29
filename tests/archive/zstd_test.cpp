// The zstd decoder against frames the zstd tool makes at test time (levels,
// window sizes, long mode, checksum on and off, several frames in a row and
// skippable frames), against frames kept in the source for builds that cannot
// run the tool, and against damaged and hostile input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/inflate_test_support.h"
#include "archive/zstd.h"
#include "archive/zstd_test_samples.h"
#include "support/test_support.h"

namespace vx {
namespace {

struct Result {
  bool failed = false;
  std::string message;
  std::vector<uint8_t> output;
  int64_t returned = 0;
  int64_t position = 0;
  int64_t last_progress = -1;
};

Result Decode(const std::vector<uint8_t>& input, int64_t output_limit = -1,
              int64_t compressed_size = -1, int64_t memory_limit = int64_t{1} << 30) {
  TMemoryViewStream source(input.data(), input.size());
  TMemoryStream dest;
  Result r;
  TAbDecodeJob job;
  job.source = &source;
  job.dest = &dest;
  job.compressed_size = compressed_size;
  job.output_limit = output_limit;
  job.memory_limit = memory_limit;
  job.OnInput = [&r](int64_t consumed) {
    if (consumed < r.last_progress) ADD_FAILURE() << "progress went back";
    r.last_progress = consumed;
  };
  try {
    r.returned = DecodeZstd(job);
  } catch (const EAbDecompressError& e) {
    r.failed = true;
    r.message = e.Message();
  }
  r.output = dest.Bytes();
  r.position = source.Position();
  return r;
}

std::vector<uint8_t> SampleOutput() {
  std::vector<uint8_t> v = test::SampleText(16000, 3);
  const auto b = test::SampleText(6000, 4);
  v.insert(v.end(), b.begin(), b.end());
  const auto c = test::RandomBytes(300, 9);
  v.insert(v.end(), c.begin(), c.end());
  v.resize(v.size() + 5000, 0);
  return v;
}

std::vector<uint8_t> SampleFrames() {
  return std::vector<uint8_t>(std::begin(test::kZstdSampleFrames),
                              std::end(test::kZstdSampleFrames));
}

// A frame header naming dictionary 5, then an empty last raw block.
const std::vector<uint8_t> kDictionaryFrame = {0x28, 0xB5, 0x2F, 0xFD, 0x01,
                                               0x00, 0x05, 0x01, 0x00, 0x00};

TEST(Zstd, FramesKeptInTheSource) {
  const Result r = Decode(SampleFrames());
  ASSERT_FALSE(r.failed) << r.message;
  EXPECT_TRUE(r.output == SampleOutput());
  EXPECT_EQ(r.returned, static_cast<int64_t>(r.output.size()));
  EXPECT_EQ(r.last_progress, static_cast<int64_t>(SampleFrames().size()));
  EXPECT_EQ(ZstdXxh64(nullptr, 0), 0xEF46DB3751D8E999ull);
}

TEST(Zstd, LimitsAndRefusals) {
  const auto frames = SampleFrames();
  const auto expected = SampleOutput();
  const int64_t size = static_cast<int64_t>(expected.size());
  EXPECT_FALSE(Decode(frames, size).failed);
  // One byte short of the output: refused, and nothing past the limit written.
  const Result short_limit = Decode(frames, size - 1);
  EXPECT_TRUE(short_limit.failed);
  EXPECT_LE(short_limit.output.size(), static_cast<size_t>(size - 1));
  const Result tiny = Decode(frames, 100);
  EXPECT_TRUE(tiny.failed);
  EXPECT_LE(tiny.output.size(), 100u);

  // The compressed size bounds the reading: garbage after it is not seen,
  // and a size inside the frames is a truncation.
  auto padded = frames;
  padded.insert(padded.end(), 100, 0xAA);
  const Result bounded = Decode(padded, -1, static_cast<int64_t>(frames.size()));
  EXPECT_FALSE(bounded.failed) << bounded.message;
  EXPECT_EQ(bounded.position, static_cast<int64_t>(frames.size()));
  EXPECT_TRUE(Decode(padded).failed);
  EXPECT_TRUE(Decode(frames, -1, static_cast<int64_t>(frames.size()) - 1).failed);

  const Result dict = Decode(kDictionaryFrame);
  EXPECT_TRUE(dict.failed);
  EXPECT_NE(dict.message.find("dictionary required"), std::string::npos) << dict.message;

  // Window descriptor 0xF8: exponent 31, a 2 TiB window, refused before any
  // allocation whatever the memory limit.
  const std::vector<uint8_t> huge = {0x28, 0xB5, 0x2F, 0xFD, 0x00, 0xF8, 0x01, 0x00, 0x00};
  const Result window = Decode(huge);
  EXPECT_TRUE(window.failed);
  EXPECT_NE(window.message.find("memory limit"), std::string::npos) << window.message;
  EXPECT_TRUE(Decode(frames, -1, -1, 1000).failed);  // the first frame's window is 16000

  EXPECT_TRUE(Decode({}).failed);
  EXPECT_TRUE(Decode({0x28, 0xB5, 0x2F}).failed);
  EXPECT_TRUE(Decode({'P', 'K', 3, 4, 0, 0, 0, 0}).failed);
}

// A frame of one compressed block built by hand: `literals` raw literals,
// then `count` sequences whose three codes each come from a one-symbol
// table, so the sequence bit stream holds no bits but its end marker. The
// frame names a window (1 KiB << exponent) and no content size, so the
// window alone decides how the sequences are executed.
std::vector<uint8_t> SequenceFrame(uint8_t window_exponent, size_t literals, uint32_t count,
                                   uint8_t ll_code, uint8_t of_code, uint8_t ml_code) {
  std::vector<uint8_t> block = {static_cast<uint8_t>((literals << 4) | 4),
                                static_cast<uint8_t>(literals >> 4)};  // raw, 2-byte header
  for (size_t i = 0; i < literals; ++i) block.push_back(static_cast<uint8_t>('A' + i % 26));
  if (count < 128) {
    block.push_back(static_cast<uint8_t>(count));
  } else {
    block.push_back(static_cast<uint8_t>((count >> 8) + 128));
    block.push_back(static_cast<uint8_t>(count));
  }
  const std::vector<uint8_t> tail = {0x54, ll_code, of_code, ml_code, 0x01};
  block.insert(block.end(), tail.begin(), tail.end());
  const uint32_t header = static_cast<uint32_t>(block.size()) << 3 | 2 << 1 | 1;
  std::vector<uint8_t> frame = {0x28,
                                0xB5,
                                0x2F,
                                0xFD,
                                0x00,
                                static_cast<uint8_t>(window_exponent << 3),
                                static_cast<uint8_t>(header),
                                static_cast<uint8_t>(header >> 8),
                                static_cast<uint8_t>(header >> 16)};
  frame.insert(frame.end(), block.begin(), block.end());
  return frame;
}

// Sequences that ask for more literals than the block has, for more output
// than a block may hold, or for bits the stream does not have, are refused
// with their own message, whether each sequence is executed as it is
// decoded (a 1 KiB window) or decoded ahead of its copying (16 MiB); and
// sequences that fit give the right bytes in both.
TEST(Zstd, SequenceBoundsInBothExecutionOrders) {
  // Literal length code 1 is one literal, offset code 0 the first repeat
  // offset (1), match length code 31 a match of 34 and code 32 one of 35 or
  // 36 after one extra bit.
  struct Case {
    size_t literals;
    uint32_t count;
    uint8_t ml_code;
    const char* failure;  // nullptr: decodes
  };
  for (const uint8_t exponent : {0, 14}) {
    const uint32_t block_max = exponent == 0 ? 1024 : 128 * 1024;
    const uint32_t too_many = block_max / 35 + 1;
    const Case cases[] = {
        {20, 20, 31, nullptr},
        {25, 20, 31, nullptr},
        {19, 20, 31, "sequences use more literals than the block has"},
        {too_many, too_many, 31, "sequences produce more than the block size limit"},
        {1, 1, 32, "sequence bit stream is corrupt"},
    };
    for (const Case& c : cases) {
      const Result r = Decode(SequenceFrame(exponent, c.literals, c.count, 1, 0, c.ml_code));
      const std::string where = "window 1 KiB << " + std::to_string(exponent) + ", " +
                                std::to_string(c.count) + " sequences";
      if (c.failure) {
        ASSERT_TRUE(r.failed) << where;
        EXPECT_NE(r.message.find(c.failure), std::string::npos) << where << ": " << r.message;
        continue;
      }
      ASSERT_FALSE(r.failed) << where << ": " << r.message;
      std::vector<uint8_t> expected;
      for (size_t i = 0; i < c.literals; ++i) {
        expected.insert(expected.end(), i < c.count ? 35 : 1, static_cast<uint8_t>('A' + i % 26));
      }
      EXPECT_TRUE(r.output == expected) << where;
    }
  }
}

// Every truncation and a spread of bit flips must end in the decoder's error
// (or, for a harmless flip, the right output), never a crash or a wrong
// result reported as success.
TEST(Zstd, DamagedInputFailsCleanly) {
  const auto frames = SampleFrames();
  const auto expected = SampleOutput();
  const size_t first_frame = 2860;  // the -19 frame, with its checksum
  for (size_t cut = 0; cut < first_frame; cut += (cut < 64 ? 1 : 37)) {
    const std::vector<uint8_t> part(frames.begin(), frames.begin() + cut);
    EXPECT_TRUE(Decode(part).failed) << "cut at " << cut;
  }
  // Flips in the first frame only: the second has no checksum, so a flip in
  // its literals goes unnoticed by design.
  int harmless = 0;
  for (size_t bit = 0; bit < first_frame * 8; bit += 7) {
    auto damaged = frames;
    damaged[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    const Result r = Decode(damaged);
    if (!r.failed) {
      EXPECT_TRUE(r.output == expected) << "bit " << bit;
      ++harmless;
    }
  }
  EXPECT_LT(harmless, 10);
}

#ifndef _WIN32
bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}
#endif

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// The engine's own sources, concatenated: real text with real structure.
std::vector<uint8_t> RepositorySources() {
  std::vector<uint8_t> all;
  const std::filesystem::path dir = std::filesystem::path(test::SourceDir()) / "src" / "archive";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    const auto bytes = ReadFile(file.string());
    all.insert(all.end(), bytes.begin(), bytes.end());
  }
  return all;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> ToolInputs() {
  std::vector<uint8_t> skewed = test::RandomBytes(300000, 25);
  for (auto& b : skewed) b = static_cast<uint8_t>(b % 7 == 0 ? b : b % 23);
  // Noise repeated 1.5 MB later: only a large window finds the repeat.
  std::vector<uint8_t> far = test::RandomBytes(200000, 26);
  const auto gap = test::SampleText(1500000, 27);
  std::vector<uint8_t> copy = far;
  far.insert(far.end(), gap.begin(), gap.end());
  far.insert(far.end(), copy.begin(), copy.end());
  return {{"text", test::SampleText(400000, 21)},
          {"sources", RepositorySources()},
          {"skewed", skewed},
          {"noise", test::RandomBytes(300000, 22)},
          {"zeros", std::vector<uint8_t>(700000, 0)},
          {"far", far},
          {"empty", {}},
          {"one", {'1'}}};
}

class ZstdTool : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the zstd tool (a Linux program) cannot be run from a Windows test under Wine";
#else
    if (!HaveTool("zstd")) VX_SKIP_OR_FAIL("the zstd tool is not installed");
#endif
  }
  // Compresses `data` with the tool's `flags` (through a pipe when `piped`,
  // so the frame has no content size).
  std::vector<uint8_t> Compress(const std::vector<uint8_t>& data, const std::string& flags,
                                bool piped = false) {
    const std::string in = dir_.File("in"), out = dir_.File("out.zst");
    WriteFile(in, data);
    const std::string command = piped ? "zstd -q -f " + flags + " < '" + in + "' > '" + out + "'"
                                      : "zstd -q -f " + flags + " '" + in + "' -o '" + out + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(out);
  }
  test::ScratchDir dir_;
};

TEST_F(ZstdTool, EveryLevelAndWindow) {
  if (IsSkipped()) return;
  struct Setting {
    const char* flags;
    bool piped;
  };
  const Setting settings[] = {{"-1", false},
                              {"-3", false},
                              {"-19", false},
                              {"--ultra -22 --zstd=wlog=19", false},
                              {"--long=25 -3", false},
                              {"--no-check -5", false},
                              {"--fast=4", false},
                              {"-9", true},
                              {"-19 --no-check", true},
                              // Windows far smaller than the data, with and
                              // without a content size: the output buffer
                              // wraps again and again, and matches reach
                              // back across the wrap.
                              {"-3 --zstd=wlog=10", false},
                              {"-19 --zstd=wlog=12", true},
                              {"-5 --zstd=wlog=17", true},
                              // Windows beyond the caches, where matches are
                              // decoded ahead of their copying and prefetched.
                              {"--long=24 -3", true},
                              {"-19 --zstd=wlog=24", true}};
  for (const auto& [name, data] : ToolInputs()) {
    for (const Setting& s : settings) {
      const auto frame = Compress(data, s.flags, s.piped);
      const Result r = Decode(frame, static_cast<int64_t>(data.size()));
      ASSERT_FALSE(r.failed) << name << " " << s.flags << ": " << r.message;
      ASSERT_TRUE(r.output == data) << name << " " << s.flags;
      EXPECT_EQ(r.returned, static_cast<int64_t>(data.size()));
    }
  }
}

TEST_F(ZstdTool, FramesInARowWithSkippableFrames) {
  if (IsSkipped()) return;
  const auto inputs = ToolInputs();
  const std::vector<uint8_t> skippable = {0x5A, 0x2A, 0x4D, 0x18, 3, 0, 0, 0, 'a', 'b', 'c'};
  std::vector<uint8_t> stream = skippable, expected;
  const char* flags[] = {"-3", "-19 --no-check", "-1"};
  for (size_t i = 0; i < inputs.size(); ++i) {
    const auto frame = Compress(inputs[i].second, flags[i % 3]);
    stream.insert(stream.end(), frame.begin(), frame.end());
    if (i % 2) stream.insert(stream.end(), skippable.begin(), skippable.end());
    expected.insert(expected.end(), inputs[i].second.begin(), inputs[i].second.end());
  }
  const Result r = Decode(stream);
  ASSERT_FALSE(r.failed) << r.message;
  EXPECT_TRUE(r.output == expected);
  EXPECT_EQ(r.last_progress, static_cast<int64_t>(stream.size()));
  // A window above the memory limit is refused before anything is written.
  const auto long_frame = Compress(inputs[0].second, "--long=27 -3", true);
  const Result refused = Decode(long_frame, -1, -1, int64_t{64} << 20);
  EXPECT_TRUE(refused.failed);
  EXPECT_NE(refused.message.find("memory limit"), std::string::npos) << refused.message;
  EXPECT_TRUE(refused.output.empty());
  EXPECT_FALSE(Decode(long_frame).failed);
}

// A changed byte in a large checksummed frame is caught whatever the block
// type it lands in, with a small window and with one large enough for
// matches to be decoded ahead of their copying.
TEST_F(ZstdTool, ChecksumCatchesDamage) {
  if (IsSkipped()) return;
  const auto data = RepositorySources();
  for (const bool large_window : {false, true}) {
    const auto frame = large_window ? Compress(data, "--long=24 -3", true) : Compress(data, "-3");
    int caught = 0;
    for (size_t at = 20; at < frame.size(); at += frame.size() / 97) {
      auto damaged = frame;
      damaged[at] ^= 0x10;
      const Result r = Decode(damaged);
      if (r.failed) {
        ++caught;
      } else {
        EXPECT_TRUE(r.output == data) << "byte " << at << (large_window ? " (large window)" : "");
      }
    }
    EXPECT_GT(caught, 90) << (large_window ? "large window" : "small window");
  }
}

}  // namespace
}  // namespace vx
