#include "platform/file_probe.h"

#include "platform/win32/windows_api.h"

namespace vx::platform {

bool FileHeldOpen(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  // A read-only file cannot be opened for writing at all; its attribute is
  // cleared when it is deleted, so only sharing counts here.
  const DWORD access = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? GENERIC_READ : GENERIC_WRITE;
  HANDLE handle = ::CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  }
  ::CloseHandle(handle);
  return false;
}

}  // namespace vx::platform
