// The zstd decoder: Zstandard frames, blocks, Huffman-coded literals and
// FSE-coded sequences, written from the published format description.
//
// Why it is fast:
//  - A compressed block (at most 128 KiB) is decoded straight from the input
//    buffer, so no bit reader ever asks for more input in the middle of a
//    block: every bound is known before decoding starts.
//  - The backward bit reader keeps a 64-bit container refilled with one
//    unaligned load, so one refill pays for a whole sequence (its extra bits
//    and the three state updates) unless its extra bits pass 31. In the
//    sequence loop the reader, the three states and the tables are locals
//    that stay in registers, and the reader counts the bits still at hand,
//    so a read is a subtraction, a shift and (with BMI2) one masking
//    instruction.
//  - The four literal streams are decoded in one interleaved loop (their
//    dependency chains overlap), with one table lookup per literal. There
//    each stream is two registers: a container whose marker bit counts the
//    bits taken, so a symbol costs a shift and a refill pays for five; near
//    the stream starts the careful loop takes over, one symbol at a time.
//  - Sequence decode tables carry each code's base value and extra-bit count
//    beside the FSE transition, so a sequence costs three lookups; the three
//    tables share one array, so one base register serves all three.
//  - Tables are rebuilt for most blocks, so building them is kept short:
//    Huffman cells are placed in one pass over the symbols, sequence cells
//    get their transition and their symbol's values (from a per-symbol
//    list) in one pass, and the predefined sequence tables are built once
//    while nothing replaces them.
//  - The literal and sequence loops are compiled twice, the second time for
//    processors with BMI2, whose shifts by a register amount are one
//    instruction; the choice is made once per process.
//  - Literals and matches are copied in 16-byte (or, for short periods,
//    widened 8-byte) steps that may overrun their end, a match's first 32
//    bytes at once: the output buffer keeps kSlack spare bytes past the
//    largest block, and the literal buffer and the input buffer the same, so
//    the copy loops never test a length byte by byte. The bounds of a block
//    are checked as its sequences are decoded, so executing them checks
//    only whether a match reaches into the ring's previous lap.
//  - Within a window the caches hold (kPrefetchWindow), each sequence is
//    executed as soon as it is decoded. Beyond it, sequences are decoded
//    eight ahead of their execution and each match's source is prefetched
//    as it is decoded, so a match reaching far back does not stall the copy
//    loop on a cache miss.
//  - The output buffer is a ring holding the window and one block, never
//    moved: a block that does not fit before its end starts again at the
//    buffer start, and the rare match reaching back across that wrap takes
//    a separate path. Memory per frame is thus the window (or the declared
//    content size, when smaller) plus one block and 128 bytes, and output
//    leaves for the destination in pieces of kWritePiece.
//
// Corrupt input leaves through Fail() only, with one of the messages below.
#include "archive/zstd.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace vx {

namespace {

// --- Sizes ------------------------------------------------------------------

constexpr uint32_t kFrameMagic = 0xFD2FB528u;
constexpr uint32_t kSkippableMagicMask = 0xFFFFFFF0u;
constexpr uint32_t kSkippableMagic = 0x184D2A50u;
constexpr size_t kMaxBlockSize = 128 * 1024;
// Spare bytes past every buffer end that copies may overrun into.
constexpr size_t kSlack = 64;
// The input buffer holds a whole compressed block and its header, and more.
constexpr size_t kInputCapacity = 512 * 1024;
// Source reads are at most this big; progress is reported after each.
constexpr size_t kReadPiece = 64 * 1024;
// Without a declared content size the output buffer starts this big (or at
// its full size, when smaller) and grows fourfold as the output needs, so a
// frame that names a large window but holds little data takes little memory.
constexpr size_t kFirstBuffer = size_t{1} << 20;
// Beyond this much history matches are decoded ahead and their sources
// prefetched; within it they mostly hit the caches, and the plain loop, with
// fewer instructions per sequence, is faster (measured at 2 and 8 MiB).
constexpr size_t kPrefetchWindow = size_t{8} << 20;
// Decoded output leaves for the destination once this much is pending.
constexpr size_t kWritePiece = 256 * 1024;
constexpr uint64_t kMinWindow = 1u << 10;
constexpr int kMaxHuffmanBits = 11;
constexpr int kMaxWeightLog = 6;
constexpr int kMaxLiteralLengthLog = 9;
constexpr int kMaxMatchLengthLog = 9;
constexpr int kMaxOffsetLog = 8;
constexpr int kMaxLiteralLengthCode = 35;
constexpr int kMaxMatchLengthCode = 52;
constexpr int kMaxOffsetCode = 31;

// --- Messages ---------------------------------------------------------------

constexpr char kMethod[] = "zstd";
constexpr char kMsgTruncated[] = "compressed data ends early";
constexpr char kMsgNoFrame[] = "no zstd frame (unknown magic number)";
constexpr char kMsgEmpty[] = "no zstd frame (no data)";
constexpr char kMsgReservedBit[] = "frame header has its reserved bit set";
constexpr char kMsgDictionary[] = "dictionary required (the frame names a dictionary)";
constexpr char kMsgWindowTooSmall[] = "window size below the minimum";
constexpr char kMsgNoMemory[] = "window does not fit in memory";
constexpr char kMsgBlockType[] = "reserved block type";
constexpr char kMsgBlockSize[] = "block larger than the block size limit";
constexpr char kMsgContentSize[] = "frame content size does not match the declared size";
constexpr char kMsgChecksum[] = "content checksum mismatch";
constexpr char kMsgOutputLimit[] = "more output than the member's declared size";
constexpr char kMsgLiteralsHeader[] = "literals section header runs past the block";
constexpr char kMsgLiteralsSize[] = "literals size invalid";
constexpr char kMsgNoHuffmanTable[] = "treeless literals without an earlier Huffman table";
constexpr char kMsgHuffmanTable[] = "invalid Huffman table description";
constexpr char kMsgHuffmanStream[] = "Huffman-coded literal stream is corrupt";
constexpr char kMsgFseTable[] = "invalid FSE table description";
constexpr char kMsgSequencesHeader[] = "sequences section header invalid";
constexpr char kMsgNoSequenceTable[] = "repeated sequence table without an earlier one";
constexpr char kMsgSequenceStream[] = "sequence bit stream is corrupt";
constexpr char kMsgLiteralsOverrun[] = "sequences use more literals than the block has";
constexpr char kMsgBlockOverrun[] = "sequences produce more than the block size limit";
constexpr char kMsgOffset[] = "match offset reaches before the start of the output";
constexpr char kMsgTrailing[] = "block has bytes after its sequences";

[[noreturn]] void Fail(const std::string& message) {
  throw EAbDecompressError(kMethod, message);
}

// --- Small helpers ----------------------------------------------------------

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define VX_ZSTD_BMI2 1
#else
#define VX_ZSTD_BMI2 0
#endif
#if defined(__GNUC__) || defined(__clang__)
#define VX_ZSTD_INLINE inline __attribute__((always_inline))
#define VX_ZSTD_INLINE_LAMBDA __attribute__((always_inline))
#define VX_ZSTD_NOINLINE __attribute__((noinline))
#define VX_PREFETCH(address) __builtin_prefetch(reinterpret_cast<const void*>(address))
#define VX_LIKELY(x) __builtin_expect(!!(x), 1)
#define VX_UNLIKELY(x) __builtin_expect(!!(x), 0)
inline int HighBit(uint32_t v) {
  return 31 - __builtin_clz(v);
}
inline int CountTrailingZeros(uint64_t v) {  // v != 0
  return __builtin_ctzll(v);
}
#else
#define VX_ZSTD_INLINE inline
#define VX_ZSTD_INLINE_LAMBDA
#define VX_ZSTD_NOINLINE
#define VX_PREFETCH(address) (void)(address)
#define VX_LIKELY(x) (x)
#define VX_UNLIKELY(x) (x)
inline int HighBit(uint32_t v) {
  int n = 0;
  while (v >>= 1) ++n;
  return n;
}
inline int CountTrailingZeros(uint64_t v) {  // v != 0
  int n = 0;
  while (!(v & 1)) {
    v >>= 1;
    ++n;
  }
  return n;
}
#endif

VX_ZSTD_INLINE uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t Load24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16);
}
inline uint32_t Load16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

// The low `n` (at most 63) bits of `v`. With BMI2 that is one instruction,
// which the compiler does not always find on its own inside the sequence
// loop.
template <bool kBmi2>
VX_ZSTD_INLINE uint64_t LowBits(uint64_t v, uint32_t n) {
#if VX_ZSTD_BMI2 && defined(__x86_64__)
  if constexpr (kBmi2) {
    uint64_t r;
    __asm__("bzhi %q2, %1, %0" : "=r"(r) : "rm"(v), "r"(uint64_t{n}));
    return r;
  }
#endif
  return v & ((uint64_t{1} << n) - 1);
}

// Copies at least `n` bytes in 16-byte steps; `dst` and `src` are 16 or more
// apart or in different buffers.
VX_ZSTD_INLINE void WildCopy16(uint8_t* dst, const uint8_t* src, size_t n) {
  uint8_t* const end = dst + n;
  do {
    std::memcpy(dst, src, 16);
    dst += 16;
    src += 16;
  } while (dst < end);
}

// Copies an `n`-byte match from `offset` bytes back, overrunning by at most
// 15 bytes; short periods are widened so 8-byte steps stay correct.
VX_ZSTD_INLINE void CopyMatch(uint8_t* op, size_t offset, size_t n) {
  const uint8_t* match = op - offset;
  if (VX_LIKELY(offset >= 16)) {
    WildCopy16(op, match, n);
    return;
  }
  uint8_t* const end = op + n;
  if (offset < 8) {
    for (int i = 0; i < 8; ++i) op[i] = match[i];
    // A multiple of the period that is at least 8.
    const size_t step = offset * ((8 + offset - 1) / offset);
    op += 8;
    match = op - step;
  }
  while (op < end) {
    std::memcpy(op, match, 8);
    op += 8;
    match += 8;
  }
}

// --- XXH64 ------------------------------------------------------------------

constexpr uint64_t kP1 = 11400714785074694791ull;
constexpr uint64_t kP2 = 14029467366897019727ull;
constexpr uint64_t kP3 = 1609587929392839161ull;
constexpr uint64_t kP4 = 9650029242287828579ull;
constexpr uint64_t kP5 = 2870177450012600261ull;

inline uint64_t Rotl(uint64_t v, int r) {
  return (v << r) | (v >> (64 - r));
}
inline uint64_t Round(uint64_t acc, uint64_t input) {
  acc += input * kP2;
  return Rotl(acc, 31) * kP1;
}
inline uint64_t Merge(uint64_t acc, uint64_t v) {
  acc ^= Round(0, v);
  return acc * kP1 + kP4;
}

// A streaming 64-bit xxHash with seed 0.
class Xxh64 {
 public:
  void Update(const uint8_t* p, size_t n) {
    total_ += n;
    if (held_ > 0) {
      const size_t take = std::min(n, 32 - held_);
      std::memcpy(tail_ + held_, p, take);
      held_ += take;
      p += take;
      n -= take;
      if (held_ < 32) return;
      Stripe(tail_);
      held_ = 0;
    }
    while (n >= 32) {
      Stripe(p);
      p += 32;
      n -= 32;
    }
    if (n > 0) std::memcpy(tail_, p, n);
    held_ = n;
  }

  uint64_t Digest() const {
    uint64_t h;
    if (total_ >= 32) {
      h = Rotl(v_[0], 1) + Rotl(v_[1], 7) + Rotl(v_[2], 12) + Rotl(v_[3], 18);
      for (uint64_t v : v_) h = Merge(h, v);
    } else {
      h = kP5;
    }
    h += total_;
    const uint8_t* p = tail_;
    size_t n = held_;
    for (; n >= 8; p += 8, n -= 8) h = Rotl(h ^ Round(0, Load64(p)), 27) * kP1 + kP4;
    if (n >= 4) {
      h = Rotl(h ^ (uint64_t{Load32(p)} * kP1), 23) * kP2 + kP3;
      p += 4;
      n -= 4;
    }
    for (; n > 0; ++p, --n) h = Rotl(h ^ (*p * kP5), 11) * kP1;
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    h ^= h >> 32;
    return h;
  }

 private:
  void Stripe(const uint8_t* p) {
    v_[0] = Round(v_[0], Load64(p));
    v_[1] = Round(v_[1], Load64(p + 8));
    v_[2] = Round(v_[2], Load64(p + 16));
    v_[3] = Round(v_[3], Load64(p + 24));
  }

  uint64_t v_[4] = {kP1 + kP2, kP2, 0, 0 - kP1};
  uint64_t total_ = 0;
  uint8_t tail_[32] = {};
  size_t held_ = 0;
};

// --- Backward bit reader ------------------------------------------------------

// Reads an FSE or Huffman stream from its last byte towards its first. The
// container's top bits are the next ones; `consumed` counts those taken. Past
// the stream start the reads return garbage and `consumed` exceeds 64, which
// Overflowed() reports; every table lookup stays in range whatever the bits.
struct BackBits {
  const uint8_t* start;
  const uint8_t* p;
  uint64_t bits;
  uint32_t consumed;

  VX_ZSTD_INLINE void Init(const uint8_t* begin, size_t size, const char* message) {
    if (size == 0 || begin[size - 1] == 0) Fail(message);
    start = begin;
    const uint32_t marker = 8 - static_cast<uint32_t>(HighBit(begin[size - 1]));
    if (size >= 8) {
      p = begin + size - 8;
      bits = Load64(p);
      consumed = marker;
    } else {
      p = begin;
      bits = 0;
      // The missing high bytes count as consumed.
      for (size_t i = 0; i < size; ++i) bits |= uint64_t{begin[i]} << (8 * i);
      consumed = marker + static_cast<uint32_t>(8 * (8 - size));
    }
  }
  VX_ZSTD_INLINE uint64_t Peek(uint32_t n) const {  // 1 <= n <= 63
    return (bits << (consumed & 63)) >> (64 - n);
  }
  VX_ZSTD_INLINE uint32_t Read(uint32_t n) {  // 0 <= n <= 56
    const uint64_t v = ((bits << (consumed & 63)) >> 1) >> (63 - n);
    consumed += n;
    return static_cast<uint32_t>(v);
  }
  // Safe anywhere: steps back at most to the stream start.
  VX_ZSTD_INLINE void Reload() {
    if (consumed > 64) return;
    size_t back = consumed >> 3;
    const size_t room = static_cast<size_t>(p - start);
    if (back > room) back = room;
    if (back == 0) return;
    p -= back;
    consumed -= static_cast<uint32_t>(back * 8);
    bits = Load64(p);
  }
  // Only while FarFromStart(): no clamp needed.
  VX_ZSTD_INLINE void ReloadFast() {
    p -= consumed >> 3;
    consumed &= 7;
    bits = Load64(p);
  }
  VX_ZSTD_INLINE bool FarFromStart() const { return p - start >= 8; }
  VX_ZSTD_INLINE bool Overflowed() const { return p == start ? consumed > 64 : false; }
  VX_ZSTD_INLINE bool Finished() const { return p == start && consumed == 64; }
};

// --- FSE tables ---------------------------------------------------------------

struct FseCell {
  uint16_t next_base;
  uint8_t symbol;
  uint8_t bits;
};

// Reads a table description (normalized counts) from `src`; returns the
// bytes it takes. `counts` receives max_symbol + 1 values.
size_t ReadFseCounts(const uint8_t* src, size_t avail, int max_symbol, int max_log, int16_t* counts,
                     int& log) {
  size_t bitpos = 0;
  auto bits_at = [&](uint32_t n) -> uint32_t {
    uint32_t v = 0;
    const size_t byte = bitpos >> 3;
    for (size_t i = 0; i < 4 && byte + i < avail; ++i) v |= uint32_t{src[byte + i]} << (8 * i);
    return (v >> (bitpos & 7)) & ((1u << n) - 1);
  };
  if (avail < 1) Fail(kMsgFseTable);
  log = static_cast<int>(bits_at(4)) + 5;
  bitpos = 4;
  if (log > max_log) Fail(kMsgFseTable);
  int32_t remaining = (1 << log) + 1;
  int32_t threshold = 1 << log;
  uint32_t nbits = static_cast<uint32_t>(log) + 1;
  int symbol = 0;
  while (remaining > 1) {
    if (symbol > max_symbol) Fail(kMsgFseTable);
    const int32_t max = 2 * threshold - 1 - remaining;
    int32_t value;
    const uint32_t low = bits_at(nbits - 1);
    if (static_cast<int32_t>(low) < max) {
      value = static_cast<int32_t>(low);
      bitpos += nbits - 1;
    } else {
      value = static_cast<int32_t>(bits_at(nbits));
      if (value >= threshold) value -= max;
      bitpos += nbits;
    }
    const int32_t count = value - 1;
    remaining -= count < 0 ? -count : count;
    counts[symbol++] = static_cast<int16_t>(count);
    if (count == 0) {
      for (;;) {
        const uint32_t repeat = bits_at(2);
        bitpos += 2;
        if (symbol + static_cast<int>(repeat) > max_symbol + 1) Fail(kMsgFseTable);
        for (uint32_t i = 0; i < repeat; ++i) counts[symbol++] = 0;
        if (repeat != 3) break;
        if ((bitpos >> 3) > avail) Fail(kMsgFseTable);
      }
    }
    while (remaining < threshold && threshold > 1) {
      --nbits;
      threshold >>= 1;
    }
    if ((bitpos >> 3) > avail) Fail(kMsgFseTable);
  }
  if (remaining != 1) Fail(kMsgFseTable);
  const size_t used = (bitpos + 7) >> 3;
  if (used > avail) Fail(kMsgFseTable);
  for (; symbol <= max_symbol; ++symbol) counts[symbol] = 0;
  return used;
}

// Spreads the symbols over a table of 1 << log cells, writing each cell's
// symbol to `symbols`, and sets next[s] to symbol s's first state.
void SpreadFse(const int16_t* counts, int nsymbols, int log, uint8_t* symbols, uint16_t* next) {
  const uint32_t size = 1u << log;
  const uint32_t mask = size - 1;
  uint32_t high = size - 1;
  for (int s = 0; s < nsymbols; ++s) {
    if (counts[s] == -1) {
      symbols[high--] = static_cast<uint8_t>(s);
      next[s] = 1;
    } else {
      next[s] = static_cast<uint16_t>(counts[s]);
    }
  }
  const uint32_t step = (size >> 1) + (size >> 3) + 3;
  uint32_t pos = 0;
  for (int s = 0; s < nsymbols; ++s) {
    for (int i = 0; i < counts[s]; ++i) {
      symbols[pos] = static_cast<uint8_t>(s);
      do {
        pos = (pos + step) & mask;
      } while (pos > high);
    }
  }
  if (pos != 0) Fail(kMsgFseTable);
}

// Gives each of the 1 << log cells its symbol and transition. `cells` must
// hold 1 << log entries.
void BuildFse(const int16_t* counts, int nsymbols, int log, FseCell* cells) {
  uint8_t symbols[1u << kMaxWeightLog];
  uint16_t next[256];
  SpreadFse(counts, nsymbols, log, symbols, next);
  const uint32_t size = 1u << log;
  for (uint32_t u = 0; u < size; ++u) {
    const uint32_t state = next[symbols[u]]++;
    const int nb = log - HighBit(state);
    cells[u].symbol = symbols[u];
    cells[u].bits = static_cast<uint8_t>(nb);
    cells[u].next_base = static_cast<uint16_t>((state << nb) - size);
  }
}

// --- Huffman tables -------------------------------------------------------------

struct HuffmanTable {
  bool valid = false;
  int max_bits = 0;
  // Indexed by the next max_bits bits: symbol | bits << 8.
  std::array<uint16_t, 1u << kMaxHuffmanBits> cells;
};

// Reads a Huffman table description; returns the bytes it takes.
size_t ReadHuffmanTable(const uint8_t* src, size_t avail, HuffmanTable& table) {
  if (avail < 1) Fail(kMsgHuffmanTable);
  uint8_t weights[256];
  size_t nweights = 0;
  size_t used;
  const uint32_t header = src[0];
  if (header >= 128) {
    nweights = header - 127;
    used = 1 + (nweights + 1) / 2;
    if (used > avail) Fail(kMsgHuffmanTable);
    for (size_t i = 0; i < nweights; ++i) {
      const uint8_t b = src[1 + i / 2];
      weights[i] = (i & 1) ? (b & 15) : (b >> 4);
    }
  } else {
    used = 1 + header;
    if (used > avail || header == 0) Fail(kMsgHuffmanTable);
    int16_t counts[256];
    int log;
    const size_t desc = ReadFseCounts(src + 1, header, 255, kMaxWeightLog, counts, log);
    int nsymbols = 256;
    while (nsymbols > 0 && counts[nsymbols - 1] == 0) --nsymbols;
    FseCell cells[1 << kMaxWeightLog];
    BuildFse(counts, nsymbols, log, cells);
    BackBits in;
    in.Init(src + 1 + desc, header - desc, kMsgHuffmanTable);
    uint32_t s1 = in.Read(static_cast<uint32_t>(log));
    uint32_t s2 = in.Read(static_cast<uint32_t>(log));
    in.Reload();
    // Two interleaved states share the stream; it ends when an update reads
    // past its start, after which the other state's symbol is the last.
    for (;;) {
      if (nweights + 2 > 255) Fail(kMsgHuffmanTable);
      weights[nweights++] = cells[s1].symbol;
      s1 = cells[s1].next_base + in.Read(cells[s1].bits);
      in.Reload();
      if (in.Overflowed()) {
        weights[nweights++] = cells[s2].symbol;
        break;
      }
      weights[nweights++] = cells[s2].symbol;
      s2 = cells[s2].next_base + in.Read(cells[s2].bits);
      in.Reload();
      if (in.Overflowed()) {
        weights[nweights++] = cells[s1].symbol;
        break;
      }
    }
  }
  // The last symbol's weight is implied: it completes a power of two.
  uint32_t sum = 0;
  for (size_t i = 0; i < nweights; ++i) {
    if (weights[i] > kMaxHuffmanBits) Fail(kMsgHuffmanTable);
    if (weights[i] > 0) sum += 1u << (weights[i] - 1);
  }
  if (sum == 0 || nweights > 255) Fail(kMsgHuffmanTable);
  const int max_bits = HighBit(sum) + 1;
  if (max_bits > kMaxHuffmanBits) Fail(kMsgHuffmanTable);
  const uint32_t rest = (1u << max_bits) - sum;
  if ((rest & (rest - 1)) != 0) Fail(kMsgHuffmanTable);
  weights[nweights++] = static_cast<uint8_t>(HighBit(rest) + 1);
  // Cells go to the lowest weights first, symbols in order within a weight:
  // each weight's first cell is found first, then the symbols are placed in
  // one pass. The spans add up to exactly 1 << max_bits cells.
  uint32_t next[kMaxHuffmanBits + 1] = {};
  for (size_t s = 0; s < nweights; ++s) next[weights[s]] += 1u << weights[s] >> 1;
  uint32_t pos = 0;
  for (int w = 1; w <= max_bits; ++w) {
    const uint32_t cells = next[w];
    next[w] = pos;
    pos += cells;
  }
  for (size_t s = 0; s < nweights; ++s) {
    const int w = weights[s];
    if (w == 0) continue;
    const uint32_t span = 1u << (w - 1);
    const uint16_t entry = static_cast<uint16_t>(((max_bits + 1 - w) << 8) | s);
    uint16_t* cell = table.cells.data() + next[w];
    for (uint32_t i = 0; i < span; ++i) cell[i] = entry;
    next[w] += span;
  }
  table.max_bits = max_bits;
  table.valid = true;
  return used;
}

VX_ZSTD_INLINE uint8_t DecodeSymbol(BackBits& in, const uint16_t* cells, uint32_t max_bits) {
  const uint16_t cell = cells[in.Peek(max_bits)];
  in.consumed += cell >> 8;
  return static_cast<uint8_t>(cell);
}

// Decodes one stream into [out, end), one symbol at a time with a bound on
// every step; the stream must end exactly there.
VX_ZSTD_INLINE void DecodeHuffmanTail(BackBits& in, const HuffmanTable& table, uint8_t* out,
                                      uint8_t* end) {
  const uint32_t max_bits = static_cast<uint32_t>(table.max_bits);
  const uint16_t* cells = table.cells.data();
  while (out < end) {
    in.Reload();
    if (in.Overflowed()) Fail(kMsgHuffmanStream);
    *out++ = DecodeSymbol(in, cells, max_bits);
  }
  in.Reload();
  if (!in.Finished()) Fail(kMsgHuffmanStream);
}

VX_ZSTD_INLINE void DecodeHuffman1(const uint8_t* src, size_t size, const HuffmanTable& table,
                                   uint8_t* out, size_t count) {
  BackBits in;
  in.Init(src, size, kMsgHuffmanStream);
  const uint32_t max_bits = static_cast<uint32_t>(table.max_bits);
  const uint16_t* cells = table.cells.data();
  uint8_t* const end = out + count;
  // Four symbols of at most 11 bits per refill.
  while (end - out >= 4 && in.FarFromStart()) {
    in.ReloadFast();
    out[0] = DecodeSymbol(in, cells, max_bits);
    out[1] = DecodeSymbol(in, cells, max_bits);
    out[2] = DecodeSymbol(in, cells, max_bits);
    out[3] = DecodeSymbol(in, cells, max_bits);
    out += 4;
  }
  DecodeHuffmanTail(in, table, out, end);
}

VX_ZSTD_INLINE void DecodeHuffman4(const uint8_t* src, size_t size, const HuffmanTable& table,
                                   uint8_t* out, size_t count) {
  if (size < 10) Fail(kMsgHuffmanStream);
  const size_t s1 = Load16(src), s2 = Load16(src + 2), s3 = Load16(src + 4);
  if (6 + s1 + s2 + s3 >= size) Fail(kMsgHuffmanStream);
  const size_t s4 = size - 6 - s1 - s2 - s3;
  const size_t seg = (count + 3) / 4;
  if (3 * seg > count) Fail(kMsgHuffmanStream);
  BackBits in[4];
  const uint8_t* p = src + 6;
  in[0].Init(p, s1, kMsgHuffmanStream);
  in[1].Init(p + s1, s2, kMsgHuffmanStream);
  in[2].Init(p + s1 + s2, s3, kMsgHuffmanStream);
  in[3].Init(p + s1 + s2 + s3, s4, kMsgHuffmanStream);
  uint8_t* o0 = out;
  uint8_t* o1 = out + seg;
  uint8_t* o2 = out + 2 * seg;
  uint8_t* o3 = out + 3 * seg;
  uint8_t* const end3 = out + count;
  const uint32_t max_bits = static_cast<uint32_t>(table.max_bits);
  const uint16_t* cells = table.cells.data();
  // The fast loop holds each stream in two registers: a container whose
  // top bits are the next ones, with a marker bit below the last valid one,
  // and the address it was loaded from. Taking a symbol shifts the container
  // left, so the marker's position counts the bits taken, and a refill
  // needs nothing else. A refill leaves at least 56 bits: five symbols of at
  // most 11. The last segment is the shortest: while it has room for five,
  // all do, and a stream is refilled only while it is 8 bytes or more from
  // its start.
  constexpr int kPerRefill = 5;
  static_assert(kPerRefill * kMaxHuffmanBits <= 56, "a refill must cover five symbols");
  if (end3 - o3 >= kPerRefill && in[0].FarFromStart() && in[1].FarFromStart() &&
      in[2].FarFromStart() && in[3].FarFromStart()) {
    // Four named streams rather than arrays, so that all stay in registers.
    const uint8_t* ip0 = in[0].p - (in[0].consumed >> 3);
    const uint8_t* ip1 = in[1].p - (in[1].consumed >> 3);
    const uint8_t* ip2 = in[2].p - (in[2].consumed >> 3);
    const uint8_t* ip3 = in[3].p - (in[3].consumed >> 3);
    uint64_t b0 = (Load64(ip0) | 1) << (in[0].consumed & 7);
    uint64_t b1 = (Load64(ip1) | 1) << (in[1].consumed & 7);
    uint64_t b2 = (Load64(ip2) | 1) << (in[2].consumed & 7);
    uint64_t b3 = (Load64(ip3) | 1) << (in[3].consumed & 7);
    const uint32_t shift = 64 - max_bits;
    const uint8_t* const start0 = in[0].start + 8;
    const uint8_t* const start1 = in[1].start + 8;
    const uint8_t* const start2 = in[2].start + 8;
    const uint8_t* const start3 = in[3].start + 8;
    const auto refill = [](const uint8_t*& ip, uint64_t& bits) VX_ZSTD_INLINE_LAMBDA {
      const int taken = CountTrailingZeros(bits);
      ip -= taken >> 3;
      bits = (Load64(ip) | 1) << (taken & 7);
    };
    for (;;) {
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 5
#endif
      for (int j = 0; j < kPerRefill; ++j) {
        const uint16_t c0 = cells[b0 >> shift];
        const uint16_t c1 = cells[b1 >> shift];
        const uint16_t c2 = cells[b2 >> shift];
        const uint16_t c3 = cells[b3 >> shift];
        o0[j] = static_cast<uint8_t>(c0);
        o1[j] = static_cast<uint8_t>(c1);
        o2[j] = static_cast<uint8_t>(c2);
        o3[j] = static_cast<uint8_t>(c3);
        b0 <<= c0 >> 8;
        b1 <<= c1 >> 8;
        b2 <<= c2 >> 8;
        b3 <<= c3 >> 8;
      }
      o0 += kPerRefill;
      o1 += kPerRefill;
      o2 += kPerRefill;
      o3 += kPerRefill;
      if (end3 - o3 < kPerRefill || ip0 < start0 || ip1 < start1 || ip2 < start2 || ip3 < start3) {
        break;
      }
      refill(ip0, b0);
      refill(ip1, b1);
      refill(ip2, b2);
      refill(ip3, b3);
    }
    // Back to the careful reader's form: the marker's position is the
    // count of bits taken since the load.
    const auto hand_back = [](BackBits& to, const uint8_t* ip, uint64_t bits) {
      to.p = ip;
      to.bits = Load64(ip);
      to.consumed = static_cast<uint32_t>(CountTrailingZeros(bits));
    };
    hand_back(in[0], ip0, b0);
    hand_back(in[1], ip1, b1);
    hand_back(in[2], ip2, b2);
    hand_back(in[3], ip3, b3);
  }
  DecodeHuffmanTail(in[0], table, o0, out + seg);
  DecodeHuffmanTail(in[1], table, o1, out + 2 * seg);
  DecodeHuffmanTail(in[2], table, o2, out + 3 * seg);
  DecodeHuffmanTail(in[3], table, o3, end3);
}

// The literal decoders, compiled once for any x86 processor and once for
// those with BMI2, whose shifts by a register amount take one instruction.
void DecodeLiterals(bool four_streams, const uint8_t* src, size_t size, const HuffmanTable& table,
                    uint8_t* out, size_t count) {
  if (four_streams) {
    DecodeHuffman4(src, size, table, out, count);
  } else {
    DecodeHuffman1(src, size, table, out, count);
  }
}
#if VX_ZSTD_BMI2
__attribute__((target("bmi2"))) void DecodeLiteralsBmi2(bool four_streams, const uint8_t* src,
                                                        size_t size, const HuffmanTable& table,
                                                        uint8_t* out, size_t count) {
  if (four_streams) {
    DecodeHuffman4(src, size, table, out, count);
  } else {
    DecodeHuffman1(src, size, table, out, count);
  }
}
bool HasBmi2() {
  static const bool has = __builtin_cpu_supports("bmi2");
  return has;
}
#else
void DecodeLiteralsBmi2(bool four_streams, const uint8_t* src, size_t size,
                        const HuffmanTable& table, uint8_t* out, size_t count) {
  DecodeLiterals(four_streams, src, size, table, out, count);
}
bool HasBmi2() {
  return false;
}
#endif

// --- Sequence tables --------------------------------------------------------------

struct SeqCell {
  uint16_t next_base;
  uint8_t bits;        // state bits
  uint8_t extra_bits;  // bits of the value after its base
  uint32_t base;
};

// The three tables of a block share one array, so one base register serves
// them all: each table's cells hold states already offset by `first`.
constexpr uint32_t kSeqTableCells = 1u << kMaxLiteralLengthLog;

struct SeqTable {
  bool valid = false;
  int log = 0;
  uint16_t first = 0;        // index of this table's first cell in the array
  SeqCell* cells = nullptr;  // the array from `first` on
  bool predefined = false;   // the cells hold the predefined table
};

constexpr uint32_t kLiteralLengthBase[36] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,   9,   10,  11,   12,   13,   14,   15,    16,    18,
    20, 22, 24, 28, 32, 40, 48, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};
constexpr uint8_t kLiteralLengthBits[36] = {0, 0, 0, 0, 0, 0,  0,  0,  0,  0,  0,  0,
                                            0, 0, 0, 0, 1, 1,  1,  1,  2,  2,  3,  3,
                                            4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr uint32_t kMatchLengthBase[53] = {
    3,  4,  5,  6,  7,  8,  9,  10,  11,  12,  13,   14,   15,   16,   17,    18,    19,   20,
    21, 22, 23, 24, 25, 26, 27, 28,  29,  30,  31,   32,   33,   34,   35,    37,    39,   41,
    43, 47, 51, 59, 67, 83, 99, 131, 259, 515, 1027, 2051, 4099, 8195, 16387, 32771, 65539};
constexpr uint8_t kMatchLengthBits[53] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  0,  0,  0, 0,
    0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

constexpr int16_t kDefaultLiteralLengths[36] = {4, 3, 2, 2, 2, 2, 2, 2, 2,  2,  2,  2,
                                                2, 1, 1, 1, 2, 2, 2, 2, 2,  2,  2,  2,
                                                2, 3, 2, 1, 1, 1, 1, 1, -1, -1, -1, -1};
constexpr int16_t kDefaultMatchLengths[53] = {
    1, 4, 3, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  1,  1,  1,  1,  1,  1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1};
constexpr int16_t kDefaultOffsets[29] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 1,  1,  1,  1,  1, 1,
                                         1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1};

enum class SeqKind { kLiteralLength, kOffset, kMatchLength };

void FillSeqCell(SeqKind kind, int symbol, SeqCell& cell) {
  switch (kind) {
    case SeqKind::kLiteralLength:
      cell.base = kLiteralLengthBase[symbol];
      cell.extra_bits = kLiteralLengthBits[symbol];
      break;
    case SeqKind::kMatchLength:
      cell.base = kMatchLengthBase[symbol];
      cell.extra_bits = kMatchLengthBits[symbol];
      break;
    case SeqKind::kOffset:
      cell.base = 1u << symbol;
      cell.extra_bits = static_cast<uint8_t>(symbol);
      break;
  }
}

void BuildSeqTable(SeqKind kind, const int16_t* counts, int nsymbols, int log, SeqTable& table) {
  uint8_t symbols[1u << kMaxLiteralLengthLog];
  uint16_t next[kMaxMatchLengthCode + 1];
  SpreadFse(counts, nsymbols, log, symbols, next);
  // Each symbol's value fields, worked out once rather than once per cell,
  // then each cell's transition and values in one pass.
  SeqCell values[kMaxMatchLengthCode + 1];
  for (int s = 0; s < nsymbols; ++s) FillSeqCell(kind, s, values[s]);
  const uint32_t size = 1u << log;
  for (uint32_t u = 0; u < size; ++u) {
    const uint32_t state = next[symbols[u]]++;
    const int nb = log - HighBit(state);
    SeqCell& c = table.cells[u];
    const SeqCell& v = values[symbols[u]];
    c.next_base = static_cast<uint16_t>((state << nb) - size + table.first);
    c.bits = static_cast<uint8_t>(nb);
    c.extra_bits = v.extra_bits;
    c.base = v.base;
  }
  table.log = log;
  table.valid = true;
}

// Reads one symbol's compression mode and sets up its table; returns the
// bytes taken from `src`.
size_t ReadSeqTable(SeqKind kind, uint32_t mode, const uint8_t* src, size_t avail,
                    SeqTable& table) {
  const int max_symbol = kind == SeqKind::kLiteralLength ? kMaxLiteralLengthCode
                         : kind == SeqKind::kMatchLength ? kMaxMatchLengthCode
                                                         : kMaxOffsetCode;
  switch (mode) {
    case 0: {  // predefined; built once per decoder while no other replaces it
      if (table.predefined) {
        table.valid = true;
        return 0;
      }
      if (kind == SeqKind::kLiteralLength)
        BuildSeqTable(kind, kDefaultLiteralLengths, 36, 6, table);
      if (kind == SeqKind::kMatchLength) BuildSeqTable(kind, kDefaultMatchLengths, 53, 6, table);
      if (kind == SeqKind::kOffset) BuildSeqTable(kind, kDefaultOffsets, 29, 5, table);
      table.predefined = true;
      return 0;
    }
    case 1: {  // one symbol
      table.predefined = false;
      if (avail < 1 || src[0] > max_symbol) Fail(kMsgSequencesHeader);
      SeqCell& c = table.cells[0];
      c.next_base = table.first;
      c.bits = 0;
      FillSeqCell(kind, src[0], c);
      table.log = 0;
      table.valid = true;
      return 1;
    }
    case 2: {
      table.predefined = false;
      const int max_log = kind == SeqKind::kLiteralLength ? kMaxLiteralLengthLog
                          : kind == SeqKind::kMatchLength ? kMaxMatchLengthLog
                                                          : kMaxOffsetLog;
      int16_t counts[kMaxMatchLengthCode + 1];
      int log;
      const size_t used = ReadFseCounts(src, avail, max_symbol, max_log, counts, log);
      BuildSeqTable(kind, counts, max_symbol + 1, log, table);
      return used;
    }
    default:  // repeat the previous block's table
      if (!table.valid) Fail(kMsgNoSequenceTable);
      return 0;
  }
}

// One decoded sequence: its literal count, match length and resolved offset.
struct Sequence {
  size_t literals;
  size_t match;
  size_t offset;
};
// Sequences decoded ahead of the one being executed.
constexpr uint32_t kAhead = 8;

// --- Input --------------------------------------------------------------------

// The compressed bytes, read in pieces of at most kReadPiece and never past
// the member's compressed size. The buffer holds kInputCapacity bytes (or
// the whole member, when smaller) and kSlack more; a refill fills it, so the
// bytes not yet used are moved back to its start only once per several
// blocks.
class Input {
 public:
  explicit Input(TAbDecodeJob& job)
      : job_(job),
        capacity_(job.compressed_size >= 0
                      ? static_cast<size_t>(std::min<int64_t>(job.compressed_size, kInputCapacity))
                      : kInputCapacity),
        buffer_(new uint8_t[capacity_ + kSlack]),
        remaining_(job.compressed_size) {
    std::memset(buffer_.get() + capacity_, 0, kSlack);
  }

  // Makes `n` (at most kInputCapacity) bytes available; false when the input
  // ends first.
  bool Fill(size_t n) {
    if (tail_ - head_ >= n) return true;
    if (head_ > 0) {
      std::memmove(buffer_.get(), buffer_.get() + head_, tail_ - head_);
      tail_ -= head_;
      head_ = 0;
    }
    while (tail_ < capacity_ && !ended_) {
      int64_t want = static_cast<int64_t>(std::min(kReadPiece, capacity_ - tail_));
      if (remaining_ >= 0) want = std::min(want, remaining_);
      const int64_t got = want > 0 ? job_.source->Read(buffer_.get() + tail_, want) : 0;
      if (got <= 0) {
        ended_ = true;
        break;
      }
      tail_ += static_cast<size_t>(got);
      if (remaining_ >= 0) remaining_ -= got;
      read_ += got;
      if (job_.OnInput) job_.OnInput(read_);
    }
    return tail_ - head_ >= n;
  }
  const uint8_t* Need(size_t n) {
    if (!Fill(n)) Fail(kMsgTruncated);
    return buffer_.get() + head_;
  }
  void Skip(size_t n) { head_ += n; }
  bool AtEnd() { return !Fill(1); }
  void Discard(uint64_t n) {
    while (n > 0) {
      const size_t step = static_cast<size_t>(std::min<uint64_t>(n, kReadPiece));
      Need(step);
      Skip(step);
      n -= step;
    }
  }

 private:
  TAbDecodeJob& job_;
  const size_t capacity_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t head_ = 0;
  size_t tail_ = 0;
  int64_t remaining_;
  int64_t read_ = 0;
  bool ended_ = false;
};

// --- The decoder ----------------------------------------------------------------

class ZstdDecoder {
 public:
  explicit ZstdDecoder(TAbDecodeJob& job)
      : job_(job), in_(job), literals_(new uint8_t[kMaxBlockSize + kSlack]), bmi2_(HasBmi2()) {
    std::memset(literals_.get() + kMaxBlockSize, 0, kSlack);
  }

  int64_t Run() {
    if (in_.AtEnd()) Fail(kMsgEmpty);
    while (!in_.AtEnd()) {
      const uint32_t magic = Load32(in_.Need(4));
      if ((magic & kSkippableMagicMask) == kSkippableMagic) {
        const uint32_t size = Load32(in_.Need(8) + 4);
        in_.Skip(8);
        in_.Discard(size);
      } else if (magic == kFrameMagic) {
        DecodeFrame();
      } else {
        Fail(kMsgNoFrame);
      }
    }
    return written_;
  }

 private:
  void DecodeFrame() {
    const uint8_t descriptor = in_.Need(5)[4];
    const uint32_t size_flag = descriptor >> 6;
    const bool single_segment = (descriptor >> 5) & 1;
    const bool has_checksum = (descriptor >> 2) & 1;
    const uint32_t dict_flag = descriptor & 3;
    if (descriptor & 8) Fail(kMsgReservedBit);
    static constexpr size_t kDictBytes[4] = {0, 1, 2, 4};
    static constexpr size_t kSizeBytes[4] = {0, 2, 4, 8};
    const size_t size_bytes = (size_flag == 0 && single_segment) ? 1 : kSizeBytes[size_flag];
    const size_t header_size = 5 + (single_segment ? 0 : 1) + kDictBytes[dict_flag] + size_bytes;
    const uint8_t* h = in_.Need(header_size) + 5;
    uint64_t window = 0;
    if (!single_segment) {
      const uint32_t exponent = h[0] >> 3;
      const uint64_t base = uint64_t{1} << (10 + exponent);
      window = base + (base / 8) * (h[0] & 7);
      ++h;
    }
    uint32_t dict_id = 0;
    for (size_t i = 0; i < kDictBytes[dict_flag]; ++i) dict_id |= uint32_t{h[i]} << (8 * i);
    h += kDictBytes[dict_flag];
    bool size_known = size_bytes > 0;
    uint64_t content_size = 0;
    for (size_t i = 0; i < size_bytes; ++i) content_size |= uint64_t{h[i]} << (8 * i);
    if (size_bytes == 2) content_size += 256;
    in_.Skip(header_size);
    if (dict_id != 0) Fail(kMsgDictionary);
    if (single_segment)
      window = content_size;
    else if (window < kMinWindow)
      Fail(kMsgWindowTooSmall);
    if (window > static_cast<uint64_t>(job_.memory_limit) || window > (SIZE_MAX >> 2)) {
      Fail("window of " + std::to_string(window) + " bytes is above the memory limit of " +
           std::to_string(job_.memory_limit) + " bytes");
    }
    const size_t block_max = static_cast<size_t>(std::min<uint64_t>(window, kMaxBlockSize));
    // The history a match may reach: the window, or the whole content when
    // that is smaller. The buffer is a ring of that history, one block and
    // kSlack on both sides of a block (see Wrap).
    window_ = static_cast<size_t>(size_known ? std::min(window, content_size) : window);
    full_size_ = window_ + block_max + 2 * kSlack;
    prefetch_ = window_ > kPrefetchWindow;

    pos_ = flushed_ = 0;
    wrapped_ = false;
    GrowBuffer(size_known ? full_size_ : std::min(full_size_, kFirstBuffer));
    hash_ = Xxh64();
    hashing_ = has_checksum;
    huffman_.valid = false;
    ll_.valid = of_.valid = ml_.valid = false;
    rep_[0] = 1;
    rep_[1] = 4;
    rep_[2] = 8;
    uint64_t frame_output = 0;

    for (bool last = false; !last;) {
      const uint32_t header = Load24(in_.Need(3));
      in_.Skip(3);
      last = header & 1;
      const uint32_t type = (header >> 1) & 3;
      const size_t size = header >> 3;
      if (pos_ + block_max + kSlack > capacity_ && capacity_ < full_size_) {
        GrowBuffer(std::min(full_size_, std::max(4 * capacity_, pos_ + block_max + kSlack)));
      }
      if (pos_ + block_max + kSlack > capacity_) Wrap();
      uint8_t* out = buffer_.get() + pos_;
      size_t produced = 0;
      if (size > block_max) Fail(kMsgBlockSize);
      switch (type) {
        case 0:
          std::memcpy(out, in_.Need(size), size);
          in_.Skip(size);
          produced = size;
          break;
        case 1:
          std::memset(out, in_.Need(1)[0], size);
          in_.Skip(1);
          produced = size;
          break;
        case 2:
          produced = DecodeBlock(in_.Need(size), size, out, block_max);
          in_.Skip(size);
          break;
        default:
          Fail(kMsgBlockType);
      }
      frame_output += produced;
      if (size_known && frame_output > content_size) Fail(kMsgContentSize);
      if (job_.output_limit >= 0 && static_cast<uint64_t>(written_) + (pos_ - flushed_) + produced >
                                        static_cast<uint64_t>(job_.output_limit)) {
        Fail(kMsgOutputLimit);
      }
      pos_ += produced;
      if (pos_ - flushed_ >= kWritePiece) Flush();
    }
    Flush();
    if (size_known && frame_output != content_size) Fail(kMsgContentSize);
    if (has_checksum) {
      const uint32_t stored = Load32(in_.Need(4));
      in_.Skip(4);
      if (stored != static_cast<uint32_t>(hash_.Digest())) Fail(kMsgChecksum);
    }
  }

  // Makes the buffer at least `size` bytes, keeping the output so far.
  void GrowBuffer(size_t size) {
    if (size <= capacity_) return;
    std::unique_ptr<uint8_t[]> bigger;
    try {
      bigger.reset(new uint8_t[size]);
    } catch (const std::bad_alloc&) {
      Fail(kMsgNoMemory);
    }
    if (pos_ > 0) std::memcpy(bigger.get(), buffer_.get(), pos_);
    buffer_ = std::move(bigger);
    capacity_ = size;
  }

  void Flush() {
    const size_t n = pos_ - flushed_;
    if (n == 0) return;
    const uint8_t* p = buffer_.get() + flushed_;
    if (hashing_) hash_.Update(p, n);
    job_.dest->WriteBuffer(p, static_cast<int64_t>(n));
    written_ += static_cast<int64_t>(n);
    flushed_ = pos_;
  }

  // Writes what is pending and starts the next lap of the ring at the
  // buffer start. Only a full buffer wraps, so the lap ends past
  // window_ + kSlack: while a block of the new lap is written at `op` (with
  // its overruns), a match reaching back at most window_ bytes into the
  // previous lap reads from lap_end_ - window_ + op or later, at least kSlack
  // bytes ahead of anything written since the wrap.
  void Wrap() {
    Flush();
    lap_end_ = pos_;
    pos_ = flushed_ = 0;
    wrapped_ = true;
  }

  // A match whose start lies in the previous lap: its first part comes from
  // the end of that lap, the rest from the start of this one, which is the
  // same offset back from where that part goes.
  VX_ZSTD_NOINLINE void CopyFromPreviousLap(uint8_t* op, size_t offset, size_t match) {
    const size_t here = static_cast<size_t>(op - buffer_.get());
    if (!wrapped_ || offset > window_) Fail(kMsgOffset);
    const size_t back = offset - here;
    const uint8_t* from = buffer_.get() + lap_end_ - back;
    const size_t first = std::min(match, back);
    // `from` is at least kSlack ahead of `op`: the reads stay ahead of the
    // writes.
    WildCopy16(op, from, first);
    if (match > first) CopyMatch(op + first, offset, match - first);
  }

  // Decodes one compressed block of `size` bytes at `src` to `out`; returns
  // the bytes produced (at most `block_max`).
  size_t DecodeBlock(const uint8_t* src, size_t size, uint8_t* out, size_t block_max) {
    const uint8_t* const src_end = src + size;
    // Literals section.
    if (size < 1) Fail(kMsgLiteralsHeader);
    const uint32_t type = src[0] & 3;
    const uint32_t format = (src[0] >> 2) & 3;
    size_t regenerated;
    size_t compressed = 0;
    size_t header;
    bool four_streams = false;
    if (type < 2) {
      static constexpr size_t kHeader[4] = {1, 2, 1, 3};
      header = kHeader[format];
      if (size < header) Fail(kMsgLiteralsHeader);
      if (header == 1)
        regenerated = src[0] >> 3;
      else if (header == 2)
        regenerated = Load16(src) >> 4;
      else
        regenerated = Load24(src) >> 4;
    } else {
      static constexpr size_t kHeader[4] = {3, 3, 4, 5};
      static constexpr uint32_t kBits[4] = {10, 10, 14, 18};
      header = kHeader[format];
      if (size < header) Fail(kMsgLiteralsHeader);
      uint64_t value = 0;
      for (size_t i = 0; i < header; ++i) value |= uint64_t{src[i]} << (8 * i);
      const uint64_t mask = (uint64_t{1} << kBits[format]) - 1;
      regenerated = static_cast<size_t>((value >> 4) & mask);
      compressed = static_cast<size_t>((value >> (4 + kBits[format])) & mask);
      four_streams = format != 0;
    }
    if (regenerated > block_max) Fail(kMsgLiteralsSize);
    const uint8_t* p = src + header;
    const uint8_t* literals;
    switch (type) {
      case 0:
        if (static_cast<size_t>(src_end - p) < regenerated) Fail(kMsgLiteralsSize);
        literals = p;  // the input buffer has kSlack spare bytes too
        p += regenerated;
        break;
      case 1:
        if (p >= src_end) Fail(kMsgLiteralsSize);
        std::memset(literals_.get(), *p, regenerated);
        literals = literals_.get();
        p += 1;
        break;
      default: {
        if (static_cast<size_t>(src_end - p) < compressed) Fail(kMsgLiteralsSize);
        const uint8_t* streams = p;
        size_t stream_bytes = compressed;
        if (type == 2) {
          const size_t used = ReadHuffmanTable(p, compressed, huffman_);
          streams += used;
          stream_bytes -= used;
        } else if (!huffman_.valid) {
          Fail(kMsgNoHuffmanTable);
        }
        if (bmi2_) {
          DecodeLiteralsBmi2(four_streams, streams, stream_bytes, huffman_, literals_.get(),
                             regenerated);
        } else {
          DecodeLiterals(four_streams, streams, stream_bytes, huffman_, literals_.get(),
                         regenerated);
        }
        literals = literals_.get();
        p += compressed;
        break;
      }
    }
    return bmi2_ ? DecodeSequencesBmi2(p, src_end, literals, regenerated, out, block_max)
                 : DecodeSequencesGeneric(p, src_end, literals, regenerated, out, block_max);
  }

  size_t DecodeSequencesGeneric(const uint8_t* p, const uint8_t* end, const uint8_t* literals,
                                size_t literal_count, uint8_t* out, size_t block_max) {
    return DecodeSequences<false>(p, end, literals, literal_count, out, block_max);
  }
#if VX_ZSTD_BMI2
  __attribute__((target("bmi2"))) size_t DecodeSequencesBmi2(const uint8_t* p, const uint8_t* end,
                                                             const uint8_t* literals,
                                                             size_t literal_count, uint8_t* out,
                                                             size_t block_max) {
    return DecodeSequences<true>(p, end, literals, literal_count, out, block_max);
  }
#else
  size_t DecodeSequencesBmi2(const uint8_t* p, const uint8_t* end, const uint8_t* literals,
                             size_t literal_count, uint8_t* out, size_t block_max) {
    return DecodeSequences<false>(p, end, literals, literal_count, out, block_max);
  }
#endif

  template <bool kBmi2>
  VX_ZSTD_INLINE size_t DecodeSequences(const uint8_t* p, const uint8_t* end,
                                        const uint8_t* literals, size_t literal_count, uint8_t* out,
                                        size_t block_max) {
    if (p >= end) Fail(kMsgSequencesHeader);
    uint32_t count = p[0];
    if (count == 0) {
      if (p + 1 != end) Fail(kMsgTrailing);
      std::memcpy(out, literals, literal_count);
      return literal_count;
    }
    if (count >= 128) {
      if (count == 255) {
        if (end - p < 3) Fail(kMsgSequencesHeader);
        count = Load16(p + 1) + 0x7F00;
        p += 3;
      } else {
        if (end - p < 2) Fail(kMsgSequencesHeader);
        count = ((count - 128) << 8) + p[1];
        p += 2;
      }
    } else {
      p += 1;
    }
    if (p >= end) Fail(kMsgSequencesHeader);
    const uint32_t modes = *p++;
    if (modes & 3) Fail(kMsgSequencesHeader);
    p += ReadSeqTable(SeqKind::kLiteralLength, modes >> 6, p, end - p, ll_);
    p += ReadSeqTable(SeqKind::kOffset, (modes >> 4) & 3, p, end - p, of_);
    p += ReadSeqTable(SeqKind::kMatchLength, (modes >> 2) & 3, p, end - p, ml_);

    BackBits in;
    in.Init(p, end - p, kMsgSequenceStream);
    size_t ll_state = ll_.first + in.Read(ll_.log);
    size_t of_state = of_.first + in.Read(of_.log);
    size_t ml_state = ml_.first + in.Read(ml_.log);
    in.Reload();
    // The loop's own bit reader, all in locals so that it stays in
    // registers: `avail` counts the container's bits not yet taken (below
    // zero once the stream is overrun), so a read is a subtraction, a shift
    // and a mask. `stream_start` is the stream's first byte.
    const uint8_t* ip = in.p;
    uint64_t bits = in.bits;
    int32_t avail = 64 - static_cast<int32_t>(in.consumed);
    const uint8_t* const stream_start = in.start;
    const uint8_t* const refill_limit = stream_start + 8;
    const auto read = [&](uint32_t n) VX_ZSTD_INLINE_LAMBDA -> size_t {  // n <= 31
      avail -= static_cast<int32_t>(n);
      return static_cast<size_t>(LowBits<kBmi2>(bits >> (avail & 63), n));
    };
    // Refills while the stream is 8 or more bytes from its start.
    const auto refill_fast = [&]() VX_ZSTD_INLINE_LAMBDA {
      const uint32_t taken = static_cast<uint32_t>(64 - avail);
      ip -= taken >> 3;
      avail += static_cast<int32_t>(taken & ~7u);
      bits = Load64(ip);
    };
    // Refills near the start: steps back at most to it. An overrun
    // container (avail below zero) is always at the start, since any other
    // refill leaves 57 bits or more, so this leaves it overrun.
    const auto refill_careful = [&]() VX_ZSTD_INLINE_LAMBDA {
      size_t back = static_cast<uint32_t>(64 - avail) >> 3;
      const size_t room = static_cast<size_t>(ip - stream_start);
      if (back > room) back = room;
      ip -= back;
      avail += static_cast<int32_t>(back * 8);
      bits = Load64(ip);
    };

    const SeqCell* const cells = seq_cells_.data();
    const uint8_t* lit = literals;
    const uint8_t* const lit_end = literals + literal_count;
    uint8_t* op = out;
    uint8_t* const op_end = out + block_max;
    const uint8_t* const history = buffer_.get();
    size_t rep0 = rep_[0], rep1 = rep_[1], rep2 = rep_[2];

    // One sequence's values from the bit stream, the repeat offsets and the
    // states updated (not after the last sequence) and the container
    // refilled.
    const auto decode = [&](bool last) VX_ZSTD_INLINE_LAMBDA -> Sequence {
      const SeqCell& lc = cells[ll_state];
      const SeqCell& oc = cells[of_state];
      const SeqCell& mc = cells[ml_state];
      // Offset bits come first, then the match length's, then the literal
      // length's; past 24 offset bits the container is refilled between.
      size_t offset = oc.base + read(oc.extra_bits);
      if (VX_UNLIKELY(oc.extra_bits > 24)) refill_careful();
      const size_t match = mc.base + read(mc.extra_bits);
      const size_t length = lc.base + read(lc.extra_bits);
      // Offset values 1 to 3 name a repeat offset, shifted by one when there
      // are no literals; larger values are the offset plus 3.
      if (offset > 3) {
        rep2 = rep1;
        rep1 = rep0;
        rep0 = offset - 3;
        offset = rep0;
      } else {
        const size_t index = offset - 1 + (length == 0);
        if (index == 0) {
          offset = rep0;
        } else if (index == 1) {
          offset = rep1;
          rep1 = rep0;
          rep0 = offset;
        } else {
          offset = index == 2 ? rep2 : rep0 - 1;
          if (VX_UNLIKELY(offset == 0)) Fail(kMsgSequenceStream);
          rep2 = rep1;
          rep1 = rep0;
          rep0 = offset;
        }
      }
      // After a refill at least 57 bits are at hand: the extra bits and the
      // state updates (at most 9 + 9 + 8) usually fit, and one refill per
      // sequence does.
      if (VX_LIKELY(!last)) {
        if (VX_UNLIKELY(avail < kMaxLiteralLengthLog + kMaxMatchLengthLog + kMaxOffsetLog)) {
          refill_careful();
        }
        ll_state = lc.next_base + read(lc.bits);
        ml_state = mc.next_base + read(mc.bits);
        of_state = oc.next_base + read(oc.bits);
      }
      if (VX_LIKELY(ip >= refill_limit)) {
        refill_fast();
      } else {
        refill_careful();
        if (VX_UNLIKELY(ip == stream_start && avail < 0)) Fail(kMsgSequenceStream);
      }
      return Sequence{length, match, offset};
    };

    // Execute: literals, then the match, both within bounds checked before.
    // The first 16 bytes of each are copied at once; every copy may overrun
    // into the slack.
    const auto execute = [&](size_t length, size_t match, size_t offset) VX_ZSTD_INLINE_LAMBDA {
      std::memcpy(op, lit, 16);
      if (VX_UNLIKELY(length > 16)) WildCopy16(op + 16, lit + 16, length - 16);
      op += length;
      lit += length;
      if (VX_UNLIKELY(offset > static_cast<size_t>(op - history))) {
        CopyFromPreviousLap(op, offset, match);
      } else if (VX_LIKELY(offset >= 16)) {
        // Two steps at once: most matches are longer than 16 bytes, and a
        // test there would often be mispredicted.
        const uint8_t* from = op - offset;
        std::memcpy(op, from, 16);
        std::memcpy(op + 16, from + 16, 16);
        if (VX_UNLIKELY(match > 32)) WildCopy16(op + 32, from + 32, match - 32);
      } else {
        CopyMatch(op, offset, match);
      }
      op += match;
    };

    if (!prefetch_) {
      // Each sequence is executed as soon as it is decoded, its bounds
      // checked first.
      size_t literals_left = literal_count;
      size_t room = block_max;
      const auto step = [&](bool last) VX_ZSTD_INLINE_LAMBDA {
        const Sequence seq = decode(last);
        const size_t produced = seq.literals + seq.match;
        if (VX_UNLIKELY((seq.literals > literals_left) | (produced > room))) {
          Fail(seq.literals > literals_left ? kMsgLiteralsOverrun : kMsgBlockOverrun);
        }
        literals_left -= seq.literals;
        room -= produced;
        execute(seq.literals, seq.match, seq.offset);
      };
      for (uint32_t n = count - 1; n > 0; --n) step(false);
      step(true);
    } else {
      // Sequences are decoded kAhead ahead of their execution, and the
      // source of each match is prefetched when it is decoded: by the time
      // the match is copied its bytes are in the cache even when they lie
      // megabytes back. `ahead` is where the newest decoded sequence's match
      // will be written, as an offset from the buffer start. The bounds of
      // the whole block are checked as the sequences are decoded, so
      // execution, which follows in the same order, needs no checks of its
      // own.
      Sequence ring[kAhead];
      size_t ahead = static_cast<size_t>(op - history);
      const size_t lap_end = lap_end_;
      const size_t ahead_end = ahead + block_max;
      size_t literals_used = 0;
      const auto decode_ahead = [&](bool last) VX_ZSTD_INLINE_LAMBDA -> Sequence {
        const Sequence seq = decode(last);
        // Only a hint: a corrupt offset makes an address outside the
        // buffer, which a prefetch never faults on; execution checks it.
        ahead += seq.literals;
        const uintptr_t from = reinterpret_cast<uintptr_t>(history) + ahead - seq.offset +
                               (seq.offset > ahead ? lap_end : 0);
        VX_PREFETCH(from);
        VX_PREFETCH(from + 32);
        ahead += seq.match;
        literals_used += seq.literals;
        if (VX_UNLIKELY((ahead > ahead_end) | (literals_used > literal_count))) {
          Fail(literals_used > literal_count ? kMsgLiteralsOverrun : kMsgBlockOverrun);
        }
        return seq;
      };
      const uint32_t warm = std::min<uint32_t>(count, kAhead);
      for (uint32_t i = 0; i < warm; ++i) ring[i] = decode_ahead(i + 1 == count);
      uint32_t i = 0;
      if (count > kAhead) {
        // The main loop: each sequence decoded here has another after it.
        // The slot's fields are taken into registers before the slot is
        // reused.
        for (; i + kAhead + 1 < count; ++i) {
          Sequence& slot = ring[i % kAhead];
          const size_t length = slot.literals, match = slot.match, offset = slot.offset;
          slot = decode_ahead(false);
          execute(length, match, offset);
        }
        Sequence& slot = ring[i % kAhead];
        const size_t length = slot.literals, match = slot.match, offset = slot.offset;
        slot = decode_ahead(true);
        execute(length, match, offset);
        ++i;
      }
      for (; i < count; ++i) {
        const Sequence& slot = ring[i % kAhead];
        execute(slot.literals, slot.match, slot.offset);
      }
    }
    if (ip != stream_start || avail != 0) Fail(kMsgSequenceStream);
    rep_[0] = rep0;
    rep_[1] = rep1;
    rep_[2] = rep2;
    const size_t rest = static_cast<size_t>(lit_end - lit);
    if (static_cast<size_t>(op_end - op) < rest) Fail(kMsgBlockOverrun);
    std::memcpy(op, lit, rest);
    op += rest;
    return static_cast<size_t>(op - out);
  }

  TAbDecodeJob& job_;
  Input in_;
  std::unique_ptr<uint8_t[]> literals_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
  size_t full_size_ = 0;
  size_t lap_end_ = 0;  // where the previous lap of the ring ended
  bool wrapped_ = false;
  size_t window_ = 0;
  size_t pos_ = 0;
  size_t flushed_ = 0;
  int64_t written_ = 0;
  Xxh64 hash_;
  bool hashing_ = false;
  HuffmanTable huffman_;
  std::array<SeqCell, 3 * kSeqTableCells> seq_cells_;
  SeqTable ll_{false, 0, 0, seq_cells_.data()};
  SeqTable of_{false, 0, kSeqTableCells, seq_cells_.data() + kSeqTableCells};
  SeqTable ml_{false, 0, 2 * kSeqTableCells, seq_cells_.data() + 2 * kSeqTableCells};
  size_t rep_[3] = {1, 4, 8};
  // Whether sequences are decoded ahead of their execution, with their
  // matches prefetched: worth it for windows beyond the processor's caches.
  bool prefetch_ = false;
  const bool bmi2_;
};

}  // namespace

uint64_t ZstdXxh64(const uint8_t* data, size_t size) {
  Xxh64 h;
  h.Update(data, size);
  return h.Digest();
}

int64_t DecodeZstd(TAbDecodeJob& job) {
  ZstdDecoder decoder(job);
  return decoder.Run();
}

}  // namespace vx
