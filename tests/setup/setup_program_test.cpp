#include "setup/setup_program.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "setup/command_line.h"
#include "setup/scripted_shell.h"
#include "setup/scripted_views.h"

namespace vx {
namespace {

constexpr int64_t kMiB = 1048576;

// What a main window showed; it outlives the window.
struct WindowState {
  test::ScriptedMainView view;
  test::ScriptedMessageView boxes;
  bool shown = false;
};

// A main window whose event loop runs the test's script of user actions.
class ScriptedSetupWindow : public TSetupWindow {
 public:
  std::shared_ptr<WindowState> state = std::make_shared<WindowState>();
  test::ScriptedMainView& view = state->view;
  test::ScriptedMessageView& boxes = state->boxes;
  bool& shown = state->shown;
  std::vector<std::function<void(ScriptedSetupWindow&)>> actions;  // run by the event loop

  void Show() override { shown = true; }
  int32_t RunMessageLoop() override {
    for (auto& action : actions) action(*this);
    return 0;
  }
  intptr_t OwnerHandle() override { return 42; }
  void Press(TMainControl control) { OnClick.at(control)(); }

  void SetFontName(const std::string& name) override { view.SetFontName(name); }
  void SetTitle(const std::string& title) override { view.SetTitle(title); }
  void SetMemoText(const std::string& text) override { view.SetMemoText(text); }
  void SetCaption(TMainControl c, const std::string& text) override { view.SetCaption(c, text); }
  void SetVisible(TMainControl c, bool visible) override { view.SetVisible(c, visible); }
  int32_t FontSize(TMainControl c) override { return view.FontSize(c); }
  void SetFontSize(TMainControl c, int32_t points) override { view.SetFontSize(c, points); }
  void SetFontColor(TMainControl c, TColor color) override { view.SetFontColor(c, color); }
  TGauge& Gauge1() override { return view.Gauge1(); }
  void SetEnabled(TMainControl c, bool enabled) override { view.SetEnabled(c, enabled); }
  bool ChooseDirectory(std::string& directory) override { return view.ChooseDirectory(directory); }
  void ProcessMessages() override { view.ProcessMessages(); }
  void Repaint() override { view.Repaint(); }
  uint32_t Milliseconds() override { return view.Milliseconds(); }
  TModalResult ShowMessageBox(const TMessageBox& box, const std::function<void()>& help) override {
    return boxes.ShowMessageBox(box, help);
  }
  void PostEndRequest() override { boxes.PostEndRequest(); }
};

class RecordingViewer : public THtmlHelpViewer {
 public:
  std::vector<uint32_t> commands;
  void HtmlHelp(const char*, uint32_t command, uintptr_t) override { commands.push_back(command); }
};

// The operating system as the program sees it, with a complete package in
// the root of drive D: (an archive that is never opened) unless a test
// takes a file away.
class ScriptedPlatform : public TSetupPlatform {
 public:
  ScriptedPlatform() {
    system.files = {{"D:\\SETUP.chm", ""},
                    {"D:\\SETUP.INI", ""},
                    {"D:\\SETUP.TXT", "Welcome"},
                    {"D:\\prod.zip", ""}};
    system.profiles["D:\\SETUP.INI"] = {{"InstTitle", "VESTRIX 1.5"}, {"InstDir", "C:\\work"},
                                        {"DiskNeededMB", "120"},      {"shortcuttitle", "VX"},
                                        {"zipname", "prod.zip"},      {"exename", "vx.exe"}};
    system.free_bytes["C:\\"] = 500 * kMiB;
  }

  std::string command_line = "D:\\SETUP.EXE";
  std::string log;
  bool log_fails = false;
  int log_lines_left = -1;         // lines the log takes before its writes fail; -1: no limit
  std::vector<std::string> boxes;  // caption | text
  std::vector<std::string> diagnostic_files;
  std::function<bool(TMessageService&, std::string&)> diagnostics =
      [](TMessageService&, std::string&) { return true; };
  bool window_fails = false;
  std::function<void(ScriptedSetupWindow&)> arrange_window;
  std::shared_ptr<WindowState> window;  // of the last one made
  int diagnostics_windows = 0;
  test::ScriptedSystem system;
  test::ScriptedShell shell;
  RecordingViewer viewer;

  std::string CommandLine() override { return command_line; }
  TSetupLog::Sink CreateLog(const std::string& path) override {
    if (log_fails) throw std::runtime_error("Access denied");
    log += "[" + path + "]\r\n";
    return [this](const std::string& bytes) {
      if (log_lines_left == 0) throw std::runtime_error("There is not enough space on the disk");
      if (log_lines_left > 0) --log_lines_left;
      log += bytes;
    };
  }
  std::string Timestamp() override { return "2026-12-08 10:00:00"; }
  std::string TempDirectory() override { return "C:\\TEMP\\"; }
  // Relative paths are taken in D:\ (where the package is).
  std::string FullPath(const std::string& path) override {
    return path.size() > 1 && path[1] == ':' ? path : "D:\\" + path;
  }
  TSetupSystem& System() override { return system; }
  TStShell& Shell() override { return shell; }
  void ShowBox(const std::string& caption, TMessageKind, const std::string& text) override {
    boxes.push_back(caption + " | " + text);
  }
  bool WriteDiagnosticFile(const std::string& path, const std::string& settings_file,
                           TMessageService& messages, std::string& error) override {
    diagnostic_files.push_back(path + " " + settings_file);
    return diagnostics(messages, error);
  }
  std::unique_ptr<TSetupWindow> CreateMainWindow() override {
    if (window_fails) throw std::runtime_error("Cannot create the main window");
    auto made = std::make_unique<ScriptedSetupWindow>();
    window = made->state;
    if (arrange_window) arrange_window(*made);
    return made;
  }
  void ShowDiagnostics(TSetupWindow&, TMessageService&, const std::string&, const std::string&,
                       const std::string&, const std::string&, float) override {
    ++diagnostics_windows;
  }
  THtmlHelpViewer& HelpViewer() override { return viewer; }

  bool Logged(const std::string& line) const {
    return log.find("2026-12-08 10:00:00  " + line + "\r\n") != std::string::npos;
  }
};

TEST(SetupProgramTest, EachCommandLineTakesItsPathToItsExitCode) {
  const std::string switches = SetupSwitchesText();
  struct Case {
    const char* what;
    std::string arguments;
    std::function<void(ScriptedPlatform&)> arrange;
    int32_t code;
    std::vector<std::string> boxes;
    bool window;                     // a main window was made
    std::vector<std::string> lines;  // in the log, after "T  "
  };
  auto none = [](ScriptedPlatform&) {};
  const std::vector<Case> cases = {
      {"switch list",
       " /? /LOG=l.txt",
       none,
       secInstalled,
       {"Setup | " + switches},
       false,
       {"End, exit code 0 (switches listed)"}},
      {"switch list, silent", " /? /S", none, secInstalled, {}, false, {}},
      {"unknown switch",
       " /BAD",
       none,
       secBadCommandLine,
       {"Setup | Unknown switch: /BAD\r\n\r\n" + switches},
       false,
       {}},
      {"unknown switch after silence, logged",
       " /LOG=l.txt /S /BAD",
       none,
       secBadCommandLine,
       {},
       false,
       {"Setup 1.50 started, command line: /LOG=l.txt /S /BAD",
        "Message (error): Unknown switch: /BAD", "End, exit code 64 (bad command line)"}},
      {"silence asked after the bad switch",
       " /BAD /SILENT",
       none,
       secBadCommandLine,
       {},
       false,
       {}},
      {"log not creatable",
       " /LOG=x.txt",
       [](ScriptedPlatform& p) { p.log_fails = true; },
       secStartupProblem,
       {"Setup | Cannot create the log file x.txt\r\nAccess denied"},
       false,
       {}},
      {"log not creatable, silent",
       " /S /LOG=x.txt",
       [](ScriptedPlatform& p) { p.log_fails = true; },
       secStartupProblem,
       {},
       false,
       {}},
      {"diagnostic file",
       " /DIAG=r.txt /LOG=l.txt",
       none,
       secInstalled,
       {},
       false,
       {"Writing the diagnostic report to r.txt", "End, exit code 0 (diagnostic report written)"}},
      {"diagnostic file: the tool's problem goes to the log, never to a box",
       " /DIAG=r.txt /LOG=l.txt",
       [](ScriptedPlatform& p) {
         p.diagnostics = [](TMessageService& messages, std::string&) {
           messages.Show(mkError, mbOK, kNoHelpContext, "The system cannot find the file");
           return true;
         };
       },
       secInstalled,
       {},
       false,
       {"Message (error): The system cannot find the file"}},
      {"diagnostic file not writable",
       " /DIAG=r.txt /LOG=l.txt",
       [](ScriptedPlatform& p) {
         p.diagnostics = [](TMessageService&, std::string& error) {
           error = "disk full";
           return false;
         };
       },
       secStartupProblem,
       {},
       false,
       {"Message (error): Cannot write the diagnostic report to r.txt: disk full",
        "End, exit code 1 (start-up problem)"}},
      {"silent, settings missing",
       " /S /LOG=l.txt",
       [](ScriptedPlatform& p) { p.system.files.erase("D:\\SETUP.INI"); },
       secStartupProblem,
       {},
       false,
       {"End, exit code 1 (start-up problem)"}},
      {"silent, directory refused",
       " /S \"/DIR=C:\\MY VX\" /LOG=l.txt",
       none,
       secDirectoryRefused,
       {},
       false,
       {"Directory from the command line: C:\\MY VX"}},
      {"the package managers' switch set, quoted directory ending in a backslash",
       " /SP- /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /LOG=\"C:\\a b.log\" /DIR=\"C:\\MY VX\\\"",
       none,
       secDirectoryRefused,
       {},
       false,
       {"Directory from the command line: C:\\MY VX\\"}},
      {"a log over the package's settings file",
       " /LOG=setup.INI",
       none,
       secBadCommandLine,
       {"Setup | /LOG=setup.INI would overwrite the package's own file D:\\SETUP.INI\r\n\r\n" +
        switches},
       false,
       {}},
      {"a report over the package's archive, silent and logged",
       " /S /LOG=l.txt /DIAG=D:\\PROD.ZIP",
       none,
       secBadCommandLine,
       {},
       false,
       {}},
      // Another run holds the settings' directory: said, and nothing done.
      {"directory held by another run",
       " /LOG=l.txt",
       [](ScriptedPlatform& p) { p.system.held_elsewhere.insert("C:\\work"); },
       secFilesInUse,
       {},
       true,
       {"Message (error): Another setup run is working in C:\\work"}},
      {"directory from the command line held by another run, silent",
       " /S /DIR=C:\\vx2 /LOG=l.txt",
       [](ScriptedPlatform& p) { p.system.held_elsewhere.insert("C:\\vx2"); },
       secFilesInUse,
       {},
       false,
       {"Message (error): Another setup run is working in C:\\vx2"}},
      {"window not creatable",
       " /LOG=l.txt",
       [](ScriptedPlatform& p) { p.window_fails = true; },
       secStartupProblem,
       {"Error | Cannot create the main window"},
       false,
       {"Message (error): Cannot create the main window"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedPlatform platform;
    platform.command_line = "\"D:\\SETUP.EXE\"" + c.arguments;
    c.arrange(platform);
    EXPECT_EQ(RunSetupProgram(platform), c.code);
    EXPECT_EQ(platform.boxes, c.boxes);
    EXPECT_EQ(platform.window != nullptr, c.window);
    // A directory another run holds ends the program before the window opens.
    if (platform.window && c.code == secFilesInUse) {
      EXPECT_FALSE(platform.window->shown);
    }
    for (const std::string& line : c.lines) {
      EXPECT_TRUE(platform.Logged(line)) << line << "\n" << platform.log;
    }
  }
}

TEST(SetupProgramTest, TheWindowStartsWithItsHandlersBoundAndEndsWithTheLoop) {
  ScriptedPlatform platform;
  platform.command_line = "D:\\SETUP.EXE /DIR=C:\\other /LOG=l.txt";
  platform.arrange_window = [](ScriptedSetupWindow& window) {
    window.actions = {
        [](ScriptedSetupWindow& w) { w.Press(TMainControl::HelpBtn); },
        [](ScriptedSetupWindow& w) { w.Press(TMainControl::Button1); },
        [](ScriptedSetupWindow& w) { w.OnClose(); },
        [](ScriptedSetupWindow& w) { w.OnException("late"); },  // after the end: unseen
    };
  };
  EXPECT_EQ(RunSetupProgram(platform), secCancelled);
  ASSERT_NE(platform.window, nullptr);
  const WindowState& window = *platform.window;
  EXPECT_TRUE(window.shown);
  EXPECT_EQ(window.view.title, "Install VESTRIX 1.5");
  EXPECT_EQ(window.view.captions.at(TMainControl::InstDirLabel), "Install in directory: C:\\other");
  EXPECT_EQ(platform.diagnostics_windows, 1);
  EXPECT_EQ(window.boxes.end_requests, 1);
  EXPECT_TRUE(window.boxes.shown.empty());
  // "Help" showed the contents; the end closed every help window.
  EXPECT_EQ(platform.viewer.commands,
            (std::vector<uint32_t>{kHhDisplayToc, kHhDisplayTopic, kHhCloseAll}));
  for (const std::string& line : {std::string("Directory from the command line: C:\\other"),
                                  std::string("End, exit code 6 (cancelled by the user)")}) {
    EXPECT_TRUE(platform.Logged(line)) << line << "\n" << platform.log;
  }
  EXPECT_NE(platform.log.find("  Settings read from D:\\SETUP.INI"), std::string::npos);
}

TEST(SetupProgramTest, ALogWithoutANameTakesTheFirstFreeNumberInTheTemporaryDirectory) {
  ScriptedPlatform platform;
  platform.command_line = "D:\\SETUP.EXE /LOG /S";
  platform.system.files["C:\\TEMP\\Setup Log 2026-12-08 #001.txt"] = "";
  RunSetupProgram(platform);
  EXPECT_EQ(platform.log.rfind("[C:\\TEMP\\Setup Log 2026-12-08 #002.txt]\r\n", 0), 0u)
      << platform.log;
}

TEST(SetupProgramTest, ALogThatFailsMidRunEndsNothing) {
  ScriptedPlatform platform;
  platform.command_line = "D:\\SETUP.EXE /S /LOG=l.txt";
  platform.log_lines_left = 1;
  // The package's archive is no ZIP archive: the run goes on to that end.
  EXPECT_EQ(RunSetupProgram(platform), secArchiveProblem);
  EXPECT_EQ(platform.log,
            "[l.txt]\r\n2026-12-08 10:00:00  Setup 1.50 started, command line: /S /LOG=l.txt\r\n");
}

TEST(SetupProgramTest, TheWindowEndsWithTheCodeOfWhatHappened) {
  struct Case {
    const char* what;
    std::function<void(ScriptedSetupWindow&)> action;
    int32_t code;
  };
  const std::vector<Case> cases = {
      {"Quit before any run", [](ScriptedSetupWindow& w) { w.Press(TMainControl::QuitBtn); },
       secCancelled},
      {"the close box", [](ScriptedSetupWindow& w) { w.OnClose(); }, secCancelled},
      {"a run that could not open the archive, then Quit",
       [](ScriptedSetupWindow& w) {
         w.Press(TMainControl::InstallBtn);
         w.Press(TMainControl::QuitBtn);
       },
       secCancelled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedPlatform platform;
    platform.command_line = "D:\\SETUP.EXE /LOG=l.txt";
    platform.arrange_window = [&c](ScriptedSetupWindow& window) { window.actions = {c.action}; };
    EXPECT_EQ(RunSetupProgram(platform), c.code);
    EXPECT_TRUE(platform.Logged("End, exit code " + std::to_string(c.code) + " (" +
                                ExitCodeMeaning(c.code) + ")"))
        << platform.log;
  }
  // A fatal start-up problem: the window never shows, and the start-up failed.
  ScriptedPlatform fatal;
  fatal.system.files.erase("D:\\SETUP.INI");
  EXPECT_EQ(RunSetupProgram(fatal), secStartupProblem);
}

TEST(SetupProgramTest, NothingIsWrittenOverThePackagesOwnFiles) {
  for (const char* arguments :
       {"/LOG=setup.ini", "/S /LOG=D:\\SETUP.EXE", "/S /LOG=l.txt /DIAG=SETUP.TXT",
        "/DIAG=setup.chm", "/S /DIAG=prod.zip", "/LOG=l.txt /DIAG=D:\\Prod.Zip"}) {
    SCOPED_TRACE(arguments);
    ScriptedPlatform platform;
    platform.command_line = std::string("D:\\SETUP.EXE ") + arguments;
    EXPECT_EQ(RunSetupProgram(platform), secBadCommandLine);
    EXPECT_EQ(platform.log, "");
    EXPECT_TRUE(platform.diagnostic_files.empty());
    EXPECT_EQ(platform.window, nullptr);
  }
  // The same names elsewhere are fine.
  ScriptedPlatform platform;
  platform.command_line = "D:\\SETUP.EXE /LOG=C:\\setup.ini /DIAG=C:\\prod.zip";
  EXPECT_EQ(RunSetupProgram(platform), secInstalled);
  EXPECT_EQ(platform.diagnostic_files, (std::vector<std::string>{"C:\\prod.zip D:\\SETUP.INI"}));
}

TEST(SetupProgramTest, AFatalStartUpShowsItsBoxAndNeverTheWindow) {
  ScriptedPlatform platform;
  platform.system.files.erase("D:\\SETUP.TXT");
  EXPECT_EQ(RunSetupProgram(platform), secStartupProblem);
  ASSERT_NE(platform.window, nullptr);
  EXPECT_FALSE(platform.window->shown);
  ASSERT_EQ(platform.window->boxes.shown.size(), 1u);
  EXPECT_NE(platform.window->boxes.shown[0].Text.find("Could not find file D:\\SETUP.TXT"),
            std::string::npos);
  EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace
}  // namespace vx
