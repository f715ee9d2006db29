// The legacy decoders on real archives written by PKZIP 0.80 to 1.10, and the
// behaviour around them: password checks, progress and abort, the ends of
// the input, method and factor errors, the output window.
#include "archive/legacy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/errors.h"
#include "archive/legacy_input.h"
#include "archive/sliding_window.h"
#include "archive/unreduce.h"
#include "archive/zdecoder.h"
#include "archive/zip_crypto.h"
#include "legacy_test_support.h"

namespace vx {
namespace {

using test::Decoded;
using test::ZipMember;

// Every archive of the PKZIP set that holds shrunk, reduced or imploded members.
const char* const kLegacyArchives[] = {
    "PKZ80A1.ZIP", "PKZ80A2.ZIP", "PKZ80A3.ZIP",  "PKZ80A4.ZIP",  "PKZ80B1.ZIP",
    "PKZ80B2.ZIP", "PKZ80B3.ZIP", "PKZ80B4.ZIP",  "PKZ90A1.ZIP",  "PKZ90A2.ZIP",
    "PKZ90A3.ZIP", "PKZ90A4.ZIP", "PKZ90B1.ZIP",  "PKZ90B2.ZIP",  "PKZ90B3.ZIP",
    "PKZ90B4.ZIP", "PKZ110.ZIP",  "PKZ110EI.ZIP", "PKZ110ES.ZIP", "PKZ110EX.ZIP"};

// The plain copy of every member, by name.
const std::map<std::string, std::vector<uint8_t>>& ReferenceMembers() {
  static const auto* members = [] {
    auto* m = new std::map<std::string, std::vector<uint8_t>>;
    const auto zip = test::ReadFileBytes(test::PkzipFile("PKZ204E0.ZIP"));
    for (const ZipMember& member : test::ReadCentralDirectory(zip)) {
      if (member.method == 0) (*m)[member.name] = test::MemberData(zip, member);
    }
    return m;
  }();
  return *members;
}

class PkzipArchive : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!test::HavePkzipData()) VX_SKIP_OR_FAIL("no PKZIP test archives in " + test::PkzipDir());
    zip_ = test::ReadFileBytes(test::PkzipFile(GetParam()));
    members_ = test::ReadCentralDirectory(zip_);
    std::string listing = GetParam();
    listing.replace(listing.size() - 3, 3, "TXT");
    listing_ = test::ListingCrcs(test::PkzipFile(listing));
  }
  std::vector<uint8_t> zip_;
  std::vector<ZipMember> members_;
  std::map<std::string, uint32_t> listing_;
};

TEST_P(PkzipArchive, EveryLegacyMemberDecodesToThePlainCopy) {
  ASSERT_EQ(members_.size(), 15u);
  int32_t legacy = 0;
  for (const ZipMember& m : members_) {
    if (m.method < 1 || m.method > 6) continue;
    ++legacy;
    SCOPED_TRACE(m.name + " method " + std::to_string(m.method));
    TAbLegacyRequest request = test::RequestFor(m);
    const Decoded d = test::DecodeLegacy(test::MemberData(zip_, m), request);
    ASSERT_EQ(listing_.count(m.name), 1u);
    EXPECT_EQ(d.crc, listing_.at(m.name));
    EXPECT_EQ(d.crc, m.crc);
    ASSERT_EQ(ReferenceMembers().count(m.name), 1u);
    EXPECT_TRUE(d.bytes == ReferenceMembers().at(m.name)) << "bytes differ";
  }
  EXPECT_GE(legacy, 7);
}

INSTANTIATE_TEST_SUITE_P(Legacy, PkzipArchive, ::testing::ValuesIn(kLegacyArchives),
                         [](const auto& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

// ---------------------------------------------------------------------------
// Members taken from the archives, for the tests below.

struct SampleMember {
  std::vector<uint8_t> data;  // compressed
  ZipMember member;
  std::vector<uint8_t> plain;
};

// `name` from `archive`, or nothing when the test data is missing.
bool LoadSample(const char* archive, const char* name, SampleMember& out) {
  if (!test::HavePkzipData()) return false;
  const auto zip = test::ReadFileBytes(test::PkzipFile(archive));
  for (const ZipMember& m : test::ReadCentralDirectory(zip)) {
    if (m.name != name) continue;
    out.member = m;
    out.data = test::MemberData(zip, m);
    out.plain = ReferenceMembers().at(name);
    return true;
  }
  return false;
}

#define LOAD_SAMPLE_OR_SKIP(archive, name, sample)                               \
  SampleMember sample;                                                           \
  if (!LoadSample(archive, name, sample)) {                                      \
    VX_SKIP_OR_FAIL(std::string("no ") + (archive) + " in " + test::PkzipDir()); \
  }

// Encrypts a member as PKZIP does: 12 header bytes whose last one is the top
// byte of the check value, then the data, all through the cipher.
std::vector<uint8_t> Encrypt(const std::vector<uint8_t>& data, const std::string& password,
                             uint32_t check_value, uint8_t second_byte = 0x5A) {
  std::vector<uint8_t> out(kZipEncryptionHeaderSize + data.size());
  const uint8_t header[kZipEncryptionHeaderSize] = {
      0x11, 0x22, 0x33, 0x44, 0x55,        0x66,
      0x77, 0x88, 0x99, 0xAA, second_byte, static_cast<uint8_t>(check_value >> 24)};
  std::copy(header, header + kZipEncryptionHeaderSize, out.begin());
  std::copy(data.begin(), data.end(), out.begin() + kZipEncryptionHeaderSize);
  ZipCipher cipher;
  cipher.Init(password);
  cipher.Encrypt(out.data(), out.size());
  return out;
}

// Records how a decoder uses its streams.
class RecordingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int64_t Read(void* buffer, int64_t count) override {
    reads.push_back(count);
    return TMemoryStream::Read(buffer, count);
  }
  int64_t Write(const void* buffer, int64_t count) override {
    writes.push_back(count);
    return TMemoryStream::Write(buffer, count);
  }
  std::vector<int64_t> reads, writes;
};

// ---------------------------------------------------------------------------
// Encrypted members.

// Parameter: "archive member".
class LegacyEncryption : public ::testing::TestWithParam<const char*> {};

TEST_P(LegacyEncryption, DecodesWithTheRightPasswordOnly) {
  const std::string param = GetParam();
  const std::string archive = param.substr(0, param.find(' '));
  const std::string name = param.substr(param.find(' ') + 1);
  LOAD_SAMPLE_OR_SKIP(archive.c_str(), name.c_str(), s);
  TAbLegacyRequest request = test::RequestFor(s.member);
  request.encrypted = true;
  request.compressed_size += kZipEncryptionHeaderSize;
  const auto encrypted = Encrypt(s.data, "Vestrix!", request.check_value);

  request.password = "Vestrix!";
  const Decoded good = test::DecodeLegacy(encrypted, request);
  EXPECT_EQ(good.crc, s.member.crc);
  EXPECT_TRUE(good.bytes == s.plain);

  // A wrong password, then the right one from the handler.
  std::vector<std::string> asked;
  request.password = "wrong";
  request.OnNeedPassword = [&](std::string& password) {
    asked.push_back(password);
    password = "Vestrix!";
    return true;
  };
  const Decoded retried = test::DecodeLegacy(encrypted, request);
  EXPECT_EQ(asked, std::vector<std::string>{"wrong"});
  EXPECT_EQ(request.password, "Vestrix!");
  EXPECT_TRUE(retried.bytes == s.plain);
}

INSTANTIATE_TEST_SUITE_P(Legacy, LegacyEncryption,
                         ::testing::Values("PKZ80A1.ZIP TEST.JPG", "PKZ80B3.ZIP TEST.PCX",
                                           "PKZ110EI.ZIP TEST.PCX"),
                         [](const auto& info) {
                           return std::string(info.param).substr(0, 7) + "_" +
                                  std::to_string(info.index);
                         });

TEST(LegacyEncryption, EveryAskedPasswordIsTriedThenTheMemberFails) {
  const std::vector<uint8_t> plain = {'a', 'b', 'c'};
  const auto data = Encrypt(plain, "secret", 0xC0FFEE00);
  TAbLegacyRequest request;
  request.method = 1;
  request.encrypted = true;
  request.check_value = 0xC0FFEE00;
  request.compressed_size = static_cast<uint32_t>(data.size());
  request.uncompressed_size = 3;
  request.password_retries = 3;

  int32_t calls = 0;
  request.OnNeedPassword = [&](std::string& password) {
    password = "wrong" + std::to_string(++calls);
    return true;
  };
  TMemoryStream archive(data), output;
  try {
    LegacyItem(archive, output, request);
    FAIL() << "accepted a wrong password";
  } catch (const EAbZipInvalidPassword& e) {
    EXPECT_EQ(e.ErrorCode(), 4);
  }
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(output.Size(), 0);

  // Without a handler the same password is tried again, and rejected.
  request.OnNeedPassword = nullptr;
  TMemoryStream archive2(data);
  EXPECT_THROW(LegacyItem(archive2, output, request), EAbZipInvalidPassword);
  EXPECT_EQ(output.Size(), 0);

  // A handler that answers on its last call still gets its password tried.
  calls = 0;
  request.OnNeedPassword = [&](std::string& password) {
    password = ++calls == 3 ? "secret" : "nope";
    return true;
  };
  TMemoryStream archive3(data);
  LegacyItem(archive3, output, request);  // a 3-byte shrunk member is garbage, but decodes
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(request.password, "secret");
}

TEST(LegacyEncryption, TwoByteCheckAlsoComparesTheSecondByte) {
  const uint32_t check = 0xA1B2C3D4;
  const auto good = Encrypt({}, "pw", check, 0xB2);
  const auto bad = Encrypt({}, "pw", check, 0x00);
  for (bool one_byte : {true, false}) {
    TMemoryStream a(good), b(bad);
    TAbZDecoder first("pw", check, one_byte, 0);
    EXPECT_NO_THROW(first.CheckPassword(a, 0));
    TAbZDecoder second("pw", check, one_byte, 0);
    if (one_byte) {
      EXPECT_NO_THROW(second.CheckPassword(b, 0));
    } else {
      EXPECT_THROW(second.CheckPassword(b, 0), EAbZipInvalidPassword);
    }
  }
}

TEST(LegacyEncryption, HeaderCutShortIsAReadError) {
  TMemoryStream archive(std::vector<uint8_t>(7, 0));
  TAbZDecoder decoder("pw", 0, true, 3);
  EXPECT_THROW(decoder.CheckPassword(archive, 0), EAbReadError);
}

// ---------------------------------------------------------------------------
// Output blocks, progress and abort.

TEST(LegacyOutput, WritesWholeBlocksAndReportsEachNewPercentage) {
  LOAD_SAMPLE_OR_SKIP("PKZ110ES.ZIP", "TEST.EXE", s);  // 2.4 MB, shrunk
  TAbLegacyRequest request = test::RequestFor(s.member);
  std::vector<int32_t> reported;
  request.OnProgress = [&](int32_t percent, bool& abort) {
    EXPECT_FALSE(abort);
    reported.push_back(percent);
  };
  TMemoryStream archive(s.data);
  RecordingStream output;
  EXPECT_EQ(LegacyItem(archive, output, request), s.member.crc);
  EXPECT_TRUE(output.Bytes() == s.plain);

  // One write per 32 KiB, the last one shorter.
  const size_t total = s.plain.size();
  ASSERT_EQ(output.writes.size(), (total + 32767) / 32768);
  for (size_t i = 0; i + 1 < output.writes.size(); ++i) EXPECT_EQ(output.writes[i], 32768);
  // A report whenever the share sent changes its whole percentage.
  std::vector<int32_t> expected;
  int32_t last = 0;
  for (size_t sent = 32768;; sent += 32768) {
    sent = std::min(sent, total);
    const int32_t percent = static_cast<int32_t>(sent * 100 / total);
    if (percent != last) expected.push_back(last = percent);
    if (sent == total) break;
  }
  EXPECT_EQ(reported, expected);
  EXPECT_EQ(reported.back(), 100);
}

TEST(LegacyOutput, SmallAndEmptyMembers) {
  LOAD_SAMPLE_OR_SKIP("PKZ80B2.ZIP", "TEST.GIF", s);  // 2,646 bytes, reduced
  TAbLegacyRequest request = test::RequestFor(s.member);
  std::vector<int32_t> reported;
  request.OnProgress = [&](int32_t percent, bool&) { reported.push_back(percent); };
  EXPECT_EQ(test::DecodeLegacy(s.data, request).crc, s.member.crc);
  EXPECT_EQ(reported, std::vector<int32_t>{100});

  // Nothing to produce: nothing read, nothing written, the CRC of nothing.
  reported.clear();
  for (uint16_t method = 1; method <= 6; ++method) {
    request.method = method;
    request.uncompressed_size = 0;
    RecordingStream archive(s.data), output;
    EXPECT_EQ(LegacyItem(archive, output, request), 0u);
    EXPECT_TRUE(archive.reads.empty());
    EXPECT_EQ(output.Size(), 0);
  }
  EXPECT_TRUE(reported.empty());
}

TEST(LegacyOutput, AbortAnswerStopsWithUserAbortAfterWritingWhatWasDecoded) {
  LOAD_SAMPLE_OR_SKIP("PKZ110EI.ZIP", "TEST.EXE", s);  // imploded
  TAbLegacyRequest request = test::RequestFor(s.member);
  std::vector<int32_t> reported;
  request.OnProgress = [&](int32_t percent, bool& abort) {
    reported.push_back(percent);
    abort = percent >= 5;
  };
  TMemoryStream archive(s.data), output;
  try {
    LegacyItem(archive, output, request);
    FAIL() << "no abort";
  } catch (const EAbUserAbort& e) {
    EXPECT_EQ(e.ErrorCode(), 9);
  }
  ASSERT_GE(reported.size(), 2u);
  EXPECT_GE(reported.back(), 5);
  EXPECT_LT(reported[reported.size() - 2], 5);
  const auto& bytes = output.Bytes();
  ASSERT_GE(bytes.size(), 5u * s.plain.size() / 100);
  ASSERT_LT(bytes.size(), s.plain.size());
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), s.plain.begin()));
}

// ---------------------------------------------------------------------------
// The ends of the input and of the output.

TEST(LegacyInput, ReadsInBlocksOfAtMost4096BytesAndNeverPastTheMember) {
  for (auto [archive_name, name] :
       {std::pair{"PKZ90A2.ZIP", "TEST.PCX"}, std::pair{"PKZ90B4.ZIP", "TEST.PCX"},
        std::pair{"PKZ110.ZIP", "TEST.PCX"}}) {
    LOAD_SAMPLE_OR_SKIP(archive_name, name, s);
    SCOPED_TRACE(archive_name);
    TAbLegacyRequest request = test::RequestFor(s.member);
    std::vector<uint8_t> data = s.data;
    data.insert(data.end(), 5000, 0xEE);  // the next member, as far as we know
    RecordingStream archive(data), output;
    EXPECT_EQ(LegacyItem(archive, output, request), s.member.crc);
    int64_t total = 0;
    for (int64_t n : archive.reads) {
      EXPECT_LE(n, 4096);
      total += n;
    }
    EXPECT_EQ(total, static_cast<int64_t>(s.data.size()));
    EXPECT_EQ(archive.Position(), static_cast<int64_t>(s.data.size()));
  }
}

TEST(LegacyInput, ArchiveEndingInsideTheMemberIsAReadError) {
  for (auto [archive_name, name] :
       {std::pair{"PKZ90A2.ZIP", "TEST.PCX"}, std::pair{"PKZ90B4.ZIP", "TEST.PCX"},
        std::pair{"PKZ110.ZIP", "TEST.PCX"}}) {
    LOAD_SAMPLE_OR_SKIP(archive_name, name, s);
    SCOPED_TRACE(archive_name);
    TAbLegacyRequest request = test::RequestFor(s.member);
    std::vector<uint8_t> cut(s.data.begin(), s.data.begin() + s.data.size() / 2);
    TMemoryStream archive(cut), output;
    try {
      LegacyItem(archive, output, request);
      FAIL() << "no error";
    } catch (const EAbReadError& e) {
      EXPECT_EQ(e.ErrorCode(), 29);
    }
    // What was decoded before the end is written.
    EXPECT_GT(output.Size(), 0);
    EXPECT_TRUE(std::equal(output.Bytes().begin(), output.Bytes().end(), s.plain.begin()));
  }
}

TEST(LegacyInput, DecodingStopsAtTheCompressedOrTheUncompressedSize) {
  for (auto [archive_name, name] :
       {std::pair{"PKZ90A2.ZIP", "TEST.PCX"}, std::pair{"PKZ90B1.ZIP", "TEST.PCX"},
        std::pair{"PKZ110.ZIP", "TEST.PCX"}}) {
    LOAD_SAMPLE_OR_SKIP(archive_name, name, s);
    SCOPED_TRACE(archive_name);
    // A compressed size shorter than the data: a partial member, no error.
    TAbLegacyRequest request = test::RequestFor(s.member);
    request.compressed_size /= 3;
    Decoded d = test::DecodeLegacy(s.data, request);
    EXPECT_GT(d.bytes.size(), 0u);
    EXPECT_LT(d.bytes.size(), s.plain.size());
    EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), s.plain.begin()));
    EXPECT_EQ(d.crc, Crc32Update(0, d.bytes.data(), d.bytes.size()));

    // An uncompressed size shorter than the data: exactly that many bytes,
    // even where it cuts a copy or a string in two.
    for (uint32_t size : {1u, 1000u, 16384u, 20001u, 29529u}) {
      request = test::RequestFor(s.member);
      request.uncompressed_size = size;
      d = test::DecodeLegacy(s.data, request);
      ASSERT_EQ(d.bytes.size(), size);
      EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), s.plain.begin()));
    }
  }
}

// ---------------------------------------------------------------------------
// Methods and factors.

TEST(LegacyDispatch, UnsupportedMethodsAndFactors) {
  for (uint16_t method : {0, 7, 8, 10, 0x106}) {
    TAbLegacyRequest request;
    request.method = method;
    request.uncompressed_size = 10;
    request.encrypted = true;  // not asked for a password first
    bool asked = false;
    request.OnNeedPassword = [&](std::string&) { return asked = true; };
    TMemoryStream archive(std::vector<uint8_t>(100, 0)), output;
    try {
      LegacyItem(archive, output, request);
      FAIL() << "method " << method;
    } catch (const EAbZipInvalidMethod& e) {
      EXPECT_EQ(e.ErrorCode(), 2);
      EXPECT_EQ(e.Message(), "Cannot extract file - unsupported compression method");
    }
    EXPECT_FALSE(asked);
  }
  for (int32_t factor : {0, 5, -1}) {
    TMemoryStream archive, output;
    LegacyInput input(archive, 0, nullptr);
    TabSlidingWindowStream window(output, 10, true);
    try {
      Unreduce(input, window, factor);
      FAIL() << "factor " << factor;
    } catch (const EAbZipInvalidFactor& e) {
      EXPECT_EQ(e.ErrorCode(), 6);
      EXPECT_EQ(e.Message(), "Invalid Reduce Factor");
    }
  }
}

// ---------------------------------------------------------------------------
// The window as a stream, and the output failing under it.

int32_t CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EAbException& e) {
    EXPECT_EQ(e.Message(), MessageTextOf(e.ErrorCode()));
    return e.ErrorCode();
  }
  return -1;
}

TEST(LegacyWindow, StreamAccessAndItsErrors) {
  TMemoryStream output;
  TabSlidingWindowStream window(output, 400000, true);
  const int64_t n = 300000;
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
  EXPECT_EQ(window.Write(bytes.data(), n), n);
  EXPECT_EQ(window.Position(), n);
  EXPECT_EQ(window.Size(), n);

  // Reads anywhere in the last 32 KiB.
  uint8_t got[16];
  EXPECT_EQ(window.Seek(-32768, soEnd), n - 32768);
  EXPECT_EQ(window.Read(got, 16), 16);
  EXPECT_TRUE(std::equal(got, got + 16, bytes.begin() + (n - 32768)));
  EXPECT_EQ(window.Seek(4, soCurrent), n - 32768 + 20);

  EXPECT_EQ(CodeOf([&] { window.Write(bytes.data(), 1); }), 80);
  EXPECT_EQ(CodeOf([&] { window.Seek(1, soEnd); }), 84);
  EXPECT_EQ(CodeOf([&] { window.Seek(0, soBeginning); }), 84);
  EXPECT_EQ(CodeOf([&] { window.Seek(0, static_cast<SeekOrigin>(3)); }), 83);

  window.Seek(0, soEnd);
  EXPECT_EQ(window.Write(bytes.data(), 10), 10);
  window.Finish();
  EXPECT_EQ(output.Size(), n + 10);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), output.Bytes().begin()));
  EXPECT_EQ(window.Crc(), Crc32Update(0, output.Bytes().data(), output.Bytes().size()));
}

// An output that takes `limit` bytes, or lands somewhere else when seeked.
class FailingStream : public TMemoryStream {
 public:
  FailingStream(int64_t limit, bool bad_seek) : limit_(limit), bad_seek_(bad_seek) {}
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t n = std::min(count, limit_ - Position());
    return n <= 0 ? 0 : TMemoryStream::Write(buffer, n);
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    const int64_t at = TMemoryStream::Seek(offset, origin);
    return bad_seek_ && at > 0 ? at + 1 : at;
  }

 private:
  int64_t limit_;
  bool bad_seek_;
};

TEST(LegacyWindow, OutputFailuresCarryTheWindowTexts) {
  LOAD_SAMPLE_OR_SKIP("PKZ80B1.ZIP", "TEST.BMP", reduced);
  LOAD_SAMPLE_OR_SKIP("PKZ80A1.ZIP", "TEST.BMP", shrunk);
  auto run = [](SampleMember& s, TStream& output) {
    TAbLegacyRequest request = test::RequestFor(s.member);
    TMemoryStream archive(s.data);
    LegacyItem(archive, output, request);
  };
  FailingStream full(100000, false), lost(1 << 30, true);
  EXPECT_EQ(CodeOf([&] { run(reduced, full); }), 82);
  EXPECT_EQ(CodeOf([&] { run(reduced, lost); }), 81);
  // Shrunk members go straight to the output: its own error.
  FailingStream full2(100000, false);
  EXPECT_THROW(run(shrunk, full2), EStreamError);
}

}  // namespace
}  // namespace vx
