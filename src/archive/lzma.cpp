// The LZMA decoder: ZIP method 14, and the core the xz decoder's LZMA2
// chunks reuse.
//
// Why it is fast:
//  - The range decoder's state (range, code, input pointer) lives in locals
//    of one decoding loop (Run), so it stays in registers; each bit costs a
//    multiply, a compare and one probability update, and normalisation is a
//    single well-predicted test that shifts in one byte.
//  - The fast loop does not check the input per byte: it runs only while at
//    least kMaxSymbolInput bytes remain (more than the longest symbol, a
//    match with a 26-bit direct distance, can take), testing that once per
//    symbol. Near the end of the member's data the careful loop, the same
//    code with a test at every byte, takes over.
//  - All probabilities are one array; each literal context's 0x300 entries
//    are contiguous, and a matched literal selects among them with masks
//    rather than branches on the match byte.
//  - Output is decoded straight into the dictionary, a circular window
//    kWindowReserve bytes longer than the largest distance, so matches are
//    copied in 8-byte words that may overrun the match end: what they
//    overwrite is either slack past the window or history too old to be
//    referenced. Runs of one byte become a memset. Only a match whose source
//    wraps around the window end is copied a byte at a time.
//  - The window passes to the sink in pieces as it fills, never copied
//    first.
//
// Corrupt input leaves through TLzmaCore::Fail (one EAbDecompressError).
#include "archive/lzma.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__GNUC__) || defined(__clang__)
#define VX_ALWAYS_INLINE inline __attribute__((always_inline))
#define VX_NOINLINE __attribute__((noinline))
#else
#define VX_ALWAYS_INLINE inline
#define VX_NOINLINE
#endif

namespace vx {

namespace {

// --- Format constants -------------------------------------------------------

constexpr uint32_t kTopValue = uint32_t{1} << 24;
constexpr int kProbBits = 11;
constexpr uint32_t kProbOne = uint32_t{1} << kProbBits;
constexpr int kMoveBits = 5;
constexpr uint32_t kNumStates = 12;
constexpr uint32_t kLiteralStates = 7;  // states below this follow a literal
constexpr uint32_t kMaxPosBits = 4;
constexpr uint32_t kMatchMinLen = 2;
constexpr uint32_t kEndPosModelIndex = 14;
constexpr uint32_t kNumFullDistances = 128;
constexpr uint32_t kLiteralCoderSize = 0x300;
constexpr uint32_t kMinDictionary = 4096;
constexpr uint32_t kEndMarkerDistance = 0xFFFFFFFF;

// Layout of the probability array. A length coder holds choice, choice2,
// 16 low trees of 8, 16 mid trees of 8 and one high tree of 256.
constexpr uint32_t kLenChoice = 0;
constexpr uint32_t kLenChoice2 = 1;
constexpr uint32_t kLenLow = 2;
constexpr uint32_t kLenMid = kLenLow + (16 << 3);
constexpr uint32_t kLenHigh = kLenMid + (16 << 3);
constexpr uint32_t kLenCoderSize = kLenHigh + 256;

constexpr uint32_t kIsMatch = 0;
constexpr uint32_t kIsRep = kIsMatch + (kNumStates << kMaxPosBits);
constexpr uint32_t kIsRepG0 = kIsRep + kNumStates;
constexpr uint32_t kIsRepG1 = kIsRepG0 + kNumStates;
constexpr uint32_t kIsRepG2 = kIsRepG1 + kNumStates;
constexpr uint32_t kIsRep0Long = kIsRepG2 + kNumStates;
constexpr uint32_t kPosSlot = kIsRep0Long + (kNumStates << kMaxPosBits);
constexpr uint32_t kSpecPos = kPosSlot + (4 << 6);
constexpr uint32_t kAlign = kSpecPos + 1 + kNumFullDistances - kEndPosModelIndex;
constexpr uint32_t kLenCoder = kAlign + 16;
constexpr uint32_t kRepLenCoder = kLenCoder + kLenCoderSize;
constexpr uint32_t kLiteral = (kRepLenCoder + kLenCoderSize + 31) & ~31u;

constexpr uint8_t kNextAfterLiteral[kNumStates] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};

// --- Working sizes ----------------------------------------------------------

// The most input one symbol can take: a normalisation per bit, at most 48
// bits (is-match, is-rep, a 10-bit length, a 6-bit slot, 26 direct and 4
// align bits).
constexpr size_t kMaxSymbolInput = 64;
// The window is this much longer than the dictionary, so word copies that
// run past a match only ever overwrite history no distance can reach.
constexpr size_t kWindowReserve = 64;
// Allocated past the window's end for the same word copies.
constexpr size_t kWindowSlack = 64;
// Small dictionaries still get a window of up to this size, so the sink is
// not called for every few kilobytes.
constexpr size_t kPreferredWindow = size_t{1} << 20;
// Output passes to the sink at least this often.
constexpr size_t kFlushPiece = size_t{1} << 18;

// --- Range decoder ----------------------------------------------------------

// Kept as a local of the decoding loop; kCareful tests every input byte.
template <bool kCareful>
struct RangeDecoder {
  uint32_t range;
  uint32_t code;
  const uint8_t* in;
  const uint8_t* end;
  const TLzmaCore* core;

  VX_ALWAYS_INLINE void Normalize() {
    if (range < kTopValue) {
      if constexpr (kCareful) {
        if (in == end) core->Fail("the compressed data ends too early");
      }
      range <<= 8;
      code = (code << 8) | *in++;
    }
  }

  VX_ALWAYS_INLINE uint32_t Bit(uint16_t& prob) {
    const uint32_t p = prob;
    const uint32_t bound = (range >> kProbBits) * p;
    uint32_t bit;
    if (code < bound) {
      range = bound;
      prob = static_cast<uint16_t>(p + ((kProbOne - p) >> kMoveBits));
      bit = 0;
    } else {
      range -= bound;
      code -= bound;
      prob = static_cast<uint16_t>(p - (p >> kMoveBits));
      bit = 1;
    }
    Normalize();
    return bit;
  }

  // A bit tree of `bits` levels, most significant bit first.
  template <int kBits>
  VX_ALWAYS_INLINE uint32_t Tree(uint16_t* probs) {
    uint32_t m = 1;
    for (int i = 0; i < kBits; ++i) m = (m << 1) | Bit(probs[m]);
    return m - (uint32_t{1} << kBits);
  }

  // A bit tree read least significant bit first.
  VX_ALWAYS_INLINE uint32_t ReverseTree(uint16_t* probs, uint32_t bits) {
    uint32_t m = 1;
    uint32_t symbol = 0;
    for (uint32_t i = 0; i < bits; ++i) {
      const uint32_t bit = Bit(probs[m]);
      m = (m << 1) | bit;
      symbol |= bit << i;
    }
    return symbol;
  }

  // Bits of probability one half, most significant first.
  VX_ALWAYS_INLINE uint32_t Direct(uint32_t count) {
    uint32_t result = 0;
    do {
      range >>= 1;
      code -= range;
      const uint32_t t = 0u - (code >> 31);  // all ones when the bit is 0
      code += range & t;
      result = (result << 1) + (t + 1);
      Normalize();
    } while (--count != 0);
    return result;
  }

  // A match length less kMatchMinLen (0-271).
  VX_ALWAYS_INLINE uint32_t Length(uint16_t* coder, uint32_t pos_state) {
    if (Bit(coder[kLenChoice]) == 0) return Tree<3>(coder + kLenLow + (pos_state << 3));
    if (Bit(coder[kLenChoice2]) == 0) return 8 + Tree<3>(coder + kLenMid + (pos_state << 3));
    return 16 + Tree<8>(coder + kLenHigh);
  }
};

// Copies `n` bytes from `dist` back to `pos`; pos + n stays within the
// window, and dist is at most the window size.
VX_ALWAYS_INLINE void CopyMatch(uint8_t* win, size_t window_size, size_t pos, size_t dist,
                                size_t n) {
  uint8_t* dst = win + pos;
  if (pos >= dist) {
    const uint8_t* src = dst - dist;
    if (dist >= 8) {
      // May write up to 7 bytes past the match (see kWindowReserve).
      for (size_t i = 0; i < n; i += 8) std::memcpy(dst + i, src + i, 8);
    } else if (dist == 1) {
      std::memset(dst, *src, n);
    } else {
      for (size_t i = 0; i < n; ++i) dst[i] = src[i];
    }
  } else {
    size_t s = pos + window_size - dist;
    for (size_t i = 0; i < n; ++i) {
      dst[i] = win[s];
      if (++s == window_size) s = 0;
    }
  }
}

}  // namespace

// --- Input ------------------------------------------------------------------

TLzmaInput::TLzmaInput(TAbDecodeJob& job, const char* method)
    : job_(job),
      method_(method),
      buffer_(new uint8_t[kCapacity]),
      left_(job.compressed_size < 0 ? std::numeric_limits<int64_t>::max() : job.compressed_size) {}

void TLzmaInput::Refill() {
  if (head_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + head_, tail_ - head_);
    tail_ -= head_;
    head_ = 0;
  }
  const size_t want = static_cast<size_t>(
      std::min<int64_t>(left_, static_cast<int64_t>(std::min(kReadSize, kCapacity - tail_))));
  if (want == 0) return;
  const int64_t got = job_.source->Read(buffer_.get() + tail_, static_cast<int64_t>(want));
  if (got <= 0) {
    ended_ = true;
    return;
  }
  tail_ += static_cast<size_t>(got);
  left_ -= got;
  read_ += got;
  if (job_.OnInput) job_.OnInput(read_);
}

bool TLzmaInput::Ensure(size_t count) {
  while (Buffered() < count && !Exhausted()) {
    const size_t before = tail_ - head_;
    Refill();
    if (tail_ - head_ == before && !Exhausted() && tail_ == kCapacity) break;
  }
  return Buffered() >= count;
}

uint8_t TLzmaInput::Byte() {
  if (!Ensure(1)) throw EAbDecompressError(method_, "the compressed data ends too early");
  return buffer_[head_++];
}

void TLzmaInput::Read(uint8_t* dest, size_t count) {
  while (count > 0) {
    if (!Ensure(1)) throw EAbDecompressError(method_, "the compressed data ends too early");
    const size_t n = std::min(count, Buffered());
    std::memcpy(dest, Data(), n);
    Skip(n);
    dest += n;
    count -= n;
  }
}

// --- Core -------------------------------------------------------------------

void TLzmaCore::Fail(const char* cause) const {
  throw EAbDecompressError(method_, cause);
}

namespace {

uint64_t RoundWindow(uint64_t history) {
  // A multiple of 16, so positions in the window give pos_state directly.
  return (history + kWindowReserve + 4095) & ~uint64_t{4095};
}

uint64_t ProbabilityBytes(uint32_t lc_lp) {
  return 2 * (uint64_t{kLiteral} + (uint64_t{kLiteralCoderSize} << lc_lp));
}

}  // namespace

uint64_t TLzmaCore::MemoryFor(uint64_t dict_size, uint32_t lc_lp) {
  return RoundWindow(dict_size) + kWindowSlack + ProbabilityBytes(lc_lp);
}

void TLzmaCore::Allocate(uint32_t dict_size, uint32_t max_lc_lp, int64_t memory_limit) {
  dict_size_ = std::max<uint32_t>(dict_size, 1);
  uint64_t history = std::max<uint64_t>(
      dict_size_, std::min<uint64_t>(kPreferredWindow, uint64_t{dict_size_} * 16));
  if (static_cast<int64_t>(RoundWindow(history) + kWindowSlack + ProbabilityBytes(max_lc_lp)) >
      memory_limit) {
    history = dict_size_;
  }
  // Only reachable with a memory limit beyond what a 32-bit process can address.
  if (RoundWindow(history) + kWindowSlack > std::numeric_limits<size_t>::max() / 2) {
    Fail("the dictionary is too large");
  }
  const size_t size = static_cast<size_t>(RoundWindow(history));
  if (size != window_size_) {
    window_.reset();
    window_.reset(new uint8_t[size + kWindowSlack]);
    window_size_ = size;
  }
  if (!probs_ || max_lc_lp != max_lc_lp_) {
    probs_.reset();
    probs_.reset(new uint16_t[kLiteral + (kLiteralCoderSize << max_lc_lp)]);
    max_lc_lp_ = max_lc_lp;
  }
  pos_ = flushed_ = 0;
  wrapped_ = false;
  produced_ = 0;
  window_[window_size_ - 1] = 0;
  pending_len_ = 0;
}

bool TLzmaCore::SetProperties(uint32_t props_byte) {
  if (props_byte >= 9 * 5 * 5) return false;
  const uint32_t lc = props_byte % 9;
  const uint32_t lp = (props_byte / 9) % 5;
  const uint32_t pb = props_byte / 45;
  if (lc + lp > max_lc_lp_) return false;
  lc_ = lc;
  lp_ = lp;
  pb_ = pb;
  return true;
}

void TLzmaCore::ResetDictionary() {
  Flush();
  pos_ = flushed_ = 0;
  wrapped_ = false;
  produced_ = 0;
  window_[window_size_ - 1] = 0;  // the "previous byte" of the first literal
  pending_len_ = 0;
}

void TLzmaCore::ResetState() {
  const size_t count = kLiteral + (kLiteralCoderSize << (lc_ + lp_));
  std::fill_n(probs_.get(), count, static_cast<uint16_t>(kProbOne / 2));
  state_ = 0;
  rep0_ = rep1_ = rep2_ = rep3_ = 0;
  pending_len_ = 0;
}

bool TLzmaCore::StartRangeCoder(const uint8_t* in) {
  range_ = 0xFFFFFFFF;
  code_ = uint32_t{in[1]} << 24 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 8 | in[4];
  return in[0] == 0 && code_ != range_;
}

void TLzmaCore::Flush() {
  if (pos_ > flushed_) {
    sink_.Put(window_.get() + flushed_, pos_ - flushed_);
    flushed_ = pos_;
  }
}

void TLzmaCore::Advance(size_t before) {
  produced_ += pos_ - before;
  if (pos_ == window_size_) {
    Flush();
    pos_ = flushed_ = 0;
    wrapped_ = true;
  } else if (pos_ - flushed_ >= kFlushPiece) {
    Flush();
  }
}

void TLzmaCore::CopyPending(size_t limit) {
  const size_t n = std::min<size_t>(pending_len_, limit - pos_);
  CopyMatch(window_.get(), window_size_, pos_, size_t{rep0_} + 1, n);
  pos_ += n;
  pending_len_ -= static_cast<uint32_t>(n);
}

void TLzmaCore::AppendUncompressed(const uint8_t* data, size_t size) {
  while (size > 0) {
    const size_t before = pos_;
    const size_t n = std::min(size, window_size_ - pos_);
    std::memcpy(window_.get() + pos_, data, n);
    pos_ += n;
    data += n;
    size -= n;
    Advance(before);
  }
}

TLzmaCore::Stop TLzmaCore::Decode(const uint8_t*& in, const uint8_t* end, bool final,
                                  uint64_t count) {
  while (count > 0) {
    const size_t before = pos_;
    const size_t limit = pos_ + static_cast<size_t>(std::min<uint64_t>(count, window_size_ - pos_));
    Stop stop = Stop::kLimit;
    if (pending_len_ != 0) CopyPending(limit);
    if (pos_ < limit) {
      if (end - in > static_cast<ptrdiff_t>(kMaxSymbolInput)) {
        stop = Run<false>(in, end - kMaxSymbolInput, limit);
      } else if (final) {
        stop = Run<true>(in, end, limit);
      } else {
        stop = Stop::kInput;
      }
    }
    count -= pos_ - before;
    Advance(before);
    if (stop == Stop::kEndMarker || (stop == Stop::kInput && !final)) return stop;
  }
  return Stop::kLimit;
}

// The decoding loop. In the fast form `end` is the last input position at
// which a whole symbol may start; in the careful form it is the real end.
template <bool kCareful>
TLzmaCore::Stop TLzmaCore::Run(const uint8_t*& in, const uint8_t* end, size_t limit) {
  RangeDecoder<kCareful> rc{range_, code_, in, end, this};
  uint8_t* const win = window_.get();
  const size_t window_size = window_size_;
  uint16_t* const probs = probs_.get();
  const uint32_t pb_mask = (uint32_t{1} << pb_) - 1;
  const uint32_t lp_mask = (uint32_t{1} << lp_) - 1;
  const uint32_t lc = lc_;
  const uint32_t dict_size = dict_size_;
  const bool wrapped = wrapped_;
  uint32_t state = state_;
  uint32_t rep0 = rep0_, rep1 = rep1_, rep2 = rep2_, rep3 = rep3_;
  size_t pos = pos_;
  Stop stop = Stop::kLimit;

  while (pos < limit) {
    if constexpr (!kCareful) {
      if (rc.in > end) {
        stop = Stop::kInput;
        break;
      }
    }
    const uint32_t pos_state = static_cast<uint32_t>(pos) & pb_mask;
    if (rc.Bit(probs[kIsMatch + (state << kMaxPosBits) + pos_state]) == 0) {
      const uint32_t prev = win[(pos != 0 ? pos : window_size) - 1];
      uint16_t* lit =
          probs + kLiteral +
          kLiteralCoderSize * (((static_cast<uint32_t>(pos) & lp_mask) << lc) + (prev >> (8 - lc)));
      uint32_t symbol = 1;
      if (state < kLiteralStates) {
        for (int i = 0; i < 8; ++i) symbol = (symbol << 1) | rc.Bit(lit[symbol]);
      } else {
        if (!wrapped && rep0 >= pos) Fail("a distance reaches before the start of the data");
        const size_t src = pos > rep0 ? pos - rep0 - 1 : pos + window_size - rep0 - 1;
        uint32_t match_byte = win[src];
        uint32_t offs = 0x100;
        do {
          match_byte <<= 1;
          const uint32_t match_bit = match_byte & offs;
          const uint32_t bit = rc.Bit(lit[offs + match_bit + symbol]);
          symbol = (symbol << 1) | bit;
          offs &= bit ? match_bit : ~match_bit;
        } while (symbol < 0x100);
      }
      win[pos++] = static_cast<uint8_t>(symbol);
      state = kNextAfterLiteral[state];
      continue;
    }

    uint32_t len;
    if (rc.Bit(probs[kIsRep + state]) == 0) {
      len = rc.Length(probs + kLenCoder, pos_state);
      state = state < kLiteralStates ? 7 : 10;
      const uint32_t len_state = len < 3 ? len : 3;
      const uint32_t slot = rc.template Tree<6>(probs + kPosSlot + (len_state << 6));
      uint32_t dist;
      if (slot < 4) {
        dist = slot;
      } else {
        const uint32_t direct = (slot >> 1) - 1;
        dist = (2 | (slot & 1)) << direct;
        if (slot < kEndPosModelIndex) {
          dist += rc.ReverseTree(probs + kSpecPos + dist - slot, direct);
        } else {
          dist += rc.Direct(direct - 4) << 4;
          dist += rc.ReverseTree(probs + kAlign, 4);
        }
      }
      if (dist == kEndMarkerDistance) {
        stop = Stop::kEndMarker;
        break;
      }
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
      rep0 = dist;
      if (dist >= dict_size) Fail("a distance exceeds the dictionary size");
    } else {
      if (rc.Bit(probs[kIsRepG0 + state]) == 0) {
        if (rc.Bit(probs[kIsRep0Long + (state << kMaxPosBits) + pos_state]) == 0) {
          if (!wrapped && rep0 >= pos) Fail("a distance reaches before the start of the data");
          const size_t src = pos > rep0 ? pos - rep0 - 1 : pos + window_size - rep0 - 1;
          win[pos] = win[src];
          ++pos;
          state = state < kLiteralStates ? 9 : 11;
          continue;
        }
      } else {
        uint32_t dist;
        if (rc.Bit(probs[kIsRepG1 + state]) == 0) {
          dist = rep1;
        } else {
          if (rc.Bit(probs[kIsRepG2 + state]) == 0) {
            dist = rep2;
          } else {
            dist = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = dist;
      }
      len = rc.Length(probs + kRepLenCoder, pos_state);
      state = state < kLiteralStates ? 8 : 11;
    }
    if (!wrapped && rep0 >= pos) Fail("a distance reaches before the start of the data");
    len += kMatchMinLen;
    const size_t n = std::min<size_t>(len, limit - pos);
    CopyMatch(win, window_size, pos, size_t{rep0} + 1, n);
    pos += n;
    pending_len_ = len - static_cast<uint32_t>(n);
  }

  range_ = rc.range;
  code_ = rc.code;
  in = rc.in;
  state_ = state;
  rep0_ = rep0;
  rep1_ = rep1;
  rep2_ = rep2;
  rep3_ = rep3;
  pos_ = pos;
  return stop;
}

// --- Method 14 --------------------------------------------------------------

namespace {

constexpr char kMethod[] = "LZMA";
// Version (2), properties size (2), properties (5).
constexpr size_t kZipHeaderSize = 9;
constexpr uint32_t kZipPropertiesSize = 5;

class TStreamSink : public TLzmaSink {
 public:
  explicit TStreamSink(TStream& dest) : dest_(dest) {}
  void Put(const uint8_t* data, size_t size) override {
    dest_.WriteBuffer(data, static_cast<int64_t>(size));
    written_ += static_cast<int64_t>(size);
  }
  int64_t written_ = 0;

 private:
  TStream& dest_;
};

}  // namespace

int64_t DecodeLzma(TAbDecodeJob& job) {
  TLzmaInput input(job, kMethod);
  TStreamSink sink(*job.dest);
  TLzmaCore core(kMethod, sink);

  uint8_t header[kZipHeaderSize];
  if (!input.Ensure(kZipHeaderSize)) core.Fail("the compressed data ends too early");
  std::memcpy(header, input.Data(), kZipHeaderSize);
  input.Skip(kZipHeaderSize);
  if ((header[2] | header[3] << 8) != kZipPropertiesSize) core.Fail("unsupported properties size");
  uint32_t dict = header[5] | header[6] << 8 | header[7] << 16 | uint32_t{header[8]} << 24;
  dict = std::max(dict, kMinDictionary);
  if (header[4] >= 9 * 5 * 5) core.Fail("invalid lc/lp/pb properties");
  const uint32_t lc_lp = header[4] % 9 + (header[4] / 9) % 5;
  // History beyond the declared size is never referenced.
  uint64_t needed = dict;
  if (job.output_limit >= 0) needed = std::min<uint64_t>(needed, job.output_limit);
  if (static_cast<int64_t>(TLzmaCore::MemoryFor(needed, lc_lp)) > job.memory_limit) {
    core.Fail("the dictionary needs more memory than allowed");
  }
  if (job.output_limit == 0) return 0;
  core.Allocate(static_cast<uint32_t>(needed), lc_lp, job.memory_limit);
  core.SetProperties(header[4]);
  core.ResetState();

  if (!input.Ensure(TLzmaCore::kRangeCoderStartBytes)) {
    core.Fail("the compressed data ends too early");
  }
  if (!core.StartRangeCoder(input.Data())) core.Fail("invalid range coder start");
  input.Skip(TLzmaCore::kRangeCoderStartBytes);

  const uint64_t wanted = job.output_limit >= 0 ? static_cast<uint64_t>(job.output_limit)
                                                : std::numeric_limits<uint64_t>::max();
  for (;;) {
    input.Ensure(TLzmaInput::kReadSize);
    const uint8_t* in = input.Data();
    const bool final = input.Exhausted();
    const TLzmaCore::Stop stop =
        core.Decode(in, in + input.Buffered(), final, wanted - core.Produced());
    input.Skip(static_cast<size_t>(in - input.Data()));
    if (stop == TLzmaCore::Stop::kEndMarker) {
      if (job.output_limit >= 0 && core.Produced() != wanted) {
        core.Fail("the end marker comes before the declared size");
      }
      break;
    }
    if (stop == TLzmaCore::Stop::kLimit) break;
  }
  core.Flush();
  return sink.written_;
}

}  // namespace vx
