// The decryption reader of the legacy decoders: checks the password against a
// member's 12-byte encryption header, asking for another password after each
// rejection, then decrypts the member's data block by block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/zip_crypto.h"
#include "platform/stream.h"

namespace vx {

class TAbZDecoder {
 public:
  // `one_byte_check`: compare only the most significant byte of the check
  // value (as extraction always does); otherwise the byte before the last
  // must match its second byte too. `retries` is the number of new
  // passwords that may be asked for.
  TAbZDecoder(std::string password, uint32_t check_value, bool one_byte_check, int32_t retries);

  // Asked for a new password after a rejection; answers false when nobody is
  // there to ask, and the same password is then tried again.
  std::function<bool(std::string& password)> OnNeedPassword;

  // Checks the header at `start` (the member's data) with the password, then
  // with each newly asked one, up to `retries` requests; leaves the archive
  // just after the header. Raises EAbZipInvalidPassword when every attempt
  // is rejected, and EAbReadError when the header cannot be read.
  void CheckPassword(TStream& archive, int64_t start);

  void Decrypt(uint8_t* data, size_t size) { cipher_.Decrypt(data, size); }

  // The password that was accepted (or tried last).
  const std::string& Password() const { return password_; }

 private:
  bool Attempt(TStream& archive, int64_t start);

  std::string password_;
  uint32_t check_value_;
  bool one_byte_check_;
  int32_t retries_;
  ZipCipher cipher_;
};

}  // namespace vx
