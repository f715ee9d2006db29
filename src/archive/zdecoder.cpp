#include "archive/zdecoder.h"

#include <utility>

#include "archive/errors.h"
#include "archive/password_requests.h"

namespace vx {

TAbZDecoder::TAbZDecoder(std::string password, uint32_t check_value, bool one_byte_check,
                         int32_t retries)
    : password_(std::move(password)),
      check_value_(check_value),
      one_byte_check_(one_byte_check),
      retries_(retries) {}

bool TAbZDecoder::Attempt(TStream& archive, int64_t start) {
  cipher_.Init(password_);
  archive.Seek(start, soBeginning);
  uint8_t header[kZipEncryptionHeaderSize];
  int64_t got = 0;
  while (got < kZipEncryptionHeaderSize) {
    const int64_t n = archive.Read(header + got, kZipEncryptionHeaderSize - got);
    if (n <= 0) throw EAbReadError();
    got += n;
  }
  cipher_.Decrypt(header, kZipEncryptionHeaderSize);
  if (header[11] != static_cast<uint8_t>(check_value_ >> 24)) return false;
  return one_byte_check_ || header[10] == static_cast<uint8_t>(check_value_ >> 16);
}

void TAbZDecoder::CheckPassword(TStream& archive, int64_t start) {
  TAbPasswordRequests requests;
  requests.retries = retries_;
  requests.ask = OnNeedPassword;
  AcceptPassword(password_, requests,
                 [&](const std::string&) { return Attempt(archive, start); });
}

}  // namespace vx
