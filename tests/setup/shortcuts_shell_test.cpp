// The shortcut component on the system's own shell. Under Windows (and Wine)
// the links are real .lnk files in the user's Desktop and Start Menu
// programs folders. With VX_LINK_OUTPUT naming a directory the links are
// kept: the target lives in <output>\product, each link is copied to
// <output>\<name>.lnk and <output>\links.txt lists "<name>|<link file>", for
// the checks from outside (check_links.sh). Linux has no shell.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "setup/shortcuts.h"
#include "support/test_support.h"

namespace vx {
namespace {

bool HasShell() {
  return !platform::SystemDirectory().empty();
}

TEST(SystemShell, IsAbsentWithoutWindows) {
  if (HasShell()) GTEST_SKIP() << "this system has a Windows shell";
  try {
    TStShortcut shortcut(PlatformShell(), 0);
    ADD_FAILURE() << "a shortcut component without a shell";
  } catch (const EStVersionInfoError& error) {
    EXPECT_EQ(error.Message(), "Error opening file");
  }
  std::string path = "unchanged";
  EXPECT_FALSE(platform::SpecialFolderLocation(0, SpecialFolderCsidl(sfDesktop), path));
  EXPECT_EQ(path, "");
  EXPECT_THROW(platform::CreateShellLink(), platform::EComError);
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class SystemShellLinks : public testing::Test {
 protected:
  void SetUp() override {
    if (!HasShell()) GTEST_SKIP() << "no Windows shell on this system";
    // Wine mirrors every saved link into the Linux desktop and menus with a
    // helper program; switched off in the test prefix, so that the tests
    // leave the user's home as it was.
    if (platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser, "Software\\Wine",
                                    platform::RegistryAccess::kRead, false)) {
      auto overrides = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser,
                                                   "Software\\Wine\\DllOverrides",
                                                   platform::RegistryAccess::kReadWrite, true);
      if (overrides) overrides->WriteString("winemenubuilder.exe", "");
    }
    const auto requested = platform::GetEnvironmentVariable("VX_LINK_OUTPUT");
    keep_ = requested.has_value() && !requested->empty();
    output_ = keep_ ? *requested : scratch_.Path();
    product_ = output_ + "\\product";
    platform::CreateDirectory(product_);
    target_ = product_ + "\\vestrix.exe";
    WriteFile(target_, "MZ");
    ASSERT_TRUE(platform::FileExists(target_));
  }
  void TearDown() override {
    for (const auto& link : made_) platform::DeleteFile(link);
  }

  // Configured as the installation configures its links.
  void ForInstallation(TStShortcut& shortcut, TStSpecialRootFolder folder,
                       const std::string& title) {
    shortcut.SetIconIndex(0);
    shortcut.SetAutoName(false);
    shortcut.SetDescription(title);
    shortcut.SetFileName(target_);
    shortcut.SetLocationType(ltSpecialFolder);
    shortcut.SetStartInDir(product_);
    shortcut.SetSpecialFolder(folder);
  }

  // Makes the link after removing an older one of the same name, so only a
  // file saved now can pass.
  bool Make(TStShortcut& shortcut, const std::string& expected_file) {
    platform::DeleteFile(expected_file);
    const bool saved = shortcut.MakeShortcut();
    if (saved && !keep_) made_.push_back(shortcut.ShortcutFileName());
    return saved;
  }

  // Keeps a copy and lists the link for the checks from outside.
  void Keep(const std::string& name, const std::string& link) {
    if (!keep_) return;
    WriteFile(output_ + "\\" + name + ".lnk", ReadFile(link));
    std::ofstream(output_ + "\\links.txt", std::ios::app) << name << "|" << link << "\n";
  }

  platform::ComApartment com_;
  test::ScratchDir scratch_;
  bool keep_ = false;
  std::string output_;
  std::string product_;
  std::string target_;
  std::vector<std::string> made_;
};

TEST_F(SystemShellLinks, DesktopAndProgramsLinksAreNamedAfterTheTitle) {
  TStShortcut shortcut(PlatformShell(), 0);
  EXPECT_GE(shortcut.ShellVersion(), 4.7);
  // The kept links carry the installation's title; the others a title of
  // their own, so that runs side by side do not share a file.
  const std::string title =
      keep_ ? "Model Tool"
            : "Model Tool " + scratch_.Path().substr(scratch_.Path().find_last_of("\\/") + 1);
  for (const auto& [folder, name, tail] :
       {std::tuple{sfDesktop, "desktop", "\\Desktop\\"},
        std::tuple{sfPrograms, "programs", "\\Start Menu\\Programs\\"}}) {
    ForInstallation(shortcut, folder, title);
    const std::string destination = shortcut.DestinationPath();
    EXPECT_TRUE(EndsWith(destination, tail)) << destination;
    ASSERT_TRUE(platform::DirectoryExists(destination)) << destination;
    const std::string expected = destination + title + ".lnk";
    ASSERT_TRUE(Make(shortcut, expected)) << expected;
    EXPECT_EQ(shortcut.ShortcutFileName(), expected);
    EXPECT_TRUE(platform::FileExists(expected)) << expected;
    Keep(name, expected);
  }
}

TEST_F(SystemShellLinks, DirectoryLinkCarriesEveryProperty) {
  TStShortcut shortcut(PlatformShell(), 0);
  shortcut.SetFileName(target_);
  shortcut.SetParameters("-batch units.dat");
  shortcut.SetDescription("Units converter");
  shortcut.SetIconPath(product_ + "\\icons.dll");
  shortcut.SetIconIndex(2);
  shortcut.SetShowCommand(ssMinimized);
  shortcut.SetLocationType(ltDirectory);
  shortcut.SetDestinationDir(scratch_.Path());
  const std::string expected = scratch_.Path() + "\\Shortcut to vestrix.exe.lnk";
  ASSERT_TRUE(Make(shortcut, expected));
  EXPECT_EQ(shortcut.ShortcutFileName(), expected);
  EXPECT_TRUE(platform::FileExists(expected));
  Keep("directory", expected);
}

TEST_F(SystemShellLinks, EmptyTitleGivesADotLnkFile) {
  TStShortcut shortcut(PlatformShell(), 0);
  ForInstallation(shortcut, sfDesktop, "");
  const std::string expected = shortcut.DestinationPath() + ".lnk";
  ASSERT_TRUE(Make(shortcut, expected));
  EXPECT_EQ(shortcut.ShortcutFileName(), expected);
  EXPECT_TRUE(platform::FileExists(expected));
}

TEST_F(SystemShellLinks, TitleWithAQuestionMarkCannotBeSaved) {
  TStShortcut shortcut(PlatformShell(), 0);
  for (TStSpecialRootFolder folder : {sfDesktop, sfPrograms}) {
    ForInstallation(shortcut, folder, "Model?Tool");
    EXPECT_FALSE(shortcut.MakeShortcut()) << folder;
    EXPECT_EQ(shortcut.ShortcutFileName(), "") << folder;
  }
}

TEST_F(SystemShellLinks, MissingTargetIsRefused) {
  TStShortcut shortcut(PlatformShell(), 0);
  ForInstallation(shortcut, sfDesktop, "Model Tool");
  shortcut.SetFileName(product_ + "\\missing.exe");
  try {
    shortcut.MakeShortcut();
    ADD_FAILURE() << "no error";
  } catch (const EStShortcutError& error) {
    EXPECT_EQ(error.Message(), "Cannot create shortcut. Target file does not exist");
  }
}

TEST_F(SystemShellLinks, UnresolvedSpecialFolderSavesInTheCurrentDirectory) {
  TStShortcut shortcut(PlatformShell(), 0);
  ForInstallation(shortcut, sfDesktop, "Model Tool");
  // A folder this shell cannot give a location for.
  int32_t unresolved = -1;
  for (int32_t i = 0; i < kSpecialRootFolderCount && unresolved < 0; ++i) {
    shortcut.SetSpecialFolder(static_cast<TStSpecialRootFolder>(i));
    if (shortcut.DestinationPath().empty()) unresolved = i;
  }
  if (unresolved < 0) GTEST_SKIP() << "this shell resolves every special folder";
  const std::string previous = platform::GetCurrentDirectory();
  ASSERT_TRUE(platform::SetCurrentDirectory(scratch_.Path()));
  const bool saved = shortcut.MakeShortcut();
  platform::SetCurrentDirectory(previous);
  ASSERT_TRUE(saved) << "folder " << unresolved;
  EXPECT_EQ(shortcut.ShortcutFileName(), "Model Tool.lnk");
  EXPECT_TRUE(platform::FileExists(scratch_.Path() + "\\Model Tool.lnk"))
      << "folder " << unresolved;
}

}  // namespace
}  // namespace vx
