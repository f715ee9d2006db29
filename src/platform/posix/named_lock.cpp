// An exclusive flock on a file in /tmp named after a hash of the lock's name.
// Each TryTake opens the file anew, so two holders in one process exclude
// each other too. A name that is a path of the drive table stands for the
// Linux directory it maps to: two programs whose tables give "C:\VX" different
// homes do not hold the same directory.
#include "platform/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

#include "platform/posix/path_map.h"
#include "platform/text.h"

namespace vx::platform {

namespace {

std::string LockFilePath(const std::string& lock_name) {
  const std::optional<std::string> host = ToHostPath(lock_name);
  const std::string& name = host ? *host : lock_name;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a over the upper-case name
  for (char c : name) {
    hash ^= static_cast<unsigned char>(AsciiUpper(c));
    hash *= 1099511628211ull;
  }
  char path[64];
  std::snprintf(path, sizeof path, "/tmp/vxsetup-%016llx.lock",
                static_cast<unsigned long long>(hash));
  return path;
}

}  // namespace

std::unique_ptr<NamedLock> NamedLock::TryTake(const std::string& name) {
  const int fd = ::open(LockFilePath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<NamedLock>(new NamedLock(fd));
}

NamedLock::~NamedLock() {
  ::close(static_cast<int>(handle_));
}

}  // namespace vx::platform
