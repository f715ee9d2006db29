#include "setup/install_dir_rules.h"

#include "setup/setup_system.h"
#include "ui/message_service.h"

namespace vx {

bool HasLongSubdirName(const std::string& path) {
  // A rest of at most 12 characters cannot hold a long component.
  std::string rest = path;
  while (rest.size() > kMaxSubdirNameLength) {
    std::string part;
    const size_t separator = rest.find('\\');
    if (separator != std::string::npos) {
      part = rest.substr(0, separator);
      rest = rest.substr(separator + 1);
    } else {
      part = rest;
      rest.clear();
    }
    if (part.size() > kMaxSubdirNameLength) return true;
  }
  return false;
}

bool HasUnexpectedChars(const std::string& path) {
  for (const char character : path) {
    const auto code = static_cast<unsigned char>(character);
    if (code < '0' || code > 'z') return true;
  }
  return false;
}

std::string CannotCreateDirText(const std::string& path) {
  return "Cannot create directory " + path;
}

std::string InstallDirRefusal(const std::string& path, bool is_directory, bool is_file) {
  const std::string bad = "Bad directory name:  " + path + "\r\n";
  if (path.find(' ') != std::string::npos) {
    return bad + "Directory name must not contain spaces";
  }
  if (HasLongSubdirName(path)) {
    return bad + "Individual subdirectory names must have " + std::to_string(kMaxSubdirNameLength) +
           " or fewer letters.";
  }
  if (path.size() > kMaxInstallDirLength) {
    return "Too-long directory name:  " + path + "\r\n" + "Directory name is limited to " +
           std::to_string(kMaxInstallDirLength) + " characters.";
  }
  if (HasUnexpectedChars(path)) {
    return bad + "contains one or more unexpected (perhaps non-english) characters" + "\r\n" +
           "Please choose or create a folder with name containing only letters A-Z and digits 0-9";
  }
  if (!is_directory && is_file) {
    return CannotCreateDirText(path) + "\r\n" + "A file of the same name already exists";
  }
  return "";
}

bool ValidInstallDir(const std::string& path, TSetupSystem& system, TMessageService& messages) {
  const bool is_directory = system.DirectoryExists(path);
  const bool is_file = !is_directory && system.FileExists(path);
  const std::string refusal = InstallDirRefusal(path, is_directory, is_file);
  if (refusal.empty()) return true;
  messages.Show(mkError, mbOKHelp, kDirectoryNameHelpContext, refusal);
  return false;
}

}  // namespace vx
