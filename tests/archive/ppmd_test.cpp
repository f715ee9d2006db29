// The PPMd decoder (ZIP method 98) against members written by 7-Zip at
// several model orders and memory sizes, including models that fill their
// memory and must be restarted or cut off exactly as the writer did, and on
// broken and limited input.
#include "archive/ppmd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/lzma_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

using test::RunDecoder;

struct PpmdMember {
  std::string name;
  unsigned order = 0, mib = 0, restore = 0;  // from the member's 2-byte header
  std::vector<uint8_t> data;
  std::vector<uint8_t> source;
};

using Inputs = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// Writes `inputs` to a scratch folder, has 7-Zip pack them with `options`
// and returns the PPMd members (incompressible ones are stored).
std::vector<PpmdMember> SevenZipMembers(const Inputs& inputs, const std::string& options) {
  test::ScratchDir dir;
  std::string names;
  for (const auto& [name, data] : inputs) {
    test::WriteFile(dir.File(name), data);
    names += " " + name;
  }
  const std::string command = "cd " + test::ShellQuote(dir.Path()) +
                              " && 7zz a -tzip -bd -bso0 -mm=PPMd " + options + " out.zip" + names;
  const auto run = test::RunProcess(command);
  EXPECT_EQ(run.exit_code, 0) << command << "\n" << run.err;
  const auto archive = test::ToBytes(test::ReadFile(dir.File("out.zip")).value_or(""));
  std::vector<PpmdMember> members;
  for (const auto& m : test::ReadZipMembers(archive)) {
    if (m.method != 98) continue;
    PpmdMember member;
    member.name = m.name;
    member.data.assign(
        archive.begin() + static_cast<std::ptrdiff_t>(m.data_offset),
        archive.begin() + static_cast<std::ptrdiff_t>(m.data_offset + m.compressed_size));
    if (member.data.size() >= 2) {
      const unsigned header = member.data[0] | member.data[1] << 8;
      member.order = (header & 15) + 1;
      member.mib = ((header >> 4) & 255) + 1;
      member.restore = header >> 12;
    }
    for (const auto& [name, data] : inputs) {
      if (name == m.name) member.source = data;
    }
    members.push_back(member);
  }
  return members;
}

// Each member decodes to its source with the declared size and, through
// the end marker 7-Zip writes, without it.
void ExpectSources(const std::vector<PpmdMember>& members, const std::string& options) {
  for (const auto& m : members) {
    const auto sized = RunDecoder(DecodePpmd, m.data, static_cast<int64_t>(m.source.size()));
    EXPECT_TRUE(sized.ok) << options << " " << m.name << ": " << sized.error;
    EXPECT_TRUE(sized.output == m.source) << options << " " << m.name;
    const auto unsized = RunDecoder(DecodePpmd, m.data, -1);
    EXPECT_TRUE(unsized.ok) << options << " " << m.name << ": " << unsized.error;
    EXPECT_TRUE(unsized.output == m.source) << options << " " << m.name;
  }
}

#define REQUIRE_SEVEN_ZIP()                                                               \
  do {                                                                                    \
    VX_SKIP_UNDER_WINE();                                                                 \
    if (test::FindTool({"7zz"}).empty()) VX_SKIP_OR_FAIL("7-Zip (7zz) is not installed"); \
  } while (0)

// Members made once by 7-Zip and kept in the source tree, so this runs in
// every build, the Windows ones under Wine included: an order-6 model and an
// order-16 one with the cut-off method.
TEST(PpmdDecoder, KeptSamplesInEveryBuild) {
  const std::string sep(1, test::Separator());
  const std::string folder =
      test::SourceDir() + sep + "tests" + sep + "archive" + sep + "samples" + sep + "ppmd" + sep;
  const auto plain = test::ReadFile(folder + "text");
  if (!plain) VX_SKIP_OR_FAIL("missing sample " + folder + "text");
  for (const char* name : {"text.o6", "text.o16-cut"}) {
    const auto packed = test::ReadFile(folder + name);
    if (!packed) VX_SKIP_OR_FAIL("missing sample " + folder + name);
    const auto data = test::ToBytes(*packed);
    const auto r = RunDecoder(DecodePpmd, data, static_cast<int64_t>(plain->size()));
    ASSERT_TRUE(r.ok) << name << ": " << r.error;
    EXPECT_TRUE(r.output == test::ToBytes(*plain)) << name;
    EXPECT_TRUE(RunDecoder(DecodePpmd, data, -1).output == test::ToBytes(*plain)) << name;
  }
}

uint32_t g_model_bytes = 0;
int64_t DecodeWithModelSize(TAbDecodeJob& job) {
  return DecodePpmdWithModelSize(job, g_model_bytes);
}

// Models far smaller than a header can ask for fill up within a few
// kilobytes and are restarted or cut off again and again; the writer's
// 1 MiB model is gone, so the output is wrong, but decoding must end in a
// result or a clean error. A 2 KiB model is three quarters full with the
// order-0 context alone, so it can never be cut down enough: that once
// kept the decoder cutting forever.
TEST(PpmdDecoder, TinyModelsEndCleanly) {
  const std::string sep(1, test::Separator());
  const std::string folder =
      test::SourceDir() + sep + "tests" + sep + "archive" + sep + "samples" + sep + "ppmd" + sep;
  for (const char* name : {"text.o6", "text.o16-cut"}) {
    const auto packed = test::ReadFile(folder + name);
    if (!packed) VX_SKIP_OR_FAIL("missing sample " + folder + name);
    for (uint32_t bytes : {2048u, 2500u, 4096u, 6000u, 16384u, 65536u}) {
      g_model_bytes = bytes;
      const auto r = RunDecoder(DecodeWithModelSize, test::ToBytes(*packed), -1);
      if (bytes == 2048 && std::string(name) == "text.o16-cut") {
        EXPECT_NE(r.error.find("cannot be cut down"), std::string::npos) << r.error;
      }
    }
  }
}

TEST(PpmdDecoder, SevenZipAtSeveralOrdersAndMemorySizes) {
  REQUIRE_SEVEN_ZIP();
  const auto inputs = test::LzmaSampleInputs();
  struct Setting {
    std::string options;
    unsigned order, mib, restore;
  };
  // 7-Zip cuts the model off at -mx=9 and restarts it otherwise; orders
  // above 16 do not fit the header and 7-Zip refuses them.
  const std::vector<Setting> settings = {
      {"-mo=2 -mmem=1m", 2, 1, 0},           {"-mo=3 -mmem=2m -mx=9", 3, 2, 1},
      {"-mo=6 -mmem=16m", 6, 16, 0},         {"-mo=8", 8, 16, 0},
      {"-mo=16 -mmem=64m -mx=9", 16, 64, 1}, {"-mo=11 -mmem=256m", 11, 256, 0},
  };
  for (const auto& s : settings) {
    const auto members = SevenZipMembers(inputs, s.options);
    EXPECT_GE(members.size(), 4u) << s.options;  // noise and "one" may be stored
    for (const auto& m : members) {
      EXPECT_EQ(m.order, s.order) << s.options;
      // 7-Zip lowers the memory to what a small input can use.
      EXPECT_LE(m.mib, s.mib) << s.options;
      EXPECT_EQ(m.restore, s.restore) << s.options;
    }
    ExpectSources(members, s.options);
  }
}

// Mixed data several times the model's memory: the model fills up again and
// again, and each time the writer restarted it (-mx=5) or cut it down
// (-mx=9) exactly where the decoder must.
TEST(PpmdDecoder, FullModelIsRestartedOrCutOffLikeTheWriters) {
  REQUIRE_SEVEN_ZIP();
  std::vector<uint8_t> mixed;
  for (uint32_t part = 0; part < 8; ++part) {
    const auto text = test::SampleText(90000, 40 + part);
    const auto noise = test::RandomBytes(60000 + part * 1000, 60 + part);
    mixed.insert(mixed.end(), text.begin(), text.end());
    mixed.insert(mixed.end(), noise.begin(), noise.end());
  }
  const Inputs inputs = {{"mixed", mixed}};
  for (const char* options : {"-mo=4 -mmem=1m -mx=5", "-mo=4 -mmem=1m -mx=9",
                              "-mo=16 -mmem=1m -mx=5", "-mo=16 -mmem=1m -mx=9"}) {
    const auto members = SevenZipMembers(inputs, options);
    ASSERT_EQ(members.size(), 1u) << options;
    EXPECT_EQ(members[0].mib, 1u);
    EXPECT_EQ(members[0].restore,
              std::string(options).find("-mx=9") != std::string::npos ? 1u : 0u);
    ExpectSources(members, options);
  }
}

// The benchmark corpus (the mingw-w64 GCC runtime tree, as bench_ppmd uses
// it): its first 3 MB through a 1 MiB model, cut off.
TEST(PpmdDecoder, BenchmarkCorpusThroughAFullModel) {
  REQUIRE_SEVEN_ZIP();
  const std::filesystem::path tree = "/usr/lib/gcc/x86_64-w64-mingw32/12-posix";
  if (!std::filesystem::is_directory(tree)) VX_SKIP_OR_FAIL("no " + tree.string());
  test::ScratchDir dir;
  const auto run = test::RunProcess("cd " + test::ShellQuote(tree.parent_path().string()) +
                                    " && tar cf - " + test::ShellQuote(tree.filename().string()) +
                                    " | head -c 3000000 > " + test::ShellQuote(dir.File("corpus")));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto corpus = test::ToBytes(test::ReadFile(dir.File("corpus")).value_or(""));
  ASSERT_EQ(corpus.size(), 3000000u);
  const auto members = SevenZipMembers({{"corpus", corpus}}, "-mo=8 -mmem=1m -mx=9");
  ASSERT_EQ(members.size(), 1u);
  ExpectSources(members, "corpus");
}

TEST(PpmdDecoder, BrokenAndLimitedInput) {
  REQUIRE_SEVEN_ZIP();
  const auto text = test::SampleText(200000, 71);
  const auto members = SevenZipMembers({{"text", text}}, "-mo=6 -mmem=16m");
  ASSERT_EQ(members.size(), 1u);
  const std::vector<uint8_t>& data = members[0].data;
  const int64_t size = static_cast<int64_t>(text.size());

  // Every truncation fails without the size; with it, one that loses only
  // the end marker's bytes goes unnoticed (decoding stops at the size).
  for (size_t keep : {size_t{0}, size_t{1}, size_t{2}, size_t{5}, data.size() / 2, data.size() - 4,
                      data.size() - 1}) {
    const std::vector<uint8_t> cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_FALSE(RunDecoder(DecodePpmd, cut, -1).ok) << "kept " << keep;
    if (keep <= data.size() / 2) {
      EXPECT_FALSE(RunDecoder(DecodePpmd, cut, size).ok) << keep;
    }
  }

  // Flipped bits: a clean result or a clean failure (RunDecoder checks the
  // job's contract). Nothing checks the data, but a flip derails the model
  // and the end marker is then not where the size says.
  int failed = 0, flips = 0;
  for (size_t at = 2; at < data.size(); at += data.size() / 97 + 1, ++flips) {
    std::vector<uint8_t> bad = data;
    bad[at] ^= static_cast<uint8_t>(1 << (at % 8));
    const auto r = RunDecoder(DecodePpmd, bad, size);
    if (!r.ok) {
      ++failed;
    } else {
      EXPECT_FALSE(r.output == text) << "flip at " << at << " went unnoticed";
    }
  }
  EXPECT_GT(failed, flips * 3 / 4);

  // Header fields: order 1, the "freeze" method, and a model larger than
  // the job allows (refused before it is allocated).
  struct HeaderCase {
    unsigned header;
    int64_t memory_limit;
    const char* message;
  } header_cases[] = {
      {0x00F0, int64_t{1} << 30, "order"},       {0x20F5, int64_t{1} << 30, "restoration"},
      {0x30F5, int64_t{1} << 30, "restoration"}, {0x00F5, (int64_t{16} << 20) - 1, "memory"},
      {0x0FF5, int64_t{255} << 20, "memory"},
  };
  for (const auto& c : header_cases) {
    std::vector<uint8_t> bad = data;
    bad[0] = static_cast<uint8_t>(c.header);
    bad[1] = static_cast<uint8_t>(c.header >> 8);
    const auto r = RunDecoder(DecodePpmd, bad, size, c.memory_limit);
    EXPECT_NE(r.error.find(c.message), std::string::npos) << c.message << ": " << r.error;
  }
  EXPECT_TRUE(RunDecoder(DecodePpmd, data, size, int64_t{16} << 20).ok);
  // More memory than the writer had changes nothing while the model fits.
  std::vector<uint8_t> roomier = data;
  roomier[0] = 0xF5;
  roomier[1] = 0x0F;  // 256 MiB
  EXPECT_TRUE(RunDecoder(DecodePpmd, roomier, size).output == text);

  // A declared size below the real one: output stops there and the data
  // going on is an error; above it, the end marker comes too early.
  for (int64_t limit : {int64_t{0}, int64_t{1000}, size - 1}) {
    const auto r = RunDecoder(DecodePpmd, data, limit);
    EXPECT_FALSE(r.ok) << limit;
    EXPECT_NE(r.error.find("past the declared size"), std::string::npos) << r.error;
    EXPECT_TRUE(r.output == std::vector<uint8_t>(text.begin(), text.begin() + limit)) << limit;
  }
  const auto longer = RunDecoder(DecodePpmd, data, size + 1);
  EXPECT_NE(longer.error.find("end marker comes before"), std::string::npos) << longer.error;
  EXPECT_TRUE(longer.output == text);
}

// Through the whole engine: vxzip extracts and tests a 7-Zip PPMd archive,
// and bsdtar (libarchive) reads it the same.
TEST(PpmdDecoder, VxzipReadsASevenZipArchive) {
  REQUIRE_SEVEN_ZIP();
  const std::string vxzip = test::VxzipPath();
  if (vxzip.empty()) VX_SKIP_OR_FAIL("vxzip has not been built");
  test::ScratchDir dir;
  const std::string src = dir.File("src");
  std::filesystem::create_directories(src + "/sub");
  test::WriteFile(src + "/text.txt", test::SampleText(300000, 81));
  test::WriteFile(src + "/sub/skewed.bin", test::LzmaSampleInputs().back().second);
  const std::string archive = dir.File("p.zip");
  ASSERT_EQ(test::RunProcess("cd " + test::ShellQuote(src) +
                             " && 7zz a -tzip -bd -bso0 -mm=PPMd -mo=10 -mmem=8m " +
                             test::ShellQuote(archive) + " .")
                .exit_code,
            0);
  const std::string out = dir.File("out");
  auto run = test::RunProcess(test::ShellQuote(vxzip) + " extract " + test::ShellQuote(archive) +
                              " -d " + test::ShellQuote(out));
  EXPECT_EQ(run.exit_code, 0) << run.err << run.out;
  EXPECT_TRUE(test::TreeContents(out) == test::TreeContents(src));
  run = test::RunProcess(test::ShellQuote(vxzip) + " test " + test::ShellQuote(archive));
  EXPECT_EQ(run.exit_code, 0) << run.out;
  if (!test::FindTool({"bsdtar"}).empty()) {
    const std::string peer = dir.File("peer");
    std::filesystem::create_directories(peer);
    if (test::RunProcess("cd " + test::ShellQuote(peer) + " && bsdtar -xf " +
                         test::ShellQuote(archive))
            .exit_code == 0) {
      EXPECT_TRUE(test::TreeContents(peer) == test::TreeContents(out));
    }
  }
}

}  // namespace
}  // namespace vx
