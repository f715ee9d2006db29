// Archive failures: typed exceptions carrying an integer code, and the one
// table that maps each code to its text (error messages as well as the labels
// used by lists, dialogs and the log).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/exception.h"

namespace vx {

// Assigns the text of `code` to `text`; leaves `text` unchanged when the code
// has no entry.
void MessageForCode(int32_t code, std::string& text);

// The text of `code`, or "" when it has none.
std::string MessageTextOf(int32_t code);

// Fills a table text with its arguments: each "%d" or "%s" in turn takes the
// next argument, "%%" is a percent sign.
std::string FormatMessageText(const std::string& pattern, std::initializer_list<std::string> args);

// The number of entries in the message table.
int32_t MessageTableSize();

class EAbException : public Exception {
 public:
  EAbException(std::string message, int32_t error_code = 0)
      : Exception(std::move(message)), error_code_(error_code) {}
  int32_t ErrorCode() const { return error_code_; }

 private:
  int32_t error_code_;
};

// The three families; they carry no code of their own.
class EAbZipException : public EAbException {
 public:
  using EAbException::EAbException;
};
class EAbCabException : public EAbException {
 public:
  using EAbException::EAbException;
};
class EAbGzipException : public EAbException {
 public:
  using EAbException::EAbException;
};

// A concrete class: message and code come from the table.
template <class Family, int32_t Code>
class EAbCoded : public Family {
 public:
  static constexpr int32_t kCode = Code;
  EAbCoded() : Family(MessageTextOf(Code), Code) {}

 protected:
  explicit EAbCoded(std::initializer_list<std::string> args)
      : Family(FormatMessageText(MessageTextOf(Code), args), Code) {}
};

#define VX_AB_EXCEPTION(name, family, code) \
  class name : public EAbCoded<family, code> {};

VX_AB_EXCEPTION(EAbZipVersion, EAbZipException, 1)
VX_AB_EXCEPTION(EAbZipInvalidMethod, EAbZipException, 2)
VX_AB_EXCEPTION(EAbZipNoExtraction, EAbZipException, 3)
VX_AB_EXCEPTION(EAbZipInvalidPassword, EAbZipException, 4)
VX_AB_EXCEPTION(EAbZipNoInsertion, EAbZipException, 5)
VX_AB_EXCEPTION(EAbZipInvalidFactor, EAbZipException, 6)
VX_AB_EXCEPTION(EAbDuplicateName, EAbException, 7)
VX_AB_EXCEPTION(EAbUserAbort, EAbException, 9)
VX_AB_EXCEPTION(EAbZipBadSpanStream, EAbZipException, 13)
VX_AB_EXCEPTION(EAbZipSpanOverwrite, EAbZipException, 15)
VX_AB_EXCEPTION(EAbNoSuchDirectory, EAbException, 19)
VX_AB_EXCEPTION(EAbBadStream, EAbException, 21)
VX_AB_EXCEPTION(EAbZipBadCRC, EAbZipException, 23)
VX_AB_EXCEPTION(EAbFileNotFound, EAbException, 25)
VX_AB_EXCEPTION(EAbZipInvalidLFH, EAbZipException, 26)
VX_AB_EXCEPTION(EAbNoArchive, EAbException, 27)
VX_AB_EXCEPTION(EAbZipInvalid, EAbZipException, 28)
VX_AB_EXCEPTION(EAbReadError, EAbZipException, 29)
VX_AB_EXCEPTION(EAbUnhandledType, EAbException, 35)
VX_AB_EXCEPTION(EAbSpanningNotSupported, EAbException, 36)
VX_AB_EXCEPTION(EAbBBSSeekOutsideBuffer, EAbException, 41)
VX_AB_EXCEPTION(EAbBBSInvalidOrigin, EAbException, 42)
VX_AB_EXCEPTION(EAbGzipInvalid, EAbGzipException, 400)
VX_AB_EXCEPTION(EAbGzipBadCRC, EAbGzipException, 401)
VX_AB_EXCEPTION(EAbGzipBadFileSize, EAbGzipException, 402)
VX_AB_EXCEPTION(EAbNoCabinetDll, EAbCabException, 50)
VX_AB_EXCEPTION(EAbFCIFileOpenError, EAbCabException, 51)
VX_AB_EXCEPTION(EAbFCIFileReadError, EAbCabException, 52)
VX_AB_EXCEPTION(EAbFCIFileWriteError, EAbCabException, 53)
VX_AB_EXCEPTION(EAbFCIFileCloseError, EAbCabException, 54)
VX_AB_EXCEPTION(EAbFCIFileSeekError, EAbCabException, 55)
VX_AB_EXCEPTION(EAbFCIFileDeleteError, EAbCabException, 56)
VX_AB_EXCEPTION(EAbFCIAddFileError, EAbCabException, 57)
VX_AB_EXCEPTION(EAbFCICreateError, EAbCabException, 58)
VX_AB_EXCEPTION(EAbFDICopyError, EAbCabException, 61)
VX_AB_EXCEPTION(EAbFDICreateError, EAbCabException, 62)
VX_AB_EXCEPTION(EAbInvalidCabFile, EAbCabException, 64)

#undef VX_AB_EXCEPTION

// Two members of the directory share bytes: the same local header, or one
// member's header inside another's header and data. An archive built so
// makes a few kilobytes extract as gigabytes; it is refused as a whole.
class EAbZipMembersOverlap : public EAbZipInvalid {
 public:
  explicit EAbZipMembersOverlap(const std::string& detail) {
    SetMessage("Invalid file - members overlap (" + detail + "); possible zip bomb");
  }
};

// Classes whose text takes arguments (a byte count, an origin, a file name).
class EAbBBSReadTooManyBytes : public EAbCoded<EAbException, 40> {
 public:
  explicit EAbBBSReadTooManyBytes(int32_t count) : EAbCoded({std::to_string(count)}) {}
};
class EAbBBSWriteTooManyBytes : public EAbCoded<EAbException, 43> {
 public:
  explicit EAbBBSWriteTooManyBytes(int32_t count) : EAbCoded({std::to_string(count)}) {}
};
class EAbVMSInvalidOrigin : public EAbCoded<EAbZipException, 201> {
 public:
  explicit EAbVMSInvalidOrigin(int32_t origin) : EAbCoded({std::to_string(origin)}) {}
};
class EAbVMSErrorOpenSwap : public EAbCoded<EAbZipException, 202> {
 public:
  explicit EAbVMSErrorOpenSwap(const std::string& name) : EAbCoded({name}) {}
};
class EAbVMSSeekFail : public EAbCoded<EAbZipException, 203> {
 public:
  explicit EAbVMSSeekFail(const std::string& name) : EAbCoded({name}) {}
};
class EAbVMSReadFail : public EAbCoded<EAbZipException, 204> {
 public:
  EAbVMSReadFail(int32_t count, const std::string& name)
      : EAbCoded({std::to_string(count), name}) {}
};
class EAbVMSWriteFail : public EAbCoded<EAbZipException, 205> {
 public:
  EAbVMSWriteFail(int32_t count, const std::string& name)
      : EAbCoded({std::to_string(count), name}) {}
};

// The inflater's and deflater's own exceptions: outside the coded family, so
// extraction reports them without a code.
class EAbInflateError : public Exception {
 public:
  explicit EAbInflateError(const std::string& cause)
      : Exception(
            "Archive inflate error, possibly a corrupted compressed stream. (Internal cause: " +
            cause + ")") {}
};
class EAbDeflateError : public Exception {
 public:
  explicit EAbDeflateError(const std::string& cause)
      : Exception("Archive deflate error. (Internal cause: " + cause + ")") {}
};
// A member whose data does not decode to the size its directory entry
// declares: more (decoding stops there, nothing past it is written) or less.
class EAbZipSizeMismatch : public Exception {
 public:
  using Exception::Exception;
  static EAbZipSizeMismatch TooLong(uint64_t declared);
  static EAbZipSizeMismatch TooShort(uint64_t produced, uint64_t declared);
};
class EAbInternalInflateError : public Exception {
 public:
  using Exception::Exception;
};
class EAbInternalDeflateError : public Exception {
 public:
  using Exception::Exception;
};
class EAbInflatePasswordError : public Exception {
 public:
  EAbInflatePasswordError() : Exception("Inflate: stream is encrypted but passphrase is wrong") {}
};
class EAbAbortProgress : public Exception {
 public:
  EAbAbortProgress() : Exception(MessageTextOf(9)) {}
};
class EAbPartSizedInflate : public Exception {
 public:
  EAbPartSizedInflate() : Exception("") {}
};

}  // namespace vx
