#include "util/environment_utils.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_support.h"
#include "util/drive_probes.h"
#include "util_test_helpers.h"

namespace vx {
namespace {

using test::ScopedEnv;

TEST(GetEnvVar, UnsetEmptyAndOverlongValuesGiveTheDefault) {
  {
    ScopedEnv unset("VX_TEST_VAR", std::nullopt);
    EXPECT_EQ(GetEnvVar("VX_TEST_VAR", "dflt"), "dflt");
  }
  {
    ScopedEnv empty("VX_TEST_VAR", "");
    EXPECT_EQ(GetEnvVar("VX_TEST_VAR", "dflt"), "dflt");
  }
  {
    ScopedEnv padded("VX_TEST_VAR", "  spaced value ");
    EXPECT_EQ(GetEnvVar("VX_TEST_VAR", "dflt"), "  spaced value ");
  }
  const std::string longest(4095, 'x');
  {
    ScopedEnv fits("VX_TEST_VAR", longest);
    EXPECT_EQ(GetEnvVar("VX_TEST_VAR", "dflt"), longest);
  }
  {
    ScopedEnv too_long("VX_TEST_VAR", longest + "y");
    EXPECT_EQ(GetEnvVar("VX_TEST_VAR", "dflt"), "dflt");
  }
}

TEST(EnvValueWithin, TheBufferHoldsTheTerminatingZero) {
  EXPECT_EQ(EnvValueWithin(std::string(2047, 'a'), 2048, ""), std::string(2047, 'a'));
  EXPECT_EQ(EnvValueWithin(std::string(2048, 'a'), 2048, "d"), "d");
  EXPECT_EQ(EnvValueWithin(std::nullopt, 2048, "d"), "d");
}

bool NoLeadBytes(uint8_t) {
  return false;
}

TEST(PathSearchCandidates, JoinsEachEntryTheWayWindowsDoes) {
  EXPECT_EQ(PathSearchCandidates(";;C:;C:\\;;D:\\bin\\;E:\\tools;", "KELDA.EXE", NoLeadBytes),
            (std::vector<std::string>{"C:KELDA.EXE", "C:\\KELDA.EXE", "D:\\bin\\KELDA.EXE",
                                      "E:\\tools\\KELDA.EXE"}));
  EXPECT_TRUE(PathSearchCandidates("", "X", NoLeadBytes).empty());
  EXPECT_TRUE(PathSearchCandidates(";;;", "X", NoLeadBytes).empty());
}

TEST(PathSearchCandidates, ATrailByteEqualToSemicolonDoesNotEndADirectory) {
  auto lead = [](uint8_t byte) { return byte == 0x81; };
  EXPECT_EQ(PathSearchCandidates("C:\\\x81;dir;D:\\x", "A", lead),
            (std::vector<std::string>{"C:\\\x81;dir\\A", "D:\\x\\A"}));
  // A lead byte at the very end has no trail byte to take along.
  EXPECT_EQ(PathSearchCandidates("C:\\x\x81", "A", lead),
            (std::vector<std::string>{"C:\\x\x81\\A"}));
}

void Touch(const std::string& path) {
  std::ofstream(path) << "x";
}

TEST(FindOnPath, TheCurrentDirectoryComesFirstThenThePathInOrder) {
  test::ScratchDir current, first, second;
  const std::string name = "vx_on_path.exe";
  Touch(second.File(name));
  ScopedEnv path("PATH", std::string(";") + current.File("missing") + ";;" + first.Path() + ";" +
                             second.Path() + "\\");
  test::ScopedCurrentDirectory cd(current.Path());
  ASSERT_TRUE(cd.ok());

  EXPECT_EQ(FindOnPath(name), second.Path() + "\\" + name);
  Touch(first.File(name));
  EXPECT_EQ(FindOnPath(name), first.Path() + "\\" + name);
  Touch(current.File(name));
  EXPECT_EQ(FindOnPath(name), name);
  EXPECT_EQ(FindOnPath("vx_nowhere.exe"), "");
  // A directory of that name is not a program.
  EXPECT_EQ(FindOnPath(""), "");
}

TEST(GetProductDir, VxdirWhenItExistsElseCVxElseNothing) {
  test::ScratchDir product;
#ifdef _WIN32
  // The real drive C: of the Wine prefix; C:\VX is made here only if absent.
  const bool made_vx = platform::CreateDirectory("C:\\VX");
  if (!made_vx && !platform::DirectoryExists("C:\\VX")) GTEST_SKIP() << "C:\\VX cannot be made";
#else
  test::ScratchDir drive_c;
  test::ScopedDriveMap drives({{'C', drive_c.Path()}});
  const bool made_vx = platform::CreateDirectory("C:\\VX");
  ASSERT_TRUE(made_vx);
#endif
  {
    ScopedEnv vxdir("VXDIR", product.Path() + "\\");
    EXPECT_EQ(GetProductDir(), product.Path() + "\\");  // as written, backslash and all
  }
  {
    ScopedEnv vxdir("VXDIR", std::nullopt);
    EXPECT_EQ(GetProductDir(), "C:\\VX");
  }
  {
    ScopedEnv vxdir("VXDIR", product.File("missing"));
    EXPECT_EQ(GetProductDir(), "C:\\VX");
    if (made_vx) {  // a C:\VX that was there before is left alone
      ASSERT_TRUE(platform::RemoveDirectory("C:\\VX"));
      EXPECT_EQ(GetProductDir(), "");
    }
  }
}

}  // namespace
}  // namespace vx
