#include "setup/silent_setup.h"

#include <cstdio>
#include <exception>

#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vx {

TSetupLog::TSetupLog(Sink sink, Clock clock) : sink_(std::move(sink)), clock_(std::move(clock)) {
  if (!clock_) clock_ = LogTimestamp;
}

void TSetupLog::Line(const std::string& text) {
  if (!sink_ || failed_) return;
  // A message of several lines continues on lines that start with a tab.
  std::string bytes = clock_() + "  ";
  const std::vector<std::string_view> lines = SplitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) bytes += "\r\n\t";
    bytes += lines[i];
  }
  bytes += "\r\n";
  try {
    sink_(bytes);
  } catch (...) {
    failed_ = true;
  }
}

void TSetupLog::Message(TMessageKind kind, const std::string& text) {
  Line("Message (" + MessageKindName(kind) + "): " + text);
}

std::string LogTimestamp() {
  const platform::LocalDateTime now = platform::CurrentLocalDateTime();
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.year},
                unsigned{now.month}, unsigned{now.day}, unsigned{now.hour}, unsigned{now.minute},
                unsigned{now.second});
  return text;
}

TSetupLog::Sink FileLogSink(const std::string& path) {
  std::shared_ptr<platform::TFileStream> file = platform::TFileStream::CreateAlways(path);
  return [file](const std::string& bytes) {
    file->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  };
}

std::string MessageKindName(TMessageKind kind) {
  switch (kind) {
    case mkError:
      return "error";
    case mkWarning:
      return "warning";
    case mkInformation:
      return "information";
    case mkConfirmation:
      return "confirmation";
  }
  return "message";
}

TModalResult TSilentMessageView::ShowMessageBox(const TMessageBox& box,
                                                const std::function<void()>&) {
  log_.Message(box.Kind, box.Text);
  switch (box.Buttons) {
    case mbYesNo:
      return mrNo;
    case mbOKCancel:
    case mbRetryCancel:
      return mrCancel;
    default:
      return mrOK;
  }
}

TModalResult TLoggingMessageView::ShowMessageBox(const TMessageBox& box,
                                                 const std::function<void()>& help) {
  log_.Message(box.Kind, box.Text);
  return shown_.ShowMessageBox(box, help);
}

std::string SettingsLogLine(const TSetupPackage& package) {
  const TInstallOptions& options = package.InstallOptions;
  return "Settings read from " + package.SettingsFile() + ": InstTitle=" + options.InstTitle +
         ", InstDir=" + options.InstDir + ", DiskNeededMB=" + std::to_string(options.DiskNeededMB) +
         ", exename=" + options.ExeName + ", archive=" + options.ZipPath;
}

int32_t ExitCodeForOutcome(TInstallOutcome outcome) {
  switch (outcome) {
    case TInstallOutcome::Installed:
      return secInstalled;
    case TInstallOutcome::DirectoryRefused:
      return secDirectoryRefused;
    case TInstallOutcome::ArchiveProblem:
      return secArchiveProblem;
    case TInstallOutcome::MemberFailed:
    case TInstallOutcome::Stopped:
      return secMemberFailed;
    case TInstallOutcome::MainExeMissing:
      return secMainExeMissing;
    case TInstallOutcome::Cancelled:
      return secCancelled;
    case TInstallOutcome::FilesInUse:
    case TInstallOutcome::DirectoryHeld:
      return secFilesInUse;
    case TInstallOutcome::None:
      break;
  }
  return secStartupProblem;
}

TSilentSetup::TSilentSetup(TSetupSystem& system, TSetupLog& log)
    : MessageView(log),
      Messages(MessageView),
      Package(Messages, system),
      InstallRun(Package.InstallOptions, unseen_, Messages, system),
      system_(system),
      log_(log) {
  InstallRun.OnLog = [this](const std::string& line) { log_.Line(line); };
}

int32_t TSilentSetup::Run(const std::string& dir) {
  try {
    Package.Load();
  } catch (const std::exception& error) {
    log_.Message(mkError, error.what());
    return secStartupProblem;
  }
  if (Messages.EndRequested()) return secStartupProblem;

  log_.Line(SettingsLogLine(Package));
  if (!dir.empty()) {
    Package.InstallOptions.InstDir = dir;
    log_.Line("Directory from the command line: " + dir);
  }
  // What a killed run left in the directory is undone before anything else.
  if (RecoverInstallDirectory(system_, Messages, Package.InstallOptions.InstDir,
                              [this](const std::string& line) { log_.Line(line); }) ==
      TDirectoryRecovery::Held) {
    return secFilesInUse;
  }
  try {
    InstallRun.InstallBtnClick();
  } catch (const std::exception& error) {
    log_.Message(mkError, error.what());
    return secStartupProblem;
  }
  return ExitCodeForOutcome(InstallRun.Outcome());
}

}  // namespace vx
