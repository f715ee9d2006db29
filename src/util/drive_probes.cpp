#include "util/drive_probes.h"

#include <cstdio>

#include "platform/datetime.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vx {

namespace {

// The root for a drive number as GetDiskSpace takes it; "" = current drive.
bool DriveRoot(int32_t drive, std::string& root) {
  if (drive == 0) {
    root.clear();
    return true;
  }
  if (drive < 1 || drive > 26) return false;
  root = std::string(1, static_cast<char>('A' + drive - 1)) + ":\\";
  return true;
}

}  // namespace

int32_t DriveNumber(char c) {
  c = AsciiUpper(c);
  if (c >= 'A' && c <= 'Z') return c - 'A' + 1;
  return -1;
}

bool DriveReady(char letter) {
  const int32_t drive = DriveNumber(letter);
  if (drive < 1) return false;
  return GetDiskSpace(drive).total >= 0;
}

bool SafeFileExists(const std::string& path) {
  if (path.size() > 1 && path[1] == ':' && !DriveReady(path[0])) return false;
  return platform::FileExists(path);
}

bool SafeDirExists(const std::string& path) {
  if (path.empty()) return false;
  if (path.size() > 1 && path[1] == ':' && !DriveReady(path[0])) return false;
  return platform::DirectoryExists(path);
}

DiskSpace GetDiskSpace(int32_t drive) {
  DiskSpace space;
  std::string root;
  if (!DriveRoot(drive, root)) return space;
  platform::CriticalErrorsSuppressed quiet;
  int64_t free_bytes = -1;
  int64_t total_bytes = -1;
  if (platform::GetDiskFreeSpace(root, free_bytes, total_bytes) && total_bytes >= 0) {
    space.total = total_bytes;
    space.free = free_bytes;
  }
  return space;
}

std::string FileDateText(const std::string& path) {
  std::optional<platform::LocalDateTime> written = platform::FileLastWriteTime(path);
  if (!written) return "not found";
  std::string text = platform::FormatLocaleDateTime(*written);
  if (text.empty()) {
    // The locale could not format it; a plain numeric form still tells the date.
    char plain[64];
    std::snprintf(plain, sizeof plain, "%04u-%02u-%02u %02u:%02u:%02u", written->year,
                  written->month, written->day, written->hour, written->minute, written->second);
    text = plain;
  }
  return text;
}

}  // namespace vx
