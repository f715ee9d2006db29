#include "diag/diag_file.h"

#include <exception>

namespace vx {

void TDetachedDiagView::AddMemoLine(const std::string& line) {
  if (!memo_.empty()) memo_ += "\r\n";
  memo_ += line;
}

bool WriteDiagnosticFile(TDiagSystem& system, TKeldaRun& run,
                         const TDiagnosticReportBuilder& build_report,
                         const std::string& program_name, const std::string& settings_file,
                         float version, const std::string& path,
                         const std::function<void(int32_t ms)>& pause, std::string& error) {
  error.clear();
  TDetachedDiagView view;
  TrvDiagForm form(view, system, run);
  try {
    form.Prepare(build_report(program_name, "", "", settings_file, version));
  } catch (const std::exception& failure) {
    error = failure.what();
    return false;
  }
  // A step of the tool's run that fails becomes a line of the report: the
  // report is written whenever its file can be.
  try {
    form.FormActivate();
  } catch (const std::exception& failure) {
    view.AddMemoLine(std::string("KELDA could not be started: ") + failure.what());
  }
  try {
    for (int32_t polls = 0; view.TimerEnabled(); ++polls) {
      if (polls == kDiagnosticToolPolls) {
        view.AddMemoLine("KELDA did not finish within " +
                         std::to_string(kDiagnosticToolPolls * kDiagnosticPollMs / 1000) +
                         " seconds");
        system.ReleaseProcess(run.ToolProcess);
        break;
      }
      pause(kDiagnosticPollMs);
      form.Timer1Timer();
    }
  } catch (const std::exception& failure) {
    view.AddMemoLine(std::string("The report of KELDA could not be read: ") + failure.what());
  }
  try {
    system.WriteFile(path, MemoFileText(view.MemoText()));
  } catch (const std::exception& failure) {
    error = failure.what();
    return false;
  }
  return true;
}

}  // namespace vx
