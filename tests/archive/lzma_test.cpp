// The LZMA decoder (ZIP method 14) against members written by 7-Zip with
// several settings and by Python's zipfile, and on broken and limited input.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/lzma.h"
#include "archive/lzma_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

using test::RunDecoder;

// A member's raw data and its source.
struct LzmaMember {
  std::string name;
  uint16_t flags;
  std::vector<uint8_t> data;
  std::vector<uint8_t> source;
};

// Runs `command` (with {dir} and {zip} replaced) over the sample inputs
// written to {dir}, and returns the LZMA members of the archive it made.
std::vector<LzmaMember> MakeMembers(const std::string& command_pattern) {
  test::ScratchDir dir;
  const auto inputs = test::LzmaSampleInputs();
  std::string names;
  for (const auto& [name, data] : inputs) {
    test::WriteFile(dir.File(name), data);
    names += " " + name;
  }
  std::string command = command_pattern;
  const std::string zip = dir.File("out.zip");
  for (size_t at; (at = command.find("{zip}")) != std::string::npos;) command.replace(at, 5, zip);
  command = "cd " + test::ShellQuote(dir.Path()) + " && " + command + names;
  const auto run = test::RunProcess(command);
  EXPECT_EQ(run.exit_code, 0) << command << "\n" << run.err;
  const auto archive = test::ToBytes(test::ReadFile(zip).value_or(""));
  std::vector<LzmaMember> members;
  for (const auto& m : test::ReadZipMembers(archive)) {
    if (m.method != 14) continue;
    LzmaMember member{m.name, m.flags, {}, {}};
    member.data.assign(
        archive.begin() + static_cast<std::ptrdiff_t>(m.data_offset),
        archive.begin() + static_cast<std::ptrdiff_t>(m.data_offset + m.compressed_size));
    for (const auto& [name, data] : inputs) {
      if (name == m.name) member.source = data;
    }
    members.push_back(member);
  }
  return members;
}

constexpr char kPythonWriter[] =
    "python3 -c 'import sys, zipfile\n"
    "z = zipfile.ZipFile(sys.argv[1], \"w\", zipfile.ZIP_LZMA)\n"
    "for n in sys.argv[2:]: z.write(n)\n"
    "z.close()' {zip}";

TEST(LzmaDecoder, RealWriters) {
  VX_SKIP_UNDER_WINE();
  const std::string seven_zip = test::FindTool({"7zz", "7z"});
  if (seven_zip.empty()) VX_SKIP_OR_FAIL("7-Zip (7zz) is not installed");
  if (test::FindTool({"python3"}).empty()) VX_SKIP_OR_FAIL("python3 is not installed");
  const std::string sz = seven_zip + " a -tzip -bd -bso0 ";
  const std::vector<std::string> writers = {
      sz + "-mm=LZMA {zip}",
      sz + "-mm=LZMA:eos {zip}",
      sz + "-mx=1 -mm=LZMA {zip}",
      sz + "-mm=LZMA:d=64k:lc=0:lp=2:pb=0 {zip}",
      sz + "-mm=LZMA:d=4m:lc=8:lp=4:pb=4:fb=273 {zip}",
      kPythonWriter,
  };
  for (const auto& writer : writers) {
    const auto members = MakeMembers(writer);
    EXPECT_GE(members.size(), 4u) << writer;  // noise and "one" may be stored
    for (const auto& m : members) {
      const auto sized = RunDecoder(DecodeLzma, m.data, static_cast<int64_t>(m.source.size()));
      EXPECT_TRUE(sized.ok) << writer << " " << m.name << ": " << sized.error;
      EXPECT_TRUE(sized.output == m.source) << writer << " " << m.name;
      if (m.flags & 2) {  // an end marker: the size is not needed
        const auto unsized = RunDecoder(DecodeLzma, m.data, -1);
        EXPECT_TRUE(unsized.ok) << writer << " " << m.name << ": " << unsized.error;
        EXPECT_TRUE(unsized.output == m.source) << writer << " " << m.name;
      }
    }
  }
}

TEST(LzmaDecoder, BrokenAndLimitedInput) {
  VX_SKIP_UNDER_WINE();
  const std::string seven_zip = test::FindTool({"7zz", "7z"});
  if (seven_zip.empty()) VX_SKIP_OR_FAIL("7-Zip (7zz) is not installed");
  const auto members = MakeMembers(seven_zip + " a -tzip -bd -bso0 -mm=LZMA:d=16m:eos {zip}");
  auto text = std::find_if(members.begin(), members.end(),
                           [](const LzmaMember& m) { return m.name == "text"; });
  ASSERT_NE(text, members.end());
  const std::vector<uint8_t>& data = text->data;
  const int64_t size = static_cast<int64_t>(text->source.size());

  // Every truncation fails; with the declared size, one that loses only the
  // end marker goes unnoticed (decoding stops at the size).
  for (size_t keep : {size_t{0}, size_t{4}, size_t{9}, size_t{13}, data.size() / 2, data.size() - 6,
                      data.size() - 1}) {
    const std::vector<uint8_t> cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_FALSE(RunDecoder(DecodeLzma, cut, -1).ok) << "kept " << keep;
    if (keep <= data.size() / 2) {
      EXPECT_FALSE(RunDecoder(DecodeLzma, cut, size).ok) << keep;
    }
  }
  // Flipped bits: a clean result or a clean failure (RunDecoder checks the
  // contract); without a check value some flips go unnoticed, most do not.
  int failed = 0, flips = 0;
  for (size_t at = 9; at < data.size(); at += data.size() / 97 + 1, ++flips) {
    std::vector<uint8_t> bad = data;
    bad[at] ^= static_cast<uint8_t>(1 << (at % 8));
    const auto r = RunDecoder(DecodeLzma, bad, -1);
    if (!r.ok) ++failed;
  }
  EXPECT_GT(failed, flips / 2);

  // Header fields out of range.
  struct HeaderCase {
    size_t at;
    uint8_t value;
    const char* message;
  } header_cases[] = {{2, 6, "properties size"}, {4, 225, "lc/lp/pb"}, {9, 1, "range coder"}};
  for (const auto& c : header_cases) {
    std::vector<uint8_t> bad = data;
    bad[c.at] = c.value;
    const auto r = RunDecoder(DecodeLzma, bad, size);
    EXPECT_NE(r.error.find(c.message), std::string::npos) << c.message << ": " << r.error;
  }

  // A declared size below the real one stops the output there.
  const auto prefix = RunDecoder(DecodeLzma, data, 1000);
  EXPECT_TRUE(prefix.ok) << prefix.error;
  EXPECT_TRUE(std::equal(prefix.output.begin(), prefix.output.end(), text->source.begin()));
  EXPECT_EQ(prefix.output.size(), 1000u);
  // One above it: the end marker comes too early.
  EXPECT_NE(RunDecoder(DecodeLzma, data, size + 1).error.find("end marker"), std::string::npos);

  // The dictionary (the size of the text, as 7-Zip shrinks it) is refused
  // under a 256 KiB memory limit, unless the declared size shows that a
  // smaller window suffices.
  const int64_t limit = int64_t{256} << 10;
  const auto unsized = RunDecoder(DecodeLzma, data, -1, limit);
  EXPECT_NE(unsized.error.find("more memory than allowed"), std::string::npos) << unsized.error;
  EXPECT_TRUE(unsized.output.empty());
  const auto sized = RunDecoder(DecodeLzma, data, 100000, limit);
  EXPECT_TRUE(sized.ok) << sized.error;
  EXPECT_TRUE(std::equal(sized.output.begin(), sized.output.end(), text->source.begin()));
}

}  // namespace
}  // namespace vx
