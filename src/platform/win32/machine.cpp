#include "platform/machine.h"

#include <cstring>

#include "platform/system_library.h"
#include "platform/win32/windows_api.h"
// After <windows.h>, which they need.
#include <malloc.h>
#include <psapi.h>

namespace vx::platform {

namespace {

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
using GetProcessMemoryInfoFunction = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);

// The process-status library, bound once and never released.
struct ProcessStatusLibrary {
  HMODULE module = nullptr;
  GetProcessMemoryInfoFunction get_process_memory_info = nullptr;
};
ProcessStatusLibrary& Psapi() {
  static ProcessStatusLibrary library;
  return library;
}

// The counters record as the 32-bit program fills it is 40 bytes long.
static_assert(sizeof(void*) != 4 || sizeof(PROCESS_MEMORY_COUNTERS) == 40);

}  // namespace

Wow64Answer QueryWow64() {
  auto is_wow64 = win32::OptionalExport<IsWow64ProcessFunction>("kernel32", "IsWow64Process");
  if (is_wow64 == nullptr) return Wow64Answer::kEntryMissing;
  BOOL answer = FALSE;
  if (!is_wow64(::GetCurrentProcess(), &answer)) return Wow64Answer::kCallFailed;
  return answer ? Wow64Answer::kWow64 : Wow64Answer::kNotWow64;
}

std::string UserLocaleText(uint32_t item) {
  char buffer[256] = {};
  int length = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof buffer);
  if (length <= 0) return "";
  return std::string(buffer, strnlen(buffer, static_cast<size_t>(length)));
}

LocalNow CurrentLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LocalNow result;
  result.when = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  result.day_of_week = now.wDayOfWeek;
  return result;
}

ScreenMetrics PrimaryScreen() {
  ScreenMetrics screen;
  HDC dc = ::GetDC(nullptr);
  if (dc != nullptr) {
    screen.pixels_per_inch = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
  }
  screen.width = ::GetSystemMetrics(SM_CXSCREEN);
  screen.height = ::GetSystemMetrics(SM_CYSCREEN);
  return screen;
}

int32_t MenuFontPointSize() {
  NONCLIENTMETRICSA metrics;
  std::memset(&metrics, 0, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return 0;
  int32_t dpi = PrimaryScreen().pixels_per_inch;
  if (dpi <= 0) return 0;
  // A negative height is the character height in pixels; points = pixels * 72 / dpi.
  return -::MulDiv(metrics.lfMenuFont.lfHeight, 72, dpi);
}

bool BindProcessStatusLibrary() {
  ProcessStatusLibrary& library = Psapi();
  if (library.module != nullptr) return true;
  SystemLibrary module = LoadSystemLibrary("psapi.dll");
  if (module == nullptr) return false;
  library.module = static_cast<HMODULE>(module);
  library.get_process_memory_info = reinterpret_cast<GetProcessMemoryInfoFunction>(
      SystemLibraryExport(module, "GetProcessMemoryInfo"));
  return true;
}

std::optional<uint64_t> WorkingSetBytes() {
  if (!BindProcessStatusLibrary()) return std::nullopt;
  GetProcessMemoryInfoFunction query = Psapi().get_process_memory_info;
  if (query == nullptr) return std::nullopt;
  PROCESS_MEMORY_COUNTERS counters;
  std::memset(&counters, 0, sizeof counters);
  counters.cb = sizeof counters;
  if (!query(::GetCurrentProcess(), &counters, sizeof counters)) return std::nullopt;
  return static_cast<uint64_t>(counters.WorkingSetSize);
}

std::optional<HeapFigures> RuntimeHeapFigures() {
  // The runtime's heap walk visits every block of the heap malloc uses.
  HeapFigures figures;
  _HEAPINFO entry;
  std::memset(&entry, 0, sizeof entry);
  int status;
  while ((status = _heapwalk(&entry)) == _HEAPOK) {
    if (entry._useflag == _USEDENTRY) {
      figures.used += entry._size;
    } else {
      figures.unused += entry._size;
    }
  }
  if (status != _HEAPEND && status != _HEAPEMPTY) return std::nullopt;
  return figures;
}

}  // namespace vx::platform
