#include "platform/shell.h"

#include "platform/win32/windows_api.h"
// shlobj.h needs windows.h before it.
#include <shlobj.h>

namespace vx::platform {

std::string SpecialFolderPath(int32_t csidl) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &items)) || items == nullptr) return "";
  char buffer[MAX_PATH + 1] = {};
  std::string path;
  if (::SHGetPathFromIDListA(items, buffer)) path = buffer;
  ::CoTaskMemFree(items);
  return path;
}

}  // namespace vx::platform
