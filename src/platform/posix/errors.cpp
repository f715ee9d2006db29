// Windows error codes and messages for the Linux backend.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "platform/posix/posix_support.h"

namespace vx::platform {

namespace posix {

namespace {
thread_local uint32_t last_error = 0;

std::string ParentOf(const std::string& host_path) {
  size_t end = host_path.size();
  while (end > 1 && host_path[end - 1] == '/') --end;  // "a/b/" has the parent "a"
  size_t slash = host_path.rfind('/', end - 1);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : host_path.substr(0, slash);
}
}  // namespace

bool IsHostDirectory(const std::string& host_path) {
  struct stat status;
  return stat(host_path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

uint32_t WindowsError(int error_number, const std::string& host_path) {
  switch (error_number) {
    case ENOENT:
      if (!host_path.empty() && !IsHostDirectory(ParentOf(host_path))) return kErrorPathNotFound;
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      return kErrorSharingViolation;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EROFS:
      return kErrorWriteProtect;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EINVAL:
      return kErrorInvalidParameter;
    case EXDEV:
      return kErrorNotSameDevice;
    case EIO:
      return kErrorIoDevice;
    case ELOOP:
      return kErrorCantResolveFilename;
    default:
      return kErrorGenFailure;
  }
}

void RecordError(uint32_t code) {
  last_error = code;
}

bool FailFromErrno(const std::string& host_path) {
  RecordError(WindowsError(errno, host_path));
  return false;
}

}  // namespace posix

// The backend knows the Windows wording of the codes it produces; any other
// code has no message here, as a code missing from the system table.
std::optional<std::string> SystemErrorMessage(uint32_t code) {
  switch (code) {
    case kErrorFileNotFound:
      return std::string("The system cannot find the file specified.\r\n");
    case kErrorPathNotFound:
      return std::string("The system cannot find the path specified.\r\n");
    case kErrorTooManyOpenFiles:
      return std::string("The system cannot open the file.\r\n");
    case kErrorAccessDenied:
      return std::string("Access is denied.\r\n");
    case kErrorInvalidHandle:
      return std::string("The handle is invalid.\r\n");
    case kErrorNotEnoughMemory:
      return std::string("Not enough memory resources are available to process this command.\r\n");
    case kErrorNotSameDevice:
      return std::string("The system cannot move the file to a different disk drive.\r\n");
    case kErrorWriteProtect:
      return std::string("The media is write protected.\r\n");
    case kErrorNotReady:
      return std::string("The device is not ready.\r\n");
    case kErrorGenFailure:
      return std::string("A device attached to the system is not functioning.\r\n");
    case kErrorSharingViolation:
      return std::string("The process cannot access the file because it is being used by another process.\r\n");
    case kErrorFileExists:
      return std::string("The file exists.\r\n");
    case kErrorInvalidParameter:
      return std::string("The parameter is incorrect.\r\n");
    case kErrorDiskFull:
      return std::string("There is not enough space on the disk.\r\n");
    case kErrorDirNotEmpty:
      return std::string("The directory is not empty.\r\n");
    case kErrorAlreadyExists:
      return std::string("Cannot create a file when that file already exists.\r\n");
    case kErrorFilenameTooLong:
      return std::string("The filename or extension is too long.\r\n");
    case kErrorDirectory:
      return std::string("The directory name is invalid.\r\n");
    case kErrorIoDevice:
      return std::string("The request could not be performed because of an I/O device error.\r\n");
    case kErrorCantResolveFilename:
      return std::string("The name of the file cannot be resolved by the system.\r\n");
    default:
      return std::nullopt;
  }
}

uint32_t LastError() {
  return posix::last_error;
}

}  // namespace vx::platform
