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
#include <type_traits>

namespace vx::platform::win32 {

// Keeps GetLastError() of a failed call as this layer's LastError(), so later
// clean-up calls (CloseHandle, FindClose, SetErrorMode) cannot overwrite it.
void RecordLastError();
void RecordError(uint32_t code);

// True for a pointer to a function with the Windows API calling convention.
// On 32-bit Windows that convention (the callee pops its arguments) is part
// of the type, so a pointer declared without WINAPI is told apart; calling a
// system function through one would leave the stack unbalanced. On 64-bit
// Windows there is one convention and every function pointer qualifies.
template <typename Function>
struct IsWinApiFunction : std::false_type {};
template <typename Result, typename... Args>
struct IsWinApiFunction<Result(WINAPI*)(Args...)> : std::true_type {};

// Looks up an optional export of a system library; nullptr when absent.
// `Function` must be declared WINAPI, as the system's own prototypes are.
template <typename Function>
Function OptionalExport(const char* module, const char* name) {
  static_assert(IsWinApiFunction<Function>::value,
                "declare the looked-up function's pointer type with WINAPI");
  HMODULE handle = GetModuleHandleA(module);
  if (handle == nullptr) return nullptr;
  // Through a generic function pointer, which GCC accepts without a cast warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

}  // namespace vx::platform::win32
