// The inflater on hand-built streams: the format's corners, every error
// message, hostile headers, and what callers observe (progress, abort, part
// size, output pieces, the source position). Self-contained, so it runs under
// Wine as well.
#include "archive/inflate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <stdexcept>

#include "archive/crc32.h"
#include "archive/errors.h"
#include "archive/inflate_test_samples.h"
#include "archive/inflate_test_support.h"

namespace vx {

// How test names show the width.
void PrintTo(InflateWord word, std::ostream* os) {
  *os << static_cast<int>(word) << "-bit word";
}

namespace {

using test::BitWriter;
using test::Token;

constexpr uint32_t kDeflate64 = 15 | TAbDeflateHelper::kOptionDeflate64;
const std::string kPrefix =
    "Archive inflate error, possibly a corrupted compressed stream. (Internal cause: ";

std::string Cause(const std::string& internal) {
  return kPrefix + internal + ")";
}

// Every case runs through both widths of the fast loop's bit buffer, the
// build's own and the other one, which budget their bits differently.
class Inflate : public ::testing::TestWithParam<InflateWord> {
 protected:
  test::InflateResult RunInflate(const std::vector<uint8_t>& stream, uint32_t options = 15,
                                 int64_t part_size = 0) {
    return test::RunInflate(stream, options, part_size, GetParam());
  }
  uint32_t Decode(TStream& source, TStream& dest, TAbDeflateHelper& helper) {
    return InflateWithWord(GetParam(), source, dest, helper);
  }
  std::string InflateError(const std::vector<uint8_t>& stream, uint32_t options = 15) {
    try {
      RunInflate(stream, options);
    } catch (const EAbInflateError& e) {
      return e.Message();
    }
    return "(no error)";
  }
};

INSTANTIATE_TEST_SUITE_P(BothWords, Inflate, ::testing::Values(InflateWord::k64, InflateWord::k32),
                         [](const ::testing::TestParamInfo<InflateWord>& info) {
                           return info.param == InflateWord::k32 ? "Word32" : "Word64";
                         });

// --- The format's corners -----------------------------------------------------

TEST_P(Inflate, EmptyStoredBlockGivesEmptyOutputAndCrcZero) {
  const auto r = RunInflate({0x01, 0x00, 0x00, 0xFF, 0xFF});
  EXPECT_TRUE(r.output.empty());
  EXPECT_EQ(r.checksum, 0u);
  EXPECT_EQ(r.helper.normal_size, 0);
  EXPECT_EQ(r.helper.compressed_size, 5);
}

TEST_P(Inflate, DistanceOneLength258RepeatsTheLastByte) {
  for (bool d64 : {false, true}) {
    BitWriter w;
    test::FixedBlock(w, {{'q', 0}, {'x', 0}, {258, 1}, {258, 1}}, true, d64);
    const auto r = RunInflate(w.Finish(), d64 ? kDeflate64 : 15);
    std::vector<uint8_t> want = {'q'};
    want.insert(want.end(), 517, 'x');
    EXPECT_EQ(r.output, want) << d64;
    EXPECT_EQ(r.checksum, test::BitwiseCrc32(want));
  }
}

TEST_P(Inflate, ShortPeriodMatchesOfEveryDistanceAndLength) {
  // Distances below 8 take the widening path of the match copy.
  for (uint32_t distance = 1; distance <= 20; ++distance) {
    for (uint32_t length : {3u, 4u, 7u, 8u, 9u, 15u, 16u, 17u, 39u, 40u, 41u, 100u, 258u}) {
      std::vector<Token> tokens;
      std::vector<uint8_t> want;
      for (uint32_t i = 0; i < distance; ++i) {
        tokens.push_back({'a' + i, 0});
        want.push_back(static_cast<uint8_t>('a' + i));
      }
      tokens.push_back({length, distance});
      for (uint32_t i = 0; i < length; ++i) want.push_back(want[want.size() - distance]);
      BitWriter w;
      test::FixedBlock(w, tokens, true, false);
      ASSERT_EQ(RunInflate(w.Finish()).output, want) << distance << " " << length;
    }
  }
}

TEST_P(Inflate, FixedBlockSymbols286And287AreRejected) {
  for (int symbol : {286, 287}) {
    for (uint32_t options : {15u, kDeflate64}) {
      BitWriter w;
      w.Bits(1, 1);
      w.Bits(1, 2);
      test::FixedLitLen(w, 'a');
      test::FixedLitLen(w, symbol);
      test::FixedLitLen(w, 256);
      EXPECT_EQ(InflateError(w.Finish(), options),
                Cause("decoded an invalid length symbol: greater than 285 [DecodeData]"))
          << symbol;
    }
  }
}

TEST_P(Inflate, DistanceCodes30And31AreDeflate64Only) {
  for (int code : {30, 31}) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    test::FixedLitLen(w, 'a');
    test::FixedLitLen(w, 257);
    test::FixedDist(w, code);
    w.Bits(0, 14);
    test::FixedLitLen(w, 256);
    EXPECT_EQ(InflateError(w.Finish()),
              Cause("decoded an invalid distance symbol: greater than 29 [DecodeData]"));
  }
}

TEST_P(Inflate, StoredBlockWithWrongNlenIsRejected) {
  EXPECT_EQ(InflateError({0x01, 0x03, 0x00, 0xFC, 0xFE, 'a', 'b', 'c'}),
            Cause("invalid stored block (length and NOT length do not match) "
                  "[InflateStoredBlock]"));
}

TEST_P(Inflate, BlockType3IsRejected) {
  EXPECT_EQ(InflateError({0x07, 0x00}),
            Cause("starting new block, but invalid block type [Inflate]"));
}

// 64 KiB of history, then matches reaching back exactly 65,536 bytes with
// distance code 31 and its 14 extra bits, including two maximal 65,538-byte
// matches in a row (code 285 with 16 extra bits).
TEST_P(Inflate, Deflate64ReachesBack64KiBWithMaximalMatches) {
  const auto history = test::RandomBytes(65536, 7);
  BitWriter w;
  test::StoredBlocks(w, history.data(), 65535, false);
  test::StoredBlocks(w, history.data() + 65535, 1, false);
  test::FixedBlock(w, {{258, 65536}, {65538, 65536}, {65538, 65536}, {3, 49153}}, true, true);
  const auto r = RunInflate(w.Finish(), kDeflate64);

  std::vector<uint8_t> want = history;
  for (uint32_t length : {258u, 65538u, 65538u}) {
    for (uint32_t i = 0; i < length; ++i) want.push_back(want[want.size() - 65536]);
  }
  for (uint32_t i = 0; i < 3; ++i) want.push_back(want[want.size() - 49153]);
  ASSERT_EQ(r.output.size(), want.size());
  EXPECT_TRUE(r.output == want);
  EXPECT_EQ(r.checksum, test::BitwiseCrc32(want));
}

TEST_P(Inflate, Deflate64LengthCode285TakesSixteenExtraBits) {
  for (uint32_t length : {3u, 4u, 258u, 259u, 1000u, 65538u}) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    test::FixedLitLen(w, 'z');
    test::FixedLitLen(w, 285);
    w.Bits(length - 3, 16);
    test::FixedDist(w, 0);
    test::FixedLitLen(w, 256);
    const auto r = RunInflate(w.Finish(), kDeflate64);
    EXPECT_EQ(r.output, std::vector<uint8_t>(length + 1, 'z')) << length;
  }
}

// --- Round trips through the test's own encoder -----------------------------

TEST_P(Inflate, RoundTripsLargeInputsInBothFormats) {
  std::vector<uint8_t> data = test::SampleText(400000, 1);
  const auto noise = test::RandomBytes(50000, 2);
  data.insert(data.begin() + 100000, noise.begin(), noise.end());
  // A copy of an early stretch far behind: long distances.
  data.insert(data.end(), data.begin() + 1000, data.begin() + 70000);
  for (bool d64 : {false, true}) {
    const auto tokens = test::Tokenize(data, d64 ? 65536 : 32768, d64 ? 65538 : 258);
    const auto r = RunInflate(test::FixedStream(tokens, d64), d64 ? kDeflate64 : 15);
    ASSERT_EQ(r.output.size(), data.size()) << d64;
    EXPECT_TRUE(r.output == data) << d64;
    EXPECT_EQ(r.checksum, test::BitwiseCrc32(data)) << d64;
    EXPECT_EQ(r.helper.normal_size, static_cast<int64_t>(data.size()));
  }
}

TEST_P(Inflate, TestOnlyWritesNothingAndAdlerOptionGivesAdler32) {
  const auto data = test::SampleText(100000, 3);
  const auto stream = test::FixedStream(test::Tokenize(data, 32768, 258), false);
  const auto normal = RunInflate(stream);
  const auto tested = RunInflate(stream, 15 | TAbDeflateHelper::kOptionTestOnly);
  EXPECT_TRUE(tested.output.empty());
  EXPECT_EQ(tested.checksum, normal.checksum);
  EXPECT_EQ(tested.helper.normal_size, 100000);
  const auto adler = RunInflate(stream, 15 | TAbDeflateHelper::kOptionUseAdler32);
  EXPECT_EQ(adler.checksum, Adler32Update(1, data.data(), data.size()));
  EXPECT_EQ(adler.output, data);
}

// --- What callers observe ---------------------------------------------------

TEST_P(Inflate, SourceIsLeftJustAfterTheLastByteUsed) {
  const auto data = test::SampleText(70000, 4);
  std::vector<std::vector<uint8_t>> streams;
  streams.push_back(test::FixedStream(test::Tokenize(data, 32768, 258), false));
  BitWriter stored;
  test::StoredBlocks(stored, data.data(), data.size(), true);
  streams.push_back(stored.Finish());
  streams.push_back({0x01, 0x00, 0x00, 0xFF, 0xFF});
  for (const auto& stream : streams) {
    std::vector<uint8_t> bytes = stream;
    const std::string trailer = "PK\x01\x02 what follows the member";
    bytes.insert(bytes.end(), trailer.begin(), trailer.end());
    TMemoryStream source(bytes);
    TMemoryStream dest;
    TAbDeflateHelper helper;
    Decode(source, dest, helper);
    EXPECT_EQ(source.Position(), static_cast<int64_t>(stream.size()));
    EXPECT_EQ(helper.compressed_size, static_cast<int64_t>(stream.size()));
  }
}

// The source is also read from where it stands, not from its start.
TEST_P(Inflate, StartsAtTheSourcePosition) {
  std::vector<uint8_t> bytes = {'j', 'u', 'n', 'k', 0x01, 0x02, 0x00, 0xFD, 0xFF, 'o', 'k', 'X'};
  TMemoryStream source(bytes);
  source.SetPosition(4);
  TMemoryStream dest;
  TAbDeflateHelper helper;
  Decode(source, dest, helper);
  EXPECT_EQ(dest.Bytes(), (std::vector<uint8_t>{'o', 'k'}));
  EXPECT_EQ(source.Position(), 11);
}

// Output leaves in 32 KiB pieces once 64 KiB (deflate) or 96 KiB
// (deflate64) are pending, and the rest at the end.
TEST_P(Inflate, OutputIsWrittenIn32KiBPieces) {
  for (bool d64 : {false, true}) {
    for (size_t total : {1000u, 65535u, 65536u, 98304u, 131071u, 300001u}) {
      const auto data = test::SampleText(total, 5);
      const auto stream = test::FixedStream(test::Tokenize(data, 32768, 258), d64);
      TMemoryStream source(stream);
      test::RecordingStream dest;
      TAbDeflateHelper helper;
      if (d64) helper.options |= TAbDeflateHelper::kOptionDeflate64;
      Decode(source, dest, helper);
      ASSERT_EQ(dest.Bytes(), data);
      const int64_t write_point = d64 ? 98304 : 65536;
      std::vector<int64_t> want;
      int64_t pending = static_cast<int64_t>(total);
      while (pending >= write_point) {
        want.push_back(32768);
        pending -= 32768;
      }
      if (pending > 0) want.push_back(pending);
      EXPECT_EQ(dest.writes, want) << d64 << " " << total;
    }
  }
}

std::vector<uint8_t> StoredStream(const std::vector<uint8_t>& data) {
  BitWriter w;
  test::StoredBlocks(w, data.data(), data.size(), true);
  return w.Finish();
}

// Percentages as a careful reader computes them: bytes read so far (in
// 16 KiB refills), capped at the expected size, rounded half to even.
std::vector<int32_t> ExpectedProgress(int64_t available, int64_t stream_size) {
  std::vector<int32_t> v;
  for (int64_t count = 0; count < available;) {
    count = std::min<int64_t>(count + 16384, available);
    const double exact = static_cast<double>(std::min(count, stream_size)) * 100 / stream_size;
    v.push_back(static_cast<int32_t>(std::nearbyint(exact)));
  }
  return v;
}

TEST_P(Inflate, ReportsInputProgressAfterEachRefill) {
  const auto data = test::RandomBytes(100000, 6);
  const auto stream = StoredStream(data);
  const int64_t size = static_cast<int64_t>(stream.size());
  // The real size, a smaller one (capped at 100), a size whose percentages
  // hit halves, and -1 for "the whole source".
  for (int64_t stream_size : {size, int64_t{50000}, int64_t{32768 * 4}, int64_t{-1}}) {
    TMemoryStream source(stream);
    TMemoryStream dest;
    TAbDeflateHelper helper;
    helper.stream_size = stream_size;
    std::vector<int32_t> seen;
    helper.OnProgress = [&](int32_t percent) { seen.push_back(percent); };
    Decode(source, dest, helper);
    EXPECT_EQ(seen, ExpectedProgress(size, stream_size == -1 ? size : stream_size)) << stream_size;
    EXPECT_EQ(dest.Bytes(), data);
  }
  // No size: no progress.
  TMemoryStream source(stream);
  TMemoryStream dest;
  TAbDeflateHelper helper;
  int calls = 0;
  helper.OnProgress = [&](int32_t) { ++calls; };
  Decode(source, dest, helper);
  EXPECT_EQ(calls, 0);
}

TEST_P(Inflate, AbortFromProgressFlushesWhatWasDecodedAndReturnsZero) {
  const auto data = test::SampleText(600000, 8);
  const auto stream = test::FixedStream(test::Tokenize(data, 32768, 258), false);
  for (int kind = 0; kind < 2; ++kind) {
    TMemoryStream source(stream);
    TMemoryStream dest;
    TAbDeflateHelper helper;
    helper.stream_size = static_cast<int64_t>(stream.size());
    int calls = 0;
    helper.OnProgress = [&](int32_t) {
      if (++calls == 3) {
        if (kind == 0) throw EAbAbortProgress();
        throw EAbUserAbort();
      }
    };
    EXPECT_EQ(Decode(source, dest, helper), 0u);
    const auto& out = dest.Bytes();
    EXPECT_GT(out.size(), 0u);
    EXPECT_LT(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
    EXPECT_EQ(helper.normal_size, static_cast<int64_t>(out.size()));
  }
}

TEST_P(Inflate, OtherExceptionsFromProgressPassThrough) {
  const auto stream = StoredStream(test::RandomBytes(40000, 9));
  TMemoryStream source(stream);
  TMemoryStream dest;
  TAbDeflateHelper helper;
  helper.stream_size = -1;
  helper.OnProgress = [](int32_t) { throw std::runtime_error("elsewhere"); };
  EXPECT_THROW(Decode(source, dest, helper), std::runtime_error);
}

TEST_P(Inflate, PartSizeStopsAfterThatManyBytes) {
  const auto data = test::SampleText(300000, 10);
  const auto fixed = test::FixedStream(test::Tokenize(data, 32768, 258), false);
  const auto stored = StoredStream(data);
  for (const auto* stream : {&fixed, &stored}) {
    for (int64_t part : {int64_t{1}, int64_t{1000}, int64_t{65536}, int64_t{100001}}) {
      const auto r = RunInflate(*stream, 15, part);
      EXPECT_EQ(r.checksum, 0u);
      EXPECT_EQ(r.helper.normal_size, part);
      EXPECT_EQ(r.output, std::vector<uint8_t>(data.begin(), data.begin() + part));
    }
    // A part size beyond the end changes nothing.
    const auto whole = RunInflate(*stream, 15, 10000000);
    EXPECT_EQ(whole.output, data);
    EXPECT_EQ(whole.checksum, test::BitwiseCrc32(data));
  }
}

// --- Truncated and hostile input --------------------------------------------

bool IsOutOfData(const std::string& message) {
  for (const char* op : {"ReadBit", "ReadBits", "DiscardBits", "ReadBuffer"}) {
    if (message ==
        Cause(std::string("no more compressed data in stream [TAbDfInBitStream.") + op + "]")) {
      return true;
    }
  }
  return false;
}

TEST_P(Inflate, TruncationAtEveryByteIsReportedAsMissingData) {
  const auto data = test::SampleText(3000, 11);
  std::vector<std::vector<uint8_t>> streams;
  streams.push_back(test::FixedStream(test::Tokenize(data, 32768, 258), false));
  streams.push_back(StoredStream(std::vector<uint8_t>(data.begin(), data.begin() + 300)));
  streams.push_back(test::kSmallDynamicStream);
  for (const auto& stream : streams) {
    for (size_t cut = 0; cut < stream.size(); ++cut) {
      const std::string message =
          InflateError(std::vector<uint8_t>(stream.begin(), stream.begin() + cut));
      ASSERT_TRUE(IsOutOfData(message)) << "cut at " << cut << ": " << message;
    }
    EXPECT_EQ(InflateError(stream), "(no error)");
  }
}

// A dynamic block header: HLIT, HDIST, HCLEN, then the code-length code.
// `precode` gives the code-length code lengths of symbols 0..18.
void DynamicHeader(BitWriter& w, int hlit, int hdist, const std::vector<int>& precode,
                   bool final = true) {
  static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  w.Bits(final ? 1 : 0, 1);
  w.Bits(2, 2);
  w.Bits(hlit - 257, 5);
  w.Bits(hdist - 1, 5);
  w.Bits(19 - 4, 4);
  for (int i = 0; i < 19; ++i) w.Bits(precode[order[i]], 3);
}

// A complete code-length code where every symbol has 5 bits except two of 4,
// so symbol s has the canonical code PrecodeCode(s).
const std::vector<int> kPrecode = {5, 5, 5, 5, 5, 5, 5, 5, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 4};
void PrecodeSymbol(BitWriter& w, int s) {
  // Canonical: the two 4-bit codes (8, 18) are 0000 and 0001; the 5-bit
  // codes follow from 00100 in symbol order.
  if (s == 8) return w.Code(0, 4);
  if (s == 18) return w.Code(1, 4);
  int rank = 0;
  for (int i = 0; i < s; ++i) rank += (i != 8 && i != 18);
  w.Code(4 + rank, 5);
}

TEST_P(Inflate, HostileDynamicHeadersAreRejected) {
  {  // More than 286 literal/length codes.
    BitWriter w;
    DynamicHeader(w, 287, 1, kPrecode);
    EXPECT_EQ(InflateError(w.Finish()),
              Cause("count of literal codes in dynamic block is greater than 286 "
                    "[InflateDynamicBlock]"));
  }
  {  // More than 30 distance codes: deflate only.
    BitWriter w;
    DynamicHeader(w, 257, 31, kPrecode);
    EXPECT_EQ(InflateError(w.Finish()),
              Cause("count of distance codes in dynamic block is greater than 30 "
                    "[InflateDynamicBlock]"));
    EXPECT_TRUE(IsOutOfData(InflateError(w.Finish(), kDeflate64)));
  }
  {  // A repeat of the previous length with none before it.
    BitWriter w;
    DynamicHeader(w, 257, 1, kPrecode);
    PrecodeSymbol(w, 16);
    w.Bits(0, 2);
    EXPECT_EQ(InflateError(w.Finish()),
              Cause("decoded a repeat of the previous code length, but there is none "
                    "{ReadLitDistCodeLengths}"));
  }
  for (int run : {16, 17, 18}) {  // A run past HLIT + HDIST.
    BitWriter w;
    DynamicHeader(w, 257, 1, kPrecode);
    for (int i = 0; i < 256; ++i) PrecodeSymbol(w, 8);
    if (run == 16) {
      PrecodeSymbol(w, 16);
      w.Bits(0, 2);  // 3 more: 259 > 258
    } else if (run == 17) {
      PrecodeSymbol(w, 17);
      w.Bits(0, 3);
    } else {
      PrecodeSymbol(w, 18);
      w.Bits(0, 7);
    }
    EXPECT_EQ(InflateError(w.Finish()),
              Cause("code length repeat runs past the end of the code lengths "
                    "{ReadLitDistCodeLengths}"))
        << run;
  }
  {  // An incomplete code-length code met where it has no symbol.
    BitWriter w;
    std::vector<int> precode(19, 0);
    precode[8] = 1;  // only the code 0
    DynamicHeader(w, 257, 1, precode);
    w.Code(1, 1);
    EXPECT_EQ(InflateError(w.Finish()),
              Cause("decoded a symbol not between 0 and 18 {ReadLitDistCodeLengths}"));
  }
  {  // An over-subscribed literal/length code: 257 codes of 8 bits.
    BitWriter w;
    DynamicHeader(w, 257, 1, kPrecode);
    for (int i = 0; i < 258; ++i) PrecodeSymbol(w, 8);
    EXPECT_EQ(InflateError(w.Finish()),
              Cause("code lengths describe an over-subscribed code [BuildTable]"));
  }
}

// Canonical codes (most significant bit first) of the given code lengths.
std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
  uint32_t count[16] = {};
  for (int len : lengths) count[len]++;
  count[0] = 0;
  uint32_t next[16] = {};
  for (int len = 1, code = 0; len <= 15; ++len) {
    code = (code + static_cast<int>(count[len - 1])) << 1;
    next[len] = static_cast<uint32_t>(code);
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

// One dynamic block of the tokens, coded with the given lengths.
void DynamicTokens(BitWriter& w, bool final, bool deflate64, const std::vector<int>& litlen,
                   const std::vector<int>& dist, const std::vector<Token>& tokens) {
  DynamicHeader(w, static_cast<int>(litlen.size()), static_cast<int>(dist.size()), kPrecode, final);
  for (int len : litlen) PrecodeSymbol(w, len);
  for (int len : dist) PrecodeSymbol(w, len);
  const auto litlen_codes = CanonicalCodes(litlen);
  const auto dist_codes = CanonicalCodes(dist);
  auto symbol = [&](int s) { w.Code(litlen_codes[s], litlen[s]); };
  for (const Token& t : tokens) {
    if (t.distance == 0) {
      symbol(static_cast<int>(t.length_or_byte));
      continue;
    }
    const auto len = test::LengthCode(t.length_or_byte, deflate64);
    symbol(len.symbol);
    w.Bits(len.extra, len.extra_bits);
    const auto d = test::DistanceCode(t.distance);
    w.Code(dist_codes[d.symbol], dist[d.symbol]);
    w.Bits(d.extra, d.extra_bits);
  }
  symbol(256);
}

// The symbols that take the most bits, as 15-bit codes (looked up through
// subtables) and as short ones, with all-ones extra bits, at every bit
// offset: a 15-bit literal, length code 281 and distance code 29 (31 in
// deflate64) of 15 bits, code 284 and distance code 28 (30) of short ones,
// and code 285 of 15 bits in one block and of 5 in the next (in deflate64
// with 16 extra bits). Whatever a refill leaves, these must fit.
TEST_P(Inflate, LongestCodesWithTheMostExtraBits) {
  for (bool d64 : {false, true}) {
    const uint32_t far = d64 ? 65536 : 32768;
    std::vector<Token> tokens;
    for (int i = 0; i < 300; ++i) {
      for (int k = 0; k < i % 8; ++k) tokens.push_back({'x', 0});
      tokens.push_back({'z', 0});
      tokens.push_back({162, far});  // 281 + 31, distance 29/31 + all ones
      tokens.push_back({'y', 0});
      tokens.push_back({257, far - 8192 * (d64 ? 2 : 1)});  // 284 + 30, 28/30 + all ones
      tokens.push_back({d64 ? 300u : 258u, far});           // 285
      tokens.push_back({3, 1});
    }
    std::vector<int> litlen(286, 0);
    litlen['x'] = 2;
    litlen['y'] = 3;
    litlen[256] = 3;
    litlen[284] = 4;
    litlen[257] = 5;
    litlen['z'] = 15;
    litlen[281] = 15;
    std::vector<int> dist(d64 ? 32 : 30, 0);
    dist[0] = 1;
    dist[d64 ? 30 : 28] = 3;
    dist[d64 ? 31 : 29] = 15;

    const auto history = test::RandomBytes(65536, 12);
    BitWriter w;
    test::StoredBlocks(w, history.data(), history.size(), false);
    const size_t half = tokens.size() / 2;
    litlen[285] = 15;
    DynamicTokens(w, false, d64, litlen, dist, {tokens.begin(), tokens.begin() + half});
    litlen[285] = 5;
    DynamicTokens(w, true, d64, litlen, dist, {tokens.begin() + half, tokens.end()});

    std::vector<uint8_t> want = history;
    for (const Token& t : tokens) {
      if (t.distance == 0) {
        want.push_back(static_cast<uint8_t>(t.length_or_byte));
        continue;
      }
      for (uint32_t k = 0; k < t.length_or_byte; ++k)
        want.push_back(want[want.size() - t.distance]);
    }
    const auto r = RunInflate(w.Finish(), d64 ? kDeflate64 : 15);
    ASSERT_EQ(r.output.size(), want.size()) << d64;
    EXPECT_TRUE(r.output == want) << d64;
    EXPECT_EQ(r.checksum, test::BitwiseCrc32(want)) << d64;
  }
}

// A dynamic block whose literal/length code has 'a' (1 bit, code 0), 256
// and 257 (2 bits, codes 10 and 11), and whose distance code is given.
std::vector<uint8_t> TinyDynamicBlock(bool deflate64, int hdist,
                                      const std::vector<int>& dist_lengths, uint32_t dist_code,
                                      int dist_code_bits, int dist_extra_bits) {
  BitWriter w;
  DynamicHeader(w, 258, hdist, kPrecode);
  std::vector<int> lengths(258 + hdist, 0);
  lengths['a'] = 1;
  lengths[256] = 2;
  lengths[257] = 2;
  for (size_t i = 0; i < dist_lengths.size(); ++i) lengths[258 + i] = dist_lengths[i];
  for (int len : lengths) PrecodeSymbol(w, len);
  w.Code(0, 1);  // 'a'
  w.Code(3, 2);  // 257: length 3
  w.Code(dist_code, dist_code_bits);
  w.Bits(0, dist_extra_bits);
  w.Code(2, 2);  // end of block
  (void)deflate64;
  return w.Finish();
}

TEST_P(Inflate, HostileDistancesAreRejected) {
  // Distance code 0 (distance 1) after one byte: fine.
  EXPECT_EQ(RunInflate(TinyDynamicBlock(false, 1, {1}, 0, 1, 0)).output,
            (std::vector<uint8_t>{'a', 'a', 'a', 'a'}));
  // Distance code 1 (distance 2) reaches before the first byte.
  for (uint32_t options : {15u, kDeflate64}) {
    EXPECT_EQ(InflateError(TinyDynamicBlock(false, 2, {1, 1}, 1, 1, 0), options),
              Cause("decoded a distance reaching before the start of the output [DecodeData]"));
  }
  // An incomplete distance code (one code of one bit) met at its unused half.
  EXPECT_EQ(InflateError(TinyDynamicBlock(false, 1, {1}, 1, 1, 0)),
            Cause("decoded an invalid distance symbol: greater than 29 [DecodeData]"));
  EXPECT_EQ(InflateError(TinyDynamicBlock(true, 1, {1}, 1, 1, 0), kDeflate64),
            Cause("decoded an unused distance code [DecodeData]"));
  // No distance code at all, and a match anyway.
  EXPECT_EQ(InflateError(TinyDynamicBlock(true, 1, {0}, 0, 1, 0), kDeflate64),
            Cause("decoded an unused distance code [DecodeData]"));
}

// A literal/length code that leaves room unused, met where it has no symbol.
TEST_P(Inflate, UnusedLiteralLengthCodeIsRejected) {
  BitWriter w;
  DynamicHeader(w, 257, 1, kPrecode);
  std::vector<int> lengths(258, 0);
  lengths['a'] = 2;
  lengths[256] = 2;
  for (int len : lengths) PrecodeSymbol(w, len);
  w.Code(0, 2);  // 'a'
  w.Code(3, 2);  // unused
  EXPECT_EQ(InflateError(w.Finish()),
            Cause("decoded an invalid length symbol: greater than 285 [DecodeData]"));
}

// Real zlib output: dynamic blocks with codes up to 15 bits long.
TEST_P(Inflate, DecodesEmbeddedZlibAndSevenZipStreams) {
  const auto r = RunInflate(test::kSmallDynamicStream);
  EXPECT_EQ(r.checksum, test::kSmallDynamicCrc);
  EXPECT_EQ(r.output.size(), test::kSmallDynamicSize);
  const auto r64 = RunInflate(test::kSmallDeflate64Stream, kDeflate64);
  EXPECT_EQ(r64.checksum, test::kSmallDeflate64Crc);
  EXPECT_EQ(r64.output.size(), test::kSmallDeflate64Size);
}

}  // namespace
}  // namespace vx
