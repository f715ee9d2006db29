// Errors in the Windows model, for both backends: the Windows error codes the
// program names, the last error of this layer, the system's message text for
// a code, and the exception raised when a system call fails for good.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/exception.h"

namespace vx::platform {

// Windows error codes.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorNotSameDevice = 17;
constexpr uint32_t kErrorWriteProtect = 19;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorEnvVarNotFound = 203;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorDirectory = 267;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorCantResolveFilename = 1921;

// The Windows error code of the last failed call of this layer on this
// thread. Kept by the layer itself, so clean-up calls made after a failure
// (closing handles, restoring the error mode) cannot overwrite it.
uint32_t LastError();

// The system's message text for a code, exactly as the system gives it
// (usually ending in CR LF); nullopt when it has none.
std::optional<std::string> SystemErrorMessage(uint32_t code);

// The system's text for a code on one line (without its line break), or
// "System error <code>." when the system has none: for error messages that
// go on after it.
std::string SystemErrorLine(uint32_t code);

// An operating-system call failed where the caller cannot go on; ErrorCode()
// is the Windows error code.
class EOSError : public Exception {
 public:
  EOSError(std::string message, uint32_t error_code)
      : Exception(std::move(message)), error_code_(error_code) {}
  uint32_t ErrorCode() const { return error_code_; }

 private:
  uint32_t error_code_;
};

// Raises EOSError for `code`, with the system's text for it.
[[noreturn]] void RaiseOSError(uint32_t code);

}  // namespace vx::platform
