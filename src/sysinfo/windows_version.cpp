#include "sysinfo/windows_version.h"

#include <cstdio>

namespace vx {

namespace {

struct VersionName {
  uint32_t platform_id;
  uint32_t major;
  uint32_t minor;
  const char* name;
};

constexpr VersionName kVersionNames[] = {
    {platform::kPlatformWin32NT, 3, 51, "Windows NT 3.51"},
    {platform::kPlatformWin32NT, 4, 0, "Windows NT 4.0"},
    {platform::kPlatformWin32NT, 5, 0, "Windows 2000"},
    {platform::kPlatformWin32NT, 5, 1, "Windows XP"},
    {platform::kPlatformWin32NT, 5, 2, "Windows Server 2003"},
    {platform::kPlatformWin32NT, 6, 0, "Windows Vista"},
    {platform::kPlatformWin32Windows, 4, 0, "Windows 95"},
    {platform::kPlatformWin32Windows, 4, 10, "Windows 98"},
    {platform::kPlatformWin32Windows, 4, 90, "Windows Me"},
};

}  // namespace

std::string WindowsVersionName(uint32_t platform_id, uint32_t major, uint32_t minor) {
  for (const VersionName& row : kVersionNames) {
    if (row.platform_id == platform_id && row.major == major && row.minor == minor) {
      return row.name;
    }
  }
  return "";
}

std::string WindowsVersionText(const platform::OsVersionInfo& version) {
  std::string text;
  const std::string name = WindowsVersionName(version.platform_id, version.major, version.minor);
  if (version.platform_id == platform::kPlatformWin32NT) {
    text = name + " (NT.";
  } else if (version.platform_id == platform::kPlatformWin32Windows) {
    text = name + " (9x.";
  }
  // The build field is printed whole and signed, as the system hands it over.
  char numbers[48];
  std::snprintf(numbers, sizeof numbers, "%d.%d.%d", static_cast<int32_t>(version.major),
                static_cast<int32_t>(version.minor), static_cast<int32_t>(version.build));
  return text + numbers + ") " + version.service_pack;
}

std::string WindowsVersionText() {
  return WindowsVersionText(platform::GetVersionInfo());
}

}  // namespace vx
