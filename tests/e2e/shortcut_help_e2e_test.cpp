// The help of setup.exe under Wine: the "Help" button and the Help button of
// the fatal-error box open the system's help viewer on the help file beside
// the program, and the viewer closes when the program ends. Which page the
// viewer opened is read from the viewer's own trace by check_help_viewer.sh,
// which runs these cases again.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "setup_driver.h"
#include "support/test_support.h"

namespace vx::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kHelpBtn = 108;  // 100 + the Help button's place in the window's design
constexpr const char* kViewerClass = "HH Parent";
// The title the sample help file gives its viewer window.
constexpr const char* kHelpTitle = "VESTRIX Setup Help";

int CountWindows(DWORD process_id, const std::string& window_class) {
  int count = 0;
  for (HWND window : VisibleWindowsOf(process_id)) count += ClassOf(window) == window_class;
  return count;
}

class HelpE2E : public testing::Test {
 protected:
  void SetUp() override {
    const std::string stage = test::HostToPlatformPath(VX_STAGE_DIR);
    for (const char* name : {"setup.exe", "setup.INI", "setup.TXT", "setup.chm", "vestrix.zip"}) {
      std::error_code error;
      fs::copy_file(stage + "\\" + name, dir_.File(name), error);
      ASSERT_FALSE(error) << "the staged package is incomplete in " << VX_STAGE_DIR;
    }
  }

  void Start() { ASSERT_TRUE(process_.Start(dir_.File("setup.exe"), dir_.Path())); }

  // Waits for the viewer and checks that it shows the package's help file.
  HWND ExpectViewer() {
    HWND viewer = WaitForWindow(process_.Id(), kViewerClass, kWindowDeadline);
    EXPECT_NE(viewer, nullptr) << "no help viewer opened";
    if (viewer == nullptr) return nullptr;
    // The viewer names its window once it has read the help file.
    const DWORD start = GetTickCount();
    while (TextOf(viewer) != kHelpTitle && GetTickCount() - start < kWindowDeadline) Sleep(50);
    EXPECT_EQ(TextOf(viewer), kHelpTitle);
    return viewer;
  }

  void Screenshot(HWND window, const std::string& name) {
    Sleep(500);
    const std::string path =
        SaveScreenshot(window, test::HostToPlatformPath(VX_SCREENSHOT_DIR), name);
    EXPECT_FALSE(path.empty()) << "no screenshot";
    if (!path.empty()) std::printf("screenshot: %s\n", path.c_str());
  }

  // The program ends, and the viewer with it.
  void ExpectExit(HWND viewer, DWORD expected_code) {
    DWORD code = 99;
    ASSERT_TRUE(process_.WaitForExit(kExitAfterHelpDeadline, code)) << "setup.exe did not end";
    EXPECT_EQ(code, expected_code);
    EXPECT_FALSE(IsWindow(viewer)) << "the help viewer outlived the program";
  }

  test::ScratchDir dir_;
  SetupProcess process_;
};

TEST_F(HelpE2E, HelpButtonOpensTheViewer) {
  Start();
  HWND window = WaitForWindow(process_.Id(), "TForm1", kWindowDeadline);
  ASSERT_NE(window, nullptr);
  HWND help = GetDlgItem(window, kHelpBtn);
  ASSERT_EQ(TextOf(help), "Help");
  Click(help);
  HWND viewer = ExpectViewer();
  ASSERT_NE(viewer, nullptr);
  Screenshot(viewer, "HelpE2E.HelpButtonOpensTheViewer");
  // A second press shows the same viewer again, not a second one.
  Click(help);
  Sleep(500);
  EXPECT_EQ(CountWindows(process_.Id(), kViewerClass), 1);
  EXPECT_TRUE(IsWindowVisible(window));

  PostMessageA(window, WM_CLOSE, 0, 0);
  ExpectExit(viewer, 6);  // closed by the user
}

TEST_F(HelpE2E, FatalErrorBoxHelpOpensTheViewer) {
  fs::remove(dir_.File("setup.INI"));
  Start();
  HWND box = WaitForWindow(process_.Id(), "#32770", kWindowDeadline);
  ASSERT_NE(box, nullptr) << "no fatal-error box";
  Click(GetDlgItem(box, IDHELP));
  HWND viewer = ExpectViewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(IsWindow(box) && IsWindowVisible(box)) << "Help closed the box";

  Click(GetDlgItem(box, IDOK));
  ExpectExit(viewer, 1);  // a start-up problem
}

}  // namespace
}  // namespace vx::e2e
