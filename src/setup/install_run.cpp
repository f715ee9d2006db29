#include "setup/install_run.h"

#include <cctype>
#include <cmath>
#include <exception>

#include "archive/errors.h"
#include "platform/files.h"
#include "platform/rounding.h"
#include "platform/text.h"
#include "setup/install_dir_rules.h"
#include "setup/setup_system.h"
#include "setup/startup_rules.h"

namespace vx {

namespace {

constexpr double kBytesPerMB = 1000000.0;
constexpr const char* kAllMembers = "*.*";

// Marks an installation run under way, from the opening of the archive until
// the run ends however it ends.
class TExtractingScope {
 public:
  TExtractingScope(bool& flag, TInstallObserver& observer) : flag_(flag), observer_(observer) {
    flag_ = true;
    observer_.RunningChanged(true);
  }
  ~TExtractingScope() {
    flag_ = false;
    observer_.RunningChanged(false);
  }
  TExtractingScope(const TExtractingScope&) = delete;
  TExtractingScope& operator=(const TExtractingScope&) = delete;

 private:
  bool& flag_;
  TInstallObserver& observer_;
};

}  // namespace

int32_t DiskFreeMB(TSetupSystem& system, char drive) {
  std::string root;
  if (drive != ' ') {
    root = std::string(1, AsciiUpper(drive)) + ":\\";
  }
  int64_t free_bytes = -1;
  if (!system.DiskFreeBytes(root, free_bytes) || free_bytes < 0) return -1;
  return BytesToMB(free_bytes);
}

int32_t DiskNeededMBFor(double total_bytes) {
  return RoundToInt32(total_bytes / kBytesPerMB + 0.5);
}

int32_t GaugePercent(double done_bytes, double total_bytes, uint8_t item_progress) {
  if (!(total_bytes > 0)) return item_progress;
  return RoundToInt32(done_bytes / total_bytes * 100.0);
}

double MemberBytes(const TAbArchiveItem& item) {
  return static_cast<double>(item.StoredUncompressedSize());
}

std::string FilesInUseText(const std::string& directory, const std::vector<std::string>& files) {
  std::string text =
      "Setup cannot install in " + directory + "\r\nwhile other programs use these files:";
  for (size_t i = 0; i < files.size() && i < kInUseListed; ++i) text += "\r\n" + files[i];
  if (files.size() > kInUseListed) {
    text += "\r\nand " + std::to_string(files.size() - kInUseListed) + " more";
  }
  return text + "\r\nClose those programs, then press Retry; Cancel leaves everything as it is.";
}

std::string FailureErrorText(TAbErrorClass error_class, int32_t error_code) {
  switch (error_class) {
    case ecArchive: {
      std::string text;
      MessageForCode(error_code, text);
      return text;
    }
    case ecInOut:
      return "InOut";
    case ecFiler:
      return "Filer";
    case ecFileCreate:
      return "FileCreate";
    case ecFileOpen:
      return "FileOpen";
    default:
      return "Unknown";
  }
}

bool TInstallRun::TDiskBox::AskForDisk(const std::string&, const std::string& text) {
  return messages_.Show(mkInformation, mbOKCancel, kNoHelpContext, text) == mrOK;
}

TInstallRun::TInstallRun(const TInstallOptions& options, TInstallObserver& observer,
                         TMessageService& messages, TSetupSystem& system)
    : disk_box_(messages),
      AbUnZipper1(disk_box_),
      options_(options),
      observer_(observer),
      messages_(messages),
      system_(system) {
  AbUnZipper1.OnConfirmProcessItem = [this](TAbUnZipper& sender, TAbArchiveItem& item,
                                            TAbProcessType process_type, bool& confirm) {
    AbUnZipper1ConfirmProcessItem(sender, item, process_type, confirm);
  };
  AbUnZipper1.OnArchiveItemProgress = [this](TAbUnZipper& sender, TAbArchiveItem& item,
                                             uint8_t progress, bool& abort) {
    AbUnZipper1ArchiveItemProgress(sender, item, progress, abort);
  };
  AbUnZipper1.OnArchiveProgress = [this](TAbUnZipper& sender, uint8_t progress, bool& abort) {
    AbUnZipper1ArchiveProgress(sender, progress, abort);
  };
  AbUnZipper1.OnConfirmOverwrite = [this](std::string& name, bool& confirm) {
    AbUnZipper1ConfirmOverwrite(name, confirm);
  };
  AbUnZipper1.OnProcessItemFailure = [this](TAbUnZipper& sender, TAbArchiveItem& item,
                                            TAbProcessType process_type, TAbErrorClass error_class,
                                            int32_t error_code) {
    AbUnZipper1ProcessItemFailure(sender, item, process_type, error_class, error_code);
  };
}

void TInstallRun::InstallBtnClick() {
  // A press that was queued before the buttons were disabled, or one pumped
  // from inside a progress event: the run under way goes on alone.
  if (extracting_) return;
  const TInstallOptions& options = options_;
  outcome_ = TInstallOutcome::None;
  member_pending_ = false;

  Log("Installation directory: " + options.InstDir);
  if (!ValidInstallDir(options.InstDir, system_, messages_)) {
    outcome_ = TInstallOutcome::DirectoryRefused;
    return;
  }
  // One run per directory: held from here to the end of the run.
  const std::unique_ptr<TDirectoryHold> hold = system_.HoldDirectory(options.InstDir);
  if (!hold) {
    outcome_ = TInstallOutcome::DirectoryHeld;
    Log("The directory is held by another process");
    messages_.Show(mkError, mbOK, kNoHelpContext, DirectoryHeldText(options.InstDir));
    messages_.RequestEnd();
    return;
  }
  const bool directory_created = !system_.DirectoryExists(options.InstDir);
  if (directory_created && !system_.CreateDirectory(options.InstDir)) {
    outcome_ = TInstallOutcome::DirectoryRefused;
    messages_.Show(mkError, mbOK, kNoHelpContext, CannotCreateDirText(options.InstDir));
    return;
  }
  // Loading the directory of a large archive pumps messages too.
  TExtractingScope running(extracting_, observer_);
  if (!PrepareArchive()) {
    outcome_ = TInstallOutcome::ArchiveProblem;
    if (directory_created) platform::RemoveDirectory(options.InstDir);
    return;
  }
  // Nothing in a directory this run makes can be in use; elsewhere nothing
  // is written, not even the journal, while a file to be replaced is.
  if (!directory_created && !NoFileInUse()) {
    outcome_ = TInstallOutcome::FilesInUse;
    AbUnZipper1.CloseArchive();
    return;
  }
  if (!BeginJournal(directory_created)) {
    outcome_ = TInstallOutcome::DirectoryRefused;
    return;
  }

  observer_.ExtractionStarted();
  DoneBytes = 0;
  CurrentItemBytes = 0;

  try {
    Extract();
    ReportPendingMember("extracted");
  } catch (const std::exception& error) {
    ReportPendingMember("not finished");
    if (outcome_ == TInstallOutcome::None) outcome_ = TInstallOutcome::Stopped;
    RollBack();
    // After "Quit" or a member failure the program is ending and this box
    // closes unseen. Anything else is reported and the window is restored.
    Show(mkError, error.what());
    if (!messages_.EndRequested()) observer_.ExtractionEnded();
    return;
  }
  observer_.ShowNow();

  installed_ = Uninstall != nullptr ? InstalledItems(AbUnZipper1) : std::vector<TInstalledItem>{};
  AbUnZipper1.CloseArchive();
  // A "Quit" handled while the last member finished: its box has said the
  // installation is not complete, so it is not.
  if (abort_requested_) {
    outcome_ = TInstallOutcome::Cancelled;
    RollBack();
    observer_.ExtractionEnded();
    return;
  }
  observer_.ExtractionEnded();

  const std::string exe_path = options.InstDir + "\\" + options.ExeName;
  if (system_.FileExists(exe_path)) {
    outcome_ = TInstallOutcome::Installed;
    CommitJournal();
    // Only now that everything else is in place.
    shortcuts_written_.clear();
    MakeShortcuts(exe_path);
    RecordInstallation();
  } else {
    outcome_ = TInstallOutcome::MainExeMissing;
    RollBack();
    messages_.Show(mkWarning, mbOK, kNoHelpContext,
                   "Problem: file \"" + exe_path + "\"\r\ndoes not exist");
    FatalError("Main EXE file not installed successfully");
  }
  messages_.Show(mkInformation, mbOK, kNoHelpContext,
                 "Installation of " + options.InstTitle + " is complete");
  messages_.RequestEnd();
}

TModalResult TInstallRun::Show(TMessageKind kind, const std::string& text) {
  if (extracting_) observer_.ShowNow();
  return messages_.Show(kind, mbOK, kNoHelpContext, text);
}

void TInstallRun::FatalError(const std::string& problem) {
  messages_.Show(mkError, mbOKHelp, kFatalErrorHelpContext, FatalErrorText(problem));
  messages_.RequestEnd();
}

bool TInstallRun::BeginJournal(bool directory_created) {
  const std::string& directory = options_.InstDir;
  TRollbackCounts counts;
  try {
    // A directory chosen with "Change" may hold what a killed run left.
    if (RecoverInstallJournal(directory, counts)) {
      Log("An interrupted installation in " + directory + " was found and undone. " +
          RollbackText(counts));
    }
    journal_ = TInstallJournal::Begin(directory, directory_created);
  } catch (const std::exception& error) {
    if (directory_created) platform::RemoveDirectory(directory);
    messages_.Show(mkError, mbOK, kNoHelpContext,
                   "Cannot write the installation journal " + InstallJournalPath(directory) +
                       "\r\n" + error.what());
    return false;
  }
  AbUnZipper1.SetOutputPlacement(*journal_);
  return true;
}

void TInstallRun::RollBack() {
  if (!journal_) return;
  AbUnZipper1.CloseArchive();
  AbUnZipper1.SetOutputPlacement(DirectOutputPlacement());
  const std::unique_ptr<TInstallJournal> journal = std::move(journal_);
  Log(RollbackText(journal->RollBack()));
}

void TInstallRun::CommitJournal() {
  if (!journal_) return;
  AbUnZipper1.SetOutputPlacement(DirectOutputPlacement());
  const std::unique_ptr<TInstallJournal> journal = std::move(journal_);
  journal->Commit();
}

bool TInstallRun::PrepareArchive() {
  const TInstallOptions& options = options_;
  try {
    AbUnZipper1.SetBaseDirectory(options.InstDir);
    AbUnZipper1.SetFileName(options.ZipPath);
    AbUnZipper1.SetExtractOptions({eoCreateDirs, eoRestorePath});
    TotalBytes = 0;
    for (int32_t i = 0; i < AbUnZipper1.Count(); ++i) {
      TotalBytes += MemberBytes(AbUnZipper1.Items(i));
    }
  } catch (const EAbZipMembersOverlap& error) {
    // A bomb: the box says why the archive is refused.
    messages_.Show(mkError, mbOK, kNoHelpContext,
                   "Cannot unzip file " + options.ZipPath + "\r\n" + error.Message());
    return false;
  } catch (const std::exception&) {
    messages_.Show(mkError, mbOK, kNoHelpContext, "Cannot unzip file " + options.ZipPath);
    return false;
  }

  const int32_t needed_mb = DiskNeededMBFor(TotalBytes);
  observer_.SpaceNeeded(needed_mb);
  const int32_t free_mb = DiskFreeMB(system_, options.InstDir[0]);
  Log("Archive " + options.ZipPath + ": " + std::to_string(AbUnZipper1.Count()) + " members, " +
      std::to_string(static_cast<int64_t>(TotalBytes)) + " bytes; needed " +
      std::to_string(needed_mb) + " MB, free " + std::to_string(free_mb) + " MB");
  if (needed_mb > free_mb) {
    messages_.Show(mkError, mbOK, kNoHelpContext,
                   "Insufficient space to install in " + options.InstDir);
    return false;
  }
  return true;
}

std::vector<std::string> TInstallRun::FilesInUse() {
  std::vector<std::string> in_use;
  for (int32_t i = 0; i < AbUnZipper1.Count(); ++i) {
    const std::string path = AbUnZipper1.OutputPath(i);
    if (!path.empty() && system_.FileInUse(path)) in_use.push_back(path);
  }
  return in_use;
}

bool TInstallRun::NoFileInUse() {
  for (;;) {
    const std::vector<std::string> in_use = FilesInUse();
    if (in_use.empty()) return true;
    Log("Files in use: " + std::to_string(in_use.size()));
    const TModalResult answer = messages_.Show(mkWarning, mbRetryCancel, kNoHelpContext,
                                               FilesInUseText(options_.InstDir, in_use));
    if (answer != mrRetry) return false;
  }
}

void TInstallRun::Extract() {
  AbUnZipper1.SetBaseDirectory(options_.InstDir);
  AbUnZipper1.ExtractFiles(kAllMembers);
}

void TInstallRun::MakeShortcuts(const std::string& exe_path) {
  const TInstallOptions& options = options_;
  const std::string desktop_problem =
      "Problem creating Desktop shortcut...\r\nYou may have to create this manually.";
  const std::string programs_problem =
      "Problem creating Start Menu shortcut...\r\nYou may have to create this manually.";
  // The component reads the shell's version when it is made; a shell that
  // cannot tell makes neither shortcut.
  try {
    if (!Shortcut) Shortcut = std::make_unique<TStShortcut>(*Shell, ShortcutOwner);
  } catch (const std::exception&) {
    messages_.Show(mkWarning, mbOK, kNoHelpContext, desktop_problem);
    messages_.Show(mkWarning, mbOK, kNoHelpContext, programs_problem);
    return;
  }

  bool made = false;
  try {
    Shortcut->SetIconIndex(0);
    Shortcut->SetAutoName(false);
    Shortcut->SetDescription(options.ShortcutTitle);
    Shortcut->SetFileName(exe_path);
    Shortcut->SetLocationType(ltSpecialFolder);
    Shortcut->SetStartInDir(options.InstDir);
    Shortcut->SetSpecialFolder(sfDesktop);
    made = MakeShortcutInFolder();
  } catch (const std::exception&) {
    made = false;
  }
  if (!made) messages_.Show(mkWarning, mbOK, kNoHelpContext, desktop_problem);

  made = false;
  try {
    Shortcut->SetSpecialFolder(sfPrograms);
    made = MakeShortcutInFolder();
  } catch (const std::exception&) {
    made = false;
  }
  if (!made) messages_.Show(mkWarning, mbOK, kNoHelpContext, programs_problem);
}

bool TInstallRun::MakeShortcutInFolder() {
  // A folder the shell cannot name would leave the link in the current
  // directory instead, where nobody looks for it.
  if (Shortcut->DestinationPath().empty()) return false;
  if (!Shortcut->MakeShortcut()) return false;
  Log("Shortcut written: " + Shortcut->ShortcutFileName());
  shortcuts_written_.push_back(Shortcut->ShortcutFileName());
  return true;
}

void TInstallRun::RecordInstallation() {
  if (Uninstall == nullptr) return;
  const std::string problem =
      RegisterInstallation(*Uninstall, system_.ProgramFileName(), options_, installed_,
                           shortcuts_written_, [this](const std::string& line) { Log(line); });
  if (!problem.empty()) messages_.Show(mkWarning, mbOK, kNoHelpContext, problem);
}

void TInstallRun::ReportPendingMember(const std::string& outcome) {
  if (!member_pending_) return;
  member_pending_ = false;
  Log("Member " + pending_name_ + " (" + std::to_string(static_cast<int64_t>(pending_bytes_)) +
      " bytes): " + outcome);
}

void TInstallRun::QuitBtnClick() {
  // A second press pumped from inside the first adds nothing.
  if (quitting_) return;
  quitting_ = true;
  if (extracting_) outcome_ = TInstallOutcome::Cancelled;
  abort_requested_ = true;
  observer_.ShowNow();
  messages_.Show(mkWarning, mbOK, kNoHelpContext,
                 "Install of " + options_.InstTitle + " is NOT complete");
  messages_.RequestEnd();
}

void TInstallRun::AbUnZipper1ConfirmProcessItem(TAbUnZipper&, TAbArchiveItem& item, TAbProcessType,
                                                bool&) {
  DoneBytes += CurrentItemBytes;
  CurrentItemBytes = MemberBytes(item);
  ReportPendingMember("extracted");
  member_pending_ = true;
  pending_name_ = item.FileName();
  pending_bytes_ = CurrentItemBytes;
  observer_.ProcessMessages();
}

void TInstallRun::AbUnZipper1ArchiveItemProgress(TAbUnZipper&, TAbArchiveItem& item,
                                                 uint8_t progress, bool& abort) {
  if (abort_requested_) {
    abort = true;
    return;
  }
  const double done = progress * MemberBytes(item) / 100.0 + DoneBytes;
  observer_.Progress(GaugePercent(done, TotalBytes, progress), item.FileName());
}

void TInstallRun::AbUnZipper1ArchiveProgress(TAbUnZipper&, uint8_t, bool& abort) {
  if (abort_requested_) {
    abort = true;
  } else {
    observer_.ProcessMessages();
  }
}

void TInstallRun::AbUnZipper1ConfirmOverwrite(std::string& name, bool& confirm) {
  bool tried = false;
  for (;;) {
    const uint32_t attributes = system_.GetFileAttributes(name);
    if (attributes == platform::kInvalidAttributes) return;
    if ((attributes & platform::kAttrReadOnly) == 0) {
      confirm = true;
      return;
    }
    const std::string problem = "Cannot over-write read-only file:  " + name;
    if (tried) {
      Show(mkWarning, problem + "\r\nYou may have to install into a fresh directory");
      return;
    }
    // The old attributes come back with the old file if the run is undone.
    if (journal_) journal_->AttributesChanging(name, attributes);
    if (!system_.SetFileAttributes(name, attributes & ~platform::kAttrReadOnly)) {
      Show(mkWarning, problem);
    }
    tried = true;
  }
}

void TInstallRun::AbUnZipper1ProcessItemFailure(TAbUnZipper&, TAbArchiveItem& item, TAbProcessType,
                                                TAbErrorClass error_class, int32_t error_code) {
  const TInstallOptions& options = options_;
  // The member that "Quit" stopped fails too, but the run was cancelled.
  if (outcome_ != TInstallOutcome::Cancelled) outcome_ = TInstallOutcome::MemberFailed;
  member_pending_ = false;
  Log("Member " + item.FileName() + " (" + std::to_string(static_cast<int64_t>(MemberBytes(item))) +
      " bytes): failed, " + FailureErrorText(error_class, error_code));
  Show(mkWarning, "Cannot extract " + item.FileName() + "\r\n" + " from archive " +
                      options.ZipPath + "\r\n" + "Error Code: \"" +
                      FailureErrorText(error_class, error_code) + "\"");
  abort_requested_ = true;
  messages_.Show(mkWarning, mbOK, kNoHelpContext,
                 "Install of " + options.InstTitle + " is NOT complete" + "\r\n" +
                     "but will be terminated due to problems");
  messages_.Show(mkWarning, mbOK, kNoHelpContext,
                 "If you try to install again, please check that\r\n(a) you have sufficient free "
                 "disk space.\r\n(b) you have closed other running applications.");
  messages_.RequestEnd();
}

}  // namespace vx
