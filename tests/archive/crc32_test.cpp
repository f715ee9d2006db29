#include "archive/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace vx {
namespace {

// Bit at a time, straight from the definition of the reflected CRC.
uint32_t BitwiseCrc32(const uint8_t* p, size_t n) {
  uint32_t reg = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) {
    reg ^= p[i];
    for (int b = 0; b < 8; ++b) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1)));
  }
  return ~reg;
}

uint32_t NaiveAdler32(const uint8_t* p, size_t n) {
  uint64_t a = 1, b = 0;
  for (size_t i = 0; i < n; ++i) {
    a = (a + p[i]) % 65521;
    b = (b + a) % 65521;
  }
  return static_cast<uint32_t>(b << 16 | a);
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

TEST(Crc32, KnownValues) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32Update(0, check.data(), check.size()), 0xCBF43926u);
  EXPECT_EQ(Crc32Update(0, nullptr, 0), 0u);
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(Crc32Update(0, fox.data(), fox.size()), 0x414FA339u);
  std::vector<uint8_t> zeros(4096, 0);
  EXPECT_EQ(Crc32Update(0, zeros.data(), 32), 0x190A55ADu);
}

// Every length 0..1000 at every alignment 0..15 covers the head, the tail and
// the boundaries of the 16- and 64-byte steps of both fast paths.
TEST(Crc32, MatchesBitwiseReferenceAtEveryLengthAndAlignment) {
  const auto data = RandomBytes(1000 + 16, 1);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t n = 0; n <= 1000; ++n) {
      const uint32_t want = BitwiseCrc32(data.data() + offset, n);
      ASSERT_EQ(Crc32Update(0, data.data() + offset, n), want) << "n=" << n << " off=" << offset;
      ASSERT_EQ(~Crc32RawTable(0xFFFFFFFF, data.data() + offset, n), want) << n;
      if (Crc32ClmulAvailable()) {
        ASSERT_EQ(~Crc32RawClmul(0xFFFFFFFF, data.data() + offset, n), want) << n;
      }
      if (Crc32WideClmulAvailable()) {
        ASSERT_EQ(~Crc32RawWideClmul(0xFFFFFFFF, data.data() + offset, n), want) << n;
      }
    }
  }
}

TEST(Crc32, LargeBufferAndIncrementalUpdatesAgree) {
  const auto data = RandomBytes(3 * 1024 * 1024 + 17, 2);
  const uint32_t whole = BitwiseCrc32(data.data(), data.size());
  EXPECT_EQ(Crc32Update(0, data.data(), data.size()), whole);
  // Continuing over uneven pieces gives the same value as one call.
  uint32_t crc = 0;
  size_t pos = 0, step = 1;
  while (pos < data.size()) {
    const size_t n = std::min(step, data.size() - pos);
    crc = Crc32Update(crc, data.data() + pos, n);
    pos += n;
    step = step * 3 + 1;
    if (step > 200000) step = 7;
  }
  EXPECT_EQ(crc, whole);
}

TEST(Adler32, KnownValuesAndReference) {
  EXPECT_EQ(Adler32Update(1, nullptr, 0), 1u);
  const std::string wiki = "Wikipedia";
  EXPECT_EQ(Adler32Update(1, wiki.data(), wiki.size()), 0x11E60398u);
  // All 0xFF bytes drive both sums hardest toward overflow between reductions.
  std::vector<uint8_t> ff(100000, 0xFF);
  EXPECT_EQ(Adler32Update(1, ff.data(), ff.size()), NaiveAdler32(ff.data(), ff.size()));
  const auto data = RandomBytes(20000, 3);
  for (size_t n : {1u, 7u, 8u, 5551u, 5552u, 5553u, 20000u}) {
    EXPECT_EQ(Adler32Update(1, data.data(), n), NaiveAdler32(data.data(), n)) << n;
  }
  const uint32_t first = Adler32Update(1, data.data(), 12345);
  EXPECT_EQ(Adler32Update(first, data.data() + 12345, data.size() - 12345),
            NaiveAdler32(data.data(), data.size()));
}

}  // namespace
}  // namespace vx
