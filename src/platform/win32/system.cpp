#include "platform/system.h"

#include "platform/win32/windows_api.h"

#include <cstring>

namespace vx::platform {

OsVersionInfo GetVersionInfo() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExA(&info)) RaiseOSError(::GetLastError());
  OsVersionInfo result;
  result.major = info.dwMajorVersion;
  result.minor = info.dwMinorVersion;
  result.build = info.dwBuildNumber;
  result.platform_id = info.dwPlatformId;
  result.service_pack.assign(info.szCSDVersion,
                             strnlen(info.szCSDVersion, sizeof info.szCSDVersion));
  return result;
}

std::optional<std::string> SystemErrorMessage(uint32_t code) {
  char buffer[1024];
  // Inserts are left as they stand: there are no arguments to fill them, and
  // without this flag a message with "%1" would read arguments that do not exist.
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
  if (length == 0) return std::nullopt;
  return std::string(buffer, length);
}

uint32_t NumberOfProcessors() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

uint64_t TotalPhysicalMemory() {
  // The extended query gives the whole figure to a 32-bit program as well;
  // the old one stops at 2 GB there. Looked up, for systems without it.
  using GlobalMemoryStatusExFunction = BOOL(WINAPI*)(LPMEMORYSTATUSEX);
  if (auto query_ex =
          win32::OptionalExport<GlobalMemoryStatusExFunction>("kernel32", "GlobalMemoryStatusEx")) {
    MEMORYSTATUSEX extended;
    std::memset(&extended, 0, sizeof extended);
    extended.dwLength = sizeof extended;
    if (query_ex(&extended)) return extended.ullTotalPhys;
  }
  MEMORYSTATUS status;
  std::memset(&status, 0, sizeof status);
  status.dwLength = sizeof status;
  ::GlobalMemoryStatus(&status);
  return status.dwTotalPhys;
}

std::string WindowsDirectory() {
  char buffer[MAX_PATH];
  UINT length = ::GetWindowsDirectoryA(buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return "";
  return std::string(buffer, length);
}

std::string ProgramFileName() {
  char buffer[MAX_PATH + 1];
  DWORD length = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return "";
  return std::string(buffer, length);
}

bool SetForegroundLockTimeout(uint32_t milliseconds) {
  return ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                                 reinterpret_cast<PVOID>(static_cast<uintptr_t>(milliseconds)),
                                 0) != 0;
}

bool SetKeyboardCues(bool always_shown) {
  return ::SystemParametersInfoA(SPI_SETKEYBOARDCUES, 0,
                                 reinterpret_cast<PVOID>(static_cast<uintptr_t>(always_shown)),
                                 0) != 0;
}

std::string MenuFontFaceName() {
  NONCLIENTMETRICSA metrics;
  std::memset(&metrics, 0, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return "";
  const char* face = metrics.lfMenuFont.lfFaceName;
  return std::string(face, strnlen(face, LF_FACESIZE));
}

bool IsAnsiLeadByte(uint8_t byte) {
  return ::IsDBCSLeadByte(byte) != FALSE;
}

char UserDecimalSeparator() {
  char buffer[8] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) > 1 &&
      buffer[0] != '\0') {
    return buffer[0];
  }
  return '.';
}

}  // namespace vx::platform
