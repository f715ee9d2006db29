// The bzip2 decoder.
//
// A stream is "BZh" and a level digit (the block size in units of 100 000
// bytes), then blocks, each a Burrows-Wheeler transformed, move-to-front and
// run-length coded, Huffman coded piece of at most level * 100 000 bytes,
// then an end marker with the check value of the whole stream. Bits are read
// most significant first, and blocks are not byte aligned.
//
// Why it is fast:
//  - The bit buffer is 64 bits wide and refills with one big-endian 8-byte
//    load while the input buffer has 8 bytes left, so a refill guarantees
//    kRefillBits bits: enough for two symbols of the longest code.
//  - Huffman symbols are decoded through a table indexed by the next
//    kRootBits bits; each entry holds the symbol and its length. Only codes
//    longer than that (rare: the encoder keeps frequent symbols short) take
//    the canonical-code walk.
//  - The inverse transform uses one packed vector: entry i holds the block's
//    byte i in its low 8 bits and the index of the entry that follows in its
//    upper 24 bits, so each output byte costs a single (cache-missing) load
//    that yields both the byte and the next position.
//  - The final run-length step is decoded in the same loop into an output
//    buffer with slack for the longest run, and the block check value is
//    computed over whole buffers, eight bytes per step.
//
// Memory: the packed vector (4 bytes per block byte, sized from the stream
// header's level, so at most 3.6 MB) and fixed tables. Every count taken
// from the input is checked against its bound before it is used; corrupt
// input leaves through Corrupt().
#include "archive/bzip2.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/stream.h"

#if defined(__GNUC__) || defined(__clang__)
#define VX_LIKELY(x) __builtin_expect(!!(x), 1)
#define VX_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define VX_LIKELY(x) (x)
#define VX_UNLIKELY(x) (x)
#endif

namespace vx {

namespace {

// --- Format bounds ------------------------------------------------------------

constexpr uint32_t kLevelUnit = 100000;
constexpr uint32_t kMaxBlockSize = 9 * kLevelUnit;
constexpr int kMinGroups = 2;
constexpr int kMaxGroups = 6;
constexpr int kGroupSize = 50;
// More selectors than a full block can use are read and dropped.
constexpr int kMaxSelectors = kMaxBlockSize / kGroupSize + 2;
// RUNA, RUNB, up to 255 move-to-front positions and the end of block.
constexpr int kMaxAlphabet = 258;
constexpr int kMaxCodeLength = 20;
constexpr uint64_t kBlockMagic = 0x314159265359;
constexpr uint64_t kEndMagic = 0x177245385090;
constexpr int kRunB = 1;

// --- Decoder sizes ------------------------------------------------------------

constexpr int kRootBits = 11;
// Bits present after a refill; a symbol takes at most kMaxCodeLength.
constexpr int kRefillBits = 56;
constexpr size_t kInputChunk = 32768;
constexpr size_t kOutputChunk = 65536;
// A run-length count writes up to 255 bytes at once.
constexpr size_t kOutputSlack = 256;

[[noreturn]] void Corrupt(const char* cause) {
  throw EAbDecompressError("bzip2", cause);
}

// --- Check value: CRC-32 with polynomial 0x04C11DB7, most significant bit first

struct CrcTables {
  uint32_t t[8][256];
};

constexpr CrcTables MakeCrcTables() {
  CrcTables c{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 24;
    for (int b = 0; b < 8; ++b) r = (r << 1) ^ ((r & 0x80000000u) ? 0x04C11DB7u : 0);
    c.t[0][i] = r;
  }
  for (int k = 1; k < 8; ++k) {
    for (int i = 0; i < 256; ++i) {
      const uint32_t prev = c.t[k - 1][i];
      c.t[k][i] = (prev << 8) ^ c.t[0][prev >> 24];
    }
  }
  return c;
}

alignas(64) constexpr CrcTables kCrc = MakeCrcTables();

inline uint32_t LoadBE32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Continues a raw register (start 0xFFFFFFFF, invert at the end).
uint32_t CrcUpdate(uint32_t reg, const uint8_t* p, size_t size) {
  const auto& t = kCrc.t;
  while (size >= 8) {
    const uint32_t a = LoadBE32(p) ^ reg;
    const uint32_t b = LoadBE32(p + 4);
    reg = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFF] ^ t[5][(a >> 8) & 0xFF] ^ t[4][a & 0xFF] ^
          t[3][b >> 24] ^ t[2][(b >> 16) & 0xFF] ^ t[1][(b >> 8) & 0xFF] ^ t[0][b & 0xFF];
    p += 8;
    size -= 8;
  }
  while (size--) reg = (reg << 8) ^ t[0][(reg >> 24) ^ *p++];
  return reg;
}

// --- Bit reader -----------------------------------------------------------------
//
// The valid bits are the top `bits_` bits of `buf_`. Past the end of the
// input the refill pads with zero bytes and counts them in `padding_`: once
// more than eight have been added (more than the buffer holds), a padded bit
// was consumed and the stream is truncated. Stream ends check it exactly.
class BitReader {
 public:
  explicit BitReader(TAbDecodeJob& job)
      : job_(job), input_(kInputChunk), remaining_(job.compressed_size) {}

  void Refill() {
    if (VX_LIKELY(end_ - next_ >= 8)) {
      uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v = v << 8 | next_[i];
      buf_ |= v >> bits_;
      next_ += (63 - bits_) >> 3;
      bits_ |= kRefillBits;
    } else {
      RefillCarefully();
    }
  }
  void Need(int n) {
    if (bits_ < n) Refill();
  }
  uint32_t Peek(int n) const { return static_cast<uint32_t>(buf_ >> (64 - n)); }
  void Consume(int n) {
    buf_ <<= n;
    bits_ -= n;
  }
  // 1 <= n <= 32.
  uint32_t Bits(int n) {
    Need(n);
    const uint32_t v = Peek(n);
    Consume(n);
    return v;
  }
  bool Bit() { return Bits(1) != 0; }
  uint64_t Bits48() {
    const uint64_t high = Bits(24);
    return high << 24 | Bits(24);
  }

  void AlignToByte() { Consume(bits_ & 7); }
  void CheckNotPastEnd() const {
    if (padding_ * 8 > bits_) Corrupt("unexpected end of data");
  }
  // Whether whole input bytes remain, after AlignToByte.
  bool AtEnd() {
    Need(32);
    return bits_ == padding_ * 8;
  }
  // The next four bytes without consuming them (zeros past the end).
  uint32_t PeekBytes4() {
    Need(32);
    return Peek(32);
  }

 private:
  // One byte at a time, loading input chunks as needed.
  void RefillCarefully() {
    buf_ = bits_ == 0 ? 0 : buf_ & (~uint64_t{0} << (64 - bits_));
    while (bits_ <= kRefillBits) {
      if (next_ == end_ && !LoadChunk()) {
        if (++padding_ > 8) Corrupt("unexpected end of data");
      } else {
        buf_ |= uint64_t{*next_++} << (56 - bits_);
      }
      bits_ += 8;
    }
  }

  bool LoadChunk() {
    if (remaining_ == 0) return false;
    size_t want = input_.size();
    if (remaining_ > 0) want = static_cast<size_t>(std::min<int64_t>(remaining_, want));
    const int64_t got = job_.source->Read(input_.data(), static_cast<int64_t>(want));
    if (got <= 0) {
      remaining_ = 0;
      return false;
    }
    if (remaining_ > 0) remaining_ -= got;
    consumed_ += got;
    if (job_.OnInput) job_.OnInput(consumed_);
    next_ = input_.data();
    end_ = next_ + got;
    return true;
  }

  TAbDecodeJob& job_;
  std::vector<uint8_t> input_;
  const uint8_t* next_ = nullptr;
  const uint8_t* end_ = nullptr;
  int64_t remaining_;  // compressed bytes not yet read; -1: to the source's end
  int64_t consumed_ = 0;
  uint64_t buf_ = 0;
  int bits_ = 0;
  int padding_ = 0;
};

// --- Huffman tables ---------------------------------------------------------------
//
// Canonical codes: shorter codes first, equal lengths in symbol order. A root
// entry holds symbol << 5 | length for codes of up to kRootBits bits, else 0.
struct HuffmanTable {
  uint16_t root[1 << kRootBits];
  uint32_t first[kMaxCodeLength + 2];  // first code of each length
  uint16_t count[kMaxCodeLength + 2];
  uint16_t offset[kMaxCodeLength + 2];  // index of its first symbol in `sorted`
  uint16_t sorted[kMaxAlphabet];
  int max_length;

  void Build(const uint8_t* lengths, int alphabet) {
    std::fill(std::begin(count), std::end(count), 0);
    for (int s = 0; s < alphabet; ++s) count[lengths[s]]++;
    int32_t room = 1;
    max_length = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
      room = room * 2 - count[len];
      if (room < 0) Corrupt("code lengths describe an over-subscribed code");
      if (count[len]) max_length = len;
    }
    uint32_t code = 0;
    uint16_t index = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
      first[len] = code;
      offset[len] = index;
      code = (code + count[len]) << 1;
      index = static_cast<uint16_t>(index + count[len]);
    }
    uint16_t next[kMaxCodeLength + 2];
    std::copy(std::begin(offset), std::end(offset), std::begin(next));
    for (int s = 0; s < alphabet; ++s) sorted[next[lengths[s]]++] = static_cast<uint16_t>(s);

    std::fill(std::begin(root), std::end(root), 0);
    for (int len = 1; len <= std::min(max_length, kRootBits); ++len) {
      const int span = 1 << (kRootBits - len);
      for (int i = 0; i < count[len]; ++i) {
        const uint16_t entry = static_cast<uint16_t>(sorted[offset[len] + i] << 5 | len);
        const uint32_t start = (first[len] + i) << (kRootBits - len);
        std::fill_n(root + start, span, entry);
      }
    }
  }

  // Needs kMaxCodeLength bits in the reader.
  int Decode(BitReader& in) const {
    const uint32_t entry = root[in.Peek(kRootBits)];
    if (VX_LIKELY(entry != 0)) {
      in.Consume(entry & 31);
      return entry >> 5;
    }
    return DecodeLong(in);
  }

  int DecodeLong(BitReader& in) const {
    for (int len = kRootBits + 1; len <= max_length; ++len) {
      const uint32_t code = in.Peek(len) - first[len];
      if (code < count[len]) {
        in.Consume(len);
        return sorted[offset[len] + code];
      }
    }
    Corrupt("decoded an unused Huffman code");
  }
};

// --- The decoder ------------------------------------------------------------------

class Decoder {
 public:
  explicit Decoder(TAbDecodeJob& job) : job_(job), in_(job), out_(kOutputChunk + kOutputSlack) {}

  int64_t Run() {
    if (!ReadStreamHeader()) Corrupt("no bzip2 stream header");
    for (;;) {
      DecodeStream();
      in_.AlignToByte();
      in_.CheckNotPastEnd();
      // Another stream may follow; anything else after a stream is ignored.
      if (in_.AtEnd()) break;
      const uint32_t next = in_.PeekBytes4();
      if ((next >> 8) != 0x425A68 || (next & 0xFF) < '1' || (next & 0xFF) > '9') break;
      ReadStreamHeader();
    }
    return written_;
  }

 private:
  bool ReadStreamHeader() {
    const uint32_t header = in_.Bits(32);
    const uint32_t level = header & 0xFF;
    if ((header >> 8) != 0x425A68 || level < '1' || level > '9') return false;
    in_.CheckNotPastEnd();
    block_limit_ = (level - '0') * kLevelUnit;
    const int64_t bytes = int64_t{block_limit_} * 4;
    if (bytes > job_.memory_limit) Corrupt("block size exceeds the memory limit");
    // Not cleared: a block writes every entry it reads.
    if (tt_size_ < block_limit_) {
      tt_.reset(new uint32_t[block_limit_]);
      tt_size_ = block_limit_;
    }
    return true;
  }

  void DecodeStream() {
    uint32_t combined = 0;
    for (;;) {
      const uint64_t magic = in_.Bits48();
      if (magic == kEndMagic) {
        const uint32_t stored = in_.Bits(32);
        in_.CheckNotPastEnd();
        if (stored != combined) Corrupt("stream check value mismatch");
        return;
      }
      if (magic != kBlockMagic) Corrupt("bad block signature");
      const uint32_t stored = in_.Bits(32);
      const uint32_t crc = DecodeBlock();
      if (crc != stored) Corrupt("block check value mismatch");
      combined = (combined << 1 | combined >> 31) ^ crc;
    }
  }

  // Reads one block after its signature and check value; returns the check
  // value of what it wrote.
  uint32_t DecodeBlock() {
    if (in_.Bit()) Corrupt("randomised blocks (an obsolete variant) are not supported");
    const uint32_t orig_ptr = in_.Bits(24);

    // The bytes in use, as sixteen ranges of sixteen.
    uint8_t mtf[256];
    int in_use = 0;
    const uint32_t ranges = in_.Bits(16);
    for (int r = 0; r < 16; ++r) {
      if (!(ranges & (0x8000u >> r))) continue;
      const uint32_t used = in_.Bits(16);
      for (int b = 0; b < 16; ++b) {
        if (used & (0x8000u >> b)) mtf[in_use++] = static_cast<uint8_t>(r * 16 + b);
      }
    }
    if (in_use == 0) Corrupt("block uses no byte values");
    const int alphabet = in_use + 2;
    const int end_of_block = in_use + 1;

    const int groups = static_cast<int>(in_.Bits(3));
    if (groups < kMinGroups || groups > kMaxGroups) Corrupt("invalid number of Huffman tables");
    const int declared_selectors = static_cast<int>(in_.Bits(15));
    if (declared_selectors < 1) Corrupt("invalid number of selectors");
    const int selectors = std::min(declared_selectors, kMaxSelectors);
    uint8_t group_mtf[kMaxGroups] = {0, 1, 2, 3, 4, 5};
    for (int i = 0; i < declared_selectors; ++i) {
      int j = 0;
      while (in_.Bit()) {
        if (++j >= groups) Corrupt("selector out of range");
      }
      if (i >= selectors) continue;
      const uint8_t g = group_mtf[j];
      for (; j > 0; --j) group_mtf[j] = group_mtf[j - 1];
      group_mtf[0] = g;
      selector_[i] = g;
    }

    for (int t = 0; t < groups; ++t) {
      uint8_t lengths[kMaxAlphabet];
      int length = static_cast<int>(in_.Bits(5));
      for (int s = 0; s < alphabet; ++s) {
        for (;;) {
          if (length < 1 || length > kMaxCodeLength) Corrupt("invalid code length");
          if (!in_.Bit()) break;
          length += in_.Bit() ? -1 : 1;
        }
        lengths[s] = static_cast<uint8_t>(length);
      }
      tables_[t].Build(lengths, alphabet);
    }

    // Symbols: runs of the front byte (RUNA/RUNB digits of a bijective base-2
    // count) and move-to-front positions, collected in tt_'s low bytes.
    uint32_t* const tt = tt_.get();
    const uint32_t limit = block_limit_;
    uint32_t counts[256] = {};
    uint32_t n = 0;
    uint32_t run = 0;
    int run_shift = 0;
    int group = 0;
    int left_in_group = 0;
    const HuffmanTable* table = nullptr;
    for (;;) {
      if (left_in_group == 0) {
        if (group >= selectors) Corrupt("more symbols than selectors");
        table = &tables_[selector_[group++]];
        left_in_group = kGroupSize;
      }
      --left_in_group;
      in_.Need(kMaxCodeLength);
      const int sym = table->Decode(in_);
      if (sym <= kRunB) {
        run += static_cast<uint32_t>(sym + 1) << run_shift;
        ++run_shift;
        if (run > limit) Corrupt("run exceeds the block size");
        continue;
      }
      if (run != 0) {
        if (run > limit - n) Corrupt("block exceeds its declared size");
        std::fill_n(tt + n, run, uint32_t{mtf[0]});
        counts[mtf[0]] += run;
        n += run;
        run = 0;
        run_shift = 0;
      }
      if (sym == end_of_block) break;
      if (n >= limit) Corrupt("block exceeds its declared size");
      const int index = sym - 1;
      const uint8_t b = mtf[index];
      if (index < 16) {
        for (int k = index; k > 0; --k) mtf[k] = mtf[k - 1];
      } else {
        std::memmove(mtf + 1, mtf, static_cast<size_t>(index));
      }
      mtf[0] = b;
      tt[n++] = b;
      counts[b]++;
    }
    in_.CheckNotPastEnd();
    if (orig_ptr >= n) Corrupt("block origin out of range");

    // Inverse transform: link each entry to the one that follows it.
    uint32_t next_of[256];
    uint32_t sum = 0;
    for (int b = 0; b < 256; ++b) {
      next_of[b] = sum;
      sum += counts[b];
    }
    for (uint32_t i = 0; i < n; ++i) tt[next_of[tt[i] & 0xFF]++] |= i << 8;

    return Emit(tt, n, tt[orig_ptr] >> 8);
  }

  // Follows the links from `pos`, undoes the initial run-length step (four
  // equal bytes are followed by a count of further copies) and writes out.
  uint32_t Emit(const uint32_t* tt, uint32_t n, uint32_t pos) {
    uint32_t crc = 0xFFFFFFFF;
    uint8_t* const out = out_.data();
    uint8_t* o = out;
    uint32_t last = 256;  // no byte
    int same = 0;
    uint32_t left = n;
    while (left != 0) {
      uint8_t* const stop = out + kOutputChunk;
      while (left != 0 && o < stop) {
        const uint32_t e = tt[pos];
        pos = e >> 8;
        const uint32_t b = e & 0xFF;
        --left;
        if (same == 4) {
          std::memset(o, static_cast<int>(last), b);
          o += b;
          same = 0;
          last = 256;
          continue;
        }
        *o++ = static_cast<uint8_t>(b);
        if (b == last) {
          ++same;
        } else {
          last = b;
          same = 1;
        }
      }
      crc = Flush(crc, static_cast<size_t>(o - out));
      o = out;
    }
    return ~crc;
  }

  uint32_t Flush(uint32_t crc, size_t size) {
    if (size == 0) return crc;
    crc = CrcUpdate(crc, out_.data(), size);
    int64_t allowed = static_cast<int64_t>(size);
    if (job_.output_limit >= 0) allowed = std::min(allowed, job_.output_limit - written_);
    if (allowed > 0) job_.dest->WriteBuffer(out_.data(), allowed);
    written_ += allowed;
    if (allowed < static_cast<int64_t>(size)) Corrupt("more data than the declared size");
    return crc;
  }

  TAbDecodeJob& job_;
  BitReader in_;
  std::vector<uint8_t> out_;
  std::unique_ptr<uint32_t[]> tt_;
  uint32_t tt_size_ = 0;
  uint32_t block_limit_ = 0;
  int64_t written_ = 0;
  uint8_t selector_[kMaxSelectors];
  HuffmanTable tables_[kMaxGroups];
};

}  // namespace

int64_t DecodeBzip2(TAbDecodeJob& job) {
  auto decoder = std::make_unique<Decoder>(job);
  return decoder->Run();
}

}  // namespace vx
