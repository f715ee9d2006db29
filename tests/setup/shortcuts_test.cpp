#include "setup/shortcuts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "setup/scripted_shell.h"

namespace vx {
namespace {

constexpr int32_t kDesktop = 0x00;
constexpr int32_t kPrograms = 0x02;
constexpr intptr_t kOwner = 0x1234;
const char* const kTarget = "C:\\VESTRIX\\vestrix.exe";

TEST(ShortcutFolders, EveryFolderStandsForItsShellNumber) {
  const std::vector<std::pair<TStSpecialRootFolder, int32_t>> table = {{sfAltStartup, 0x1D},
                                                                       {sfAppData, 0x1A},
                                                                       {sfBitBucket, 0x0A},
                                                                       {sfCommonAltStartup, 0x1E},
                                                                       {sfCommonDesktopDir, 0x19},
                                                                       {sfCommonFavorites, 0x1F},
                                                                       {sfCommonPrograms, 0x17},
                                                                       {sfCommonStartMenu, 0x16},
                                                                       {sfCommonStartup, 0x18},
                                                                       {sfConnections, 0x31},
                                                                       {sfControls, 0x03},
                                                                       {sfCookies, 0x21},
                                                                       {sfDesktop, 0x00},
                                                                       {sfDesktopDir, 0x10},
                                                                       {sfDrives, 0x11},
                                                                       {sfFavorites, 0x06},
                                                                       {sfFonts, 0x14},
                                                                       {sfHistory, 0x22},
                                                                       {sfInternet, 0x01},
                                                                       {sfInternetCache, 0x20},
                                                                       {sfNetHood, 0x13},
                                                                       {sfNetwork, 0x12},
                                                                       {sfNone, 0x00},
                                                                       {sfPersonal, 0x05},
                                                                       {sfPrinters, 0x04},
                                                                       {sfPrintHood, 0x1B},
                                                                       {sfPrograms, 0x02},
                                                                       {sfRecentFiles, 0x08},
                                                                       {sfSendTo, 0x09},
                                                                       {sfStartMenu, 0x0B},
                                                                       {sfStartup, 0x07},
                                                                       {sfTemplates, 0x15}};
  ASSERT_EQ(table.size(), static_cast<size_t>(kSpecialRootFolderCount));
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(static_cast<size_t>(table[i].first), i) << "enumeration order";
    EXPECT_EQ(SpecialFolderCsidl(table[i].first), table[i].second) << "folder " << i;
  }
}

TEST(ShortcutShellVersion, IsTheTextCutBeforeItsSecondDot) {
  const std::vector<std::pair<std::string, double>> good = {
      {"4.72.3110.0", 4.72}, {"6.0.2900.2180", 6.0}, {"10.0.19041.1", 10.0},
      {"4.00.950", 4.0},     {"5.50.4134.100", 5.5}, {"4.71.", 4.71}};
  for (const auto& [text, version] : good) {
    EXPECT_DOUBLE_EQ(ShellVersionFromText(text), version) << text;
  }
  // No second dot within the first six characters, or no number before it.
  for (const std::string text : {"4.72", "", "6", "4.7250.1", "100000.1.2", "a.b.c", "x.1.2"}) {
    EXPECT_THROW(ShellVersionFromText(text), Exception) << text;
  }
}

struct ShortcutTest : testing::Test {
  ShortcutTest() {
    shell.files.insert(kTarget);
    shell.special_folders[kDesktop] = "C:\\windows\\profiles\\ann\\Desktop";
    shell.special_folders[kPrograms] = "C:\\windows\\profiles\\ann\\Start Menu\\Programs";
  }
  // Configured as the installation configures its two links.
  TStShortcut& ForInstallation(TStSpecialRootFolder folder, const std::string& title) {
    shortcut.SetIconIndex(0);
    shortcut.SetAutoName(false);
    shortcut.SetDescription(title);
    shortcut.SetFileName(kTarget);
    shortcut.SetLocationType(ltSpecialFolder);
    shortcut.SetStartInDir("C:\\VESTRIX");
    shortcut.SetSpecialFolder(folder);
    return shortcut;
  }
  std::vector<std::string> LinkCalls() const {
    std::vector<std::string> link_calls;
    bool created = false;
    for (const auto& call : shell.calls) {
      created = created || call == "CreateShellLink";
      if (created) link_calls.push_back(call);
    }
    return link_calls;
  }

  test::ScriptedShell shell;
  TStShortcut shortcut{shell, kOwner};
};

TEST_F(ShortcutTest, StartsWithTheDocumentedDefaults) {
  EXPECT_DOUBLE_EQ(shortcut.ShellVersion(), 6.0);
  EXPECT_EQ(shortcut.FileName(), "");
  EXPECT_EQ(shortcut.Parameters(), "");
  EXPECT_EQ(shortcut.Description(), "");
  EXPECT_EQ(shortcut.StartInDir(), "");
  EXPECT_EQ(shortcut.IconPath(), "");
  EXPECT_EQ(shortcut.IconIndex(), 0);
  EXPECT_EQ(shortcut.HotKey(), 0);
  EXPECT_EQ(shortcut.ShowCommand(), ssNormal);
  EXPECT_TRUE(shortcut.AutoName());
  EXPECT_EQ(shortcut.LocationType(), ltSpecialFolder);
  EXPECT_EQ(shortcut.SpecialFolder(), sfDesktop);
  EXPECT_EQ(shortcut.DestinationDir(), "");
  EXPECT_EQ(shortcut.ShortcutFileName(), "");
}

TEST_F(ShortcutTest, AnUnreadableShellVersionStopsTheCreation) {
  test::ScriptedShell broken;
  broken.version_unreadable = true;
  EXPECT_THROW(TStShortcut(broken, 0), EStVersionInfoError);
  broken.version_unreadable = false;
  broken.version_text = "4.72";
  EXPECT_THROW(TStShortcut(broken, 0), Exception);
}

TEST_F(ShortcutTest, NewerFoldersNeedShellVersion47) {
  const std::vector<TStSpecialRootFolder> newer = {
      sfInternet,      sfAltStartup, sfCommonAltStartup, sfCommonFavorites,
      sfInternetCache, sfCookies,    sfHistory};
  struct Case {
    const char* version;
    bool raises;
  };
  for (const Case& shell_case : {Case{"4.00.950", true}, Case{"4.70.1", false},
                                 Case{"4.71.1712", false}, Case{"6.0.2900", false}}) {
    test::ScriptedShell old_shell;
    old_shell.version_text = shell_case.version;
    TStShortcut component(old_shell, 0);
    for (int32_t i = 0; i < kSpecialRootFolderCount; ++i) {
      const auto folder = static_cast<TStSpecialRootFolder>(i);
      const bool needs_newer = std::find(newer.begin(), newer.end(), folder) != newer.end();
      EXPECT_EQ(NeedsNewerShell(folder), needs_newer) << i;
      if (needs_newer && shell_case.raises) {
        try {
          component.SetSpecialFolder(folder);
          ADD_FAILURE() << "no error for folder " << i << " on " << shell_case.version;
        } catch (const EStShellError& error) {
          EXPECT_EQ(error.Message(), "Operation not supported in this version of the shell");
        }
      } else {
        EXPECT_NO_THROW(component.SetSpecialFolder(folder)) << i << " on " << shell_case.version;
      }
      EXPECT_EQ(component.SpecialFolder(), folder) << "the value is kept even when refused";
    }
  }
}

TEST_F(ShortcutTest, DestinationPathForEachLocation) {
  shell.special_folders[0x05] = "C:\\";  // a root given with its backslash keeps it, doubled
  struct Case {
    TStLocationType location;
    TStSpecialRootFolder folder;
    std::string destination_dir;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {ltSpecialFolder, sfDesktop, "", "C:\\windows\\profiles\\ann\\Desktop\\"},
      {ltSpecialFolder, sfPrograms, "", "C:\\windows\\profiles\\ann\\Start Menu\\Programs\\"},
      {ltSpecialFolder, sfPersonal, "", "C:\\\\"},
      {ltSpecialFolder, sfFonts, "", ""},  // the shell has no such folder here
      {ltDirectory, sfDesktop, "E:\\links", "E:\\links\\"},
      {ltDirectory, sfDesktop, "E:\\links\\", "E:\\links\\"},
      {ltDirectory, sfDesktop, "", "\\"},
      {ltWorkingDir, sfDesktop, "E:\\links", "D:\\"},
  };
  for (const Case& c : cases) {
    shortcut.SetLocationType(c.location);
    shortcut.SetSpecialFolder(c.folder);
    shortcut.SetDestinationDir(c.destination_dir);
    EXPECT_EQ(shortcut.DestinationPath(), c.expected)
        << c.location << " " << c.folder << " " << c.destination_dir;
  }
  for (intptr_t owner : shell.folder_owners) EXPECT_EQ(owner, kOwner);
}

TEST_F(ShortcutTest, InstallationLinksFillTheLinkInOrderAndSaveWithoutRemembering) {
  for (const auto& [folder, path] : {std::pair{sfDesktop, std::string("Desktop")},
                                     std::pair{sfPrograms, std::string("Start Menu\\Programs")}}) {
    shell.calls.clear();
    ForInstallation(folder, "Model Tool");
    ASSERT_TRUE(shortcut.MakeShortcut());
    const std::string link = "C:\\windows\\profiles\\ann\\" + path + "\\Model Tool.lnk";
    EXPECT_EQ(shortcut.ShortcutFileName(), link);
    const std::vector<std::string> expected = {"CreateShellLink",
                                               "SetPath C:\\VESTRIX\\vestrix.exe",
                                               "SetArguments ",
                                               "SetDescription Model Tool",
                                               "SetHotkey 0",
                                               "SetShowCmd 1",
                                               "SetWorkingDirectory C:\\VESTRIX",
                                               "Save " + link + " remember=0"};
    EXPECT_EQ(LinkCalls(), expected);
  }
}

TEST_F(ShortcutTest, OptionalPropertiesReachTheLink) {
  shortcut.SetFileName(kTarget);
  shortcut.SetParameters("-q in.dat");
  shortcut.SetHotKey(0x0641);
  shortcut.SetIconPath("C:\\VESTRIX\\icons.dll");
  shortcut.SetIconIndex(3);
  shortcut.SetShowCommand(ssMaximized);
  shortcut.SetLocationType(ltDirectory);
  shortcut.SetDestinationDir("E:\\links");
  ASSERT_TRUE(shortcut.MakeShortcut());
  const std::vector<std::string> expected = {
      "CreateShellLink",
      "SetPath C:\\VESTRIX\\vestrix.exe",
      "SetArguments -q in.dat",
      "SetDescription ",
      "SetHotkey 1601",
      "SetShowCmd 3",
      "SetIconLocation C:\\VESTRIX\\icons.dll,3",
      "Save E:\\links\\Shortcut to vestrix.exe.lnk remember=0"};
  EXPECT_EQ(LinkCalls(), expected);
  shell.calls.clear();
  shortcut.SetShowCommand(ssMinimized);
  ASSERT_TRUE(shortcut.MakeShortcut());
  EXPECT_EQ(LinkCalls().at(5), "SetShowCmd 2");
}

TEST_F(ShortcutTest, LinkFileNames) {
  struct Case {
    bool auto_name;
    std::string description;
    std::string target;
    std::string expected;
  };
  shell.files.insert("C:\\tools\\kelda");
  shell.files.insert("C:kelda.exe");
  const std::vector<Case> cases = {
      {false, "Model Tool", kTarget, "E:\\l\\Model Tool.lnk"},
      {false, "", kTarget, "E:\\l\\.lnk"},
      {false, "a?b", kTarget, "E:\\l\\a?b.lnk"},
      {true, "Model Tool", kTarget, "E:\\l\\Shortcut to vestrix.exe.lnk"},
      {true, "", "C:\\tools\\kelda", "E:\\l\\Shortcut to kelda.lnk"},
      {true, "", "C:kelda.exe", "E:\\l\\Shortcut to kelda.exe.lnk"},
  };
  shortcut.SetLocationType(ltDirectory);
  shortcut.SetDestinationDir("E:\\l");
  for (const Case& c : cases) {
    shortcut.SetAutoName(c.auto_name);
    shortcut.SetDescription(c.description);
    shortcut.SetFileName(c.target);
    ASSERT_TRUE(shortcut.MakeShortcut());
    EXPECT_EQ(shortcut.ShortcutFileName(), c.expected);
  }
}

TEST_F(ShortcutTest, AnUnresolvedFolderLeavesTheNameStandingAlone) {
  ForInstallation(sfDesktop, "Model Tool");
  shell.special_folders.clear();
  ASSERT_TRUE(shortcut.MakeShortcut());
  EXPECT_EQ(shortcut.ShortcutFileName(), "Model Tool.lnk");
}

TEST_F(ShortcutTest, AFailedSaveReturnsFalseAndKeepsTheLastName) {
  ForInstallation(sfDesktop, "Model Tool");
  ASSERT_TRUE(shortcut.MakeShortcut());
  const std::string saved = shortcut.ShortcutFileName();
  shell.save_succeeds = false;
  ForInstallation(sfPrograms, "Model?Tool");
  EXPECT_FALSE(shortcut.MakeShortcut());
  EXPECT_EQ(shortcut.ShortcutFileName(), saved);
}

TEST_F(ShortcutTest, ErrorsAreRaisedBeforeAnyLinkIsMade) {
  struct Case {
    const char* name;
    void (*arrange)(test::ScriptedShell&, TStShortcut&);
    const char* message;
  };
  const std::vector<Case> cases = {
      {"missing target", [](test::ScriptedShell& s, TStShortcut&) { s.files.clear(); },
       "Cannot create shortcut. Target file does not exist"},
      {"no destination directory",
       [](test::ScriptedShell&, TStShortcut& c) { c.SetLocationType(ltDirectory); },
       "Destination directory not specified"},
      {"incomplete link object",
       [](test::ScriptedShell& s, TStShortcut&) {
         s.link_object = test::ScriptedShell::kIncomplete;
       },
       "Error creating IShellLink"},
  };
  for (const Case& c : cases) {
    test::ScriptedShell fresh;
    fresh.files.insert(kTarget);
    TStShortcut component(fresh, 0);
    component.SetFileName(kTarget);
    c.arrange(fresh, component);
    try {
      component.MakeShortcut();
      ADD_FAILURE() << c.name << ": no error";
    } catch (const EStShortcutError& error) {
      EXPECT_EQ(error.Message(), c.message) << c.name;
    }
    EXPECT_EQ(component.ShortcutFileName(), "") << c.name;
    for (const auto& call : fresh.calls) EXPECT_NE(call.rfind("Save", 0), 0u) << c.name;
  }
}

TEST_F(ShortcutTest, AShellWithoutLinkObjectsRaisesItsComError) {
  shell.link_object = test::ScriptedShell::kNotCreatable;
  ForInstallation(sfDesktop, "Model Tool");
  try {
    shortcut.MakeShortcut();
    ADD_FAILURE() << "no error";
  } catch (const platform::EComError& error) {
    EXPECT_EQ(error.ErrorCode(), platform::kClassNotRegistered);
  }
}

}  // namespace
}  // namespace vx
