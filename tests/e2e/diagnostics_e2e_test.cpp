// The diagnostics window end to end under Wine: setup.exe started on a copy
// of the staged package, the sample product unpacked into a product
// directory with a blank in its name, "Diagnostics" pressed, the KELDA
// stand-in's lines awaited, Copy and Save checked against the memo.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "archive/unzipper.h"
#include "setup_driver.h"
#include "support/test_support.h"

namespace vx::e2e {
namespace {

namespace fs = std::filesystem;

const char* const kPackageFiles[] = {"setup.exe", "setup.INI", "setup.TXT", "setup.chm",
                                     "vestrix.zip"};
constexpr int kMainButton1 = 107;  // the main window's "Diagnostics"

// The diagnostics window's controls: OK is IDOK, the others 200 + their
// place in the design (Panel1, Label1, OKButton, CopyBtn, SaveBtn, Memo1).
constexpr int kPanel1 = 200;
constexpr int kLabel1 = 201;
constexpr int kCopyBtn = 203;
constexpr int kSaveBtn = 204;
constexpr int kMemo1 = 205;

constexpr DWORD kToolDeadline = 30000;

const char* const kLabelCaption =
    "If you would like to report a problem, please copy the contents of the memo below into "
    "your email describing the problem, or save the contents as a file and attach it.";

struct ChildSearch {
  std::string window_class;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM lparam) {
  auto* search = reinterpret_cast<ChildSearch*>(lparam);
  if (ClassOf(child) == search->window_class) search->found.push_back(child);
  return TRUE;
}

std::vector<HWND> ChildrenOfClass(HWND window, const std::string& window_class) {
  ChildSearch search{window_class, {}};
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A visible top-level window of the process with that class and caption.
HWND WaitForCaption(DWORD process_id, const std::string& window_class, const std::string& caption,
                    DWORD deadline) {
  const DWORD start = GetTickCount();
  do {
    for (HWND window : VisibleWindowsOf(process_id)) {
      if (ClassOf(window) == window_class && TextOf(window) == caption) return window;
    }
    Sleep(50);
  } while (GetTickCount() - start < deadline);
  return nullptr;
}

bool WaitUntilGone(HWND window, DWORD deadline) {
  const DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start >= deadline) return false;
    Sleep(50);
  }
  return true;
}

// Waits until the file holds `expected`; what it holds either way.
std::string WaitForFile(const std::string& path, const std::string& expected) {
  const DWORD start = GetTickCount();
  std::string bytes = ReadWholeFile(path);
  while (bytes != expected && GetTickCount() - start < kWindowDeadline) {
    Sleep(100);
    bytes = ReadWholeFile(path);
  }
  return bytes;
}

std::string ClipboardText() {
  std::string text;
  for (int attempt = 0; attempt < 20 && !OpenClipboard(nullptr); ++attempt) Sleep(50);
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
      text = bytes;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

// The save dialog's file-name field: its one edit that holds a name.
HWND FileNameField(HWND dialog) {
  for (HWND edit : ChildrenOfClass(dialog, "Edit")) {
    if (IsWindowVisible(edit)) return edit;
  }
  return nullptr;
}

void SetText(HWND window, const std::string& text) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 5000, &result);
}

std::string CurrentTestName() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

class ScopedVxDir {
 public:
  explicit ScopedVxDir(const std::string& value) {
    char saved[4096];
    const DWORD length = GetEnvironmentVariableA("VXDIR", saved, sizeof saved);
    had_ = length > 0 && length < sizeof saved;
    if (had_) saved_ = saved;
    SetEnvironmentVariableA("VXDIR", value.c_str());
  }
  ~ScopedVxDir() { SetEnvironmentVariableA("VXDIR", had_ ? saved_.c_str() : nullptr); }

 private:
  bool had_ = false;
  std::string saved_;
};

class DiagnosticsE2E : public testing::Test {
 protected:
  void SetUp() override {
    const std::string stage = test::HostToPlatformPath(VX_STAGE_DIR);
    for (const char* name : kPackageFiles) {
      std::error_code error;
      fs::copy_file(stage + "\\" + name, package_.Path() + "\\" + name, error);
      ASSERT_FALSE(error) << "the staged package lacks " << name << " in " << VX_STAGE_DIR;
    }
  }

  // Unpacks the sample product as the installation would.
  void InstallProduct(const std::string& dir) {
    fs::create_directories(dir);
    TAbUnZipper unzipper{RefuseEveryDisk()};
    unzipper.SetFileName(package_.Path() + "\\vestrix.zip");
    unzipper.SetBaseDirectory(dir);
    unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
    unzipper.ExtractFiles("*.*");
    unzipper.CloseArchive();
  }

  // Starts setup.exe, presses "Diagnostics" and waits for the window.
  HWND OpenDiagnostics() {
    if (!process_.Start(package_.Path() + "\\setup.exe", package_.Path())) return nullptr;
    main_ = WaitForWindow(process_.Id(), "TForm1", kWindowDeadline);
    if (main_ == nullptr) return nullptr;
    Click(GetDlgItem(main_, kMainButton1));
    return WaitForWindow(process_.Id(), "TrvDiagForm", kWindowDeadline);
  }

  // Waits until the memo's text holds `text`; the memo's text either way.
  std::string WaitForMemo(HWND diag, const std::string& text) {
    const DWORD start = GetTickCount();
    std::string memo = TextOf(GetDlgItem(diag, kMemo1));
    while (memo.find(text) == std::string::npos && GetTickCount() - start < kToolDeadline) {
      Sleep(100);
      memo = TextOf(GetDlgItem(diag, kMemo1));
    }
    return memo;
  }

  void Screenshot(HWND window) {
    const std::string path =
        SaveScreenshot(window, test::HostToPlatformPath(VX_SCREENSHOT_DIR), CurrentTestName());
    EXPECT_FALSE(path.empty()) << "no screenshot";
    if (!path.empty()) std::printf("screenshot: %s\n", path.c_str());
  }

  // Closes the diagnostics window with OK; the main window waits on.
  void CloseDiagnostics(HWND diag) {
    Click(GetDlgItem(diag, IDOK));
    EXPECT_TRUE(WaitUntilGone(diag, kWindowDeadline)) << "the diagnostics window stayed";
    EXPECT_TRUE(IsWindowVisible(main_));
    EXPECT_TRUE(IsWindowEnabled(main_));
    EXPECT_EQ(TextOf(main_), "Install VESTRIX 1.5");
    DWORD code = 99;
    EXPECT_FALSE(process_.WaitForExit(0, code)) << "setup.exe ended with the window";
    PostMessageA(main_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(process_.WaitForExit(kExitDeadline, code)) << "setup.exe did not end";
    EXPECT_EQ(code, 6u);  // closed by the user
  }

  test::ScratchDir package_;
  test::ScratchDir product_root_;
  SetupProcess process_;
  HWND main_ = nullptr;
};

TEST_F(DiagnosticsE2E, ShowsTheToolsReportAndCopiesAndSavesTheMemo) {
  const std::string product = product_root_.Path() + "\\Vestrix Product";
  ASSERT_NO_THROW(InstallProduct(product));
  ASSERT_TRUE(fs::exists(product + "\\KELDA.EXE")) << "the sample product has no KELDA.EXE";
  ScopedVxDir vxdir(product);

  HWND diag = OpenDiagnostics();
  ASSERT_NE(diag, nullptr) << "the diagnostics window never appeared";
  EXPECT_EQ(TextOf(diag), " Diagnostics");
  EXPECT_EQ(GetWindow(diag, GW_OWNER), main_);
  EXPECT_FALSE(IsWindowEnabled(main_)) << "the window is not modal";

  // The tool's lines arrive after a while; the last two of its report are left out.
  const std::string header = "Contents of RPT file from KELDA: " + product + "\\kelda.rpt";
  const std::string memo = WaitForMemo(diag, "Models translated: ");
  Sleep(300);  // let it paint
  Screenshot(diag);
  const std::regex tool_lines(
      "(^|\r\n)  \r\n  \r\n" +
          std::regex_replace(header, std::regex(R"([\\.^$|()\[\]{}*+?])"), R"(\$&)") +
          "\r\nKELDA 1\\.5 translation tool \\(VESTRIX sample package\\)"
          "\r\nProgram file: [^\r\n]*\\\\Vestrix Product\\\\Kelda\\.Exe"
          "\r\nWorking directory: [^\r\n]*\\\\Vestrix Product"
          "\r\nWindow shown as: 7"
          "\r\nStored-input file: [^\r\n]*\\\\Vestrix Product\\\\kelrpt\\.sti"
          "\r\nRequest: RPT"
          "\r\nReport file: [^\r\n]*\\\\Vestrix Product\\\\kelda\\.rpt"
          "\r\nOptions: \"  \""
          "\r\nRuntime markers: [^\r\n]*"
          "\r\nModels translated: 0"
          "\r\nReport written [0-9: -]+$",
      std::regex::icase);
  EXPECT_TRUE(std::regex_search(memo, tool_lines)) << memo.substr(memo.find(header) - 8);
  EXPECT_EQ(memo.find("END KELDA"), std::string::npos);
  // The report above them: this program, its settings file and the product
  // with the flavours its three executables carry.
  const std::string report = memo.substr(0, memo.find("\r\n  \r\n  \r\n" + header));
  const std::string exe = product + "\\";
  for (const std::string& line : std::vector<std::string>{
           "Program: Setup", "Version 1.50,  13/Mar/2007", "VESTRIX directory is " + product,
           "Program Ini Name: " + package_.Path() + "\\setup.INI",
           "Complete Contents of Environment:",
           "**** WARNING **** KELDA and SORVIN have different Lahey/Fujitsu flavours",
           "**** WARNING **** SORVIN and MIRELT have different Lahey/Fujitsu flavours"}) {
    EXPECT_NE(report.find("\r\n" + line + "\r\n"), std::string::npos) << line;
  }
  for (const std::string& flavour :
       {"KELDA is " + exe + "KELDA.EXE  Lahey LF95(Vestrix)  .+  flavour: New Fujitsu",
        "SORVIN is " + exe + "SORVIN.EXE  Lahey F77  .+  flavour: Old Lahey",
        "MIRELT is " + exe + "MIRELT.EXE  Intel Fortran(Vestrix)  .+  flavour: New Fujitsu"}) {
    const std::string pattern =
        std::regex_replace(flavour, std::regex(R"([\\^$|()\[\]{}*?])"), R"(\$&)");
    EXPECT_TRUE(std::regex_search(report, std::regex("\r\n" + pattern + "\r\n"))) << flavour;
  }
  EXPECT_EQ(report.find("KELDA and MIRELT have different"), std::string::npos);
  // Both of the tool's files are cleared away.
  EXPECT_FALSE(fs::exists(product + "\\kelda.rpt"));
  EXPECT_FALSE(fs::exists(product + "\\kelrpt.sti"));

  // The top of the report is in view.
  DWORD_PTR first_line = 99;
  SendMessageTimeoutA(GetDlgItem(diag, kMemo1), EM_GETFIRSTVISIBLELINE, 0, 0, SMTO_ABORTIFHUNG,
                      5000, &first_line);
  EXPECT_EQ(first_line, 0u);
  std::printf("first lines of the memo:\n");
  size_t at = 0;
  for (int line = 0; line < 15 && at != std::string::npos; ++line) {
    const size_t end = memo.find("\r\n", at);
    std::printf("  %s\n", memo.substr(at, end - at).c_str());
    at = end == std::string::npos ? end : end + 2;
  }

  // Copy: the whole memo on the clipboard.
  Click(GetDlgItem(diag, kCopyBtn));
  EXPECT_EQ(ClipboardText(), memo);

  // Save, through the real dialog, under a name of our own.
  const std::string saved = product_root_.Path() + "\\my report.txt";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Click(GetDlgItem(diag, kSaveBtn));
    HWND dialog = WaitForCaption(process_.Id(), "#32770", " Save Diagnostic File", kWindowDeadline);
    ASSERT_NE(dialog, nullptr) << "no save dialog";
    HWND name = FileNameField(dialog);
    ASSERT_NE(name, nullptr) << "no file name field";
    EXPECT_EQ(TextOf(name), "Diag.txt");  // every time, whatever was saved before
    SetText(name, saved);
    Click(GetDlgItem(dialog, IDOK));
    if (round == 1) {
      // The file exists now: the dialog asks before replacing it.
      HWND confirm = nullptr;
      const DWORD start = GetTickCount();
      while (confirm == nullptr && GetTickCount() - start < kWindowDeadline) {
        for (HWND window : VisibleWindowsOf(process_.Id())) {
          if (window != dialog && ClassOf(window) == "#32770" && GetDlgItem(window, IDYES)) {
            confirm = window;
          }
        }
        Sleep(50);
      }
      ASSERT_NE(confirm, nullptr) << "no question before replacing the file";
      Click(GetDlgItem(confirm, IDYES));
    }
    EXPECT_TRUE(WaitUntilGone(dialog, kWindowDeadline)) << "the save dialog stayed";
    EXPECT_EQ(WaitForFile(saved, memo + "\r\n"), memo + "\r\n");
    fs::resize_file(saved, 3);  // so the second round shows the file replaced
  }

  // The layout at 96 pixels per inch: client 544 x 471, memo and panel 534 wide.
  HDC screen = GetDC(nullptr);
  const int pixels_per_inch = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (pixels_per_inch == 96) {
    const RECT client = ClientRectOf(diag);
    EXPECT_EQ(client.right, 544);
    EXPECT_EQ(client.bottom, 471);
    struct Expected {
      int id;
      const char* window_class;
      const char* text;
      RECT bounds;
    };
    const Expected controls[] = {
        {kPanel1, "Static", nullptr, {5, 4, 539, 100}},
        {kLabel1, "Static", kLabelCaption, {13, 12, 531, 90}},
        {IDOK, "Button", "OK", {5, 440, 75, 467}},
        {kCopyBtn, "Button", "&Copy", {80, 440, 150, 467}},
        {kSaveBtn, "Button", "&Save", {155, 440, 225, 467}},
        {kMemo1, "Edit", nullptr, {5, 107, 539, 435}},
    };
    for (const Expected& control : controls) {
      SCOPED_TRACE(control.id);
      HWND child = GetDlgItem(diag, control.id);
      ASSERT_NE(child, nullptr);
      EXPECT_EQ(ClassOf(child), control.window_class);
      const RECT bounds = BoundsInParent(child);
      EXPECT_EQ(bounds.left, control.bounds.left);
      EXPECT_EQ(bounds.top, control.bounds.top);
      EXPECT_EQ(bounds.right, control.bounds.right);
      EXPECT_EQ(bounds.bottom, control.bounds.bottom);
      if (control.text != nullptr) {
        EXPECT_EQ(TextOf(child), control.text);
      }
    }
  }
  EXPECT_NE(GetWindowLongA(GetDlgItem(diag, kMemo1), GWL_STYLE) & ES_READONLY, 0);
  // Tab order: OK, Save, the memo, Copy, round again.
  const int order[] = {IDOK, kSaveBtn, kMemo1, kCopyBtn, IDOK};
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    HWND next = GetNextDlgTabItem(diag, GetDlgItem(diag, order[i]), FALSE);
    EXPECT_EQ(GetDlgCtrlID(next), order[i + 1]) << "after " << order[i];
  }

  CloseDiagnostics(diag);
}

TEST_F(DiagnosticsE2E, ProductWithoutTheToolIsNamedInTheMemo) {
  const std::string product = product_root_.Path() + "\\empty product";
  fs::create_directories(product);
  ScopedVxDir vxdir(product);

  HWND diag = OpenDiagnostics();
  ASSERT_NE(diag, nullptr) << "the diagnostics window never appeared";
  EXPECT_EQ(FocusOf(diag), GetDlgItem(diag, IDOK)) << "OK has not the focus";
  // Centred on the main window.
  RECT outer{};
  RECT inner{};
  GetWindowRect(main_, &outer);
  GetWindowRect(diag, &inner);
  EXPECT_LE(std::abs((outer.left + outer.right) - (inner.left + inner.right)), 1);
  EXPECT_LE(std::abs((outer.top + outer.bottom) - (inner.top + inner.bottom)), 1);
  const std::string line = "Could not locate file: " + product + "\\Kelda.Exe";
  const std::string memo = WaitForMemo(diag, line);
  ASSERT_GE(memo.size(), line.size());
  EXPECT_EQ(memo.substr(memo.size() - line.size()), line);
  Sleep(1000);  // nothing more comes
  EXPECT_EQ(TextOf(GetDlgItem(diag, kMemo1)), memo);
  EXPECT_EQ(memo.find("Contents of RPT file"), std::string::npos);
  CloseDiagnostics(diag);
}

}  // namespace
}  // namespace vx::e2e
