// The inflater against real encoders run at test time: zlib (through
// Python) at every level and strategy, Info-ZIP's zip, and 7-Zip's Deflate
// and Deflate64 encoders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/errors.h"
#include "archive/inflate.h"
#include "archive/inflate_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

#ifndef _WIN32
bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string SevenZip() {
  for (const char* name : {"7z", "7zz", "7za"}) {
    if (HaveTool(name)) return name;
  }
  return "";
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Inputs with different statistics; "far" repeats 60 KB of noise after 3
// KB, so deflate64 encoders reach back beyond 32 KiB.
std::vector<std::pair<std::string, std::vector<uint8_t>>> SampleInputs() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
      {"text", test::SampleText(150000, 21)},
      {"noise", test::RandomBytes(100000, 22)},
      {"zeros", std::vector<uint8_t>(300000, 0)},
      {"empty", {}},
      {"one", {'1'}}};
  std::vector<uint8_t> far = test::RandomBytes(60000, 23);
  const auto gap = test::SampleText(3000, 24);
  std::vector<uint8_t> copy = far;
  far.insert(far.end(), gap.begin(), gap.end());
  far.insert(far.end(), copy.begin(), copy.end());
  inputs.push_back({"far", far});
  // Skewed bytes: literal-heavy with codes of many lengths.
  std::vector<uint8_t> skewed = test::RandomBytes(200000, 25);
  for (auto& b : skewed) b = static_cast<uint8_t>(b % 7 == 0 ? b : b % 23);
  inputs.push_back({"skewed", skewed});
  return inputs;
}

void ExpectArchiveInflates(const std::string& path,
                           const std::vector<std::pair<std::string, std::vector<uint8_t>>>& inputs,
                           uint16_t method) {
  const auto archive = ReadFile(path);
  const auto members = test::ReadZipMembers(archive);
  ASSERT_EQ(members.size(), inputs.size()) << path;
  int decoded = 0;
  for (const auto& m : members) {
    if (m.method != method) continue;  // tiny members may be stored
    TMemoryStream source(archive);
    source.SetPosition(static_cast<int64_t>(m.data_offset));
    TMemoryStream dest;
    TAbDeflateHelper helper;
    if (method == 9) helper.options |= TAbDeflateHelper::kOptionDeflate64;
    EXPECT_EQ(Inflate(source, dest, helper), m.crc) << path << " " << m.name;
    EXPECT_EQ(helper.compressed_size, m.compressed_size) << path << " " << m.name;
    for (const auto& [name, data] : inputs) {
      if (name == m.name) {
        EXPECT_TRUE(dest.Bytes() == data) << path << " " << name;
      }
    }
    ++decoded;
  }
  EXPECT_GT(decoded, 3) << path;
}
#endif

#ifdef _WIN32
#define SKIP_UNDER_WINE() GTEST_SKIP() << "Linux tools cannot be run from a Windows test under Wine"
#else
#define SKIP_UNDER_WINE() (void)0
#endif

// Python's zlib at levels 0-9, every strategy, and a few window sizes.
TEST(InflateProducers, ZlibEveryLevelAndStrategy) {
  SKIP_UNDER_WINE();
#ifndef _WIN32
  if (!HaveTool("python3")) VX_SKIP_OR_FAIL("python3 is not installed");
  test::ScratchDir dir;
  const auto inputs = SampleInputs();
  for (const auto& [name, data] : inputs) WriteFile(dir.File(name), data);
  const std::string script = R"(
import sys, zlib, os
d = sys.argv[1]
names = sys.argv[2:]
strategies = {'default': zlib.Z_DEFAULT_STRATEGY, 'filtered': zlib.Z_FILTERED,
              'huffman': zlib.Z_HUFFMAN_ONLY, 'rle': zlib.Z_RLE, 'fixed': zlib.Z_FIXED}
for name in names:
    data = open(os.path.join(d, name), 'rb').read()
    for level in range(10):
        for sname, strategy in strategies.items():
            for wbits, mem in ((15, 8), (9, 1), (12, 9)):
                if wbits != 15 and (level not in (1, 9) or sname != 'default'):
                    continue
                c = zlib.compressobj(level, zlib.DEFLATED, -wbits, mem, strategy)
                out = c.compress(data) + c.flush()
                open(os.path.join(d, '%s.%d.%s.%d.raw' % (name, level, sname, wbits)), 'wb').write(out)
)";
  WriteFile(dir.File("make.py"), std::vector<uint8_t>(script.begin(), script.end()));
  std::string command = "python3 '" + dir.File("make.py") + "' '" + dir.Path() + "'";
  for (const auto& [name, data] : inputs) command += " " + name;
  ASSERT_EQ(std::system(command.c_str()), 0);

  int streams = 0;
  for (const auto& [name, data] : inputs) {
    const uint32_t crc = test::BitwiseCrc32(data);
    for (int level = 0; level < 10; ++level) {
      for (const char* strategy : {"default", "filtered", "huffman", "rle", "fixed"}) {
        for (int wbits : {15, 9, 12}) {
          const std::string file = dir.File(name + "." + std::to_string(level) + "." + strategy +
                                            "." + std::to_string(wbits) + ".raw");
          std::ifstream probe(file);
          if (wbits != 15 && !probe) continue;
          const auto stream = ReadFile(file);
          // Through both widths of the fast loop's bit buffer.
          for (InflateWord word : {InflateWord::k64, InflateWord::k32}) {
            const auto r = test::RunInflate(stream, 15, 0, word);
            const int bits = static_cast<int>(word);
            ASSERT_EQ(r.checksum, crc) << file << " " << bits;
            ASSERT_TRUE(r.output == data) << file << " " << bits;
            ASSERT_EQ(r.helper.compressed_size, static_cast<int64_t>(stream.size()))
                << file << " " << bits;
          }
          ++streams;
        }
      }
    }
  }
  EXPECT_GE(streams, 350);
#endif
}

TEST(InflateProducers, InfoZipDeflate) {
  SKIP_UNDER_WINE();
#ifndef _WIN32
  if (!HaveTool("zip")) VX_SKIP_OR_FAIL("zip is not installed");
  test::ScratchDir dir;
  const auto inputs = SampleInputs();
  std::string names;
  for (const auto& [name, data] : inputs) {
    WriteFile(dir.File(name), data);
    names += " " + name;
  }
  for (const char* level : {"-1", "-6", "-9"}) {
    const std::string archive = std::string("z") + level + ".zip";
    ASSERT_EQ(
        std::system(
            ("cd '" + dir.Path() + "' && zip -q -X " + level + " " + archive + names).c_str()),
        0);
    ExpectArchiveInflates(dir.File(archive), inputs, 8);
  }
#endif
}

TEST(InflateProducers, SevenZipDeflateAndDeflate64) {
  SKIP_UNDER_WINE();
#ifndef _WIN32
  const std::string seven = SevenZip();
  if (seven.empty()) VX_SKIP_OR_FAIL("7z is not installed");
  test::ScratchDir dir;
  const auto inputs = SampleInputs();
  std::string names;
  for (const auto& [name, data] : inputs) {
    WriteFile(dir.File(name), data);
    names += " " + name;
  }
  struct Variant {
    const char* method;
    const char* level;
    uint16_t zip_method;
  };
  for (const Variant& v : {Variant{"Deflate64", "-mx=5", 9}, Variant{"Deflate64", "-mx=9", 9},
                           Variant{"Deflate", "-mx=9", 8}, Variant{"Deflate", "-mx=1", 8}}) {
    const std::string archive = std::string(v.method) + v.level + ".zip";
    ASSERT_EQ(std::system(("cd '" + dir.Path() + "' && " + seven + " a -bd -bso0 -tzip -mm=" +
                           v.method + " " + v.level + " " + archive + names)
                              .c_str()),
              0);
    ExpectArchiveInflates(dir.File(archive), inputs, v.zip_method);
  }
#endif
}

}  // namespace
}  // namespace vx
