#include "platform/datetime.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_support.h"

namespace vx::platform {

std::optional<LocalDateTime> FileLastWriteTime(const std::string& path) {
  std::optional<std::string> host = ToHostPath(path);
  if (!host) {
    posix::RecordError(kErrorPathNotFound);
    return std::nullopt;
  }
  int fd = open(host->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    posix::FailFromErrno(*host);
    return std::nullopt;
  }
  struct stat status;
  std::optional<LocalDateTime> result;
  struct tm local;
  if (fstat(fd, &status) != 0) {
    posix::FailFromErrno(*host);
  } else if (S_ISDIR(status.st_mode)) {
    posix::RecordError(kErrorAccessDenied);  // Windows cannot open a directory as a file
  } else if (localtime_r(&status.st_mtime, &local) != nullptr) {
    result = LocalDateTime{
        static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
        static_cast<uint16_t>(local.tm_mday),        static_cast<uint16_t>(local.tm_hour),
        static_cast<uint16_t>(local.tm_min),         static_cast<uint16_t>(local.tm_sec)};
  }
  close(fd);
  return result;
}

LocalDateTime CurrentLocalDateTime() {
  const time_t now = time(nullptr);
  struct tm local = {};
  localtime_r(&now, &local);
  return LocalDateTime{
      static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
      static_cast<uint16_t>(local.tm_mday),        static_cast<uint16_t>(local.tm_hour),
      static_cast<uint16_t>(local.tm_min),         static_cast<uint16_t>(local.tm_sec)};
}

std::string FormatLocaleDateTime(const LocalDateTime& when) {
  struct tm parts = {};
  parts.tm_year = when.year - 1900;
  parts.tm_mon = when.month - 1;
  parts.tm_mday = when.day;
  parts.tm_hour = when.hour;
  parts.tm_min = when.minute;
  parts.tm_sec = when.second;
  parts.tm_isdst = -1;
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) user = newlocale(LC_TIME_MASK, "C", nullptr);
  char text[128] = {};
  size_t length = strftime_l(text, sizeof text, "%x %X", &parts, user);
  freelocale(user);
  return std::string(text, length);
}

}  // namespace vx::platform
