// The inflater: DEFLATE and deflate64 decoding.
//
// Why it is fast:
//  - The fast loop keeps its bit buffer in one register-sized word and
//    refills it without a branch, a word at a time. In a 64-bit word a
//    refill leaves at least 56 bits: a run of three literals or a whole
//    length/distance pair. The 32-bit build (i686, seven registers, where a
//    64-bit buffer takes two and pushes the loop's pointers onto the stack)
//    keeps a 32-bit word, which a refill leaves with at least 24 bits: two
//    literals, a length and the lookup of its distance, or a distance. Both
//    budgets are spelled out at BitWord and checked there and in the loop.
//  - Decode tables are built once per block. Each entry already holds what
//    the symbol means (the literal byte, or the length or distance base, its
//    extra-bit count and the total bits to consume), so a symbol costs one
//    lookup. Codes longer than the main table's index width continue in a
//    small subtable, so the main table stays small enough for the L1 cache.
//  - The fast loop checks the input and output bounds once per iteration and
//    does not look at them again inside: it runs only while the input has
//    kFastInputMargin bytes left and the output is below its limit, beyond
//    which the buffer has room for the longest match plus kCopySlack. Near
//    the end of the input the careful path takes over, one symbol at a
//    time, checking every bit it takes.
//  - Matches are copied in 8-byte words, overrunning into the slack;
//    short-period repeats are widened first.
//  - There are variants of the fast loop for deflate and deflate64, for
//    processors with and without BMI2, for the start of a member, where a
//    distance may still reach before the first byte, and the rest, and for
//    both word widths (the build chooses one; InflateWithWord runs either).
//  - The check value is computed over each 32 KiB piece as it leaves the
//    window (crc32.h, with a carry-less multiply path).
//
// What a caller observes is kept: the source is read in 16 KiB pieces with a
// progress report after each, the destination receives 32 KiB pieces once
// 64 KiB (96 KiB for deflate64) are pending and the remainder at the end,
// and every corrupt input is reported through one of the messages below.
#include "archive/inflate.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "archive/crc32.h"
#include "archive/errors.h"
#include "archive/progress.h"
#include "archive/zip_crypto.h"

#if defined(__GNUC__) || defined(__clang__)
#define VX_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define VX_ALWAYS_INLINE inline
#endif
#if defined(__GNUC__) || defined(__clang__)
#define VX_OPAQUE(value) __asm__("" : "+r"(value))
#else
#define VX_OPAQUE(value) (void)0
#endif
#if defined(__x86_64__) || defined(__i386__)
#define VX_INFLATE_BMI2 1
#else
#define VX_INFLATE_BMI2 0
#endif
// Every processor with BMI2 has SSE2, which the i686 build may not assume
// elsewhere: its BMI2 loop copies matches through SSE2 registers, leaving
// the seven general registers to the decoder.
#if defined(__i386__)
#define VX_INFLATE_BMI2_TARGET "bmi2,sse2"
#else
#define VX_INFLATE_BMI2_TARGET "bmi2"
#endif
// The bit buffer width Inflate uses (the VX_INFLATE_WORD build option sets
// it): by default the processor's word.
#ifndef VX_INFLATE_WORD_BITS
#if UINTPTR_MAX > 0xFFFFFFFFu
#define VX_INFLATE_WORD_BITS 64
#else
#define VX_INFLATE_WORD_BITS 32
#endif
#endif
static_assert(VX_INFLATE_WORD_BITS == 32 || VX_INFLATE_WORD_BITS == 64,
              "VX_INFLATE_WORD_BITS must be 32 or 64");

namespace vx {

namespace {

// --- Sizes ------------------------------------------------------------------

constexpr size_t kInputBufferSize = 16384;
// Output leaves in pieces of kPieceSize: the oldest piece is written once
// the output not yet written reaches the write point, so at least the
// largest distance (32 KiB, or 64 KiB for deflate64) stays behind.
constexpr size_t kPieceSize = 32768;
constexpr size_t kDeflateWritePoint = 65536;
constexpr size_t kDeflate64WritePoint = 98304;
// Decoding runs through a buffer several windows long, so the kept history
// is moved back to its start only now and then rather than at every piece.
constexpr size_t kOutputBufferSize = 262144;
// The longest match: deflate64's code 285, 3 + 16 extra bits (258 in deflate).
constexpr uint32_t kDeflate64MaxMatch = 65538;
// Word copies may write up to this many bytes past the end of a match.
constexpr size_t kCopySlack = 48;
// The fast loop runs only while this many input bytes are left: enough for
// every refill of one iteration (BitWord::kInputPerIteration).
constexpr size_t kFastInputMargin = 32;

// --- Messages ---------------------------------------------------------------

constexpr char kMsgBlockType[] = "starting new block, but invalid block type [Inflate]";
constexpr char kMsgStoredLength[] =
    "invalid stored block (length and NOT length do not match) [InflateStoredBlock]";
constexpr char kMsgTooManyLiteralCodes[] =
    "count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]";
constexpr char kMsgTooManyDistanceCodes[] =
    "count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]";
constexpr char kMsgCodeLengthSymbol[] =
    "decoded a symbol not between 0 and 18 {ReadLitDistCodeLengths}";
constexpr char kMsgRepeatWithoutLength[] =
    "decoded a repeat of the previous code length, but there is none {ReadLitDistCodeLengths}";
constexpr char kMsgCodeLengthOverrun[] =
    "code length repeat runs past the end of the code lengths {ReadLitDistCodeLengths}";
constexpr char kMsgOversubscribed[] = "code lengths describe an over-subscribed code [BuildTable]";
constexpr char kMsgLengthSymbol[] =
    "decoded an invalid length symbol: greater than 285 [DecodeData]";
constexpr char kMsgDistanceSymbol[] =
    "decoded an invalid distance symbol: greater than 29 [DecodeData]";
constexpr char kMsgUnusedDistanceCode[] = "decoded an unused distance code [DecodeData]";
constexpr char kMsgDistanceTooFar[] =
    "decoded a distance reaching before the start of the output [DecodeData]";
constexpr char kMsgNoDataPrefix[] = "no more compressed data in stream ";
constexpr char kOpReadBit[] = "[TAbDfInBitStream.ReadBit]";
constexpr char kOpReadBits[] = "[TAbDfInBitStream.ReadBits]";
constexpr char kOpDiscardBits[] = "[TAbDfInBitStream.DiscardBits]";
constexpr char kOpReadBuffer[] = "[TAbDfInBitStream.ReadBuffer]";

// The one way corrupt input leaves the decoder; Inflate wraps it in
// EAbInflateError.
[[noreturn]] void Corrupt(const char* message) {
  throw EAbInternalInflateError(message);
}
[[noreturn]] void OutOfData(const char* operation) {
  throw EAbInternalInflateError(std::string(kMsgNoDataPrefix) + operation);
}

// --- Decode table entries ---------------------------------------------------
//
//   bits 0-7   bits to consume for this entry: codeword (at this table level)
//              plus extra bits; for a subtable pointer the main index width
//   bits 8-11  codeword bits at this level: where the extra bits start; for a
//              subtable pointer, the subtable's index width
//   bits 12-15 flags
//   bits 16-31 literal byte, length base, distance base or subtable start
//   bit 31     in the literal/length table: a literal (a sign test)
//
// An entry with kExceptional and no other flag is an unused code.
constexpr uint32_t kLiteral = 0x80000000;
constexpr uint32_t kExceptional = 0x2000;
constexpr uint32_t kSubtable = 0x4000;
constexpr uint32_t kEndOfBlock = 0x8000;
constexpr uint32_t kUnused = kExceptional;
// Deflate64's length code 285: with its 16 extra bits it may take more bits
// than a 32-bit refill guarantees, so the fast loops take it apart.
constexpr uint32_t kLongLength = kExceptional | 0x1000;
constexpr uint32_t kLongLengthExtraBits = 16;

constexpr int kLitLenRootBits = 11;
constexpr int kDistRootBits = 8;
constexpr int kPrecodeBits = 7;
constexpr int kMaxCodeBits = 15;
constexpr int kNumLitLenSymbols = 288;
constexpr int kNumDistSymbols = 32;
constexpr int kNumPrecodeSymbols = 19;
// Each codeword longer than the root width belongs to one subtable of at
// most 2^(15 - root) entries, so this bounds the space for any code.
constexpr size_t kLitLenTableSize =
    (size_t{1} << kLitLenRootBits) +
    kNumLitLenSymbols * (size_t{1} << (kMaxCodeBits - kLitLenRootBits));
constexpr size_t kDistTableSize =
    (size_t{1} << kDistRootBits) + kNumDistSymbols * (size_t{1} << (kMaxCodeBits - kDistRootBits));
constexpr size_t kPrecodeTableSize = size_t{1} << kPrecodeBits;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                    17,   25,   33,   49,    65,    97,    129,   193,
                                    257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                    4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kPrecodeOrder[kNumPrecodeSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

// What each symbol means, before the codeword length is added (see
// EntryFor): value and flags, with the extra-bit count in bits 0-7.
struct SymbolMeanings {
  uint32_t litlen[kNumLitLenSymbols];
  uint32_t dist[kNumDistSymbols];
  uint32_t precode[kNumPrecodeSymbols];
};

constexpr SymbolMeanings MakeMeanings(bool deflate64) {
  SymbolMeanings m{};
  for (uint32_t s = 0; s < 256; ++s) m.litlen[s] = kLiteral | s << 16;
  m.litlen[256] = kExceptional | kEndOfBlock;
  for (uint32_t s = 257; s <= 285; ++s) {
    m.litlen[s] = uint32_t{kLengthBase[s - 257]} << 16 | kLengthExtra[s - 257];
  }
  if (deflate64) m.litlen[285] = kLongLength | uint32_t{3} << 16 | kLongLengthExtraBits;
  m.litlen[286] = m.litlen[287] = kUnused;
  for (uint32_t s = 0; s < 32; ++s) {
    m.dist[s] = (s < 30 || deflate64) ? (uint32_t{kDistBase[s]} << 16 | kDistExtra[s]) : kUnused;
  }
  for (uint32_t s = 0; s < kNumPrecodeSymbols; ++s) m.precode[s] = s << 16;
  return m;
}

constexpr SymbolMeanings kDeflateMeanings = MakeMeanings(false);
constexpr SymbolMeanings kDeflate64Meanings = MakeMeanings(true);

// A symbol that has a codeword but no meaning (286 and 287, and distance
// codes 30 and 31 outside deflate64) keeps its codeword length, so a
// truncated stream is still reported as truncated rather than corrupt.
constexpr uint32_t EntryFor(uint32_t meaning, uint32_t code_bits) {
  return meaning + code_bits + (code_bits << 8);
}

constexpr std::array<uint8_t, 256> MakeByteReversal() {
  std::array<uint8_t, 256> r{};
  for (int i = 0; i < 256; ++i) {
    int v = 0;
    for (int b = 0; b < 8; ++b) v |= ((i >> b) & 1) << (7 - b);
    r[i] = static_cast<uint8_t>(v);
  }
  return r;
}
constexpr std::array<uint8_t, 256> kByteReversal = MakeByteReversal();

// Huffman codes are defined most significant bit first, the bit reader
// delivers bits least significant first: index the tables by reversed codes.
inline uint32_t ReverseCode(uint32_t code, int length) {
  const uint32_t r16 =
      uint32_t{kByteReversal[code & 0xFF]} << 8 | kByteReversal[(code >> 8) & 0xFF];
  return r16 >> (16 - length);
}

// Builds the decode table of the canonical code with the given lengths
// (each 0..15). Codes that leave room unused (incomplete) are accepted; the
// unused entries decode as kUnused and are reported when met. A code that
// claims more room than exists cannot be decoded unambiguously: rejected.
void BuildTable(const uint8_t* lengths, int num_symbols, const uint32_t* meanings, int root_bits,
                uint32_t* table, size_t capacity) {
  // Counting and sorting run over two halves of the symbols at once: each
  // step increments a counter in memory, and runs of equal lengths would
  // otherwise chain every step to the one before.
  const int half = num_symbols / 2;
  uint32_t count_lo[kMaxCodeBits + 1] = {};
  uint32_t count_hi[kMaxCodeBits + 1] = {};
  for (int s = 0; s < half; ++s) {
    count_lo[lengths[s]]++;
    count_hi[lengths[half + s]]++;
  }
  if (num_symbols & 1) count_hi[lengths[num_symbols - 1]]++;
  uint32_t count[kMaxCodeBits + 1];
  for (int len = 0; len <= kMaxCodeBits; ++len) count[len] = count_lo[len] + count_hi[len];

  int32_t room = 1;
  int max_length = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    room = (room << 1) - static_cast<int32_t>(count[len]);
    if (room < 0) Corrupt(kMsgOversubscribed);
    if (count[len]) max_length = len;
  }

  // Symbols sorted by code length, then by value: canonical code order.
  // Unused symbols (length 0) sort first and are skipped.
  uint32_t next_lo[kMaxCodeBits + 1];
  uint32_t next_hi[kMaxCodeBits + 1];
  uint32_t start = 0;
  for (int len = 0; len <= kMaxCodeBits; ++len) {
    next_lo[len] = start;
    next_hi[len] = start + count_lo[len];
    start += count[len];
  }
  uint16_t sorted[kNumLitLenSymbols];
  for (int s = 0; s < half; ++s) {
    sorted[next_lo[lengths[s]]++] = static_cast<uint16_t>(s);
    sorted[next_hi[lengths[half + s]]++] = static_cast<uint16_t>(half + s);
  }
  if (num_symbols & 1)
    sorted[next_hi[lengths[num_symbols - 1]]++] = static_cast<uint16_t>(num_symbols - 1);

  // Codes up to the root width are placed once each in a table of 2^len
  // entries, which is doubled (copied onto its upper half) before the next
  // length: so every code also fills the entries for all bit patterns that
  // may follow it, without a write per entry.
  const uint32_t root_size = uint32_t{1} << root_bits;
  uint32_t filled = 2;
  table[0] = table[1] = kUnused;
  auto grow_to = [&](uint32_t size) {
    for (; filled < size; filled <<= 1)
      std::memcpy(table + filled, table, filled * sizeof(uint32_t));
  };

  uint32_t remaining[kMaxCodeBits + 1];
  std::copy(count, count + kMaxCodeBits + 1, remaining);
  uint32_t code = 0;
  size_t index = count[0];
  size_t next_subtable = root_size;
  uint32_t current_prefix = ~0u;
  uint32_t sub_start = 0;
  int sub_bits = 0;
  for (int len = 1; len <= max_length; ++len, code <<= 1) {
    grow_to(uint32_t{1} << std::min(len, root_bits));
    for (uint32_t k = 0; k < count[len]; ++k, ++code) {
      const uint16_t symbol = sorted[index++];
      const uint32_t reversed = ReverseCode(code, len);
      if (len <= root_bits) {
        table[reversed] = EntryFor(meanings[symbol], static_cast<uint32_t>(len));
      } else {
        const uint32_t prefix = reversed & (root_size - 1);
        if (prefix != current_prefix) {
          // A new subtable, wide enough for every remaining code that shares
          // this prefix: grow while the codes of the next length still fit.
          sub_bits = len - root_bits;
          int32_t left = int32_t{1} << sub_bits;
          while (sub_bits + root_bits < max_length) {
            left -= static_cast<int32_t>(remaining[sub_bits + root_bits]);
            if (left <= 0) break;
            ++sub_bits;
            left <<= 1;
          }
          if (next_subtable + (size_t{1} << sub_bits) > capacity) {
            throw EAbInternalInflateError("decode table too small [BuildTable]");
          }
          current_prefix = prefix;
          sub_start = static_cast<uint32_t>(next_subtable);
          next_subtable += size_t{1} << sub_bits;
          std::fill(table + sub_start, table + next_subtable, kUnused);
          table[prefix] = kExceptional | kSubtable | static_cast<uint32_t>(root_bits) |
                          static_cast<uint32_t>(sub_bits) << 8 | sub_start << 16;
        }
        const int sub_len = len - root_bits;
        const uint32_t entry = EntryFor(meanings[symbol], static_cast<uint32_t>(sub_len));
        for (uint32_t i = reversed >> root_bits; i < (uint32_t{1} << sub_bits);
             i += uint32_t{1} << sub_len) {
          table[sub_start + i] = entry;
        }
      }
      remaining[len]--;
    }
  }
  grow_to(root_size);
}

struct DecodeTables {
  uint32_t litlen[kLitLenTableSize];
  uint32_t dist[kDistTableSize];
};

// The fixed code's tables, built on first use and kept for the whole run.
const DecodeTables& FixedTables(bool deflate64) {
  static const auto build = [](bool d64) {
    auto tables = std::make_unique<DecodeTables>();
    const SymbolMeanings& meanings = d64 ? kDeflate64Meanings : kDeflateMeanings;
    uint8_t lengths[kNumLitLenSymbols];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    BuildTable(lengths, kNumLitLenSymbols, meanings.litlen, kLitLenRootBits, tables->litlen,
               kLitLenTableSize);
    std::fill(lengths, lengths + kNumDistSymbols, 5);
    BuildTable(lengths, kNumDistSymbols, meanings.dist, kDistRootBits, tables->dist,
               kDistTableSize);
    return tables;
  };
  static const std::unique_ptr<DecodeTables> plain_tables = build(false);
  static const std::unique_ptr<DecodeTables> deflate64_tables = build(true);
  return deflate64 ? *deflate64_tables : *plain_tables;
}

// --- Small helpers ----------------------------------------------------------

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;  // little-endian hosts only (x86, x86-64)
}
inline void Store64(uint8_t* p, uint64_t v) {
  std::memcpy(p, &v, 8);
}

constexpr uint64_t LowBits(uint32_t n) {
  return (uint64_t{1} << n) - 1;
}  // n < 64

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
template <typename Word>
inline Word LoadWord(const uint8_t* p) {
  if constexpr (sizeof(Word) == 8) {
    return Load64(p);
  } else {
    return Load32(p);
  }
}
template <typename Word>
constexpr Word LowBitsOf(uint32_t n) {
  return static_cast<Word>((Word{1} << n) - 1);
}  // n < the word's bits

// BZHI (BMI2): the bits of `v` below `index`, in one instruction; the
// processor reads the index from its low byte. Compilers do not find it
// themselves where the index is the low byte of a decode table entry.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define VX_INFLATE_BZHI32 1
inline uint32_t Bzhi(uint32_t v, uint32_t index) {
  uint32_t r;
  __asm__("bzhil %2, %1, %0" : "=r"(r) : "r"(v), "r"(index));
  return r;
}
#else
#define VX_INFLATE_BZHI32 0
#endif
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define VX_INFLATE_BZHI64 1
inline uint64_t Bzhi(uint64_t v, uint32_t index) {
  uint64_t r;
  __asm__("bzhiq %2, %1, %0" : "=r"(r) : "r"(v), "r"(uint64_t{index}));
  return r;
}
#else
#define VX_INFLATE_BZHI64 0
#endif

// --- The fast loop's bit budget ---------------------------------------------
//
// A refill ORs one word of input over the bits above the count and advances
// by the whole bytes that fitted, so it leaves between kRefillGuarantee and
// kBits - 1 bits: at least 56 in a 64-bit word, 24 in a 32-bit one. Between
// refills the fast loop takes at most these (deflate64's code 285 is taken
// apart, see kLongLength; its other codes have deflate's extra bits):
constexpr uint32_t kMaxLengthExtra = 5;
constexpr uint32_t kMaxDeflateDistanceExtra = 13;
constexpr uint32_t kMaxDistanceExtra = 14;  // deflate64's codes 30 and 31
// A length from the main table, and one from a subtable after its root bits.
constexpr uint32_t kMaxMainLengthBits = kLitLenRootBits + kMaxLengthExtra;
constexpr uint32_t kMaxSubLengthBits = kMaxCodeBits - kLitLenRootBits + kMaxLengthExtra;
// The same for distances.
constexpr uint32_t kMaxMainDistanceBits = kDistRootBits + kMaxDistanceExtra;
constexpr uint32_t kMaxSubDistanceBits = kMaxCodeBits - kDistRootBits + kMaxDistanceExtra;

template <typename Word>
struct BitWord {
  static constexpr bool kWide = sizeof(Word) == 8;
  static constexpr uint32_t kBits = 8 * sizeof(Word);
  static constexpr uint32_t kRefillGuarantee = kBits - 8;
  // Bytes a refill advances at most; it reads sizeof(Word).
  static constexpr uint32_t kRefillAdvance = sizeof(Word) - 1;
  // Refills in one iteration at most. 64-bit: after literals, and twice in
  // a deflate64 match. 32-bit: after each of two literals (a match then
  // follows at most the first), for a length from a subtable, inside code
  // 285, after the distance lookup, for a distance from a subtable, and
  // after the distance.
  static constexpr uint32_t kRefillsPerIteration = kWide ? 3 : 6;
  static constexpr size_t kInputPerIteration = kRefillsPerIteration * kRefillAdvance + sizeof(Word);
  static_assert(kInputPerIteration <= kFastInputMargin);
  // Whether BZHI works on the word here.
  static constexpr bool kHasBzhi = kWide ? VX_INFLATE_BZHI64 : VX_INFLATE_BZHI32;
};

// The steps the fast loop takes between refills, word by word.
constexpr uint32_t kWideRefill = BitWord<uint64_t>::kRefillGuarantee;
constexpr uint32_t kNarrowRefill = BitWord<uint32_t>::kRefillGuarantee;
// 64-bit: three main-table literals and the next lookup;
static_assert(4 * kLitLenRootBits <= kWideRefill);
// a literal from a subtable and the next lookup;
static_assert(kMaxCodeBits + kLitLenRootBits <= kWideRefill);
// in deflate a whole length and distance;
static_assert(kMaxCodeBits + kMaxLengthExtra + kMaxCodeBits + kMaxDeflateDistanceExtra <=
              kWideRefill);
// in deflate64 a length (code 285 the longest) and the distance lookup,
// then after a refill the distance and the next lookup.
static_assert(kMaxCodeBits + kLongLengthExtraBits + kDistRootBits <= kWideRefill);
static_assert(kMaxCodeBits + kMaxDistanceExtra + kLitLenRootBits <= kWideRefill);
// 32-bit: a main-table literal and the lookup of the next symbol, between
// refills;
static_assert(2 * kLitLenRootBits <= kNarrowRefill);
// a main-table length and its distance lookup;
static_assert(kMaxMainLengthBits + kDistRootBits <= kNarrowRefill);
// a subtable's root bits and the subtable lookup, then after a refill its
// length and the distance lookup;
static_assert(kMaxCodeBits <= kNarrowRefill);
static_assert(kMaxSubLengthBits + kDistRootBits <= kNarrowRefill);
// code 285's codeword, then after a refill its extra bits and the distance
// lookup;
static_assert(kLongLengthExtraBits + kDistRootBits <= kNarrowRefill);
// a distance from the main table, or from a subtable after a refill that
// follows its root bits.
static_assert(kMaxMainDistanceBits <= kNarrowRefill && kMaxSubDistanceBits <= kNarrowRefill);

// Copies a match of `length` bytes from `distance` bytes back. May write up
// to kCopySlack bytes past out + length; the caller guarantees the room and
// that distance does not reach before the window.
inline void CopyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* src = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 8) {
    // Each word reads bytes written at least 8 bytes earlier. Five words
    // without a test cover most matches with one predictable branch.
    Store64(out, Load64(src));
    Store64(out + 8, Load64(src + 8));
    Store64(out + 16, Load64(src + 16));
    Store64(out + 24, Load64(src + 24));
    Store64(out + 32, Load64(src + 32));
    if (length > 40) {
      out += 40;
      src += 40;
      do {
        Store64(out, Load64(src));
        Store64(out + 8, Load64(src + 8));
        out += 16;
        src += 16;
        // Keeps the compiler from turning this into a vector loop with
        // overlap checks: more code and registers in the decoder's hot
        // loop, for the rarer long matches.
        VX_OPAQUE(out);
      } while (out < end);
    }
  } else if (distance == 1) {
    const uint64_t v = uint64_t{0x0101010101010101} * *src;
    do {
      Store64(out, v);
      Store64(out + 8, v);
      out += 16;
    } while (out < end);
  } else {
    // Write the first 8 bytes one at a time; from then on the data repeats
    // with a period that is a multiple of the distance and at least 8.
    for (int i = 0; i < 8; ++i) out[i] = src[i];
    const uint32_t period = distance * ((8 + distance - 1) / distance);
    out += 8;
    while (out < end) {
      Store64(out, Load64(out - period));
      out += 8;
    }
  }
}

// --- Buffers ----------------------------------------------------------------

// The input buffer, the window (sized for deflate64) and the dynamic tables:
// about 230 KB. Fresh memory for every member costs page faults and zeroing
// that show up on archives of many small members, so each thread keeps one
// set and lends it to one call at a time; a nested call (from a progress
// callback) finds it lent out and allocates its own.
struct Workspace {
  static constexpr size_t kInputSize = kInputBufferSize + kFastInputMargin;
  static constexpr size_t kWindowSize = kOutputBufferSize + kDeflate64MaxMatch + kCopySlack;
  std::unique_ptr<uint8_t[]> input{new uint8_t[kInputSize]};
  std::unique_ptr<uint8_t[]> window{new uint8_t[kWindowSize]};
  std::unique_ptr<DecodeTables> tables{new DecodeTables};
};

thread_local std::unique_ptr<Workspace> t_spare_workspace;

class LentWorkspace {
 public:
  LentWorkspace()
      : ws_(t_spare_workspace ? std::move(t_spare_workspace) : std::make_unique<Workspace>()) {}
  ~LentWorkspace() {
    if (!t_spare_workspace) t_spare_workspace = std::move(ws_);
  }
  LentWorkspace(const LentWorkspace&) = delete;
  LentWorkspace& operator=(const LentWorkspace&) = delete;
  Workspace& operator*() { return *ws_; }

 private:
  std::unique_ptr<Workspace> ws_;
};

// --- The decoder ------------------------------------------------------------

class Inflater {
 public:
  Inflater(TStream& source, TStream& dest, const TAbDeflateHelper& options, int64_t stream_size,
           bool progress, InflateWord word, Workspace& workspace)
      : source_(source),
        dest_(dest),
        deflate64_((options.options & TAbDeflateHelper::kOptionDeflate64) != 0),
        adler_((options.options & TAbDeflateHelper::kOptionUseAdler32) != 0),
        test_only_((options.options & TAbDeflateHelper::kOptionTestOnly) != 0),
        part_size_(options.part_size),
        stream_size_(stream_size),
        on_progress_(progress ? &options.OnProgress : nullptr),
        write_point_(deflate64_ ? kDeflate64WritePoint : kDeflateWritePoint),
        bmi2_(HasBmi2()),
        word32_(word == InflateWord::k32),
        checksum_(adler_ ? 1 : 0) {
    input_ = workspace.input.get();
    in_ = in_end_ = input_;
    window_start_ = unwritten_ = out_ = workspace.window.get();
    dynamic_ = workspace.tables.get();
    UpdateOutputLimit();
  }

  // Decodes blocks until the final one, or until the part size is reached.
  void Run() {
    bool final_block = false;
    while (!final_block && !part_done_) {
      final_block = ReadBits(1, kOpReadBit) != 0;
      switch (ReadBits(2, kOpReadBits)) {
        case 0:
          StoredBlock();
          break;
        case 1:
          if (deflate64_) {
            HuffmanBlock<true>(FixedTables(true));
          } else {
            HuffmanBlock<false>(FixedTables(false));
          }
          break;
        case 2:
          DynamicBlock();
          break;
        default:
          Corrupt(kMsgBlockType);
      }
    }
  }

  // Writes what is not written yet (up to the part size) and returns the
  // finished check value.
  uint32_t Flush() {
    size_t size = static_cast<size_t>(out_ - unwritten_);
    if (part_size_ > 0) {
      const int64_t allowed = part_size_ - produced_;
      size = static_cast<size_t>(std::clamp<int64_t>(allowed, 0, static_cast<int64_t>(size)));
    }
    Emit(unwritten_, size);
    unwritten_ += size;
    return checksum_;
  }

  // Gives back the input read but not used: whole bytes still in the bit
  // buffer and what is left in the input buffer.
  void RepositionSource() {
    const int64_t unused = (in_end_ - in_) + bitcount_ / 8;
    if (unused > 0) source_.Seek(-unused, soCurrent);
    consumed_ = bytes_read_ - unused;
  }

  int64_t Produced() const { return produced_; }
  int64_t Consumed() const { return consumed_; }
  bool PartDone() const { return part_done_; }

 private:
  static bool HasBmi2() {
#if VX_INFLATE_BMI2
    static const bool has = __builtin_cpu_supports("bmi2");
    return has;
#else
    return false;
#endif
  }

  // --- Input, the careful way.
  //
  // Invariant of the bit buffer: the bits above bitcount_ are either zero or
  // the true next input bits (a word load may run ahead of the count, never
  // past the data). So a peek past the end of the data sees zeros, and
  // taking them is the error.
  //
  // This path keeps 64 bits whatever the fast loop's word: it runs in block
  // headers and near the end of the input buffer, too rarely for the width
  // to show. A 32-bit fast loop takes over once the count fits its word.

  // Clears the bits above the count: needed before input is taken other
  // than through the bit buffer (stored blocks), harmless elsewhere.
  void EnterCareful() {
    bitbuf_ &= bitcount_ >= 64 ? ~uint64_t{0} : LowBits(bitcount_);
  }

  bool RefillInput() {
    if (source_done_) return false;
    size_t got = 0;
    while (got < kInputBufferSize) {
      const int64_t n = source_.Read(input_ + got, static_cast<int64_t>(kInputBufferSize - got));
      if (n <= 0) {
        source_done_ = true;
        break;
      }
      got += static_cast<size_t>(n);
    }
    in_ = input_;
    in_end_ = in_ + got;
    if (got == 0) return false;
    bytes_read_ += static_cast<int64_t>(got);
    ReportProgress();
    return true;
  }

  void ReportProgress() {
    if (!on_progress_) return;
    // The count is capped at the size, so the value never exceeds 100.
    const int64_t count = std::min(bytes_read_, stream_size_);
    // A user abort from the callback stops decoding like its own abort does.
    // Only the callback's: the same abort raised by the source (a disk
    // request refused while reading) must pass through to the caller.
    try {
      (*on_progress_)(
          RoundedPercent(static_cast<uint64_t>(count), static_cast<uint64_t>(stream_size_)));
    } catch (const EAbUserAbort&) {
      throw EAbAbortProgress();
    }
  }

  // Loads whole bytes until `n` bits (n <= 56) are buffered or the data ends.
  void EnsureBits(uint32_t n) {
    while (bitcount_ < n) {
      if (in_ == in_end_ && !RefillInput()) return;
      bitbuf_ |= uint64_t{*in_++} << bitcount_;
      bitcount_ += 8;
    }
  }

  void Consume(uint32_t n, const char* operation) {
    if (n > bitcount_) OutOfData(operation);
    bitbuf_ >>= n;
    bitcount_ -= n;
  }

  uint32_t ReadBits(uint32_t n, const char* operation) {
    EnterCareful();
    EnsureBits(n);
    const uint32_t value = static_cast<uint32_t>(bitbuf_ & LowBits(n));
    Consume(n, operation);
    return value;
  }

  // Looks up the next symbol; consumes a subtable's root bits, not the
  // symbol's own bits.
  uint32_t LookupCareful(const uint32_t* table, int root_bits) {
    uint32_t entry = table[bitbuf_ & LowBits(static_cast<uint32_t>(root_bits))];
    if (entry & kSubtable) {
      Consume(entry & 0xFF, kOpDiscardBits);
      entry = table[(entry >> 16) + (bitbuf_ & LowBits((entry >> 8) & 0xF))];
    }
    return entry;
  }

  // Takes an entry's codeword and extra bits; returns value plus extras.
  uint32_t TakeCareful(uint32_t entry) {
    const uint32_t total = entry & 0xFF;
    if (total > bitcount_) OutOfData(kOpDiscardBits);
    const uint32_t extra =
        static_cast<uint32_t>((bitbuf_ & LowBits(total)) >> ((entry >> 8) & 0xF));
    bitbuf_ >>= total;
    bitcount_ -= total;
    return (entry >> 16) + extra;
  }

  // --- Output.

  void Emit(const uint8_t* data, size_t size) {
    if (size == 0) return;
    checksum_ = adler_ ? Adler32Update(checksum_, data, size) : Crc32Update(checksum_, data, size);
    if (!test_only_) dest_.WriteBuffer(data, static_cast<int64_t>(size));
    produced_ += static_cast<int64_t>(size);
  }

  // The output position at which decoding must stop to write a piece, to
  // move the history back, or because the part size is reached. Every
  // decoding step starts below it, so a step writes at most the longest
  // match plus kCopySlack beyond it, which the buffer has room for.
  void UpdateOutputLimit() {
    uint8_t* limit = std::min(unwritten_ + write_point_, window_start_ + kOutputBufferSize);
    if (part_size_ > 0) {
      const int64_t room = part_size_ - produced_;  // counted from unwritten_
      if (room < limit - unwritten_) limit = unwritten_ + std::max<int64_t>(room, 0);
    }
    out_limit_ = limit;
  }

  // Called whenever out_ reached out_limit_.
  void HandleOutputLimit() {
    if (part_size_ > 0 && produced_ + (out_ - unwritten_) >= part_size_) {
      part_done_ = true;
      return;
    }
    // One long deflate64 match can pass the write point by more than a
    // piece; write as many pieces as needed.
    while (out_ - unwritten_ >= static_cast<ptrdiff_t>(write_point_)) {
      Emit(unwritten_, kPieceSize);
      unwritten_ += kPieceSize;
    }
    if (out_ >= window_start_ + kOutputBufferSize) {
      // What is not written yet is at least the largest distance: keep it.
      const size_t kept = static_cast<size_t>(out_ - unwritten_);
      std::memmove(window_start_, unwritten_, kept);
      unwritten_ = window_start_;
      out_ = window_start_ + kept;
    }
    UpdateOutputLimit();
  }

  // --- Blocks.

  void StoredBlock() {
    EnterCareful();
    Consume(bitcount_ % 8, kOpReadBits);
    const uint32_t length = ReadBits(16, kOpReadBits);
    const uint32_t nlength = ReadBits(16, kOpReadBits);
    if (nlength != (~length & 0xFFFF)) Corrupt(kMsgStoredLength);

    uint32_t left = length;
    // Whole bytes already in the bit buffer come first.
    while (left > 0 && bitcount_ >= 8) {
      if (out_ >= out_limit_) {
        HandleOutputLimit();
        if (part_done_) return;
      }
      *out_++ = static_cast<uint8_t>(bitbuf_);
      bitbuf_ >>= 8;
      bitcount_ -= 8;
      --left;
    }
    while (left > 0) {
      if (out_ >= out_limit_) {
        HandleOutputLimit();
        if (part_done_) return;
        continue;
      }
      if (in_ == in_end_ && !RefillInput()) OutOfData(kOpReadBuffer);
      const size_t n = std::min<size_t>(
          {left, static_cast<size_t>(in_end_ - in_), static_cast<size_t>(out_limit_ - out_)});
      std::memcpy(out_, in_, n);
      out_ += n;
      in_ += n;
      left -= static_cast<uint32_t>(n);
    }
    if (out_ >= out_limit_) HandleOutputLimit();
  }

  void DynamicBlock() {
    const uint32_t hlit = ReadBits(5, kOpReadBits) + 257;
    const uint32_t hdist = ReadBits(5, kOpReadBits) + 1;
    const uint32_t hclen = ReadBits(4, kOpReadBits) + 4;
    if (hlit > 286) Corrupt(kMsgTooManyLiteralCodes);
    if (!deflate64_ && hdist > 30) Corrupt(kMsgTooManyDistanceCodes);

    uint8_t precode_lengths[kNumPrecodeSymbols] = {};
    for (uint32_t i = 0; i < hclen; ++i) {
      precode_lengths[kPrecodeOrder[i]] = static_cast<uint8_t>(ReadBits(3, kOpReadBits));
    }
    const SymbolMeanings& meanings = deflate64_ ? kDeflate64Meanings : kDeflateMeanings;
    uint32_t precode[kPrecodeTableSize];
    BuildTable(precode_lengths, kNumPrecodeSymbols, meanings.precode, kPrecodeBits, precode,
               kPrecodeTableSize);

    // Literal/length and distance code lengths in one run, as repeats may
    // cross from one into the other.
    uint8_t lengths[kNumLitLenSymbols + kNumDistSymbols] = {};
    const uint32_t total = hlit + hdist;
    uint32_t i = 0;
    EnterCareful();
    // The bit buffer in locals: the stores into `lengths` (bytes, which may
    // alias anything) would otherwise force it through memory each time.
    uint64_t bitbuf = bitbuf_;
    uint32_t bitcount = bitcount_;
    const uint8_t* in = in_;
    auto take = [&](uint32_t n) {
      if (n > bitcount) OutOfData(kOpDiscardBits);
      bitbuf >>= n;
      bitcount -= n;
    };
    while (i < total) {
      // Headers sit mostly far from the end of the input buffer: take 8
      // bytes at a time there, as the fast loop does.
      if (in_end_ - in >= 8) {
        bitbuf |= Load64(in) << bitcount;
        in += (63 - bitcount) >> 3;
        bitcount |= 56;
      } else {
        bitbuf_ = bitbuf;
        bitcount_ = bitcount;
        in_ = in;
        EnsureBits(kPrecodeBits + 7);
        bitbuf = bitbuf_;
        bitcount = bitcount_;
        in = in_;
      }
      const uint32_t entry = precode[bitbuf & LowBits(kPrecodeBits)];
      if (entry & kExceptional) Corrupt(kMsgCodeLengthSymbol);
      const uint32_t symbol = entry >> 16;
      take((entry >> 8) & 0xF);
      if (symbol < 16) {
        lengths[i++] = static_cast<uint8_t>(symbol);
        continue;
      }
      uint32_t repeat;
      uint8_t value = 0;
      if (symbol == 16) {
        if (i == 0) Corrupt(kMsgRepeatWithoutLength);
        value = lengths[i - 1];
        repeat = 3 + static_cast<uint32_t>(bitbuf & 3);
        take(2);
      } else if (symbol == 17) {
        repeat = 3 + static_cast<uint32_t>(bitbuf & 7);
        take(3);
      } else {
        repeat = 11 + static_cast<uint32_t>(bitbuf & 0x7F);
        take(7);
      }
      if (repeat > total - i) Corrupt(kMsgCodeLengthOverrun);
      std::fill(lengths + i, lengths + i + repeat, value);
      i += repeat;
    }
    bitbuf_ = bitbuf;
    bitcount_ = bitcount;
    in_ = in;

    BuildTable(lengths, static_cast<int>(hlit), meanings.litlen, kLitLenRootBits, dynamic_->litlen,
               kLitLenTableSize);
    BuildTable(lengths + hlit, static_cast<int>(hdist), meanings.dist, kDistRootBits,
               dynamic_->dist, kDistTableSize);
    if (deflate64_) {
      HuffmanBlock<true>(*dynamic_);
    } else {
      HuffmanBlock<false>(*dynamic_);
    }
  }

  [[noreturn]] void BadDistance() const {
    Corrupt(deflate64_ ? kMsgUnusedDistanceCode : kMsgDistanceSymbol);
  }

  // Decodes one block's symbols. Returns at its end-of-block symbol, or
  // when the part size is reached.
  template <bool kDeflate64>
  void HuffmanBlock(const DecodeTables& tables) {
    for (;;) {
      const bool end_of_block = word32_ ? FastLoopFor<uint32_t, kDeflate64>(tables)
                                        : FastLoopFor<uint64_t, kDeflate64>(tables);
      if (end_of_block) return;
      if (out_ >= out_limit_) {
        HandleOutputLimit();
        if (part_done_) return;
        continue;
      }
      if (CarefulSymbol(tables)) return;
    }
  }

  template <typename Word, bool kDeflate64>
  VX_ALWAYS_INLINE bool FastLoopFor(const DecodeTables& tables) {
    // Once the window holds the largest distance, no distance can reach
    // before it, and the fast loop can skip that test.
    const bool check = out_ - window_start_ < (kDeflate64 ? 65536 : 32768);
    return bmi2_ ? (check ? FastLoopBmi2<Word, kDeflate64, true>(tables)
                          : FastLoopBmi2<Word, kDeflate64, false>(tables))
                 : (check ? FastLoopGeneric<Word, kDeflate64, true>(tables)
                          : FastLoopGeneric<Word, kDeflate64, false>(tables));
  }

  // One symbol, every bit checked. Returns true at the end of the block.
  bool CarefulSymbol(const DecodeTables& tables) {
    EnterCareful();
    EnsureBits(kMaxCodeBits + kLongLengthExtraBits);
    uint32_t entry = LookupCareful(tables.litlen, kLitLenRootBits);
    if (entry & kLiteral) {
      *out_++ = static_cast<uint8_t>(TakeCareful(entry));
      return false;
    }
    if ((entry & kExceptional) && (entry & kLongLength) != kLongLength) {
      if (entry & kEndOfBlock) {
        TakeCareful(entry);
        return true;
      }
      if ((entry & 0xFF) > bitcount_) OutOfData(kOpDiscardBits);
      Corrupt(kMsgLengthSymbol);
    }
    const uint32_t length = TakeCareful(entry);
    EnsureBits(kMaxCodeBits + 14);
    entry = LookupCareful(tables.dist, kDistRootBits);
    if (entry & kExceptional) {
      if ((entry & 0xFF) > bitcount_) OutOfData(kOpDiscardBits);
      BadDistance();
    }
    const uint32_t distance = TakeCareful(entry);
    if (distance > static_cast<size_t>(out_ - window_start_)) Corrupt(kMsgDistanceTooFar);
    CopyMatch(out_, distance, length);
    out_ += length;
    return false;
  }

  // Decodes while the input has kFastInputMargin bytes left and the output
  // is below its limit. Returns true at the end of the block.
  //
  // Bit budget (the sums are checked at BitWord): lookups come before a
  // refill where the bits left allow, taking the refill off the critical
  // path.
  //  - 64-bit word, at least 56 bits after a refill: three literals, then
  //    the next lookup (11 bits left); a whole deflate length/distance pair;
  //    in deflate64 a length and the lookup of its distance, a refill, and a
  //    distance and the next lookup.
  //  - 32-bit word, at least 24 bits after a refill: a main-table literal
  //    and the lookup of the next symbol, then a refill while that lookup is
  //    in flight, so its bits stay at the bottom; after a second literal the
  //    next lookup and again a refill. Or a main-table length and the lookup
  //    of its distance, a refill, the distance, a refill, the next lookup.
  //    Codes from subtables refill after their root bits.
  //  - Deflate64's code 285 (up to 31 bits with its 16 extra bits) is taken
  //    apart in both: its codeword, a refill in the 32-bit word, then the
  //    extra bits as a length entry of their own.
  // Debug builds check each lookup and each consume against the count.
  //
  // Each iteration ends by looking up the next symbol before the match
  // copy, so the table lookup overlaps the copy.
  template <typename Word, bool kDeflate64, bool kCheckDistance>
  bool FastLoopGeneric(const DecodeTables& tables) {
    return FastLoop<Word, kDeflate64, kCheckDistance>(tables);
  }
#if VX_INFLATE_BMI2
  // The same loop compiled for processors with BMI2, whose shifts by a
  // register amount and bit-field extraction shorten each symbol's path.
  template <typename Word, bool kDeflate64, bool kCheckDistance>
  __attribute__((target(VX_INFLATE_BMI2_TARGET))) bool FastLoopBmi2(const DecodeTables& tables) {
    return FastLoop<Word, kDeflate64, kCheckDistance, true>(tables);
  }
#else
  template <typename Word, bool kDeflate64, bool kCheckDistance>
  bool FastLoopBmi2(const DecodeTables& tables) {
    return FastLoop<Word, kDeflate64, kCheckDistance>(tables);
  }
#endif

  template <typename Word, bool kDeflate64, bool kCheckDistance, bool kBmi2 = false>
  VX_ALWAYS_INLINE bool FastLoop(const DecodeTables& tables) {
    using W = BitWord<Word>;
    constexpr bool kWide = W::kWide;
    // The careful path's 64-bit buffer may hold more than a 32-bit word
    // does; it then takes a few more symbols, each at least one bit.
    if (bitcount_ >= W::kBits) return false;
    const uint32_t* const litlen = tables.litlen;
    // One base register for both tables: the distance table follows.
    static_assert(offsetof(DecodeTables, dist) == sizeof(DecodeTables::litlen));
    const uint32_t* const dist = litlen + kLitLenTableSize;
    Word bitbuf = static_cast<Word>(bitbuf_);
    uint32_t bitcount = bitcount_;
    const uint8_t* in = in_;
    const uint8_t* const in_fast_end =
        in_end_ - std::min<ptrdiff_t>(in_end_ - in_, kFastInputMargin);
    uint8_t* out = out_;
    uint8_t* const out_limit = out_limit_;
    uint8_t* const window_start = window_start_;
    bool end_of_block = false;

    // Bits above bitcount are either zero or the true next input bits, so
    // OR-ing a fresh load over them is harmless. Only the low 8 bits of
    // bitcount are meaningful here: consume subtracts whole entries, whose
    // upper bits never borrow from the low byte as long as an entry takes
    // no more bits than are buffered.
    auto bits = [&] { return bitcount & 0xFF; };
    auto refill = [&] {
      bitbuf |= LoadWord<Word>(in) << (bitcount & (W::kBits - 1));
      in += W::kRefillAdvance - ((bitcount >> 3) & W::kRefillAdvance);
      bitcount |= W::kRefillGuarantee;
    };
    // The same with the input word at `in` loaded earlier.
    auto refill_from = [&](Word word) {
      bitbuf |= word << (bitcount & (W::kBits - 1));
      in += W::kRefillAdvance - ((bitcount >> 3) & W::kRefillAdvance);
      bitcount |= W::kRefillGuarantee;
    };
    auto consume = [&](uint32_t entry) {
      assert((entry & 0xFF) <= bits());
      bitbuf >>= static_cast<uint8_t>(entry);
      bitcount -= entry;
    };
    auto is_literal = [](uint32_t entry) { return static_cast<int32_t>(entry) < 0; };
    // The extra bits sit above the codeword within the entry's total. The
    // shift count is used as the processor masks it (bits 8-12 or 8-13 of a
    // length or distance entry hold just the codeword bits). With BMI2, BZHI
    // keeps the low bits, its index taken from the entry's low byte.
    auto value_of = [&](uint32_t entry) {
      Word with_extra;
      if constexpr (kBmi2 && W::kHasBzhi) {
        with_extra = Bzhi(bitbuf, entry);
      } else {
        with_extra = bitbuf & LowBitsOf<Word>(static_cast<uint8_t>(entry));
      }
      return (entry >> 16) + static_cast<uint32_t>(with_extra >> ((entry >> 8) & (W::kBits - 1)));
    };
    constexpr Word kLitLenMask = LowBitsOf<Word>(kLitLenRootBits);
    constexpr Word kDistMask = LowBitsOf<Word>(kDistRootBits);
    auto next_litlen = [&] {
      assert(bits() >= kLitLenRootBits);
      return litlen[bitbuf & kLitLenMask];
    };
    auto next_dist = [&] {
      assert(bits() >= kDistRootBits);
      if constexpr (kWide) {
        return dist[bitbuf & kDistMask];
      } else {
        // Addressed from the literal/length table's base, which i686 keeps
        // anyway, rather than from a second base on the stack.
        return litlen[kLitLenTableSize + (bitbuf & kDistMask)];
      }
    };
    auto write_literal = [&](uint32_t entry) { *out++ = static_cast<uint8_t>(entry >> 16); };

    // One test for both bounds: either difference reaching zero or below
    // makes the OR negative.
    auto within_bounds = [&] { return (((in_fast_end - in) - 1) | ((out_limit - out) - 1)) >= 0; };
    if (!within_bounds()) return false;
    refill();
    uint32_t entry = next_litlen();
    do {
      if (is_literal(entry)) {
        consume(entry);
        write_literal(entry);
        entry = next_litlen();
        if constexpr (!kWide) refill();
        if (is_literal(entry)) {
          consume(entry);
          write_literal(entry);
          if constexpr (kWide) {
            entry = next_litlen();
            if (is_literal(entry)) {
              consume(entry);
              write_literal(entry);
              entry = next_litlen();
              refill();
              continue;
            }
          } else {
            entry = next_litlen();
            refill();
            continue;
          }
        }
        if constexpr (kWide) refill();  // the entry's bits stay at the bottom
      }
      if (entry & kExceptional) {
        if (entry & kSubtable) {
          consume(entry);
          entry = litlen[(entry >> 16) + (bitbuf & LowBitsOf<Word>((entry >> 8) & 0xF))];
          if (is_literal(entry)) {
            consume(entry);
            write_literal(entry);
            if constexpr (kWide) {
              entry = next_litlen();
              refill();
            } else {
              refill();
              entry = next_litlen();
            }
            continue;
          }
          if constexpr (!kWide) refill();
        }
        if (entry & kExceptional) {
          if (entry & kEndOfBlock) {
            consume(entry);
            end_of_block = true;
            break;
          }
          if (!kDeflate64 || (entry & kLongLength) != kLongLength) Corrupt(kMsgLengthSymbol);
          // Code 285 of deflate64: the codeword, then its extra bits as an
          // entry of their own.
          const uint32_t code_bits = (entry >> 8) & 0xF;
          consume(code_bits);
          if constexpr (!kWide) refill();
          entry = (entry & 0xFFFF0000) | kLongLengthExtraBits;
        }
      }
      const uint32_t length = value_of(entry);
      consume(entry);
      entry = next_dist();
      // The 32-bit word refills again after the distance. Its input word is
      // loaded now, while the input pointer is in a register: on i686 the
      // pointer goes to the stack during the distance, and reloading it
      // there would put the stack round trip and the input load on the
      // path to the next lookup.
      [[maybe_unused]] Word ahead = 0;
      if constexpr (kDeflate64 || !kWide) refill();
      if constexpr (!kWide) ahead = LoadWord<Word>(in);
      if (entry & kExceptional) {
        if (entry & kSubtable) {
          consume(entry);
          if constexpr (!kWide) {
            refill();
            ahead = LoadWord<Word>(in);
          }
          entry = dist[(entry >> 16) + (bitbuf & LowBitsOf<Word>((entry >> 8) & 0xF))];
        }
        if (entry & kExceptional) Corrupt(kDeflate64 ? kMsgUnusedDistanceCode : kMsgDistanceSymbol);
      }
      const uint32_t distance = value_of(entry);
      consume(entry);
      if (kCheckDistance && distance > static_cast<size_t>(out - window_start)) {
        Corrupt(kMsgDistanceTooFar);
      }
      if constexpr (kWide && kDeflate64) {
        entry = next_litlen();
        refill();
      } else if constexpr (kWide) {
        refill();
        entry = next_litlen();
      } else {
        refill_from(ahead);
        entry = next_litlen();
      }
      CopyMatch(out, distance, length);
      out += length;
    } while (within_bounds());
    SaveFast(bitbuf, bits(), in, out);
    return end_of_block;
  }

  void SaveFast(uint64_t bitbuf, uint32_t bitcount, const uint8_t* in, uint8_t* out) {
    bitbuf_ = bitbuf;
    bitcount_ = bitcount;
    in_ = in;
    out_ = out;
  }

  TStream& source_;
  TStream& dest_;
  const bool deflate64_;
  const bool adler_;
  const bool test_only_;
  const int64_t part_size_;
  const int64_t stream_size_;
  const std::function<void(int32_t)>* const on_progress_;
  const size_t write_point_;
  const bool bmi2_;
  const bool word32_;  // the fast loop's bit buffer is 32 bits wide

  // Input: a 16 KiB buffer (plus margin) and the bit buffer.
  uint8_t* input_;  // kInputBufferSize + kFastInputMargin bytes
  const uint8_t* in_;
  const uint8_t* in_end_;
  uint64_t bitbuf_ = 0;
  uint32_t bitcount_ = 0;
  bool source_done_ = false;
  int64_t bytes_read_ = 0;
  int64_t consumed_ = 0;

  // Output: [window_start_, out_) is the history distances may reach,
  // [unwritten_, out_) what is not written out yet.
  uint8_t* window_start_;
  uint8_t* unwritten_;
  uint8_t* out_;
  uint8_t* out_limit_;
  int64_t produced_ = 0;  // bytes written out
  bool part_done_ = false;
  uint32_t checksum_;

  DecodeTables* dynamic_;
};

}  // namespace

InflateWord BuildInflateWord() {
  return VX_INFLATE_WORD_BITS == 32 ? InflateWord::k32 : InflateWord::k64;
}

uint32_t Inflate(TStream& source, TStream& dest, TAbDeflateHelper& helper) {
  return InflateWithWord(BuildInflateWord(), source, dest, helper);
}

uint32_t InflateWithWord(InflateWord word, TStream& source, TStream& dest,
                         TAbDeflateHelper& helper) {
  const TAbDeflateHelper options = helper;
  const bool progress = static_cast<bool>(options.OnProgress);
  int64_t stream_size = progress ? options.stream_size : 0;
  if (stream_size == -1) stream_size = source.Size();

  std::optional<TAbDfDecryptStream> decrypted;
  TStream* input = &source;
  if (!options.password.empty()) {
    decrypted.emplace(source, options.check_value, options.password);
    if (!decrypted->IsValid()) throw EAbInflatePasswordError();
    input = &*decrypted;
  }

  LentWorkspace workspace;
  Inflater inflater(*input, dest, options, stream_size, progress && stream_size > 0, word,
                    *workspace);
  uint32_t checksum = 0;
  try {
    inflater.Run();
    checksum = inflater.Flush();
    if (inflater.PartDone()) checksum = 0;
  } catch (const EAbInternalInflateError& e) {
    throw EAbInflateError(e.Message());
  } catch (const EAbAbortProgress&) {
    inflater.Flush();
  }
  inflater.RepositionSource();
  helper.normal_size = inflater.Produced();
  helper.compressed_size = inflater.Consumed();
  return checksum;
}

}  // namespace vx
