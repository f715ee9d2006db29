// Drives a running setup.exe from outside, as a user would: finds its
// windows, reads their texts, presses their buttons and takes screenshots.
// Every wait has a deadline, so a test that goes wrong fails instead of
// hanging.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vx::e2e {

// Milliseconds the tests wait for a window to appear or a process to end.
constexpr DWORD kWindowDeadline = 30000;
constexpr DWORD kExitDeadline = 20000;
// A program that opened the help viewer takes longer to end: in a Wine prefix
// that has not run it before, closing the viewer alone takes about 25 s.
constexpr DWORD kExitAfterHelpDeadline = 90000;

class SetupProcess {
 public:
  SetupProcess() = default;
  SetupProcess(const SetupProcess&) = delete;
  SetupProcess& operator=(const SetupProcess&) = delete;
  // Ends the program if it still runs.
  ~SetupProcess();

  // Starts `exe` with `directory` as its working directory, and `arguments`
  // after the program's name on its command line.
  bool Start(const std::string& exe, const std::string& directory,
             const std::string& arguments = "");
  DWORD Id() const { return info_.dwProcessId; }
  // True when the program ended within `deadline` ms; its exit code in `code`.
  bool WaitForExit(DWORD deadline, DWORD& code);

 private:
  PROCESS_INFORMATION info_{};
};

// Runs `exe` in `directory` with `arguments` to its end, adding each window
// it shows (as `class "text"`) to `windows_seen`; the exit code, or -1 when
// it did not start or did not end within a minute.
int64_t RunWatchingWindows(SetupProcess& process, const std::string& exe,
                           const std::string& directory, const std::string& arguments,
                           std::vector<std::string>& windows_seen);

// The visible top-level windows of a process.
std::vector<HWND> VisibleWindowsOf(DWORD process_id);
// Waits for a visible top-level window of the process with that window
// class; nullptr when none appeared within `deadline` ms.
HWND WaitForWindow(DWORD process_id, const std::string& window_class, DWORD deadline);

std::string ClassOf(HWND window);
// The text of a window of any process (WM_GETTEXT with a timeout).
std::string TextOf(HWND window);
// A child's bounds in its parent's client coordinates.
RECT BoundsInParent(HWND child);
RECT ClientRectOf(HWND window);

// Presses a push button of another process and lets its handler run.
void Click(HWND button);

// Copies the window's screen area into `rgb` (top row first, 3 bytes per
// pixel); false when the screen cannot be read.
bool Capture(HWND window, int32_t& width, int32_t& height, std::vector<uint8_t>& rgb);
// Captures the window and saves it as `<dir>\<name>.png`; returns the path
// or "" on failure.
std::string SaveScreenshot(HWND window, const std::string& dir, const std::string& name);

// Reads a whole file; "" when it cannot.
std::string ReadWholeFile(const std::filesystem::path& path);
// Writes `bytes` as the whole file, replacing it.
void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);

// The control identifier of a message box's text.
constexpr int kMessageTextId = 0xFFFF;
// The files of the staged package that sit beside setup.exe, but the settings.
constexpr const char* kPackageFiles[] = {"setup.exe", "setup.TXT", "setup.chm", "vestrix.zip"};
// Copies kPackageFiles from the stage into `folder`, replacing what is there;
// false with the first file that could not be copied in `missing`.
bool CopyStagedPackage(const std::string& folder, std::string& missing);
// A fresh short directory in the root of C: (`prefix` and a random number).
std::string FreshInstallDir(const std::string& prefix);
// The sample package's settings, installing "VESTRIX 1.5" into `inst_dir`
// with the shortcut title (and Add/Remove Programs key) `shortcut_title`.
std::string SampleSettings(const std::string& inst_dir, const std::string& shortcut_title);
// The files the sample archive was zipped from, by relative name.
std::map<std::string, std::filesystem::path> SampleProductTree();

}  // namespace vx::e2e
