#include "platform/drives.h"
#include "platform/files.h"
#include "platform/named_lock.h"
#include "platform/path_text.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "setup/setup_system.h"

namespace vx {

std::string TPlatformSetupSystem::ProgramFileName() {
  return platform::ProgramFileName();
}

std::string TPlatformSetupSystem::MenuFontName() {
  return platform::MenuFontFaceName();
}

bool TPlatformSetupSystem::FileExists(const std::string& path) {
  return platform::FileExists(path);
}

bool TPlatformSetupSystem::DirectoryExists(const std::string& path) {
  return platform::DirectoryExists(path);
}

bool TPlatformSetupSystem::SetCurrentDirectory(const std::string& path) {
  return platform::SetCurrentDirectory(path);
}

bool TPlatformSetupSystem::CreateDirectory(const std::string& path) {
  platform::CriticalErrorsSuppressed quiet;
  return platform::CreateDirectory(path);
}

uint32_t TPlatformSetupSystem::GetFileAttributes(const std::string& path) {
  return platform::GetFileAttributes(path);
}

bool TPlatformSetupSystem::SetFileAttributes(const std::string& path, uint32_t attributes) {
  return platform::SetFileAttributes(path, attributes);
}

bool TPlatformSetupSystem::FileInUse(const std::string& path) {
  platform::CriticalErrorsSuppressed quiet;
  return platform::FileInUse(path);
}

std::string TPlatformSetupSystem::ReadProfileString(const std::string& section,
                                                    const std::string& key,
                                                    const std::string& default_value,
                                                    const std::string& file) {
  return platform::GetPrivateProfileString(section, key, default_value, file);
}

bool TPlatformSetupSystem::DiskFreeBytes(const std::string& root, int64_t& free_bytes) {
  platform::CriticalErrorsSuppressed quiet;
  int64_t total_bytes = 0;
  return platform::GetDiskFreeSpace(root, free_bytes, total_bytes);
}

std::string TPlatformSetupSystem::ReadFile(const std::string& path) {
  return platform::ReadWholeFile(path);
}

namespace {

class TNamedLockHold : public TDirectoryHold {
 public:
  explicit TNamedLockHold(std::unique_ptr<platform::NamedLock> lock) : lock_(std::move(lock)) {}

 private:
  std::unique_ptr<platform::NamedLock> lock_;
};

}  // namespace

std::unique_ptr<TDirectoryHold> TPlatformSetupSystem::HoldDirectory(const std::string& directory) {
  // One name for every spelling: the full path, without a trailing backslash.
  std::string path = platform::FullPathName(directory);
  if (path.empty()) path = directory;
  path = TrimBaseDirectory(path);
  std::unique_ptr<platform::NamedLock> lock = platform::NamedLock::TryTake(path);
  if (!lock) return nullptr;
  return std::make_unique<TNamedLockHold>(std::move(lock));
}

}  // namespace vx
