// Runs of setup.exe under Wine that do not complete: a reinstall whose late
// member is corrupt, one quit in the middle of a member, a failed first
// install, one killed in the middle of a member and started again, and a
// second setup.exe for a directory a running one holds. Each checks the
// installation directory against a snapshot taken before.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "archive/zip_test_support.h"
#include "directory_snapshot.h"
#include "setup_driver.h"
#include "support/test_support.h"

namespace vx::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kInstDirLabel = 101;
constexpr int kInstallBtn = 104;
constexpr int kQuitBtn = 106;
// Large enough that writing it takes a good part of a second under Wine.
constexpr size_t kBigMember = 192u * 1024 * 1024;

const std::string kNotComplete = "Install of VESTRIX 1.5 is NOT complete";
const std::vector<std::string> kMemberFailedBoxes = {
    kNotComplete + "\r\nbut will be terminated due to problems",
    "If you try to install again, please check that\r\n(a) you have sufficient free disk "
    "space.\r\n(b) you have closed other running applications."};

class UndoE2E : public testing::Test {
 protected:
  void SetUp() override {
    std::string missing;
    ASSERT_TRUE(CopyStagedPackage(scratch_.Path(), missing))
        << "the staged package lacks " << missing;
    inst_dir_ = FreshInstallDir("VU");
    WriteWholeFile(File("setup.INI"), SampleSettings(inst_dir_, "VESTRIX"));
  }
  void TearDown() override {
    std::error_code error;
    for (auto& entry : fs::recursive_directory_iterator(inst_dir_, error)) {
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::remove_all(inst_dir_, error);
  }

  std::string File(const std::string& name) const { return scratch_.Path() + "\\" + name; }
  test::DirectorySnapshot Snapshot() const { return test::DirectorySnapshot::Take(inst_dir_); }

  void WriteArchive(const std::vector<test::TestMember>& members) {
    test::WriteFile(File("vestrix.zip"), test::BuildZip(members));
  }
  // The installation of an older version, made by setup.exe itself, with a
  // file of the user's own added afterwards.
  void InstallOldVersion() {
    test::TestMember readme{"readme.txt", "the old readme"};
    readme.external_attributes = 0x21;  // read-only
    WriteArchive(
        {{"vestrix.exe", "MZ old program"}, {"data/units.dat", std::string(3000, 'o')}, readme});
    ASSERT_EQ(Run("/SILENT"), 0);
    WriteWholeFile(fs::path(inst_dir_) / "mine.txt", "the user's own notes");
  }
  // A new version whose members replace the old ones, with `late` last.
  void WriteNewVersion(const test::TestMember& late, size_t tail_members = 0) {
    std::vector<test::TestMember> members = {
        {"vestrix.exe", "MZ new program, longer than the old one"},
        {"data/units.dat", std::string(5000, 'n')},
        {"readme.txt", "the new readme"},
        {"docs/new.txt", "new"},
        late};
    for (size_t i = 0; i < tail_members; ++i) {
      members.push_back(BigMember("tail" + std::to_string(i) + ".dat", kBigMember / 4));
    }
    WriteArchive(members);
  }
  static test::TestMember BigMember(const std::string& name = "big.dat", size_t size = kBigMember) {
    test::TestMember big{name, std::string(size, '\0')};
    for (size_t i = 0; i < big.data.size(); i += 4096) big.data[i] = static_cast<char>(i / 4096);
    return big;
  }

  // Runs setup.exe to its end with no window expected; its exit code.
  int64_t Run(const std::string& arguments) {
    SetupProcess process;
    if (!process.Start(File("setup.exe"), scratch_.Path(), arguments)) return -1;
    DWORD code = 99;
    if (!process.WaitForExit(60000, code)) return -1;
    return code;
  }
  HWND StartWindow(SetupProcess& process, const std::string& arguments = "") {
    if (!process.Start(File("setup.exe"), scratch_.Path(), arguments)) return nullptr;
    HWND window = WaitForWindow(process.Id(), "TForm1", kWindowDeadline);
    if (window != nullptr) Sleep(300);
    return window;
  }
  // Presses INSTALL and waits until the label names `member`.
  bool InstallUntil(HWND window, const std::string& member) {
    PostMessageA(GetDlgItem(window, kInstallBtn), BM_CLICK, 0, 0);
    HWND label = GetDlgItem(window, kInstDirLabel);
    const DWORD start = GetTickCount();
    // Read once per look: the label moves on as soon as the member is done.
    std::string text;
    while ((text = TextOf(label)) != member && GetTickCount() - start < kWindowDeadline) Sleep(1);
    return text == member;
  }
  // Answers every box with OK until the program ends; their texts, and the
  // exit code in `code`.
  std::vector<std::string> AnswerBoxesUntilExit(SetupProcess& process, DWORD& code) {
    std::vector<std::string> texts;
    code = 99;
    for (int i = 0; i < 12; ++i) {
      // The next box, or the end of the program.
      HWND box = nullptr;
      const DWORD start = GetTickCount();
      while (box == nullptr && GetTickCount() - start < 15000) {
        if (process.WaitForExit(20, code)) return texts;
        box = WaitForWindow(process.Id(), "#32770", 0);
      }
      if (box == nullptr) break;
      Sleep(150);
      texts.push_back(TextOf(GetDlgItem(box, kMessageTextId)));
      Click(GetDlgItem(box, IDOK));
      const DWORD shown = GetTickCount();
      while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - shown < 5000) Sleep(20);
    }
    EXPECT_TRUE(process.WaitForExit(kExitDeadline, code)) << "setup.exe did not end";
    return texts;
  }

  std::string inst_dir_;

 private:
  test::ScratchDir scratch_;
};

TEST_F(UndoE2E, ReinstallWithACorruptLateMemberPutsTheOldInstallationBack) {
  InstallOldVersion();
  const test::DirectorySnapshot before = Snapshot();
  std::printf("before the reinstall:\n%s", before.Listing().c_str());
  test::TestMember late{"z_late.dat", std::string(20000, 'z')};
  late.stored_crc = 0x12345678;
  WriteNewVersion(late);

  SetupProcess process;
  HWND window = StartWindow(process, "/LOG=" + File("reinstall.log"));
  ASSERT_NE(window, nullptr);
  Click(GetDlgItem(window, kInstallBtn));
  DWORD code = 99;
  std::vector<std::string> texts = AnswerBoxesUntilExit(process, code);
  EXPECT_EQ(code, 4u);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].rfind("Cannot extract z_late.dat\r\n", 0), 0u) << texts[0];
  texts.erase(texts.begin());
  EXPECT_EQ(texts, kMemberFailedBoxes);
  const test::DirectorySnapshot after = Snapshot();
  EXPECT_EQ(after, before) << after.DifferencesFrom(before);
  const std::string log = ReadWholeFile(File("reinstall.log"));
  EXPECT_NE(log.find("Rolled back: 3 files restored, 2 files and 1 directory removed"),
            std::string::npos)
      << log;
  std::printf("log of the reinstall:\n%s", log.c_str());
}

TEST_F(UndoE2E, ReinstallQuitInTheMiddleOfAMemberPutsTheOldInstallationBack) {
  InstallOldVersion();
  const test::DirectorySnapshot before = Snapshot();
  // Members after the big one keep the run going until "Quit" is handled,
  // however fast the big one is written.
  WriteNewVersion(BigMember(), 2);

  SetupProcess process;
  HWND window = StartWindow(process);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(InstallUntil(window, "big.dat"));
  Click(GetDlgItem(window, kQuitBtn));
  DWORD code = 99;
  EXPECT_EQ(AnswerBoxesUntilExit(process, code), std::vector<std::string>{kNotComplete});
  EXPECT_EQ(code, 6u);
  const test::DirectorySnapshot after = Snapshot();
  EXPECT_EQ(after, before) << after.DifferencesFrom(before);
}

TEST_F(UndoE2E, AFailedFirstInstallLeavesNothingNotEvenTheDirectory) {
  test::TestMember bad{"data/bad.dat", std::string(5000, 'b')};
  bad.stored_crc = 0x12345678;
  WriteArchive({{"vestrix.exe", "MZ"}, {"docs/a.txt", "a"}, bad, {"z.txt", "z"}});
  EXPECT_EQ(Run("/SILENT /LOG=" + File("first.log")), 4);
  EXPECT_FALSE(fs::exists(inst_dir_));
  const std::string log = ReadWholeFile(File("first.log"));
  EXPECT_NE(log.find("Rolled back: 0 files restored, 3 files and 3 directories removed"),
            std::string::npos)
      << log;
}

TEST_F(UndoE2E, ARunKilledInTheMiddleOfAMemberIsUndoneBeforeTheNextWindowOpens) {
  InstallOldVersion();
  const test::DirectorySnapshot before = Snapshot();
  WriteNewVersion(BigMember(), 2);
  {
    SetupProcess killed;
    HWND window = StartWindow(killed);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(InstallUntil(window, "big.dat"));
    HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, killed.Id());
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(TerminateProcess(handle, 99));
    WaitForSingleObject(handle, kExitDeadline);
    CloseHandle(handle);
  }
  const test::DirectorySnapshot killed = Snapshot();
  EXPECT_EQ(killed.entries.count("~vxsetup.jnl"), 1u) << killed.Listing();
  EXPECT_NE(killed, before);

  SetupProcess again;
  const std::string log_file = File("again.log");
  HWND window = StartWindow(again, "/LOG=" + log_file);
  ASSERT_NE(window, nullptr);
  const test::DirectorySnapshot restored = Snapshot();
  EXPECT_EQ(restored, before) << restored.DifferencesFrom(before);
  PostMessageA(window, WM_CLOSE, 0, 0);
  DWORD code = 99;
  EXPECT_TRUE(again.WaitForExit(kExitDeadline, code));
  const std::string log = ReadWholeFile(log_file);
  EXPECT_NE(log.find("An interrupted installation in " + inst_dir_ +
                     " was found and undone. Rolled back: "),
            std::string::npos)
      << log;
  std::printf("log of the start after the killed run:\n%s", log.c_str());
}

TEST_F(UndoE2E, ASecondSetupForADirectoryARunningOneHoldsEndsWithSeven) {
  InstallOldVersion();
  test::TestMember late{"z_late.dat", std::string(20000, 'z')};
  late.stored_crc = 0x12345678;
  WriteNewVersion(late);
  // The first run waits at its member failure box, in the middle of its run.
  SetupProcess first;
  HWND window = StartWindow(first);
  ASSERT_NE(window, nullptr);
  Click(GetDlgItem(window, kInstallBtn));
  ASSERT_NE(WaitForWindow(first.Id(), "#32770", kWindowDeadline), nullptr);
  const test::DirectorySnapshot during = Snapshot();

  const std::string held = "Another setup run is working in " + inst_dir_;
  EXPECT_EQ(Run("/SILENT /LOG=" + File("second.log")), 7);
  const std::string log = ReadWholeFile(File("second.log"));
  EXPECT_NE(log.find("Message (error): " + held), std::string::npos) << log;
  {
    SetupProcess second;
    ASSERT_TRUE(second.Start(File("setup.exe"), File(""), ""));
    HWND box = WaitForWindow(second.Id(), "#32770", kWindowDeadline);
    ASSERT_NE(box, nullptr);
    Sleep(150);
    EXPECT_EQ(TextOf(GetDlgItem(box, kMessageTextId)).rfind(held, 0), 0u);
    EXPECT_TRUE(WaitForWindow(second.Id(), "TForm1", 0) == nullptr);
    Click(GetDlgItem(box, IDOK));
    DWORD code = 99;
    EXPECT_TRUE(second.WaitForExit(kExitDeadline, code));
    EXPECT_EQ(code, 7u);
  }
  const test::DirectorySnapshot after = Snapshot();
  EXPECT_EQ(after, during) << after.DifferencesFrom(during);

  DWORD code = 99;
  AnswerBoxesUntilExit(first, code);
  EXPECT_EQ(code, 4u);
}

}  // namespace
}  // namespace vx::e2e
