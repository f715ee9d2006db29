#include "setup/install_journal.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "archive/archive_types.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/text.h"
#include "setup/setup_system.h"
#include "ui/message_service.h"

namespace vx {

namespace {

constexpr char kDirectoryMade = 'D';
constexpr char kTemporaryFile = 'T';
constexpr char kFileCreated = 'C';
constexpr char kFileReplaced = 'R';
constexpr char kAttributes = 'A';
constexpr char kCompleted = 'K';

std::string RecordLine(const TJournalRecord& record) {
  std::string line(1, record.kind);
  line += '\t';
  if (record.kind == kAttributes) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(record.attributes));
    line += hex;
    line += '\t';
  }
  line += record.path;
  if (record.kind == kFileReplaced) line += '\t' + record.saved;
  return line + "\r\n";
}

// A file's attributes cleared, so that it can be deleted or replaced.
void MakeWritable(const std::string& path) {
  const uint32_t attributes = platform::GetFileAttributes(path);
  if (attributes != platform::kInvalidAttributes && (attributes & ~platform::kAttrArchive) != 0 &&
      (attributes & platform::kAttrDirectory) == 0) {
    platform::SetFileAttributes(path, platform::kAttrNormal);
  }
}

// Deletes a file if it is there; false only when it stays.
bool DeleteIfPresent(const std::string& path, bool& deleted) {
  deleted = false;
  if (!platform::FileExists(path)) return true;
  MakeWritable(path);
  deleted = platform::DeleteFile(path);
  return deleted;
}

// A free name for the old contents of `target`, in its own directory.
std::string SavedCopyName(const std::string& target) {
  const std::string directory = ExtractFilePath(target);
  for (uint32_t attempt = 0; attempt <= 0xFFFF; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "~vx%04X.old", static_cast<unsigned>(attempt));
    const std::string candidate = directory + name;
    if (platform::GetFileAttributes(candidate) == platform::kInvalidAttributes) return candidate;
  }
  throw EFCreateError("Cannot create file " + target + ". No free name to save its old contents",
                      platform::kErrorFileExists);
}

bool SamePath(const std::string& a, const std::string& b) {
  return AsciiUpper(a) == AsciiUpper(b);
}

}  // namespace

std::string InstallJournalPath(const std::string& directory) {
  return AppendFileName(TrimBaseDirectory(directory), "~vxsetup.jnl");
}

std::string RollbackText(const TRollbackCounts& counts) {
  auto count = [](int32_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string text = "Rolled back: " + count(counts.restored, "file", "files") + " restored, " +
                     count(counts.removed_files, "file", "files") + " and " +
                     count(counts.removed_directories, "directory", "directories") + " removed";
  if (counts.failed > 0) {
    text += "; " + count(counts.failed, "step", "steps") +
            " could not be undone (the journal is kept and replayed at the next start)";
  }
  return text;
}

std::unique_ptr<TInstallJournal> TInstallJournal::Begin(const std::string& directory,
                                                        bool directory_created) {
  const std::string path = InstallJournalPath(directory);
  std::shared_ptr<platform::TFileStream> file = platform::TFileStream::CreateNew(path);
  auto journal = std::make_unique<TInstallJournal>(
      TrimBaseDirectory(directory),
      [file](const std::string& line) {
        file->WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
      },
      directory_created);
  journal->file_ = path;
  return journal;
}

TInstallJournal::TInstallJournal(std::string directory, Sink sink, bool directory_created)
    : directory_(std::move(directory)), sink_(std::move(sink)) {
  if (directory_created) Write({kDirectoryMade, directory_, "", 0});
}

void TInstallJournal::Write(const TJournalRecord& record) {
  if (!sink_) throw Exception("The installation journal is closed");
  sink_(RecordLine(record));
  records_.push_back(record);
}

void TInstallJournal::CreateDirectories(const std::string& directory) {
  // The missing levels, deepest first; made from the top down.
  std::vector<std::string> missing;
  for (std::string level = TrimBaseDirectory(directory);
       !level.empty() && !platform::DirectoryExists(level); level = ExtractFileDir(level)) {
    if (!missing.empty() && missing.back() == level) break;  // a root that does not exist
    missing.push_back(level);
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    Write({kDirectoryMade, *level, "", 0});
    if (!platform::CreateDirectory(*level) && !platform::DirectoryExists(*level)) {
      const uint32_t error = platform::LastError();
      throw EInOutError(
          "Cannot create directory " + directory + " (system error " + std::to_string(error) + ")",
          error);
    }
  }
}

void TInstallJournal::TemporaryFileCreating(const std::string& path) {
  Write({kTemporaryFile, path, "", 0});
}

void TInstallJournal::PlaceFile(const std::string& temporary, const std::string& target,
                                bool replacing) {
  // A member of the journal's own name would move the journal aside.
  if (!file_.empty() && SamePath(target, file_)) {
    throw EFCreateError("Cannot create file " + target + " (system error " +
                            std::to_string(platform::kErrorAccessDenied) + ")",
                        platform::kErrorAccessDenied);
  }
  if (!replacing) {
    Write({kFileCreated, target, "", 0});
    TAbOutputPlacement::PlaceFile(temporary, target, false);
    return;
  }
  // A read-only file is not replaced, as a direct move would refuse it.
  const uint32_t attributes = platform::GetFileAttributes(target);
  if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly) != 0) {
    throw EFCreateError("Cannot create file " + target + " (system error " +
                            std::to_string(platform::kErrorAccessDenied) + ")",
                        platform::kErrorAccessDenied);
  }
  const std::string saved = SavedCopyName(target);
  Write({kFileReplaced, target, saved, 0});
  if (!platform::MoveFileReplacing(target, saved)) {
    const uint32_t error = platform::LastError();
    throw EFCreateError(
        "Cannot create file " + target + " (system error " + std::to_string(error) + ")", error);
  }
  TAbOutputPlacement::PlaceFile(temporary, target, true);
}

void TInstallJournal::AttributesChanging(const std::string& path, uint32_t attributes) {
  Write({kAttributes, path, "", attributes});
}

void TInstallJournal::Commit() {
  try {
    Write({kCompleted, "", "", 0});
  } catch (const std::exception&) {
    // Without that record the journal itself must go first, or the next
    // start would undo the completed run.
    sink_ = nullptr;
    if (!file_.empty()) platform::DeleteFile(file_);
    records_.push_back({kCompleted, "", "", 0});
  }
  sink_ = nullptr;  // the file is closed before it is deleted
  ReplayInstallJournal(records_, directory_, file_);
}

TRollbackCounts TInstallJournal::RollBack() {
  sink_ = nullptr;
  return ReplayInstallJournal(records_, directory_, file_);
}

std::vector<TJournalRecord> ParseInstallJournal(const std::string& text) {
  std::vector<TJournalRecord> records;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;  // the rest was cut short
    const std::string line = text.substr(start, end - start);
    start = end + 2;
    if (line.size() < 2 || line[1] != '\t') continue;
    TJournalRecord record;
    record.kind = line[0];
    std::string rest = line.substr(2);
    if (record.kind == kAttributes) {
      const size_t tab = rest.find('\t');
      if (tab == std::string::npos) continue;
      record.attributes =
          static_cast<uint32_t>(std::strtoul(rest.substr(0, tab).c_str(), nullptr, 16));
      rest = rest.substr(tab + 1);
    }
    if (record.kind == kFileReplaced) {
      const size_t tab = rest.find('\t');
      if (tab == std::string::npos) continue;
      record.saved = rest.substr(tab + 1);
      rest = rest.substr(0, tab);
    }
    record.path = rest;
    records.push_back(record);
  }
  return records;
}

TRollbackCounts ReplayInstallJournal(const std::vector<TJournalRecord>& records,
                                     const std::string& directory,
                                     const std::string& journal_file) {
  TRollbackCounts counts;
  bool completed = false;
  for (const TJournalRecord& record : records) {
    if (record.kind == kCompleted) completed = true;
  }
  bool remove_directory = false;  // the journal's own directory, made by the run
  bool deleted = false;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    const TJournalRecord& record = *it;
    if (completed) {
      // The new installation stands; only what the run kept aside goes.
      if (record.kind == kFileReplaced && !DeleteIfPresent(record.saved, deleted)) ++counts.failed;
      if (record.kind == kTemporaryFile && !DeleteIfPresent(record.path, deleted)) ++counts.failed;
      continue;
    }
    switch (record.kind) {
      case kTemporaryFile:
      case kFileCreated:
        if (!DeleteIfPresent(record.path, deleted)) ++counts.failed;
        if (deleted) ++counts.removed_files;
        break;
      case kFileReplaced:
        // No saved copy: the old file was never moved, or is back already.
        if (platform::FileExists(record.saved)) {
          MakeWritable(record.path);
          if (platform::MoveFileReplacing(record.saved, record.path)) {
            ++counts.restored;
          } else {
            ++counts.failed;
          }
        }
        break;
      case kAttributes:
        if (platform::FileExists(record.path) &&
            platform::GetFileAttributes(record.path) != record.attributes &&
            !platform::SetFileAttributes(record.path, record.attributes)) {
          ++counts.failed;
        }
        break;
      case kDirectoryMade:
        if (SamePath(record.path, directory)) {
          remove_directory = true;
        } else if (platform::DirectoryExists(record.path)) {
          // A directory that holds something the run did not make stays.
          if (platform::RemoveDirectory(record.path)) ++counts.removed_directories;
        }
        break;
      default:
        break;
    }
  }
  if (counts.failed > 0 || journal_file.empty()) return counts;
  if (platform::FileExists(journal_file) && !platform::DeleteFile(journal_file)) {
    ++counts.failed;
    return counts;
  }
  if (remove_directory && platform::DirectoryExists(directory) &&
      platform::RemoveDirectory(directory)) {
    ++counts.removed_directories;
  }
  return counts;
}

bool RecoverInstallJournal(const std::string& directory, TRollbackCounts& counts) {
  const std::string path = InstallJournalPath(directory);
  if (!platform::FileExists(path)) return false;
  const std::string text = platform::ReadWholeFile(path);
  counts = ReplayInstallJournal(ParseInstallJournal(text), TrimBaseDirectory(directory), path);
  return true;
}

std::string DirectoryHeldText(const std::string& directory) {
  return "Another setup run is working in " + directory +
         "\r\nWait until it has finished, then start setup again.";
}

TDirectoryRecovery RecoverHeldDirectory(const std::string& directory,
                                        const std::function<void(const std::string&)>& log) {
  TRollbackCounts counts;
  try {
    if (!RecoverInstallJournal(directory, counts)) return TDirectoryRecovery::Clean;
  } catch (const std::exception& error) {
    if (log)
      log("Cannot read the journal of an interrupted installation in " + directory + ": " +
          error.what());
    return TDirectoryRecovery::Recovered;
  }
  if (log) {
    log("An interrupted installation in " + directory + " was found and undone. " +
        RollbackText(counts));
  }
  return TDirectoryRecovery::Recovered;
}

TDirectoryRecovery RecoverInstallDirectory(TSetupSystem& system, TMessageService& messages,
                                           const std::string& directory,
                                           const std::function<void(const std::string&)>& log) {
  if (directory.empty()) return TDirectoryRecovery::Clean;
  std::unique_ptr<TDirectoryHold> hold = system.HoldDirectory(directory);
  if (!hold) {
    messages.Show(mkError, mbOK, kNoHelpContext, DirectoryHeldText(directory));
    return TDirectoryRecovery::Held;
  }
  return RecoverHeldDirectory(directory, log);
}

}  // namespace vx
