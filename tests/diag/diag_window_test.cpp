// The diagnostics window's controller against a scripted window and machine,
// and once natively against the real machine with a tool of our own.
#include "diag/diag_window.h"
#include "diag/diag_file.h"
#include "diag/report.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "support/scripted_message_view.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/environment.h"
#endif

namespace vx::test {
namespace {

const std::string kReport = "Tuesday, March 13, 2007, 4:05 PM\r\nProgram: Setup\r\nVersion 1.50";

class ScriptedDiagView : public TDiagWindowView {
 public:
  std::string font_name = "Arial";
  int32_t font_points = 0;
  int32_t client_width = 544;
  std::map<TDiagControl, TBounds> bounds = {
      {TDiagControl::Panel1, {5, 4, 529, 96}},     {TDiagControl::Label1, {8, 8, 512, 78}},
      {TDiagControl::OKButton, {5, 440, 70, 27}},  {TDiagControl::CopyBtn, {80, 440, 70, 27}},
      {TDiagControl::SaveBtn, {155, 440, 70, 27}}, {TDiagControl::Memo1, {5, 107, 529, 328}},
  };
  std::map<TDiagControl, std::string> captions;
  std::string memo;
  bool caret_at_start = false;
  bool redraw = true;
  std::vector<bool> redraw_at_each_add;
  bool timer = false;
  std::string clipboard;
  std::vector<TSaveDialogRequest> save_requests;
  std::deque<std::string> save_answers;  // "" cancels
  std::function<void()> modal_script;
  int modal_runs = 0;

  void SetFont(const std::string& name, int32_t points) override {
    if (!name.empty()) font_name = name;
    font_points = points;
  }
  int32_t ClientWidth() override { return client_width; }
  TBounds Bounds(TDiagControl control) override { return bounds.at(control); }
  void SetWidth(TDiagControl control, int32_t width) override { bounds.at(control).Width = width; }
  void SetCaption(TDiagControl control, const std::string& text) override {
    captions[control] = text;
  }
  void SetMemoText(const std::string& text) override {
    memo = text;
    caret_at_start = false;
  }
  std::string MemoText() override { return memo; }
  void AddMemoLine(const std::string& line) override {
    memo += (memo.empty() ? "" : "\r\n") + line;
    caret_at_start = false;
    redraw_at_each_add.push_back(redraw);
  }
  void MemoCaretToStart() override { caret_at_start = true; }
  void SetMemoRedraw(bool on) override { redraw = on; }
  void SetTimerEnabled(bool enabled) override { timer = enabled; }
  void SetClipboardText(const std::string& text) override { clipboard = text; }
  bool RunSaveDialog(const TSaveDialogRequest& request, std::string& chosen) override {
    save_requests.push_back(request);
    if (save_answers.empty()) return false;
    chosen = save_answers.front();
    save_answers.pop_front();
    return !chosen.empty();
  }
  void ShowModal() override {
    ++modal_runs;
    if (modal_script) modal_script();
  }
};

struct StartCall {
  std::string title, program, params, work_dir;
  uint16_t show;
};

// Files by path; a started tool "runs" for a number of polls and may leave a
// report behind when it ends.
class ScriptedDiagSystem : public TDiagSystem {
 public:
  std::string menu_font = "Tahoma";
  std::string product_dir;
  std::map<std::string, std::string> files;
  std::set<std::string> undeletable;
  std::set<std::string> unwritable;
  std::vector<std::string> deleted;
  bool start_succeeds = true;
  std::vector<StartCall> starts;
  int polls_until_end = 0;
  std::function<void()> on_tool_end;  // what the tool leaves behind
  std::vector<intptr_t> released;
  intptr_t next_handle = 0x40;

  std::string MenuFontName() override { return menu_font; }
  std::string ProductDir() override { return product_dir; }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool DeleteFile(const std::string& path) override {
    if (undeletable.count(path) != 0 || files.erase(path) == 0) return false;
    deleted.push_back(path);
    return true;
  }
  std::string ReadFile(const std::string& path) override { return files.at(path); }
  void WriteFile(const std::string& path, const std::string& bytes) override {
    if (unwritable.count(path) != 0) throw EFileError("Access is denied", 5);
    files[path] = bytes;
  }
  bool StartProgram(const std::string& title, const std::string& program, const std::string& params,
                    const std::string& work_dir, uint16_t show, ProcessInfo& info) override {
    starts.push_back({title, program, params, work_dir, show});
    if (!start_succeeds) {
      info = ProcessInfo{};
      return false;
    }
    info.process_handle = next_handle++;
    info.thread_handle = next_handle++;
    info.process_id = 7;
    info.thread_id = 8;
    return true;
  }
  bool ProgramFinished(ProcessInfo& info) override {
    if (info.process_handle != 0 && polls_until_end > 0) {
      --polls_until_end;
      return false;
    }
    if (info.process_handle != 0 && on_tool_end) on_tool_end();
    info = ProcessInfo{};
    return true;
  }
  void ReleaseProcess(ProcessInfo& info) override {
    released.push_back(info.process_handle);
    info = ProcessInfo{};
  }
};

class DiagWindowTest : public testing::Test {
 public:
  void SetUp() override { view.memo = kReport; }

  // A product directory with the tool in it.
  void InstallTool(const std::string& dir) {
    system.product_dir = dir;
    system.files[dir + "\\Kelda.Exe"] = "MZ";
  }
  // The tool, when it ends, writes `lines` (each ended by CR LF) as its report.
  void ToolReports(const std::vector<std::string>& lines) {
    system.on_tool_end = [this, lines] {
      std::string text;
      for (const std::string& line : lines) text += line + "\r\n";
      system.files[run.ReportFile] = text;
    };
  }

  ScriptedDiagView view;
  ScriptedDiagSystem system;
  TKeldaRun run;
  TrvDiagForm form{view, system, run};
};

struct ActivationCase {
  const char* name;
  std::function<void(DiagWindowTest&)> arrange;
  std::string added;  // what activation adds to the memo ("" = nothing)
  size_t starts;
  bool timer;
};

class DiagActivation : public DiagWindowTest, public testing::WithParamInterface<ActivationCase> {};

TEST_P(DiagActivation, AddsItsLineAndShowsTheTopOfTheReport) {
  const ActivationCase& c = GetParam();
  c.arrange(*this);
  form.FormActivate();
  EXPECT_EQ(view.memo, kReport + c.added);
  EXPECT_EQ(system.starts.size(), c.starts);
  EXPECT_EQ(view.timer, c.timer);
  EXPECT_TRUE(view.caret_at_start);
}

const ActivationCase kActivationCases[] = {
    {"NoProductDirectory", [](DiagWindowTest&) {}, "", 0, false},
    {"ToolMissing", [](DiagWindowTest& t) { t.system.product_dir = "D:\\VX"; },
     "\r\nCould not locate file: D:\\VX\\Kelda.Exe", 0, false},
    {"OldReportCannotBeDeleted",
     [](DiagWindowTest& t) {
       t.InstallTool("D:\\VX");
       t.system.files["D:\\VX\\kelda.rpt"] = "old";
       t.system.undeletable.insert("D:\\VX\\kelda.rpt");
     },
     "\r\nError: Cannot delete: D:\\VX\\kelda.rpt [SeekKeldaReport]", 0, false},
    {"OldInputCannotBeDeleted",
     [](DiagWindowTest& t) {
       t.InstallTool("D:\\VX");
       t.system.files["D:\\VX\\kelrpt.sti"] = "old";
       t.system.undeletable.insert("D:\\VX\\kelrpt.sti");
     },
     "\r\nError: Cannot delete: D:\\VX\\kelrpt.sti [SeekKeldaReport]", 0, false},
    {"StartFails",
     [](DiagWindowTest& t) {
       t.InstallTool("D:\\VX");
       t.system.start_succeeds = false;
     },
     "\r\nError: Cannot ShellExecute:\r\nParm1= D:\\VX\\Kelda.Exe\r\n"
     "Parm2= -sti D:\\VX\\kelrpt.sti\r\n [SeekKeldaReport]",
     1, false},
    {"ToolStarted", [](DiagWindowTest& t) { t.InstallTool("D:\\VX"); }, "", 1, true},
};

INSTANTIATE_TEST_SUITE_P(Each, DiagActivation, testing::ValuesIn(kActivationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiagWindowTest, ToolIsStartedMinimisedInItsDirectoryWithItsInputFile) {
  struct Case {
    std::string product_dir, tool, work_dir, sti, params;
  };
  const Case cases[] = {
      {"D:\\VX", "D:\\VX\\Kelda.Exe", "D:\\VX", "D:\\VX\\kelrpt.sti", "-sti D:\\VX\\kelrpt.sti"},
      {"C:\\Program Files\\VX", "C:\\Program Files\\VX\\Kelda.Exe", "C:\\Program Files\\VX",
       "C:\\Program Files\\VX\\kelrpt.sti", "-sti \"C:\\Program Files\\VX\\kelrpt.sti\""},
      {"E:\\R&D\\VX", "E:\\R&D\\VX\\Kelda.Exe", "E:\\R&D\\VX", "E:\\R&D\\VX\\kelrpt.sti",
       "-sti \"E:\\R&D\\VX\\kelrpt.sti\""},
      // A product directory ending in a backslash names the same files.
      {"D:\\VX\\", "D:\\VX\\Kelda.Exe", "D:\\VX", "D:\\VX\\kelrpt.sti", "-sti D:\\VX\\kelrpt.sti"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product_dir);
    ScriptedDiagView fresh_view;
    ScriptedDiagSystem machine;
    TKeldaRun state;
    machine.product_dir = c.product_dir;
    machine.files[c.tool] = "MZ";
    machine.files[c.work_dir + "\\kelda.rpt"] = "report of an earlier run";
    machine.files[c.sti] = "input of an earlier run";
    TrvDiagForm window(fresh_view, machine, state);
    window.FormActivate();

    ASSERT_EQ(machine.starts.size(), 1u);
    const StartCall& start = machine.starts[0];
    EXPECT_EQ(start.title, "");
    EXPECT_EQ(start.program, c.tool);
    EXPECT_EQ(start.params, c.params);
    EXPECT_EQ(start.work_dir, c.work_dir);
    EXPECT_EQ(start.show, 7);
    EXPECT_EQ(state.StiFile, c.sti);
    EXPECT_EQ(state.ReportFile, c.work_dir + "\\kelda.rpt");
    // The earlier report is gone, the input rewritten.
    EXPECT_EQ(machine.files.count(state.ReportFile), 0u);
    EXPECT_EQ(machine.files[c.sti], "RPT\r\n" + c.work_dir + "\\kelda.rpt\r\n  \r\n");
    EXPECT_NE(state.ToolProcess.process_handle, 0);
    EXPECT_TRUE(fresh_view.timer);
  }
}

TEST_F(DiagWindowTest, SeekingAToolThatIsNotThereReportsIt) {
  std::string error = "stale";
  EXPECT_FALSE(form.SeekKeldaReport("D:\\VX\\Kelda.Exe", error));
  EXPECT_EQ(error, "Cannot locate: D:\\VX\\Kelda.Exe [SeekKeldaReport]");
  EXPECT_TRUE(system.starts.empty());
  EXPECT_EQ(run.ToolProcess.process_handle, 0);
}

TEST_F(DiagWindowTest, TimerWaitsForTheToolToEnd) {
  InstallTool("D:\\VX");
  ToolReports({"a", "b", "c"});
  system.polls_until_end = 3;
  form.FormActivate();
  for (int tick = 0; tick < 3; ++tick) {
    form.Timer1Timer();
    EXPECT_TRUE(view.timer) << tick;
    EXPECT_EQ(view.memo, kReport) << tick;
  }
  form.Timer1Timer();
  EXPECT_FALSE(view.timer);
  EXPECT_EQ(view.memo, kReport +
                           "\r\n  \r\n  \r\nContents of RPT file from KELDA: "
                           "D:\\VX\\kelda.rpt\r\na");
  EXPECT_EQ(run.ToolProcess.process_handle, 0);
}

TEST_F(DiagWindowTest, ToolReportContributesAllButItsLastTwoLines) {
  struct Case {
    std::vector<std::string> lines;
    std::string added;
  };
  const std::string header =
      "\r\n  \r\n  \r\nContents of RPT file from KELDA: C:\\Program Files\\VX\\kelda.rpt";
  std::vector<std::string> many;
  std::string many_added = header;
  for (int i = 1; i <= 40; ++i) {
    many.push_back("line " + std::to_string(i));
    if (i <= 38) many_added += "\r\nline " + std::to_string(i);
  }
  const Case cases[] = {
      {{}, header},
      {{"one"}, header},
      {{"one", "two"}, header},
      {{"one", "two", "three"}, header + "\r\none"},
      {{"", "x", "end", "end"}, header + "\r\n\r\nx"},
      {many, many_added},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.size());
    ScriptedDiagView fresh_view;
    fresh_view.memo = kReport;
    ScriptedDiagSystem machine;
    TKeldaRun state;
    machine.product_dir = "C:\\Program Files\\VX";
    machine.files["C:\\Program Files\\VX\\Kelda.Exe"] = "MZ";
    machine.on_tool_end = [&] {
      std::string text;
      for (const std::string& line : c.lines) text += line + "\r\n";
      machine.files[state.ReportFile] = text;
    };
    TrvDiagForm window(fresh_view, machine, state);
    window.FormActivate();
    window.Timer1Timer();
    EXPECT_EQ(fresh_view.memo, kReport + c.added);
    EXPECT_TRUE(fresh_view.caret_at_start);
    EXPECT_TRUE(fresh_view.redraw);
    // Lines went in with the memo's repainting suspended.
    for (bool redraw : fresh_view.redraw_at_each_add) EXPECT_FALSE(redraw);
    // Both files are cleared away.
    EXPECT_EQ(machine.files.count(state.ReportFile), 0u);
    EXPECT_EQ(machine.files.count(state.StiFile), 0u);
  }
}

TEST_F(DiagWindowTest, ToolThatLeavesNoReportAddsNothingAndKeepsItsInput) {
  InstallTool("D:\\VX");
  form.FormActivate();
  form.Timer1Timer();
  EXPECT_FALSE(view.timer);
  EXPECT_EQ(view.memo, kReport);
  EXPECT_EQ(system.files.count("D:\\VX\\kelrpt.sti"), 1u);
  EXPECT_TRUE(system.deleted.empty());
}

TEST_F(DiagWindowTest, TextLinesEndAtEveryKindOfLineBreak) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
      {"\r\n\r\n", {"", ""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string("x\0y\n", 4), {"x y"}},
  };
  for (const Case& c : cases) EXPECT_EQ(TextLines(c.bytes), c.lines) << c.bytes;
}

TEST_F(DiagWindowTest, ActivatingAgainNeitherRepeatsTheRunNorTheLines) {
  system.product_dir = "D:\\VX";
  form.FormActivate();
  form.FormActivate();
  EXPECT_EQ(view.memo, kReport + "\r\nCould not locate file: D:\\VX\\Kelda.Exe");

  ScriptedDiagView other_view;
  ScriptedDiagSystem machine;
  TKeldaRun state;
  machine.product_dir = "D:\\VX";
  machine.files["D:\\VX\\Kelda.Exe"] = "MZ";
  machine.polls_until_end = 100;
  TrvDiagForm window(other_view, machine, state);
  window.FormActivate();
  window.FormActivate();
  EXPECT_EQ(machine.starts.size(), 1u);
}

TEST_F(DiagWindowTest, NextRunCleansUpAfterAWindowClosedWhileTheToolRan) {
  InstallTool("D:\\VX");
  system.polls_until_end = 1000;  // still running when the window goes
  {
    ScriptedDiagView first_view;
    TrvDiagForm first(first_view, system, run);
    first.FormActivate();
    first.Timer1Timer();
  }
  const intptr_t abandoned = run.ToolProcess.process_handle;
  ASSERT_NE(abandoned, 0);
  // The tool wrote its report after all; the next window finds both files.
  system.files[run.ReportFile] = "late\r\nreport\r\n";

  form.FormActivate();
  EXPECT_EQ(system.released, std::vector<intptr_t>{abandoned});
  EXPECT_EQ(system.starts.size(), 2u);
  EXPECT_EQ(system.files.count("D:\\VX\\kelda.rpt"), 0u);
  EXPECT_NE(run.ToolProcess.process_handle, abandoned);
  EXPECT_TRUE(view.timer);
}

TEST_F(DiagWindowTest, InputFileThatCannotBeWrittenLeavesThroughActivation) {
  InstallTool("D:\\VX");
  system.unwritable.insert("D:\\VX\\kelrpt.sti");
  EXPECT_THROW(form.FormActivate(), EFileError);
  EXPECT_FALSE(view.caret_at_start);
  EXPECT_FALSE(view.timer);
  EXPECT_TRUE(system.starts.empty());
  EXPECT_EQ(view.memo, kReport);
  // The activation after the error box does not try again.
  EXPECT_NO_THROW(form.FormActivate());
}

TEST_F(DiagWindowTest, CopyTakesTheMemoAsItIsNow) {
  InstallTool("D:\\VX");
  ToolReports({"KELDA 1.5", "input ok", "x", "y"});
  system.polls_until_end = 1;
  form.FormActivate();
  form.Timer1Timer();
  form.CopyBtnClick();
  EXPECT_EQ(view.clipboard, kReport);  // before the tool's lines

  form.Timer1Timer();
  form.CopyBtnClick();
  EXPECT_EQ(view.clipboard, view.memo);
  EXPECT_NE(view.clipboard.find("\r\nKELDA 1.5\r\ninput ok"), std::string::npos);
}

TEST_F(DiagWindowTest, SaveProposesDiagTxtEveryTimeAndWritesCrLfLines) {
  view.save_answers = {"D:\\reports\\mine.log", "", "D:\\Diag.txt"};
  form.SaveBtnClick();
  view.memo += "\r\nlast";
  form.SaveBtnClick();  // cancelled
  form.SaveBtnClick();

  ASSERT_EQ(view.save_requests.size(), 3u);
  for (const TSaveDialogRequest& request : view.save_requests) {
    EXPECT_EQ(request.FileName, "Diag.txt");
    EXPECT_EQ(request.Title, " Save Diagnostic File");
    EXPECT_EQ(request.InitialDir, "");
    EXPECT_TRUE(request.OverwritePrompt);
    EXPECT_TRUE(request.HideReadOnly);
    EXPECT_TRUE(request.PathMustExist);
    EXPECT_TRUE(request.EnableSizing);
  }
  EXPECT_EQ(system.files.at("D:\\reports\\mine.log"), kReport + "\r\n");
  EXPECT_EQ(system.files.at("D:\\Diag.txt"), kReport + "\r\nlast\r\n");
  EXPECT_EQ(system.files.size(), 2u);
}

TEST_F(DiagWindowTest, SaveErrorReachesTheCaller) {
  view.save_answers = {"D:\\locked.txt"};
  system.unwritable.insert("D:\\locked.txt");
  EXPECT_THROW(form.SaveBtnClick(), EFileError);
}

TEST_F(DiagWindowTest, ShowDiagnosticsLaysOutFillsAndBindsTheWindow) {
  struct Case {
    int32_t ppi;
    std::string menu_font;
    std::string expected_font;
  };
  const Case cases[] = {
      {96, "Tahoma", "Tahoma"}, {120, "Segoe UI", "Segoe UI"}, {144, "", "Arial"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ppi);
    ScriptedDiagView fresh_view;
    // The design scaled as the window is created.
    auto scale = [&](int32_t v) { return v * c.ppi / 96; };
    fresh_view.client_width = scale(544);
    for (auto& [control, b] : fresh_view.bounds) {
      b = {scale(b.Left), scale(b.Top), scale(b.Width), scale(b.Height)};
    }
    ScriptedDiagSystem machine;
    machine.menu_font = c.menu_font;
    TKeldaRun state;
    std::vector<std::string> asked;
    auto build = [&](const std::string& program, const std::string& temp, const std::string& keep,
                     const std::string& settings, float version) {
      asked = {program, temp, keep, settings, std::to_string(version)};
      return kReport;
    };
    fresh_view.modal_script = [&] {
      EXPECT_EQ(fresh_view.memo, kReport);
      fresh_view.OnActivate();
      fresh_view.OnTimer();
      fresh_view.OnCopyClick();
      fresh_view.save_answers = {"D:\\d.txt"};
      fresh_view.OnSaveClick();
    };
    ShowDiagnostics(fresh_view, machine, state, build, "Setup", "", "", "D:\\SETUP.INI", 1.5f);

    EXPECT_EQ(fresh_view.modal_runs, 1);
    EXPECT_EQ(asked, (std::vector<std::string>{"Setup", "", "", "D:\\SETUP.INI", "1.500000"}));
    EXPECT_EQ(fresh_view.font_name, c.expected_font);
    EXPECT_EQ(fresh_view.font_points, 10);
    const int32_t memo_width = scale(544) - 2 * scale(5);
    EXPECT_EQ(fresh_view.bounds[TDiagControl::Memo1].Width, memo_width);
    EXPECT_EQ(fresh_view.bounds[TDiagControl::Panel1].Width, memo_width);
    EXPECT_EQ(fresh_view.bounds[TDiagControl::Label1].Width, memo_width - 2 * scale(8));
    if (c.ppi == 96) {
      EXPECT_EQ(memo_width, 534);
    }
    EXPECT_EQ(fresh_view.captions[TDiagControl::Label1],
              "If you would like to report a problem, please copy the contents of the memo below "
              "into your email describing the problem, or save the contents as a file and "
              "attach it.");
    EXPECT_TRUE(fresh_view.caret_at_start);
    EXPECT_EQ(fresh_view.clipboard, kReport);
    EXPECT_EQ(machine.files.at("D:\\d.txt"), kReport + "\r\n");
    EXPECT_FALSE(fresh_view.OnActivate);  // unbound once the window is gone
  }
}

TEST_F(DiagWindowTest, ReportFailureKeepsTheWindowHidden) {
  auto build = [](const std::string&, const std::string&, const std::string&, const std::string&,
                  float) -> std::string { throw EFileError("Read error on D:\\SETUP.INI", 30); };
  EXPECT_THROW(ShowDiagnostics(view, system, run, build, "Setup", "", "", "D:\\SETUP.INI", 1.5f),
               EFileError);
  EXPECT_EQ(view.modal_runs, 0);
}

#ifndef _WIN32
// The controller on the real machine: a tool of our own (a shell script named
// as the product's tool, in a directory with a blank in its name) started
// through the platform layer and collected by polling as the timer would.
TEST(DiagWindowOnThisMachine, RunsTheToolAndCollectsItsReport) {
  ScratchDir scratch;
  const std::string product = scratch.Path() + "/Vestrix Product";
  ASSERT_EQ(mkdir(product.c_str(), 0755), 0);
  const std::string tool = product + "/Kelda.Exe";
  {
    std::ofstream script(tool);
    // The input names the report in the Windows form; here "\" is "/".
    script << "#!/bin/sh\n"
              "[ \"$1\" = -sti ] || exit 2\n"
              "sti=$(printf %s \"$2\" | tr '\\\\' /)\n"
              "rpt=$(sed -n 2p \"$sti\" | tr -d '\\r' | tr '\\\\' /)\n"
              "printf 'tool in %s\\r\\nfirst line %s\\r\\nsecond %s\\r\\nx\\r\\ny\\r\\n' "
              "\"$(pwd)\" \"$(sed -n 1p \"$sti\" | tr -d '\\r')\" \"$#\" > \"$rpt\"\n";
  }
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  const auto saved = platform::GetEnvironmentVariable("VXDIR");
  platform::SetEnvironmentVariable("VXDIR", product);

  ScriptedDiagView view;
  view.memo = kReport;
  test::ScriptedMessageView boxes;
  TMessageService messages{boxes};
  TPlatformDiagSystem system{messages};
  TKeldaRun run;
  TrvDiagForm form(view, system, run);
  form.FormActivate();
  EXPECT_TRUE(view.timer) << view.memo;
  for (int tick = 0; tick < 100 && view.timer; ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    form.Timer1Timer();
  }
  if (saved) {
    platform::SetEnvironmentVariable("VXDIR", *saved);
  } else {
    platform::UnsetEnvironmentVariable("VXDIR");
  }

  EXPECT_FALSE(view.timer);
  EXPECT_EQ(view.memo, kReport + "\r\n  \r\n  \r\nContents of RPT file from KELDA: " + product +
                           "\\kelda.rpt\r\ntool in " + product + "\r\nfirst line RPT\r\nsecond 2");
  EXPECT_FALSE(system.FileExists(product + "\\kelda.rpt"));
  EXPECT_FALSE(system.FileExists(product + "\\kelrpt.sti"));
}
#endif

// The report written to a file without a window: the window's text, with the
// tool's lines when it ends in time, a note when it does not.
TEST(DiagnosticFileTest, WritesTheWindowsTextWithTheToolsLines) {
  struct Case {
    const char* what;
    bool tool;
    int polls_until_end;
    bool unwritable;
    bool result;
    std::string written;  // "" when nothing is written
    int pauses;
    size_t released;
  };
  const std::string r = "D:\\VX\\kelda.rpt";
  const std::vector<Case> cases = {
      {"no product", false, 0, false, true, "Report line 1\r\nReport line 2\r\n", 0, 0},
      {"tool ends after three polls", true, 3, false, true,
       "Report line 1\r\nReport line 2\r\n  \r\n  \r\nContents of RPT file from KELDA: " + r +
           "\r\nK1\r\nK2\r\n",
       4, 0},
      {"tool never ends", true, 100000, false, true,
       "Report line 1\r\nReport line 2\r\nKELDA did not finish within 60 seconds\r\n", 600, 1},
      {"file cannot be written", false, 0, true, false, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedDiagSystem system;
    TKeldaRun run;
    if (c.tool) {
      system.product_dir = "D:\\VX";
      system.files["D:\\VX\\Kelda.Exe"] = "MZ";
    }
    system.polls_until_end = c.polls_until_end;
    system.on_tool_end = [&system, &run] {
      system.files[run.ReportFile] = "K1\r\nK2\r\nlast but one\r\nlast\r\n";
    };
    if (c.unwritable) system.unwritable.insert("C:\\diag.txt");
    std::string asked;
    auto build = [&asked](const std::string& name, const std::string& temp, const std::string& keep,
                          const std::string& settings, float version) {
      asked = name + "|" + temp + "|" + keep + "|" + settings + "|" + FormatVersion(version);
      return std::string("Report line 1\r\nReport line 2");
    };
    int pauses = 0;
    std::string error;
    const bool written = WriteDiagnosticFile(
        system, run, build, "Setup", "D:\\SETUP.INI", 1.5f, "C:\\diag.txt",
        [&pauses](int32_t ms) {
          EXPECT_EQ(ms, 100);
          ++pauses;
        },
        error);
    EXPECT_EQ(written, c.result);
    EXPECT_EQ(error.empty(), c.result) << error;
    EXPECT_EQ(asked, "Setup|||D:\\SETUP.INI|1.50");
    if (c.written.empty()) {
      EXPECT_EQ(system.files.count("C:\\diag.txt"), 0u);
    } else {
      EXPECT_EQ(system.files["C:\\diag.txt"], c.written);
    }
    EXPECT_EQ(pauses, c.pauses);
    EXPECT_EQ(system.released.size(), c.released);
  }
}

TEST(DiagnosticFileTest, AToolWhoseInputCannotBeWrittenIsALineOfTheReport) {
  ScriptedDiagSystem system;
  TKeldaRun run;
  system.product_dir = "D:\\VX";
  system.files["D:\\VX\\Kelda.Exe"] = "MZ";
  system.unwritable.insert("D:\\VX\\kelrpt.sti");
  std::string error;
  const bool written = WriteDiagnosticFile(
      system, run,
      [](const std::string&, const std::string&, const std::string&, const std::string&, float) {
        return std::string("Report line 1");
      },
      "Setup", "", 1.5f, "C:\\diag.txt", [](int32_t) {}, error);
  EXPECT_TRUE(written) << error;
  EXPECT_EQ(system.files["C:\\diag.txt"],
            "Report line 1\r\nKELDA could not be started: Access is denied\r\n");
}

TEST(DiagnosticFileTest, AReportThatCannotBeBuiltWritesNothing) {
  ScriptedDiagSystem system;
  TKeldaRun run;
  std::string error;
  const bool written = WriteDiagnosticFile(
      system, run,
      [](const std::string&, const std::string&, const std::string&, const std::string&,
         float) -> std::string { throw EStreamError("Read error in SETUP.INI"); },
      "Setup", "", 1.5f, "C:\\diag.txt", [](int32_t) {}, error);
  EXPECT_FALSE(written);
  EXPECT_EQ(error, "Read error in SETUP.INI");
  EXPECT_TRUE(system.files.empty());
}

}  // namespace
}  // namespace vx::test
