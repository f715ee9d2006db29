#include "diag/diag_window.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/system.h"
#include "platform/text.h"
#include "util/environment_utils.h"

namespace vx {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr int32_t kFontPoints = 10;
constexpr const char* kLabelCaption =
    "If you would like to report a problem, please copy the contents of the memo below into "
    "your email describing the problem, or save the contents as a file and attach it.";

}  // namespace

std::string MemoFileText(const std::string& memo) {
  std::string text;
  for (const std::string& line : TextLines(memo)) text += line + kCrLf;
  return text;
}

std::vector<std::string> TextLines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (std::string_view view : SplitLines(bytes)) {
    std::string& line = lines.emplace_back(view);
    std::replace(line.begin(), line.end(), '\0', ' ');
  }
  return lines;
}

TKeldaRun& ProgramKeldaRun() {
  static TKeldaRun run;
  return run;
}

void TrvDiagForm::Prepare(const std::string& report) {
  const std::string menu_font = system_.MenuFontName();
  // Without a menu font the window keeps its design font's face.
  view_.SetFont(menu_font, kFontPoints);

  const TBounds memo = view_.Bounds(TDiagControl::Memo1);
  view_.SetWidth(TDiagControl::Memo1, view_.ClientWidth() - 2 * memo.Left);
  view_.SetWidth(TDiagControl::Panel1, view_.Bounds(TDiagControl::Memo1).Width);
  const TBounds label = view_.Bounds(TDiagControl::Label1);
  view_.SetWidth(TDiagControl::Label1, view_.Bounds(TDiagControl::Panel1).Width - 2 * label.Left);

  view_.SetCaption(TDiagControl::Label1, kLabelCaption);
  view_.SetMemoText(report);
}

void TrvDiagForm::FormActivate() {
  if (activated_) return;
  // Set first: a write error leaves through here, and must not come back on
  // the activation that follows its message box.
  activated_ = true;

  run_.ReportFile.clear();
  const std::string product_dir = system_.ProductDir();
  if (!product_dir.empty()) {
    const std::string tool_path = JoinPath(product_dir, "Kelda.Exe");
    if (!system_.FileExists(tool_path)) {
      view_.AddMemoLine("Could not locate file: " + tool_path);
    } else {
      std::string error;
      if (SeekKeldaReport(tool_path, error)) {
        view_.SetTimerEnabled(true);
      } else {
        view_.AddMemoLine("Error: " + error);
      }
    }
  }
  view_.MemoCaretToStart();
}

bool TrvDiagForm::SeekKeldaReport(const std::string& tool_path, std::string& error) {
  // A run left pending by a closed window: the tool runs on by itself, but
  // its handles are ours to close.
  if (run_.ToolProcess.process_handle != 0 && !system_.ProgramFinished(run_.ToolProcess)) {
    system_.ReleaseProcess(run_.ToolProcess);
  }
  run_.ToolProcess = ProcessInfo{};
  error.clear();

  if (!system_.FileExists(tool_path)) {
    error = "Cannot locate: " + tool_path;
  } else {
    const std::string tool_dir = FileDirectory(tool_path);
    run_.StiFile = tool_dir + "\\kelrpt.sti";
    run_.ReportFile = tool_dir + "\\kelda.rpt";
    if (system_.FileExists(run_.ReportFile)) system_.DeleteFile(run_.ReportFile);
    if (system_.FileExists(run_.ReportFile)) {
      error = "Cannot delete: " + run_.ReportFile;
    } else {
      if (system_.FileExists(run_.StiFile)) system_.DeleteFile(run_.StiFile);
      if (system_.FileExists(run_.StiFile)) {
        error = "Cannot delete: " + run_.StiFile;
      } else {
        system_.WriteFile(run_.StiFile,
                          std::string("RPT") + kCrLf + run_.ReportFile + kCrLf + "  " + kCrLf);
        const std::string params = "-sti " + QuoteArgument(run_.StiFile);
        if (system_.StartProgram("", tool_path, params, tool_dir, kShowMinNoActive,
                                 run_.ToolProcess)) {
          return true;
        }
        error = "Cannot ShellExecute:\r\nParm1= " + tool_path + kCrLf + "Parm2= " + params + kCrLf;
      }
    }
  }
  error += " [SeekKeldaReport]";
  return false;
}

void TrvDiagForm::Timer1Timer() {
  if (!system_.ProgramFinished(run_.ToolProcess)) return;
  view_.SetTimerEnabled(false);
  if (!system_.FileExists(run_.ReportFile)) return;

  const std::vector<std::string> lines = TextLines(system_.ReadFile(run_.ReportFile));
  view_.SetMemoRedraw(false);
  view_.AddMemoLine("  ");
  view_.AddMemoLine("  ");
  view_.AddMemoLine("Contents of RPT file from KELDA: " + run_.ReportFile);
  // The tool's last two lines are left out.
  for (size_t i = 0; i + 2 < lines.size(); ++i) view_.AddMemoLine(lines[i]);
  view_.MemoCaretToStart();
  view_.SetMemoRedraw(true);

  if (system_.FileExists(run_.ReportFile)) system_.DeleteFile(run_.ReportFile);
  if (system_.FileExists(run_.StiFile)) system_.DeleteFile(run_.StiFile);
}

void TrvDiagForm::CopyBtnClick() {
  view_.SetClipboardText(view_.MemoText());
}

void TrvDiagForm::SaveBtnClick() {
  TSaveDialogRequest request;
  request.Title = " Save Diagnostic File";
  request.InitialDir = "";
  // Proposed afresh each time, whatever the previous save was called.
  request.FileName = "Diag.txt";
  request.OverwritePrompt = true;
  request.HideReadOnly = true;
  request.PathMustExist = true;
  request.EnableSizing = true;
  std::string chosen;
  if (!view_.RunSaveDialog(request, chosen)) return;
  system_.WriteFile(chosen, MemoFileText(view_.MemoText()));
}

void ShowDiagnostics(TDiagWindowView& view, TDiagSystem& system, TKeldaRun& run,
                     const TDiagnosticReportBuilder& build_report, const std::string& program_name,
                     const std::string& temp_dir, const std::string& keep_dir,
                     const std::string& settings_file, float version) {
  TrvDiagForm form(view, system, run);
  // Built before anything is shown: a failure here keeps the window hidden.
  const std::string report = build_report(program_name, temp_dir, keep_dir, settings_file, version);
  form.Prepare(report);
  view.OnActivate = [&form] { form.FormActivate(); };
  view.OnTimer = [&form] { form.Timer1Timer(); };
  view.OnCopyClick = [&form] { form.CopyBtnClick(); };
  view.OnSaveClick = [&form] { form.SaveBtnClick(); };
  view.ShowModal();
  view.OnActivate = nullptr;
  view.OnTimer = nullptr;
  view.OnCopyClick = nullptr;
  view.OnSaveClick = nullptr;
}

std::string TPlatformDiagSystem::MenuFontName() {
  return platform::MenuFontFaceName();
}

std::string TPlatformDiagSystem::ProductDir() {
  return GetProductDir();
}

bool TPlatformDiagSystem::FileExists(const std::string& path) {
  return platform::FileExists(path);
}

bool TPlatformDiagSystem::DeleteFile(const std::string& path) {
  return platform::DeleteFile(path);
}

std::string TPlatformDiagSystem::ReadFile(const std::string& path) {
  return platform::ReadWholeFile(path);
}

void TPlatformDiagSystem::WriteFile(const std::string& path, const std::string& bytes) {
  auto file = platform::TFileStream::CreateAlways(path);
  file->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

bool TPlatformDiagSystem::StartProgram(const std::string& title, const std::string& program,
                                       const std::string& params, const std::string& work_dir,
                                       uint16_t show, ProcessInfo& info) {
  return vx::StartProgram(title, program, params, work_dir, show, info, messages_);
}

bool TPlatformDiagSystem::ProgramFinished(ProcessInfo& info) {
  return vx::ProgramFinished(info);
}

void TPlatformDiagSystem::ReleaseProcess(ProcessInfo& info) {
  platform::CloseProcessHandle(info.process_handle);
  platform::CloseProcessHandle(info.thread_handle);
  info = ProcessInfo{};
}

}  // namespace vx
