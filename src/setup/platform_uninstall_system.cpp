// The uninstaller's machine on the platform layer.
#include <cstdio>
#include <exception>

#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "setup/uninstall.h"

namespace vx {

namespace {

std::string EntryPath(const std::string& key) {
  return std::string(kUninstallEntriesKey) + "\\" + key;
}

constexpr uint16_t kHideWindow = 0;  // SW_HIDE

}  // namespace

bool TPlatformUninstallSystem::FileExists(const std::string& path) {
  return platform::FileExists(path);
}

bool TPlatformUninstallSystem::DirectoryExists(const std::string& path) {
  return platform::DirectoryExists(path);
}

bool TPlatformUninstallSystem::ReadFile(const std::string& path, std::string& contents) {
  try {
    contents = platform::ReadWholeFile(path);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool TPlatformUninstallSystem::WriteFile(const std::string& path, const std::string& contents) {
  const std::string temporary = path + ".new";
  try {
    {
      std::unique_ptr<platform::TFileStream> file = platform::TFileStream::CreateAlways(temporary);
      file->WriteBuffer(contents.data(), static_cast<int64_t>(contents.size()));
    }
    const uint32_t attributes = platform::GetFileAttributes(path);
    if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly) != 0) {
      platform::SetFileAttributes(path, attributes & ~platform::kAttrReadOnly);
    }
    if (platform::MoveFileReplacing(temporary, path)) return true;
  } catch (const std::exception&) {
  }
  platform::DeleteFile(temporary);
  return false;
}

bool TPlatformUninstallSystem::CopyFile(const std::string& from, const std::string& to) {
  std::string contents;
  return ReadFile(from, contents) && WriteFile(to, contents);
}

bool TPlatformUninstallSystem::DeleteFile(const std::string& path) {
  const uint32_t attributes = platform::GetFileAttributes(path);
  if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly) != 0) {
    platform::SetFileAttributes(path, attributes & ~platform::kAttrReadOnly);
  }
  return platform::DeleteFile(path);
}

bool TPlatformUninstallSystem::RemoveDirectory(const std::string& path) {
  return platform::RemoveDirectory(path);
}

bool TPlatformUninstallSystem::FileInUse(const std::string& path) {
  return platform::FileInUse(path);
}

std::string TPlatformUninstallSystem::LinkTarget(const std::string& link_file) {
  return platform::ShellLinkTarget(link_file);
}

bool TPlatformUninstallSystem::WriteEntry(const std::string& key,
                                          const std::vector<TEntryValue>& values) {
  std::optional<platform::RegistryKey> entry =
      platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser, EntryPath(key),
                                  platform::RegistryAccess::kReadWrite, true);
  if (!entry) return false;
  bool written = true;
  for (const TEntryValue& value : values) {
    written = (value.Dword ? entry->WriteDword(value.Name, *value.Dword)
                           : entry->WriteString(value.Name, value.Text)) &&
              written;
  }
  return written;
}

std::optional<std::string> TPlatformUninstallSystem::ReadEntryString(const std::string& key,
                                                                     const std::string& name) {
  std::optional<platform::RegistryKey> entry = platform::RegistryKey::Open(
      platform::RegistryRoot::kCurrentUser, EntryPath(key), platform::RegistryAccess::kRead, false);
  if (!entry) return std::nullopt;
  return entry->ReadString(name);
}

bool TPlatformUninstallSystem::DeleteEntry(const std::string& key) {
  return platform::RegistryKey::DeleteKey(platform::RegistryRoot::kCurrentUser, EntryPath(key));
}

std::string TPlatformUninstallSystem::Today() {
  const platform::LocalDateTime now = platform::CurrentLocalDateTime();
  char text[16];
  std::snprintf(text, sizeof text, "%04u%02u%02u", unsigned{now.year}, unsigned{now.month},
                unsigned{now.day});
  return text;
}

bool TPlatformUninstallSystem::RemoveAfterExit(const std::string& uninstaller,
                                               const std::string& directory) {
  // The system's command interpreter, hidden, waits about three seconds
  // (ping's one-second steps: every Windows from XP on has it, and so has
  // Wine), deletes the uninstaller and removes the directory when that left
  // it empty. It runs in the system directory, so it keeps no hold on ours.
  const std::string system = platform::SystemDirectory();
  if (system.empty()) return false;
  platform::ProcessStart start;
  start.command_line = "\"" + system + "\\cmd.exe\" /c ping -n 4 127.0.0.1 >nul & del /f /q \"" +
                       uninstaller + "\" 2>nul & rmdir \"" + directory + "\" 2>nul";
  start.working_directory = system;
  start.show_window = kHideWindow;
  platform::ProcessInfo info;
  uint32_t error = 0;
  if (!platform::StartProcess(start, info, error)) return false;
  platform::CloseProcessHandle(info.thread_handle);
  platform::CloseProcessHandle(info.process_handle);
  return true;
}

}  // namespace vx
