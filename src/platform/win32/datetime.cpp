#include "platform/datetime.h"

#include "platform/win32/windows_api.h"

namespace vx::platform {

LocalDateTime CurrentLocalDateTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return LocalDateTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::optional<LocalDateTime> FileLastWriteTime(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  FILETIME written, local;
  SYSTEMTIME parts;
  std::optional<LocalDateTime> result;
  if (::GetFileTime(file, nullptr, nullptr, &written) &&
      ::FileTimeToLocalFileTime(&written, &local) && ::FileTimeToSystemTime(&local, &parts)) {
    result = LocalDateTime{parts.wYear, parts.wMonth,  parts.wDay,
                           parts.wHour, parts.wMinute, parts.wSecond};
  }
  ::CloseHandle(file);
  return result;
}

std::string FormatLocaleDateTime(const LocalDateTime& when) {
  SYSTEMTIME parts = {};
  parts.wYear = when.year;
  parts.wMonth = when.month;
  parts.wDay = when.day;
  parts.wHour = when.hour;
  parts.wMinute = when.minute;
  parts.wSecond = when.second;
  char date[128] = {}, time[128] = {};
  if (::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &parts, nullptr, date, sizeof date) ==
          0 ||
      ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &parts, nullptr, time, sizeof time) == 0) {
    return "";
  }
  return std::string(date) + " " + time;
}

}  // namespace vx::platform
