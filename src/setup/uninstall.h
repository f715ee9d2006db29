// Undoing an installation. A run that installed writes, in the installation
// directory, a copy of the setup program as the uninstaller and a record of
// what it installed (each file with its size and CRC-32, each directory of
// the product, the two shortcut files, the Add/Remove Programs key), and
// writes the per-user Add/Remove Programs entry that starts the uninstaller.
// The uninstaller ("/UNINSTALL") reads the record beside itself and removes
// what it names, and nothing else: a directory goes only when it is empty,
// a shortcut only while it still points into the directory. Last, the
// uninstaller and the directory are removed a few seconds after it ends.
//
// Everything goes through TUninstallSystem, so the rules run in tests on a
// scripted machine; TPlatformUninstallSystem answers from the platform layer.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "setup/install_options.h"
#include "ui/message_service.h"

namespace vx {

class TAbUnZipper;
class TSetupLog;
class TSetupSystem;

// The two files beside the product.
constexpr const char* kUninstallerFileName = "Uninstall.exe";
constexpr const char* kUninstallRecordFileName = "Uninstall.dat";
// Where the per-user entries live, under HKEY_CURRENT_USER.
constexpr const char* kUninstallEntriesKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A value of the Add/Remove Programs entry: a string, or a DWORD when
// `Dword` is set.
struct TEntryValue {
  std::string Name;
  std::string Text;
  std::optional<uint32_t> Dword;
  bool operator==(const TEntryValue&) const = default;
};

// What removing a product needs of the machine.
class TUninstallSystem {
 public:
  virtual ~TUninstallSystem() = default;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // The whole file; false when it cannot be read (or does not exist).
  virtual bool ReadFile(const std::string& path, std::string& contents) = 0;
  // Writes the whole file so that a reader sees the old or the new
  // contents, never a part (a temporary beside it, then replaced).
  virtual bool WriteFile(const std::string& path, const std::string& contents) = 0;
  // Copies `from` over `to` the same way.
  virtual bool CopyFile(const std::string& from, const std::string& to) = 0;
  // Deletes a file, read-only or not.
  virtual bool DeleteFile(const std::string& path) = 0;
  // Removes an empty directory; false when it is not empty or not there.
  virtual bool RemoveDirectory(const std::string& path) = 0;
  // True when another process keeps the file open.
  virtual bool FileInUse(const std::string& path) = 0;
  // The target path a shell link file stores; "" when it cannot be read.
  virtual std::string LinkTarget(const std::string& link_file) = 0;
  // Creates (or updates) the entry `key` under kUninstallEntriesKey with
  // `values`; false when it cannot be written.
  virtual bool WriteEntry(const std::string& key, const std::vector<TEntryValue>& values) = 0;
  // The string value `name` of the entry `key`; nullopt when the entry or
  // the value is absent.
  virtual std::optional<std::string> ReadEntryString(const std::string& key,
                                                     const std::string& name) = 0;
  // Deletes the entry `key`; true when it is gone.
  virtual bool DeleteEntry(const std::string& key) = 0;
  // Today's local date as YYYYMMDD.
  virtual std::string Today() = 0;
  // Arranges that once this process has ended the file `uninstaller` is
  // deleted and then `directory`, when it is empty; false when that cannot
  // be arranged.
  virtual bool RemoveAfterExit(const std::string& uninstaller, const std::string& directory) = 0;
};

class TPlatformUninstallSystem : public TUninstallSystem {
 public:
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool ReadFile(const std::string& path, std::string& contents) override;
  bool WriteFile(const std::string& path, const std::string& contents) override;
  bool CopyFile(const std::string& from, const std::string& to) override;
  bool DeleteFile(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  bool FileInUse(const std::string& path) override;
  std::string LinkTarget(const std::string& link_file) override;
  bool WriteEntry(const std::string& key, const std::vector<TEntryValue>& values) override;
  std::optional<std::string> ReadEntryString(const std::string& key,
                                             const std::string& name) override;
  bool DeleteEntry(const std::string& key) override;
  std::string Today() override;
  bool RemoveAfterExit(const std::string& uninstaller, const std::string& directory) override;
};

// A file of the product: its path relative to the installation directory.
struct TRecordedFile {
  std::string Path;
  int64_t Size = 0;
  uint32_t Crc32 = 0;
  bool operator==(const TRecordedFile&) const = default;
};

// What an installation wrote. Paths of files and directories are relative
// to the installation directory ("" is the directory itself); each list is
// keyed by its path in upper case, as Windows compares names.
struct TUninstallRecord {
  std::string Key;      // the entry's key
  std::string Title;    // InstTitle
  std::string MainExe;  // relative
  std::map<std::string, TRecordedFile> Files;
  std::map<std::string, std::string> Directories;
  std::map<std::string, std::string> Shortcuts;  // full paths of the link files

  void AddFile(const TRecordedFile& file);
  void AddDirectory(const std::string& path);
  void AddShortcut(const std::string& path);
  // Adds what only `older` names: a reinstall keeps the files of an older
  // version on the list, so they are removed later too.
  void MergeOlder(const TUninstallRecord& older);
  bool operator==(const TUninstallRecord&) const = default;
};

// The record as its file holds it: a header line, one line per item, and
// an end line with the CRC-32 of everything before it.
std::string FormatUninstallRecord(const TUninstallRecord& record);
// False when the text is not a whole, undamaged record (wrong header, a
// line of no known kind, a bad number, a path leading outside the
// directory, no end line or a CRC-32 that does not match).
bool ParseUninstallRecord(const std::string& text, TUninstallRecord& record);

// The entry's values for a product installed into `directory` (no
// trailing backslash).
std::vector<TEntryValue> UninstallEntryValues(const TUninstallRecord& record,
                                              const std::string& directory,
                                              const std::string& today);

// A member as it was written by an extraction: its output path (a file, or
// a directory entry's directory), size and CRC-32.
struct TInstalledItem {
  std::string Path;
  bool Directory = false;
  int64_t Size = 0;
  uint32_t Crc32 = 0;
};
// The members of the open archive of `unzipper`, as ExtractFiles writes
// them under its base directory.
std::vector<TInstalledItem> InstalledItems(const TAbUnZipper& unzipper);

// After a successful installation: writes the uninstaller (a copy of
// `program`), the record (merged with the one already there) and the
// entry. Returns "" when all three were written, otherwise what went wrong,
// as a message to the user. `log` receives a line for each step.
std::string RegisterInstallation(TUninstallSystem& system, const std::string& program,
                                 const TInstallOptions& options,
                                 const std::vector<TInstalledItem>& items,
                                 const std::vector<std::string>& shortcuts,
                                 const std::function<void(const std::string&)>& log);

// The "/UNINSTALL" run of the program `program`: removes the product whose
// record lies beside it. Asks through `messages` unless `silent`; returns
// the exit code.
int32_t RunUninstall(TUninstallSystem& system, TSetupSystem& setup_system,
                     TMessageService& messages, TSetupLog& log, const std::string& program,
                     bool silent);

}  // namespace vx
