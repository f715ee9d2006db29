// The shortcut component's shell on the platform layer.
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "setup/shortcuts.h"
#include "setup/startup_rules.h"

namespace vx {

namespace {

class TPlatformShell : public TStShell {
 public:
  std::string ShellVersionText() override {
    const std::string system = platform::SystemDirectory();
    const std::string library = system.empty() ? "shell32.dll" : system + "\\shell32.dll";
    std::string version;
    switch (platform::ReadVersionString(library, "FileVersion", version)) {
      case platform::VersionInfoResult::vrOk:
        return version;
      case platform::VersionInfoResult::vrCannotOpen:
        throw EStVersionInfoError("Error opening file");
      case platform::VersionInfoResult::vrNoVersionInfo:
        throw EStVersionInfoError("File does not contain version info");
      case platform::VersionInfoResult::vrCannotRead:
        throw EStVersionInfoError("Unable to read version info");
      case platform::VersionInfoResult::vrKeyNotFound:
        break;
    }
    throw EStVersionInfoError("The specified key cannnot be found in version info");
  }
  bool FileExists(const std::string& path) override { return platform::FileExists(path); }
  std::string ProgramDirectory() override { return ExtractFilePath(platform::ProgramFileName()); }
  bool SpecialFolderLocation(intptr_t owner, int32_t csidl, std::string& path) override {
    return platform::SpecialFolderLocation(owner, csidl, path);
  }
  std::unique_ptr<platform::ShellLink> CreateShellLink() override {
    return platform::CreateShellLink();
  }
};

}  // namespace

TStShell& PlatformShell() {
  static TPlatformShell shell;
  return shell;
}

}  // namespace vx
