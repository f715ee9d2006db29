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
      return 145;  // ERROR_DIR_NOT_EMPTY
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      return kErrorSharingViolation;
    case ENOSPC:
    case EDQUOT:
      return 112;  // ERROR_DISK_FULL
    case EROFS:
      return 19;  // ERROR_WRITE_PROTECT
    case ENAMETOOLONG:
      return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EMFILE:
    case ENFILE:
      return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case EBADF:
      return 6;  // ERROR_INVALID_HANDLE
    case ENOMEM:
      return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case EINVAL:
      return 87;  // ERROR_INVALID_PARAMETER
    case EXDEV:
      return 17;  // ERROR_NOT_SAME_DEVICE
    case EIO:
      return 1117;  // ERROR_IO_DEVICE
    case ELOOP:
      return 1921;  // ERROR_CANT_RESOLVE_FILENAME
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

void RecordError(uint32_t code) {
  last_error = code;
}

bool FailFromErrno(const std::string& host_path) {
  RecordError(WindowsError(errno, host_path));
  return false;
}

std::string SystemMessage(uint32_t code) {
  switch (code) {
    case 2:
      return "The system cannot find the file specified.";
    case 3:
      return "The system cannot find the path specified.";
    case 4:
      return "The system cannot open the file.";
    case 5:
      return "Access is denied.";
    case 6:
      return "The handle is invalid.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 17:
      return "The system cannot move the file to a different disk drive.";
    case 19:
      return "The media is write protected.";
    case 21:
      return "The device is not ready.";
    case 31:
      return "A device attached to the system is not functioning.";
    case 32:
      return "The process cannot access the file because it is being used by another process.";
    case 80:
      return "The file exists.";
    case 87:
      return "The parameter is incorrect.";
    case 112:
      return "There is not enough space on the disk.";
    case 145:
      return "The directory is not empty.";
    case 183:
      return "Cannot create a file when that file already exists.";
    case 206:
      return "The filename or extension is too long.";
    case 267:
      return "The directory name is invalid.";
    case 1117:
      return "The request could not be performed because of an I/O device error.";
    case 1921:
      return "The name of the file cannot be resolved by the system.";
    default:
      return "System error " + std::to_string(code) + ".";
  }
}

}  // namespace posix

uint32_t LastError() {
  return posix::last_error;
}

}  // namespace vx::platform
