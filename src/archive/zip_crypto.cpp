// Traditional PKWARE encryption: three keys stepped per plain byte, the first
// and third through CRC-32 steps and the second through a linear congruence.
#include "archive/zip_crypto.h"

#include "archive/crc32.h"
#include "archive/errors.h"

namespace vx {

void ZipCipher::Reset() {
  keys_[0] = 0x12345678;
  keys_[1] = 0x23456789;
  keys_[2] = 0x34567890;
}

void ZipCipher::UpdateKeys(uint8_t plain) {
  keys_[0] = Crc32Step(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = Crc32Step(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

void ZipCipher::Init(const std::string& password) {
  Reset();
  for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

void ZipCipher::Decrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) data[i] = DecryptByte(data[i]);
}

void ZipCipher::Encrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) data[i] = EncryptByte(data[i]);
}

bool TAbZipDecryptEngine::VerifyHeader(uint8_t* header, const std::string& password,
                                       uint32_t check_value) {
  cipher_.Init(password);
  cipher_.Decrypt(header, kZipEncryptionHeaderSize);
  ready_ = header[kZipEncryptionHeaderSize - 1] == static_cast<uint8_t>(check_value >> 24);
  return ready_;
}

void TAbZipDecryptEngine::Decode(uint8_t* data, size_t size) {
  if (!ready_) throw EAbInternalInflateError("TAbZipDecryptEngine.Decode: no header accepted");
  cipher_.Decrypt(data, size);
}

TAbDfDecryptStream::TAbDfDecryptStream(TStream& archive, uint32_t check_value,
                                       const std::string& password)
    : archive_(archive), check_value_(check_value), password_(password) {}

bool TAbDfDecryptStream::IsValid() {
  uint8_t header[kZipEncryptionHeaderSize];
  const int64_t got = archive_.Read(header, kZipEncryptionHeaderSize);
  // A member too short to hold the header cannot be decrypted with any
  // password; step back over what was read, as after a rejection.
  if (got == kZipEncryptionHeaderSize && engine_.VerifyHeader(header, password_, check_value_)) {
    return true;
  }
  if (got > 0) archive_.Seek(-got, soCurrent);
  return false;
}

int64_t TAbDfDecryptStream::Read(void* buffer, int64_t count) {
  const int64_t got = archive_.Read(buffer, count);
  if (got > 0) engine_.Decode(static_cast<uint8_t*>(buffer), static_cast<size_t>(got));
  return got;
}

int64_t TAbDfDecryptStream::Write(const void*, int64_t) {
  throw EAbInternalInflateError("TAbDfDecryptStream.Write: the stream is read-only");
}

int64_t TAbDfDecryptStream::Seek(int64_t offset, SeekOrigin origin) {
  return archive_.Seek(offset, origin);
}

int64_t TAbDfDecryptStream::Size() {
  return archive_.Size();
}

}  // namespace vx
