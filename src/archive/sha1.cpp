// SHA-1 as the secure hash standard describes it, HMAC over it, and PBKDF2.
// The block function uses the processor's SHA extensions when present
// (sha1_x86.cpp), which run several times faster than the portable rounds.
#include "archive/sha1.h"

#include <algorithm>
#include <cstring>

namespace vx {

namespace {

inline uint32_t Rotl(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadBE32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

inline void StoreBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

using CompressFunction = void (*)(uint32_t*, const uint8_t*, size_t);

CompressFunction ChooseCompress() {
  return Sha1ExtensionsAvailable() ? Sha1CompressExtensions : Sha1CompressPortable;
}

void Compress(uint32_t state[5], const uint8_t* blocks, size_t count) {
  static const CompressFunction compress = ChooseCompress();
  compress(state, blocks, count);
}

}  // namespace

void Sha1CompressPortable(uint32_t state[5], const uint8_t* p, size_t count) {
  for (; count > 0; --count, p += 64) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) w[t] = LoadBE32(p + 4 * t);
    for (int t = 16; t < 80; ++t) w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    auto step = [&](uint32_t f, uint32_t k, uint32_t wt) {
      const uint32_t temp = Rotl(a, 5) + f + e + k + wt;
      e = d;
      d = c;
      c = Rotl(b, 30);
      b = a;
      a = temp;
    };
    for (int t = 0; t < 20; ++t) step((b & c) | (~b & d), 0x5A827999, w[t]);
    for (int t = 20; t < 40; ++t) step(b ^ c ^ d, 0x6ED9EBA1, w[t]);
    for (int t = 40; t < 60; ++t) step((b & c) | (b & d) | (c & d), 0x8F1BBCDC, w[t]);
    for (int t = 60; t < 80; ++t) step(b ^ c ^ d, 0xCA62C1D6, w[t]);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

void Sha1::Reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xEFCDAB89;
  state_[2] = 0x98BADCFE;
  state_[3] = 0x10325476;
  state_[4] = 0xC3D2E1F0;
  buffered_ = 0;
  length_ = 0;
}

void Sha1::Update(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  length_ += size;
  if (buffered_ > 0) {
    const size_t take = std::min(size, kBlockSize - buffered_);
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    size -= take;
    if (buffered_ < kBlockSize) return;
    Compress(state_, buffer_, 1);
    buffered_ = 0;
  }
  if (size >= kBlockSize) {
    Compress(state_, p, size / kBlockSize);
    p += size & ~(kBlockSize - 1);
    size &= kBlockSize - 1;
  }
  std::memcpy(buffer_, p, size);
  buffered_ = size;
}

void Sha1::Final(uint8_t digest[kDigestSize]) {
  const uint64_t bits = length_ * 8;
  uint8_t pad[kBlockSize * 2] = {0x80};
  const size_t pad_size = (buffered_ < 56 ? 56 : 120) - buffered_;
  for (int i = 0; i < 8; ++i) pad[pad_size + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(pad, pad_size + 8);
  for (int i = 0; i < 5; ++i) StoreBE32(digest + 4 * i, state_[i]);
}

void HmacSha1::SetKey(const void* key, size_t key_size) {
  uint8_t block[Sha1::kBlockSize] = {};
  if (key_size > Sha1::kBlockSize) {
    Sha1 h;
    h.Update(key, key_size);
    h.Final(block);
  } else {
    std::memcpy(block, key, key_size);
  }
  uint8_t pad[Sha1::kBlockSize];
  for (size_t i = 0; i < Sha1::kBlockSize; ++i) pad[i] = block[i] ^ 0x36;
  inner_start_.Reset();
  inner_start_.Update(pad, sizeof pad);
  for (size_t i = 0; i < Sha1::kBlockSize; ++i) pad[i] = block[i] ^ 0x5C;
  outer_start_.Reset();
  outer_start_.Update(pad, sizeof pad);
  inner_ = inner_start_;
}

void HmacSha1::Final(uint8_t mac[Sha1::kDigestSize]) {
  uint8_t inner[Sha1::kDigestSize];
  inner_.Final(inner);
  Sha1 outer = outer_start_;
  outer.Update(inner, sizeof inner);
  outer.Final(mac);
}

void Pbkdf2HmacSha1(const void* password, size_t password_size, const void* salt, size_t salt_size,
                    uint32_t iterations, uint8_t* out, size_t out_size) {
  HmacSha1 hmac(password, password_size);
  for (uint32_t block = 1; out_size > 0; ++block) {
    const uint8_t index[4] = {static_cast<uint8_t>(block >> 24), static_cast<uint8_t>(block >> 16),
                              static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
    uint8_t u[Sha1::kDigestSize], t[Sha1::kDigestSize];
    hmac.Restart();
    hmac.Update(salt, salt_size);
    hmac.Update(index, sizeof index);
    hmac.Final(u);
    std::memcpy(t, u, sizeof t);
    for (uint32_t i = 1; i < iterations; ++i) {
      hmac.Restart();
      hmac.Update(u, sizeof u);
      hmac.Final(u);
      for (size_t k = 0; k < sizeof t; ++k) t[k] ^= u[k];
    }
    const size_t take = std::min(out_size, sizeof t);
    std::memcpy(out, t, take);
    out += take;
    out_size -= take;
  }
}

}  // namespace vx
