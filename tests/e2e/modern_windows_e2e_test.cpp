// setup.exe and vxzip.exe on today's Windows, under Wine: the application
// manifest read back from both programs; libraries planted beside setup.exe
// never loaded (start-up, Help, the diagnostic report, an installation); the
// report's Windows line under Windows 10 and its memory line in full; the
// diagnostics window's Save dialog opening in the current directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "setup_driver.h"
#include "support/test_support.h"

namespace vx::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kMainButton1 = 107;  // "Diagnostics"
constexpr int kHelpBtn = 108;
constexpr int kSaveBtn = 204;
constexpr int kMemo1 = 205;
constexpr const char* kPlantedLibraries[] = {"version.dll", "hhctrl.ocx", "psapi.dll"};

std::string Staged(const std::string& name) {
  return test::HostToPlatformPath(VX_STAGE_DIR) + "\\" + name;
}
std::string Built(const std::string& relative) {
  return test::BinaryDir() + "\\" + relative;
}

// The text of the first line of `text` that begins with `start`; "" when none.
std::string LineStarting(const std::string& text, const std::string& start) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    if (text.compare(at, start.size(), start) == 0) return text.substr(at, end - at);
    at = end + 2;
  }
  return "";
}

// The line of `text` that holds `part`; "" when none.
std::string LineWith(const std::string& text, const std::string& part) {
  const size_t found = text.find(part);
  if (found == std::string::npos) return "";
  const size_t begin = text.rfind("\r\n", found);
  const size_t start = begin == std::string::npos ? 0 : begin + 2;
  return text.substr(start, text.find("\r\n", found) - start);
}

// Runs `exe` with `arguments` to its end in `directory`; its exit code, or
// -1 when it did not end in time.
int64_t RunToEnd(const std::string& exe, const std::string& directory,
                 const std::string& arguments) {
  SetupProcess process;
  if (!process.Start(exe, directory, arguments)) return -1;
  DWORD code = 0;
  if (!process.WaitForExit(60000, code)) return -1;
  return code;
}

// --- The manifest ---------------------------------------------------------

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
  reinterpret_cast<std::vector<std::string>*>(names)->push_back(
      IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name)) : name);
  return TRUE;
}

TEST(ManifestE2E, BothProgramsCarryOneManifestAskingForNoElevation) {
  const std::string supported_os[] = {
      "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
      "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
  };
  for (const std::string& program : {Staged("setup.exe"), Built("bin\\vxzip.exe")}) {
    SCOPED_TRACE(program);
    HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "cannot read the program's resources";
    // One manifest only, the one Windows reads when it starts a program.
    std::vector<std::string> names;
    EnumResourceNamesA(module, MAKEINTRESOURCEA(24), CollectName,
                       reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::vector<std::string>{"#1"});
    std::string manifest;
    if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
      HGLOBAL data = LoadResource(module, resource);
      const char* bytes = data != nullptr ? static_cast<const char*>(LockResource(data)) : nullptr;
      if (bytes != nullptr) manifest.assign(bytes, SizeofResource(module, resource));
    }
    FreeLibrary(module);
    ASSERT_FALSE(manifest.empty()) << "no manifest";

    EXPECT_TRUE(
        std::regex_search(manifest, std::regex("<requestedExecutionLevel\\s+level=\"asInvoker\"\\s+"
                                               "uiAccess=\"false\"\\s*/>")))
        << manifest;
    for (const std::string& id : supported_os) {
      EXPECT_NE(manifest.find("<supportedOS Id=\"" + id + "\"/>"), std::string::npos) << id;
    }
    // Laid out in pixels: Windows scales the windows, the program does not.
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
  }
}

// --- Planted libraries ----------------------------------------------------

// A copy of the staged package in a scratch folder.
class PackageE2E : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"setup.exe", "setup.INI", "setup.TXT", "setup.chm", "vestrix.zip"}) {
      std::error_code error;
      fs::copy_file(Staged(name), package_.File(name), error);
      ASSERT_FALSE(error) << "the staged package lacks " << name;
    }
  }

  // Places the stand-ins in `dir`.
  static void Plant(const std::string& dir) {
    for (const char* name : kPlantedLibraries) {
      std::error_code error;
      fs::copy_file(Built(std::string("planted\\") + name), dir + "\\" + name, error);
      ASSERT_FALSE(error) << "the stand-in " << name << " was not built";
    }
  }

  // The programs that loaded the stand-in `name` from `dir` ("loaded") or
  // called one of its functions ("called"), one a line.
  static std::string Marks(const std::string& dir, const std::string& name, const char* what) {
    return ReadWholeFile(dir + "\\" + name + "." + what);
  }

  test::ScratchDir package_;
};

// As Windows does for a library that is not one of its known ones: the
// program's folder first, for the programs of that name while it lives (in
// Wine's per-program settings, which a new process reads as it starts).
class ScopedNativeFirst {
 public:
  explicit ScopedNativeFirst(const std::vector<std::string>& programs) {
    for (const std::string& program : programs) {
      const std::string key = "Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides";
      HKEY overrides = nullptr;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &overrides, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot write " << key;
        continue;
      }
      keys_.push_back(key);
      for (const char* library : {"version", "psapi", "hhctrl.ocx"}) {
        RegSetValueExA(overrides, library, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>("native,builtin"), 15);
      }
      RegCloseKey(overrides);
    }
  }
  ~ScopedNativeFirst() {
    for (const std::string& key : keys_) {
      RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
      RegDeleteKeyA(HKEY_CURRENT_USER, key.substr(0, key.rfind('\\')).c_str());
    }
  }
  ScopedNativeFirst(const ScopedNativeFirst&) = delete;
  ScopedNativeFirst& operator=(const ScopedNativeFirst&) = delete;

 private:
  std::vector<std::string> keys_;
};

TEST_F(PackageE2E, StandInsBesideAProgramLoadingThemByNameLeaveTheirMarks) {
  // Without this, finding no mark below would prove nothing.
  ScopedNativeFirst native_first({"load_by_name.exe"});
  const char* const functions[] = {"GetFileVersionInfoSizeA", "HtmlHelpA", "GetProcessMemoryInfo"};
  test::ScratchDir dir;
  Plant(dir.Path());
  const std::string loader = dir.File("load_by_name.exe");
  std::error_code error;
  fs::copy_file(Built("planted\\load_by_name.exe"), loader, error);
  ASSERT_FALSE(error);
  for (size_t i = 0; i < std::size(kPlantedLibraries); ++i) {
    const std::string name = kPlantedLibraries[i];
    SCOPED_TRACE(name);
    EXPECT_EQ(RunToEnd(loader, dir.Path(), name + " " + functions[i]), 0);
    EXPECT_NE(Marks(dir.Path(), name, "loaded").find("load_by_name.exe"), std::string::npos);
    EXPECT_NE(Marks(dir.Path(), name, "called").find("load_by_name.exe"), std::string::npos);
  }
}

TEST_F(PackageE2E, NoLibraryBesideSetupIsLoaded) {
  Plant(package_.Path());
  ScopedNativeFirst native_first({"setup.exe", "vxzip.exe"});
  const std::string setup = package_.File("setup.exe");

  // Start-up and Help, which shows the system's viewer.
  {
    SetupProcess process;
    ASSERT_TRUE(process.Start(setup, package_.Path()));
    HWND window = WaitForWindow(process.Id(), "TForm1", kWindowDeadline);
    ASSERT_NE(window, nullptr);
    Click(GetDlgItem(window, kHelpBtn));
    EXPECT_NE(WaitForWindow(process.Id(), "HH Parent", kWindowDeadline), nullptr)
        << "the system's help viewer did not open";
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitAfterHelpDeadline, code));
    EXPECT_EQ(code, 6u);  // closed by the user
  }

  // The diagnostic report, with the working set from the process-status functions.
  const std::string report_file = package_.File("report.txt");
  EXPECT_EQ(RunToEnd(setup, package_.Path(), "/DIAG=\"" + report_file + "\""), 0);
  const std::string working_set =
      LineStarting(ReadWholeFile(report_file), "Memory Used [working set]: ");
  EXPECT_TRUE(
      std::regex_match(working_set, std::regex("Memory Used \\[working set\\]: [1-9]\\d* Kb")))
      << working_set;

  // An installation, whose shortcuts read the shell's version resource.
  std::random_device random;
  const std::string inst_dir = "C:\\VP" + std::to_string(random() % 100000);
  EXPECT_EQ(RunToEnd(setup, package_.Path(), "/SILENT /DIR=" + inst_dir), 0);
  std::error_code error;
  EXPECT_TRUE(fs::exists(inst_dir + "\\vestrix.exe", error));
  fs::remove_all(inst_dir, error);

  for (const char* name : kPlantedLibraries) {
    EXPECT_EQ(Marks(package_.Path(), name, "called"), "") << name << " beside setup.exe was used";
  }
  EXPECT_EQ(Marks(package_.Path(), "hhctrl.ocx", "loaded"), "");
  EXPECT_EQ(Marks(package_.Path(), "psapi.dll", "loaded"), "");
  // Wine's own user32 imports version.dll (Windows' does not), so under Wine
  // every program with a window maps the one beside it as it starts, before
  // a line of its code runs. If setup.exe did, vxzip.exe, which reads no
  // version resource, must do the same: the load is the system's.
  if (!Marks(package_.Path(), "version.dll", "loaded").empty()) {
    fs::copy_file(Built("bin\\vxzip.exe"), package_.File("vxzip.exe"), error);
    ASSERT_FALSE(error);
    RunToEnd(package_.File("vxzip.exe"), package_.Path(), "list nothing.zip");
    EXPECT_NE(Marks(package_.Path(), "version.dll", "loaded").find("vxzip.exe"), std::string::npos)
        << "version.dll beside setup.exe was loaded by setup.exe alone";
  }
}

// --- The report's machine lines -------------------------------------------

TEST(MachineLinesE2E, WindowsTenAndTheWholeMemoryInTheReport) {
  // A copy under a name of its own, which Wine is told to run as Windows 10.
  test::ScratchDir dir;
  const std::string name = "vxw10setup.exe";
  std::error_code error;
  fs::copy_file(Staged("setup.exe"), dir.File(name), error);
  ASSERT_FALSE(error);
  const std::string key = "Software\\Wine\\AppDefaults\\" + name;
  HKEY app = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &app, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(app, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win10"), 6);
  RegCloseKey(app);
  const std::string report_file = dir.File("report.txt");
  const int64_t code = RunToEnd(dir.File(name), dir.Path(), "/DIAG=\"" + report_file + "\"");
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  ASSERT_EQ(code, 0);
  const std::string report = ReadWholeFile(report_file);

  const std::string windows = LineWith(report, " (NT.");
  std::printf("Windows line: \"%s\"\n", windows.c_str());
  EXPECT_NE(windows.find(" (NT.10.0."), std::string::npos) << windows;

  // The whole figure, as a 64-bit program sees it, in both builds.
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  const uint64_t megabytes = status.ullTotalPhys / 1024 / 1024;
  const std::string memory = LineWith(report, " megabytes RAM available to Windows");
  std::printf("memory line: \"%s\"\n", memory.c_str());
  EXPECT_EQ(memory, std::to_string(megabytes) + " megabytes RAM available to Windows");
}

// --- The Save dialog ------------------------------------------------------

BOOL CALLBACK CollectEdit(HWND child, LPARAM edits) {
  if (ClassOf(child) == "Edit" && IsWindowVisible(child)) {
    reinterpret_cast<std::vector<HWND>*>(edits)->push_back(child);
  }
  return TRUE;
}

TEST_F(PackageE2E, SaveDialogOpensInTheCurrentDirectory) {
  SetupProcess process;
  ASSERT_TRUE(process.Start(package_.File("setup.exe"), package_.Path()));
  HWND window = WaitForWindow(process.Id(), "TForm1", kWindowDeadline);
  ASSERT_NE(window, nullptr);
  Click(GetDlgItem(window, kMainButton1));
  HWND diag = WaitForWindow(process.Id(), "TrvDiagForm", kWindowDeadline);
  ASSERT_NE(diag, nullptr);
  // Saves under `name` through the dialog; false when it did not come up.
  auto save_as = [&](const std::string& name) {
    Click(GetDlgItem(diag, kSaveBtn));
    HWND dialog = nullptr;
    const DWORD start = GetTickCount();
    while (dialog == nullptr && GetTickCount() - start < kWindowDeadline) {
      for (HWND candidate : VisibleWindowsOf(process.Id())) {
        if (TextOf(candidate) == " Save Diagnostic File") dialog = candidate;
      }
      Sleep(50);
    }
    std::vector<HWND> edits;
    if (dialog != nullptr) EnumChildWindows(dialog, CollectEdit, reinterpret_cast<LPARAM>(&edits));
    if (edits.empty()) return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(edits.front(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &result);
    Click(GetDlgItem(dialog, IDOK));
    const DWORD closing = GetTickCount();
    while (IsWindow(dialog) && GetTickCount() - closing < kWindowDeadline) Sleep(50);
    return true;
  };
  // First into another folder, which the system then remembers as the last
  // one used.
  test::ScratchDir elsewhere;
  ASSERT_TRUE(save_as(elsewhere.File("first.txt"))) << "no save dialog";
  EXPECT_TRUE(fs::exists(elsewhere.File("first.txt")));
  // A bare name lands in the folder the dialog opened in: the program's
  // current directory, which it sets to C:\ as it starts (so that it keeps no
  // folder of its medium busy); not the last one used, nor Documents.
  std::random_device random;
  const std::string name = "diag " + std::to_string(random() % 100000) + ".txt";
  ASSERT_TRUE(save_as(name)) << "no save dialog";
  const std::string saved = "C:\\" + name;
  EXPECT_TRUE(fs::exists(saved)) << "not saved in setup.exe's current directory";
  if (fs::exists(saved)) {
    EXPECT_EQ(ReadWholeFile(saved), TextOf(GetDlgItem(diag, kMemo1)) + "\r\n");
  }
  std::error_code error;
  fs::remove(saved, error);
  EXPECT_FALSE(fs::exists(elsewhere.File(name))) << "saved in the last folder used";

  Click(GetDlgItem(diag, IDOK));
  PostMessageA(window, WM_CLOSE, 0, 0);
  DWORD code = 99;
  EXPECT_TRUE(process.WaitForExit(kExitDeadline, code));
}

}  // namespace
}  // namespace vx::e2e
