// The PPMd decoder (variant I, revision 1).
//
// PPM predicts each byte from the longest context (the bytes before it, up
// to the model order) seen before: a context lists the symbols that
// followed it, with counts. The coder first tries the current context; a
// symbol it has not seen there costs an escape to the next shorter context
// (its suffix), where the symbols already ruled out are masked, down to the
// order-0 context that holds all 256. Escape counts come from adaptive
// secondary estimates (SEE), and contexts with a single symbol use a binary
// probability table instead of counts. After each symbol the model adds it
// to the contexts that missed it and creates the longer contexts it opens.
//
// The model lives in one block of the size the member header gives, as the
// writer's did: the encoder and the decoder must run out of memory at the
// same symbol and then restart or cut off the model identically, so the
// block's layout, the allocator's unit sizes, free lists and their order,
// and the text area growing from the bottom are all part of the format.
// Everything in the block is addressed by 32-bit offsets from its start (0
// is "none"); fields are read and written through small accessors.
//
// Why it is fast enough: the work per byte is a short walk over one
// context's symbols, usually the first (the most frequent symbol is kept
// first); the range coder shifts in a byte only when the range has shrunk
// below 2^24. After an escape, the next context's unmasked total is summed
// through a byte mask, two states a step with no step waiting on another,
// instead of first listing the unmasked states: that walk over contexts of
// up to 256 symbols is where binary data spends most of its time. PPMd is
// an order of magnitude slower than LZ decoders by nature (the model is
// pointer chasing through many megabytes); what matters is doing no more
// than the model needs.
//
// Hostile input cannot steer the model outside its block: input only picks
// which symbol comes next, and the model's structure holds for any sequence
// of symbols. What input can do is make a sequence no writer would: every
// range coder count is checked against its total, the few divisions by
// model counts against zero, and a model that cutting off cannot shrink
// (where a writer would cut forever) is refused after kMaxCutOffPasses.
// Corrupt input leaves through Corrupt(). The fuzzer also runs models of a
// few kilobytes (DecodePpmdWithModelSize), which fill up at once.
#include "archive/ppmd.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/stream.h"

namespace vx {

namespace {

constexpr char kMethod[] = "PPMd";

[[noreturn]] void Corrupt(const char* cause) {
  throw EAbDecompressError(kMethod, cause);
}

// --- Format constants ---------------------------------------------------------

constexpr uint32_t kMinOrder = 2;
constexpr uint32_t kMinModelBytes = 2048;
constexpr uint32_t kRestart = 0;
constexpr uint32_t kCutOff = 1;
constexpr int kMaxCutOffPasses = 40;

constexpr uint32_t kUnitSize = 12;
constexpr unsigned kNumIndexes =
    38;  // block sizes of 1-4, 6-12 by 2, 15-24 by 3, 28-128 by 4 units
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinBits = kIntBits + kPeriodBits;
constexpr uint32_t kBinScale = uint32_t{1} << kBinBits;
constexpr uint32_t kEmptyNode = 0xFFFFFFFF;

constexpr uint32_t kTop = uint32_t{1} << 24;
constexpr uint32_t kBottom = uint32_t{1} << 15;

constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                     0x64A1, 0x5ABC, 0x6632, 0x6051};

struct Tables {
  uint8_t indx2units[kNumIndexes];
  uint8_t units2indx[128];
  uint8_t ns2bs_indx[256];  // by a context's symbol count - 1
  uint8_t ns2indx[260];
};

constexpr Tables MakeTables() {
  Tables t{};
  unsigned k = 0;
  for (unsigned i = 0; i < kNumIndexes; ++i) {
    unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
    do {
      t.units2indx[k++] = static_cast<uint8_t>(i);
    } while (--step);
    t.indx2units[i] = static_cast<uint8_t>(k);
  }
  t.ns2bs_indx[0] = 0;
  t.ns2bs_indx[1] = 2;
  for (unsigned i = 2; i < 11; ++i) t.ns2bs_indx[i] = 4;
  for (unsigned i = 11; i < 256; ++i) t.ns2bs_indx[i] = 6;
  unsigned i = 0;
  for (; i < 5; ++i) t.ns2indx[i] = static_cast<uint8_t>(i);
  unsigned m = i;
  k = 1;
  for (; i < 260; ++i) {
    t.ns2indx[i] = static_cast<uint8_t>(m);
    if (--k == 0) k = (++m) - 4;
  }
  return t;
}

constexpr Tables kTables = MakeTables();

inline unsigned I2U(unsigned indx) {
  return kTables.indx2units[indx];
}
inline unsigned U2I(unsigned nu) {
  return kTables.units2indx[nu - 1];
}
inline uint32_t U2B(uint32_t nu) {
  return nu * kUnitSize;
}

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

// --- Records in the model's block ------------------------------------------------
//
// A state (6 bytes): symbol, count, successor (the context that follows
// this symbol, or a position in the text area while that context does not
// exist yet). A context (one 12-byte unit): symbol count - 1, flags, total
// count, its states, its suffix; a context with one symbol keeps that state
// inside itself, over the total and the states' offset. A free block: an
// all-ones stamp, the next free block, its size in units.
using State = uint8_t*;
using Context = uint8_t*;
constexpr uint32_t kStateSize = 6;

inline unsigned Sym(const uint8_t* s) {
  return s[0];
}
inline unsigned Freq(const uint8_t* s) {
  return s[1];
}
inline void SetFreq(uint8_t* s, unsigned f) {
  s[1] = static_cast<uint8_t>(f);
}
inline uint32_t Successor(const uint8_t* s) {
  return Load32(s + 2);
}
inline void SetSuccessor(uint8_t* s, uint32_t v) {
  Store32(s + 2, v);
}
inline void CopyState(uint8_t* to, const uint8_t* from) {
  std::memcpy(to, from, kStateSize);
}
inline void SwapStates(uint8_t* a, uint8_t* b) {
  uint8_t t[kStateSize];
  std::memcpy(t, a, kStateSize);
  std::memcpy(a, b, kStateSize);
  std::memcpy(b, t, kStateSize);
}

inline unsigned NumStats(const uint8_t* c) {
  return c[0];
}
inline void SetNumStats(uint8_t* c, unsigned n) {
  c[0] = static_cast<uint8_t>(n);
}
inline unsigned Flags(const uint8_t* c) {
  return c[1];
}
inline void SetFlags(uint8_t* c, unsigned f) {
  c[1] = static_cast<uint8_t>(f);
}
inline unsigned SummFreq(const uint8_t* c) {
  return Load16(c + 2);
}
inline void SetSummFreq(uint8_t* c, unsigned f) {
  Store16(c + 2, f);
}
inline uint32_t StatsRef(const uint8_t* c) {
  return Load32(c + 4);
}
inline void SetStatsRef(uint8_t* c, uint32_t r) {
  Store32(c + 4, r);
}
inline uint32_t SuffixRef(const uint8_t* c) {
  return Load32(c + 8);
}
inline void SetSuffixRef(uint8_t* c, uint32_t r) {
  Store32(c + 8, r);
}
inline uint8_t* OneState(uint8_t* c) {
  return c + 2;
}

inline uint32_t NodeStamp(const uint8_t* n) {
  return Load32(n);
}
inline uint32_t NodeNext(const uint8_t* n) {
  return Load32(n + 4);
}
inline uint32_t NodeNU(const uint8_t* n) {
  return Load32(n + 8);
}

// Adaptive escape estimate.
struct See {
  uint16_t summ;
  uint8_t shift;
  uint8_t count;
  unsigned Mean() {
    const unsigned r = summ >> shift;
    summ = static_cast<uint16_t>(summ - r);
    return r + (r == 0);
  }
  void Update() {
    if (shift < kPeriodBits && --count == 0) {
      summ = static_cast<uint16_t>(summ << 1);
      count = static_cast<uint8_t>(3 << shift++);
    }
  }
};

// --- Input ------------------------------------------------------------------------

// The member's compressed bytes, read in chunks within job.compressed_size.
class Input {
 public:
  explicit Input(TAbDecodeJob& job)
      : job_(job),
        buffer_(kChunk),
        left_(job.compressed_size < 0 ? INT64_MAX : job.compressed_size) {}

  uint8_t Byte() {
    if (next_ < end_) return *next_++;
    return Refill();
  }
  int64_t Consumed() const { return read_ - (end_ - next_); }

 private:
  static constexpr size_t kChunk = 32768;

  uint8_t Refill() {
    const int64_t want = std::min<int64_t>(left_, static_cast<int64_t>(kChunk));
    const int64_t got = want > 0 ? job_.source->Read(buffer_.data(), want) : 0;
    if (got <= 0) Corrupt("the compressed data ends too early");
    left_ -= got;
    read_ += got;
    next_ = buffer_.data();
    end_ = next_ + got;
    if (job_.OnInput) job_.OnInput(read_);
    return *next_++;
  }

  TAbDecodeJob& job_;
  std::vector<uint8_t> buffer_;
  const uint8_t* next_ = nullptr;
  const uint8_t* end_ = nullptr;
  int64_t left_;
  int64_t read_ = 0;
};

// --- The model and its range decoder ------------------------------------------------

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

class Model {
 public:
  Model(Input& in, uint32_t size, unsigned max_order, unsigned restore)
      : in_(in), size_(size), max_order_(max_order), restore_(restore) {
    align_offset_ = 4 - (size & 3);
    // Zeroed, so nothing the model reads is ever undefined; large blocks
    // come as fresh pages and cost nothing until touched.
    heap_.reset(static_cast<uint8_t*>(std::calloc(1, align_offset_ + size_ + kUnitSize)));
    if (!heap_) Corrupt("cannot allocate the model's memory");
    base_ = heap_.get();
    RestartModel();
    dummy_see_.shift = kPeriodBits;
    dummy_see_.summ = 0;
    dummy_see_.count = 64;
  }

  // False when the first four bytes cannot start a stream.
  bool StartCoder() {
    low_ = 0;
    range_ = 0xFFFFFFFF;
    code_ = 0;
    for (int i = 0; i < 4; ++i) code_ = code_ << 8 | in_.Byte();
    return code_ < 0xFFFFFFFF;
  }
  // True when the coder ended exactly where the writer flushed it.
  bool CoderFinished() const { return code_ == low_; }

  // The next byte, -1 at the end marker, -2 for an impossible code.
  int DecodeSymbol();

 private:
  // Pointers and offsets within the block.
  uint8_t* Ptr(uint32_t ref) const { return base_ + ref; }
  uint32_t Ref(const uint8_t* p) const { return static_cast<uint32_t>(p - base_); }
  Context Suffix(const uint8_t* c) const { return Ptr(SuffixRef(c)); }
  State Stats(const uint8_t* c) const { return Ptr(StatsRef(c)); }

  // Range decoder.
  uint32_t Threshold(uint32_t total) {
    if (total == 0 || (range_ /= total) == 0) Corrupt("invalid range coder state");
    return (code_ - low_) / range_;
  }
  void Consume(uint32_t start, uint32_t size) {
    low_ += start * range_;
    range_ *= size;
    Normalize();
  }
  void Normalize() {
    for (;;) {
      if ((low_ ^ (low_ + range_)) >= kTop) {
        if (range_ >= kBottom) break;
        range_ = (0 - low_) & (kBottom - 1);
      }
      code_ = code_ << 8 | in_.Byte();
      range_ <<= 8;
      low_ <<= 8;
    }
  }

  // Allocator.
  void InsertNode(uint8_t* node, unsigned indx);
  uint8_t* RemoveNode(unsigned indx);
  void SplitBlock(uint8_t* ptr, unsigned old_indx, unsigned new_indx);
  void GlueFreeBlocks();
  uint8_t* AllocUnitsRare(unsigned indx);
  uint8_t* AllocUnits(unsigned indx);
  uint8_t* AllocContext();
  uint8_t* ShrinkUnits(uint8_t* old_ptr, unsigned old_nu, unsigned new_nu);
  uint8_t* MoveUnitsUp(uint8_t* old_ptr, unsigned nu);
  void SpecialFreeUnit(uint8_t* ptr);
  void FreeUnits(uint8_t* ptr, unsigned nu) { InsertNode(ptr, U2I(nu)); }
  void ExpandTextArea();
  uint32_t UsedMemory() const;

  // Model.
  void RestartModel();
  void RestoreModel(Context c1);
  uint32_t CutOff(Context ctx, unsigned order);
  void Refresh(Context ctx, unsigned old_nu, unsigned scale);
  void Rescale();
  Context CreateSuccessors(bool skip, State s1, Context c);
  Context ReduceOrder(State s1, Context c);
  void UpdateModel();
  void NextContext();
  void Update1();
  void Update1First();
  void Update2();
  void UpdateBin();
  See* MakeEscFreq(unsigned num_masked, uint32_t* esc_freq);
  uint16_t* BinSumm();

  Input& in_;
  std::unique_ptr<uint8_t, FreeDeleter> heap_;
  uint8_t* base_ = nullptr;
  uint32_t size_;
  uint32_t align_offset_ = 0;
  uint8_t* lo_unit_ = nullptr;
  uint8_t* hi_unit_ = nullptr;
  uint8_t* text_ = nullptr;
  uint8_t* units_start_ = nullptr;
  uint32_t glue_count_ = 0;
  uint32_t free_list_[kNumIndexes] = {};
  uint32_t stamps_[kNumIndexes] = {};

  Context min_context_ = nullptr;
  Context max_context_ = nullptr;
  State found_state_ = nullptr;
  unsigned order_fall_ = 0;
  unsigned init_esc_ = 0;
  unsigned prev_success_ = 0;
  unsigned max_order_;
  unsigned restore_;
  uint32_t run_length_ = 0;  // signed in meaning; kept unsigned so it wraps
  uint32_t init_rl_ = 0;

  uint32_t range_ = 0;
  uint32_t code_ = 0;
  uint32_t low_ = 0;

  See dummy_see_{};
  See see_[24][32] = {};
  uint16_t bin_summ_[25][64] = {};
  uint8_t char_mask_[256] = {};
};

// --- Allocator ----------------------------------------------------------------------

void Model::InsertNode(uint8_t* node, unsigned indx) {
  Store32(node, kEmptyNode);
  Store32(node + 4, free_list_[indx]);
  Store32(node + 8, I2U(indx));
  free_list_[indx] = Ref(node);
  ++stamps_[indx];
}

uint8_t* Model::RemoveNode(unsigned indx) {
  uint8_t* node = Ptr(free_list_[indx]);
  free_list_[indx] = NodeNext(node);
  --stamps_[indx];
  return node;
}

void Model::SplitBlock(uint8_t* ptr, unsigned old_indx, unsigned new_indx) {
  const unsigned nu = I2U(old_indx) - I2U(new_indx);
  ptr += U2B(I2U(new_indx));
  unsigned i = U2I(nu);
  if (I2U(i) != nu) {
    const unsigned k = I2U(--i);
    InsertNode(ptr + U2B(k), nu - k - 1);
  }
  InsertNode(ptr, i);
}

// Merges free blocks that touch into larger ones and sorts them into the
// free lists again. The order-0 context always sits in the top unit, so a
// run of free blocks never reaches the end of the block; the gap between
// LoUnit and HiUnit gets a guard stamp.
void Model::GlueFreeBlocks() {
  uint32_t head = 0;
  uint8_t* prev_link = nullptr;  // where the last kept block stores its next
  glue_count_ = 1 << 13;
  std::memset(stamps_, 0, sizeof(stamps_));
  if (lo_unit_ != hi_unit_) Store32(lo_unit_, 0);

  for (unsigned i = 0; i < kNumIndexes; ++i) {
    uint32_t next = free_list_[i];
    free_list_[i] = 0;
    while (next != 0) {
      uint8_t* node = Ptr(next);
      uint32_t nu = NodeNU(node);
      if (nu != 0) {
        if (prev_link) {
          Store32(prev_link, next);
        } else {
          head = next;
        }
        prev_link = node + 4;
        for (;;) {
          uint8_t* node2 = node + U2B(nu);
          if (NodeStamp(node2) != kEmptyNode) break;
          nu += NodeNU(node2);
          Store32(node2 + 8, 0);
          Store32(node + 8, nu);
        }
      }
      next = NodeNext(node);
    }
  }
  if (prev_link) Store32(prev_link, 0);

  while (head != 0) {
    uint8_t* node = Ptr(head);
    head = NodeNext(node);
    uint32_t nu = NodeNU(node);
    if (nu == 0) continue;
    for (; nu > 128; nu -= 128, node += U2B(128)) InsertNode(node, kNumIndexes - 1);
    unsigned i = U2I(nu);
    if (I2U(i) != nu) {
      const unsigned k = I2U(--i);
      InsertNode(node + U2B(k), nu - k - 1);
    }
    InsertNode(node, i);
  }
}

uint8_t* Model::AllocUnitsRare(unsigned indx) {
  if (glue_count_ == 0) {
    GlueFreeBlocks();
    if (free_list_[indx] != 0) return RemoveNode(indx);
  }
  unsigned i = indx;
  do {
    if (++i == kNumIndexes) {
      const uint32_t bytes = U2B(I2U(indx));
      --glue_count_;
      if (static_cast<uint32_t>(units_start_ - text_) > bytes) return units_start_ -= bytes;
      return nullptr;
    }
  } while (free_list_[i] == 0);
  uint8_t* block = RemoveNode(i);
  SplitBlock(block, i, indx);
  return block;
}

uint8_t* Model::AllocUnits(unsigned indx) {
  if (free_list_[indx] != 0) return RemoveNode(indx);
  const uint32_t bytes = U2B(I2U(indx));
  if (bytes <= static_cast<uint32_t>(hi_unit_ - lo_unit_)) {
    uint8_t* block = lo_unit_;
    lo_unit_ += bytes;
    return block;
  }
  return AllocUnitsRare(indx);
}

uint8_t* Model::AllocContext() {
  if (hi_unit_ != lo_unit_) return hi_unit_ -= kUnitSize;
  if (free_list_[0] != 0) return RemoveNode(0);
  return AllocUnitsRare(0);
}

uint8_t* Model::ShrinkUnits(uint8_t* old_ptr, unsigned old_nu, unsigned new_nu) {
  const unsigned i0 = U2I(old_nu);
  const unsigned i1 = U2I(new_nu);
  if (i0 == i1) return old_ptr;
  if (free_list_[i1] != 0) {
    uint8_t* ptr = RemoveNode(i1);
    std::memcpy(ptr, old_ptr, U2B(new_nu));
    InsertNode(old_ptr, i0);
    return ptr;
  }
  SplitBlock(old_ptr, i0, i1);
  return old_ptr;
}

// Moves a block near the bottom of the units area up into a free block
// higher up, so the text area can grow over it.
uint8_t* Model::MoveUnitsUp(uint8_t* old_ptr, unsigned nu) {
  const unsigned indx = U2I(nu);
  if (old_ptr > units_start_ + 16 * 1024 || Ref(old_ptr) > free_list_[indx]) return old_ptr;
  uint8_t* ptr = RemoveNode(indx);
  std::memcpy(ptr, old_ptr, U2B(nu));
  if (old_ptr != units_start_) {
    InsertNode(old_ptr, indx);
  } else {
    units_start_ += U2B(I2U(indx));
  }
  return ptr;
}

void Model::SpecialFreeUnit(uint8_t* ptr) {
  if (ptr != units_start_) {
    InsertNode(ptr, 0);
  } else {
    units_start_ += kUnitSize;
  }
}

// Gives the free blocks at the bottom of the units area to the text area.
void Model::ExpandTextArea() {
  uint32_t count[kNumIndexes] = {};
  if (lo_unit_ != hi_unit_) Store32(lo_unit_, 0);
  uint8_t* node = units_start_;
  while (NodeStamp(node) == kEmptyNode) {
    const uint32_t nu = NodeNU(node);
    Store32(node, 0);
    ++count[U2I(nu)];
    node += U2B(nu);
  }
  units_start_ = node;

  for (unsigned i = 0; i < kNumIndexes; ++i) {
    uint32_t* link = &free_list_[i];
    uint8_t* link_node = nullptr;  // the node whose next field `link` mirrors
    while (count[i] != 0) {
      uint32_t ref = link_node ? NodeNext(link_node) : *link;
      uint8_t* n = Ptr(ref);
      while (NodeStamp(n) == 0) {
        ref = NodeNext(n);
        if (link_node) {
          Store32(link_node + 4, ref);
        } else {
          *link = ref;
        }
        n = Ptr(ref);
        --stamps_[i];
        if (--count[i] == 0) break;
      }
      link_node = n;
    }
  }
}

uint32_t Model::UsedMemory() const {
  uint32_t units = 0;
  for (unsigned i = 0; i < kNumIndexes; ++i) units += stamps_[i] * I2U(i);
  return size_ - static_cast<uint32_t>(hi_unit_ - lo_unit_) -
         static_cast<uint32_t>(units_start_ - text_) - U2B(units);
}

// --- Model ------------------------------------------------------------------------

void Model::RestartModel() {
  std::memset(free_list_, 0, sizeof(free_list_));
  std::memset(stamps_, 0, sizeof(stamps_));
  text_ = base_ + align_offset_;
  hi_unit_ = text_ + size_;
  lo_unit_ = units_start_ = hi_unit_ - size_ / 8 / kUnitSize * 7 * kUnitSize;
  glue_count_ = 0;

  order_fall_ = max_order_;
  init_rl_ = static_cast<uint32_t>(-static_cast<int32_t>(std::min(max_order_, 12u)) - 1);
  run_length_ = init_rl_;
  prev_success_ = 0;

  hi_unit_ -= kUnitSize;
  min_context_ = max_context_ = hi_unit_;
  SetSuffixRef(min_context_, 0);
  SetNumStats(min_context_, 255);
  SetFlags(min_context_, 0);
  SetSummFreq(min_context_, 256 + 1);
  found_state_ = lo_unit_;
  SetStatsRef(min_context_, Ref(lo_unit_));
  lo_unit_ += U2B(256 / 2);
  for (unsigned i = 0; i < 256; ++i) {
    uint8_t* s = found_state_ + i * kStateSize;
    s[0] = static_cast<uint8_t>(i);
    s[1] = 1;
    SetSuccessor(s, 0);
  }

  for (unsigned i = 0, m = 0; m < 25; ++m) {
    while (kTables.ns2indx[i] == m) ++i;
    for (unsigned k = 0; k < 8; ++k) {
      const uint16_t val = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 1));
      for (unsigned r = 0; r < 64; r += 8) bin_summ_[m][k + r] = val;
    }
  }
  for (unsigned i = 0, m = 0; m < 24; ++m) {
    while (kTables.ns2indx[i + 3] == m + 3) ++i;
    for (unsigned k = 0; k < 32; ++k) {
      See& s = see_[m][k];
      s.shift = kPeriodBits - 4;
      s.summ = static_cast<uint16_t>((2 * i + 5) << s.shift);
      s.count = 7;
    }
  }
}

// Memory ran out while adding a symbol to the contexts from max_context_
// towards min_context_; c1 is where it stopped. Undoes the additions, then
// restarts the model or cuts it down.
void Model::RestoreModel(Context c1) {
  text_ = base_ + align_offset_;
  Context c = max_context_;
  for (; c != c1; c = Suffix(c)) {
    const unsigned ns = NumStats(c) - 1;
    SetNumStats(c, ns);
    if (ns == 0) {
      State s = Stats(c);
      SetFlags(c, (Flags(c) & 0x10) + 0x08 * (Sym(s) >= 0x40));
      CopyState(OneState(c), s);
      SpecialFreeUnit(s);
      SetFreq(OneState(c), (Freq(OneState(c)) + 11) >> 3);
    } else {
      Refresh(c, (ns + 3) >> 1, 0);
    }
  }
  for (; c != min_context_; c = Suffix(c)) {
    if (NumStats(c) == 0) {
      State s = OneState(c);
      SetFreq(s, Freq(s) - (Freq(s) >> 1));
    } else {
      const unsigned sf = SummFreq(c) + 4;
      SetSummFreq(c, sf);
      if ((sf & 0xFFFF) > 128 + 4 * NumStats(c)) Refresh(c, (NumStats(c) + 2) >> 1, 1);
    }
  }

  if (restore_ == kRestart || UsedMemory() < (size_ >> 1)) {
    RestartModel();
  } else {
    while (SuffixRef(max_context_) != 0) max_context_ = Suffix(max_context_);
    // Each pass frees what the previous one left without successors, one
    // context level at a time, so a model the writer could cut down needs
    // at most about max_order_ passes. A model that stays full past that
    // would keep the writer cutting forever: no writer made it.
    int passes = 0;
    do {
      if (++passes > kMaxCutOffPasses) Corrupt("the model cannot be cut down to size");
      CutOff(max_context_, 0);
      ExpandTextArea();
    } while (UsedMemory() > 3 * (size_ >> 2));
    glue_count_ = 0;
    order_fall_ = max_order_;
  }
  min_context_ = max_context_;
}

// Drops what points into the text area and what lies deeper than the model
// order below `ctx`; returns what is left of it (0 when nothing).
uint32_t Model::CutOff(Context ctx, unsigned order) {
  if (NumStats(ctx) == 0) {
    State s = OneState(ctx);
    if (Ptr(Successor(s)) >= units_start_) {
      if (order < max_order_) {
        SetSuccessor(s, CutOff(Ptr(Successor(s)), order + 1));
      } else {
        SetSuccessor(s, 0);
      }
      if (Successor(s) != 0 || order <= 9) return Ref(ctx);
    }
    SpecialFreeUnit(ctx);
    return 0;
  }

  const unsigned nu = (NumStats(ctx) + 2) >> 1;
  SetStatsRef(ctx, Ref(MoveUnitsUp(Stats(ctx), nu)));
  int i = static_cast<int>(NumStats(ctx));
  for (State s = Stats(ctx) + i * kStateSize; s >= Stats(ctx); s -= kStateSize) {
    if (Ptr(Successor(s)) < units_start_) {
      State s2 = Stats(ctx) + (i--) * kStateSize;
      SetSuccessor(s, 0);
      SwapStates(s, s2);
    } else if (order < max_order_) {
      SetSuccessor(s, CutOff(Ptr(Successor(s)), order + 1));
    } else {
      SetSuccessor(s, 0);
    }
  }

  if (i != static_cast<int>(NumStats(ctx)) && order != 0) {
    SetNumStats(ctx, static_cast<unsigned>(i < 0 ? 0 : i));
    State s = Stats(ctx);
    if (i < 0) {
      FreeUnits(s, nu);
      SpecialFreeUnit(ctx);
      return 0;
    }
    if (i == 0) {
      SetFlags(ctx, (Flags(ctx) & 0x10) + 0x08 * (Sym(s) >= 0x40));
      CopyState(OneState(ctx), s);
      FreeUnits(s, nu);
      SetFreq(OneState(ctx), (Freq(OneState(ctx)) + 11) >> 3);
    } else {
      Refresh(ctx, nu, SummFreq(ctx) > 16 * static_cast<unsigned>(i));
    }
  }
  return Ref(ctx);
}

// Shrinks a context's states to its (reduced) symbol count and halves the
// counts when `scale` is set.
void Model::Refresh(Context ctx, unsigned old_nu, unsigned scale) {
  unsigned i = NumStats(ctx);
  State s = ShrinkUnits(Stats(ctx), old_nu, (i + 2) >> 1);
  SetStatsRef(ctx, Ref(s));
  unsigned flags = (Flags(ctx) & (0x10 + 0x04 * scale)) + 0x08 * (Sym(s) >= 0x40);
  unsigned esc_freq = SummFreq(ctx) - Freq(s);
  SetFreq(s, (Freq(s) + scale) >> scale);
  unsigned sum_freq = Freq(s);
  do {
    s += kStateSize;
    esc_freq -= Freq(s);
    SetFreq(s, (Freq(s) + scale) >> scale);
    sum_freq += Freq(s);
    flags |= 0x08 * (Sym(s) >= 0x40);
  } while (--i);
  SetSummFreq(ctx, sum_freq + ((esc_freq + scale) >> scale));
  SetFlags(ctx, flags);
}

// Halves the counts of min_context_ when found_state_'s count grew too big;
// symbols whose count drops to zero leave the context.
void Model::Rescale() {
  Context mc = min_context_;
  State stats = Stats(mc);
  State s = found_state_;
  if (s != stats) {
    uint8_t tmp[kStateSize];
    CopyState(tmp, s);
    do {
      CopyState(s, s - kStateSize);
      s -= kStateSize;
    } while (s != stats);
    CopyState(s, tmp);
  }
  unsigned esc_freq = SummFreq(mc) - Freq(s);
  const unsigned adder = order_fall_ != 0;
  SetFreq(s, (Freq(s) + 4 + adder) >> 1);
  unsigned sum_freq = Freq(s);

  unsigned i = NumStats(mc);
  do {
    s += kStateSize;
    esc_freq -= Freq(s);
    SetFreq(s, (Freq(s) + adder) >> 1);
    sum_freq += Freq(s);
    if (Freq(s) > Freq(s - kStateSize)) {
      uint8_t tmp[kStateSize];
      CopyState(tmp, s);
      State s1 = s;
      do {
        CopyState(s1, s1 - kStateSize);
        s1 -= kStateSize;
      } while (s1 != stats && Freq(tmp) > Freq(s1 - kStateSize));
      CopyState(s1, tmp);
    }
  } while (--i);

  if (Freq(s) == 0) {
    const unsigned num_stats = NumStats(mc);
    i = 0;
    do {
      ++i;
      s -= kStateSize;
    } while (Freq(s) == 0);
    esc_freq += i;
    if (esc_freq == 0) Corrupt("inconsistent model counts");
    SetNumStats(mc, num_stats - i);
    if (NumStats(mc) == 0) {
      uint8_t tmp[kStateSize];
      CopyState(tmp, stats);
      unsigned f = (2 * Freq(tmp) + esc_freq - 1) / esc_freq;
      if (f > kMaxFreq / 3) f = kMaxFreq / 3;
      SetFreq(tmp, f);
      InsertNode(stats, U2I((num_stats + 2) >> 1));
      SetFlags(mc, (Flags(mc) & 0x10) + 0x08 * (Sym(tmp) >= 0x40));
      found_state_ = OneState(mc);
      CopyState(found_state_, tmp);
      return;
    }
    const unsigned n0 = (num_stats + 2) >> 1;
    const unsigned n1 = (NumStats(mc) + 2) >> 1;
    if (n0 != n1) SetStatsRef(mc, Ref(ShrinkUnits(stats, n0, n1)));
    unsigned flags = Flags(mc) & ~0x08u;
    s = Stats(mc);
    flags |= 0x08 * (Sym(s) >= 0x40);
    i = NumStats(mc);
    do {
      s += kStateSize;
      flags |= 0x08 * (Sym(s) >= 0x40);
    } while (--i);
    SetFlags(mc, flags);
  }
  SetSummFreq(mc, sum_freq + esc_freq - (esc_freq >> 1));
  SetFlags(mc, Flags(mc) | 0x04);
  found_state_ = Stats(mc);
}

// Creates the contexts that found_state_'s symbol opens, from the longest
// one whose successor is still a text position back to `c`'s suffixes.
Context Model::CreateSuccessors(bool skip, State s1, Context c) {
  const uint32_t up_branch = Successor(found_state_);
  const unsigned fsym = Sym(found_state_);
  State ps[32];
  unsigned num_ps = 0;
  if (!skip) ps[num_ps++] = found_state_;

  while (SuffixRef(c) != 0) {
    c = Suffix(c);
    State s;
    if (s1) {
      s = s1;
      s1 = nullptr;
    } else if (NumStats(c) != 0) {
      for (s = Stats(c); Sym(s) != fsym; s += kStateSize) {
      }
      if (Freq(s) < kMaxFreq - 9) {
        SetFreq(s, Freq(s) + 1);
        SetSummFreq(c, SummFreq(c) + 1);
      }
    } else {
      s = OneState(c);
      SetFreq(s, Freq(s) + ((NumStats(Suffix(c)) == 0) & (Freq(s) < 24)));
    }
    const uint32_t successor = Successor(s);
    if (successor != up_branch) {
      c = Ptr(successor);
      if (num_ps == 0) return c;
      break;
    }
    if (num_ps >= 32) Corrupt("the model's context chain is too long");
    ps[num_ps++] = s;
  }

  uint8_t up_state[kStateSize];
  up_state[0] = *Ptr(up_branch);
  SetSuccessor(up_state, up_branch + 1);
  const unsigned flags = 0x10 * (fsym >= 0x40) + 0x08 * (Sym(up_state) >= 0x40);

  if (NumStats(c) == 0) {
    SetFreq(up_state, Freq(OneState(c)));
  } else {
    State s = Stats(c);
    while (Sym(s) != Sym(up_state)) s += kStateSize;
    const uint32_t cf = Freq(s) - 1;
    const uint32_t s0 = SummFreq(c) - NumStats(c) - cf;
    if (s0 == 0) Corrupt("inconsistent model counts");
    SetFreq(up_state, 1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((cf + 2 * s0 - 3) / s0)));
  }

  do {
    const Context c1 = AllocContext();
    if (!c1) return nullptr;
    SetNumStats(c1, 0);
    SetFlags(c1, flags);
    CopyState(OneState(c1), up_state);
    SetSuffixRef(c1, Ref(c));
    SetSuccessor(ps[--num_ps], Ref(c1));
    c = c1;
  } while (num_ps != 0);
  return c;
}

// found_state_ has no successor: point it and the suffixes' states that
// have none at the text, and find the context to continue from.
Context Model::ReduceOrder(State s1, Context c) {
  State s = nullptr;
  const Context c1 = c;
  const uint32_t up_branch = Ref(text_);
  const unsigned fsym = Sym(found_state_);
  SetSuccessor(found_state_, up_branch);
  ++order_fall_;

  for (;;) {
    if (s1) {
      c = Suffix(c);
      s = s1;
      s1 = nullptr;
    } else {
      if (SuffixRef(c) == 0) return c;
      c = Suffix(c);
      if (NumStats(c) != 0) {
        s = Stats(c);
        while (Sym(s) != fsym) s += kStateSize;
        if (Freq(s) < kMaxFreq - 9) {
          SetFreq(s, Freq(s) + 2);
          SetSummFreq(c, SummFreq(c) + 2);
        }
      } else {
        s = OneState(c);
        if (Freq(s) < 32) SetFreq(s, Freq(s) + 1);
      }
    }
    if (Successor(s) != 0) break;
    SetSuccessor(s, up_branch);
    ++order_fall_;
  }

  if (Successor(s) <= up_branch) {
    State saved = found_state_;
    found_state_ = s;
    const Context successor = CreateSuccessors(false, nullptr, c);
    SetSuccessor(s, successor ? Ref(successor) : 0);
    found_state_ = saved;
  }
  if (order_fall_ == 1 && c1 == max_context_) {
    SetSuccessor(found_state_, Successor(s));
    --text_;
  }
  if (Successor(s) == 0) return nullptr;
  return Ptr(Successor(s));
}

void Model::UpdateModel() {
  uint32_t f_successor = Successor(found_state_);
  const unsigned f_freq = Freq(found_state_);
  const unsigned f_symbol = Sym(found_state_);
  State s = nullptr;

  if (f_freq < kMaxFreq / 4 && SuffixRef(min_context_) != 0) {
    Context c = Suffix(min_context_);
    if (NumStats(c) == 0) {
      s = OneState(c);
      if (Freq(s) < 32) SetFreq(s, Freq(s) + 1);
    } else {
      s = Stats(c);
      if (Sym(s) != f_symbol) {
        do {
          s += kStateSize;
        } while (Sym(s) != f_symbol);
        if (Freq(s) >= Freq(s - kStateSize)) {
          SwapStates(s, s - kStateSize);
          s -= kStateSize;
        }
      }
      if (Freq(s) < kMaxFreq - 9) {
        SetFreq(s, Freq(s) + 2);
        SetSummFreq(c, SummFreq(c) + 2);
      }
    }
  }

  Context c = max_context_;
  if (order_fall_ == 0 && f_successor != 0) {
    const Context cs = CreateSuccessors(true, s, min_context_);
    if (!cs) {
      SetSuccessor(found_state_, 0);
      RestoreModel(c);
    } else {
      SetSuccessor(found_state_, Ref(cs));
      max_context_ = cs;
    }
    return;
  }

  *text_++ = static_cast<uint8_t>(f_symbol);
  uint32_t successor = Ref(text_);
  if (text_ >= units_start_) {
    RestoreModel(c);
    return;
  }

  if (f_successor == 0) {
    const Context cs = ReduceOrder(s, min_context_);
    if (!cs) {
      RestoreModel(c);
      return;
    }
    f_successor = Ref(cs);
  } else if (Ptr(f_successor) < units_start_) {
    const Context cs = CreateSuccessors(false, s, min_context_);
    if (!cs) {
      RestoreModel(c);
      return;
    }
    f_successor = Ref(cs);
  }

  if (--order_fall_ == 0) {
    successor = f_successor;
    text_ -= (max_context_ != min_context_);
  }

  const unsigned ns = NumStats(min_context_);
  const uint32_t s0 = SummFreq(min_context_) - ns - f_freq;
  const unsigned flag = 0x08 * (f_symbol >= 0x40);

  for (; c != min_context_; c = Suffix(c)) {
    const unsigned ns1 = NumStats(c);
    if (ns1 != 0) {
      if ((ns1 & 1) != 0) {
        const unsigned old_nu = (ns1 + 1) >> 1;
        const unsigned i = U2I(old_nu);
        if (i != U2I(old_nu + 1)) {
          uint8_t* ptr = AllocUnits(i + 1);
          if (!ptr) {
            RestoreModel(c);
            return;
          }
          uint8_t* old_ptr = Stats(c);
          std::memcpy(ptr, old_ptr, U2B(old_nu));
          InsertNode(old_ptr, i);
          SetStatsRef(c, Ref(ptr));
        }
      }
      SetSummFreq(c, SummFreq(c) + (3 * ns1 + 1 < ns));
    } else {
      State s2 = AllocUnits(0);
      if (!s2) {
        RestoreModel(c);
        return;
      }
      CopyState(s2, OneState(c));
      SetStatsRef(c, Ref(s2));
      if (Freq(s2) < kMaxFreq / 4 - 1) {
        SetFreq(s2, Freq(s2) << 1);
      } else {
        SetFreq(s2, kMaxFreq - 4);
      }
      SetSummFreq(c, Freq(s2) + init_esc_ + (ns > 2));
    }
    uint32_t cf = 2 * f_freq * (SummFreq(c) + 6);
    const uint32_t sf = s0 + SummFreq(c);
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf) + (cf >= 4 * sf);
      SetSummFreq(c, SummFreq(c) + 4);
    } else {
      cf = 4 + (cf > 9 * sf) + (cf > 12 * sf) + (cf > 15 * sf);
      SetSummFreq(c, SummFreq(c) + cf);
    }
    State s2 = Stats(c) + (ns1 + 1) * kStateSize;
    SetSuccessor(s2, successor);
    s2[0] = static_cast<uint8_t>(f_symbol);
    SetFreq(s2, cf);
    SetFlags(c, Flags(c) | flag);
    SetNumStats(c, ns1 + 1);
  }
  max_context_ = min_context_ = Ptr(f_successor);
}

void Model::NextContext() {
  const Context c = Ptr(Successor(found_state_));
  if (order_fall_ == 0 && c >= units_start_) {
    min_context_ = max_context_ = c;
  } else {
    UpdateModel();
    min_context_ = max_context_;
  }
}

void Model::Update1() {
  State s = found_state_;
  SetFreq(s, Freq(s) + 4);
  SetSummFreq(min_context_, SummFreq(min_context_) + 4);
  if (Freq(s) > Freq(s - kStateSize)) {
    SwapStates(s, s - kStateSize);
    found_state_ = s -= kStateSize;
    if (Freq(s) > kMaxFreq) Rescale();
  }
  NextContext();
}

void Model::Update1First() {
  prev_success_ = 2 * Freq(found_state_) >= SummFreq(min_context_);
  run_length_ += prev_success_;
  SetSummFreq(min_context_, SummFreq(min_context_) + 4);
  SetFreq(found_state_, Freq(found_state_) + 4);
  if (Freq(found_state_) > kMaxFreq) Rescale();
  NextContext();
}

void Model::UpdateBin() {
  SetFreq(found_state_, Freq(found_state_) + (Freq(found_state_) < 196));
  prev_success_ = 1;
  ++run_length_;
  NextContext();
}

void Model::Update2() {
  SetSummFreq(min_context_, SummFreq(min_context_) + 4);
  SetFreq(found_state_, Freq(found_state_) + 4);
  if (Freq(found_state_) > kMaxFreq) Rescale();
  run_length_ = init_rl_;
  UpdateModel();
  min_context_ = max_context_;
}

See* Model::MakeEscFreq(unsigned num_masked, uint32_t* esc_freq) {
  const Context mc = min_context_;
  const unsigned num_stats = NumStats(mc);
  if (num_stats == 0xFF) {
    *esc_freq = 1;
    return &dummy_see_;
  }
  See* see = &see_[kTables.ns2indx[num_stats + 2] - 3]
                  [(SummFreq(mc) > 11 * (num_stats + 1)) +
                   2 * (2 * num_stats < NumStats(Suffix(mc)) + num_masked) + Flags(mc)];
  *esc_freq = see->Mean();
  return see;
}

uint16_t* Model::BinSumm() {
  const Context mc = min_context_;
  return &bin_summ_[kTables.ns2indx[Freq(OneState(mc)) - 1]]
                   [kTables.ns2bs_indx[NumStats(Suffix(mc))] + prev_success_ + Flags(mc) +
                    ((static_cast<int32_t>(run_length_) >> 26) & 0x20)];
}

int Model::DecodeSymbol() {
  if (NumStats(min_context_) != 0) {
    State s = Stats(min_context_);
    const uint32_t total = SummFreq(min_context_);
    const uint32_t count = Threshold(total);
    uint32_t hi_cnt = Freq(s);
    if (count < hi_cnt) {
      Consume(0, hi_cnt);
      found_state_ = s;
      const unsigned symbol = Sym(s);
      Update1First();
      return static_cast<int>(symbol);
    }
    prev_success_ = 0;
    unsigned i = NumStats(min_context_);
    do {
      s += kStateSize;
      if ((hi_cnt += Freq(s)) > count) {
        Consume(hi_cnt - Freq(s), Freq(s));
        found_state_ = s;
        const unsigned symbol = Sym(s);
        Update1();
        return static_cast<int>(symbol);
      }
    } while (--i);
    if (count >= total) return -2;
    Consume(hi_cnt, total - hi_cnt);
    std::memset(char_mask_, 0xFF, sizeof(char_mask_));
    char_mask_[Sym(s)] = 0;
    i = NumStats(min_context_);
    do {
      s -= kStateSize;
      char_mask_[Sym(s)] = 0;
    } while (--i);
  } else {
    uint16_t* prob = BinSumm();
    range_ >>= kBinBits;
    const uint32_t count = (code_ - low_) / range_;
    if (count < *prob) {
      Consume(0, *prob);
      *prob = static_cast<uint16_t>(*prob + (1 << kIntBits) - ((*prob + 32) >> kPeriodBits));
      found_state_ = OneState(min_context_);
      const unsigned symbol = Sym(found_state_);
      UpdateBin();
      return static_cast<int>(symbol);
    }
    if (count >= kBinScale) return -2;
    Consume(*prob, kBinScale - *prob);
    *prob = static_cast<uint16_t>(*prob - ((*prob + 32) >> kPeriodBits));
    init_esc_ = kExpEscape[*prob >> 10];
    std::memset(char_mask_, 0xFF, sizeof(char_mask_));
    char_mask_[Sym(OneState(min_context_))] = 0;
    prev_success_ = 0;
  }

  for (;;) {
    const unsigned num_masked = NumStats(min_context_);
    do {
      ++order_fall_;
      if (SuffixRef(min_context_) == 0) return -1;
      min_context_ = Suffix(min_context_);
    } while (NumStats(min_context_) == num_masked);

    // The unmasked symbols' total, two states a step (a masked symbol's
    // mask byte is 0, an unmasked one's 0xFF); nothing depends on the
    // previous step, so the loads overlap.
    const State stats = Stats(min_context_);
    const State end = stats + (NumStats(min_context_) + 1) * kStateSize;
    State s = stats;
    uint32_t hi_cnt = 0;
    if ((NumStats(min_context_) & 1) == 0) {
      hi_cnt = Freq(s) & char_mask_[Sym(s)];
      s += kStateSize;
    }
    for (; s != end; s += 2 * kStateSize) {
      const unsigned sym0 = Sym(s);
      const unsigned sym1 = Sym(s + kStateSize);
      hi_cnt += Freq(s) & char_mask_[sym0];
      hi_cnt += Freq(s + kStateSize) & char_mask_[sym1];
    }

    uint32_t freq_sum;
    See* see = MakeEscFreq(num_masked, &freq_sum);
    freq_sum += hi_cnt;
    const uint32_t count = Threshold(freq_sum);
    if (count < hi_cnt) {
      // The first unmasked symbol whose running total passes the count.
      uint32_t total = 0;
      for (s = stats;; s += kStateSize) {
        total += Freq(s) & char_mask_[Sym(s)];
        if (total > count) break;
      }
      Consume(total - Freq(s), Freq(s));
      see->Update();
      found_state_ = s;
      const unsigned symbol = Sym(s);
      Update2();
      return static_cast<int>(symbol);
    }
    if (count >= freq_sum) return -2;
    Consume(hi_cnt, freq_sum - hi_cnt);
    see->summ = static_cast<uint16_t>(see->summ + freq_sum);
    for (s = stats; s != end; s += kStateSize) char_mask_[Sym(s)] = 0;
  }
}

// --- Output ---------------------------------------------------------------------------

class Output {
 public:
  explicit Output(TStream& dest) : dest_(dest), buffer_(kSize) {}
  void Put(uint8_t b) {
    buffer_[fill_++] = b;
    if (fill_ == kSize) Flush();
  }
  void Flush() {
    if (fill_ == 0) return;
    dest_.WriteBuffer(buffer_.data(), static_cast<int64_t>(fill_));
    fill_ = 0;
  }

 private:
  static constexpr size_t kSize = 65536;
  TStream& dest_;
  std::vector<uint8_t> buffer_;
  size_t fill_ = 0;
};

}  // namespace

namespace {

int64_t Decode(TAbDecodeJob& job, uint32_t model_bytes) {
  Input in(job);
  const unsigned header = in.Byte() | unsigned{in.Byte()} << 8;
  const unsigned order = (header & 0xF) + 1;
  const unsigned restore = header >> 12;
  if (model_bytes == 0) model_bytes = (((header >> 4) & 0xFF) + 1) << 20;
  if (order < kMinOrder) Corrupt("the model order is below 2");
  if (restore > kCutOff) Corrupt("unsupported model restoration method");
  if (model_bytes > job.memory_limit) Corrupt("the model needs more memory than allowed");

  Model model(in, model_bytes, order, restore);
  if (!model.StartCoder()) Corrupt("invalid range coder start");

  Output out(*job.dest);
  const int64_t limit = job.output_limit;
  int64_t written = 0;
  int sym = 0;
  while (limit < 0 || written < limit) {
    sym = model.DecodeSymbol();
    if (sym < 0) break;
    out.Put(static_cast<uint8_t>(sym));
    ++written;
  }
  out.Flush();
  // The writer ends the data with an end marker (an escape out of the
  // order-0 context). At the declared size it is the only thing that may
  // still follow; a writer that leaves it out has nothing left to read.
  if (sym >= 0 && (job.compressed_size < 0 || in.Consumed() < job.compressed_size)) {
    sym = model.DecodeSymbol();
    if (sym >= 0) Corrupt("the data goes on past the declared size");
  }
  if (sym == -2) Corrupt("invalid compressed data");
  if (sym == -1 && !model.CoderFinished()) Corrupt("invalid data at the end marker");
  if (limit >= 0 && written < limit) Corrupt("the end marker comes before the declared size");
  return written;
}

}  // namespace

int64_t DecodePpmd(TAbDecodeJob& job) {
  return Decode(job, 0);
}

int64_t DecodePpmdWithModelSize(TAbDecodeJob& job, uint32_t model_bytes) {
  return Decode(job, std::max(model_bytes, kMinModelBytes));
}

}  // namespace vx
