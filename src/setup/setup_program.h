// The setup program from its command line to its exit code. It decides which
// run the command line asks for (the window, the unattended installation, the
// diagnostic report written to a file, the uninstaller, the switch list or a
// bad command line)
// and carries it out through the pieces the operating system side gives it,
// so every decision is made here and runs in tests without Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "setup/help.h"
#include "setup/main_window.h"
#include "setup/setup_system.h"
#include "setup/shortcuts.h"
#include "setup/silent_setup.h"
#include "setup/uninstall.h"
#include "ui/message_service.h"

namespace vx {

// The main window as the program drives it: the controller's view, the boxes
// it owns, and its events.
class TSetupWindow : public TMainWindowView, public TMessageView {
 public:
  // Button presses, by control.
  std::map<TMainControl, std::function<void()>> OnClick;
  // The close box or Alt+F4.
  std::function<void()> OnClose;
  // An error that escaped a handler; its text is to be reported.
  std::function<void(const std::string& text)> OnException;

  // Shows the window centred on the screen, the focus on the first control.
  virtual void Show() = 0;
  // Runs the event loop until the end request; returns its exit code.
  virtual int32_t RunMessageLoop() = 0;
  // The window's handle as an integer, for the shell's questions on the
  // user's behalf.
  virtual intptr_t OwnerHandle() = 0;
};

// What the program is given of the operating system.
class TSetupPlatform {
 public:
  virtual ~TSetupPlatform() = default;
  // The program's command line as the system gives it, its own path first.
  virtual std::string CommandLine() = 0;
  // A sink on the log file `path`, created (or emptied) now; raises an
  // exception that says why when it cannot be.
  virtual TSetupLog::Sink CreateLog(const std::string& path) = 0;
  // The local time as each log line begins: "2026-12-08 16:40:05".
  virtual std::string Timestamp() = 0;
  // Where "/LOG" without a file name writes.
  virtual std::string TempDirectory() = 0;
  // The absolute form of a path given on the command line.
  virtual std::string FullPath(const std::string& path) = 0;
  virtual TSetupSystem& System() = 0;
  // The shell the shortcuts are made with.
  virtual TStShell& Shell() = 0;
  // A box of its own, without a window: the switch list, or a problem
  // before the window exists.
  virtual void ShowBox(const std::string& caption, TMessageKind kind, const std::string& text) = 0;
  // Writes the diagnostic report (with the tool's lines) to `path`; a tool
  // that cannot be started is reported through `messages`. False with
  // `error` set when the report cannot be written.
  virtual bool WriteDiagnosticFile(const std::string& path, const std::string& settings_file,
                                   TMessageService& messages, std::string& error) = 0;
  // Makes the main window, hidden; raises when it cannot.
  virtual std::unique_ptr<TSetupWindow> CreateMainWindow() = 0;
  // Opens the diagnostics window over `owner` and returns when it closes;
  // its errors are shown through `messages`.
  virtual void ShowDiagnostics(TSetupWindow& owner, TMessageService& messages,
                               const std::string& program_name, const std::string& temp_dir,
                               const std::string& keep_dir, const std::string& settings_file,
                               float version) = 0;
  // The viewer every help request goes to.
  virtual THtmlHelpViewer& HelpViewer() = 0;
  // Where an installation writes its uninstaller, record and Add/Remove
  // Programs entry, and what "/UNINSTALL" removes them with; null for a
  // machine without them (no installation then writes them, and
  // "/UNINSTALL" ends with the start-up code).
  virtual TUninstallSystem* UninstallSystem() { return nullptr; }
};

// Runs the program and returns its exit code.
int32_t RunSetupProgram(TSetupPlatform& platform);

}  // namespace vx
