// The unattended installation: the same start-up, directory rules,
// extraction and shortcuts as the window's "INSTALL", run directly without
// any window.
// Every message a box would have shown goes to the log with its kind, and the
// run ends with an exit code that tells what happened.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "setup/command_line.h"
#include "setup/install_run.h"
#include "setup/main_window.h"
#include "setup/setup_system.h"
#include "ui/message_service.h"

namespace vx {

// The run's log: one line per event, each starting with the local time,
// every line ended by CR LF and handed to the sink at once (so a crash
// leaves the log up to that point). A text of several lines continues on
// lines that start with a tab.
class TSetupLog {
 public:
  using Sink = std::function<void(const std::string& bytes)>;
  using Clock = std::function<std::string()>;
  // Without a sink the log says nothing.
  explicit TSetupLog(Sink sink = nullptr, Clock clock = nullptr);

  bool Enabled() const { return static_cast<bool>(sink_); }
  // Never raises: a sink that fails is noticed once, and the log says
  // nothing more while the run goes on.
  void Line(const std::string& text);
  bool Failed() const { return failed_; }
  // A message to the user: "Message (error): text".
  void Message(TMessageKind kind, const std::string& text);

 private:
  Sink sink_;
  Clock clock_;
  bool failed_ = false;
};

// "2026-12-08 16:40:05": the local time as the log's lines begin.
std::string LogTimestamp();

// A log sink on a file created (or emptied) now; raises vx::Exception (or
// platform::EFileError) when the file cannot be created.
TSetupLog::Sink FileLogSink(const std::string& path);

// "error", "warning", "information", "confirmation".
std::string MessageKindName(TMessageKind kind);

// The boxes of an unattended run: each goes to the log instead and is
// answered as its default button would be (OK; "No" to a question; "Cancel"
// to a request such as the next disk of a spanned archive).
class TSilentMessageView : public TMessageView {
 public:
  explicit TSilentMessageView(TSetupLog& log) : log_(log) {}
  TModalResult ShowMessageBox(const TMessageBox& box, const std::function<void()>& help) override;
  void PostEndRequest() override {}

 private:
  TSetupLog& log_;
};

// The boxes of a logged interactive run: each is logged, then shown.
class TLoggingMessageView : public TMessageView {
 public:
  TLoggingMessageView(TMessageView& shown, TSetupLog& log) : shown_(shown), log_(log) {}
  TModalResult ShowMessageBox(const TMessageBox& box, const std::function<void()>& help) override;
  void PostEndRequest() override { shown_.PostEndRequest(); }

 private:
  TMessageView& shown_;
  TSetupLog& log_;
};

// The log line on the settings read at start-up.
std::string SettingsLogLine(const TSetupPackage& package);

// The exit code for how an installation run ended.
int32_t ExitCodeForOutcome(TInstallOutcome outcome);

// The unattended installation on `system`, logging to `log`.
class TSilentSetup {
 public:
  TSilentSetup(TSetupSystem& system, TSetupLog& log);
  TSilentSetup(const TSilentSetup&) = delete;
  TSilentSetup& operator=(const TSilentSetup&) = delete;

  // Runs the start-up and, when it succeeded, the installation into `dir`
  // (or the settings file's directory when `dir` is empty); returns the
  // exit code.
  int32_t Run(const std::string& dir);

  TSilentMessageView MessageView;
  TMessageService Messages;
  TSetupPackage Package;
  TInstallRun InstallRun;

 private:
  TUnseenInstall unseen_;
  TSetupSystem& system_;
  TSetupLog& log_;
};

}  // namespace vx
