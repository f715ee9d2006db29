// WinZip AES members: the extra field, the key derivation and password
// verifier, and the decrypting stream that authenticates what it reads.
#include "archive/winzip_aes.h"

#include <algorithm>
#include <string_view>

#include "archive/little_endian.h"
#include "archive/zip64.h"
#include "platform/exception.h"

namespace vx {

namespace {

constexpr char kMethodName[] = "WinZip AES";
constexpr int64_t kChunkSize = 65536;
constexpr size_t kExtraFieldSize = 7;
constexpr int32_t kMaxKeySize = 32;
constexpr int32_t kMaxSaltSize = 16;

[[noreturn]] void Fail(const char* cause) {
  throw EAbDecompressError(kMethodName, cause);
}

}  // namespace

bool ReadWinZipAesInfo(const std::string& extra, TAbWinZipAesInfo& info) {
  std::string_view field;
  if (!FindExtraField(extra, kWinZipAesExtraFieldId, field)) return false;
  if (field.size() < kExtraFieldSize) Fail("the encryption extra field is too short");
  const uint8_t* p = reinterpret_cast<const uint8_t*>(field.data());
  info.vendor_version = Get16(p);
  info.strength = p[4];
  info.method = Get16(p + 5);
  if (p[2] != 'A' || p[3] != 'E') Fail("unknown encryption vendor");
  if (info.vendor_version != 1 && info.vendor_version != 2) Fail("unknown encryption version");
  if (info.strength < 1 || info.strength > 3) Fail("unknown encryption strength");
  return true;
}

TAbWinZipAesStream::TAbWinZipAesStream(TStream& archive, const TAbWinZipAesInfo& info,
                                       int64_t stored_size)
    : archive_(archive),
      info_(info),
      salt_position_(archive.Position()),
      data_position_(salt_position_ + info.SaltSize() + kWinZipAesVerifierSize),
      data_size_(stored_size - info.Overhead()) {
  if (info.strength < 1 || info.strength > 3) Fail("unknown encryption strength");
  if (data_size_ < 0) Fail("the member is too short for its encryption header");
}

bool TAbWinZipAesStream::IsValid(const std::string& password) {
  ready_ = false;
  stored_at_ = -1;
  const int32_t salt_size = info_.SaltSize();
  const int32_t key_size = info_.KeySize();
  uint8_t header[kMaxSaltSize + kWinZipAesVerifierSize];
  archive_.Seek(salt_position_, soBeginning);
  const int64_t header_size = salt_size + kWinZipAesVerifierSize;
  if (archive_.Read(header, header_size) != header_size) Fail("unexpected end of data");

  uint8_t derived[2 * kMaxKeySize + kWinZipAesVerifierSize];
  Pbkdf2HmacSha1(password.data(), password.size(), header, static_cast<size_t>(salt_size),
                 kWinZipAesIterations, derived, static_cast<size_t>(2 * key_size + 2));
  if (derived[2 * key_size] != header[salt_size] ||
      derived[2 * key_size + 1] != header[salt_size + 1]) {
    return false;
  }
  stored_at_ = 0;
  cipher_at_ = 0;
  cipher_.SetKey(derived, static_cast<size_t>(key_size));
  hmac_.SetKey(derived + key_size, static_cast<size_t>(key_size));
  position_ = 0;
  authenticated_ = 0;
  verified_ = false;
  ready_ = true;
  return true;
}

int64_t TAbWinZipAesStream::ReadStored(int64_t offset, uint8_t* buffer, int64_t count) {
  // Read in order, as decoders do, the archive is never moved: a member that
  // continues on the next disk of a spanned set is read across the boundary.
  if (offset != stored_at_) archive_.Seek(data_position_ + offset, soBeginning);
  stored_at_ = -1;
  const int64_t got = archive_.Read(buffer, count);
  if (got <= 0) Fail("unexpected end of data");
  stored_at_ = offset + got;
  return got;
}

void TAbWinZipAesStream::AuthenticateTo(int64_t end) {
  if (authenticated_ >= end) return;
  scratch_.resize(kChunkSize);
  while (authenticated_ < end) {
    const int64_t got =
        ReadStored(authenticated_, scratch_.data(), std::min(kChunkSize, end - authenticated_));
    hmac_.Update(scratch_.data(), static_cast<size_t>(got));
    authenticated_ += got;
  }
}

void TAbWinZipAesStream::CheckCode() {
  uint8_t stored[kWinZipAesCodeSize];
  for (int64_t have = 0; have < kWinZipAesCodeSize;) {
    have += ReadStored(data_size_ + have, stored + have, kWinZipAesCodeSize - have);
  }
  uint8_t mac[Sha1::kDigestSize];
  hmac_.Final(mac);
  uint8_t difference = 0;
  for (int i = 0; i < kWinZipAesCodeSize; ++i)
    difference |= static_cast<uint8_t>(mac[i] ^ stored[i]);
  if (difference != 0) Fail("authentication code mismatch: the data is damaged or altered");
  verified_ = true;
}

void TAbWinZipAesStream::Finish() {
  if (!ready_) Fail("no password accepted");
  if (!verified_) {
    AuthenticateTo(data_size_);
    CheckCode();
  }
  if (stored_at_ != data_size_ + kWinZipAesCodeSize) {
    archive_.Seek(data_position_ + data_size_ + kWinZipAesCodeSize, soBeginning);
  }
}

int64_t TAbWinZipAesStream::Read(void* buffer, int64_t count) {
  if (!ready_) Fail("no password accepted");
  count = std::min(count, data_size_ - position_);
  if (count <= 0) return 0;
  AuthenticateTo(position_);
  uint8_t* const out = static_cast<uint8_t*>(buffer);
  const int64_t got = ReadStored(position_, out, count);
  if (position_ + got > authenticated_) {
    const int64_t known = authenticated_ - position_;
    hmac_.Update(out + known, static_cast<size_t>(got - known));
    authenticated_ = position_ + got;
  }
  if (cipher_at_ != position_) cipher_.Seek(static_cast<uint64_t>(position_));
  cipher_.Apply(out, static_cast<size_t>(got));
  cipher_at_ = position_ + got;
  position_ += got;
  if (authenticated_ == data_size_ && !verified_) CheckCode();
  return got;
}

int64_t TAbWinZipAesStream::Write(const void*, int64_t) {
  throw EStreamError("a decrypting stream cannot be written");
}

int64_t TAbWinZipAesStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : data_size_;
  position_ = std::clamp(base + offset, int64_t{0}, data_size_);
  return position_;
}

}  // namespace vx
