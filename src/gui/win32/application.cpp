#include "gui/win32/application.h"

#include <memory>
#include <string>

#include "diag/diag_file.h"
#include "diag/report.h"
#include "gui/win32/diag_window.h"
#include "gui/win32/html_help.h"
#include "gui/win32/main_window.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "setup/command_line.h"
#include "setup/setup_program.h"
#include "setup/silent_setup.h"
#include "util/startup.h"

namespace vx::gui {

namespace {

// The Win32 pieces of the setup program.
class TWin32SetupPlatform : public TSetupPlatform {
 public:
  explicit TWin32SetupPlatform(HINSTANCE instance) : instance_(instance) {}

  std::string CommandLine() override { return GetCommandLineA(); }
  TSetupLog::Sink CreateLog(const std::string& path) override { return FileLogSink(path); }
  std::string Timestamp() override { return LogTimestamp(); }
  std::string TempDirectory() override {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof path, path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
  }
  std::string FullPath(const std::string& path) override { return platform::FullPathName(path); }
  TSetupSystem& System() override { return system_; }
  TStShell& Shell() override { return PlatformShell(); }
  void ShowBox(const std::string& caption, TMessageKind kind, const std::string& text) override {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(),
                MB_OK | (kind == mkError ? MB_ICONERROR : MB_ICONINFORMATION));
  }
  bool WriteDiagnosticFile(const std::string& path, const std::string& settings_file,
                           TMessageService& messages, std::string& error) override {
    TPlatformDiagSystem system(messages);
    return vx::WriteDiagnosticFile(
        system, ProgramKeldaRun(), BuildDiagnosticReport, kProgramName, settings_file,
        kProgramVersion, path, [](int32_t ms) { Sleep(static_cast<DWORD>(ms)); }, error);
  }
  std::unique_ptr<TSetupWindow> CreateMainWindow() override {
    return std::make_unique<TMainWindow>(instance_);
  }
  void ShowDiagnostics(TSetupWindow& owner, TMessageService& messages,
                       const std::string& program_name, const std::string& temp_dir,
                       const std::string& keep_dir, const std::string& settings_file,
                       float version) override {
    ShowDiagnosticsWindow(reinterpret_cast<HWND>(owner.OwnerHandle()), messages,
                          BuildDiagnosticReport, program_name, temp_dir, keep_dir, settings_file,
                          version);
  }
  THtmlHelpViewer& HelpViewer() override { return help_viewer_; }
  TUninstallSystem* UninstallSystem() override { return &uninstall_system_; }

 private:
  HINSTANCE instance_;
  TPlatformSetupSystem system_;
  THtmlHelp help_viewer_;
  TPlatformUninstallSystem uninstall_system_;
};

}  // namespace

int RunSetup(HINSTANCE instance) {
  try {
    // The process-wide settings come first: the windows take their fonts from them.
    StartupSummary();
    // The shell link objects of the installation need COM on this thread.
    platform::ComApartment com;
    TWin32SetupPlatform platform(instance);
    return RunSetupProgram(platform);
  } catch (...) {
    return secStartupProblem;
  }
}

}  // namespace vx::gui
