// The small vocabulary shared by the archive classes and the extraction
// component: archive kinds and states, processing kinds, error classes, the
// extract options, and the non-archive exceptions extraction may meet.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/exception.h"

namespace vx {

enum TAbArchiveType : int32_t {
  atUnknown = 0,
  atZip = 1,
  atSpannedZip = 2,
  atSelfExtZip = 3,
  atTar = 4,
  atGzip = 5,
  atGzippedTar = 6,
  atCab = 7,
};

enum TAbArchiveStatus : int32_t { asInvalid = 0, asIdle = 1, asBusy = 2 };

enum TAbProcessType : int32_t {
  ptAdd = 0,
  ptDelete = 1,
  ptExtract = 2,
  ptFreshen = 3,
  ptMove = 4,
  ptReplace = 5,
};

// 5 is never produced; the numbering is what handlers compare against.
enum TAbErrorClass : int32_t {
  ecArchive = 0,
  ecInOut = 1,
  ecFiler = 2,
  ecFileCreate = 3,
  ecFileOpen = 4,
  ecOther = 6,
};

enum TAbExtractOption : uint8_t { eoCreateDirs = 0, eoRestorePath = 1 };

// A set of extract options, one bit per TAbExtractOption.
class TAbExtractOptions {
 public:
  constexpr TAbExtractOptions() = default;
  constexpr TAbExtractOptions(std::initializer_list<TAbExtractOption> options) {
    for (TAbExtractOption option : options) bits_ |= static_cast<uint8_t>(1u << option);
  }
  constexpr bool Contains(TAbExtractOption option) const { return (bits_ >> option) & 1u; }
  constexpr uint8_t Bits() const { return bits_; }
  constexpr bool operator==(const TAbExtractOptions&) const = default;

 private:
  uint8_t bits_ = 0;
};

// A directory could not be created: the operating system's error code, as an
// input/output error of the run-time library would carry it.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, uint32_t error_code)
      : Exception(std::move(message)), error_code_(error_code) {}
  uint32_t ErrorCode() const { return error_code_; }

 private:
  uint32_t error_code_;
};

// A file could not be opened, or could not be created; both keep the
// operating system's error code of the underlying failure.
class EFOpenError : public EFileError {
 public:
  using EFileError::EFileError;
};
class EFCreateError : public EFileError {
 public:
  using EFileError::EFileError;
};

// An index outside the item list.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace vx
