// The uninstaller under Wine: a silent installation leaves the uninstaller,
// its record and the Add/Remove Programs entry (read back with reg.exe);
// "Uninstall.exe /UNINSTALL /SILENT" and the interactive uninstall (its
// boxes answered as a user would) remove the product and nothing of the
// user's, then the uninstaller itself and, when empty, the directory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
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

void PrintSnapshot(const std::string& title, const test::DirectorySnapshot& snapshot) {
  std::cout << title << ":\n" << (snapshot.entries.empty() ? "(nothing)\n" : snapshot.Listing());
}

bool WaitUntil(const std::function<bool()>& done, DWORD deadline) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > deadline) return false;
    Sleep(100);
  }
  return true;
}

// The self-removal waits about three seconds after the uninstaller ends.
constexpr DWORD kSelfRemovalDeadline = 20000;

class UninstallE2E : public testing::Test {
 public:
  void SetUp() override {
    std::string missing;
    ASSERT_TRUE(CopyStagedPackage(scratch_.Path(), missing))
        << "the staged package lacks " << missing;
    inst_dir_ = FreshInstallDir("VU");
    // A key and shortcuts of this case's own.
    key_ = "VXU" + inst_dir_.substr(5);
    WriteWholeFile(File("setup.INI"), SampleSettings(inst_dir_, key_));
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(inst_dir_, error);
    for (const fs::path& link : Shortcuts()) fs::remove(link, error);
    RegDeleteKeyA(HKEY_CURRENT_USER, EntryKey().c_str());
  }

  std::string File(const std::string& name) const { return scratch_.Path() + "\\" + name; }
  std::string EntryKey() const {
    return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + key_;
  }
  std::string Uninstaller() const { return inst_dir_ + "\\Uninstall.exe"; }

  std::vector<fs::path> Shortcuts() const {
    const char* profile = std::getenv("USERPROFILE");
    const char* app_data = std::getenv("APPDATA");
    if (profile == nullptr || app_data == nullptr) return {};
    return {
        fs::path(profile) / "Desktop" / (key_ + ".lnk"),
        fs::path(app_data) / "Microsoft" / "Windows" / "Start Menu" / "Programs" / (key_ + ".lnk")};
  }

  // Runs `exe` with `arguments` to its end, noting any window it shows; the
  // exit code, or -1 when it did not end.
  int64_t RunHidden(const std::string& exe, const std::string& arguments) {
    SetupProcess process;
    return RunWatchingWindows(process, exe, scratch_.Path(), arguments, windows_seen);
  }

  // The entry as reg.exe lists it, and reg.exe's exit code.
  std::string RegQuery(int64_t& code) {
    const std::string out = File("reg.txt");
    SetupProcess reg;
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    if (!reg.Start(std::string(system) + "\\cmd.exe", scratch_.Path(),
                   "/c reg query \"HKCU\\" + EntryKey() + "\" > \"" + out + "\"")) {
      code = -1;
      return "";
    }
    DWORD exit_code = 0;
    code = reg.WaitForExit(kExitDeadline, exit_code) ? exit_code : -1;
    return ReadWholeFile(out);
  }

  // A silent installation, then a file of the user's own in its docs
  // folder; false when the installation failed.
  bool InstallWithUserFile() {
    for (const fs::path& link : Shortcuts()) fs::remove(link);
    PrintSnapshot("Before the installation, " + inst_dir_,
                  test::DirectorySnapshot::Take(inst_dir_));
    if (RunHidden(File("setup.exe"), "/SILENT") != 0) return false;
    PrintSnapshot("After the installation", test::DirectorySnapshot::Take(inst_dir_));
    WriteWholeFile(fs::path(inst_dir_) / "docs" / "mine.txt", "notes of the user\r\n");
    return true;
  }

  std::vector<std::string> windows_seen;

 protected:
  test::ScratchDir scratch_;
  std::string inst_dir_;
  std::string key_;
};

TEST_F(UninstallE2E, QuietUninstallKeepsOnlyTheUsersFile) {
  ASSERT_EQ(Shortcuts().size(), 2u) << "no user profile";
  ASSERT_TRUE(InstallWithUserFile());

  // Installed: the product, the uninstaller (setup.exe itself) and its record.
  const auto product = SampleProductTree();
  ASSERT_FALSE(product.empty());
  const auto installed = test::DirectorySnapshot::Take(inst_dir_);
  for (const auto& [name, source] : product)
    EXPECT_EQ(installed.entries.count(fs::path(name).generic_string()), 1u) << name;
  EXPECT_EQ(ReadWholeFile(Uninstaller()), ReadWholeFile(File("setup.exe")));
  const std::string record = ReadWholeFile(inst_dir_ + "\\Uninstall.dat");
  EXPECT_EQ(record.rfind("VESTRIX uninstall record, format 1\r\nKey=" + key_ + "\r\n", 0), 0u)
      << record;
  for (const fs::path& link : Shortcuts()) EXPECT_TRUE(fs::exists(link)) << link;

  // The entry, as reg.exe reads it.
  int64_t code = 0;
  const std::string entry = RegQuery(code);
  std::cout << "reg query HKCU\\" << EntryKey() << ":\n" << entry;
  EXPECT_EQ(code, 0);
  uintmax_t bytes = 0;
  for (const auto& [name, source] : product) bytes += fs::file_size(source);
  char size[32];
  std::snprintf(size, sizeof size, "0x%llx",
                static_cast<unsigned long long>((bytes + 1023) / 1024));
  const std::string quoted = "\"" + Uninstaller() + "\" /UNINSTALL";
  SYSTEMTIME now;
  GetLocalTime(&now);
  char today[16];
  std::snprintf(today, sizeof today, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  const std::vector<std::pair<std::string, std::string>> values = {
      {"DisplayName", "REG_SZ    VESTRIX 1.5"},
      {"DisplayIcon", "REG_SZ    " + inst_dir_ + "\\vestrix.exe"},
      {"InstallLocation", "REG_SZ    " + inst_dir_},
      {"InstallDate", std::string("REG_SZ    ") + today},
      {"EstimatedSize", std::string("REG_DWORD    ") + size},
      {"UninstallString", "REG_SZ    " + quoted},
      {"QuietUninstallString", "REG_SZ    " + quoted + " /SILENT"},
      {"NoModify", "REG_DWORD    0x1"},
      {"NoRepair", "REG_DWORD    0x1"},
  };
  for (const auto& [name, value] : values) {
    EXPECT_NE(entry.find("    " + name + "    " + value + "\r\n"), std::string::npos) << name;
  }

  const test::SnapshotEntry users_file =
      test::DirectorySnapshot::Take(inst_dir_).entries.at("docs/mine.txt");
  const std::string log = File("uninstall.log");
  windows_seen.clear();
  EXPECT_EQ(RunHidden(Uninstaller(), "/UNINSTALL /SILENT /LOG=\"" + log + "\""), 0);
  EXPECT_EQ(windows_seen, std::vector<std::string>{});
  const std::string log_text = ReadWholeFile(log);
  std::cout << "The uninstaller's log:\n" << log_text;
  EXPECT_NE(log_text.find("  End, exit code 0 (removed)\r\n"), std::string::npos);

  EXPECT_TRUE(WaitUntil([this] { return !fs::exists(Uninstaller()); }, kSelfRemovalDeadline))
      << "the uninstaller is still there";
  Sleep(500);
  const auto left = test::DirectorySnapshot::Take(inst_dir_);
  PrintSnapshot("After the quiet uninstall", left);
  test::SnapshotEntry docs;
  docs.directory = true;
  EXPECT_EQ(left.entries, (std::map<std::string, test::SnapshotEntry>{
                              {"docs", docs}, {"docs/mine.txt", users_file}}))
      << left.Listing();
  for (const fs::path& link : Shortcuts()) EXPECT_FALSE(fs::exists(link)) << link;
  HKEY opened = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, EntryKey().c_str(), 0, KEY_READ, &opened),
            ERROR_SUCCESS);
  if (opened != nullptr) RegCloseKey(opened);
  RegQuery(code);
  EXPECT_NE(code, 0) << "reg.exe still finds the entry";
}

// Answers the program's next box: its text, after pressing `button`.
std::string Answer(SetupProcess& process, int button) {
  HWND box = WaitForWindow(process.Id(), "#32770", kWindowDeadline);
  if (box == nullptr) return "(no box)";
  Sleep(150);
  const std::string text = TextOf(GetDlgItem(box, kMessageTextId));
  Click(GetDlgItem(box, button));
  WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); }, kWindowDeadline);
  return text;
}

TEST_F(UninstallE2E, InteractiveUninstallAsksOnceThenLeavesNothing) {
  ASSERT_TRUE(InstallWithUserFile());
  fs::remove(fs::path(inst_dir_) / "docs" / "mine.txt");
  const auto installed = test::DirectorySnapshot::Take(inst_dir_);
  const std::string question =
      "Remove VESTRIX 1.5 from " + inst_dir_ + "?\r\nFiles you added there are kept.";

  // No: nothing changes.
  {
    SetupProcess process;
    ASSERT_TRUE(process.Start(Uninstaller(), scratch_.Path(), "/UNINSTALL"));
    EXPECT_EQ(Answer(process, IDNO), question);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitDeadline, code));
    EXPECT_EQ(code, 6u);
  }
  Sleep(500);
  EXPECT_EQ(test::DirectorySnapshot::Take(inst_dir_), installed);
  for (const fs::path& link : Shortcuts()) EXPECT_TRUE(fs::exists(link)) << link;

  // Yes: the product goes, then the uninstaller and the directory.
  SetupProcess process;
  ASSERT_TRUE(process.Start(Uninstaller(), scratch_.Path(), "/UNINSTALL"));
  EXPECT_EQ(Answer(process, IDYES), question);
  EXPECT_EQ(Answer(process, IDOK), "VESTRIX 1.5 was removed from " + inst_dir_);
  DWORD code = 99;
  ASSERT_TRUE(process.WaitForExit(kExitDeadline, code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(WaitUntil([this] { return !fs::exists(inst_dir_); }, kSelfRemovalDeadline))
      << "left behind: " << test::DirectorySnapshot::Take(inst_dir_).Listing();
  PrintSnapshot("After the interactive uninstall", test::DirectorySnapshot::Take(inst_dir_));
  for (const fs::path& link : Shortcuts()) EXPECT_FALSE(fs::exists(link)) << link;
  int64_t reg_code = 0;
  RegQuery(reg_code);
  EXPECT_NE(reg_code, 0) << "reg.exe still finds the entry";

  // With nothing left to remove there is no record: exit 1, silently.
  fs::create_directories(inst_dir_);
  fs::copy_file(File("setup.exe"), Uninstaller());
  windows_seen.clear();
  EXPECT_EQ(RunHidden(Uninstaller(), "/UNINSTALL /SILENT"), 1);
  EXPECT_EQ(windows_seen, std::vector<std::string>{});
}

}  // namespace
}  // namespace vx::e2e
