// Traditional ZIP encryption: archives encrypted by Info-ZIP's zip and by
// 7-Zip (embedded, and made at test time where the tools can run), the
// password check by CRC byte and by time byte, and the decrypting stream.
#include "archive/zip_crypto.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "archive/errors.h"
#include "archive/inflate.h"
#include "archive/inflate_test_support.h"
#include "archive/zip_crypto_test_samples.h"
#include "support/test_support.h"

namespace vx {
namespace {

using test::ZipMember;

const std::string kHello = [] {
  std::string s;
  for (int i = 0; i < 20; ++i) s += "VESTRIX setup: traditional encryption check.\r\n";
  return s;
}();
const std::string kSmall = "stored and encrypted\r\n";

// Decodes an encrypted member the way extraction does: deflated members
// through Inflate with the password, stored ones through the stream.
std::string Extract(const std::vector<uint8_t>& archive, const ZipMember& m,
                    const std::string& password) {
  TMemoryStream source(archive);
  source.SetPosition(static_cast<int64_t>(m.data_offset));
  TMemoryStream dest;
  if (m.method == 8) {
    TAbDeflateHelper helper;
    helper.password = password;
    helper.check_value = m.CheckValue();
    helper.stream_size = m.compressed_size;
    EXPECT_EQ(Inflate(source, dest, helper), m.crc) << m.name;
  } else {
    TAbDfDecryptStream decrypted(source, m.CheckValue(), password);
    if (!decrypted.IsValid()) throw EAbInflatePasswordError();
    dest.CopyFrom(decrypted, m.size);
    EXPECT_EQ(test::BitwiseCrc32(dest.Bytes()), m.crc) << m.name;
  }
  return std::string(dest.Bytes().begin(), dest.Bytes().end());
}

void ExpectHelloAndSmall(const std::vector<uint8_t>& archive, uint16_t flag_bit_3) {
  const auto members = test::ReadZipMembers(archive);
  ASSERT_EQ(members.size(), 2u);
  for (const ZipMember& m : members) {
    EXPECT_EQ(m.flags & 9, 1 | flag_bit_3) << m.name;
    EXPECT_EQ(Extract(archive, m, "secret"), m.name == "hello.txt" ? kHello : kSmall);
  }
}

TEST(ZipCrypto, DecryptsZipPMembersCheckedByTime) {
  ExpectHelloAndSmall(test::kZipPEncrypted, 8);
}

TEST(ZipCrypto, DecryptsSevenZipMembersCheckedByCrc) {
  ExpectHelloAndSmall(test::k7zEncrypted, 0);
}

TEST(ZipCrypto, WrongPasswordIsRejectedAndTheHeaderCanBeCheckedAgain) {
  for (const auto* archive : {&test::kZipPEncrypted, &test::k7zEncrypted}) {
    for (const ZipMember& m : test::ReadZipMembers(*archive)) {
      EXPECT_THROW(Extract(*archive, m, "Secret"), EAbInflatePasswordError) << m.name;
      // A rejected check leaves the archive at the header, so the next
      // attempt, with the right password, starts there.
      TMemoryStream source(*archive);
      source.SetPosition(static_cast<int64_t>(m.data_offset));
      TAbDfDecryptStream wrong(source, m.CheckValue(), "Secret");
      EXPECT_FALSE(wrong.IsValid());
      EXPECT_EQ(source.Position(), static_cast<int64_t>(m.data_offset));
      TAbDfDecryptStream right(source, m.CheckValue(), "secret");
      EXPECT_TRUE(right.IsValid());
      EXPECT_EQ(source.Position(), static_cast<int64_t>(m.data_offset) + 12);
    }
  }
}

// The check compares only the most significant byte of the check value.
TEST(ZipCrypto, HeaderCheckUsesTheTopByteOfTheCheckValue) {
  std::vector<uint8_t> header = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xA7};
  ZipCipher cipher;
  cipher.Init("pw");
  cipher.Encrypt(header.data(), header.size());
  for (uint32_t check : {0xA7000000u, 0xA7FFFFFFu, 0xA6FFFFFFu, 0x00A70000u}) {
    std::vector<uint8_t> h = header;
    TAbZipDecryptEngine engine;
    EXPECT_EQ(engine.VerifyHeader(h.data(), "pw", check), (check >> 24) == 0xA7) << check;
    EXPECT_EQ(engine.Ready(), (check >> 24) == 0xA7);
  }
}

TEST(ZipCrypto, CipherRoundTripsAndKeysFollowThePlainText) {
  const auto plain = test::RandomBytes(5000, 12);
  std::vector<uint8_t> data = plain;
  ZipCipher enc;
  enc.Init("another password");
  enc.Encrypt(data.data(), data.size());
  EXPECT_NE(data, plain);
  ZipCipher dec;
  dec.Init("another password");
  // In pieces of any size: the keys carry over.
  dec.Decrypt(data.data(), 1);
  dec.Decrypt(data.data() + 1, 2998);
  for (size_t i = 2999; i < data.size(); ++i) data[i] = dec.DecryptByte(data[i]);
  EXPECT_EQ(data, plain);
}

TEST(ZipCrypto, DecryptingStreamIsReadOnlyAndNeedsAnAcceptedHeader) {
  TMemoryStream archive(std::vector<uint8_t>(40, 0));
  TAbDfDecryptStream stream(archive, 0, "x");
  const uint8_t byte = 0;
  EXPECT_THROW(stream.Write(&byte, 1), EAbInternalInflateError);
  uint8_t buffer[4];
  TAbZipDecryptEngine engine;
  EXPECT_THROW(engine.Decode(buffer, 4), EAbInternalInflateError);
  // Too short to hold a header: rejected, and the position is restored.
  TMemoryStream short_archive(std::vector<uint8_t>(5, 0));
  TAbDfDecryptStream short_stream(short_archive, 0, "x");
  EXPECT_FALSE(short_stream.IsValid());
  EXPECT_EQ(short_archive.Position(), 0);
}

// An encrypted, deflated member whose compressed data this test encrypts:
// Inflate decrypts, decodes, and leaves the archive after the member.
TEST(ZipCrypto, InflateReadsThroughTheDecryptingStream) {
  const auto data = test::SampleText(150000, 13);
  auto stream = test::FixedStream(test::Tokenize(data, 32768, 258), false);
  const uint32_t crc = test::BitwiseCrc32(data);
  std::vector<uint8_t> member = {9, 8, 7, 6, 5,    4,
                                 3, 2, 1, 0, 0xEE, static_cast<uint8_t>(crc >> 24)};
  member.insert(member.end(), stream.begin(), stream.end());
  ZipCipher cipher;
  cipher.Init("pass");
  cipher.Encrypt(member.data(), member.size());
  member.push_back('P');  // what follows the member stays unread
  member.push_back('K');

  TMemoryStream source(member);
  TMemoryStream dest;
  TAbDeflateHelper helper;
  helper.password = "pass";
  helper.check_value = crc;
  EXPECT_EQ(Inflate(source, dest, helper), crc);
  EXPECT_EQ(dest.Bytes(), data);
  EXPECT_EQ(source.Position(), static_cast<int64_t>(member.size()) - 2);

  TMemoryStream again(member);
  TAbDeflateHelper wrong = helper;
  wrong.check_value = crc ^ 0x01000000;
  EXPECT_THROW(Inflate(again, dest, wrong), EAbInflatePasswordError);
  EXPECT_EQ(again.Position(), 0);
}

// --- Archives made at test time ---------------------------------------------

#ifndef _WIN32
bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Files of a few kinds, written into `dir`; returns name -> content.
std::vector<std::pair<std::string, std::vector<uint8_t>>> WriteSampleFiles(const std::string& dir) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"text.txt", test::SampleText(200000, 14)},
      {"noise.bin", test::RandomBytes(70000, 15)},
      {"empty.txt", {}},
      {"tiny.txt", {'x'}}};
  for (const auto& [name, data] : files) WriteFile(dir + "/" + name, data);
  return files;
}

void ExpectMembersDecrypt(const std::vector<uint8_t>& archive,
                          const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files,
                          const std::string& password, bool want_bit_3) {
  const auto members = test::ReadZipMembers(archive);
  ASSERT_EQ(members.size(), files.size());
  for (const ZipMember& m : members) {
    if (!(m.flags & 1)) continue;  // empty members are not encrypted by every tool
    EXPECT_EQ((m.flags & 8) != 0, want_bit_3) << m.name;
    const std::string out = Extract(archive, m, password);
    for (const auto& [name, data] : files) {
      if (name == m.name) {
        EXPECT_TRUE(out == std::string(data.begin(), data.end())) << name;
      }
    }
  }
}
#endif

TEST(ZipCrypto, DecryptsArchivesMadeByZipAndSevenZipNow) {
#ifdef _WIN32
  GTEST_SKIP() << "the Linux zip and 7z cannot be run from a Windows test under Wine";
#else
  test::ScratchDir dir;
  const auto files = WriteSampleFiles(dir.Path());
  const std::string cd = "cd '" + dir.Path() + "' && ";
  const std::string names = " text.txt noise.bin empty.txt tiny.txt";
  if (!HaveTool("zip")) VX_SKIP_OR_FAIL("zip is not installed");
  ASSERT_EQ(std::system((cd + "zip -q -X -P 'pass word' a.zip" + names).c_str()), 0);
  ASSERT_EQ(std::system((cd + "zip -q -X -0 -P 'pass word' s.zip" + names).c_str()), 0);
  ExpectMembersDecrypt(ReadFile(dir.File("a.zip")), files, "pass word", true);
  ExpectMembersDecrypt(ReadFile(dir.File("s.zip")), files, "pass word", true);
  // Written to a pipe: a data descriptor, so the check byte is the time's.
  ASSERT_EQ(std::system((cd + "cat text.txt | zip -q -X -P pipe - - > p.zip").c_str()), 0);
  ExpectMembersDecrypt(ReadFile(dir.File("p.zip")), {{"-", files[0].second}}, "pipe", true);

  std::string seven;
  for (const char* name : {"7z", "7zz", "7za"}) {
    if (seven.empty() && HaveTool(name)) seven = name;
  }
  if (seven.empty()) VX_SKIP_OR_FAIL("7z is not installed");
  for (const char* method : {"Deflate", "Copy"}) {
    const std::string archive = std::string("7") + method + ".zip";
    ASSERT_EQ(std::system((cd + seven + " a -bd -bso0 -tzip -pS3cr3t -mem=ZipCrypto -mm=" + method +
                           " " + archive + names)
                              .c_str()),
              0);
    ExpectMembersDecrypt(ReadFile(dir.File(archive)), files, "S3cr3t", false);
  }
#endif
}

}  // namespace
}  // namespace vx
