#include "gui/win32/application.h"

#include <objbase.h>

#include <cctype>
#include <exception>
#include <string>
#include <vector>

#include "archive/disk_prompt.h"
#include "diag/diag_file.h"
#include "diag/report.h"
#include "gui/win32/diag_window.h"
#include "gui/win32/html_help.h"
#include "gui/win32/main_window.h"
#include "platform/exception.h"
#include "platform/path_text.h"
#include "platform/system.h"
#include "setup/command_line.h"
#include "setup/help.h"
#include "setup/main_window.h"
#include "setup/message_service.h"
#include "setup/setup_system.h"
#include "setup/silent_setup.h"
#include "util/messages.h"
#include "util/startup.h"

namespace vx::gui {

namespace {

constexpr const char* kSetupProgramName = "Setup";
constexpr float kSetupVersion = 1.5f;

// The program's arguments: its command line without the program's name.
std::vector<std::string> ProgramArguments() {
  std::vector<std::string> arguments = SplitCommandLine(GetCommandLineA());
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

// The text after the program's name, as typed, for the log.
std::string ArgumentText() {
  const std::string line = GetCommandLineA();
  size_t i = 0;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (!quoted && (line[i] == ' ' || line[i] == '\t')) break;
  }
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return line.substr(i);
}

void ShowSwitchesBox(const std::string& problem) {
  const std::string text =
      problem.empty() ? SetupSwitchesText() : problem + "\r\n\r\n" + SetupSwitchesText();
  MessageBoxA(nullptr, text.c_str(), "Setup",
              MB_OK | (problem.empty() ? MB_ICONINFORMATION : MB_ICONERROR));
}

// The error boxes of the utilities and the archive's requests for another
// disk go through `messages` while the scope lasts.
struct MessageHooks {
  explicit MessageHooks(TMessageService& messages)
      : previous_error(SetErrorMessageHook([&messages](const std::string& text) {
          messages.Show(mkError, mbOK, kNoHelpContext, text);
        })),
        previous_prompt(SetDiskPrompt([&messages](const std::string&, const std::string& text) {
          return messages.Show(mkInformation, mbOKCancel, kNoHelpContext, text) == mrOK;
        })) {}
  ~MessageHooks() {
    SetErrorMessageHook(std::move(previous_error));
    SetDiskPrompt(std::move(previous_prompt));
  }
  MessageHooks(const MessageHooks&) = delete;
  MessageHooks& operator=(const MessageHooks&) = delete;
  ErrorMessageHook previous_error;
  DiskPrompt previous_prompt;
};

int RunSilentSetup(const TSetupCommandLine& command_line, TSetupLog& log) {
  TPlatformSetupSystem system;
  TSilentSetup setup(system, log);
  MessageHooks hooks(setup.Messages);
  return setup.Run(command_line.Dir.value_or(""));
}

int RunDiagnosticFile(const std::string& path, TSetupLog& log) {
  TPlatformDiagSystem system;
  std::string error;
  const std::string settings_file = ChangeFileExt(platform::ProgramFileName(), ".INI");
  log.Line("Writing the diagnostic report to " + path);
  if (!WriteDiagnosticFile(
          system, ProgramKeldaRun(), BuildDiagnosticReport, kSetupProgramName, settings_file,
          kSetupVersion, path, [](int32_t ms) { Sleep(static_cast<DWORD>(ms)); }, error)) {
    log.Line("Message (error): Cannot write the diagnostic report to " + path + ": " + error);
    return secStartupProblem;
  }
  return secInstalled;
}

int RunInteractiveSetup(HINSTANCE instance, const TSetupCommandLine& command_line, TSetupLog& log);

}  // namespace

int RunSetup(HINSTANCE instance) {
  // The process-wide settings come first: the windows take their fonts from them.
  StartupSummary();
  TSetupCommandLine command_line;
  std::string command_error;
  const bool parsed = ParseSetupCommandLine(ProgramArguments(), command_line, command_error);
  // A command line that asks for silence is silent even when it is wrong.
  bool silent = command_line.Silent;
  if (!parsed) {
    for (const std::string& argument : ProgramArguments()) {
      std::string name = argument;
      for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
      if (name == "/SILENT" || name == "/S" || name == "-SILENT" || name == "-S") silent = true;
    }
  }

  TSetupLog log;
  if (command_line.Log) {
    try {
      log = TSetupLog(FileLogSink(*command_line.Log));
    } catch (const std::exception& error) {
      if (!silent) {
        MessageBoxA(
            nullptr,
            ("Cannot create the log file " + *command_line.Log + "\r\n" + error.what()).c_str(),
            "Setup", MB_OK | MB_ICONERROR);
      }
      return secStartupProblem;
    }
  }
  log.Line("Setup " + FormatVersion(kSetupVersion) + " started, command line: " + ArgumentText());

  int exit_code = secInstalled;
  if (!parsed) {
    log.Line("Message (error): " + command_error);
    if (!silent) ShowSwitchesBox(command_error);
    exit_code = secBadCommandLine;
  } else if (command_line.ShowSwitches) {
    if (!silent) ShowSwitchesBox("");
    exit_code = secInstalled;
  } else if (command_line.Diag) {
    exit_code = RunDiagnosticFile(*command_line.Diag, log);
  } else {
    // The shell link objects of the installation need COM on this thread.
    const HRESULT com = CoInitialize(nullptr);
    if (command_line.Silent) {
      try {
        exit_code = RunSilentSetup(command_line, log);
      } catch (const std::exception& error) {
        log.Line("Message (error): " + std::string(error.what()));
        exit_code = secStartupProblem;
      }
    } else {
      exit_code = RunInteractiveSetup(instance, command_line, log);
    }
    if (SUCCEEDED(com)) CoUninitialize();
  }
  log.Line("End, exit code " + std::to_string(exit_code) + " (" + ExitCodeMeaning(exit_code) + ")");
  return exit_code;
}

namespace {

int RunInteractiveSetup(HINSTANCE instance, const TSetupCommandLine& command_line, TSetupLog& log) {
  int exit_code = 0;
  try {
    TMainWindow window(instance);
    TLoggingMessageView logged_view(window, log);
    TMessageView& message_view = log.Enabled() ? static_cast<TMessageView&>(logged_view) : window;
    TMessageService messages(message_view);
    TPlatformSetupSystem system;
    TForm1 form(window, messages, system);
    // Every help request of the program goes to the HTML Help viewer, from
    // the first box on; at the end the viewer's windows are closed with it.
    THtmlHelp viewer;
    TUseHTMLHelp help_hook(viewer, [&form] { return form.HelpFile(); });
    THelpHookInstallation help_installed(messages, help_hook);

    window.OnException = [&messages](const std::string& text) {
      messages.Show(mkError, mbOK, kNoHelpContext, text);
    };
    // Error boxes of the utilities (a program that cannot be started) go
    // through the message service too, so they obey its end request.
    struct ErrorHookScope {
      ErrorMessageHook previous;
      ~ErrorHookScope() { SetErrorMessageHook(std::move(previous)); }
    } error_hook{SetErrorMessageHook(window.OnException)};
    // So do the archive's requests for the next disk of a spanned set.
    struct DiskPromptScope {
      DiskPrompt previous;
      ~DiskPromptScope() { SetDiskPrompt(std::move(previous)); }
    } disk_prompt{SetDiskPrompt([&messages](const std::string&, const std::string& text) {
      return messages.Show(mkInformation, mbOKCancel, kNoHelpContext, text) == mrOK;
    })};
    // Closing the window during an extraction stops it as "Quit" does.
    window.OnClose = [&form] {
      if (form.Extracting()) {
        form.QuitBtnClick();
      } else {
        form.Close();
      }
    };
    window.OnClick[TMainControl::HelpBtn] = [&form] { form.HelpBtnClick(); };
    form.InstallRun.ShortcutOwner = reinterpret_cast<intptr_t>(window.Handle());
    window.OnClick[TMainControl::InstallBtn] = [&form] { form.InstallBtnClick(); };
    window.OnClick[TMainControl::ChangeDirBtn] = [&form] { form.ChangeDirBtnClick(); };
    window.OnClick[TMainControl::QuitBtn] = [&form] { form.QuitBtnClick(); };
    window.OnClick[TMainControl::Button1] = [&form] { form.Button1Click(); };
    form.OnShowDiagnostics = [&window](const std::string& program_name, const std::string& temp_dir,
                                       const std::string& keep_dir,
                                       const std::string& settings_file, float version) {
      ShowDiagnosticsWindow(window.Handle(), BuildDiagnosticReport, program_name, temp_dir,
                            keep_dir, settings_file, version);
    };

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
      window.OnException(error.what());
    }
    // After a fatal start-up problem the window would only flash up.
    if (!messages.EndRequested()) window.Show();
    exit_code = window.RunMessageLoop();
  } catch (const std::exception& error) {
    log.Line("Message (error): " + std::string(error.what()));
    MessageBoxA(nullptr, error.what(), "Error", MB_OK | MB_ICONERROR);
    exit_code = 1;
  }
  return exit_code;
}

}  // namespace

}  // namespace vx::gui
