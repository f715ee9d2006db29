#include "gui/win32/application.h"

#include <objbase.h>

#include <exception>

#include "gui/win32/html_help.h"
#include "archive/disk_prompt.h"
#include "diag/report.h"
#include "gui/win32/diag_window.h"
#include "gui/win32/main_window.h"
#include "platform/exception.h"
#include "setup/help.h"
#include "setup/main_window.h"
#include "setup/message_service.h"
#include "setup/setup_system.h"
#include "util/messages.h"
#include "util/startup.h"

namespace vx::gui {

int RunSetup(HINSTANCE instance) {
  // The process-wide settings come first: the windows take their fonts from them.
  StartupSummary();
  // The shell link objects of the installation need COM on this thread.
  const HRESULT com = CoInitialize(nullptr);
  int exit_code = 0;
  try {
    TMainWindow window(instance);
    TMessageService messages(window);
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

    try {
      form.FormCreate();
    } catch (const std::exception& error) {
      window.OnException(error.what());
    }
    // After a fatal start-up problem the window would only flash up.
    if (!messages.EndRequested()) window.Show();
    exit_code = window.RunMessageLoop();
  } catch (const std::exception& error) {
    MessageBoxA(nullptr, error.what(), "Error", MB_OK | MB_ICONERROR);
    exit_code = 1;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exit_code;
}

}  // namespace vx::gui
