// The shortcut component: writes a shell link (.lnk) file to a program, in a
// special folder of the shell (the Desktop, the Start Menu's programs), in a
// given directory or beside the running program. Its rules are portable; the
// shell itself sits behind TStShell, the real one in the program
// (PlatformShell()) and a scripted one in the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/exception.h"
#include "platform/shell.h"

namespace vx {

// Window state of the started program.
enum TShowState : int32_t { ssNormal, ssMinimized, ssMaximized };

// Where the link file goes.
enum TStLocationType : int32_t { ltWorkingDir, ltSpecialFolder, ltDirectory };

// The shell's special folders, each standing for a shell folder number
// (CSIDL, see SpecialFolderCsidl).
enum TStSpecialRootFolder : int32_t {
  sfAltStartup,
  sfAppData,
  sfBitBucket,
  sfCommonAltStartup,
  sfCommonDesktopDir,
  sfCommonFavorites,
  sfCommonPrograms,
  sfCommonStartMenu,
  sfCommonStartup,
  sfConnections,
  sfControls,
  sfCookies,
  sfDesktop,
  sfDesktopDir,
  sfDrives,
  sfFavorites,
  sfFonts,
  sfHistory,
  sfInternet,
  sfInternetCache,
  sfNetHood,
  sfNetwork,
  sfNone,
  sfPersonal,
  sfPrinters,
  sfPrintHood,
  sfPrograms,
  sfRecentFiles,
  sfSendTo,
  sfStartMenu,
  sfStartup,
  sfTemplates,
};
constexpr int32_t kSpecialRootFolderCount = sfTemplates + 1;

// The shell folder number (CSIDL) of a special folder.
int32_t SpecialFolderCsidl(TStSpecialRootFolder folder);
// Whether the folder exists only from shell version 4.7 on.
bool NeedsNewerShell(TStSpecialRootFolder folder);

// The link cannot be made: missing target, missing destination, or a shell
// link object without the interfaces it needs.
class EStShortcutError : public Exception {
 public:
  using Exception::Exception;
};

// The shell is too old for the operation.
class EStShellError : public Exception {
 public:
  using Exception::Exception;
};

// The shell's version resource cannot be read.
class EStVersionInfoError : public Exception {
 public:
  using Exception::Exception;
};

// What the component needs of the shell.
class TStShell {
 public:
  virtual ~TStShell() = default;
  // The "FileVersion" text of the shell library's version resource; raises
  // EStVersionInfoError when it cannot be read.
  virtual std::string ShellVersionText() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // The running program's directory, with a trailing backslash.
  virtual std::string ProgramDirectory() = 0;
  // As platform::SpecialFolderLocation.
  virtual bool SpecialFolderLocation(intptr_t owner, int32_t csidl, std::string& path) = 0;
  // As platform::CreateShellLink.
  virtual std::unique_ptr<platform::ShellLink> CreateShellLink() = 0;
};

// The real shell, from the platform layer (one per process).
TStShell& PlatformShell();

// The shell version as a number: the version text cut before its second dot
// ("4.72.3110.0" gives 4.72). Raises vx::Exception when the text has no
// second dot within its first six characters or no number before it.
double ShellVersionFromText(const std::string& text);

// Base of the components that use the shell: reads the shell's version once,
// when created. `owner` is the owner window's handle as an integer (0 for
// none), passed to the shell when it asks on the user's behalf.
class TStShellComponent {
 public:
  TStShellComponent(TStShell& shell, intptr_t owner);
  virtual ~TStShellComponent() = default;
  TStShellComponent(const TStShellComponent&) = delete;
  TStShellComponent& operator=(const TStShellComponent&) = delete;

  double ShellVersion() const { return shell_version_; }

 protected:
  TStShell& shell_;
  intptr_t owner_;

 private:
  double shell_version_;
};

class TStCustomShortcut : public TStShellComponent {
 public:
  using TStShellComponent::TStShellComponent;

  // The link's target; must name an existing file.
  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& value) { file_name_ = value; }
  const std::string& Parameters() const { return parameters_; }
  void SetParameters(const std::string& value) { parameters_ = value; }
  // Also the link file's base name when AutoName is false.
  const std::string& Description() const { return description_; }
  void SetDescription(const std::string& value) { description_ = value; }
  // Working directory of the started program; left unset when empty.
  const std::string& StartInDir() const { return start_in_dir_; }
  void SetStartInDir(const std::string& value) { start_in_dir_ = value; }
  // Icon file; when empty the shell shows the target's own icon.
  const std::string& IconPath() const { return icon_path_; }
  void SetIconPath(const std::string& value) { icon_path_ = value; }
  int32_t IconIndex() const { return icon_index_; }
  void SetIconIndex(int32_t value) { icon_index_ = value; }
  uint16_t HotKey() const { return hot_key_; }
  void SetHotKey(uint16_t value) { hot_key_ = value; }
  TShowState ShowCommand() const { return show_command_; }
  void SetShowCommand(TShowState value) { show_command_ = value; }
  // True: the link file is "Shortcut to <target's file name>.lnk".
  bool AutoName() const { return auto_name_; }
  void SetAutoName(bool value) { auto_name_ = value; }
  TStLocationType LocationType() const { return location_type_; }
  void SetLocationType(TStLocationType value) { location_type_ = value; }
  TStSpecialRootFolder SpecialFolder() const { return special_folder_; }
  // Raises EStShellError for a folder the shell's version does not know (the
  // value is kept all the same).
  void SetSpecialFolder(TStSpecialRootFolder value);
  const std::string& DestinationDir() const { return destination_dir_; }
  void SetDestinationDir(const std::string& value) { destination_dir_ = value; }
  // Full name of the link file last saved.
  const std::string& ShortcutFileName() const { return shortcut_file_name_; }

  // The folder the link file goes into, ending in a backslash; "" when the
  // special folder cannot be resolved.
  std::string DestinationPath();
  // Writes the link file: true when saved, false when the save failed.
  // Raises EStShortcutError for a missing target or destination or an
  // incomplete shell link object, platform::EComError when the shell link
  // object cannot be created.
  bool MakeShortcut();

 private:
  std::string file_name_;
  std::string parameters_;
  std::string description_;
  std::string start_in_dir_;
  std::string icon_path_;
  int32_t icon_index_ = 0;
  uint16_t hot_key_ = 0;
  TShowState show_command_ = ssNormal;
  bool auto_name_ = true;
  TStLocationType location_type_ = ltSpecialFolder;
  TStSpecialRootFolder special_folder_ = sfDesktop;
  std::string destination_dir_;
  std::string shortcut_file_name_;
};

class TStShortcut : public TStCustomShortcut {
 public:
  using TStCustomShortcut::TStCustomShortcut;
};

}  // namespace vx
