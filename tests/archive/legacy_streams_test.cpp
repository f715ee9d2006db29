// Hand-made streams: the corner cases of each method, and input that no
// compressor would write, which must end decoding (or be refused) without
// reading or writing out of bounds and without hanging.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "archive/errors.h"
#include "archive/explode.h"
#include "archive/legacy.h"
#include "legacy_test_support.h"

namespace vx {
namespace {

using test::BitWriter;

std::vector<uint8_t> Decode(uint16_t method, const std::vector<uint8_t>& data, uint32_t size,
                            uint32_t dictionary = 4096, int32_t trees = 2) {
  TAbLegacyRequest request;
  request.method = method;
  request.compressed_size = static_cast<uint32_t>(data.size());
  request.uncompressed_size = size;
  request.dictionary_size = dictionary;
  request.shannon_fano_trees = trees;
  return test::DecodeLegacy(data, request).bytes;
}

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

// ---------------------------------------------------------------------------
// Shrink.

void PutCodes(BitWriter& w, std::initializer_list<uint32_t> codes) {
  for (uint32_t code : codes) w.Put(code, 9);
}

TEST(UnshrinkStreams, CodeSizeGrowsOnRequestAndNeverPasses13Bits) {
  BitWriter w;
  w.Put('A', 9);
  for (int32_t size = 9; size < 13; ++size) {
    w.Put(256, size);
    w.Put(1, size);
  }
  for (int k = 0; k < 3; ++k) {  // asks for 14, 15 and 16 bits
    w.Put(256, 13);
    w.Put(1, 13);
  }
  w.Put('B', 13);
  w.Put(257, 13);  // "AB"
  w.Put('C', 13);
  EXPECT_EQ(Decode(1, w.Bytes(), 100), Bytes("ABABC"));
}

TEST(UnshrinkStreams, CodeNotYetDefinedRepeatsThePreviousFirstByte) {
  BitWriter w;
  PutCodes(w, {'x', 'y', 258u, 259u});
  // 257 = xy, then 258 is the code being defined: y + y; 259 = yy + y.
  EXPECT_EQ(Decode(1, w.Bytes(), 100), Bytes("xyyyyyy"));
}

TEST(UnshrinkStreams, PartialClearFreesLeavesForReuseLowestFirst) {
  BitWriter w;
  // 257 = ab, 258 = ba, 259 = aa, 260 = abc; the clear frees the leaves 258,
  // 259 and 260 and keeps 257, the prefix of 260.
  PutCodes(w, {'a', 'b', 'a', 257u, 'c'});
  w.Put(256, 9);
  w.Put(2, 9);
  // The next entry takes 258: (c, d); 257 is still "ab".
  PutCodes(w, {'d', 257u, 258u});
  EXPECT_EQ(Decode(1, w.Bytes(), 100), Bytes("abaabcdabcd"));
}

TEST(UnshrinkStreams, DamagedStreamsEndTheMember) {
  {
    BitWriter w;  // an undefined control sequence
    PutCodes(w, {'A', 256u, 3u, 'B'});
    EXPECT_EQ(Decode(1, w.Bytes(), 100), Bytes("A"));
  }
  {
    BitWriter w;  // an undefined code with nothing before it
    PutCodes(w, {300u, 'A'});
    EXPECT_TRUE(Decode(1, w.Bytes(), 100).empty());
  }
  {
    // After the clear the previous code (257) is free and the next entry is
    // added on it, taking 257 itself: a chain that loops forever.
    BitWriter w;
    PutCodes(w, {'A', 'B', 257u, 256u, 2u, 'C', 257u, 'D'});
    EXPECT_EQ(Decode(1, w.Bytes(), 100), Bytes("ABABC"));
  }
}

TEST(UnshrinkStreams, FullTableAndEndlessClearsStayBounded) {
  // Every code defined, the table full, then clears and codes in turn.
  BitWriter w;
  w.Put('a', 9);
  int32_t size = 9;
  for (uint32_t i = 0; i < 8000; ++i) {
    if (257 + i == (1u << size) && size < 13) {
      w.Put(256, size);
      w.Put(1, size);
      ++size;
    }
    w.Put(257 + i, size);  // always the code being defined: a string one longer
  }
  for (int k = 0; k < 2000; ++k) {
    w.Put(256, 13);
    w.Put(2, 13);
    w.Put(8191 - k, 13);
  }
  const auto start = std::chrono::steady_clock::now();
  const auto out = Decode(1, w.Bytes(), 0xFFFFFFFF);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_GE(out.size(), 7900u * 7900u / 2);
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(out[i], 'a');
}

// ---------------------------------------------------------------------------
// Reduce: all follower sets empty, so every byte is 8 raw bits.

BitWriter EmptyFollowerSets() {
  BitWriter w;
  for (int i = 0; i < 256; ++i) w.Put(0, 6);
  return w;
}

TEST(UnreduceStreams, EscapesLengthsAndDistances) {
  // Factor 1: 10,000 bytes, then a copy of 10 bytes from 300 back.
  BitWriter w = EmptyFollowerSets();
  std::vector<uint8_t> expected;
  for (uint32_t i = 0; i < 10000; ++i) {
    const uint8_t b = static_cast<uint8_t>(i * 13 % 251);
    w.Put(b, 8);
    if (b == 144) w.Put(0, 8);  // a literal 144 is escaped
    expected.push_back(b);
  }
  // V = 1000 0111: length 7 + 3, distance (1 * 256) + 43 + 1 = 300.
  for (uint32_t b : {144u, 0x87u, 43u}) w.Put(b, 8);
  for (int k = 0; k < 10; ++k) expected.push_back(expected[9700 + k]);
  // A length equal to the mask takes one more byte: 127 + 200 + 3 from 1 back.
  for (uint32_t b : {144u, 0x7Fu, 200u, 0u}) w.Put(b, 8);
  expected.insert(expected.end(), 330, expected.back());
  EXPECT_EQ(Decode(2, w.Bytes(), static_cast<uint32_t>(expected.size())), expected);
}

TEST(UnreduceStreams, EachFactorSplitsLengthAndDistanceItsOwnWay) {
  for (int32_t factor = 1; factor <= 4; ++factor) {
    SCOPED_TRACE(factor);
    const uint32_t mask = 0x7Fu >> (factor - 1);
    BitWriter w = EmptyFollowerSets();
    w.Put('q', 8);
    // The largest distance of the factor, reaching before the start: zeros.
    const uint32_t v = 0xFFu & ~mask;
    for (uint32_t b : {144u, v | 2u, 255u}) w.Put(b, 8);
    std::vector<uint8_t> expected = {'q', 0, 0, 0, 0, 0};
    EXPECT_EQ(Decode(static_cast<uint16_t>(factor + 1), w.Bytes(), 100), expected);
  }
}

TEST(UnreduceStreams, FollowerIndexesPastTheSetReadZeros) {
  BitWriter w;
  for (int i = 255; i >= 0; --i) {
    if (i == 0) {
      w.Put(3, 6);  // three followers of byte 0; an index has two bits
      for (uint32_t b : {10u, 20u, 30u}) w.Put(b, 8);
    } else {
      w.Put(0, 6);
    }
  }
  w.Put(0, 1);
  w.Put(1, 2);  // follower 1 of byte 0: 20
  w.Put(0, 8);  // byte 20 has no followers: 8 raw bits, 0
  w.Put(0, 1);
  w.Put(3, 2);  // follower 3 of byte 0 does not exist
  EXPECT_EQ(Decode(3, w.Bytes(), 3), (std::vector<uint8_t>{20, 0, 0}));
}

// ---------------------------------------------------------------------------
// Implode: tree descriptions.

// A two-tree member with the given length-tree and distance-tree descriptions
// (count byte included) and some data after them.
std::vector<uint8_t> WithTrees(const std::vector<uint8_t>& lengths,
                               const std::vector<uint8_t>& distances) {
  std::vector<uint8_t> data = lengths;
  data.insert(data.end(), distances.begin(), distances.end());
  data.insert(data.end(), 64, 0xA5);
  return data;
}

// 64 codes of 6 bits: 4 bytes of 16.
const std::vector<uint8_t> kFlat = {3, 0xF5, 0xF5, 0xF5, 0xF5};

int32_t TreeErrorCode(const std::vector<uint8_t>& data) {
  try {
    Decode(6, data, 1000);
  } catch (const EAbImplodeTreeError& e) {
    return e.ErrorCode();
  }
  return -1;
}

TEST(ExplodeStreams, ImpossibleCodeDescriptionsAreRefused) {
  ASSERT_NO_THROW(Decode(6, WithTrees(kFlat, kFlat), 1000));
  // 80 lengths for 64 codes.
  EXPECT_EQ(TreeErrorCode(WithTrees({4, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5}, kFlat)), 23);
  // 48 lengths for 64 codes.
  EXPECT_EQ(TreeErrorCode(WithTrees(kFlat, {2, 0xF5, 0xF5, 0xF5})), 23);
  // 64 codes of 5 bits: twice the code space.
  EXPECT_EQ(TreeErrorCode(WithTrees({3, 0xF4, 0xF4, 0xF4, 0xF4}, kFlat)), 23);
  // 61 codes of 16 bits and 3 of 2 bits fit the code space, but the short
  // codes would begin with the long ones' bits.
  EXPECT_EQ(TreeErrorCode(WithTrees(kFlat, {4, 0x21, 0xFF, 0xFF, 0xFF, 0xCF})), 23);
  // An over-subscribed literal tree (three trees): 256 codes of 7 bits.
  std::vector<uint8_t> literal = {15};
  literal.insert(literal.end(), 16, 0xF6);
  std::vector<uint8_t> data = literal;
  const auto rest = WithTrees(kFlat, kFlat);
  data.insert(data.end(), rest.begin(), rest.end());
  try {
    Decode(6, data, 1000, 4096, 3);
    FAIL() << "accepted";
  } catch (const EAbImplodeTreeError& e) {
    EXPECT_EQ(e.ErrorCode(), 23);
    EXPECT_NE(e.Message().find("literal"), std::string::npos);
  }
}

TEST(ExplodeStreams, AnUnusedBitPatternEndsTheMember) {
  // Length tree: two codes of 1 bit for symbols 0 and 1 would fill the space;
  // here all 64 have 7 bits, leaving half of it unused. Codes are handed out
  // from 0 upwards, so a pattern starting with 1 bit 1 is unused.
  BitWriter w;
  for (uint32_t b : {3u, 0xF6u, 0xF6u, 0xF6u, 0xF6u}) w.Put(b, 8);
  for (uint32_t b : {3u, 0xF5u, 0xF5u, 0xF5u, 0xF5u}) w.Put(b, 8);
  w.Put(1, 1);
  w.Put('z', 8);  // a literal
  w.Put(0, 1);
  w.Put(0, 6);     // low distance bits
  w.Put(0, 6);     // distance code 0 (6 bits, all 0)
  w.Put(0x7F, 7);  // a length pattern that starts no code
  w.Put(0xFF, 8);
  const auto out = Decode(6, w.Bytes(), 1000);
  EXPECT_EQ(out, Bytes("z"));
}

TEST(ExplodeStreams, MemberEndingInsideTheTreesGivesNothing) {
  EXPECT_TRUE(Decode(6, {3, 0xF5, 0xF5}, 1000).empty());
}

}  // namespace
}  // namespace vx
