// <windows.h> for the Windows backend, without the macros that would rename
// this layer's own functions (CreateDirectory -> CreateDirectoryA, ...): the
// backend always calls the ...A functions by their full names.
#pragma once

#include <windows.h>

#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetDiskFreeSpace
#undef GetDriveType
#undef GetEnvironmentStrings
#undef GetEnvironmentVariable
#undef GetFileAttributes
#undef GetPrivateProfileString
#undef OemToAnsi
#undef AnsiToOem
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetEnvironmentVariable
#undef SetFileAttributes

#include <cstdint>
#include <string>

namespace vx::platform::win32 {

// Keeps GetLastError() of a failed call as this layer's LastError(), so later
// clean-up calls (CloseHandle, FindClose, SetErrorMode) cannot overwrite it.
void RecordLastError();
void RecordError(uint32_t code);

// Looks up an optional export of a system library; nullptr when absent.
template <typename Function>
Function OptionalExport(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  if (handle == nullptr) return nullptr;
  // Through a generic function pointer, which GCC accepts without a cast warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

}  // namespace vx::platform::win32
