// The diagnostic report written straight to a file, without a window: the
// same text the diagnostics window shows, including the KELDA tool's lines
// when the product directory has the tool. The tool is run by the window's
// own logic (TrvDiagForm) over a view that is never shown, and waited for at
// most a minute.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "diag/diag_window.h"

namespace vx {

// A diagnostics view that keeps the memo's text and shows nothing.
class TDetachedDiagView : public TDiagWindowView {
 public:
  void SetFont(const std::string&, int32_t) override {}
  int32_t ClientWidth() override { return 600; }
  TBounds Bounds(TDiagControl) override { return {}; }
  void SetWidth(TDiagControl, int32_t) override {}
  void SetCaption(TDiagControl, const std::string&) override {}
  void SetMemoText(const std::string& text) override { memo_ = text; }
  std::string MemoText() override { return memo_; }
  void AddMemoLine(const std::string& line) override;
  void MemoCaretToStart() override {}
  void SetMemoRedraw(bool) override {}
  void SetTimerEnabled(bool enabled) override { timer_enabled_ = enabled; }
  void SetClipboardText(const std::string&) override {}
  bool RunSaveDialog(const TSaveDialogRequest&, std::string&) override { return false; }
  void ShowModal() override {}

  bool TimerEnabled() const { return timer_enabled_; }

 private:
  std::string memo_;
  bool timer_enabled_ = false;
};

// How long the tool is waited for, in polls of kDiagnosticPollMs.
constexpr int32_t kDiagnosticPollMs = 100;
constexpr int32_t kDiagnosticToolPolls = 600;  // a minute

// Builds the report, runs the tool as the window would, and writes the
// result to `path` with each line ended by CR LF. `pause` waits `ms`
// milliseconds between two polls of the tool. A tool whose input file cannot
// be written or whose report cannot be read is a line of the report. False
// with `error` set when the report cannot be built or the file cannot be
// written.
bool WriteDiagnosticFile(TDiagSystem& system, TKeldaRun& run,
                         const TDiagnosticReportBuilder& build_report,
                         const std::string& program_name, const std::string& settings_file,
                         float version, const std::string& path,
                         const std::function<void(int32_t ms)>& pause, std::string& error);

}  // namespace vx
