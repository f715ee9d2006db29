// The xz decoder: the container around LZMA2 (see lzma.h for the core).
//
// Why it is fast: the container costs little next to LZMA decoding; what
// matters is that an LZMA2 chunk (at most 64 KiB compressed) is made whole in
// the input buffer and decoded in place by the core's fast loop, that the
// window passes to the check and the destination without a copy when no
// filter sits in front, and that CRC-64 works eight bytes at a time.
//
// Every header, index and footer field is checked: sizes recorded in block
// headers and in the index must match what was decoded, and CRC-32s guard
// the headers. Corrupt input leaves through Fail.
#include "archive/xz.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "archive/crc32.h"
#include "archive/lzma.h"

namespace vx {

// --- CRC-64 -----------------------------------------------------------------

namespace {

constexpr uint64_t kCrc64Polynomial = 0xC96C5795D7870F42;

using Crc64Tables = std::array<std::array<uint64_t, 256>, 8>;

constexpr Crc64Tables MakeCrc64Tables() {
  Crc64Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint64_t reg = i;
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ ((reg & 1) ? kCrc64Polynomial : 0);
    t[0][i] = reg;
  }
  for (size_t k = 1; k < 8; ++k) {
    for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

// Slicing by eight: table k gives a byte's effect after k more bytes.
constexpr Crc64Tables kCrc64Tables = MakeCrc64Tables();

}  // namespace

uint64_t Crc64Update(uint64_t crc, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const auto& t = kCrc64Tables;
  crc = ~crc;
  while (size >= 8) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    v ^= crc;
    crc = t[7][v & 0xFF] ^ t[6][(v >> 8) & 0xFF] ^ t[5][(v >> 16) & 0xFF] ^ t[4][(v >> 24) & 0xFF] ^
          t[3][(v >> 32) & 0xFF] ^ t[2][(v >> 40) & 0xFF] ^ t[1][(v >> 48) & 0xFF] ^ t[0][v >> 56];
    p += 8;
    size -= 8;
  }
  while (size-- > 0) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

// --- SHA-256 ----------------------------------------------------------------

namespace {

constexpr uint32_t kSha256K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr(uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

}  // namespace

TSha256::TSha256()
    : h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void TSha256::Compress(const uint8_t* block) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i) {
    w[i] = uint32_t{block[4 * i]} << 24 | uint32_t{block[4 * i + 1]} << 16 |
           uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
  }
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t t1 =
        h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kSha256K[i] + w[i];
    const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
  h_[5] += f;
  h_[6] += g;
  h_[7] += h;
}

void TSha256::Update(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  total_ += size;
  if (fill_ > 0) {
    const size_t n = std::min(size, 64 - fill_);
    std::memcpy(block_ + fill_, p, n);
    fill_ += n;
    p += n;
    size -= n;
    if (fill_ < 64) return;
    Compress(block_);
    fill_ = 0;
  }
  for (; size >= 64; p += 64, size -= 64) Compress(p);
  std::memcpy(block_, p, size);
  fill_ = size;
}

void TSha256::Final(uint8_t digest[32]) {
  const uint64_t bits = total_ * 8;
  const uint8_t one = 0x80;
  Update(&one, 1);
  const uint8_t zero = 0;
  while (fill_ != 56) Update(&zero, 1);
  uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(length, 8);
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(h_[i] >> (24 - 8 * j));
  }
}

// --- The container ----------------------------------------------------------

namespace {

constexpr char kMethod[] = "xz";

constexpr uint8_t kHeaderMagic[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
constexpr uint8_t kFooterMagic[2] = {'Y', 'Z'};
constexpr size_t kStreamHeaderSize = 12;
constexpr size_t kStreamFooterSize = 12;
constexpr size_t kMaxVliBytes = 9;
constexpr uint32_t kMaxFilters = 4;

constexpr uint64_t kFilterDelta = 0x03;
constexpr uint64_t kFilterLzma2 = 0x21;
constexpr uint32_t kMaxLzma2DictCode = 40;
// LZMA2 keeps lc + lp within this.
constexpr uint32_t kLzma2MaxLcLp = 4;

enum CheckType : uint32_t { kCheckNone = 0, kCheckCrc32 = 1, kCheckCrc64 = 4, kCheckSha256 = 10 };

[[noreturn]] void Fail(const std::string& cause) {
  throw EAbDecompressError(kMethod, cause);
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}

// A variable-length integer: 7 bits per byte, low first, at most nine
// bytes, no superfluous zero byte at the end.
template <typename NextByte>
uint64_t ReadVli(NextByte next) {
  uint64_t value = 0;
  for (size_t i = 0; i < kMaxVliBytes; ++i) {
    const uint8_t b = next();
    value |= uint64_t{b & 0x7Fu} << (7 * i);
    if ((b & 0x80) == 0) {
      if (i > 0 && b == 0) Fail("an integer field is not in its shortest form");
      return value;
    }
  }
  Fail("an integer field is too long");
}

size_t CheckSize(uint32_t type) {
  switch (type) {
    case kCheckNone:
      return 0;
    case kCheckCrc32:
      return 4;
    case kCheckCrc64:
      return 8;
    case kCheckSha256:
      return 32;
    default:
      Fail("unsupported check type " + std::to_string(type));
  }
}

// out[i] = in[i] + out[i - distance].
struct DeltaFilter {
  uint32_t distance = 1;
  uint8_t history[256] = {};
  uint8_t pos = 0;
  void Apply(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      p[i] = static_cast<uint8_t>(p[i] + history[static_cast<uint8_t>(pos - distance)]);
      history[pos++] = p[i];
    }
  }
};

// Receives a block's decoded data: runs the filters, updates the check and
// writes to the destination.
class TBlockSink : public TLzmaSink {
 public:
  explicit TBlockSink(TStream& dest) : dest_(dest) {}

  void Start(uint32_t check_type, std::vector<DeltaFilter> filters) {
    check_type_ = check_type;
    filters_ = std::move(filters);
    crc32_ = 0;
    crc64_ = 0;
    sha256_ = TSha256();
    if (!filters_.empty() && scratch_.empty()) scratch_.resize(65536);
  }

  void Put(const uint8_t* data, size_t size) override {
    if (filters_.empty()) {
      Emit(data, size);
      return;
    }
    while (size > 0) {
      const size_t n = std::min(size, scratch_.size());
      std::memcpy(scratch_.data(), data, n);
      // Filters were listed in encoding order; decoding undoes the last first.
      for (auto f = filters_.rbegin(); f != filters_.rend(); ++f) f->Apply(scratch_.data(), n);
      Emit(scratch_.data(), n);
      data += n;
      size -= n;
    }
  }

  // The check value as stored after the block.
  std::vector<uint8_t> Check() {
    std::vector<uint8_t> v;
    if (check_type_ == kCheckCrc32) {
      for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(crc32_ >> (8 * i)));
    } else if (check_type_ == kCheckCrc64) {
      for (int i = 0; i < 8; ++i) v.push_back(static_cast<uint8_t>(crc64_ >> (8 * i)));
    } else if (check_type_ == kCheckSha256) {
      v.resize(32);
      sha256_.Final(v.data());
    }
    return v;
  }

  int64_t written = 0;

 private:
  void Emit(const uint8_t* data, size_t size) {
    if (check_type_ == kCheckCrc32) {
      crc32_ = Crc32Update(crc32_, data, size);
    } else if (check_type_ == kCheckCrc64) {
      crc64_ = Crc64Update(crc64_, data, size);
    } else if (check_type_ == kCheckSha256) {
      sha256_.Update(data, size);
    }
    dest_.WriteBuffer(data, static_cast<int64_t>(size));
    written += static_cast<int64_t>(size);
  }

  TStream& dest_;
  uint32_t check_type_ = kCheckNone;
  std::vector<DeltaFilter> filters_;
  std::vector<uint8_t> scratch_;
  uint32_t crc32_ = 0;
  uint64_t crc64_ = 0;
  TSha256 sha256_;
};

struct IndexRecord {
  uint64_t unpadded_size;
  uint64_t uncompressed_size;
};

class TXzDecoder {
 public:
  explicit TXzDecoder(TAbDecodeJob& job)
      : job_(job), input_(job, kMethod), sink_(*job.dest), core_(kMethod, sink_) {}

  int64_t Run() {
    if (!input_.Ensure(1)) Fail("the data is empty");
    for (bool first = true;; first = false) {
      if (!first) {
        // Stream padding: groups of four zero bytes, then another stream or the end.
        for (;;) {
          if (!input_.Ensure(1)) return sink_.written;
          if (input_.Data()[0] != 0) break;
          uint8_t pad[4];
          input_.Read(pad, 4);
          if (pad[1] != 0 || pad[2] != 0 || pad[3] != 0) Fail("invalid stream padding");
        }
      }
      DecodeStream();
    }
  }

 private:
  void DecodeStream() {
    uint8_t header[kStreamHeaderSize];
    input_.Read(header, sizeof header);
    if (std::memcmp(header, kHeaderMagic, sizeof kHeaderMagic) != 0) Fail("not an xz stream");
    if (Crc32Update(0, header + 6, 2) != Le32(header + 8)) Fail("stream header CRC mismatch");
    if (header[6] != 0 || (header[7] & 0xF0) != 0) Fail("unsupported stream flags");
    const uint32_t check_type = header[7];
    const size_t check_size = CheckSize(check_type);

    std::vector<IndexRecord> blocks;
    for (;;) {
      const uint8_t size_byte = input_.Byte();
      if (size_byte == 0) break;  // the index follows
      blocks.push_back(DecodeBlock(size_byte, check_type, check_size));
    }
    const uint64_t index_size = DecodeIndex(blocks);

    uint8_t footer[kStreamFooterSize];
    input_.Read(footer, sizeof footer);
    if (std::memcmp(footer + 10, kFooterMagic, 2) != 0) Fail("missing stream footer");
    if (Crc32Update(0, footer + 4, 6) != Le32(footer)) Fail("stream footer CRC mismatch");
    if (footer[8] != header[6] || footer[9] != header[7]) {
      Fail("stream footer flags differ from the header");
    }
    if ((uint64_t{Le32(footer + 4)} + 1) * 4 != index_size) Fail("index size mismatch");
  }

  IndexRecord DecodeBlock(uint8_t size_byte, uint32_t check_type, size_t check_size) {
    const size_t header_size = (size_t{size_byte} + 1) * 4;
    uint8_t header[1024];
    header[0] = size_byte;
    input_.Read(header + 1, header_size - 1);
    if (Crc32Update(0, header, header_size - 4) != Le32(header + header_size - 4)) {
      Fail("block header CRC mismatch");
    }
    size_t at = 2;
    const size_t fields_end = header_size - 4;
    auto next = [&]() -> uint8_t {
      if (at >= fields_end) Fail("block header fields overrun the header");
      return header[at++];
    };
    const uint8_t flags = header[1];
    if (flags & 0x3C) Fail("unsupported block flags");
    const uint32_t filter_count = (flags & 3u) + 1;
    const uint64_t kUnknown = std::numeric_limits<uint64_t>::max();
    uint64_t declared_compressed = kUnknown, declared_uncompressed = kUnknown;
    if (flags & 0x40) {
      declared_compressed = ReadVli(next);
      if (declared_compressed == 0) Fail("invalid compressed size in a block header");
    }
    if (flags & 0x80) declared_uncompressed = ReadVli(next);

    std::vector<DeltaFilter> deltas;
    uint32_t dict_size = 0;
    for (uint32_t i = 0; i < filter_count && i < kMaxFilters; ++i) {
      const uint64_t id = ReadVli(next);
      const uint64_t props_size = ReadVli(next);
      const bool last = i + 1 == filter_count;
      if (id == kFilterLzma2 && last) {
        if (props_size != 1) Fail("invalid LZMA2 properties");
        const uint8_t code = next();
        if ((code & 0xC0) || code > kMaxLzma2DictCode) Fail("invalid LZMA2 dictionary size");
        dict_size = code == kMaxLzma2DictCode ? 0xFFFFFFFF : (2u | (code & 1u)) << (code / 2 + 11);
      } else if (id == kFilterDelta && !last) {
        if (props_size != 1) Fail("invalid delta filter properties");
        DeltaFilter delta;
        delta.distance = next() + 1u;
        deltas.push_back(delta);
      } else if (last || id == kFilterLzma2) {
        Fail("the last filter must be LZMA2, once");
      } else {
        Fail("unsupported filter " + std::to_string(id));
      }
    }
    while (at < fields_end) {
      if (header[at++] != 0) Fail("block header padding is not zero");
    }

    // The window needs no more than the block (or the member) can produce.
    const uint64_t produced_before = static_cast<uint64_t>(sink_.written);
    uint64_t room = kUnknown;
    if (job_.output_limit >= 0) room = static_cast<uint64_t>(job_.output_limit) - produced_before;
    uint64_t needed = std::min<uint64_t>({uint64_t{dict_size}, room, declared_uncompressed});
    if (static_cast<int64_t>(TLzmaCore::MemoryFor(needed, kLzma2MaxLcLp)) > job_.memory_limit) {
      Fail("the dictionary needs more memory than allowed");
    }
    core_.Allocate(static_cast<uint32_t>(std::max<uint64_t>(needed, 1)), kLzma2MaxLcLp,
                   job_.memory_limit);
    sink_.Start(check_type, std::move(deltas));

    const int64_t data_start = input_.Consumed();
    const uint64_t uncompressed = DecodeLzma2(std::min(room, declared_uncompressed));
    const uint64_t compressed = static_cast<uint64_t>(input_.Consumed() - data_start);
    if (declared_compressed != kUnknown && declared_compressed != compressed) {
      Fail("compressed size differs from the block header");
    }
    if (declared_uncompressed != kUnknown && declared_uncompressed != uncompressed) {
      Fail("uncompressed size differs from the block header");
    }
    for (uint64_t pad = compressed; pad % 4 != 0; ++pad) {
      if (input_.Byte() != 0) Fail("block padding is not zero");
    }
    uint8_t stored[32];
    input_.Read(stored, check_size);
    const std::vector<uint8_t> computed = sink_.Check();
    if (!std::equal(computed.begin(), computed.end(), stored)) Fail("check mismatch");
    return {header_size + compressed + check_size, uncompressed};
  }

  // Returns the bytes produced; more than `room` is corrupt.
  uint64_t DecodeLzma2(uint64_t room) {
    uint64_t produced = 0;
    bool need_dict_reset = true;
    bool need_props = true;
    auto make_room = [&](uint64_t count) {
      if (count > room - produced) Fail("more data than the declared size");
      produced += count;
    };
    auto be16 = [&]() -> uint32_t {
      const uint32_t hi = input_.Byte();
      return hi << 8 | input_.Byte();
    };
    for (;;) {
      const uint8_t control = input_.Byte();
      if (control == 0x00) break;
      if (control == 0x01 || control == 0x02) {
        if (control == 0x01) {
          core_.ResetDictionary();
          need_dict_reset = false;
        } else if (need_dict_reset) {
          Fail("LZMA2 data does not start with a dictionary reset");
        }
        size_t size = be16() + 1;
        make_room(size);
        while (size > 0) {
          if (!input_.Ensure(1)) Fail("the compressed data ends too early");
          const size_t n = std::min(size, input_.Buffered());
          core_.AppendUncompressed(input_.Data(), n);
          input_.Skip(n);
          size -= n;
        }
        continue;
      }
      if (control < 0x80) Fail("invalid LZMA2 chunk type");
      const uint32_t reset = (control >> 5) & 3;
      const uint32_t unpacked = ((control & 0x1Fu) << 16) + be16() + 1;
      const uint32_t packed = be16() + 1;
      if (reset == 3) {
        core_.ResetDictionary();
        need_dict_reset = false;
      } else if (need_dict_reset) {
        Fail("LZMA2 data does not start with a dictionary reset");
      }
      if (reset >= 2) {
        if (!core_.SetProperties(input_.Byte())) Fail("invalid LZMA2 properties");
        need_props = false;
      } else if (need_props) {
        Fail("an LZMA2 chunk comes before its properties");
      }
      if (reset >= 1) core_.ResetState();
      make_room(unpacked);
      if (packed < TLzmaCore::kRangeCoderStartBytes || !input_.Ensure(packed)) {
        Fail("the compressed data ends too early");
      }
      const uint8_t* in = input_.Data();
      const uint8_t* end = in + packed;
      if (!core_.StartRangeCoder(in)) Fail("invalid range coder start");
      in += TLzmaCore::kRangeCoderStartBytes;
      if (core_.Decode(in, end, true, unpacked) != TLzmaCore::Stop::kLimit) {
        Fail("an end marker inside LZMA2 data");
      }
      if (in != end || core_.MatchPending()) Fail("an LZMA2 chunk's sizes do not match its data");
      input_.Skip(packed);
    }
    core_.Flush();
    return produced;
  }

  // Reads the index (its indicator byte is already taken) and compares it
  // with the blocks; returns its size.
  uint64_t DecodeIndex(const std::vector<IndexRecord>& blocks) {
    uint32_t crc = Crc32Update(0, "\0", 1);
    uint64_t size = 1;
    auto next = [&]() -> uint8_t {
      const uint8_t b = input_.Byte();
      crc = Crc32Update(crc, &b, 1);
      ++size;
      return b;
    };
    const uint64_t count = ReadVli(next);
    if (count != blocks.size()) Fail("the index lists a different number of blocks");
    for (const IndexRecord& block : blocks) {
      const uint64_t unpadded = ReadVli(next);
      const uint64_t uncompressed = ReadVli(next);
      if (unpadded != block.unpadded_size || uncompressed != block.uncompressed_size) {
        Fail("the index does not match the blocks");
      }
    }
    while (size % 4 != 0) {
      if (next() != 0) Fail("index padding is not zero");
    }
    uint8_t stored[4];
    input_.Read(stored, 4);
    if (Le32(stored) != crc) Fail("index CRC mismatch");
    return size + 4;
  }

  TAbDecodeJob& job_;
  TLzmaInput input_;
  TBlockSink sink_;
  TLzmaCore core_;
};

}  // namespace

int64_t DecodeXz(TAbDecodeJob& job) {
  TXzDecoder decoder(job);
  return decoder.Run();
}

}  // namespace vx
