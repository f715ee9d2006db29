// The diagnostics window in Win32: a modal dialog of its own class with the
// framed explanation, the read-only report memo and the OK, Copy and Save
// buttons, laid out in pixels designed for 96 pixels per inch and scaled to
// the screen. It is the view of TrvDiagForm.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "diag/diag_window.h"
#include "gui/win32/handles.h"
#include "gui/win32/windows_api.h"

namespace vx::gui {

constexpr const char* kDiagWindowClassName = "TrvDiagForm";
constexpr int32_t kDiagClientWidth = 544;  // at 96 pixels per inch
constexpr int32_t kDiagClientHeight = 471;

// Child window identifiers: OK is IDOK, so Enter presses it; the others are
// 200 + the control's position in TDiagControl.
constexpr int32_t DiagControlId(TDiagControl control) {
  return control == TDiagControl::OKButton ? IDOK : 200 + static_cast<int32_t>(control);
}

class TDiagWindow : public TDiagWindowView {
 public:
  // Creates the window and its controls, hidden, owned by `owner`.
  TDiagWindow(HINSTANCE instance, HWND owner);
  ~TDiagWindow() override;
  TDiagWindow(const TDiagWindow&) = delete;
  TDiagWindow& operator=(const TDiagWindow&) = delete;

  HWND Handle() const { return window_.get(); }
  HWND Control(TDiagControl control) const { return controls_.at(control); }

  // An error that escaped a handler; its text is to be reported. Unset, it
  // is shown in an error box owned by this window.
  std::function<void(const std::string& text)> OnException;

  // TDiagWindowView
  void SetFont(const std::string& name, int32_t points) override;
  int32_t ClientWidth() override;
  TBounds Bounds(TDiagControl control) override;
  void SetWidth(TDiagControl control, int32_t width) override;
  void SetCaption(TDiagControl control, const std::string& text) override;
  void SetMemoText(const std::string& text) override;
  std::string MemoText() override;
  void AddMemoLine(const std::string& line) override;
  void MemoCaretToStart() override;
  void SetMemoRedraw(bool redraw) override;
  void SetTimerEnabled(bool enabled) override;
  void SetClipboardText(const std::string& text) override;
  bool RunSaveDialog(const TSaveDialogRequest& request, std::string& chosen) override;
  void ShowModal() override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls(HINSTANCE instance);
  void DrawButton(const DRAWITEMSTRUCT& item);
  void Run(const std::function<void()>& handler);
  int32_t Scale(int32_t design) const;

  HWND owner_ = nullptr;
  std::map<TDiagControl, HWND> controls_;
  UniqueFont font_;  // outlives the window, whose controls draw with it
  int32_t pixels_per_inch_ = 96;
  bool closed_ = false;
  bool timer_on_ = false;
  // Last, so it is destroyed first, while everything its procedure may still
  // use lives; also when the constructor throws after the window exists.
  UniqueWindow window_;
};

// Opens the diagnostics window owned by `owner` with the report `build_report`
// makes, and returns when it has been closed. An error while building the
// report leaves this function before the window shows; errors of its
// handlers, and a tool that cannot be started, are shown through `messages`.
void ShowDiagnosticsWindow(HWND owner, TMessageService& messages,
                           const TDiagnosticReportBuilder& build_report,
                           const std::string& program_name, const std::string& temp_dir,
                           const std::string& keep_dir, const std::string& settings_file,
                           float version);

}  // namespace vx::gui
