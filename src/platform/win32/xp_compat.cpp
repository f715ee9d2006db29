// Functions newer than Windows XP SP3 that the static runtime libraries
// (the POSIX threads library) import. The 32-bit programs must still start on
// XP, where kernel32 lacks them, so the build points those imports here
// instead (see the linker option next to vx_platform in CMakeLists.txt).
// Only the 32-bit build ships for XP; 64-bit Windows always has them.
#include "platform/win32/windows_api.h"

#if defined(__i386__)

namespace {

// Milliseconds since start-up in 64 bits, from the performance counter,
// which every Windows since NT 3.1 has and which never wraps in practice.
ULONGLONG WINAPI TickCount64() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  if (!::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
      !::QueryPerformanceCounter(&counter)) {
    return ::GetTickCount();
  }
  const ULONGLONG ticks = static_cast<ULONGLONG>(counter.QuadPart);
  const ULONGLONG per_second = static_cast<ULONGLONG>(frequency.QuadPart);
  // Split so that the product cannot overflow for any counter frequency.
  return ticks / per_second * 1000 + ticks % per_second * 1000 / per_second;
}

}  // namespace

// The import slot the callers jump through, filled with our function.
extern "C" {
ULONGLONG(WINAPI* vx_import_GetTickCount64)() __asm__("__imp__GetTickCount64@0") = TickCount64;
}

#endif
