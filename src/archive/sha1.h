// SHA-1, HMAC-SHA1 and PBKDF2-HMAC-SHA1: the hash, the keyed check and the
// password-to-key derivation of WinZip AES encryption.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vx {

class Sha1 {
 public:
  static constexpr size_t kDigestSize = 20;
  static constexpr size_t kBlockSize = 64;

  Sha1() { Reset(); }
  void Reset();
  void Update(const void* data, size_t size);
  // Writes the digest; the object must be Reset before it is used again.
  void Final(uint8_t digest[kDigestSize]);

 private:
  friend class HmacSha1;
  uint32_t state_[5];
  uint8_t buffer_[kBlockSize];
  size_t buffered_;
  uint64_t length_;
};

// HMAC with SHA-1. The key's inner and outer states are computed once, so
// Restart begins another message under the same key at no extra cost.
class HmacSha1 {
 public:
  HmacSha1() = default;
  HmacSha1(const void* key, size_t key_size) { SetKey(key, key_size); }
  void SetKey(const void* key, size_t key_size);
  void Restart() { inner_ = inner_start_; }
  void Update(const void* data, size_t size) { inner_.Update(data, size); }
  void Final(uint8_t mac[Sha1::kDigestSize]);

 private:
  Sha1 inner_start_, outer_start_, inner_;
};

// Derives `out_size` bytes from the password and salt.
void Pbkdf2HmacSha1(const void* password, size_t password_size, const void* salt, size_t salt_size,
                    uint32_t iterations, uint8_t* out, size_t out_size);

// The block function: the portable one, and the processor's SHA extensions
// (sha1_x86.cpp) where present; exposed so tests can compare them.
void Sha1CompressPortable(uint32_t state[5], const uint8_t* blocks, size_t count);
bool Sha1ExtensionsAvailable();
void Sha1CompressExtensions(uint32_t state[5], const uint8_t* blocks, size_t count);

}  // namespace vx
