// A reinstallation over files another process holds open, under Wine: the
// test process opens one installed file with no sharing while setup.exe (a
// process of its own) runs. Silent, it ends with exit code 7 and names the
// file in its log; interactive, its box lists the file with Retry and Cancel.
// Either way nothing in the directory changes until the file is free.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "directory_snapshot.h"
#include "setup_driver.h"
#include "support/test_support.h"

namespace vx::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kInstallBtn = 104;
constexpr int kGauge1 = 105;

// An open handle that shares nothing, as a program holding its file would.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// The sample package beside setup.exe in a scratch folder, and an older
// installation of the product in a fresh short directory of C: (every file
// of the product with other contents and an old date, and a file of the
// user's own).
class InUseE2E : public testing::Test {
 protected:
  void SetUp() override {
    std::string missing;
    ASSERT_TRUE(CopyStagedPackage(scratch_.Path(), missing))
        << "the staged package lacks " << missing;
    inst_dir_ = FreshInstallDir("VU");
    WriteWholeFile(File("setup.INI"), SampleSettings(inst_dir_, "VESTRIX"));
    product_ = SampleProductTree();
    ASSERT_FALSE(product_.empty()) << "no product tree beside the stage";
    ASSERT_EQ(product_.count("vestrix.exe"), 1u);
    const auto old_date = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    for (const auto& [name, source] : product_) {
      const fs::path installed = fs::path(inst_dir_) / name;
      fs::create_directories(installed.parent_path());
      WriteWholeFile(installed, "version 1.4 of " + name);
      fs::last_write_time(installed, old_date);
    }
    WriteWholeFile(fs::path(inst_dir_) / "my notes.txt", "the user's own");
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(inst_dir_, error);
  }

  std::string File(const std::string& name) const { return scratch_.Path() + "\\" + name; }
  const std::string& InstDir() const { return inst_dir_; }
  const std::string& Scratch() const { return scratch_.Path(); }
  std::string Held() const { return inst_dir_ + "\\vestrix.exe"; }

  // The box's text, as the program writes it for the one held file.
  std::string InUseText() const {
    return "Setup cannot install in " + inst_dir_ +
           "\r\nwhile other programs use these files:\r\n" + Held() +
           "\r\nClose those programs, then press Retry; Cancel leaves everything as it is.";
  }

  // The next box of the program after `previous` has gone.
  HWND NextBox(HWND previous) {
    const DWORD start = GetTickCount();
    while (previous != nullptr && IsWindow(previous) && IsWindowVisible(previous) &&
           GetTickCount() - start < kWindowDeadline) {
      Sleep(20);
    }
    HWND box = WaitForWindow(process.Id(), "#32770", kWindowDeadline);
    if (box != nullptr) Sleep(150);
    return box;
  }

  HWND StartWindow() {
    if (!process.Start(File("setup.exe"), scratch_.Path())) return nullptr;
    HWND window = WaitForWindow(process.Id(), "TForm1", kWindowDeadline);
    if (window != nullptr) Sleep(300);
    return window;
  }

  // The in-use box after INSTALL (or Retry), checked for its text and buttons.
  HWND ExpectInUseBox(HWND previous) {
    HWND box = NextBox(previous);
    if (box == nullptr) {
      ADD_FAILURE() << "no box";
      return nullptr;
    }
    EXPECT_EQ(TextOf(box), "Warning");
    EXPECT_EQ(TextOf(GetDlgItem(box, kMessageTextId)), InUseText());
    EXPECT_EQ(TextOf(GetDlgItem(box, IDRETRY)), "&Retry");
    EXPECT_EQ(TextOf(GetDlgItem(box, IDCANCEL)), "Cancel");
    EXPECT_EQ(GetDlgItem(box, IDOK), nullptr);
    return box;
  }

  SetupProcess process;
  std::map<std::string, fs::path> product_;

 private:
  test::ScratchDir scratch_;
  std::string inst_dir_;
};

TEST_F(InUseE2E, SilentReinstallOverAHeldFileExitsSevenAndChangesNothing) {
  const auto before = test::DirectorySnapshot::Take(InstDir());
  HeldFile held(Held());
  ASSERT_TRUE(held.Held()) << GetLastError();
  const std::string log = File("install.log");
  ASSERT_TRUE(process.Start(File("setup.exe"), Scratch(), "/SILENT /LOG=\"" + log + "\""));
  DWORD code = 99;
  ASSERT_TRUE(process.WaitForExit(60000, code)) << "setup.exe did not end";
  EXPECT_EQ(code, 7u);

  const std::string text = ReadWholeFile(log);
  std::cout << "The log of the refused run:\n" << text;
  EXPECT_NE(text.find("  Files in use: 1\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Message (warning): Setup cannot install in " + InstDir() +
                      "\r\n\twhile other programs use these files:\r\n\t" + Held() + "\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("End, exit code 7 (files in use"), std::string::npos) << text;
  EXPECT_EQ(text.find("Member "), std::string::npos) << "a member was written";
  held.Release();  // the file can be read again
  EXPECT_EQ(test::DirectorySnapshot::Take(InstDir()), before);
}

TEST_F(InUseE2E, InteractiveBoxRetriesCancelsBackToTheWindowThenInstallsOnceFree) {
  const auto before = test::DirectorySnapshot::Take(InstDir());
  HeldFile held(Held());
  ASSERT_TRUE(held.Held()) << GetLastError();
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);

  // Retry while the file is still held: the same box again. Cancel: back at
  // the waiting window, nothing changed.
  Click(GetDlgItem(window, kInstallBtn));
  HWND box = ExpectInUseBox(nullptr);
  ASSERT_NE(box, nullptr);
  PostMessageA(GetDlgItem(box, IDRETRY), BM_CLICK, 0, 0);
  box = ExpectInUseBox(box);
  ASSERT_NE(box, nullptr);
  PostMessageA(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
  const DWORD start = GetTickCount();
  while (IsWindow(box) && GetTickCount() - start < kWindowDeadline) Sleep(20);
  Sleep(300);
  DWORD code = 99;
  EXPECT_FALSE(process.WaitForExit(0, code));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, kInstallBtn)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, kGauge1)));
  // The held file is compared once it can be read; the others now.
  auto unchanged = [&before](test::DirectorySnapshot now) {
    test::DirectorySnapshot then = before;
    now.entries.erase("vestrix.exe");
    then.entries.erase("vestrix.exe");
    return now == then;
  };
  EXPECT_TRUE(unchanged(test::DirectorySnapshot::Take(InstDir())));

  // INSTALL again; the file is released while the box is up, and Retry installs.
  Click(GetDlgItem(window, kInstallBtn));
  box = ExpectInUseBox(box);
  ASSERT_NE(box, nullptr);
  held.Release();
  EXPECT_EQ(test::DirectorySnapshot::Take(InstDir()), before);
  PostMessageA(GetDlgItem(box, IDRETRY), BM_CLICK, 0, 0);
  box = NextBox(box);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(box, kMessageTextId)), "Installation of VESTRIX 1.5 is complete");
  PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(process.WaitForExit(kExitDeadline, code));
  EXPECT_EQ(code, 0u);
  for (const auto& [name, source] : product_) {
    EXPECT_EQ(ReadWholeFile(fs::path(InstDir()) / name), ReadWholeFile(source)) << name;
  }
  EXPECT_EQ(ReadWholeFile(fs::path(InstDir()) / "my notes.txt"), "the user's own");
}

}  // namespace
}  // namespace vx::e2e
