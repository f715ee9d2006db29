#include "platform/system_library.h"

#include "platform/shell.h"
#include "platform/win32/windows_api.h"

namespace vx::platform {

namespace {

// Values of the newer loader, spelled out: the headers offer them only to
// programs built for Windows 8 and later.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

}  // namespace

SystemLibrary LoadSystemLibrary(const std::string& name) {
  if (name.empty() || name.find_first_of("\\/:") != std::string::npos || name == "." ||
      name == "..") {
    return nullptr;
  }
  const std::string directory = SystemDirectory();
  if (directory.empty()) return nullptr;
  const std::string path = directory + "\\" + name;
  // With a full path, this flag makes the libraries it imports in turn be
  // looked up from its own directory, the system directory, first.
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

SystemLibraryFunction SystemLibraryExport(SystemLibrary library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<SystemLibraryFunction>(
      ::GetProcAddress(static_cast<HMODULE>(library), name));
}

void RestrictLibrarySearch() {
  // Both looked up: the first is missing before XP SP1, the second before
  // Windows 8 (and on 7 and Vista without their loader update).
  if (auto set_dll_directory =
          win32::OptionalExport<SetDllDirectoryFunction>("kernel32", "SetDllDirectoryA")) {
    set_dll_directory("");  // "": the current directory is no longer searched
  }
  if (auto set_default = win32::OptionalExport<SetDefaultDllDirectoriesFunction>(
          "kernel32", "SetDefaultDllDirectories")) {
    set_default(kSearchSystem32);
  }
}

}  // namespace vx::platform
