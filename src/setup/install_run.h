// The installation run: "INSTALL" validates and makes the directory, sizes
// the product from the archive, tests the space, extracts every member with
// the gauge and the member's name following each progress event, checks the
// main executable, makes the two shortcuts and ends the program. "Quit" and a
// failing member stop it at the next progress event.
//
// Everything runs on the one user-interface thread. The progress events pump
// the window's messages, so the window repaints and its buttons work while a
// member is decoded; a button's handler then runs nested inside the event.
// The run's abort request is the only thing that crosses that nesting back
// into the extraction. A second extraction nested inside the first is refused.
//
// The run reads its options and tells an observer what happens: the window's
// controller is one, the unattended run (which shows nothing) another.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_item.h"
#include "archive/archive_types.h"
#include "archive/unzipper.h"
#include "setup/install_journal.h"
#include "setup/install_options.h"
#include "setup/shortcuts.h"
#include "setup/uninstall.h"
#include "ui/message_service.h"

namespace vx {

class TSetupSystem;

// Free mebibytes on drive `drive` (a letter in either case; a blank means the
// current drive), rounded to the nearest; -1 when they cannot be measured.
int32_t DiskFreeMB(TSetupSystem& system, char drive);

// Megabytes of 1,000,000 bytes the product needs: total / 1e6 + 0.5 rounded
// to the nearest whole number, ties to even (so 1,000,000 bytes need 2 and
// 2,000,000 bytes need 2).
int32_t DiskNeededMBFor(double total_bytes);

// The gauge's percentage when `done_bytes` of `total_bytes` are written, to
// the nearest (ties to even). An archive of empty members has nothing to
// count: then the member's own progress stands for the whole.
int32_t GaugePercent(double done_bytes, double total_bytes, uint8_t item_progress);

// A member's size in bytes: its whole size, a ZIP64 member's beyond 4 GiB
// included.
double MemberBytes(const TAbArchiveItem& item);

// The box (or, when silent, the log) that names the files in use: at most
// `kInUseListed` of them, then how many more there are.
constexpr size_t kInUseListed = 10;
std::string FilesInUseText(const std::string& directory, const std::vector<std::string>& files);

// The text a member failure shows for its error class and code.
std::string FailureErrorText(TAbErrorClass error_class, int32_t error_code);

// How the last installation run ended.
enum class TInstallOutcome : int32_t {
  None,              // no run yet, or a run still under way
  DirectoryRefused,  // the directory rules refused it, or it could not be made
  ArchiveProblem,    // the archive could not be opened, or the space is too small
  FilesInUse,        // files the run would replace are in use: nothing was written
  MemberFailed,      // a member could not be extracted
  Stopped,           // an unexpected error during the extraction
  Cancelled,         // "Quit" (or the close box) during the extraction
  MainExeMissing,    // everything extracted, but the main executable is absent
  Installed,         // extracted and the main executable present
  DirectoryHeld,     // another setup run holds the directory: nothing was touched
};

// What a run tells as it goes. Progress comes at every event of the
// extraction; how often that reaches the screen is the observer's choice.
class TInstallObserver {
 public:
  virtual ~TInstallObserver() = default;
  // A run is under way (from the opening of the archive) or over.
  virtual void RunningChanged(bool running) = 0;
  // The archive is sized: the megabytes the product really needs.
  virtual void SpaceNeeded(int32_t disk_needed_mb) = 0;
  // The extraction begins, the gauge at 0.
  virtual void ExtractionStarted() = 0;
  // The gauge's percentage and the member being written.
  virtual void Progress(int32_t percent, const std::string& member) = 0;
  // A chance to handle the window's waiting messages ("Quit" among them).
  virtual void ProcessMessages() = 0;
  // The last progress painted now: before a box and at the end of the
  // extraction.
  virtual void ShowNow() = 0;
  // The extraction is over, finished or not, and the program goes on.
  virtual void ExtractionEnded() = 0;
};

// An observer that shows nothing.
class TUnseenInstall : public TInstallObserver {
 public:
  void RunningChanged(bool) override {}
  void SpaceNeeded(int32_t) override {}
  void ExtractionStarted() override {}
  void Progress(int32_t, const std::string&) override {}
  void ProcessMessages() override {}
  void ShowNow() override {}
  void ExtractionEnded() override {}
};

class TInstallRun {
 public:
  // `options` are read at each run, never written; `messages` shows the
  // run's boxes and asks the user for the disks of a spanned archive.
  TInstallRun(const TInstallOptions& options, TInstallObserver& observer, TMessageService& messages,
              TSetupSystem& system);
  TInstallRun(const TInstallRun&) = delete;
  TInstallRun& operator=(const TInstallRun&) = delete;

 private:
  // The archive's requests for another disk, as boxes of the message service.
  class TDiskBox : public TDiskPrompt {
   public:
    explicit TDiskBox(TMessageService& messages) : messages_(messages) {}
    bool AskForDisk(const std::string& caption, const std::string& text) override;

   private:
    TMessageService& messages_;
  };
  TDiskBox disk_box_;

 public:
  TAbUnZipper AbUnZipper1;

  // Byte counters of the run.
  double TotalBytes = 0;        // all members' uncompressed sizes
  double DoneBytes = 0;         // members confirmed before the current one
  double CurrentItemBytes = 0;  // the member being extracted

  // The shell the shortcuts are made with, and the window it may ask on the
  // user's behalf (its handle as an integer; 0 for none).
  TStShell* Shell = &PlatformShell();
  intptr_t ShortcutOwner = 0;
  // Made at the first installation that reaches the shortcuts; lives as long
  // as the window.
  std::unique_ptr<TStShortcut> Shortcut;
  // Where a completed run writes its uninstaller, record and Add/Remove
  // Programs entry; unset, it writes none of them.
  TUninstallSystem* Uninstall = nullptr;

  // True while a run is under way: from the opening of the archive (whose
  // loading already pumps messages) until the run ends.
  bool Extracting() const { return extracting_; }

  void InstallBtnClick();
  void QuitBtnClick();

  // Stops the extraction at its next progress event.
  void RequestAbort() { abort_requested_ = true; }
  bool AbortRequested() const { return abort_requested_; }

  TInstallOutcome Outcome() const { return outcome_; }
  // Receives one line for each step of a run worth a log: the sizes, each
  // member with its outcome, each shortcut written. Unset: nothing is said.
  std::function<void(const std::string&)> OnLog;

  // The extraction component's events.
  void AbUnZipper1ConfirmProcessItem(TAbUnZipper& sender, TAbArchiveItem& item,
                                     TAbProcessType process_type, bool& confirm);
  void AbUnZipper1ArchiveItemProgress(TAbUnZipper& sender, TAbArchiveItem& item, uint8_t progress,
                                      bool& abort);
  void AbUnZipper1ArchiveProgress(TAbUnZipper& sender, uint8_t progress, bool& abort);
  void AbUnZipper1ConfirmOverwrite(std::string& name, bool& confirm);
  void AbUnZipper1ProcessItemFailure(TAbUnZipper& sender, TAbArchiveItem& item,
                                     TAbProcessType process_type, TAbErrorClass error_class,
                                     int32_t error_code);

 private:
  // Opens and sizes the archive and tests the space; false to stop.
  bool PrepareArchive();
  // The existing files the archive would replace that another program holds.
  std::vector<std::string> FilesInUse();
  // Before anything is written: true when no file the run would replace is
  // in use, asking to retry until none is; false when the user cancels.
  bool NoFileInUse();
  void Extract();
  void MakeShortcuts(const std::string& exe_path);
  // The journal of the run, begun once the directory exists (and after a
  // journal left there by a killed run is undone); false with a box when it
  // cannot be written, and the directory the run made is removed again.
  bool BeginJournal(bool directory_created);
  // Undoes what the run wrote, when it does not complete.
  void RollBack();
  // Keeps what the run wrote, when it completed.
  void CommitJournal();
  bool MakeShortcutInFolder();
  // Writes the uninstaller, the record and the entry; a failure is a warning.
  void RecordInstallation();

  // A box of the run; whatever progress it interrupts is shown first.
  TModalResult Show(TMessageKind kind, const std::string& text);
  void FatalError(const std::string& problem);

  const TInstallOptions& options_;
  TInstallObserver& observer_;
  TMessageService& messages_;
  TSetupSystem& system_;
  void Log(const std::string& line) {
    if (OnLog) OnLog(line);
  }
  // The member whose extraction began last and has not been reported yet.
  void ReportPendingMember(const std::string& outcome);

  std::unique_ptr<TInstallJournal> journal_;
  bool extracting_ = false;
  bool quitting_ = false;
  bool abort_requested_ = false;
  TInstallOutcome outcome_ = TInstallOutcome::None;
  bool member_pending_ = false;
  std::string pending_name_;
  double pending_bytes_ = 0;
  // What the run wrote, for the uninstall record.
  std::vector<TInstalledItem> installed_;
  std::vector<std::string> shortcuts_written_;
};

}  // namespace vx
