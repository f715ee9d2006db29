// The Windows shell: special folders (CSIDL numbers), shell link (.lnk)
// objects and the version resources of executables. Linux has none of them;
// its backend reports their absence.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/exception.h"

namespace vx::platform {

constexpr int32_t kCsidlPersonal = 5;  // the user's documents
constexpr int32_t kCsidlAppData = 26;  // the user's application data

// The file-system path of a special folder; "" when the shell has none.
std::string SpecialFolderPath(int32_t csidl);

// Asks the shell for a special folder on behalf of the window `owner` (a
// window handle as an integer; 0 for none). False when the shell returns no
// item list for it; otherwise true, with `path` the list's file-system path
// ("" when the list names no file-system folder).
bool SpecialFolderLocation(intptr_t owner, int32_t csidl, std::string& path);

// A COM call failed; ErrorCode() is its HRESULT.
class EComError : public Exception {
 public:
  EComError(std::string message, uint32_t error_code)
      : Exception(std::move(message)), error_code_(error_code) {}
  uint32_t ErrorCode() const { return error_code_; }

 private:
  uint32_t error_code_;
};

// The class is not registered: the system has no shell link object.
constexpr uint32_t kClassNotRegistered = 0x80040154;

// A shell link object: the contents of a .lnk file, set one by one, then
// saved. Results of the setters are not reported, as the shell's own dialogs
// do not report them either; only the save tells success.
class ShellLink {
 public:
  virtual ~ShellLink() = default;
  virtual void SetPath(const std::string& path) = 0;
  virtual void SetArguments(const std::string& arguments) = 0;
  virtual void SetDescription(const std::string& description) = 0;
  virtual void SetHotkey(uint16_t hotkey) = 0;
  virtual void SetShowCmd(int32_t show_command) = 0;
  virtual void SetWorkingDirectory(const std::string& directory) = 0;
  virtual void SetIconLocation(const std::string& icon_path, int32_t icon_index) = 0;
  // Writes the link to `file_name` (ANSI; converted to UTF-16 and cut to the
  // shell's path limit). `remember` makes the file the object's current file.
  virtual bool Save(const std::string& file_name, bool remember) = 0;
};

// Initialises COM on the calling thread for the object's lifetime, as the
// shell link object needs; a thread where it already is keeps it as it was.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_ = false;
};

// Creates a shell link object. Raises EComError when the object cannot be
// created; returns null when it lacks one of the two interfaces it needs
// (the link itself and its persistence).
std::unique_ptr<ShellLink> CreateShellLink();

// The target path of the shell link file `link_file`, as the shell link
// object loads it (needs COM on the thread, see ComApartment); "" when the
// file cannot be loaded or names no file-system target.
std::string ShellLinkTarget(const std::string& link_file);

// Why a version resource value could not be read.
enum class VersionInfoResult : int32_t {
  vrOk,
  vrCannotOpen,     // the file cannot be opened (or does not exist)
  vrNoVersionInfo,  // the file has no version resource
  vrCannotRead,     // the resource is there but cannot be read
  vrKeyNotFound,    // the resource has no such string value
};

// Reads the string value `key` ("FileVersion", ...) of the first language
// of the file's version resource into `value`.
VersionInfoResult ReadVersionString(const std::string& file, const std::string& key,
                                    std::string& value);

// The Windows system directory, without a trailing backslash; "" where there
// is none.
std::string SystemDirectory();

}  // namespace vx::platform
