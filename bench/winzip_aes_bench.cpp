// WinZip AES decryption cost against OpenSSL's, side by side in one run: AES
// in counter mode plus HMAC-SHA1 over the same 32 MB, in 64 KiB pieces (the
// code over the encrypted piece, then the piece decrypted in place), for 128-
// and 256-bit keys. Ours is measured through the primitives and through the
// whole decrypting stream over a member in memory. OpenSSL's counter grows
// big-endian where WinZip's grows little-endian; the cost is the same.
#include <openssl/evp.h>
#include <openssl/params.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/aes.h"
#include "archive/sha1.h"
#include "archive/winzip_aes.h"
#include "bench_support.h"
#include "platform/stream.h"

namespace {

using vx::bench::ThreadSeconds;

constexpr size_t kDataSize = 32 << 20;
constexpr size_t kPiece = 64 << 10;

std::vector<uint8_t> Noise(size_t size) {
  std::vector<uint8_t> v(size);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<uint8_t>(x);
  }
  return v;
}

void Ours(std::vector<uint8_t>& data, const uint8_t* key, size_t key_size, uint8_t mac[20]) {
  vx::AesCtr aes;
  aes.SetKey(key, key_size);
  vx::HmacSha1 hmac(key + key_size, key_size);
  for (size_t at = 0; at < data.size(); at += kPiece) {
    const size_t n = std::min(kPiece, data.size() - at);
    hmac.Update(data.data() + at, n);
    aes.Apply(data.data() + at, n);
  }
  hmac.Final(mac);
}

// The fallback for processors without AES instructions or SHA extensions:
// the portable block functions over the same pieces (the HMAC's few extra
// blocks left out).
void Portable(std::vector<uint8_t>& data, const uint8_t* key, size_t key_size) {
  vx::AesCtr aes;
  aes.SetKey(key, key_size);
  uint32_t state[5] = {};
  uint64_t counter = 1;
  for (size_t at = 0; at < data.size(); at += kPiece) {
    const size_t n = std::min(kPiece, data.size() - at);
    vx::Sha1CompressPortable(state, data.data() + at, n / 64);
    for (size_t b = 0; b < n; b += 16, ++counter) {
      uint8_t block[16] = {}, stream[16];
      std::memcpy(block, &counter, 8);
      vx::AesEncryptBlockPortable(aes.RoundKeys(), aes.Rounds(), block, stream);
      for (int i = 0; i < 16; ++i) data[at + b + static_cast<size_t>(i)] ^= stream[i];
    }
  }
}

void OpenSsl(std::vector<uint8_t>& data, const uint8_t* key, size_t key_size, uint8_t mac[20]) {
  static EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_CIPHER_CTX* cipher = EVP_CIPHER_CTX_new();
  uint8_t iv[16] = {1};
  EVP_EncryptInit_ex(cipher, key_size == 16 ? EVP_aes_128_ctr() : EVP_aes_256_ctr(), nullptr, key,
                     iv);
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(hmac);
  char digest[] = "SHA1";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("digest", digest, 0),
                               OSSL_PARAM_construct_end()};
  EVP_MAC_init(ctx, key + key_size, key_size, params);
  for (size_t at = 0; at < data.size(); at += kPiece) {
    const int n = static_cast<int>(std::min(kPiece, data.size() - at));
    EVP_MAC_update(ctx, data.data() + at, static_cast<size_t>(n));
    int out = 0;
    EVP_EncryptUpdate(cipher, data.data() + at, &out, data.data() + at, n);
  }
  size_t mac_size = 0;
  EVP_MAC_final(ctx, mac, &mac_size, 20);
  EVP_MAC_CTX_free(ctx);
  EVP_CIPHER_CTX_free(cipher);
}

// The same data as a member: salt, verifier, ciphertext, code; read whole
// through the stream.
struct StreamCase {
  std::vector<uint8_t> member;
  vx::TAbWinZipAesInfo info;
};

StreamCase MakeMember(const std::vector<uint8_t>& plain, int strength) {
  StreamCase c;
  c.info.vendor_version = 2;
  c.info.strength = static_cast<uint8_t>(strength);
  const size_t key_size = static_cast<size_t>(c.info.KeySize());
  const auto salt = Noise(static_cast<size_t>(c.info.SaltSize()));
  uint8_t derived[66];
  vx::Pbkdf2HmacSha1("pw", 2, salt.data(), salt.size(), vx::kWinZipAesIterations, derived,
                     2 * key_size + 2);
  std::vector<uint8_t> data = plain;
  vx::AesCtr aes;
  aes.SetKey(derived, key_size);
  aes.Apply(data.data(), data.size());
  vx::HmacSha1 hmac(derived + key_size, key_size);
  hmac.Update(data.data(), data.size());
  uint8_t mac[20];
  hmac.Final(mac);
  c.member = salt;
  c.member.insert(c.member.end(), derived + 2 * key_size, derived + 2 * key_size + 2);
  c.member.insert(c.member.end(), data.begin(), data.end());
  c.member.insert(c.member.end(), mac, mac + 10);
  return c;
}

bool ReadMember(const StreamCase& c, std::vector<uint8_t>& out) {
  vx::TMemoryViewStream source(c.member.data(), c.member.size());
  vx::TAbWinZipAesStream aes(source, c.info, static_cast<int64_t>(c.member.size()));
  if (!aes.IsValid("pw")) return false;
  for (size_t at = 0; at < out.size(); at += kPiece) {
    aes.Read(out.data() + at, static_cast<int64_t>(std::min(kPiece, out.size() - at)));
  }
  aes.Finish();
  return aes.Verified();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
  const auto plain = Noise(kDataSize);
  const auto key = Noise(64);
  std::printf("AES instructions: %s, SHA extensions: %s\n",
              vx::AesInstructionsAvailable() ? "yes" : "no",
              vx::Sha1ExtensionsAvailable() ? "yes" : "no");
  std::printf("MB/s of %zu MB in %zu KiB pieces, CTR + HMAC-SHA1 (thread CPU time, best of %d):\n",
              kDataSize >> 20, kPiece >> 10, rounds);
  for (int strength : {1, 3}) {
    const size_t key_size = strength == 1 ? 16 : 32;
    // Same code from both; same first keystream block.
    std::vector<uint8_t> a = plain, b = plain;
    uint8_t mac_a[20], mac_b[20];
    Ours(a, key.data(), key_size, mac_a);
    OpenSsl(b, key.data(), key_size, mac_b);
    if (std::memcmp(mac_a, mac_b, 20) != 0 || std::memcmp(a.data(), b.data(), 16) != 0) {
      std::fprintf(stderr, "results differ from OpenSSL's\n");
      return 1;
    }
    const StreamCase member = MakeMember(plain, strength);
    std::vector<uint8_t> out(plain.size());
    if (!ReadMember(member, out) || out != plain) {
      std::fprintf(stderr, "the stream does not give the plain data back\n");
      return 1;
    }
    double best[4] = {1e9, 1e9, 1e9, 1e9};
    for (int r = 0; r < rounds; ++r) {
      double start = ThreadSeconds();
      Ours(a, key.data(), key_size, mac_a);
      best[0] = std::min(best[0], ThreadSeconds() - start);
      start = ThreadSeconds();
      ReadMember(member, out);
      best[1] = std::min(best[1], ThreadSeconds() - start);
      start = ThreadSeconds();
      OpenSsl(b, key.data(), key_size, mac_b);
      best[2] = std::min(best[2], ThreadSeconds() - start);
      if (r < 2) {
        start = ThreadSeconds();
        Portable(a, key.data(), key_size);
        best[3] = std::min(best[3], ThreadSeconds() - start);
      }
    }
    const double mb = kDataSize / 1e6;
    std::printf("  AES-%zu\n", key_size * 8);
    std::printf("    %-22s %8.1f\n", "vx AesCtr+HmacSha1", mb / best[0]);
    std::printf("    %-22s %8.1f\n", "vx TAbWinZipAesStream", mb / best[1]);
    std::printf("    %-22s %8.1f\n", "OpenSSL EVP", mb / best[2]);
    std::printf("    %-22s %8.1f\n", "vx portable fallback", mb / best[3]);
    std::printf("    cost ratio vx/OpenSSL        %.2fx  (target <= 1.2)\n", best[0] / best[2]);
    std::printf("    cost ratio stream/OpenSSL    %.2fx\n", best[1] / best[2]);
  }
  return 0;
}
