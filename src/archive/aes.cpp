// AES encryption as the advanced encryption standard describes it, in the
// counter mode of WinZip AES. The portable cipher combines SubBytes,
// ShiftRows and MixColumns of a round into four table lookups per column;
// processors with AES instructions (aes_x86.cpp) run eight blocks at once
// through them instead. Only the forward cipher is needed: counter mode
// decrypts by encrypting the counter.
#include "archive/aes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vx {

namespace {

constexpr uint8_t Times2(uint8_t x) {
  return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr uint8_t Multiply(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  for (; b; b >>= 1, a = Times2(a)) {
    if (b & 1) r ^= a;
  }
  return r;
}

constexpr uint8_t Rotl8(uint8_t x, int n) {
  return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

// The multiplicative inverse (x^254) followed by the affine map.
constexpr std::array<uint8_t, 256> MakeSbox() {
  std::array<uint8_t, 256> s{};
  for (int x = 0; x < 256; ++x) {
    uint8_t inv = 1, base = static_cast<uint8_t>(x);
    for (int e = 254; e; e >>= 1, base = Multiply(base, base)) {
      if (e & 1) inv = Multiply(inv, base);
    }
    if (x == 0) inv = 0;
    s[x] = static_cast<uint8_t>(inv ^ Rotl8(inv, 1) ^ Rotl8(inv, 2) ^ Rotl8(inv, 3) ^
                                Rotl8(inv, 4) ^ 0x63);
  }
  return s;
}

constexpr std::array<uint8_t, 256> kSbox = MakeSbox();

constexpr uint32_t Rotl32(uint32_t x, int n) {
  return n == 0 ? x : (x << n) | (x >> (32 - n));
}

// Column words hold row 0 in the low byte. kT[r][x]: the column that byte x
// in row r contributes after SubBytes and MixColumns.
struct Tables {
  uint32_t t[4][256];
};

constexpr Tables MakeTables() {
  Tables t{};
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = kSbox[x];
    const uint32_t col = uint32_t{Times2(s)} | uint32_t{s} << 8 | uint32_t{s} << 16 |
                         uint32_t{static_cast<uint8_t>(Times2(s) ^ s)} << 24;
    for (int r = 0; r < 4; ++r) t.t[r][x] = Rotl32(col, 8 * r);
  }
  return t;
}

alignas(64) constexpr Tables kTables = MakeTables();

inline uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t SubWord(uint32_t w) {
  return uint32_t{kSbox[w & 0xFF]} | uint32_t{kSbox[(w >> 8) & 0xFF]} << 8 |
         uint32_t{kSbox[(w >> 16) & 0xFF]} << 16 | uint32_t{kSbox[w >> 24]} << 24;
}

}  // namespace

void AesEncryptBlockPortable(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  const auto& t = kTables.t;
  uint32_t s[4], n[4];
  for (int c = 0; c < 4; ++c) s[c] = Load32(in + 4 * c) ^ rk[c];
  for (int r = 1; r < rounds; ++r) {
    rk += 4;
    for (int c = 0; c < 4; ++c) {
      n[c] = t[0][s[c] & 0xFF] ^ t[1][(s[(c + 1) & 3] >> 8) & 0xFF] ^
             t[2][(s[(c + 2) & 3] >> 16) & 0xFF] ^ t[3][s[(c + 3) & 3] >> 24] ^ rk[c];
    }
    std::copy(n, n + 4, s);
  }
  rk += 4;
  for (int c = 0; c < 4; ++c) {
    const uint32_t w = uint32_t{kSbox[s[c] & 0xFF]} |
                       uint32_t{kSbox[(s[(c + 1) & 3] >> 8) & 0xFF]} << 8 |
                       uint32_t{kSbox[(s[(c + 2) & 3] >> 16) & 0xFF]} << 16 |
                       uint32_t{kSbox[s[(c + 3) & 3] >> 24]} << 24;
    Store32(out + 4 * c, w ^ rk[c]);
  }
}

namespace {

bool UseInstructions() {
  static const bool available = AesInstructionsAvailable();
  return available;
}

}  // namespace

bool AesCtr::SetKey(const uint8_t* key, size_t key_size) {
  if (key_size != 16 && key_size != 24 && key_size != 32) return false;
  const int nk = static_cast<int>(key_size / 4);
  rounds_ = nk + 6;
  const int words = 4 * (rounds_ + 1);
  for (int i = 0; i < nk; ++i) round_keys_[i] = Load32(key + 4 * i);
  uint32_t rcon = 1;
  for (int i = nk; i < words; ++i) {
    uint32_t temp = round_keys_[i - 1];
    if (i % nk == 0) {
      temp = SubWord(Rotl32(temp, 24)) ^ rcon;
      rcon = Times2(static_cast<uint8_t>(rcon));
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    round_keys_[i] = round_keys_[i - nk] ^ temp;
  }
  Seek(0);
  return true;
}

void AesCtr::Seek(uint64_t offset) {
  counter_ = 1 + offset / kBlockSize;
  used_ = kBlockSize;
  if (offset % kBlockSize != 0) {
    NextKeystreamBlock();
    used_ = offset % kBlockSize;
  }
}

void AesCtr::EncryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const {
  if (UseInstructions()) {
    AesEncryptBlockInstructions(round_keys_, rounds_, in, out);
  } else {
    AesEncryptBlockPortable(round_keys_, rounds_, in, out);
  }
}

void AesCtr::NextKeystreamBlock() {
  uint8_t block[kBlockSize] = {};
  for (int i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(counter_ >> (8 * i));
  ++counter_;
  EncryptBlock(block, keystream_);
  used_ = 0;
}

void AesCtr::Apply(uint8_t* data, size_t size) {
  // The rest of a started block, then whole blocks, then the start of one.
  while (size > 0 && used_ < kBlockSize) {
    *data++ ^= keystream_[used_++];
    --size;
  }
  const size_t blocks = size / kBlockSize;
  if (blocks > 0) {
    if (UseInstructions()) {
      AesCtrInstructions(round_keys_, rounds_, counter_, data, blocks);
      counter_ += blocks;
    } else {
      for (uint8_t* block = data; block != data + blocks * kBlockSize; block += kBlockSize) {
        NextKeystreamBlock();
        for (size_t i = 0; i < kBlockSize; ++i) block[i] ^= keystream_[i];
      }
    }
    used_ = kBlockSize;
    data += blocks * kBlockSize;
    size -= blocks * kBlockSize;
  }
  if (size > 0) {
    NextKeystreamBlock();
    for (size_t i = 0; i < size; ++i) data[i] ^= keystream_[i];
    used_ = size;
  }
}

}  // namespace vx
