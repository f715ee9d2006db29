#include <gtest/gtest.h>

#include <fstream>

#include "platform/exception.h"
#include "setup/setup_system.h"
#include "support/test_support.h"

namespace vx {
namespace {

TEST(PlatformSetupSystem, ReadsFilesAndSettingsFromDisk) {
  test::ScratchDir dir;
  const std::string readme = dir.File("SETUP.TXT");
  const std::string bytes("line one\r\nline\0two\n", 19);
  std::ofstream(readme, std::ios::binary) << bytes;
  std::ofstream(dir.File("SETUP.INI"), std::ios::binary)
      << "[settings]\r\ninsttitle = VESTRIX 1.5 \r\n";

  TPlatformSetupSystem system;
  EXPECT_TRUE(system.FileExists(readme));
  EXPECT_FALSE(system.DirectoryExists(readme));
  EXPECT_TRUE(system.DirectoryExists(dir.Path()));
  EXPECT_EQ(system.ReadFile(readme), bytes);
  EXPECT_THROW(system.ReadFile(dir.File("missing.txt")), Exception);
  EXPECT_EQ(system.ReadProfileString("Settings", "InstTitle", "", dir.File("SETUP.INI")),
            "VESTRIX 1.5");
  EXPECT_EQ(system.ReadProfileString("Settings", "InstDir", "none", dir.File("SETUP.INI")), "none");
}

}  // namespace
}  // namespace vx
