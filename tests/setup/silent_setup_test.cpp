#include "setup/silent_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/zip_test_support.h"
#include "setup/install_test_support.h"
#include "setup/scripted_shell.h"
#include "setup/scripted_views.h"

namespace vx {
namespace {

constexpr int64_t kMiB = 1048576;

const std::string kExe(300, 'x');

// One package beside SETUP.EXE in a short root, and the silent run over it.
struct Package {
  Package() {
    test::WriteFile(root.Host("SETUP.TXT"), "Read me\r\n");
    test::WriteFile(root.Host("SETUP.chm"), "help");
    WriteSettings("VX", "vestrix.exe");
    test::WriteFile(root.Host("prod.zip"),
                    test::BuildZip({{"vestrix.exe", kExe}, {"docs/CHANGES", "1.5: first"}}));
    shell.special_folders[SpecialFolderCsidl(sfDesktop)] = "C:\\Desk";
    shell.special_folders[SpecialFolderCsidl(sfPrograms)] = "C:\\Progs";
  }
  void WriteSettings(const std::string& dir, const std::string& exe) {
    test::WriteFile(root.Host("SETUP.INI"),
                    "[Settings]\r\nInstTitle=VESTRIX 1.5\r\nInstDir=" + root.Path() + dir +
                        "\r\nDiskNeededMB=1\r\nshortcuttitle=VESTRIX\r\nzipname=prod.zip\r\n"
                        "exename=" +
                        exe + "\r\n");
    shell.files.insert(root.Path() + dir + "\\" + exe);
  }
  int32_t Run(const std::string& dir = "") {
    TSilentSetup setup(system, log);
    setup.InstallRun.Shell = &shell;
    const int32_t code = setup.Run(dir);
    end_requested = setup.Messages.EndRequested();
    return code;
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "a line without CR LF";
    return lines;
  }
  bool HasLine(const std::string& line) const {
    for (const std::string& seen : Lines()) {
      if (seen == "T  " + line) return true;
    }
    return false;
  }

  test::ShortRoot root;
  test::DiskSystem system{root.Path() + "SETUP.EXE"};
  test::ScriptedShell shell;
  std::string text;
  TSetupLog log{[this](const std::string& bytes) { text += bytes; }, [] { return "T"; }};
  bool end_requested = false;
};

TEST(SilentSetupTest, InstallsWithoutAWindowAndLogsEveryStep) {
  Package package;
  EXPECT_EQ(package.Run(), secInstalled);
  EXPECT_EQ(test::ReadFile(package.root.Host("VX\\vestrix.exe")), kExe);
  EXPECT_EQ(test::ReadFile(package.root.Host("VX\\docs\\CHANGES")), "1.5: first");
  const std::string r = package.root.Path();
  for (const std::string& line : {
           "Settings read from " + r + "SETUP.INI: InstTitle=VESTRIX 1.5, InstDir=" + r +
               "VX, DiskNeededMB=1, exename=vestrix.exe, archive=" + r + "prod.zip",
           "Installation directory: " + r + "VX",
           "Archive " + r + "prod.zip: 2 members, 310 bytes; needed 1 MB, free 5000 MB",
           std::string("Member vestrix.exe (300 bytes): extracted"),
           std::string("Member docs/CHANGES (10 bytes): extracted"),
           std::string("Shortcut written: C:\\Desk\\VESTRIX.lnk"),
           std::string("Shortcut written: C:\\Progs\\VESTRIX.lnk"),
           std::string("Message (information): Installation of VESTRIX 1.5 is complete"),
       }) {
    EXPECT_TRUE(package.HasLine(line)) << line << "\n" << package.text;
  }
  EXPECT_TRUE(package.end_requested);
}

TEST(SilentSetupTest, EveryOutcomeHasItsExitCodeAndLoggedMessage) {
  struct Case {
    const char* what;
    std::function<void(Package&)> arrange;
    std::string dir;  // relative to the root; "" for the settings file's
    int32_t code;
    std::string line;  // expected in the log, after "T  "
  };
  const std::vector<Case> cases = {
      {"settings file missing",
       [](Package& p) { std::filesystem::remove(p.root.Host("SETUP.INI")); }, "", secStartupProblem,
       "Message (error): "},
      {"archive missing", [](Package& p) { std::filesystem::remove(p.root.Host("prod.zip")); }, "",
       secStartupProblem, "Message (error): "},
      {"space in the directory", [](Package&) {}, "MY VX", secDirectoryRefused,
       "Message (error): Bad directory name:  "},
      {"directory not creatable", [](Package&) {}, "NO\\VX", secDirectoryRefused,
       "Message (error): Cannot create directory "},
      {"archive unreadable",
       [](Package& p) {
         test::WriteFile(p.root.Host("prod.zip"), std::string("PK\x03\x04 not really"));
       },
       "", secArchiveProblem, "Message (error): Cannot unzip file "},
      {"space insufficient", [](Package& p) { p.system.free_bytes = 100 * 1024; }, "",
       secArchiveProblem, "Message (error): Insufficient space to install in "},
      {"member fails",
       [](Package& p) {
         test::TestMember bad{"data/units.dat", std::string(100, 'u'), 8};
         bad.stored_crc = 0x12345678;
         test::WriteFile(p.root.Host("prod.zip"), test::BuildZip({{"vestrix.exe", kExe}, bad}));
       },
       "", secMemberFailed, "Member data/units.dat (100 bytes): failed, Failed CRC Check"},
      {"main executable missing", [](Package& p) { p.WriteSettings("VX", "kelda.exe"); }, "",
       secMainExeMissing, "Message (warning): Problem: file \""},
      {"shortcuts fail: installed all the same", [](Package& p) { p.shell.save_succeeds = false; },
       "", secInstalled,
       "Message (warning): Problem creating Desktop shortcut...\r\n\tYou may have to create "
       "this manually."},
      {"directory from the command line", [](Package&) {}, "OTHER", secInstalled,
       "Directory from the command line: "},
      {"directory held by another run",
       [](Package& p) { p.system.held_elsewhere.insert(p.root.Path() + "VX"); }, "", secFilesInUse,
       "Message (error): Another setup run is working in "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Package package;
    c.arrange(package);
    const std::string dir = c.dir.empty() ? "" : package.root.Path() + c.dir;
    if (!dir.empty()) package.shell.files.insert(dir + "\\vestrix.exe");
    EXPECT_EQ(package.Run(dir), c.code);
    EXPECT_NE(package.text.find("T  " + c.line), std::string::npos) << package.text;
    package.Lines();  // every line ends in CR LF
    // A run that does not complete leaves nothing, not even the directory.
    const std::string installed_dir = package.root.Host(c.dir.empty() ? "VX" : c.dir);
    EXPECT_EQ(test::ReadFile(installed_dir + "/vestrix.exe").has_value(), c.code == secInstalled);
    EXPECT_EQ(std::filesystem::exists(installed_dir), c.code == secInstalled);
  }
}

TEST(SilentSetupTest, SilentBoxesAreAnsweredByTheirDefaultButton) {
  std::string text;
  TSetupLog log{[&text](const std::string& bytes) { text += bytes; }, [] { return "T"; }};
  TSilentMessageView view(log);
  const std::vector<std::pair<TMessageButtons, TModalResult>> cases = {{mbOK, mrOK},
                                                                       {mbOKHelp, mrOK},
                                                                       {mbYesNo, mrNo},
                                                                       {mbOKCancel, mrCancel},
                                                                       {mbRetryCancel, mrCancel}};
  int helps = 0;
  for (const auto& [buttons, result] : cases) {
    EXPECT_EQ(view.ShowMessageBox({mkConfirmation, buttons, 1, "Go?"}, [&helps] { ++helps; }),
              result);
  }
  EXPECT_EQ(helps, 0);
  std::string expected;
  for (size_t i = 0; i < cases.size(); ++i) expected += "T  Message (confirmation): Go?\r\n";
  EXPECT_EQ(text, expected);
}

TEST(SilentSetupTest, LoggedInteractiveBoxesAreLoggedAndStillShown) {
  std::string text;
  TSetupLog log{[&text](const std::string& bytes) { text += bytes; }, [] { return "12:00"; }};
  test::ScriptedMessageView shown;
  TLoggingMessageView view(shown, log);
  TMessageService messages(view);
  messages.Show(mkWarning, mbOK, kNoHelpContext, "first\r\nsecond");
  messages.RequestEnd();
  messages.Show(mkError, mbOK, kNoHelpContext, "unseen after the end");
  ASSERT_EQ(shown.shown.size(), 1u);
  EXPECT_EQ(shown.shown[0].Text, "first\r\nsecond");
  EXPECT_EQ(shown.end_requests, 1);
  EXPECT_EQ(text, "12:00  Message (warning): first\r\n\tsecond\r\n");
}

TEST(SilentSetupTest, LogWithoutSinkIsSilentAndTimestampHasItsForm) {
  TSetupLog quiet;
  EXPECT_FALSE(quiet.Enabled());
  quiet.Line("nothing");  // must not throw
  const std::string stamp = LogTimestamp();
  ASSERT_EQ(stamp.size(), 19u) << stamp;
  for (size_t i : {4u, 7u}) EXPECT_EQ(stamp[i], '-');
  EXPECT_EQ(stamp[10], ' ');
  for (size_t i : {13u, 16u}) EXPECT_EQ(stamp[i], ':');
}

}  // namespace
}  // namespace vx
