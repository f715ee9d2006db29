// Unshrink against the plain decoder of shrink_reference.h, on members from
// the test encoder there: text and binary data from a few bytes to several
// hundred KiB, with the table left full or cleared partially when full and
// at other points. unzip, where it runs, decodes the same members.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/legacy.h"
#include "legacy_test_support.h"
#include "shrink_reference.h"

namespace vx {
namespace {

using test::ReferenceUnshrink;
using test::Shrink;
using test::ShrinkEnd;
using test::ShrinkPolicy;

enum class Kind { kText, kRecords, kSkewed, kNoise };

// Placeholder Latin in lines of words, records of counters and small
// floats, bytes from a small alphabet, and bytes without any pattern.
std::vector<uint8_t> Sample(Kind kind, size_t size, uint32_t seed) {
  static const char* const kWords[] = {
      "lorem", "ipsum",   "dolor",  "sit",   "amet",   "consectetur", "adipiscing", "elit",
      "sed",   "do",      "tempor", "magna", "aliqua", "enim",        "veniam",     "quis",
      "nisi",  "laboris", "ex",     "ea",    "irure",  "in",          "velit",      "esse",
      "culpa", "officia", "mollit", "anim",  "id",     "est",         "nulla",      "fugiat"};
  std::mt19937 random(seed);
  std::vector<uint8_t> out;
  out.reserve(size + 16);
  uint32_t counter = 0;
  while (out.size() < size) {
    switch (kind) {
      case Kind::kText: {
        const std::string word = kWords[random() % 32];
        out.insert(out.end(), word.begin(), word.end());
        out.push_back(random() % 11 == 0 ? '\n' : random() % 7 == 0 ? ',' : ' ');
        break;
      }
      case Kind::kRecords:
        counter += 1 + random() % 3;
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(counter >> (8 * i)));
        out.push_back(static_cast<uint8_t>(random() % 5));
        out.push_back(0x3F);
        break;
      case Kind::kSkewed:
        out.push_back(static_cast<uint8_t>("\0\1\2\3\xFE\xFF"[random() % 6]));
        break;
      case Kind::kNoise:
        out.push_back(static_cast<uint8_t>(random()));
        break;
    }
  }
  out.resize(size);
  return out;
}

// The fast decoder, as an archive member of `data.size()` compressed bytes.
test::Decoded FastUnshrink(const std::vector<uint8_t>& data, uint32_t size) {
  TAbLegacyRequest request;
  request.method = 1;
  request.compressed_size = static_cast<uint32_t>(data.size());
  request.uncompressed_size = size;
  return test::DecodeLegacy(data, request);
}

struct Case {
  const char* name;
  Kind kind;
  ShrinkPolicy policy;
  bool fills_table;  // at the largest size
  // Where unzip reads these members as we do. It refuses a code that finds
  // the table full with no clear before it, and a clear that comes while
  // codes freed by the last one are still free keeps codes in use there that
  // we free; every clear on a full table, or with no such holes, is read alike.
  bool unzip_agrees;
};

const Case kCases[] = {
    {"TextClearedWhenFull", Kind::kText, {true, 0, 1}, true, true},
    {"TextClearedOften", Kind::kText, {true, 40, 2}, false, false},
    {"TextClearedOftenWithoutHoles", Kind::kText, {true, 40, 12, true}, false, true},
    {"TextFrozenWhenFull", Kind::kText, {false, 0, 3}, true, false},
    {"RecordsClearedWhenFull", Kind::kRecords, {true, 0, 4}, true, true},
    {"RecordsClearedAnywhere", Kind::kRecords, {true, 9000, 5}, true, false},
    {"SkewedClearedWhenFull", Kind::kSkewed, {true, 0, 6}, true, true},
    {"SkewedFrozenClearedSometimes", Kind::kSkewed, {false, 30000, 7}, true, false},
    {"NoiseClearedWhenFull", Kind::kNoise, {true, 0, 8}, true, true},
    {"NoiseClearedAnywhere", Kind::kNoise, {true, 250, 9}, false, false},
    {"NoiseClearedWithoutHoles", Kind::kNoise, {true, 250, 10, true}, true, true},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class UnshrinkDifferential : public ::testing::TestWithParam<Case> {};

TEST_P(UnshrinkDifferential, BothDecodersGiveBackTheInput) {
  const Case& c = GetParam();
  for (size_t size : {size_t{1}, size_t{2}, size_t{3}, size_t{40}, size_t{1000}, size_t{9000},
                      size_t{40000}, size_t{120000}, size_t{450000}}) {
    SCOPED_TRACE(size);
    const auto input = Sample(c.kind, size, c.policy.seed);
    test::ShrinkStats stats;
    const auto packed = Shrink(input, c.policy, &stats);
    // The encoder is checked by the plain decoder first.
    const auto reference = ReferenceUnshrink(packed, input.size());
    ASSERT_EQ(reference.end, ShrinkEnd::kComplete);
    ASSERT_TRUE(reference.bytes == input);

    const auto fast = FastUnshrink(packed, static_cast<uint32_t>(input.size()));
    EXPECT_TRUE(fast.bytes == input) << "output of " << fast.bytes.size() << " bytes";
    EXPECT_EQ(fast.crc, Crc32Update(0, input.data(), input.size()));

    // The large members reach every feature of the format.
    if (size == 450000) {
      if (c.fills_table) {
        EXPECT_EQ(stats.code_size, 13);
      }
      EXPECT_EQ(stats.highest_code == 8191, c.fills_table);
      EXPECT_EQ(stats.clears > 0, c.policy.clear_when_full || c.policy.clear_chance != 0);
      EXPECT_EQ(stats.reused > 0, stats.clears > 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Unshrink, UnshrinkDifferential, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Members that end early or say too little: both decoders stop at the same
// byte.
TEST(UnshrinkCut, MembersThatEndEarlyEndAlike) {
  const auto input = Sample(Kind::kText, 60000, 11);
  const auto packed = Shrink(input, {true, 500, 11});
  for (size_t cut : {size_t{0}, size_t{1}, size_t{2}, size_t{777}, size_t{9001}, packed.size() / 2,
                     packed.size() - 1}) {
    SCOPED_TRACE(cut);
    const std::vector<uint8_t> part(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(cut));
    const auto reference = ReferenceUnshrink(part, input.size());
    EXPECT_TRUE(FastUnshrink(part, static_cast<uint32_t>(input.size())).bytes == reference.bytes);
    EXPECT_LT(reference.bytes.size(), input.size());
  }
  for (uint32_t size : {0u, 1u, 5000u, 33333u}) {
    EXPECT_TRUE(FastUnshrink(packed, size).bytes ==
                std::vector<uint8_t>(input.begin(), input.begin() + size));
  }
}

// The highest codes of the table. Bytes alone: each code after the first adds
// the entry (previous byte, this byte), so 7,935 of them fill codes 257-8191.
TEST(UnshrinkRegression, TheLastCodesOfTheTableAreTaken) {
  for (uint32_t last : {8184u, 8185u, 8190u, 8191u}) {
    SCOPED_TRACE(last);
    test::BitWriter w;
    std::vector<uint8_t> expected;
    int32_t size = 9;
    for (uint32_t i = 0; i < 7936; ++i) {
      if (i + 256 == (1u << size)) {
        w.Put(256, size);
        w.Put(1, size);
        ++size;
      }
      const auto byte = static_cast<uint8_t>(i * 7 % 251);
      w.Put(byte, size);
      expected.push_back(byte);
    }
    // Code `last` holds the bytes sent as codes last - 257 and last - 256.
    expected.push_back(expected[last - 257]);
    expected.push_back(expected[last - 256]);
    w.Put(last, size);
    const auto fast = FastUnshrink(w.Bytes(), static_cast<uint32_t>(expected.size()));
    EXPECT_TRUE(ReferenceUnshrink(w.Bytes(), expected.size()).bytes == expected);
    EXPECT_TRUE(fast.bytes == expected);
  }
}

// The smallest member the differential test found that the table filled to
// its last code broke: random bytes, cleared when full.
TEST(UnshrinkRegression, SmallestMemberFoundFillingTheTable) {
  const auto input = Sample(Kind::kNoise, 9248, 1);
  test::ShrinkStats stats;
  const auto packed = Shrink(input, {true, 0, 1}, &stats);
  EXPECT_EQ(stats.clears, 1u);
  EXPECT_TRUE(FastUnshrink(packed, static_cast<uint32_t>(input.size())).bytes == input);
}

// The same members as unzip sees them, wrapped into a ZIP file.
TEST(UnshrinkOracle, UnzipExtractsTheSameBytes) {
#ifdef _WIN32
  GTEST_SKIP() << "unzip runs on the Linux side only";
#else
  if (std::system("unzip -v >/dev/null 2>&1") != 0) VX_SKIP_OR_FAIL("unzip is not installed");
  std::vector<test::RawMember> members;
  std::vector<std::vector<uint8_t> > inputs;
  for (const Case& c : kCases) {
    if (!c.unzip_agrees) continue;
    inputs.push_back(Sample(c.kind, 150000, c.policy.seed));
    test::RawMember m;
    m.name = std::string(c.name) + ".bin";
    m.method = 1;
    m.crc = Crc32Update(0, inputs.back().data(), inputs.back().size());
    m.uncompressed_size = static_cast<uint32_t>(inputs.back().size());
    m.data = Shrink(inputs.back(), c.policy);
    members.push_back(m);
  }
  test::ScratchDir dir;
  const std::string zip = dir.File("shrunk.zip");
  const auto bytes = test::WriteZip(members);
  {
    std::ofstream out(zip, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  for (size_t i = 0; i < members.size(); ++i) {
    SCOPED_TRACE(members[i].name);
    const std::string target = dir.File(members[i].name + ".out");
    const std::string command =
        "unzip -p '" + zip + "' " + members[i].name + " > '" + target + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(test::ReadFileBytes(target) == inputs[i]);
    EXPECT_TRUE(FastUnshrink(members[i].data, members[i].uncompressed_size).bytes == inputs[i]);
  }
#endif
}

}  // namespace
}  // namespace vx
