// A lock that one process at a time can hold, known by a name every process
// of the user computes the same way (the setup holds its installation
// directory with one). The system releases it when its holder ends, however
// it ends: a killed process leaves no lock behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vx::platform {

class NamedLock {
 public:
  // Takes the lock called `name` (any text; compared without regard to ASCII
  // case). Null when another process holds it, or when it cannot be made.
  static std::unique_ptr<NamedLock> TryTake(const std::string& name);
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

 private:
  explicit NamedLock(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;  // a mutex HANDLE on Windows, a locked file descriptor on Linux
};

}  // namespace vx::platform
