#include "setup_driver.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "png_writer.h"
#include "support/test_support.h"

namespace vx::e2e {

namespace {

constexpr DWORD kPoll = 50;
constexpr UINT kMessageTimeout = 5000;

struct SearchState {
  DWORD process_id;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lparam) {
  auto* state = reinterpret_cast<SearchState*>(lparam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == state->process_id && IsWindowVisible(window)) state->found.push_back(window);
  return TRUE;
}

}  // namespace

SetupProcess::~SetupProcess() {
  if (info_.hProcess != nullptr) {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 255);
      WaitForSingleObject(info_.hProcess, kExitDeadline);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
}

bool SetupProcess::Start(const std::string& exe, const std::string& directory,
                         const std::string& arguments) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string command_line = "\"" + exe + "\"";
  if (!arguments.empty()) command_line += " " + arguments;
  return CreateProcessA(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &info_) != 0;
}

bool SetupProcess::WaitForExit(DWORD deadline, DWORD& code) {
  if (info_.hProcess == nullptr) return false;
  if (WaitForSingleObject(info_.hProcess, deadline) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(info_.hProcess, &code) != 0;
}

std::vector<HWND> VisibleWindowsOf(DWORD process_id) {
  SearchState state{process_id, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

int64_t RunWatchingWindows(SetupProcess& process, const std::string& exe,
                           const std::string& directory, const std::string& arguments,
                           std::vector<std::string>& windows_seen) {
  if (!process.Start(exe, directory, arguments)) return -1;
  const DWORD start = GetTickCount();
  DWORD code = 0;
  while (!process.WaitForExit(5, code)) {
    for (HWND window : VisibleWindowsOf(process.Id())) {
      windows_seen.push_back(ClassOf(window) + " \"" + TextOf(window) + "\"");
    }
    if (GetTickCount() - start > 60000) return -1;
  }
  return code;
}

HWND WaitForWindow(DWORD process_id, const std::string& window_class, DWORD deadline) {
  const DWORD start = GetTickCount();
  do {
    for (HWND window : VisibleWindowsOf(process_id)) {
      if (ClassOf(window) == window_class) return window;
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < deadline);
  return nullptr;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout,
                          &length) == 0) {
    return "";
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, kMessageTimeout, &copied) == 0) {
    return "";
  }
  text.resize(copied);
  return text;
}

RECT BoundsInParent(HWND child) {
  RECT bounds{};
  GetWindowRect(child, &bounds);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&bounds), 2);
  return bounds;
}

RECT ClientRectOf(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return client;
}

void Click(HWND button) {
  PostMessageA(button, BM_CLICK, 0, 0);
  Sleep(200);
}

bool Capture(HWND window, int32_t& width, int32_t& height, std::vector<uint8_t>& rgb) {
  RECT frame{};
  if (!GetWindowRect(window, &frame)) return false;
  width = frame.right - frame.left;
  height = frame.bottom - frame.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied =
      BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY) != 0;
  SelectObject(memory, old);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> bgr(stride * static_cast<size_t>(height));
  const bool read = copied && GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), bgr.data(),
                                        &info, DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!read) return false;

  rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* source = &bgr[stride * static_cast<size_t>(y) + static_cast<size_t>(x) * 3];
      uint8_t* target =
          &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
      target[0] = source[2];
      target[1] = source[1];
      target[2] = source[0];
    }
  }
  return true;
}

std::string SaveScreenshot(HWND window, const std::string& dir, const std::string& name) {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;
  if (!Capture(window, width, height, rgb)) return "";
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::string path = dir + "\\" + name + ".png";
  return WritePng(path, width, height, rgb) ? path : "";
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool CopyStagedPackage(const std::string& folder, std::string& missing) {
  const std::string stage = test::HostToPlatformPath(VX_STAGE_DIR);
  for (const char* name : kPackageFiles) {
    std::error_code error;
    std::filesystem::copy_file(stage + "\\" + name, folder + "\\" + name,
                               std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
      missing = name;
      return false;
    }
  }
  return true;
}

std::string FreshInstallDir(const std::string& prefix) {
  std::random_device random;
  return "C:\\" + prefix + std::to_string(random() % 100000);
}

std::string SampleSettings(const std::string& inst_dir, const std::string& shortcut_title) {
  return "[Settings]\r\nInstTitle=VESTRIX 1.5\r\nInstDir=" + inst_dir +
         "\r\nDiskNeededMB=1\r\nshortcuttitle=" + shortcut_title +
         "\r\nzipname=vestrix.zip\r\nexename=vestrix.exe\r\n";
}

std::map<std::string, std::filesystem::path> SampleProductTree() {
  namespace fs = std::filesystem;
  const fs::path tree =
      fs::path(test::HostToPlatformPath(VX_STAGE_DIR)).parent_path() / "sample" / "product";
  std::map<std::string, fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(tree, error)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), tree).string()] = entry.path();
  }
  return files;
}

}  // namespace vx::e2e
