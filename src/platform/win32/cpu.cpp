#include "platform/cpu.h"

#include "platform/win32/windows_api.h"

#include "platform/system.h"

namespace vx::platform {

int64_t PerformanceFrequency() {
  LARGE_INTEGER value;
  if (!::QueryPerformanceFrequency(&value)) RaiseOSError(::GetLastError());
  return value.QuadPart;
}

int64_t PerformanceCounter() {
  LARGE_INTEGER value;
  if (!::QueryPerformanceCounter(&value)) RaiseOSError(::GetLastError());
  return value.QuadPart;
}

AffinityMasks GetProcessAffinity() {
  DWORD_PTR process = 0, system = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) {
    RaiseOSError(::GetLastError());
  }
  return AffinityMasks{process, system};
}

void SetProcessAffinity(uint64_t process_mask) {
  if (!::SetProcessAffinityMask(::GetCurrentProcess(), static_cast<DWORD_PTR>(process_mask))) {
    RaiseOSError(::GetLastError());
  }
}

void YieldTimeSlice() {
  ::Sleep(0);
}

}  // namespace vx::platform
