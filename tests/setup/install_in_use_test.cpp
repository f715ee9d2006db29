// Files in use found before anything is written, and the space test with the
// whole sizes of ZIP64 members: runs over a real installation directory, the
// files "in use" named by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/zip_test_support.h"
#include "setup/install_run.h"
#include "setup/install_test_support.h"
#include "setup/main_window.h"
#include "setup/scripted_shell.h"
#include "setup/scripted_views.h"
#include "setup/silent_setup.h"

namespace vx {
namespace {

constexpr int64_t kMiB = 1048576;

// Boxes answered from the script, with a hook that runs as each box opens.
class HookedMessageView : public test::ScriptedMessageView {
 public:
  std::function<void(const TMessageBox&)> on_box;
  TModalResult ShowMessageBox(const TMessageBox& box, const std::function<void()>& help) override {
    if (on_box) on_box(box);
    return ScriptedMessageView::ShowMessageBox(box, help);
  }
};

// Every file below `host_dir`: relative name -> contents and modification time.
std::map<std::string, std::string> Snapshot(const std::string& host_dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(host_dir)) {
    const std::string name = entry.path().lexically_relative(host_dir).generic_string();
    if (entry.is_directory()) {
      files[name + "/"] = "";
      continue;
    }
    files[name] = test::ReadFile(entry.path().string()).value_or("?") + " @" +
                  std::to_string(entry.last_write_time().time_since_epoch().count());
  }
  return files;
}

const std::string kOldExe = "old vestrix";
const std::string kNewExe(300, 'n');

class InstallInUseTest : public testing::Test {
 protected:
  InstallInUseTest() {
    TInstallOptions& options = form.InstallOptions;
    options.InstTitle = "VESTRIX 1.5";
    options.InstDir = root.Path() + "VX";
    options.ZipPath = root.Path() + "prod.zip";
    options.ExeName = "vestrix.exe";
    options.ShortcutTitle = "VESTRIX";
    form.InstallRun.Shell = &shell;
    shell.special_folders[SpecialFolderCsidl(sfDesktop)] = "C:\\Desk";
    shell.special_folders[SpecialFolderCsidl(sfPrograms)] = "C:\\Progs";
    shell.files.insert(Dir() + "\\vestrix.exe");
    // The installed version, and the user's own file beside it.
    std::filesystem::create_directories(root.Host("VX\\data"));
    test::WriteFile(root.Host("VX\\vestrix.exe"), kOldExe);
    test::WriteFile(root.Host("VX\\data\\units.dat"), "old units");
    test::WriteFile(root.Host("VX\\notes.txt"), "mine");
    test::WriteFile(root.Host("prod.zip"), test::BuildZip({{"vestrix.exe", kNewExe},
                                                           {"data/", ""},
                                                           {"data/units.dat", "new units", 8},
                                                           {"docs/CHANGES", "1.5"}}));
  }
  std::string Dir() const { return form.InstallOptions.InstDir; }

  test::ShortRoot root;
  test::DiskSystem system;
  test::ScriptedMainView view;
  HookedMessageView boxes;
  TMessageService messages{boxes};
  TForm1 form{view, messages, system};
  test::ScriptedShell shell;
};

TEST_F(InstallInUseTest, FilesInUseAreListedAndCancelLeavesEverythingAsItWas) {
  system.in_use = {Dir() + "\\vestrix.exe", Dir() + "\\data\\units.dat"};
  const auto before = Snapshot(root.Host("VX"));
  bool running_during_box = false;
  boxes.on_box = [&](const TMessageBox&) { running_during_box = form.Extracting(); };
  boxes.script.push_back({0, mrCancel});
  form.InstallBtnClick();

  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].Kind, mkWarning);
  EXPECT_EQ(boxes.shown[0].Buttons, mbRetryCancel);
  EXPECT_EQ(boxes.shown[0].Text, "Setup cannot install in " + Dir() +
                                     "\r\nwhile other programs use these files:\r\n" + Dir() +
                                     "\\vestrix.exe\r\n" + Dir() +
                                     "\\data\\units.dat\r\nClose those programs, then press "
                                     "Retry; Cancel leaves everything as it is.");
  // Only the members that write files were probed, each once.
  EXPECT_EQ(system.probed,
            (std::vector<std::string>{Dir() + "\\vestrix.exe", Dir() + "\\data\\units.dat",
                                      Dir() + "\\docs\\CHANGES"}));
  EXPECT_TRUE(running_during_box);
  EXPECT_EQ(form.InstallRun.Outcome(), TInstallOutcome::FilesInUse);
  EXPECT_EQ(Snapshot(root.Host("VX")), before);
  EXPECT_TRUE(shell.calls.empty());
  // Back at the waiting window: nothing ends, the buttons work again.
  EXPECT_FALSE(messages.EndRequested());
  EXPECT_FALSE(form.Extracting());
  EXPECT_TRUE(view.enabled[TMainControl::InstallBtn]);
  EXPECT_FALSE(view.visible[TMainControl::Gauge1]);

  // INSTALL again once the files are free: the run goes through.
  system.in_use.clear();
  form.InstallBtnClick();
  EXPECT_EQ(form.InstallRun.Outcome(), TInstallOutcome::Installed);
  EXPECT_EQ(test::ReadFile(root.Host("VX\\vestrix.exe")), kNewExe);

  // A directory the run makes itself holds nothing in use: not looked at.
  std::filesystem::remove_all(root.Host("VX"));
  system.probed.clear();
  form.InstallBtnClick();
  EXPECT_EQ(form.InstallRun.Outcome(), TInstallOutcome::Installed);
  EXPECT_TRUE(system.probed.empty());
}

TEST(SilentInUse, ExitsSevenNamingTheFilesAndWritesNothing) {
  test::ShortRoot root;
  test::DiskSystem system{root.Path() + "SETUP.EXE"};
  const std::string dir = root.Path() + "VX";
  test::WriteFile(root.Host("SETUP.INI"),
                  "[Settings]\r\nInstTitle=VESTRIX 1.5\r\nInstDir=" + dir +
                      "\r\nDiskNeededMB=1\r\nshortcuttitle=VESTRIX\r\nzipname=prod.zip\r\n"
                      "exename=vestrix.exe\r\n");
  test::WriteFile(root.Host("SETUP.TXT"), "Read me\r\n");
  test::WriteFile(root.Host("SETUP.chm"), "help");
  std::vector<test::TestMember> members;
  std::filesystem::create_directories(root.Host("VX"));
  for (int i = 1; i <= 12; ++i) {
    const std::string name = "part" + std::to_string(i) + ".dat";
    members.push_back({name, "new " + name});
    test::WriteFile(root.Host("VX\\" + name), "old " + name);
    system.in_use.insert(dir + "\\" + name);
  }
  members.push_back({"vestrix.exe", kNewExe});
  test::WriteFile(root.Host("prod.zip"), test::BuildZip(members));
  const auto before = Snapshot(root.Host("VX"));

  std::string text;
  TSetupLog log{[&text](const std::string& bytes) { text += bytes; }, [] { return "T"; }};
  TSilentSetup setup(system, log);
  test::ScriptedShell shell;
  setup.InstallRun.Shell = &shell;
  EXPECT_EQ(setup.Run(""), secFilesInUse);
  EXPECT_EQ(ExitCodeForOutcome(TInstallOutcome::FilesInUse), 7);

  EXPECT_NE(text.find("T  Files in use: 12\r\n"), std::string::npos) << text;
  EXPECT_NE(
      text.find("T  Message (warning): Setup cannot install in " + dir +
                "\r\n\twhile other programs use these files:\r\n\t" + dir + "\\part1.dat\r\n\t"),
      std::string::npos)
      << text;
  // Ten of them named, then the count of the others.
  EXPECT_NE(text.find("\\part10.dat\r\n\tand 2 more\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("part11.dat"), std::string::npos) << text;
  EXPECT_EQ(text.find("Member "), std::string::npos) << text;
  EXPECT_EQ(Snapshot(root.Host("VX")), before);
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(InstallInUseTest, Zip64SizesBeyondFourGibibytesCountInTheSpaceTest) {
  // A member whose directory declares 4.5 GB (its data never read).
  auto le64 = [](uint64_t value) {
    std::string bytes;
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
  };
  test::TestMember huge{"huge.bin", "tiny"};
  huge.declared_size = 0xFFFFFFFF;
  huge.version_needed = 45;
  huge.extra = std::string{'\x01', '\x00', '\x08', '\x00'} + le64(4500000000ull);
  test::WriteFile(root.Host("prod.zip"), test::BuildZip({{"vestrix.exe", kNewExe}, huge}));
  const auto before = Snapshot(root.Host("VX"));
  // 4,299 MB free: room for the 32-bit remainder of the size (205 MB), not for the whole.
  system.free_bytes = 4100 * kMiB;
  form.InstallBtnClick();

  EXPECT_EQ(form.InstallRun.TotalBytes, 4500000300.0);
  EXPECT_EQ(form.InstallOptions.DiskNeededMB, 4501);  // 4,500.0003 + 0.5
  EXPECT_EQ(form.InstallRun.Outcome(), TInstallOutcome::ArchiveProblem);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].Text, "Insufficient space to install in " + Dir());
  EXPECT_EQ(Snapshot(root.Host("VX")), before);
  EXPECT_TRUE(system.probed.empty());  // refused before the files were looked at
}

}  // namespace
}  // namespace vx
