// Drives on Linux: a drive letter exists when the drive table maps it to a
// directory; its figures are those of the file system holding that directory.
#include "platform/drives.h"

#include <sys/statvfs.h>

#include "platform/files.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_support.h"
#include "platform/text.h"

namespace vx::platform {

// Linux has no critical-error boxes to suppress.
CriticalErrorsSuppressed::CriticalErrorsSuppressed() : previous_mode_(0) {}
CriticalErrorsSuppressed::~CriticalErrorsSuppressed() = default;

namespace {

// The Linux directory for a root; "." (the current directory) for an empty one.
std::optional<std::string> HostRoot(const std::string& root) {
  if (root.empty()) return std::string(".");
  std::optional<std::string> host = ToHostPath(root);
  if (!host) posix::RecordError(kErrorPathNotFound);
  return host;
}

}  // namespace

bool GetDiskFreeSpace(const std::string& root, int64_t& free_bytes, int64_t& total_bytes) {
  free_bytes = -1;
  total_bytes = -1;
  CriticalErrorsSuppressed suppressed;
  std::optional<std::string> host = HostRoot(root);
  if (!host) return false;
  struct statvfs figures;
  if (statvfs(host->c_str(), &figures) != 0) return posix::FailFromErrno(*host);
  free_bytes = static_cast<int64_t>(figures.f_bavail) * static_cast<int64_t>(figures.f_frsize);
  total_bytes = static_cast<int64_t>(figures.f_blocks) * static_cast<int64_t>(figures.f_frsize);
  return true;
}

uint32_t GetDriveType(const std::string& root) {
  CriticalErrorsSuppressed suppressed;
  std::optional<std::string> host = HostRoot(root);
  if (!host || !posix::IsHostDirectory(*host)) return kDriveNoRootDir;
  // A: and B: are the floppy drives, as on every PC, so a mapped one lets the
  // removable-disk paths of the program run on Linux too.
  const char letter = root.empty() ? '\0' : AsciiUpper(root[0]);
  if ((letter == 'A' || letter == 'B') && root.size() >= 2 && root[1] == ':')
    return kDriveRemovable;
  return kDriveFixed;
}

}  // namespace vx::platform
