#include "setup/setup_program.h"

#include <exception>
#include <vector>

#include "platform/exception.h"
#include "platform/path_text.h"
#include "setup/command_line.h"
#include "setup/install_journal.h"
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
    setup.InstallRun.Uninstall = platform.UninstallSystem();
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
    form.InstallRun.Uninstall = platform.UninstallSystem();
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
    // What a killed run left in the directory is undone before the window
    // opens; a directory another run holds ends the program untouched.
    if (!messages.EndRequested() &&
        RecoverInstallDirectory(platform.System(), messages, form.InstallOptions.InstDir,
                                [&log](const std::string& line) { log.Line(line); }) ==
            TDirectoryRecovery::Held) {
      return secFilesInUse;
    }
    // After a fatal start-up problem the window would only flash up.
    const bool started = !messages.EndRequested();
    if (started) window->Show();
    window->RunMessageLoop();
    if (!started) return secStartupProblem;
    // A run that got as far as the extraction tells how it ended; before
    // that, or with no run at all, the window was closed by the user.
    switch (form.InstallRun.Outcome()) {
      case TInstallOutcome::Installed:
      case TInstallOutcome::MainExeMissing:
      case TInstallOutcome::MemberFailed:
      case TInstallOutcome::Stopped:
      case TInstallOutcome::Cancelled:
      case TInstallOutcome::DirectoryHeld:
        return ExitCodeForOutcome(form.InstallRun.Outcome());
      default:
        return secCancelled;
    }
  } catch (const std::exception& error) {
    log.Message(mkError, error.what());
    platform.ShowBox("Error", mkError, error.what());
    return secStartupProblem;
  }
}

// "/UNINSTALL": the program is the uninstaller in the installation
// directory. RunUninstall undoes what a killed installation run left there
// first, as every mode does, under the hold it keeps to the end. Its boxes belong to the main window, which stays hidden.
int32_t RunUninstallMode(TSetupPlatform& platform, const TSetupCommandLine& command_line,
                         TSetupLog& log) {
  TUninstallSystem* system = platform.UninstallSystem();
  try {
    if (system == nullptr) throw Exception("This system has no uninstaller");
    const std::string program = platform.FullPath(platform.System().ProgramFileName());
    auto uninstall = [&](TMessageService& messages) {
      return RunUninstall(*system, platform.System(), messages, log, program, command_line.Silent);
    };
    if (command_line.Silent) {
      TSilentMessageView view(log);
      TMessageService messages(view);
      return uninstall(messages);
    }
    std::unique_ptr<TSetupWindow> window = platform.CreateMainWindow();
    TLoggingMessageView logged_view(*window, log);
    TMessageService messages(log.Enabled() ? static_cast<TMessageView&>(logged_view) : *window);
    return uninstall(messages);
  } catch (const std::exception& error) {
    log.Message(mkError, error.what());
    if (!command_line.Silent) platform.ShowBox("Error", mkError, error.what());
    return secStartupProblem;
  }
}

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The files of the package beside the program, which no output of the
// program may replace: the program, its settings, readme and help file, and
// the archive the settings name. Empty when no file given on the command
// line is one of them; otherwise the problem.
std::string PackageFileProblem(TSetupPlatform& platform, const TSetupCommandLine& command_line) {
  const std::string program = platform.FullPath(platform.System().ProgramFileName());
  std::vector<std::string> package = {program, ChangeFileExt(program, ".INI"),
                                      ChangeFileExt(program, ".TXT"),
                                      ChangeFileExt(program, ".chm")};
  const std::string zip_name =
      platform.System().ReadProfileString("Settings", "zipname", "", package[1]);
  if (!zip_name.empty()) {
    package.push_back(
        platform.FullPath(ReduceBackslashes(ExtractFilePath(program) + "\\" + zip_name)));
  }
  const std::pair<const char*, const std::optional<std::string>*> outputs[] = {
      {"/LOG=", &command_line.Log}, {"/DIAG=", &command_line.Diag}};
  for (const auto& [name, value] : outputs) {
    if (!*value) continue;
    const std::string target = UpperCase(platform.FullPath(**value));
    for (const std::string& file : package) {
      if (!target.empty() && target == UpperCase(file)) {
        return name + **value + " would overwrite the package's own file " + file;
      }
    }
  }
  return "";
}

// "Setup Log 2026-12-08 #001.txt" in the temporary directory: the first
// number not taken.
std::string LogFileInTemp(TSetupPlatform& platform) {
  std::string dir = platform.TempDirectory();
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  const std::string prefix = dir + "Setup Log " + platform.Timestamp().substr(0, 10) + " #";
  std::string path;
  for (int32_t number = 1; number <= 999; ++number) {
    const std::string digits = std::to_string(number);
    path = prefix + std::string(3 - digits.size(), '0') + digits + ".txt";
    if (!platform.System().FileExists(path)) break;
  }
  return path;
}

int32_t RunCommandLine(TSetupPlatform& platform) {
  const std::string argument_text =
      ArgumentText(platform.CommandLine(), platform.System().ProgramFileName());
  const std::vector<std::string> arguments = SplitCommandLine(argument_text);
  TSetupCommandLine command_line;
  std::string command_error;
  bool parsed = ParseSetupCommandLine(arguments, command_line, command_error);
  const bool silent = command_line.Silent || (!parsed && AsksForSilence(arguments));
  if (parsed) {
    command_error = PackageFileProblem(platform, command_line);
    if (!command_error.empty()) {
      // Nothing is written, not even the log.
      parsed = false;
      command_line.Log.reset();
    }
  }

  TSetupLog log;
  if (command_line.LogInTemp) command_line.Log = LogFileInTemp(platform);
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
           " started, command line: " + argument_text);

  int32_t exit_code = secInstalled;
  std::string done;  // what the end line says was done, when not the code's meaning
  if (!parsed) {
    log.Message(mkError, command_error);
    if (!silent) ShowSwitches(platform, command_error);
    exit_code = secBadCommandLine;
  } else if (command_line.ShowSwitches) {
    if (!silent) ShowSwitches(platform, "");
    done = "switches listed";
  } else if (command_line.Diag) {
    exit_code = RunDiagnosticFile(platform, *command_line.Diag, log);
    if (exit_code == secInstalled) done = "diagnostic report written";
  } else if (command_line.Uninstall) {
    exit_code = RunUninstallMode(platform, command_line, log);
    if (exit_code == secInstalled) done = "removed";
  } else if (command_line.Silent) {
    exit_code = RunSilentSetup(platform, command_line, log);
  } else {
    exit_code = RunInteractiveSetup(platform, command_line, log);
  }
  if (done.empty()) done = ExitCodeMeaning(exit_code);
  log.Line("End, exit code " + std::to_string(exit_code) + " (" + done + ")");
  return exit_code;
}

}  // namespace

int32_t RunSetupProgram(TSetupPlatform& platform) {
  // Whatever escapes the runs' own handlers ends the program with a code
  // that says so, never with an abort.
  try {
    return RunCommandLine(platform);
  } catch (...) {
    return secStartupProblem;
  }
}

}  // namespace vx
