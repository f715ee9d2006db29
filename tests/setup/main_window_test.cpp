#include "setup/main_window.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "setup/scripted_views.h"

namespace vx {
namespace {

constexpr int64_t kMiB = 1048576;

// A complete package in the root of drive D:, installing to c:\work.
struct Package {
  Package() {
    system.files = {{"D:\\SETUP.chm", ""},
                    {"D:\\SETUP.INI", ""},
                    {"D:\\SETUP.TXT", "Welcome to VESTRIX\r\n\r\nSecond paragraph\n"},
                    {"D:\\prod.zip", ""}};
    settings() = {{"InstTitle", "VESTRIX 1.5"}, {"InstDir", "c:\\work"},
                  {"DiskNeededMB", "120"},      {"shortcuttitle", "VESTRIX"},
                  {"zipname", "prod.zip"},      {"exename", "vestrix.exe"}};
    system.free_bytes["C:\\"] = 5311 * kMiB + 1000;
  }

  std::map<std::string, std::string>& settings() { return system.profiles["D:\\SETUP.INI"]; }

  // Starts the window and returns the texts of the boxes that were seen.
  std::vector<std::string> Start() {
    form.FormCreate();
    std::vector<std::string> texts;
    for (const auto& box : messages_view.shown) texts.push_back(box.Text);
    return texts;
  }

  std::string Caption(TMainControl control) { return view.captions[control]; }

  test::ScriptedSystem system;
  test::ScriptedMainView view;
  test::ScriptedMessageView messages_view;
  TMessageService messages{messages_view};
  TForm1 form{view, messages, system};
};

class MainWindowTest : public testing::Test, public Package {};

TEST_F(MainWindowTest, NormalStartFillsTheWindow) {
  EXPECT_TRUE(Start().empty());
  EXPECT_FALSE(messages.EndRequested());

  const TInstallOptions& options = form.InstallOptions;
  EXPECT_EQ(options.ExeDir, "D:\\");
  EXPECT_EQ(options.InstTitle, "VESTRIX 1.5");
  EXPECT_EQ(options.InstDir, "c:\\work");
  EXPECT_EQ(options.DiskNeededMB, 120);
  EXPECT_EQ(options.ShortcutTitle, "VESTRIX");
  EXPECT_EQ(options.ExeName, "vestrix.exe");
  EXPECT_EQ(options.ZipPath, "D:\\prod.zip");
  EXPECT_EQ(options.FreeMB, 5311);
  EXPECT_FALSE(form.InstallRun.AbortRequested());
  EXPECT_EQ(form.HelpFile(), "D:\\SETUP.chm");
  EXPECT_EQ(form.SettingsFile(), "D:\\SETUP.INI");

  EXPECT_EQ(view.font_name, "Tahoma");
  EXPECT_EQ(view.title, "Install VESTRIX 1.5");
  EXPECT_EQ(view.memo, "Welcome to VESTRIX\r\n\r\nSecond paragraph");
  EXPECT_EQ(Caption(TMainControl::InstDirLabel), "Install in directory: c:\\work");
  // The drive letter as stored in the label, the upper-case root in the query.
  EXPECT_EQ(Caption(TMainControl::SpaceNeededLabel),
            "Required disk space 120 megabytes\r\nAvailable disk space on c: 5311 megabytes");
  EXPECT_EQ(system.free_space_queries, std::vector<std::string>{"C:\\"});
  EXPECT_EQ(view.font_colors[TMainControl::SpaceNeededLabel], clBlack);
  EXPECT_FALSE(view.visible.at(TMainControl::Gauge1));
  // The program's directory first, then the root of C: to keep it free.
  EXPECT_EQ(system.current_directories, (std::vector<std::string>{"D:\\", "C:\\"}));
}

TEST_F(MainWindowTest, SpaceLabelTurnsRedWhenMoreIsNeededThanFree) {
  settings()["DiskNeededMB"] = "5311";
  Start();
  EXPECT_EQ(view.font_colors[TMainControl::SpaceNeededLabel], clBlack);

  settings()["DiskNeededMB"] = "5312";
  form.ReadSettings();
  form.ShowSpaceInfo();
  EXPECT_EQ(view.font_colors[TMainControl::SpaceNeededLabel], clRed);

  // An unmeasurable drive shows -1, in red for any real need.
  settings()["DiskNeededMB"] = "0";
  form.ReadSettings();
  form.InstallOptions.InstDir = "Q:\\prod";
  form.ShowSpaceInfo();
  EXPECT_EQ(form.InstallOptions.FreeMB, -1);
  EXPECT_EQ(Caption(TMainControl::SpaceNeededLabel),
            "Required disk space 0 megabytes\r\nAvailable disk space on Q: -1 megabytes");
  EXPECT_EQ(view.font_colors[TMainControl::SpaceNeededLabel], clRed);
}

TEST_F(MainWindowTest, SpaceLabelTakesTheDirectoryLabelsFontSize) {
  view.font_sizes[TMainControl::InstDirLabel] = 9;
  view.font_sizes[TMainControl::SpaceNeededLabel] = 15;  // as an installation run leaves it
  Start();
  EXPECT_EQ(view.font_sizes[TMainControl::SpaceNeededLabel], 9);
}

// Each start-up problem alone, in the order they are tested.
TEST_F(MainWindowTest, EachStartupProblemShowsItsFatalErrorAndEndsTheProgram) {
  struct Case {
    const char* what;
    std::function<void(Package&)> break_it;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {"help file", [](auto& t) { t.system.files.erase("D:\\SETUP.chm"); },
       "Could not find file D:\\SETUP.chm"},
      {"settings file", [](auto& t) { t.system.files.erase("D:\\SETUP.INI"); },
       "Could not find file D:\\SETUP.INI"},
      {"InstTitle", [](auto& t) { t.settings().erase("InstTitle"); },
       "No InstTitle setting in file D:\\SETUP.INI"},
      {"InstDir", [](auto& t) { t.settings()["InstDir"] = ""; },
       "No InstDir setting in file D:\\SETUP.INI"},
      {"DiskNeededMB missing", [](auto& t) { t.settings().erase("DiskNeededMB"); },
       "No DiskNeededMB setting in file D:\\SETUP.INI"},
      {"DiskNeededMB abc", [](auto& t) { t.settings()["DiskNeededMB"] = "abc"; },
       "No DiskNeededMB setting in file D:\\SETUP.INI"},
      {"DiskNeededMB -1", [](auto& t) { t.settings()["DiskNeededMB"] = "-1"; },
       "No DiskNeededMB setting in file D:\\SETUP.INI"},
      {"exename", [](auto& t) { t.settings().erase("exename"); },
       "No exename setting in file D:\\SETUP.INI"},
      {"zipname", [](auto& t) { t.settings().erase("zipname"); },
       "No zipname setting in file D:\\SETUP.INI"},
      {"archive", [](auto& t) { t.system.files.erase("D:\\prod.zip"); },
       "Could not find file D:\\prod.zip"},
      {"readme", [](auto& t) { t.system.files.erase("D:\\SETUP.TXT"); },
       "Could not find file D:\\SETUP.TXT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Package t;
    c.break_it(t);
    const auto seen = t.Start();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "A fatal error has occurred while running Setup. Problem is:\r\n\r\n" +
                           c.problem + "\r\n\r\nSetup will be terminated");
    const TMessageBox& box = t.messages_view.shown[0];
    EXPECT_EQ(box.Kind, mkError);
    EXPECT_EQ(box.Buttons, mbOKHelp);
    EXPECT_EQ(box.HelpContext, kFatalErrorHelpContext);
    EXPECT_TRUE(t.messages.EndRequested());
    EXPECT_EQ(t.messages_view.end_requests, 1);
  }
}

TEST_F(MainWindowTest, OnlyTheFirstOfSeveralProblemsIsSeen) {
  settings().erase("InstTitle");
  settings().erase("InstDir");
  const auto seen = Start();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].find("No InstTitle setting"), std::string::npos);
  // Without a directory there is nothing to measure or show.
  EXPECT_TRUE(system.free_space_queries.empty());
  EXPECT_EQ(Caption(TMainControl::InstDirLabel), "InstDirLabel");
  EXPECT_EQ(view.title, "Install ");
}

// DiskNeededMB is tested before exename, and exename before zipname, although
// the file is read in another order: with several missing, the first of
// that order is the one shown.
TEST_F(MainWindowTest, SpaceExeNameAndZipNameAreCheckedInThatOrder) {
  struct Case {
    std::vector<const char*> missing;
    const char* shown;
  };
  const Case cases[] = {
      {{"DiskNeededMB", "exename", "zipname"}, "No DiskNeededMB setting"},
      {{"zipname", "exename"}, "No exename setting"},
      {{"zipname", "DiskNeededMB"}, "No DiskNeededMB setting"},
      {{"exename", "DiskNeededMB"}, "No DiskNeededMB setting"},
  };
  for (const Case& c : cases) {
    Package t;
    for (const char* key : c.missing) t.settings().erase(key);
    const auto seen = t.Start();
    ASSERT_EQ(seen.size(), 1u) << c.shown;
    EXPECT_NE(seen[0].find(c.shown), std::string::npos) << seen[0];
  }
}

TEST_F(MainWindowTest, ArchiveIsLookedUpBesideTheProgram) {
  settings()["zipname"] = "\\sub\\prod.zip";
  system.files["D:\\sub\\prod.zip"] = "";
  EXPECT_TRUE(Start().empty());
  EXPECT_EQ(form.InstallOptions.ZipPath, "D:\\sub\\prod.zip");
}

TEST_F(MainWindowTest, ProgramOnANetworkShareFindsItsArchive) {
  system.program = "\\\\server\\share\\disk1\\SETUP.EXE";
  system.files = {{"\\\\server\\share\\disk1\\SETUP.chm", ""},
                  {"\\\\server\\share\\disk1\\SETUP.INI", ""},
                  {"\\\\server\\share\\disk1\\SETUP.TXT", "x"},
                  {"\\\\server\\share\\disk1\\prod.zip", ""}};
  system.profiles["\\\\server\\share\\disk1\\SETUP.INI"] = settings();
  EXPECT_TRUE(Start().empty());
  EXPECT_EQ(form.InstallOptions.ExeDir, "\\\\server\\share\\disk1\\");
  EXPECT_EQ(form.InstallOptions.ZipPath, "\\\\server\\share\\disk1\\prod.zip");
}

TEST_F(MainWindowTest, HexadecimalAndZeroSpaceAreAccepted) {
  settings()["DiskNeededMB"] = "0x20";
  EXPECT_TRUE(Start().empty());
  EXPECT_EQ(form.InstallOptions.DiskNeededMB, 32);
  settings()["DiskNeededMB"] = "0";
  form.ReadSettings();
  EXPECT_EQ(form.InstallOptions.DiskNeededMB, 0);
  EXPECT_FALSE(messages.EndRequested());
}

TEST_F(MainWindowTest, UnreadableReadmeIsReportedAndStartGoesOn) {
  system.unreadable.insert("D:\\SETUP.TXT");
  const auto seen = Start();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "The process cannot access the file");
  EXPECT_EQ(messages_view.shown[0].Buttons, mbOK);
  EXPECT_FALSE(messages.EndRequested());
  EXPECT_EQ(Caption(TMainControl::InstDirLabel), "Install in directory: c:\\work");
}

TEST_F(MainWindowTest, HelpRequestsReachTheApplicationsHelpHandler) {
  std::vector<std::pair<uint16_t, uint32_t>> requests;
  messages.OnHelp = [&requests](uint16_t command, uint32_t data) {
    requests.emplace_back(command, data);
  };
  system.files.erase("D:\\SETUP.INI");
  messages_view.script.push_back({1, mrOK});
  Start();
  form.HelpBtnClick();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], std::make_pair(kHelpContext, kFatalErrorHelpContext));
  EXPECT_EQ(requests[1], std::make_pair(kHelpIndex, uint32_t{0}));
}

TEST(DiskFreeMB, RootIsTheUpperCaseLetterAndBlankMeansTheCurrentDrive) {
  test::ScriptedSystem system;
  system.free_bytes = {{"E:\\", 1572864}, {"", 2621440}};
  EXPECT_EQ(DiskFreeMB(system, 'e'), 2);
  EXPECT_EQ(DiskFreeMB(system, ' '), 2);
  EXPECT_EQ(DiskFreeMB(system, 'F'), -1);
  EXPECT_EQ(system.free_space_queries, (std::vector<std::string>{"E:\\", "", "F:\\"}));
}

}  // namespace
}  // namespace vx
