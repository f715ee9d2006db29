// The installation run: "INSTALL" validates and makes the directory, sizes
// the product from the archive, tests the space, extracts every member with
// the gauge and the member's name following each progress event, checks the
// main executable, makes the two shortcuts and ends the program. "Quit" and a
// failing member stop it at the next progress event.
//
// Everything runs on the one user-interface thread. The progress events pump
// the window's messages, so the window repaints and its buttons work while a
// member is decoded; a button's handler then runs nested inside the event.
// AbortRequested is the only thing that crosses that nesting back into the
// extraction. A second extraction nested inside the first is refused.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/archive_item.h"
#include "archive/archive_types.h"
#include "archive/unzipper.h"
#include "setup/shortcuts.h"

namespace vx {

class TForm1;
class TMainWindowView;
class TMessageService;
class TSetupSystem;

// Megabytes of 1,000,000 bytes the product needs: total / 1e6 + 0.5 rounded
// to the nearest whole number, ties to even (so 1,000,000 bytes need 2 and
// 2,000,000 bytes need 2).
int32_t DiskNeededMBFor(double total_bytes);

// The gauge's percentage when `done_bytes` of `total_bytes` are written, to
// the nearest (ties to even). An archive of empty members has nothing to
// count: then the member's own progress stands for the whole.
int32_t GaugePercent(double done_bytes, double total_bytes, uint8_t item_progress);

// A member's size in bytes. Sizes from 2 GiB to 4 GiB arrive as negative
// 32-bit numbers; they are counted as the unsigned sizes they are.
double MemberBytes(const TAbArchiveItem& item);

// The text a member failure shows for its error class and code.
std::string FailureErrorText(TAbErrorClass error_class, int32_t error_code);

// How the last installation run ended.
enum class TInstallOutcome : int32_t {
  None,              // no run yet, or a run still under way
  DirectoryRefused,  // the directory rules refused it, or it could not be made
  ArchiveProblem,    // the archive could not be opened, or the space is too small
  MemberFailed,      // a member could not be extracted
  Stopped,           // "Quit", or an unexpected error during the extraction
  MainExeMissing,    // everything extracted, but the main executable is absent
  Installed,         // extracted and the main executable present
};

class TInstallRun {
 public:
  TInstallRun(TForm1& form, TMainWindowView& view, TMessageService& messages, TSetupSystem& system);
  TInstallRun(const TInstallRun&) = delete;
  TInstallRun& operator=(const TInstallRun&) = delete;

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

  // True while a run is under way: from the opening of the archive (whose
  // loading already pumps messages) until the run ends.
  bool Extracting() const { return extracting_; }

  void InstallBtnClick();
  void QuitBtnClick();

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
  // Steps 3 to 5: open and size the archive, test the space; false to stop.
  bool PrepareArchive();
  void Extract();
  void MakeShortcuts(const std::string& exe_path);
  bool MakeShortcutInFolder();

  TForm1& form_;
  TMainWindowView& view_;
  TMessageService& messages_;
  TSetupSystem& system_;
  void Log(const std::string& line) {
    if (OnLog) OnLog(line);
  }
  // The member whose extraction began last and has not been reported yet.
  void ReportPendingMember(const std::string& outcome);

  bool extracting_ = false;
  bool quitting_ = false;
  TInstallOutcome outcome_ = TInstallOutcome::None;
  bool member_pending_ = false;
  std::string pending_name_;
  double pending_bytes_ = 0;
};

}  // namespace vx
