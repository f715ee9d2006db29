#include "setup/uninstall.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "archive/crc32.h"
#include "archive/name_rules.h"
#include "archive/unzipper.h"
#include "platform/path_text.h"
#include "platform/text.h"
#include "setup/command_line.h"
#include "setup/install_journal.h"
#include "setup/setup_system.h"
#include "setup/silent_setup.h"

namespace vx {

namespace {

constexpr const char* kRecordHeader = "VESTRIX uninstall record, format 1";
constexpr size_t kMostFilesNamed = 10;

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08" PRIX32, value);
  return text;
}

// The directory as the record and the entry name it: no trailing backslash
// (but a root keeps its own).
std::string PlainDirectory(const std::string& directory) {
  std::string plain = directory;
  while (plain.size() > 3 && plain.back() == '\\') plain.pop_back();
  return plain;
}

// `path` relative to `directory` when it lies below it (in any case);
// nullopt otherwise.
std::optional<std::string> RelativeBelow(const std::string& directory, const std::string& path) {
  std::string base = directory;
  if (base.empty()) return std::nullopt;
  if (base.back() != '\\') base += '\\';
  if (path.size() <= base.size() || !AsciiSameText(path.substr(0, base.size()), base)) {
    return std::nullopt;
  }
  return path.substr(base.size());
}

std::string JoinBelow(const std::string& directory, const std::string& relative) {
  if (relative.empty()) return directory;
  return directory.back() == '\\' ? directory + relative : directory + "\\" + relative;
}

// A relative path that stays inside the directory: no drive, no root, no
// empty, "." or ".." component.
bool SafeRelative(const std::string& path) {
  if (path.find(':') != std::string::npos || path.find('/') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find('\\', start);
    const std::string part = path.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// A link file the record may name: a full path ending in ".lnk".
bool PlausibleShortcut(const std::string& path) {
  const bool full = (path.size() > 3 && path[1] == ':' && path[2] == '\\') ||
                    (path.size() > 2 && path[0] == '\\' && path[1] == '\\');
  return full && path.size() > 4 && AsciiSameText(path.substr(path.size() - 4), ".lnk");
}

bool ParseDecimal(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

bool ParseHex8(const std::string& text, uint32_t& value) {
  if (text.size() != 8) return false;
  value = 0;
  for (char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;  // the record is written in upper case
    }
    value = value << 4 | digit;
  }
  return true;
}

// A list of paths for a box, at most ten of them.
std::string PathList(const std::vector<std::string>& paths) {
  std::string text;
  for (size_t i = 0; i < paths.size() && i < kMostFilesNamed; ++i) text += "\r\n" + paths[i];
  if (paths.size() > kMostFilesNamed) {
    text += "\r\n(and " + std::to_string(paths.size() - kMostFilesNamed) + " more)";
  }
  return text;
}

// Deeper directories first, so that each is empty by the time its turn comes.
std::vector<std::string> DeepestFirst(const std::map<std::string, std::string>& directories) {
  std::vector<std::string> order;
  for (const auto& [upper, path] : directories) order.push_back(path);
  std::sort(order.begin(), order.end(), [](const std::string& a, const std::string& b) {
    const auto depth = [](const std::string& path) {
      return path.empty() ? 0 : 1 + std::count(path.begin(), path.end(), '\\');
    };
    if (depth(a) != depth(b)) return depth(a) > depth(b);
    return a > b;
  });
  return order;
}

}  // namespace

void TUninstallRecord::AddFile(const TRecordedFile& file) {
  Files[AsciiUpper(file.Path)] = file;
}

void TUninstallRecord::AddDirectory(const std::string& path) {
  Directories.emplace(AsciiUpper(path), path);
}

void TUninstallRecord::AddShortcut(const std::string& path) {
  Shortcuts.emplace(AsciiUpper(path), path);
}

void TUninstallRecord::MergeOlder(const TUninstallRecord& older) {
  Files.insert(older.Files.begin(), older.Files.end());
  Directories.insert(older.Directories.begin(), older.Directories.end());
  Shortcuts.insert(older.Shortcuts.begin(), older.Shortcuts.end());
}

std::string FormatUninstallRecord(const TUninstallRecord& record) {
  std::string text = std::string(kRecordHeader) + "\r\n";
  text += "Key=" + record.Key + "\r\n";
  text += "Title=" + record.Title + "\r\n";
  text += "MainExe=" + record.MainExe + "\r\n";
  for (const auto& [upper, path] : record.Directories) text += "Directory=" + path + "\r\n";
  for (const auto& [upper, file] : record.Files) {
    text += "File=" + std::to_string(file.Size) + " " + Hex8(file.Crc32) + " " + file.Path + "\r\n";
  }
  for (const auto& [upper, path] : record.Shortcuts) text += "Shortcut=" + path + "\r\n";
  const uint32_t crc = Crc32Update(0, text.data(), text.size());
  return text + "End=" + Hex8(crc) + "\r\n";
}

bool ParseUninstallRecord(const std::string& text, TUninstallRecord& record) {
  record = TUninstallRecord{};
  const size_t end_line = text.rfind("End=");
  if (end_line == std::string::npos || (end_line > 0 && text[end_line - 1] != '\n')) return false;
  uint32_t stored = 0;
  if (text.size() != end_line + 4 + 8 + 2 || text.compare(text.size() - 2, 2, "\r\n") != 0 ||
      !ParseHex8(text.substr(end_line + 4, 8), stored) ||
      stored != Crc32Update(0, text.data(), end_line)) {
    return false;
  }
  size_t start = 0;
  bool first = true;
  bool has_key = false;
  while (start < end_line) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos || end >= end_line) return false;
    const std::string line = text.substr(start, end - start);
    start = end + 2;
    if (first) {
      if (line != kRecordHeader) return false;
      first = false;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    const std::string name = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (name == "Key") {
      if (value.empty() || value.find('\\') != std::string::npos) return false;
      record.Key = value;
      has_key = true;
    } else if (name == "Title") {
      record.Title = value;
    } else if (name == "MainExe") {
      record.MainExe = value;
    } else if (name == "Directory") {
      if (!value.empty() && !SafeRelative(value)) return false;
      record.AddDirectory(value);
    } else if (name == "File") {
      const size_t blank1 = value.find(' ');
      const size_t blank2 = blank1 == std::string::npos ? blank1 : value.find(' ', blank1 + 1);
      if (blank2 == std::string::npos) return false;
      TRecordedFile file;
      file.Path = value.substr(blank2 + 1);
      if (!ParseDecimal(value.substr(0, blank1), file.Size) ||
          !ParseHex8(value.substr(blank1 + 1, blank2 - blank1 - 1), file.Crc32) ||
          !SafeRelative(file.Path)) {
        return false;
      }
      record.AddFile(file);
    } else if (name == "Shortcut") {
      if (!PlausibleShortcut(value)) return false;
      record.AddShortcut(value);
    } else {
      return false;
    }
  }
  return !first && has_key;
}

std::vector<TEntryValue> UninstallEntryValues(const TUninstallRecord& record,
                                              const std::string& directory,
                                              const std::string& today) {
  int64_t bytes = 0;
  for (const auto& [upper, file] : record.Files) bytes += file.Size;
  const int64_t kilobytes = std::min<int64_t>((bytes + 1023) / 1024, 0xFFFFFFFF);
  std::string uninstaller = "\"";
  uninstaller += JoinBelow(directory, kUninstallerFileName);
  uninstaller += "\" /UNINSTALL";
  return {
      {"DisplayName", record.Title, std::nullopt},
      {"DisplayIcon", JoinBelow(directory, record.MainExe), std::nullopt},
      {"InstallLocation", directory, std::nullopt},
      {"InstallDate", today, std::nullopt},
      {"EstimatedSize", "", static_cast<uint32_t>(kilobytes)},
      {"UninstallString", uninstaller, std::nullopt},
      {"QuietUninstallString", uninstaller + " /SILENT", std::nullopt},
      {"NoModify", "", 1u},
      {"NoRepair", "", 1u},
  };
}

std::vector<TInstalledItem> InstalledItems(const TAbUnZipper& unzipper) {
  std::vector<TInstalledItem> items;
  for (int32_t i = 0; i < unzipper.Count(); ++i) {
    const TAbArchiveItem& item = unzipper.Items(i);
    TInstalledItem installed;
    installed.Path = unzipper.OutputPath(i);
    if (installed.Path.empty()) {
      // A directory entry writes no file, but makes its directory.
      std::string name = item.FileName();
      if (name.empty() || (name.back() != '/' && name.back() != '\\')) continue;
      while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
      const std::string relative = SafeRelativePath(name, true);
      if (relative.empty()) continue;
      installed.Path = AppendFileName(unzipper.BaseDirectory(), relative);
      installed.Directory = true;
    } else {
      installed.Size = static_cast<int64_t>(item.StoredUncompressedSize());
      installed.Crc32 = item.CRC32();
    }
    items.push_back(installed);
  }
  return items;
}

std::string RegisterInstallation(TUninstallSystem& system, const std::string& program,
                                 const TInstallOptions& options,
                                 const std::vector<TInstalledItem>& items,
                                 const std::vector<std::string>& shortcuts,
                                 const std::function<void(const std::string&)>& log) {
  const std::string directory = PlainDirectory(options.InstDir);
  const std::string uninstaller = JoinBelow(directory, kUninstallerFileName);
  const std::string record_file = JoinBelow(directory, kUninstallRecordFileName);

  TUninstallRecord record;
  record.Key = options.ShortcutTitle.empty() ? options.InstTitle : options.ShortcutTitle;
  record.Title = options.InstTitle;
  record.MainExe = options.ExeName;
  record.AddDirectory("");
  for (const TInstalledItem& item : items) {
    const std::optional<std::string> relative = RelativeBelow(directory, item.Path);
    if (!relative || !SafeRelative(*relative)) continue;
    // Every directory on the way down belongs to the product.
    for (size_t at = relative->find('\\'); at != std::string::npos;
         at = relative->find('\\', at + 1)) {
      record.AddDirectory(relative->substr(0, at));
    }
    if (item.Directory) {
      record.AddDirectory(*relative);
    } else if (!AsciiSameText(*relative, kUninstallerFileName) &&
               !AsciiSameText(*relative, kUninstallRecordFileName)) {
      record.AddFile({*relative, item.Size, item.Crc32});
    }
  }
  for (const std::string& shortcut : shortcuts) {
    if (PlausibleShortcut(shortcut)) record.AddShortcut(shortcut);
  }

  // A reinstall: what the earlier versions installed is removed later too.
  std::string older_text;
  if (system.ReadFile(record_file, older_text)) {
    TUninstallRecord older;
    if (ParseUninstallRecord(older_text, older)) {
      record.MergeOlder(older);
      log("Uninstall record merged with the one of the earlier installation");
      // An entry under an older key would outlive the product.
      if (!AsciiSameText(older.Key, record.Key)) {
        const std::optional<std::string> location =
            system.ReadEntryString(older.Key, "InstallLocation");
        if (location && AsciiSameText(PlainDirectory(*location), directory) &&
            system.DeleteEntry(older.Key)) {
          log("Add or Remove Programs entry of the earlier installation removed: " + older.Key);
        }
      }
    } else {
      log("The earlier uninstall record " + record_file + " is damaged; it is replaced");
    }
  }

  const std::string cannot_remove =
      "\r\n" + options.InstTitle + " cannot be removed from Add or Remove Programs.";
  if (!AsciiSameText(program, uninstaller) && !system.CopyFile(program, uninstaller)) {
    return "Cannot write the uninstaller " + uninstaller + cannot_remove;
  }
  log("Uninstaller written: " + uninstaller);
  if (!system.WriteFile(record_file, FormatUninstallRecord(record))) {
    return "Cannot write the uninstall record " + record_file + cannot_remove;
  }
  log("Uninstall record written: " + record_file + " (" + std::to_string(record.Files.size()) +
      " files, " + std::to_string(record.Directories.size()) + " directories, " +
      std::to_string(record.Shortcuts.size()) + " shortcuts)");
  if (!system.WriteEntry(record.Key, UninstallEntryValues(record, directory, system.Today()))) {
    return "Cannot write the Add or Remove Programs entry HKEY_CURRENT_USER\\" +
           std::string(kUninstallEntriesKey) + "\\" + record.Key + cannot_remove;
  }
  log("Add or Remove Programs entry written: HKEY_CURRENT_USER\\" +
      std::string(kUninstallEntriesKey) + "\\" + record.Key);
  return "";
}

int32_t RunUninstall(TUninstallSystem& system, TSetupSystem& setup_system,
                     TMessageService& messages, TSetupLog& log, const std::string& program,
                     bool silent) {
  const std::string directory = PlainDirectory(ExtractFileDir(program));
  const std::string record_file = JoinBelow(directory, kUninstallRecordFileName);
  log.Line("Uninstalling from " + directory);

  const std::unique_ptr<TDirectoryHold> hold = setup_system.HoldDirectory(directory);
  if (!hold) {
    messages.Show(
        mkError, mbOK, kNoHelpContext,
        "Another setup or uninstall run is working in " + directory + "\r\nNothing was removed.");
    return secFilesInUse;
  }
  // What a killed installation run left here is undone under the same hold,
  // so no other run can start in between.
  RecoverHeldDirectory(directory, [&log](const std::string& line) { log.Line(line); });

  std::string text;
  if (!system.ReadFile(record_file, text)) {
    messages.Show(mkError, mbOK, kNoHelpContext,
                  "Cannot uninstall: there is no uninstall record " + record_file +
                      "\r\nNothing was removed.");
    return secStartupProblem;
  }
  TUninstallRecord record;
  if (!ParseUninstallRecord(text, record)) {
    messages.Show(mkError, mbOK, kNoHelpContext,
                  "Cannot uninstall: the uninstall record " + record_file +
                      " is damaged\r\nNothing was removed.");
    return secStartupProblem;
  }
  log.Line("Uninstall record read: " + record.Title + ", " + std::to_string(record.Files.size()) +
           " files, " + std::to_string(record.Directories.size()) + " directories, " +
           std::to_string(record.Shortcuts.size()) + " shortcuts");

  if (!silent && messages.Show(mkConfirmation, mbYesNo, kNoHelpContext,
                               "Remove " + record.Title + " from " + directory +
                                   "?\r\nFiles you added there are kept.") != mrYes) {
    return secCancelled;
  }

  std::vector<std::string> in_use;
  for (const auto& [upper, file] : record.Files) {
    const std::string path = JoinBelow(directory, file.Path);
    if (system.FileExists(path) && system.FileInUse(path)) in_use.push_back(path);
  }
  if (!in_use.empty()) {
    messages.Show(mkError, mbOK, kNoHelpContext,
                  "Cannot remove " + record.Title + ": files in use" + PathList(in_use) +
                      "\r\nClose the programs using them and try again. Nothing was removed.");
    return secFilesInUse;
  }

  std::vector<std::string> left;
  for (const auto& [upper, file] : record.Files) {
    const std::string path = JoinBelow(directory, file.Path);
    if (!system.FileExists(path)) continue;
    if (system.DeleteFile(path)) {
      log.Line("File removed: " + path);
    } else {
      log.Line("File not removed: " + path);
      left.push_back(path);
    }
  }
  for (const auto& [upper, link] : record.Shortcuts) {
    if (!system.FileExists(link)) continue;
    const std::string target = system.LinkTarget(link);
    if (!RelativeBelow(directory, target)) {
      log.Line("Shortcut kept, it points to \"" + target + "\": " + link);
    } else if (system.DeleteFile(link)) {
      log.Line("Shortcut removed: " + link);
    } else {
      log.Line("Shortcut not removed: " + link);
      left.push_back(link);
    }
  }
  const std::string entry =
      "HKEY_CURRENT_USER\\" + std::string(kUninstallEntriesKey) + "\\" + record.Key;
  const std::optional<std::string> location = system.ReadEntryString(record.Key, "InstallLocation");
  if (location && !AsciiSameText(PlainDirectory(*location), directory)) {
    log.Line("Entry kept, it belongs to the installation in " + *location + ": " + entry);
  } else if (location && !system.DeleteEntry(record.Key)) {
    log.Line("Entry not removed: " + entry);
    left.push_back(entry);
  } else if (location) {
    log.Line("Entry removed: " + entry);
  }
  if (!system.DeleteFile(record_file)) left.push_back(record_file);
  for (const std::string& relative : DeepestFirst(record.Directories)) {
    if (relative.empty()) continue;  // the uninstaller is still in it
    const std::string path = JoinBelow(directory, relative);
    if (!system.DirectoryExists(path)) continue;
    log.Line((system.RemoveDirectory(path) ? "Directory removed: " : "Directory kept: ") + path);
  }

  if (left.empty()) {
    messages.Show(mkInformation, mbOK, kNoHelpContext,
                  record.Title + " was removed from " + directory);
  } else {
    messages.Show(mkWarning, mbOK, kNoHelpContext,
                  record.Title + " was removed from " + directory + " except for" + PathList(left));
  }
  // Last: the program cannot delete itself while it runs.
  const std::string uninstaller = program;
  if (system.RemoveAfterExit(uninstaller, directory)) {
    log.Line(uninstaller + " and the directory, when empty, are removed once this program ends");
  } else {
    log.Line("Cannot arrange the removal of " + uninstaller);
  }
  return secInstalled;
}

}  // namespace vx
