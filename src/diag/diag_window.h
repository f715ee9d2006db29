// The diagnostics window's logic: the report in a read-only memo, the
// product's translation tool KELDA run in the background and collected by a
// 100 ms timer, Copy and Save. It talks to the window through
// TDiagWindowView and to the machine through TDiagSystem, so all of it runs
// in tests without Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/message_service.h"
#include "util/process_utils.h"

namespace vx {

// The window's controls, named as in the window's design.
enum class TDiagControl : int32_t { Panel1, Label1, OKButton, CopyBtn, SaveBtn, Memo1 };

// A control's place in its parent's client area, in screen pixels.
struct TBounds {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

// What the save-file dialog is asked to show.
struct TSaveDialogRequest {
  std::string Title;
  std::string InitialDir;  // "": the program's current directory
  std::string FileName;    // the name proposed
  bool OverwritePrompt = false;
  bool HideReadOnly = false;
  bool PathMustExist = false;
  bool EnableSizing = false;
};

class TDiagWindowView {
 public:
  virtual ~TDiagWindowView() = default;

  // The window's font (face, size in points); its controls take it. An
  // empty face keeps the current one.
  virtual void SetFont(const std::string& name, int32_t points) = 0;
  virtual int32_t ClientWidth() = 0;
  // Label1's bounds are relative to Panel1, the others to the window.
  virtual TBounds Bounds(TDiagControl control) = 0;
  virtual void SetWidth(TDiagControl control, int32_t width) = 0;
  virtual void SetCaption(TDiagControl control, const std::string& text) = 0;

  // The memo's whole text, lines separated by CR LF.
  virtual void SetMemoText(const std::string& text) = 0;
  virtual std::string MemoText() = 0;
  // Adds a line at the end of the memo; CR LF pairs inside it make more lines.
  virtual void AddMemoLine(const std::string& line) = 0;
  // Caret at the very start, nothing selected, the caret scrolled into view.
  virtual void MemoCaretToStart() = 0;
  // While false the memo does not repaint; true repaints it once.
  virtual void SetMemoRedraw(bool redraw) = 0;

  virtual void SetTimerEnabled(bool enabled) = 0;
  // Replaces the clipboard's contents by `text` as plain text.
  virtual void SetClipboardText(const std::string& text) = 0;
  // Runs the save-file dialog; true with the chosen path when the user confirms.
  virtual bool RunSaveDialog(const TSaveDialogRequest& request, std::string& chosen) = 0;
  // Shows the window modally; returns when it has been closed.
  virtual void ShowModal() = 0;

  // The window's events, bound by ShowDiagnostics. OnActivate may come more
  // than once (each time the window becomes the active window again).
  std::function<void()> OnActivate;
  std::function<void()> OnTimer;
  std::function<void()> OnCopyClick;
  std::function<void()> OnSaveClick;
};

// What the window needs of the machine.
class TDiagSystem {
 public:
  virtual ~TDiagSystem() = default;
  // Face name of the system's menu font; "" when unknown.
  virtual std::string MenuFontName() = 0;
  // The VESTRIX product directory; "" when there is none.
  virtual std::string ProductDir() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  // The whole file; raises vx::Exception on failure.
  virtual std::string ReadFile(const std::string& path) = 0;
  // Creates or replaces the file with `bytes`; raises vx::Exception on failure.
  virtual void WriteFile(const std::string& path, const std::string& bytes) = 0;
  // As vx::StartProgram and vx::ProgramFinished.
  virtual bool StartProgram(const std::string& title, const std::string& program,
                            const std::string& params, const std::string& work_dir, uint16_t show,
                            ProcessInfo& info) = 0;
  virtual bool ProgramFinished(ProcessInfo& info) = 0;
  // Closes the handles of a process that is left to run on by itself.
  virtual void ReleaseProcess(ProcessInfo& info) = 0;
};

// The machine, through the platform layer and the utilities; a tool that
// cannot be started is reported through `messages`.
class TPlatformDiagSystem : public TDiagSystem {
 public:
  explicit TPlatformDiagSystem(TMessageService& messages) : messages_(messages) {}
  std::string MenuFontName() override;
  std::string ProductDir() override;
  bool FileExists(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  std::string ReadFile(const std::string& path) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  bool StartProgram(const std::string& title, const std::string& program, const std::string& params,
                    const std::string& work_dir, uint16_t show, ProcessInfo& info) override;
  bool ProgramFinished(ProcessInfo& info) override;
  void ReleaseProcess(ProcessInfo& info) override;

 private:
  TMessageService& messages_;
};

// The background tool run. It outlives the window that started it: a window
// closed while the tool runs leaves the tool running and its files on disk,
// and the next run removes them before it starts.
struct TKeldaRun {
  ProcessInfo ToolProcess;  // all zero when no run is pending
  std::string ReportFile;   // the tool's directory + "\kelda.rpt"
  std::string StiFile;      // the tool's directory + "\kelrpt.sti"
};

// The program's one run state.
TKeldaRun& ProgramKeldaRun();

// Show state of the tool's window: minimised, not activated.
constexpr uint16_t kShowMinNoActive = 7;

// The lines of a text file: CR LF, LF and CR each end a line, a last line
// needs no terminator, and zero bytes become blanks.
std::vector<std::string> TextLines(const std::string& bytes);

// The memo's text as a file: each of its lines ended by CR LF.
std::string MemoFileText(const std::string& memo);

class TrvDiagForm {
 public:
  TrvDiagForm(TDiagWindowView& view, TDiagSystem& system, TKeldaRun& run)
      : view_(view), system_(system), run_(run) {}
  TrvDiagForm(const TrvDiagForm&) = delete;
  TrvDiagForm& operator=(const TrvDiagForm&) = delete;

  // Font, widths, the label's text and the report, before the window shows.
  void Prepare(const std::string& report);

  // Starts the tool run the first time the window becomes active; later
  // activations (after a message box, or a switch to another program) leave
  // the memo and the tool alone.
  void FormActivate();
  // Prepares the tool's files and starts it; false with `error` set when
  // that fails.
  bool SeekKeldaReport(const std::string& tool_path, std::string& error);
  // Collects the tool's report once the tool has ended.
  void Timer1Timer();
  void CopyBtnClick();
  void SaveBtnClick();

 private:
  TDiagWindowView& view_;
  TDiagSystem& system_;
  TKeldaRun& run_;
  bool activated_ = false;
};

// Builds the report for the window: program name, temp directory, keep
// directory, settings file, version.
using TDiagnosticReportBuilder = std::function<std::string(
    const std::string& program_name, const std::string& temp_dir, const std::string& keep_dir,
    const std::string& settings_file, float version)>;

// Fills `view` with the report and shows it modally; returns when it closes.
// An error while building the report leaves this function before the window
// is shown.
void ShowDiagnostics(TDiagWindowView& view, TDiagSystem& system, TKeldaRun& run,
                     const TDiagnosticReportBuilder& build_report, const std::string& program_name,
                     const std::string& temp_dir, const std::string& keep_dir,
                     const std::string& settings_file, float version);

}  // namespace vx
