// Traditional PKWARE encryption of ZIP members: the three-key stream cipher,
// the 12-byte encryption header in front of each member's data, and a stream
// that decrypts a member's data as the inflater reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/stream.h"

namespace vx {

// Size of the encryption header in front of each encrypted member's data.
inline constexpr int32_t kZipEncryptionHeaderSize = 12;

// The three keys of the cipher. Decrypting and encrypting update the keys
// with the plain byte, so both directions must see the bytes in order.
class ZipCipher {
 public:
  ZipCipher() { Reset(); }

  // Sets the keys to their start values and mixes in every password byte.
  void Init(const std::string& password);

  uint8_t DecryptByte(uint8_t c) {
    const uint8_t plain = static_cast<uint8_t>(c ^ KeyStreamByte());
    UpdateKeys(plain);
    return plain;
  }
  uint8_t EncryptByte(uint8_t plain) {
    const uint8_t c = static_cast<uint8_t>(plain ^ KeyStreamByte());
    UpdateKeys(plain);
    return c;
  }

  // In place.
  void Decrypt(uint8_t* data, size_t size);
  void Encrypt(uint8_t* data, size_t size);

 private:
  void Reset();
  uint8_t KeyStreamByte() const {
    const uint32_t t = (keys_[2] & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  }
  void UpdateKeys(uint8_t plain);

  uint32_t keys_[3];
};

// The cipher plus the rule that accepts a password: after decrypting the
// 12-byte header, its last byte must equal the most significant byte of the
// member's check value (its CRC-32, or its modification time shifted left by
// 16 bits when the member has a data descriptor).
class TAbZipDecryptEngine {
 public:
  // Initialises the keys from `password`, decrypts `header` (12 bytes) in
  // place and reports whether it is accepted. Only then is the engine ready.
  bool VerifyHeader(uint8_t* header, const std::string& password, uint32_t check_value);

  // Decrypts in place; raises EAbInternalInflateError before a header has
  // been accepted, since the keys would be meaningless.
  void Decode(uint8_t* data, size_t size);

  bool Ready() const { return ready_; }

 private:
  ZipCipher cipher_;
  bool ready_ = false;
};

// Reads an encrypted member's data from the archive stream, decrypted.
// Read-only; seeking and the size are those of the archive stream.
class TAbDfDecryptStream : public TStream {
 public:
  TAbDfDecryptStream(TStream& archive, uint32_t check_value, const std::string& password);

  // Reads and checks the 12-byte header at the archive's current position.
  // On rejection the archive is moved back to the header, so the check can be
  // repeated (with another password, through a new stream).
  bool IsValid();

  int64_t Read(void* buffer, int64_t count) override;
  // Raises EAbInternalInflateError: this stream is read-only.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;

 private:
  TStream& archive_;
  uint32_t check_value_;
  std::string password_;
  TAbZipDecryptEngine engine_;
};

}  // namespace vx
