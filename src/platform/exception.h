// The one base of every exception the program raises: it carries the message
// text shown to the user, in the ANSI code page.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace vx {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }

 protected:
  // For a class of a coded family whose text carries details of its own.
  void SetMessage(std::string message) { message_ = std::move(message); }

 private:
  std::string message_;
};

// A stream could not be read, written or positioned as asked.
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// A file could not be opened or created; ErrorCode() is the Windows error code.
class EFileError : public EStreamError {
 public:
  EFileError(std::string message, uint32_t error_code)
      : EStreamError(std::move(message)), error_code_(error_code) {}
  uint32_t ErrorCode() const { return error_code_; }

 private:
  uint32_t error_code_;
};

}  // namespace vx
