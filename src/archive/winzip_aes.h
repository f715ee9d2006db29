// WinZip AES encryption of ZIP members (method 99).
//
// Such a member's headers say method 99 and carry an extra field 0x9901:
// vendor version (1 = AE-1, 2 = AE-2), vendor "AE", key strength (1, 2, 3
// for 128, 192, 256 bits) and the real compression method. Its stored data
// ("compressed size" in the headers) is
//
//   salt (8/12/16 bytes) | password verifier (2) | encrypted data | code (10)
//
// The keys come from PBKDF2-HMAC-SHA1(password, salt, 1000 iterations): the
// AES key, then the HMAC key (both of the key size), then the verifier. The
// data is AES in counter mode (little-endian counter from 1); the code is the
// first 10 bytes of HMAC-SHA1 over the encrypted data. AE-1 also stores the
// CRC-32 of the plain data; AE-2 stores 0 there and relies on the code.
//
// Reading a member: ReadWinZipAesInfo on its extra field; a
// TAbWinZipAesStream over the archive at the salt, IsValid with each password
// in turn; the real method's decoder reads the stream (DataSize() bytes of
// compressed data); then Finish() checks the code. Only after that, and for
// AE-1 the CRC-32, does the member count as good.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/aes.h"
#include "archive/method_decoder.h"
#include "archive/sha1.h"
#include "platform/stream.h"

namespace vx {

inline constexpr uint16_t kWinZipAesMethod = 99;
inline constexpr uint16_t kWinZipAesExtraFieldId = 0x9901;
inline constexpr int32_t kWinZipAesVerifierSize = 2;
inline constexpr int32_t kWinZipAesCodeSize = 10;
inline constexpr uint32_t kWinZipAesIterations = 1000;

struct TAbWinZipAesInfo {
  uint16_t vendor_version = 0;  // 1 (AE-1) or 2 (AE-2)
  uint8_t strength = 0;         // 1, 2 or 3
  uint16_t method = 0;          // of the data once decrypted

  int32_t KeySize() const { return 8 + 8 * strength; }   // 16, 24, 32
  int32_t SaltSize() const { return 4 + 4 * strength; }  // 8, 12, 16
  // Stored bytes that are not the method's data.
  int32_t Overhead() const { return SaltSize() + kWinZipAesVerifierSize + kWinZipAesCodeSize; }
  // AE-1 members store a CRC-32 of the plain data to check; AE-2 store 0.
  bool HasCrc() const { return vendor_version == 1; }
};

// Finds the 0x9901 field in a header's extra field block. Answers false when
// there is none; raises EAbDecompressError when it is malformed or names an
// unknown vendor, version or strength.
bool ReadWinZipAesInfo(const std::string& extra, TAbWinZipAesInfo& info);

// Reads an encrypted member's data from the archive, decrypted, and checks its
// authentication code once all of it has been read (or at Finish).
// Positions, Seek and Size are those of the method's data (0 .. DataSize()).
// Failures raise EAbDecompressError.
class TAbWinZipAesStream : public TStream {
 public:
  // `archive` stands at the salt; `stored_size` is the member's compressed
  // size from its headers. Raises when it cannot hold salt, verifier and code.
  TAbWinZipAesStream(TStream& archive, const TAbWinZipAesInfo& info, int64_t stored_size);

  // Derives the keys from `password` and answers whether the verifier
  // matches (a wrong password is caught here with odds 65535 to 1; the code
  // catches the rest). Can be called again with another password.
  bool IsValid(const std::string& password);

  int64_t DataSize() const { return data_size_; }
  // Reads any data not read yet and the code after it and compares; raises
  // when it differs. Leaves the archive after the member's stored data.
  void Finish();
  bool Verified() const { return verified_; }

  int64_t Read(void* buffer, int64_t count) override;
  // Raises EStreamError: the stream is read-only.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return data_size_; }

 private:
  // Feeds the code with stored data up to `end` not yet fed.
  void AuthenticateTo(int64_t end);
  void CheckCode();
  int64_t ReadStored(int64_t offset, uint8_t* buffer, int64_t count);

  TStream& archive_;
  TAbWinZipAesInfo info_;
  int64_t salt_position_;
  int64_t data_position_;
  int64_t data_size_;
  bool ready_ = false;
  bool verified_ = false;
  AesCtr cipher_;
  HmacSha1 hmac_;
  int64_t position_ = 0;       // in the data
  int64_t authenticated_ = 0;  // data bytes fed to the code so far
  int64_t cipher_at_ = 0;      // keystream position of the cipher
  int64_t stored_at_ = -1;     // where the archive stands, relative to the data; -1 unknown
  std::vector<uint8_t> scratch_;
};

}  // namespace vx
