#include "setup/install_run.h"

#include <cmath>
#include <exception>

#include "archive/errors.h"
#include "platform/files.h"
#include "platform/rounding.h"
#include "setup/install_dir_rules.h"
#include "setup/main_window.h"
#include "setup/message_service.h"
#include "setup/setup_system.h"

namespace vx {

namespace {

constexpr double kBytesPerMB = 1000000.0;
constexpr const char* kAllMembers = "*.*";

// Marks an installation run under way, from the opening of the archive until
// the run ends however it ends.
class TExtractingScope {
 public:
  TExtractingScope(bool& flag, TMainWindowView& view) : flag_(flag), view_(view) {
    flag_ = true;
    SetButtons(false);
  }
  ~TExtractingScope() {
    flag_ = false;
    SetButtons(true);
  }
  TExtractingScope(const TExtractingScope&) = delete;
  TExtractingScope& operator=(const TExtractingScope&) = delete;

 private:
  // The buttons that would start a second run or change its directory, and
  // the diagnostics, which would run its long report nested in the
  // extraction. "Quit" and "Help" stay usable.
  void SetButtons(bool enabled) {
    for (TMainControl control :
         {TMainControl::InstallBtn, TMainControl::ChangeDirBtn, TMainControl::Button1}) {
      view_.SetEnabled(control, enabled);
    }
  }
  bool& flag_;
  TMainWindowView& view_;
};

}  // namespace

int32_t DiskNeededMBFor(double total_bytes) {
  return RoundToInt32(total_bytes / kBytesPerMB + 0.5);
}

int32_t GaugePercent(double done_bytes, double total_bytes, uint8_t item_progress) {
  if (!(total_bytes > 0)) return item_progress;
  return RoundToInt32(done_bytes / total_bytes * 100.0);
}

double MemberBytes(const TAbArchiveItem& item) {
  const double size = static_cast<double>(item.UncompressedSize());
  return size < 0 ? size + 4294967296.0 : size;
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

TInstallRun::TInstallRun(TForm1& form, TMainWindowView& view, TMessageService& messages,
                         TSetupSystem& system)
    : form_(form), view_(view), messages_(messages), system_(system) {
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
  TInstallOptions& options = form_.InstallOptions;
  outcome_ = TInstallOutcome::None;
  member_pending_ = false;

  Log("Installation directory: " + options.InstDir);
  if (!ValidInstallDir(options.InstDir, system_, messages_)) {
    outcome_ = TInstallOutcome::DirectoryRefused;
    return;
  }
  if (!system_.DirectoryExists(options.InstDir) && !system_.CreateDirectory(options.InstDir)) {
    outcome_ = TInstallOutcome::DirectoryRefused;
    messages_.Show(mkError, mbOK, kNoHelpContext, CannotCreateDirText(options.InstDir));
    return;
  }
  // Loading the directory of a large archive pumps messages too.
  TExtractingScope running(extracting_, view_);
  if (!PrepareArchive()) {
    outcome_ = TInstallOutcome::ArchiveProblem;
    return;
  }

  view_.Gauge1().SetProgress(0);
  view_.SetVisible(TMainControl::Gauge1, true);
  view_.SetCaption(TMainControl::SpaceNeededLabel, "Installing...please wait");
  view_.SetFontColor(TMainControl::SpaceNeededLabel, clGreen);
  view_.SetFontSize(TMainControl::SpaceNeededLabel,
                    view_.FontSize(TMainControl::InstDirLabel) / 2 * 3);
  DoneBytes = 0;
  CurrentItemBytes = 0;

  try {
    Extract();
    ReportPendingMember("extracted");
  } catch (const std::exception& error) {
    ReportPendingMember("not finished");
    if (outcome_ == TInstallOutcome::None) outcome_ = TInstallOutcome::Stopped;
    // After "Quit" or a member failure the program is ending and this box
    // closes unseen. Anything else is reported and the window is restored.
    messages_.Show(mkError, mbOK, kNoHelpContext, error.what());
    if (!messages_.EndRequested()) form_.ShowSpaceInfo();
    return;
  }

  AbUnZipper1.CloseArchive();
  form_.ShowSpaceInfo();

  const std::string exe_path = options.InstDir + "\\" + options.ExeName;
  if (system_.FileExists(exe_path)) {
    outcome_ = TInstallOutcome::Installed;
    MakeShortcuts(exe_path);
  } else {
    outcome_ = TInstallOutcome::MainExeMissing;
    messages_.Show(mkWarning, mbOK, kNoHelpContext,
                   "Problem: file \"" + exe_path + "\"\r\ndoes not exist");
    form_.FatalError("Main EXE file not installed successfully");
  }
  messages_.Show(mkInformation, mbOK, kNoHelpContext,
                 "Installation of " + options.InstTitle + " is complete");
  form_.Close();
}

bool TInstallRun::PrepareArchive() {
  TInstallOptions& options = form_.InstallOptions;
  try {
    AbUnZipper1.SetBaseDirectory(options.InstDir);
    AbUnZipper1.SetFileName(options.ZipPath);
    AbUnZipper1.SetExtractOptions({eoCreateDirs, eoRestorePath});
    TotalBytes = 0;
    for (int32_t i = 0; i < AbUnZipper1.Count(); ++i) {
      TotalBytes += MemberBytes(AbUnZipper1.Items(i));
    }
  } catch (const std::exception&) {
    messages_.Show(mkError, mbOK, kNoHelpContext, "Cannot unzip file " + options.ZipPath);
    return false;
  }

  options.DiskNeededMB = DiskNeededMBFor(TotalBytes);
  const int32_t free_mb = DiskFreeMB(system_, options.InstDir[0]);
  Log("Archive " + options.ZipPath + ": " + std::to_string(AbUnZipper1.Count()) + " members, " +
      std::to_string(static_cast<int64_t>(TotalBytes)) + " bytes; needed " +
      std::to_string(options.DiskNeededMB) + " MB, free " + std::to_string(free_mb) + " MB");
  if (options.DiskNeededMB > free_mb) {
    messages_.Show(mkError, mbOK, kNoHelpContext,
                   "Insufficient space to install in " + options.InstDir);
    return false;
  }
  return true;
}

void TInstallRun::Extract() {
  AbUnZipper1.SetBaseDirectory(form_.InstallOptions.InstDir);
  AbUnZipper1.ExtractFiles(kAllMembers);
}

void TInstallRun::MakeShortcuts(const std::string& exe_path) {
  const TInstallOptions& options = form_.InstallOptions;
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
  return true;
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
  if (extracting_) outcome_ = TInstallOutcome::Stopped;
  form_.InstallOptions.AbortRequested = true;
  view_.ProcessMessages();
  messages_.Show(mkWarning, mbOK, kNoHelpContext,
                 "Install of " + form_.InstallOptions.InstTitle + " is NOT complete");
  form_.Close();
}

void TInstallRun::AbUnZipper1ConfirmProcessItem(TAbUnZipper&, TAbArchiveItem& item, TAbProcessType,
                                                bool&) {
  DoneBytes += CurrentItemBytes;
  CurrentItemBytes = MemberBytes(item);
  ReportPendingMember("extracted");
  member_pending_ = true;
  pending_name_ = item.FileName();
  pending_bytes_ = CurrentItemBytes;
  view_.ProcessMessages();
}

void TInstallRun::AbUnZipper1ArchiveItemProgress(TAbUnZipper&, TAbArchiveItem& item,
                                                 uint8_t progress, bool& abort) {
  if (form_.InstallOptions.AbortRequested) {
    abort = true;
    return;
  }
  const double done = progress * MemberBytes(item) / 100.0 + DoneBytes;
  view_.Gauge1().SetProgress(GaugePercent(done, TotalBytes, progress));
  view_.SetCaption(TMainControl::InstDirLabel, item.FileName());
  view_.ProcessMessages();
  view_.Repaint();
}

void TInstallRun::AbUnZipper1ArchiveProgress(TAbUnZipper&, uint8_t, bool& abort) {
  if (form_.InstallOptions.AbortRequested) {
    abort = true;
  } else {
    view_.ProcessMessages();
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
      messages_.Show(mkWarning, mbOK, kNoHelpContext,
                     problem + "\r\nYou may have to install into a fresh directory");
      return;
    }
    if (!system_.SetFileAttributes(name, attributes & ~platform::kAttrReadOnly)) {
      messages_.Show(mkWarning, mbOK, kNoHelpContext, problem);
    }
    tried = true;
  }
}

void TInstallRun::AbUnZipper1ProcessItemFailure(TAbUnZipper&, TAbArchiveItem& item, TAbProcessType,
                                                TAbErrorClass error_class, int32_t error_code) {
  TInstallOptions& options = form_.InstallOptions;
  outcome_ = TInstallOutcome::MemberFailed;
  member_pending_ = false;
  Log("Member " + item.FileName() + " (" + std::to_string(static_cast<int64_t>(MemberBytes(item))) +
      " bytes): failed, " + FailureErrorText(error_class, error_code));
  messages_.Show(mkWarning, mbOK, kNoHelpContext,
                 "Cannot extract " + item.FileName() + "\r\n" + " from archive " + options.ZipPath +
                     "\r\n" + "Error Code: \"" + FailureErrorText(error_class, error_code) + "\"");
  options.AbortRequested = true;
  messages_.Show(mkWarning, mbOK, kNoHelpContext,
                 "Install of " + options.InstTitle + " is NOT complete" + "\r\n" +
                     "but will be terminated due to problems");
  messages_.Show(mkWarning, mbOK, kNoHelpContext,
                 "If you try to install again, please check that\r\n(a) you have sufficient free "
                 "disk space.\r\n(b) you have closed other running applications.");
  form_.Close();
}

}  // namespace vx
