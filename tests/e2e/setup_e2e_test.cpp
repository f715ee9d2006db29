// setup.exe end to end under Wine: a copy of the staged package in a scratch
// folder, started as a user would start it, watched from outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "setup_driver.h"
#include "support/test_support.h"

namespace vx::e2e {
namespace {

namespace fs = std::filesystem;

const char* const kPackageFiles[] = {"setup.exe", "setup.INI", "setup.TXT", "setup.chm",
                                     "vestrix.zip"};

// Control identifiers of the main window: 100 + the control's place in the
// window's design (Memo1, InstDirLabel, ChangeDirBtn, SpaceNeededLabel,
// InstallBtn, Gauge1, QuitBtn, Button1, HelpBtn).
enum ControlId : int {
  kMemo1 = 100,
  kInstDirLabel,
  kChangeDirBtn,
  kSpaceNeededLabel,
  kInstallBtn,
  kGauge1,
  kQuitBtn,
  kButton1,
  kHelpBtn,
};

std::string FatalText(const std::string& problem) {
  return "A fatal error has occurred while running Setup. Problem is:\r\n\r\n" + problem +
         "\r\n\r\nSetup will be terminated";
}

std::string ScreenshotDir() {
  return test::HostToPlatformPath(VX_SCREENSHOT_DIR);
}

std::string CurrentTestName() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

// The staged package, copied to a scratch folder so a test may break it.
class Package {
 public:
  Package() {
    const std::string stage = test::HostToPlatformPath(VX_STAGE_DIR);
    for (const char* name : kPackageFiles) {
      std::error_code error;
      fs::copy_file(stage + "\\" + name, File(name), error);
      complete_ = complete_ && !error;
    }
  }
  bool Complete() const { return complete_; }
  const std::string& Dir() const { return scratch_.Path(); }
  std::string File(const std::string& name) const { return Dir() + "\\" + name; }
  void Remove(const std::string& name) const { fs::remove(File(name)); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(File(name), std::ios::binary) << text;
  }
  // The sample settings with some keys changed; an empty value drops the key.
  void WriteSettings(const std::map<std::string, std::string>& changes) const {
    std::map<std::string, std::string> values = {
        {"InstTitle", "VESTRIX 1.5"}, {"InstDir", "C:\\VX"},      {"DiskNeededMB", "1"},
        {"shortcuttitle", "VESTRIX"}, {"zipname", "vestrix.zip"}, {"exename", "vestrix.exe"}};
    for (const auto& [key, value] : changes) values[key] = value;
    std::string text = "[Settings]\r\n";
    for (const auto& [key, value] : values) {
      if (!value.empty()) text += key + "=" + value + "\r\n";
    }
    Write("setup.INI", text);
  }

 private:
  test::ScratchDir scratch_;
  bool complete_ = true;
};

class SetupE2E : public testing::Test {
 protected:
  void SetUp() override {
    if (!package.Complete()) {
      GTEST_FAIL() << "the staged package is incomplete in " << VX_STAGE_DIR;
    }
  }

  // Starts setup.exe and waits for its main window.
  HWND StartToMainWindow() {
    if (!process.Start(package.File("setup.exe"), package.Dir())) return nullptr;
    HWND window = WaitForWindow(process.Id(), "TForm1", kWindowDeadline);
    if (window != nullptr) Sleep(500);  // let it paint before it is captured
    return window;
  }

  void Screenshot(HWND window, const std::string& suffix = "") {
    const std::string path = SaveScreenshot(window, ScreenshotDir(), CurrentTestName() + suffix);
    EXPECT_FALSE(path.empty()) << "no screenshot";
    if (!path.empty()) std::printf("screenshot: %s\n", path.c_str());
  }

  // Closes the main window and expects the program to end cleanly, as
  // cancelled by the user.
  void CloseAndExpectExit(HWND window) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitDeadline, code)) << "setup.exe did not end";
    EXPECT_EQ(code, 6u);
  }

  Package package;
  SetupProcess process;
};

// Pixels of the captured window inside a child's bounds that satisfy `test`.
template <typename Test>
int CountPixels(HWND window, HWND child, Test test) {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;
  if (!Capture(window, width, height, rgb)) return -1;
  RECT outer{};
  RECT inner{};
  GetWindowRect(window, &outer);
  GetWindowRect(child, &inner);
  int count = 0;
  for (LONG y = inner.top - outer.top; y < inner.bottom - outer.top && y < height; ++y) {
    for (LONG x = inner.left - outer.left; x < inner.right - outer.left && x < width; ++x) {
      const uint8_t* p =
          &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
      count += test(p[0], p[1], p[2]) ? 1 : 0;
    }
  }
  return count;
}

bool IsRed(uint8_t r, uint8_t g, uint8_t b) {
  return r > 200 && g < 60 && b < 60;
}
bool IsDark(uint8_t r, uint8_t g, uint8_t b) {
  return r < 60 && g < 60 && b < 60;
}

TEST_F(SetupE2E, NormalStartShowsTheWindow) {
  HWND window = StartToMainWindow();
  ASSERT_NE(window, nullptr) << "the main window never appeared";
  Screenshot(window);

  EXPECT_EQ(TextOf(window), "Install VESTRIX 1.5");
  const RECT client = ClientRectOf(window);
  EXPECT_EQ(client.right, 492);
  EXPECT_EQ(client.bottom, 377);

  EXPECT_EQ(TextOf(GetDlgItem(window, kInstDirLabel)), "Install in directory: C:\\VX");
  const std::string space = TextOf(GetDlgItem(window, kSpaceNeededLabel));
  EXPECT_TRUE(
      std::regex_match(space, std::regex("Required disk space 1 megabytes\r\n"
                                         "Available disk space on C: (-1|[0-9]+) megabytes")))
      << space;
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, kGauge1)));

  // The readme, line breaks as CR LF.
  std::string readme = ReadWholeFile(package.File("setup.TXT"));
  readme = std::regex_replace(readme, std::regex("\r?\n"), "\r\n");
  while (readme.size() >= 2 && readme.compare(readme.size() - 2, 2, "\r\n") == 0) {
    readme.resize(readme.size() - 2);
  }
  EXPECT_EQ(TextOf(GetDlgItem(window, kMemo1)), readme);
  EXPECT_NE(GetWindowLongA(GetDlgItem(window, kMemo1), GWL_STYLE) & ES_READONLY, 0);

  struct Expected {
    int id;
    const char* text;
    RECT bounds;
  };
  const Expected controls[] = {
      {kMemo1, nullptr, {10, 10, 481, 217}},
      {kInstDirLabel, nullptr, {10, 232, 380, 252}},
      {kChangeDirBtn, "Change", {400, 228, 480, 253}},
      {kSpaceNeededLabel, nullptr, {10, 260, 380, 295}},
      {kInstallBtn, "INSTALL", {400, 267, 480, 292}},
      {kGauge1, nullptr, {8, 306, 385, 331}},
      {kQuitBtn, "Quit", {400, 306, 480, 331}},
      {kButton1, "Diagnostics", {400, 345, 480, 370}},
      {kHelpBtn, "Help", {8, 345, 88, 370}},
  };
  for (const Expected& control : controls) {
    SCOPED_TRACE(control.id);
    HWND child = GetDlgItem(window, control.id);
    ASSERT_NE(child, nullptr);
    const RECT bounds = BoundsInParent(child);
    EXPECT_EQ(bounds.left, control.bounds.left);
    EXPECT_EQ(bounds.top, control.bounds.top);
    EXPECT_EQ(bounds.right, control.bounds.right);
    EXPECT_EQ(bounds.bottom, control.bounds.bottom);
    if (control.text != nullptr) {
      EXPECT_EQ(TextOf(child), control.text);
    }
  }

  // Tab order: INSTALL, the memo, Change, Quit, Diagnostics, Help, round again.
  const int order[] = {kInstallBtn, kMemo1,   kChangeDirBtn, kQuitBtn,
                       kButton1,    kHelpBtn, kInstallBtn};
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    HWND next = GetNextDlgTabItem(window, GetDlgItem(window, order[i]), FALSE);
    EXPECT_EQ(GetDlgCtrlID(next), order[i + 1]) << "after " << order[i];
  }

  // Enough space: the space figures are black.
  HWND space_label = GetDlgItem(window, kSpaceNeededLabel);
  EXPECT_EQ(CountPixels(window, space_label, IsRed), 0);
  EXPECT_GT(CountPixels(window, space_label, IsDark), 50);

  CloseAndExpectExit(window);
}

TEST_F(SetupE2E, SpaceShortfallIsShownInRed) {
  package.WriteSettings({{"DiskNeededMB", "2000000000"}});
  HWND window = StartToMainWindow();
  ASSERT_NE(window, nullptr) << "the main window never appeared";
  Screenshot(window);
  HWND space_label = GetDlgItem(window, kSpaceNeededLabel);
  EXPECT_GT(CountPixels(window, space_label, IsRed), 50);
  EXPECT_EQ(CountPixels(window, GetDlgItem(window, kInstDirLabel), IsRed), 0);
  CloseAndExpectExit(window);
}

TEST_F(SetupE2E, LongReadmeScrolls) {
  std::string readme;
  for (int line = 1; line <= 400; ++line) {
    readme +=
        "Readme line " + std::to_string(line) + " of 400: the memo must scroll to show it\r\n";
  }
  package.Write("setup.TXT", readme);
  HWND window = StartToMainWindow();
  ASSERT_NE(window, nullptr) << "the main window never appeared";
  HWND memo = GetDlgItem(window, kMemo1);
  DWORD_PTR value = 0;
  SendMessageTimeoutA(memo, EM_GETLINECOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &value);
  EXPECT_GE(value, 400u);
  SendMessageTimeoutA(memo, EM_GETFIRSTVISIBLELINE, 0, 0, SMTO_ABORTIFHUNG, 5000, &value);
  EXPECT_EQ(value, 0u);

  SendMessageTimeoutA(memo, WM_VSCROLL, SB_BOTTOM, 0, SMTO_ABORTIFHUNG, 5000, &value);
  SendMessageTimeoutA(memo, EM_GETFIRSTVISIBLELINE, 0, 0, SMTO_ABORTIFHUNG, 5000, &value);
  EXPECT_GT(value, 350u);
  Sleep(300);
  Screenshot(window);
  CloseAndExpectExit(window);
}

// One start-up problem: how to cause it and what the fatal error names.
struct StartupProblem {
  const char* name;
  void (*cause)(const Package&);
  std::string (*problem)(const Package&);
};

void PrintTo(const StartupProblem& problem, std::ostream* out) {
  *out << problem.name;
}

class StartupFailure : public SetupE2E, public testing::WithParamInterface<StartupProblem> {};

TEST_P(StartupFailure, ShowsItsFatalErrorAndEndsAfterOK) {
  const StartupProblem& problem = GetParam();
  problem.cause(package);
  ASSERT_TRUE(process.Start(package.File("setup.exe"), package.Dir()));
  HWND box = WaitForWindow(process.Id(), "#32770", kWindowDeadline);
  ASSERT_NE(box, nullptr) << "no message box appeared";
  Sleep(300);
  Screenshot(box);

  EXPECT_EQ(TextOf(box), "Error");
  EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), FatalText(problem.problem(package)));
  HWND help = GetDlgItem(box, IDHELP);
  ASSERT_NE(help, nullptr) << "no Help button";
  EXPECT_TRUE(IsWindowEnabled(help));
  // Help does not close the box.
  Click(help);
  EXPECT_TRUE(IsWindow(box) && IsWindowVisible(box));
  for (HWND window : VisibleWindowsOf(process.Id())) EXPECT_NE(ClassOf(window), "TForm1");
  // The help viewer Help opened (none without a help file) stays until the
  // program ends.
  std::vector<HWND> viewers;
  if (HWND viewer = WaitForWindow(process.Id(), "HH Parent", 10000)) viewers.push_back(viewer);

  Click(GetDlgItem(box, IDOK));
  // The program ends; nothing else is shown on the way out.
  DWORD code = 99;
  bool ended = false;
  const DWORD start = GetTickCount();
  while (!ended && GetTickCount() - start < kExitAfterHelpDeadline) {
    for (HWND window : VisibleWindowsOf(process.Id())) {
      if (window == box) continue;  // still closing
      if (std::find(viewers.begin(), viewers.end(), window) != viewers.end()) continue;
      ADD_FAILURE() << "window after OK: " << ClassOf(window) << " \"" << TextOf(window) << '"';
    }
    ended = process.WaitForExit(100, code);
  }
  ASSERT_TRUE(ended) << "setup.exe did not end after OK";
  EXPECT_EQ(code, 1u);  // a start-up problem
}

std::string SettingsProblem(const Package& p, const char* key) {
  return std::string("No ") + key + " setting in file " + p.File("setup.INI");
}

const StartupProblem kStartupProblems[] = {
    {"HelpFileMissing", [](const Package& p) { p.Remove("setup.chm"); },
     [](const Package& p) { return "Could not find file " + p.File("setup.chm"); }},
    {"SettingsFileMissing", [](const Package& p) { p.Remove("setup.INI"); },
     [](const Package& p) { return "Could not find file " + p.File("setup.INI"); }},
    {"InstTitleMissing",
     [](const Package& p) {
       p.WriteSettings({{"InstTitle", ""}});
     },
     [](const Package& p) { return SettingsProblem(p, "InstTitle"); }},
    {"InstDirMissing",
     [](const Package& p) {
       p.WriteSettings({{"InstDir", ""}});
     },
     [](const Package& p) { return SettingsProblem(p, "InstDir"); }},
    {"DiskNeededNoNumber",
     [](const Package& p) {
       p.WriteSettings({{"DiskNeededMB", "abc"}});
     },
     [](const Package& p) { return SettingsProblem(p, "DiskNeededMB"); }},
    {"ExeNameMissing",
     [](const Package& p) {
       p.WriteSettings({{"exename", ""}});
     },
     [](const Package& p) { return SettingsProblem(p, "exename"); }},
    {"ZipNameMissing",
     [](const Package& p) {
       p.WriteSettings({{"zipname", ""}});
     },
     [](const Package& p) { return SettingsProblem(p, "zipname"); }},
    {"ArchiveMissing", [](const Package& p) { p.Remove("vestrix.zip"); },
     [](const Package& p) { return "Could not find file " + p.File("vestrix.zip"); }},
    {"ReadmeMissing", [](const Package& p) { p.Remove("setup.TXT"); },
     [](const Package& p) { return "Could not find file " + p.File("setup.TXT"); }},
    // Several problems: only the first is seen.
    {"TitleAndDirectoryMissing",
     [](const Package& p) {
       p.WriteSettings({{"InstTitle", ""}, {"InstDir", ""}});
     },
     [](const Package& p) { return SettingsProblem(p, "InstTitle"); }},
};

INSTANTIATE_TEST_SUITE_P(Each, StartupFailure, testing::ValuesIn(kStartupProblems),
                         [](const auto& info) { return std::string(info.param.name); });

// Screenshots want the frame and caption drawn; under Xvfb there is no window
// manager to draw them, so Wine is asked to draw its own.
class WineDecorations : public testing::Environment {
 public:
  void SetUp() override {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(key, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
      RegCloseKey(key);
    }
  }
};
const auto* const kDecorations = testing::AddGlobalTestEnvironment(new WineDecorations);

}  // namespace
}  // namespace vx::e2e
