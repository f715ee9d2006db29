#include "setup/shortcuts.h"

#include <array>
#include <charconv>

namespace vx {

namespace {

struct SpecialFolderInfo {
  int32_t csidl;
  bool needs_newer_shell;
};

// In the order of TStSpecialRootFolder.
constexpr std::array<SpecialFolderInfo, kSpecialRootFolderCount> kSpecialFolders = {{
    {0x1D, true},   // sfAltStartup
    {0x1A, false},  // sfAppData
    {0x0A, false},  // sfBitBucket
    {0x1E, true},   // sfCommonAltStartup
    {0x19, false},  // sfCommonDesktopDir
    {0x1F, true},   // sfCommonFavorites
    {0x17, false},  // sfCommonPrograms
    {0x16, false},  // sfCommonStartMenu
    {0x18, false},  // sfCommonStartup
    {0x31, false},  // sfConnections
    {0x03, false},  // sfControls
    {0x21, true},   // sfCookies
    {0x00, false},  // sfDesktop
    {0x10, false},  // sfDesktopDir
    {0x11, false},  // sfDrives
    {0x06, false},  // sfFavorites
    {0x14, false},  // sfFonts
    {0x22, true},   // sfHistory
    {0x01, true},   // sfInternet
    {0x20, true},   // sfInternetCache
    {0x13, false},  // sfNetHood
    {0x12, false},  // sfNetwork
    {0x00, false},  // sfNone
    {0x05, false},  // sfPersonal
    {0x04, false},  // sfPrinters
    {0x1B, false},  // sfPrintHood
    {0x02, false},  // sfPrograms
    {0x08, false},  // sfRecentFiles
    {0x09, false},  // sfSendTo
    {0x0B, false},  // sfStartMenu
    {0x07, false},  // sfStartup
    {0x15, false},  // sfTemplates
}};

// The shell version from which the newer folders exist.
constexpr double kNewerShellVersion = 4.7;

// Show commands of the shell for TShowState.
constexpr std::array<int32_t, 3> kShowCommands = {1, 2, 3};

const SpecialFolderInfo& InfoOf(TStSpecialRootFolder folder) {
  const auto index = static_cast<size_t>(folder);
  if (index >= kSpecialFolders.size()) throw Exception("Invalid special folder");
  return kSpecialFolders[index];
}

// The part of a path after its last backslash or drive colon.
std::string FileNamePart(const std::string& path) {
  const size_t separator = path.find_last_of("\\:");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

int32_t SpecialFolderCsidl(TStSpecialRootFolder folder) {
  return InfoOf(folder).csidl;
}

bool NeedsNewerShell(TStSpecialRootFolder folder) {
  return InfoOf(folder).needs_newer_shell;
}

double ShellVersionFromText(const std::string& text) {
  // Only the major and minor numbers count: "4.72.3110.0" is 4.72.
  const size_t first_dot = text.find('.');
  const size_t second_dot =
      first_dot == std::string::npos ? first_dot : text.find('.', first_dot + 1);
  if (second_dot == std::string::npos || second_dot >= 6) {
    throw Exception("'" + text + "' is not a valid shell version");
  }
  double version = 0;
  const char* begin = text.data();
  const char* end = begin + second_dot;
  const auto [stop, error] = std::from_chars(begin, end, version, std::chars_format::fixed);
  if (error != std::errc() || stop != end) {
    throw Exception("'" + text.substr(0, second_dot) + "' is not a valid shell version");
  }
  return version;
}

TStShellComponent::TStShellComponent(TStShell& shell, intptr_t owner)
    : shell_(shell),
      owner_(owner),
      shell_version_(ShellVersionFromText(shell.ShellVersionText())) {}

void TStCustomShortcut::SetSpecialFolder(TStSpecialRootFolder value) {
  const bool newer = NeedsNewerShell(value);
  special_folder_ = value;
  if (newer && ShellVersion() < kNewerShellVersion) {
    throw EStShellError("Operation not supported in this version of the shell");
  }
}

std::string TStCustomShortcut::DestinationPath() {
  switch (location_type_) {
    case ltWorkingDir:
      return shell_.ProgramDirectory();
    case ltDirectory:
      if (!destination_dir_.empty() && destination_dir_.back() == '\\') return destination_dir_;
      return destination_dir_ + "\\";
    case ltSpecialFolder:
      break;
  }
  std::string path;
  if (!shell_.SpecialFolderLocation(owner_, SpecialFolderCsidl(special_folder_), path)) return "";
  return path + "\\";
}

bool TStCustomShortcut::MakeShortcut() {
  if (!shell_.FileExists(file_name_)) {
    throw EStShortcutError("Cannot create shortcut. Target file does not exist");
  }
  if (location_type_ == ltDirectory && destination_dir_.empty()) {
    throw EStShortcutError("Destination directory not specified");
  }
  const std::string folder = DestinationPath();
  const std::string link_file_name =
      auto_name_ ? folder + "Shortcut to " + FileNamePart(file_name_) + ".lnk"
                 : folder + description_ + ".lnk";

  const std::unique_ptr<platform::ShellLink> link = shell_.CreateShellLink();
  if (link == nullptr) throw EStShortcutError("Error creating IShellLink");

  link->SetPath(file_name_);
  link->SetArguments(parameters_);
  link->SetDescription(description_);
  link->SetHotkey(hot_key_);
  const auto show = static_cast<size_t>(show_command_);
  link->SetShowCmd(show < kShowCommands.size() ? kShowCommands[show] : kShowCommands[0]);
  if (!start_in_dir_.empty()) link->SetWorkingDirectory(start_in_dir_);
  if (!icon_path_.empty()) link->SetIconLocation(icon_path_, icon_index_);

  if (!link->Save(link_file_name, false)) return false;
  shortcut_file_name_ = link_file_name;
  return true;
}

}  // namespace vx
