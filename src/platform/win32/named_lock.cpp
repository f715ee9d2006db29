// A named mutex in the session's namespace. A mutex whose holder died is
// handed over as abandoned, which counts as taken.
#include "platform/named_lock.h"

#include "platform/text.h"
#include "platform/win32/windows_api.h"

namespace vx::platform {

namespace {

// Mutex names may not contain a backslash and are compared with case; the
// name is made of the text's upper case with backslashes as slashes.
std::string MutexName(const std::string& name) {
  std::string text = "Local\\VXSETUP:";
  for (char c : name) text += c == '\\' ? '/' : AsciiUpper(c);
  if (text.size() >= MAX_PATH) text.resize(MAX_PATH - 1);
  return text;
}

}  // namespace

std::unique_ptr<NamedLock> NamedLock::TryTake(const std::string& name) {
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, MutexName(name).c_str());
  if (mutex == nullptr) return nullptr;
  const DWORD waited = ::WaitForSingleObject(mutex, 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    ::CloseHandle(mutex);
    return nullptr;
  }
  return std::unique_ptr<NamedLock>(new NamedLock(reinterpret_cast<intptr_t>(mutex)));
}

NamedLock::~NamedLock() {
  HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
}

}  // namespace vx::platform
