#include "setup/setup_program.h"

#include <exception>
#include <vector>

#include "platform/path_text.h"
#include "setup/command_line.h"
#include "ui/program.h"

namespace vx {

namespace {

// The switch list, after the problem with the command line when there is one.
void ShowSwitches(TSetupPlatform& platform, const std::string& problem) {
  if (problem.empty()) {
    platform.ShowBox(kProgramName, mkInformation, SetupSwitchesText());
  } else {
    platform.ShowBox(kProgramName, mkError, problem + "\r\n\r\n" + SetupSwitchesText());
  }
}

int32_t RunDiagnosticFile(TSetupPlatform& platform, const std::string& path, TSetupLog& log) {
  // Windowless: whatever the tool's start has to say goes to the log.
  TSilentMessageView view(log);
  TMessageService messages(view);
  const std::string settings_file = ChangeFileExt(platform.System().ProgramFileName(), ".INI");
  log.Line("Writing the diagnostic report to " + path);
  std::string error;
  if (!platform.WriteDiagnosticFile(path, settings_file, messages, error)) {
    log.Message(mkError, "Cannot write the diagnostic report to " + path + ": " + error);
    return secStartupProblem;
  }
  return secInstalled;
}

int32_t RunSilentSetup(TSetupPlatform& platform, const TSetupCommandLine& command_line,
                       TSetupLog& log) {
  try {
    TSilentSetup setup(platform.System(), log);
    setup.InstallRun.Shell = &platform.Shell();
    return setup.Run(command_line.Dir.value_or(""));
  } catch (const std::exception& error) {
    log.Message(mkError, error.what());
    return secStartupProblem;
  }
}

// Connects the window's events to the controller's handlers.
void BindWindow(TSetupWindow& window, TForm1& form, TMessageService& messages,
                TSetupPlatform& platform) {
  window.OnException = [&messages](const std::string& text) {
    messages.Show(mkError, mbOK, kNoHelpContext, text);
  };
  // Closing the window during an extraction stops it as "Quit" does.
  window.OnClose = [&form] {
    if (form.Extracting()) {
      form.QuitBtnClick();
    } else {
      form.Close();
    }
  };
  window.OnClick[TMainControl::HelpBtn] = [&form] { form.HelpBtnClick(); };
  window.OnClick[TMainControl::InstallBtn] = [&form] { form.InstallBtnClick(); };
  window.OnClick[TMainControl::ChangeDirBtn] = [&form] { form.ChangeDirBtnClick(); };
  window.OnClick[TMainControl::QuitBtn] = [&form] { form.QuitBtnClick(); };
  window.OnClick[TMainControl::Button1] = [&form] { form.Button1Click(); };
  form.OnShowDiagnostics = [&platform, &window, &messages](
                               const std::string& program_name, const std::string& temp_dir,
                               const std::string& keep_dir, const std::string& settings_file,
                               float version) {
    platform.ShowDiagnostics(window, messages, program_name, temp_dir, keep_dir, settings_file,
                             version);
  };
}

int32_t RunInteractiveSetup(TSetupPlatform& platform, const TSetupCommandLine& command_line,
                            TSetupLog& log) {
  try {
    std::unique_ptr<TSetupWindow> window = platform.CreateMainWindow();
    TLoggingMessageView logged_view(*window, log);
    TMessageView& message_view = log.Enabled() ? static_cast<TMessageView&>(logged_view) : *window;
    TMessageService messages(message_view);
    TForm1 form(*window, messages, platform.System());
    // Every help request of the program goes to the HTML Help viewer, from
    // the first box on; at the end the viewer's windows are closed with it.
    TUseHTMLHelp help_hook(platform.HelpViewer(), [&form] { return form.HelpFile(); });
    THelpHookInstallation help_installed(messages, help_hook);
    BindWindow(*window, form, messages, platform);
    form.InstallRun.Shell = &platform.Shell();
    form.InstallRun.ShortcutOwner = window->OwnerHandle();
    if (log.Enabled()) {
      form.InstallRun.OnLog = [&log](const std::string& line) { log.Line(line); };
    }

    try {
      form.FormCreate();
      if (!messages.EndRequested()) log.Line(SettingsLogLine(form));
      if (command_line.Dir && !messages.EndRequested()) {
        form.InstallOptions.InstDir = *command_line.Dir;
        log.Line("Directory from the command line: " + *command_line.Dir);
        form.ShowSpaceInfo();
      }
    } catch (const std::exception& error) {
      window->OnException(error.what());
    }
    // After a fatal start-up problem the window would only flash up.
    if (!messages.EndRequested()) window->Show();
    return window->RunMessageLoop();
  } catch (const std::exception& error) {
    log.Message(mkError, error.what());
    platform.ShowBox("Error", mkError, error.what());
    return secStartupProblem;
  }
}

}  // namespace

int32_t RunSetupProgram(TSetupPlatform& platform) {
  const std::string command_text = platform.CommandLine();
  std::vector<std::string> arguments = SplitCommandLine(command_text);
  if (!arguments.empty()) arguments.erase(arguments.begin());
  TSetupCommandLine command_line;
  std::string command_error;
  const bool parsed = ParseSetupCommandLine(arguments, command_line, command_error);
  const bool silent = command_line.Silent || (!parsed && AsksForSilence(arguments));

  TSetupLog log;
  if (command_line.Log) {
    try {
      log = TSetupLog(platform.CreateLog(*command_line.Log),
                      [&platform] { return platform.Timestamp(); });
    } catch (const std::exception& error) {
      if (!silent) {
        platform.ShowBox(kProgramName, mkError,
                         "Cannot create the log file " + *command_line.Log + "\r\n" + error.what());
      }
      return secStartupProblem;
    }
  }
  log.Line(std::string(kProgramName) + " " + FormatVersion(kProgramVersion) +
           " started, command line: " + ArgumentText(command_text));

  int32_t exit_code = secInstalled;
  if (!parsed) {
    log.Message(mkError, command_error);
    if (!silent) ShowSwitches(platform, command_error);
    exit_code = secBadCommandLine;
  } else if (command_line.ShowSwitches) {
    if (!silent) ShowSwitches(platform, "");
  } else if (command_line.Diag) {
    exit_code = RunDiagnosticFile(platform, *command_line.Diag, log);
  } else if (command_line.Silent) {
    exit_code = RunSilentSetup(platform, command_line, log);
  } else {
    exit_code = RunInteractiveSetup(platform, command_line, log);
  }
  log.Line("End, exit code " + std::to_string(exit_code) + " (" + ExitCodeMeaning(exit_code) + ")");
  return exit_code;
}

}  // namespace vx
