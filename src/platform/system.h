// The machine and the running system as Windows describes them: version
// record, processor count, memory, the Windows and
// program paths, and the few system parameters the program adjusts at start.
// On Linux the same questions get the nearest answer, or an explicit absence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/errors.h"

namespace vx::platform {

// Platform identifiers of the version record.
constexpr uint32_t kPlatformWin32Windows = 1;  // Windows 95, 98, Me
constexpr uint32_t kPlatformWin32NT = 2;
constexpr uint32_t kPlatformNotWindows = 0x100;  // the Linux backend

struct OsVersionInfo {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;  // the whole field; on 95/98/Me its high half repeats the version
  uint32_t platform_id = 0;
  std::string service_pack;  // up to its first zero byte
};

// The version record; raises EOSError when the query fails.
OsVersionInfo GetVersionInfo();

uint32_t NumberOfProcessors();   // from the system information
uint64_t TotalPhysicalMemory();  // bytes, as the memory status reports them
std::string WindowsDirectory();  // "" where there is none
std::string ProgramFileName();   // full path of the running executable

// System parameters set for this session only (not saved in the profile).
bool SetForegroundLockTimeout(uint32_t milliseconds);
bool SetKeyboardCues(bool always_shown);
// Face name of the system's menu font; "" when it cannot be read.
std::string MenuFontFaceName();

// Whether a byte of ANSI text starts a two-byte character (only on systems
// whose ANSI code page is a double-byte one).
bool IsAnsiLeadByte(uint8_t byte);

// The decimal separator of the user's locale; '.' when it gives none.
char UserDecimalSeparator();

}  // namespace vx::platform
