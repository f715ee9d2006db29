// The main window's logic: start-up, the settings file, the two information
// labels, the fatal-error routine and what the window shows of an
// installation run. It talks to the window through TMainWindowView, to the
// user through TMessageService and to the machine through TSetupSystem, so
// all of it runs in tests without Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "setup/gauge_model.h"
#include "setup/install_options.h"
#include "setup/install_run.h"
#include "setup/setup_system.h"
#include "ui/color.h"
#include "ui/message_service.h"

namespace vx {

// The main window's controls, named as in the window's design.
enum class TMainControl : int32_t {
  Memo1,
  InstDirLabel,
  ChangeDirBtn,
  SpaceNeededLabel,
  InstallBtn,
  Gauge1,
  QuitBtn,
  Button1,
  HelpBtn,
};

class TMainWindowView {
 public:
  virtual ~TMainWindowView() = default;
  // The window's font face; its controls use the window's font.
  virtual void SetFontName(const std::string& name) = 0;
  // Window caption and application (task bar) title.
  virtual void SetTitle(const std::string& title) = 0;
  // The whole text of Memo1, lines separated by CR LF.
  virtual void SetMemoText(const std::string& text) = 0;
  virtual void SetCaption(TMainControl control, const std::string& text) = 0;
  virtual void SetVisible(TMainControl control, bool visible) = 0;
  // Font sizes in points.
  virtual int32_t FontSize(TMainControl control) = 0;
  virtual void SetFontSize(TMainControl control, int32_t points) = 0;
  virtual void SetFontColor(TMainControl control, TColor color) = 0;
  virtual TGauge& Gauge1() = 0;
  // Buttons that do nothing while disabled.
  virtual void SetEnabled(TMainControl control, bool enabled) = 0;
  // The modal directory chooser, opened at `directory`; on OK `directory`
  // receives the chosen path and the result is true.
  virtual bool ChooseDirectory(std::string& directory) = 0;
  // Dispatches every window message that is waiting, then returns.
  virtual void ProcessMessages() = 0;
  // Paints whatever of the window needs painting, now.
  virtual void Repaint() = 0;
  // A clock in milliseconds (it may wrap): paints and message pumps during
  // an extraction are rationed by it.
  virtual uint32_t Milliseconds() = 0;
};

// An extraction reports progress far more often than a screen can show it:
// at most once in this interval are the window's messages pumped, and at
// most once is it painted, however many events arrive. The last state is
// always painted before a box and at the end.
constexpr uint32_t kProgressIntervalMs = 16;

// The package beside the program as the start-up finds it: the settings
// file, the help file and the readme. Every problem is a fatal error through
// the message service; nothing here needs a window.
class TSetupPackage {
 public:
  TSetupPackage(TMessageService& messages, TSetupSystem& system)
      : messages_(messages), system_(system) {}

  TInstallOptions InstallOptions;

  // The program's directory becomes the current one and then the root of
  // drive C: when it exists; the settings are read and the readme checked. Returns the
  // readme's bytes; none when it is missing (a fatal error) or unreadable
  // (an error box).
  std::optional<std::string> Load();
  // Fills InstallOptions from the settings file and checks the files beside
  // the program.
  void ReadSettings();
  // Reports an unrecoverable problem and asks the program to end.
  void FatalError(const std::string& problem);

  // The application's help file (beside the program, extension ".chm").
  const std::string& HelpFile() const { return help_file_; }
  // The settings file (beside the program, extension ".INI").
  const std::string& SettingsFile() const { return settings_file_; }

 protected:
  TMessageService& messages_;
  TSetupSystem& system_;

 private:
  std::string exe_path_;
  std::string help_file_;
  std::string settings_file_;
};

class TForm1 : public TSetupPackage, private TInstallObserver {
 public:
  TForm1(TMainWindowView& view, TMessageService& messages, TSetupSystem& system)
      : TSetupPackage(messages, system),
        InstallRun(InstallOptions, *this, messages, system),
        view_(view) {}
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The installation run with the extraction component.
  TInstallRun InstallRun;

  // The start-up sequence, run once when the window has been created.
  void FormCreate();
  // Measures the free space and refreshes both information labels.
  void ShowSpaceInfo();
  // Ends the program by the end request, like FatalError without a message.
  void Close() { messages_.RequestEnd(); }

  void HelpBtnClick();
  // Lets the user pick another installation directory.
  void ChangeDirBtnClick();
  void InstallBtnClick() { InstallRun.InstallBtnClick(); }
  void QuitBtnClick() { InstallRun.QuitBtnClick(); }
  // True while the archive is being extracted.
  bool Extracting() const { return InstallRun.Extracting(); }

  // The "Diagnostics" button: opens the diagnostics window for this program
  // and returns when it has closed; nothing of the installation changes.
  void Button1Click();
  // Opens the diagnostics window: program name, temp directory, keep
  // directory, settings file, version. Set by the application, so that the
  // setup's logic needs nothing of the diagnostics.
  std::function<void(const std::string& program_name, const std::string& temp_dir,
                     const std::string& keep_dir, const std::string& settings_file, float version)>
      OnShowDiagnostics;

 private:
  // What the window shows of an installation run.
  void RunningChanged(bool running) override;
  void SpaceNeeded(int32_t disk_needed_mb) override;
  void ExtractionStarted() override;
  void Progress(int32_t percent, const std::string& member) override;
  void ProcessMessages() override;
  void ShowNow() override;
  void ExtractionEnded() override;
  // True when `last` is unset or kProgressIntervalMs have passed since;
  // then `last` becomes now.
  bool Due(std::optional<uint32_t>& last);
  // The last progress event's values into the gauge and the member label.
  void ShowProgress();

  TMainWindowView& view_;
  std::optional<uint32_t> last_pump_;
  std::optional<uint32_t> last_paint_;
  int32_t shown_percent_ = 0;
  std::string shown_member_;
  bool progress_pending_ = false;
};

}  // namespace vx
