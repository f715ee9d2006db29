// The Linux answers to the system questions: uname for the version, sysconf
// for processors and memory; there is no Windows directory and no system
// parameter to set.
#include "platform/system.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/files.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_support.h"

namespace vx::platform {

OsVersionInfo GetVersionInfo() {
  struct utsname names;
  if (uname(&names) != 0) RaiseOSError(posix::WindowsError(errno));
  // The kernel release "6.1.0-18-amd64" gives 6, 1 and 0.
  OsVersionInfo info;
  uint32_t* fields[] = {&info.major, &info.minor, &info.build};
  const char* cursor = names.release;
  for (uint32_t* field : fields) {
    char* end = nullptr;
    unsigned long value = std::strtoul(cursor, &end, 10);
    if (end == cursor) break;
    *field = static_cast<uint32_t>(value);
    cursor = *end == '.' ? end + 1 : end;
  }
  info.platform_id = kPlatformNotWindows;
  info.service_pack = names.sysname;
  return info;
}

uint32_t NumberOfProcessors() {
  long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<uint32_t>(count) : 1;
}

uint64_t TotalPhysicalMemory() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
}

std::string WindowsDirectory() {
  return "";
}  // Linux has none

std::string ProgramFileName() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "";
  return FromHostPath(std::string(buffer, static_cast<size_t>(length)));
}

// No foreground lock, keyboard cues or menu font on Linux.
bool SetForegroundLockTimeout(uint32_t) {
  return false;
}
bool SetKeyboardCues(bool) {
  return false;
}
std::string MenuFontFaceName() {
  return "";
}

// The backend's ANSI code page is 1252, which has no two-byte characters.
bool IsAnsiLeadByte(uint8_t) {
  return false;
}

char UserDecimalSeparator() {
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) return '.';
  const char* radix = nl_langinfo_l(RADIXCHAR, user);
  char separator = radix != nullptr && radix[0] != '\0' ? radix[0] : '.';
  freelocale(user);
  return separator;
}

}  // namespace vx::platform
