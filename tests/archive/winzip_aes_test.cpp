// WinZip AES: the primitives against published test vectors, and members
// encrypted by 7-Zip read through the decrypting stream.
#include "archive/winzip_aes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/aes.h"
#include "archive/crc32.h"
#include "archive/errors.h"
#include "archive/inflate.h"
#include "archive/inflate_test_support.h"
#include "archive/member_record_test_support.h"
#include "archive/sha1.h"
#include "archive/zip_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

std::vector<uint8_t> Hex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string ToHex(const uint8_t* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

// One table for every primitive: AES (FIPS 197 appendices B and C), SHA-1
// (FIPS 180 examples), HMAC-SHA1 (RFC 2202) and PBKDF2-HMAC-SHA1 (RFC 6070).
// For AES "key" and "input" are hex; elsewhere text.
struct Vector {
  const char* kind;
  std::string key;
  std::string input;
  uint32_t iterations;
  const char* expected;
};

TEST(WinZipAes, PrimitivesMatchPublishedVectors) {
  const std::string rfc2202_key3(20, '\xAA');
  const std::vector<Vector> vectors = {
      {"aes", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", 0,
       "3925841d02dc09fbdc118597196a0b32"},
      {"aes", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", 0,
       "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"aes", "000102030405060708090a0b0c0d0e0f1011121314151617",
       "00112233445566778899aabbccddeeff", 0, "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"aes", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "00112233445566778899aabbccddeeff", 0, "8ea2b7ca516745bfeafc49904b496089"},
      {"sha1", "", "abc", 0, "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"sha1", "", "", 0, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"sha1", "", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 0,
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {"sha1", "", std::string(1000000, 'a'), 0, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {"hmac", std::string(20, '\x0B'), "Hi There", 0, "b617318655057264e28bc0b6fb378c8ef146be00"},
      {"hmac", "Jefe", "what do ya want for nothing?", 0,
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {"hmac", rfc2202_key3, std::string(50, '\xDD'), 0,
       "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {"hmac", std::string(80, '\xAA'), "Test Using Larger Than Block-Size Key - Hash Key First", 0,
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {"pbkdf2", "password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"pbkdf2", "password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"pbkdf2", "password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
      {"pbkdf2", "passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {"pbkdf2", std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096,
       "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  for (const Vector& v : vectors) {
    const std::string kind = v.kind;
    std::vector<uint8_t> out(std::string(v.expected).size() / 2);
    if (kind == "aes") {
      const auto key = Hex(v.key);
      const auto in = Hex(v.input);
      AesCtr aes;
      ASSERT_TRUE(aes.SetKey(key.data(), key.size()));
      aes.EncryptBlock(in.data(), out.data());
      uint8_t portable[16];
      AesEncryptBlockPortable(aes.RoundKeys(), aes.Rounds(), in.data(), portable);
      EXPECT_EQ(ToHex(portable, 16), v.expected) << "portable, key " << v.key;
    } else if (kind == "sha1") {
      Sha1 sha;
      // In uneven pieces, so the buffering is crossed.
      for (size_t at = 0; at < v.input.size(); at += 1 + at % 97) {
        sha.Update(v.input.data() + at, std::min<size_t>(1 + at % 97, v.input.size() - at));
      }
      sha.Final(out.data());
    } else if (kind == "hmac") {
      HmacSha1 hmac(v.key.data(), v.key.size());
      hmac.Update(v.input.data(), v.input.size());
      hmac.Final(out.data());
    } else {
      Pbkdf2HmacSha1(v.key.data(), v.key.size(), v.input.data(), v.input.size(), v.iterations,
                     out.data(), out.size());
    }
    EXPECT_EQ(ToHex(out.data(), out.size()), v.expected) << kind << " " << v.key.substr(0, 32);
  }
  if (!AesInstructionsAvailable()) std::printf("no AES instructions: portable path only\n");
  if (!Sha1ExtensionsAvailable()) std::printf("no SHA extensions: portable path only\n");
}

// The processor paths agree with the portable ones over many block counts
// and starting offsets.
TEST(WinZipAes, ProcessorPathsMatchPortable) {
  const auto data = test::RandomBytes(4096 + 37, 11);
  if (Sha1ExtensionsAvailable()) {
    for (size_t blocks : {1, 2, 7, 64}) {
      uint32_t a[5] = {1, 2, 3, 4, 5}, b[5] = {1, 2, 3, 4, 5};
      Sha1CompressPortable(a, data.data(), blocks);
      Sha1CompressExtensions(b, data.data(), blocks);
      EXPECT_TRUE(std::equal(a, a + 5, b)) << blocks;
    }
  }
  const auto key = test::RandomBytes(32, 12);
  AesCtr aes;
  ASSERT_TRUE(aes.SetKey(key.data(), 32));
  for (size_t offset : {0, 5, 16, 131}) {
    for (size_t size : {0, 1, 15, 16, 17, 128, 129, 1000, 4096}) {
      std::vector<uint8_t> fast(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
      aes.Seek(offset);
      aes.Apply(fast.data(), fast.size());
      // The keystream one block at a time: the counter, little-endian, from 1.
      std::vector<uint8_t> slow(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
      for (size_t i = 0; i < size; ++i) {
        const uint64_t block = (offset + i) / 16 + 1;
        uint8_t counter[16] = {}, stream[16];
        for (int k = 0; k < 8; ++k) counter[k] = static_cast<uint8_t>(block >> (8 * k));
        AesEncryptBlockPortable(aes.RoundKeys(), aes.Rounds(), counter, stream);
        slow[i] ^= stream[(offset + i) % 16];
      }
      EXPECT_TRUE(fast == slow) << "offset " << offset << " size " << size;
    }
  }
}

struct Member {
  TAbWinZipAesInfo info;
  std::string plain;
  std::string error;  // empty when decrypted and authenticated
};

// Decrypts (and inflates) one member of `archive` through the stream.
Member ReadMember(const std::string& archive, const test::MemberRecord& raw,
                  const std::string& password) {
  Member m;
  EXPECT_TRUE(ReadWinZipAesInfo(raw.local_extra, m.info)) << raw.name;
  TMemoryViewStream source(archive.data(), archive.size());
  source.SetPosition(static_cast<int64_t>(raw.data_offset));
  try {
    TAbWinZipAesStream aes(source, m.info, raw.compressed_size);
    if (!aes.IsValid(password)) {
      m.error = "password rejected";
      return m;
    }
    TMemoryStream dest;
    if (m.info.method == 8) {
      TAbDeflateHelper helper;
      Inflate(aes, dest, helper);
    } else {
      dest.CopyFrom(aes, aes.DataSize());
      // Checked as soon as the last byte is read (an empty member at Finish).
      EXPECT_EQ(aes.Verified(), aes.DataSize() > 0);
    }
    aes.Finish();
    EXPECT_EQ(source.Position(), static_cast<int64_t>(raw.data_offset + raw.compressed_size));
    m.plain.assign(dest.Bytes().begin(), dest.Bytes().end());
  } catch (const EAbDecompressError& e) {
    m.error = e.Message();
  } catch (const EAbInflateError& e) {
    m.error = e.Message();
  }
  return m;
}

TEST(WinZipAes, SevenZipMembersEveryStrength) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux tools cannot be run from a Windows test";
#else
  if (test::FindTool({"7zz"}).empty()) VX_SKIP_OR_FAIL("7zz is not installed");
  test::ScratchDir dir;
  const std::vector<std::pair<std::string, std::string> > inputs = {
      {"text",
       std::string(reinterpret_cast<const char*>(test::SampleText(200000, 1).data()), 200000)},
      {"noise",
       [] {
         const auto r = test::RandomBytes(70001, 2);
         return std::string(r.begin(), r.end());
       }()},
      {"tiny", "x"},
      {"empty", ""}};
  for (const auto& [name, data] : inputs) test::WriteFile(dir.File(name), data);
  const std::string password = "Secret p4ss";
  int members = 0;
  for (const char* strength : {"AES128", "AES192", "AES256"}) {
    for (const char* method : {"Deflate", "Copy"}) {
      const std::string zip = std::string(strength) + method + ".zip";
      const auto made =
          test::RunProcess("cd " + test::ShellQuote(dir.Path()) +
                           " && 7zz a -bd -bso0 -tzip -mm=" + method + " -mem=" + strength + " -p" +
                           test::ShellQuote(password) + " " + zip + " text noise tiny empty");
      ASSERT_EQ(made.exit_code, 0) << made.err;
      const std::string archive = test::ReadFile(dir.File(zip)).value_or("");
      for (const auto& raw : test::ReadMemberRecords(archive)) {
        if (raw.method != kWinZipAesMethod) continue;
        ++members;
        const Member m = ReadMember(archive, raw, password);
        ASSERT_EQ(m.error, "") << zip << " " << raw.name;
        EXPECT_EQ(m.info.KeySize(), std::stoi(strength + 3) / 8) << zip;
        for (const auto& [input_name, data] : inputs) {
          if (input_name == raw.name) {
            EXPECT_TRUE(m.plain == data) << zip << " " << raw.name;
          }
        }
        if (m.info.HasCrc()) {
          EXPECT_EQ(raw.crc, Crc32Update(0, m.plain.data(), m.plain.size())) << zip;
        } else {
          EXPECT_EQ(raw.crc, 0u) << zip;
        }

        // A wrong password is refused by the verifier or, once in 65536
        // salts, by the code.
        EXPECT_NE(ReadMember(archive, raw, "secret p4ss").error, "") << zip << " " << raw.name;

        // A changed byte of the encrypted data, or of the code, is caught.
        if (raw.size == 0) continue;
        for (size_t at : {raw.data_offset + m.info.SaltSize() + 2 + raw.compressed_size / 3,
                          raw.data_offset + raw.compressed_size - 1}) {
          std::string bad = archive;
          bad[at] = static_cast<char>(bad[at] ^ 0x20);
          EXPECT_NE(ReadMember(bad, raw, password).error, "") << zip << " " << raw.name << at;
        }
      }
    }
  }
  EXPECT_GE(members, 18);
#endif
}

// A member made here (AE-1, 192-bit), read out of order: the code still
// covers every stored byte once, and the plain data comes back wherever a
// read starts.
TEST(WinZipAes, StreamReadsInAnyOrder) {
  TAbWinZipAesInfo info;
  info.vendor_version = 1;
  info.strength = 2;
  const auto plain = test::RandomBytes(100000, 13);
  const auto salt = test::RandomBytes(12, 14);
  uint8_t derived[50];
  Pbkdf2HmacSha1("pw", 2, salt.data(), salt.size(), kWinZipAesIterations, derived, 50);
  std::vector<uint8_t> data = plain;
  AesCtr aes;
  ASSERT_TRUE(aes.SetKey(derived, 24));
  aes.Apply(data.data(), data.size());
  HmacSha1 hmac(derived + 24, 24);
  hmac.Update(data.data(), data.size());
  uint8_t code[20];
  hmac.Final(code);
  std::string member = "prefix";
  member.append(salt.begin(), salt.end());
  member.append(reinterpret_cast<const char*>(derived) + 48, 2);
  member.append(data.begin(), data.end());
  member.append(reinterpret_cast<const char*>(code), 10);
  member += "suffix";

  for (const bool damaged : {false, true}) {
    std::string stored = member;
    if (damaged) stored[6 + 14 + 77777] ^= 1;
    TMemoryViewStream source(stored.data(), stored.size());
    source.SetPosition(6);
    TAbWinZipAesStream stream(source, info, static_cast<int64_t>(stored.size() - 12));
    ASSERT_TRUE(stream.IsValid("pw"));
    EXPECT_EQ(stream.DataSize(), 100000);
    std::vector<uint8_t> piece(7001);
    // Forward, back over read bytes, then a jump past unread ones.
    bool refused = false;
    try {
      for (const int64_t at : {0, 5000, 1234, 60001, 99990, 30000}) {
        stream.Seek(at, soBeginning);
        const int64_t got = stream.Read(piece.data(), static_cast<int64_t>(piece.size()));
        ASSERT_EQ(got, std::min<int64_t>(7001, 100000 - at));
        EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + got, plain.begin() + at)) << at;
      }
      stream.Finish();
    } catch (const EAbDecompressError&) {
      refused = true;
    }
    EXPECT_EQ(refused, damaged);
    EXPECT_EQ(stream.Verified(), !damaged);
    if (!damaged) {
      EXPECT_EQ(source.Position(), static_cast<int64_t>(member.size() - 6));
    }
  }
}

TEST(WinZipAes, MalformedHeadersAreRefused) {
  TAbWinZipAesInfo info;
  EXPECT_FALSE(ReadWinZipAesInfo("", info));
  const auto field = [](std::string body) {
    return std::string("\x01\x99", 2) + static_cast<char>(body.size()) + '\0' + body;
  };
  EXPECT_TRUE(ReadWinZipAesInfo(field(std::string("\x02\0AE\x03\x08\0", 7)), info));
  EXPECT_EQ(info.vendor_version, 2);
  EXPECT_EQ(info.method, 8);
  EXPECT_EQ(info.SaltSize(), 16);
  for (const std::string& bad :
       {std::string("\x02\0AE\x03\x08", 6), std::string("\x03\0AE\x03\x08\0", 7),
        std::string("\x01\0XY\x03\x08\0", 7), std::string("\x01\0AE\x04\x08\0", 7)}) {
    EXPECT_THROW(ReadWinZipAesInfo(field(bad), info), EAbDecompressError);
  }
  // Stored data shorter than salt, verifier and code.
  const std::string data(27, 'x');
  TMemoryViewStream source(data.data(), data.size());
  EXPECT_THROW(TAbWinZipAesStream(source, info, 27), EAbDecompressError);
}

}  // namespace
}  // namespace vx
