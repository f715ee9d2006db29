// Helpers of the inflater and decryption tests: a bit writer and a small
// fixed-code DEFLATE encoder to hand-build streams (including deflate64 and
// deliberately broken ones), a bitwise CRC-32 reference, streams that record
// how they are used, and a minimal ZIP member reader.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/inflate.h"
#include "platform/stream.h"

namespace vx::test {

// Writes DEFLATE bit fields, least significant bit first.
class BitWriter {
 public:
  void Bits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
  }
  // A Huffman code is sent most significant bit first.
  void Code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  void AlignByte() {
    while (fill_ != 0) Bit(0);
  }
  void Byte(uint8_t b) { Bits(b, 8); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> Finish() {
    AlignByte();
    return bytes_;
  }

 private:
  void Bit(uint32_t b) {
    if (fill_ == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(b << fill_);
    fill_ = (fill_ + 1) & 7;
  }
  std::vector<uint8_t> bytes_;
  int fill_ = 0;
};

// Symbols of the fixed code.
inline void FixedLitLen(BitWriter& w, int symbol) {
  if (symbol < 144) {
    w.Code(0x30 + symbol, 8);
  } else if (symbol < 256) {
    w.Code(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    w.Code(symbol - 256, 7);
  } else {
    w.Code(0xC0 + symbol - 280, 8);
  }
}
inline void FixedDist(BitWriter& w, int symbol) {
  w.Code(symbol, 5);
}

// Length and distance symbols with their extra bits.
struct Coded {
  int symbol;
  uint32_t extra;
  int extra_bits;
};
inline Coded LengthCode(uint32_t length, bool deflate64) {
  static const uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  if (deflate64 && length > 258) return {285, length - 3, 16};
  if (!deflate64 && length == 258) return {285, 0, 0};
  for (int i = 27; i >= 0; --i) {
    if (length >= base[i]) return {257 + i, length - base[i], extra[i]};
  }
  return {-1, 0, 0};
}
inline Coded DistanceCode(uint32_t distance) {
  for (int code = 31; code >= 0; --code) {
    const int extra = code < 4 ? 0 : code / 2 - 1;
    const uint32_t base = code < 4 ? code + 1 : ((2u + (code & 1)) << extra) + 1;
    if (distance >= base) return {code, distance - base, extra};
  }
  return {-1, 0, 0};
}

// A literal byte (distance 0) or a match.
struct Token {
  uint32_t length_or_byte;
  uint32_t distance;
};

// Writes one fixed-code block of the tokens, then the end-of-block symbol.
inline void FixedBlock(BitWriter& w, const std::vector<Token>& tokens, bool final, bool deflate64) {
  w.Bits(final ? 1 : 0, 1);
  w.Bits(1, 2);
  for (const Token& t : tokens) {
    if (t.distance == 0) {
      FixedLitLen(w, static_cast<int>(t.length_or_byte));
      continue;
    }
    const Coded len = LengthCode(t.length_or_byte, deflate64);
    FixedLitLen(w, len.symbol);
    w.Bits(len.extra, len.extra_bits);
    const Coded dist = DistanceCode(t.distance);
    FixedDist(w, dist.symbol);
    w.Bits(dist.extra, dist.extra_bits);
  }
  FixedLitLen(w, 256);
}

// Writes stored blocks (at most 65,535 bytes each) holding `data`.
inline void StoredBlocks(BitWriter& w, const uint8_t* data, size_t size, bool final) {
  do {
    const size_t n = size < 65535 ? size : 65535;
    w.Bits((final && n == size) ? 1 : 0, 1);
    w.Bits(0, 2);
    w.AlignByte();
    w.Bits(static_cast<uint32_t>(n), 16);
    w.Bits(static_cast<uint32_t>(~n & 0xFFFF), 16);
    for (size_t i = 0; i < n; ++i) w.Byte(data[i]);
    data += n;
    size -= n;
  } while (size > 0);
}

// Greedy LZ77 with a hash of three bytes: enough to make real streams with
// matches of every length and distance the format allows.
inline std::vector<Token> Tokenize(const std::vector<uint8_t>& data, uint32_t max_distance,
                                   uint32_t max_length) {
  std::vector<Token> tokens;
  std::vector<int64_t> head(1 << 16, -1);
  std::vector<int64_t> prev(data.size(), -1);
  auto hash = [&](size_t i) {
    return ((data[i] << 8) ^ (data[i + 1] << 4) ^ data[i + 2] ^ (data[i + 2] << 11)) & 0xFFFF;
  };
  size_t i = 0;
  while (i < data.size()) {
    uint32_t best_len = 0, best_dist = 0;
    if (i + 3 <= data.size()) {
      int64_t cand = head[hash(i)];
      for (int chain = 0; cand >= 0 && chain < 16; ++chain, cand = prev[cand]) {
        const size_t dist = i - static_cast<size_t>(cand);
        if (dist > max_distance) break;
        uint32_t len = 0;
        while (len < max_length && i + len < data.size() && data[cand + len] == data[i + len]) {
          ++len;
        }
        if (len > best_len) {
          best_len = len;
          best_dist = static_cast<uint32_t>(dist);
        }
      }
    }
    const size_t step = best_len >= 3 ? best_len : 1;
    for (size_t k = 0; k < step; ++k, ++i) {
      if (i + 3 <= data.size()) {
        const uint32_t h = hash(i);
        prev[i] = head[h];
        head[h] = static_cast<int64_t>(i);
      }
    }
    if (best_len >= 3) {
      tokens.push_back({best_len, best_dist});
    } else {
      tokens.push_back({data[i - 1], 0});
    }
  }
  return tokens;
}

// A whole stream: the tokens in fixed-code blocks of at most 20,000 tokens.
inline std::vector<uint8_t> FixedStream(const std::vector<Token>& tokens, bool deflate64) {
  BitWriter w;
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(20000, tokens.size() - at);
    FixedBlock(w, std::vector<Token>(tokens.begin() + at, tokens.begin() + at + n),
               at + n == tokens.size(), deflate64);
    at += n;
  } while (at < tokens.size());
  return w.Finish();
}

inline uint32_t BitwiseCrc32(const uint8_t* p, size_t n) {
  uint32_t reg = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) {
    reg ^= p[i];
    for (int b = 0; b < 8; ++b) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1)));
  }
  return ~reg;
}
inline uint32_t BitwiseCrc32(const std::vector<uint8_t>& v) {
  return BitwiseCrc32(v.data(), v.size());
}

// Data that compresses somewhat: words from a small vocabulary with numbers.
inline std::vector<uint8_t> SampleText(size_t size, uint32_t seed) {
  static const char* words[] = {"inflate ", "window ", "deflate64 ", "archive ", "member ",
                                "vestrix ", "stored ", "setup ",     "kelda ",   "\r\n"};
  std::vector<uint8_t> v;
  uint32_t x = seed * 2654435761u + 1;
  while (v.size() < size) {
    x = x * 1103515245u + 12345u;
    const char* w = words[(x >> 16) % 10];
    v.insert(v.end(), w, w + std::strlen(w));
    if ((x >> 8) % 7 == 0) {
      const std::string n = std::to_string((x >> 4) % 100000);
      v.insert(v.end(), n.begin(), n.end());
    }
  }
  v.resize(size);
  return v;
}

inline std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  uint32_t x = seed;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 11);
  }
  return v;
}

// The result of one Inflate call.
struct InflateResult {
  uint32_t checksum = 0;
  std::vector<uint8_t> output;
  TAbDeflateHelper helper;
};

inline InflateResult RunInflate(const std::vector<uint8_t>& stream, uint32_t options = 15,
                                int64_t part_size = 0, InflateWord word = BuildInflateWord()) {
  TMemoryStream source(stream);
  TMemoryStream dest;
  InflateResult r;
  r.helper.options = options;
  r.helper.part_size = part_size;
  r.checksum = InflateWithWord(word, source, dest, r.helper);
  r.output = dest.Bytes();
  return r;
}

// A destination that records the size of every write.
class RecordingStream : public TMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    writes.push_back(count);
    return TMemoryStream::Write(buffer, count);
  }
  std::vector<int64_t> writes;
};

// One member of a ZIP archive, read from its local header and, for the
// check values, the central directory.
struct ZipMember {
  std::string name;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t mod_time = 0;
  uint32_t crc = 0;
  uint32_t compressed_size = 0;
  uint32_t size = 0;
  size_t data_offset = 0;
  // What the password check compares with: the time for members with a
  // data descriptor, else the CRC-32.
  uint32_t CheckValue() const { return (flags & 8) ? uint32_t{mod_time} << 16 : crc; }
};

inline uint32_t Le16(const std::vector<uint8_t>& b, size_t p) {
  return b[p] | b[p + 1] << 8;
}
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t p) {
  return Le16(b, p) | Le16(b, p + 2) << 16;
}

inline std::vector<ZipMember> ReadZipMembers(const std::vector<uint8_t>& b) {
  std::vector<ZipMember> members;
  if (b.size() < 22) return members;
  size_t eocd = b.size() - 22;
  while (eocd > 0 && Le32(b, eocd) != 0x06054B50) --eocd;
  const uint32_t count = Le16(b, eocd + 10);
  size_t p = Le32(b, eocd + 16);
  for (uint32_t i = 0; i < count && p + 46 <= b.size() && Le32(b, p) == 0x02014B50; ++i) {
    ZipMember m;
    m.crc = Le32(b, p + 16);
    m.compressed_size = Le32(b, p + 20);
    m.size = Le32(b, p + 24);
    const size_t name_len = Le16(b, p + 28);
    m.name.assign(b.begin() + static_cast<std::ptrdiff_t>(p + 46),
                  b.begin() + static_cast<std::ptrdiff_t>(p + 46 + name_len));
    const size_t local = Le32(b, p + 42);
    p += 46 + name_len + Le16(b, p + 30) + Le16(b, p + 32);
    // Flags, method and time as the local header has them.
    m.flags = static_cast<uint16_t>(Le16(b, local + 6));
    m.method = static_cast<uint16_t>(Le16(b, local + 8));
    m.mod_time = static_cast<uint16_t>(Le16(b, local + 10));
    m.data_offset = local + 30 + Le16(b, local + 26) + Le16(b, local + 28);
    members.push_back(m);
  }
  return members;
}

}  // namespace vx::test
