// The bzip2 decoder against the bzip2 tool, 7-Zip's and Python's ZIP
// writers, and damaged input.
#include "archive/bzip2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/inflate_test_support.h"
#include "archive/member_record_test_support.h"
#include "archive/zip_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

#ifdef _WIN32
#define REQUIRE_TOOL(tool) GTEST_SKIP() << "Linux tools cannot be run from a Windows test"
#else
#define REQUIRE_TOOL(tool)                                                         \
  do {                                                                             \
    if (test::FindTool({tool}).empty()) VX_SKIP_OR_FAIL(tool " is not installed"); \
  } while (0)
#endif

std::string AsString(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

struct Result {
  bool failed = false;
  std::string message;
  std::string output;
  int64_t written = 0;
  int64_t read_to = 0;  // source position afterwards
};

Result Decode(const std::string& data, int64_t compressed_size = -1, int64_t output_limit = -1,
              size_t offset = 0) {
  TMemoryViewStream source(data.data(), data.size());
  source.SetPosition(static_cast<int64_t>(offset));
  TMemoryStream dest;
  TAbDecodeJob job;
  job.source = &source;
  job.dest = &dest;
  job.compressed_size = compressed_size;
  job.output_limit = output_limit;
  Result r;
  try {
    r.written = DecodeBzip2(job);
  } catch (const EAbDecompressError& e) {
    r.failed = true;
    r.message = e.Message();
  }
  r.output = AsString(dest.Bytes());
  r.read_to = source.Position();
  return r;
}

// Compresses `data` with the bzip2 tool at `level`.
std::string Bzip2Tool(const test::ScratchDir& dir, const std::string& data, int level) {
  const std::string in = dir.File("in");
  test::WriteFile(in, data);
  const auto r =
      test::RunProcess("bzip2 -c -" + std::to_string(level) + " " + test::ShellQuote(in));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  return r.out;
}

std::vector<std::pair<std::string, std::string>> Inputs() {
  std::string runs;  // runs of every length around the 4-byte and 255-count edges
  for (int len = 1; len < 600; len += 3)
    runs += std::string(static_cast<size_t>(len), 'a' + len % 5);
  std::string skewed = AsString(test::RandomBytes(400000, 7));
  for (auto& c : skewed) c = static_cast<char>(uint8_t(c) % 11 == 0 ? c : uint8_t(c) % 3);
  return {{"empty", ""},
          {"one", "x"},
          {"text", AsString(test::SampleText(1500000, 3))},  // several blocks at -1 and -9
          {"noise", AsString(test::RandomBytes(300000, 4))},
          {"zeros", std::string(3000000, '\0')},
          {"runs", runs},
          {"skewed", skewed}};
}

// Samples made once by the bzip2 tool and kept in the source tree, so this
// runs in every build, the Windows ones under Wine included.
TEST(Bzip2, KeptSamplesInEveryBuild) {
  const std::string sep(1, test::Separator());
  const std::string folder =
      test::SourceDir() + sep + "tests" + sep + "archive" + sep + "samples" + sep + "bzip2" + sep;
  std::string all_packed, all_plain;
  for (const char* name : {"text", "runs"}) {
    const auto plain = test::ReadFile(folder + name);
    const auto packed = test::ReadFile(folder + name + ".bz2");
    if (!plain || !packed) VX_SKIP_OR_FAIL("missing sample " + folder + name);
    const Result r =
        Decode(*packed, static_cast<int64_t>(packed->size()), static_cast<int64_t>(plain->size()));
    ASSERT_FALSE(r.failed) << name << ": " << r.message;
    EXPECT_TRUE(r.output == *plain) << name;
    EXPECT_TRUE(Decode(*packed, -1, static_cast<int64_t>(plain->size()) - 1).failed) << name;
    EXPECT_TRUE(Decode(packed->substr(0, packed->size() - 3)).failed) << name;
    all_packed += *packed;
    all_plain += *plain;
  }
  const Result r = Decode(all_packed);
  ASSERT_FALSE(r.failed) << r.message;
  EXPECT_TRUE(r.output == all_plain);
}

TEST(Bzip2, ToolStreamsAtLevels1And9) {
  REQUIRE_TOOL("bzip2");
  test::ScratchDir dir;
  for (const auto& [name, data] : Inputs()) {
    for (int level : {1, 9}) {
      const std::string packed = Bzip2Tool(dir, data, level);
      const Result r =
          Decode(packed, static_cast<int64_t>(packed.size()), static_cast<int64_t>(data.size()));
      ASSERT_FALSE(r.failed) << name << " -" << level << ": " << r.message;
      EXPECT_EQ(r.written, static_cast<int64_t>(data.size())) << name << " -" << level;
      EXPECT_TRUE(r.output == data) << name << " -" << level;
    }
  }
}

// Concatenated streams decode as one; the declared compressed size bounds
// reading, and what follows a stream without starting another is ignored.
TEST(Bzip2, ConcatenatedStreamsAndBounds) {
  REQUIRE_TOOL("bzip2");
  test::ScratchDir dir;
  const std::string a = AsString(test::SampleText(250000, 5));
  const std::string b = AsString(test::RandomBytes(50000, 6));
  const std::string packed = Bzip2Tool(dir, a, 1) + Bzip2Tool(dir, "", 9) + Bzip2Tool(dir, b, 9);

  Result r = Decode(packed);
  ASSERT_FALSE(r.failed) << r.message;
  EXPECT_TRUE(r.output == a + b);

  // Inside a larger stream: starts at an offset, stops at the size given.
  const std::string framed = "PREFIX" + packed + "BZh9garbage that must not be read";
  r = Decode(framed, static_cast<int64_t>(packed.size()), -1, 6);
  ASSERT_FALSE(r.failed) << r.message;
  EXPECT_TRUE(r.output == a + b);
  EXPECT_LE(r.read_to, static_cast<int64_t>(6 + packed.size()));

  r = Decode(packed + "trailing text");
  ASSERT_FALSE(r.failed) << r.message;
  EXPECT_TRUE(r.output == a + b);
}

TEST(Bzip2, OutputLimitAndProgress) {
  REQUIRE_TOOL("bzip2");
  test::ScratchDir dir;
  const std::string data = AsString(test::SampleText(400000, 8));
  const std::string packed = Bzip2Tool(dir, data, 1);
  const int64_t size = static_cast<int64_t>(data.size());
  for (int64_t limit : {int64_t{0}, int64_t{1000}, size - 1}) {
    const Result r = Decode(packed, -1, limit);
    EXPECT_TRUE(r.failed) << limit;
    EXPECT_EQ(static_cast<int64_t>(r.output.size()), limit);
    EXPECT_TRUE(r.output == data.substr(0, static_cast<size_t>(limit)));
  }
  EXPECT_FALSE(Decode(packed, -1, size).failed);

  // Progress reports rise and end at the whole input.
  const std::string big = Bzip2Tool(dir, AsString(test::RandomBytes(200000, 9)), 9);
  TMemoryViewStream source(big.data(), big.size());
  TDiscardStream dest;
  TAbDecodeJob job;
  job.source = &source;
  job.dest = &dest;
  std::vector<int64_t> seen;
  job.OnInput = [&](int64_t consumed) { seen.push_back(consumed); };
  EXPECT_EQ(DecodeBzip2(job), 200000);
  ASSERT_GE(seen.size(), big.size() / 65536);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), static_cast<int64_t>(big.size()));
}

// Members written by 7-Zip and by Python's zipfile, read at their offsets
// with the sizes from the directory, checked against the member CRC-32.
TEST(Bzip2, ZipMembersOfRealWriters) {
  REQUIRE_TOOL("7zz");
  REQUIRE_TOOL("python3");
  test::ScratchDir dir;
  const auto inputs = Inputs();
  for (const auto& [name, data] : inputs) test::WriteFile(dir.File(name), data);
  std::string names;
  for (const auto& [name, data] : inputs) names += " " + name;
  const std::string seven = dir.File("7z.zip");
  const std::string python = dir.File("py.zip");
  ASSERT_EQ(test::RunProcess("cd " + test::ShellQuote(dir.Path()) +
                             " && 7zz a -bd -bso0 -tzip -mm=BZip2 7z.zip" + names)
                .exit_code,
            0);
  ASSERT_EQ(test::RunProcess("cd " + test::ShellQuote(dir.Path()) +
                             " && python3 -c \"import zipfile,sys\n"
                             "with zipfile.ZipFile('py.zip','w',zipfile.ZIP_BZIP2) as z:\n"
                             "  [z.write(n) for n in sys.argv[1:]]\"" +
                             names)
                .exit_code,
            0);
  for (const std::string& path : {seven, python}) {
    const std::string archive = test::ReadFile(path).value_or("");
    int decoded = 0;
    for (const auto& m : test::ReadMemberRecords(archive)) {
      if (m.method != 12) continue;
      const Result r = Decode(archive, m.compressed_size, m.size, m.data_offset);
      ASSERT_FALSE(r.failed) << path << " " << m.name << ": " << r.message;
      EXPECT_EQ(Crc32Update(0, r.output.data(), r.output.size()), m.crc) << path << " " << m.name;
      for (const auto& [name, data] : inputs) {
        if (name == m.name) {
          EXPECT_TRUE(r.output == data) << path << " " << name;
        }
      }
      ++decoded;
    }
    EXPECT_GE(decoded, 4) << path;  // the smallest may be stored
  }
}

// Damaged input fails with the decoder's own error, never anything worse; a
// change that leaves the data intact (a padding bit) may decode.
TEST(Bzip2, CorruptInputFailsCleanly) {
  REQUIRE_TOOL("bzip2");
  test::ScratchDir dir;
  const std::string data = AsString(test::SampleText(120000, 10)) + std::string(5000, 'z');
  const std::string packed = Bzip2Tool(dir, data, 1);

  const std::vector<std::pair<std::string, std::string>> broken = {
      {"nothing", ""},
      {"header only", "BZh9"},
      {"bad level", "BZh0" + packed.substr(4)},
      {"not bzip2", "PK\3\4" + packed.substr(4)},
      {"smaller level than the block", "BZh1" + Bzip2Tool(dir, data, 9).substr(4)},
      // The randomised flag is the bit after the block signature and CRC.
      {"randomised",
       [&] {
         std::string s = packed;
         s[14] = static_cast<char>(s[14] | 0x80);
         return s;
       }()},
  };
  for (const auto& [name, input] : broken) {
    const Result r = Decode(input);
    EXPECT_TRUE(r.failed) << name;
  }
  EXPECT_NE(Decode(broken[5].second).message.find("randomised"), std::string::npos);

  for (size_t cut = 0; cut < packed.size(); cut += 1 + cut / 3) {
    EXPECT_TRUE(Decode(packed.substr(0, cut)).failed) << "cut at " << cut;
  }
  int failures = 0;
  for (size_t pos = 4; pos < packed.size(); pos += packed.size() / 97) {
    for (int bit : {0, 3, 7}) {
      std::string bad = packed;
      bad[pos] = static_cast<char>(bad[pos] ^ (1 << bit));
      const Result r = Decode(bad, -1, static_cast<int64_t>(data.size()) + 100000);
      if (r.failed) {
        ++failures;
      } else {
        EXPECT_TRUE(r.output == data) << "byte " << pos << " bit " << bit;
      }
    }
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace vx
