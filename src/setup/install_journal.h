// The installation run's journal: what the run created and replaced, so that
// a run that does not complete leaves the installation directory as it found
// it. Each step is written to the journal (and handed to the operating
// system) before it is taken, so a run killed between any two steps can be
// undone from the journal alone the next time the setup starts.
//
// The journal is a text file in the installation directory, one record per
// line ("kind TAB path [TAB saved copy]", CR LF):
//   D  a directory the run made          -> removed when empty
//   T  a temporary file it may leave      -> deleted
//   C  a file it created                  -> deleted
//   R  a file it replaced, and the name   -> the saved copy is renamed back
//      its old contents were renamed to      over the new file
//   A  a file's attributes before the run -> set again
//      changed them (hex)
//   K  the run completed                  -> nothing is undone: the saved
//                                            copies are deleted instead
// Undoing replays the records backwards; every record's undo may be repeated
// (a rollback that is itself interrupted is simply replayed again), and a
// record whose step never happened undoes nothing. A replaced file is set
// aside by a rename in its own directory, so its contents, date and
// attributes come back as they were.
//
// Nothing is forced to the disk: the records reach the operating system
// before each step, so a killed process loses nothing; a power cut may lose
// the records still in the system's cache together with the steps they
// describe, as those too are only in the cache.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/output_placement.h"

namespace vx {

class TMessageService;
class TSetupSystem;

// The journal's file in `directory`.
std::string InstallJournalPath(const std::string& directory);

// What undoing a journal did.
struct TRollbackCounts {
  int32_t restored = 0;       // replaced files given back their old contents
  int32_t removed_files = 0;  // files the run created, and its temporary files
  int32_t removed_directories = 0;
  int32_t failed = 0;  // steps that could not be undone (the journal is kept)
};

// "Rolled back: 2 files restored, 5 files and 1 directory removed".
std::string RollbackText(const TRollbackCounts& counts);

struct TJournalRecord {
  char kind = 0;
  std::string path;
  std::string saved;        // R: the saved copy
  uint32_t attributes = 0;  // A
};

class TInstallJournal : public TAbOutputPlacement {
 public:
  // Receives each record's line before its step; raises when it cannot
  // keep it (the step is then not taken).
  using Sink = std::function<void(const std::string& line)>;

  // A journal on the file InstallJournalPath(directory), created now
  // (raises EFileError when it cannot be); `directory_created` when the run
  // has just made the directory itself, so undoing removes it too.
  static std::unique_ptr<TInstallJournal> Begin(const std::string& directory,
                                                bool directory_created);
  // A journal kept by `sink` for `directory`, without a file of its own to
  // delete at the end.
  TInstallJournal(std::string directory, Sink sink, bool directory_created = false);

  // The steps of an extraction, each recorded before it is taken.
  void CreateDirectories(const std::string& directory) override;
  void TemporaryFileCreating(const std::string& path) override;
  void PlaceFile(const std::string& temporary, const std::string& target, bool replacing) override;
  // The run is about to change the attributes of `path`.
  void AttributesChanging(const std::string& path, uint32_t attributes);

  // The run completed: the saved copies and the journal's file are deleted.
  void Commit();
  // The run did not complete: every step is undone, and the journal's file
  // deleted when nothing failed.
  TRollbackCounts RollBack();

  const std::vector<TJournalRecord>& Records() const { return records_; }

 private:
  void Write(const TJournalRecord& record);

  std::string directory_;
  std::string file_;  // "" without a file of its own
  Sink sink_;
  std::vector<TJournalRecord> records_;
};

// Reads a journal's lines; a line cut short by a crash is left out.
std::vector<TJournalRecord> ParseInstallJournal(const std::string& text);

// Undoes `records` (backwards) as a journal in `directory` describes them,
// deleting `journal_file` when nothing failed. A journal that says the run
// completed deletes the saved copies instead.
TRollbackCounts ReplayInstallJournal(const std::vector<TJournalRecord>& records,
                                     const std::string& directory, const std::string& journal_file);

// Replays a journal left in `directory` by a run that was killed; false
// when there is none. Its file is read as it is on disk.
bool RecoverInstallJournal(const std::string& directory, TRollbackCounts& counts);

// What the start-up does for the installation directory before anything
// else: holds it and replays a journal left there.
enum class TDirectoryRecovery : int32_t {
  Clean,      // no journal
  Recovered,  // a journal was replayed
  Held,       // another process holds the directory: nothing was touched
};
// With `directory` already held by the caller: replays a journal left there,
// logging what it did.
TDirectoryRecovery RecoverHeldDirectory(const std::string& directory,
                                        const std::function<void(const std::string&)>& log);
// Holds `directory` while a journal left there is replayed, logging what it
// did; when another process holds it, says so with a box of `messages`.
TDirectoryRecovery RecoverInstallDirectory(TSetupSystem& system, TMessageService& messages,
                                           const std::string& directory,
                                           const std::function<void(const std::string&)>& log);

// The box (or log line) for a directory another setup run holds.
std::string DirectoryHeldText(const std::string& directory);

}  // namespace vx
