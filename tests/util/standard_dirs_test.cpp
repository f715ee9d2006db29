#include "util/standard_dirs.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/exception.h"
#include "platform/path_text.h"
#include "platform/system.h"
#include "support/test_support.h"
#include "util/drive_probes.h"
#include "util_test_helpers.h"

namespace vx {
namespace {

using test::ScopedEnv;

// Every label of the sixteen kinds, against a copy typed from the published
// table rather than taken from the code.
TEST(StandardDirLabels, EveryLabelOfTheSixteenKinds) {
  const std::pair<int32_t, const char*> expected[] = {
      {sdtNamed, "Named Folder"},
      {sdtWindows, "Windows Folder"},
      {sdtTmp, "TMP Folder"},
      {sdtTemp, "TEMP Folder"},
      {sdtHomePath, "HOMEPATH Folder"},
      {sdtSystemDrive, "SYSTEMDRIVE"},
      {sdtVXTemp, "VXTEMP Folder"},
      {sdtVXKeep, "VXKEEP Folder"},
      {sdtDefaultTemp, "C:\\TEMP"},
      {sdtVXDir, "VXDIR Folder"},
      {sdtDefaultVXDir, "C:\\VX"},
      {sdtUser, "User Folder"},
      {sdtAppData, "AppData Folder"},
      {sdtCurrent, "Current Directory"},
      {sdtApplication, "Application Folder"},
      {sdtRoot, "C:\\"},
  };
  const StandardDirLabelTable& labels = BaseStandardDirLabels();
  ASSERT_EQ(labels.size(), 16u);
  for (int32_t kind = 0; kind < 16; ++kind) {
    EXPECT_EQ(expected[kind].first, kind);
    EXPECT_EQ(labels[kind], expected[kind].second) << "kind " << kind;
  }
}

TEST(StandardDirLabels, ShippedTableAndTheWindowsDriveAdjustment) {
  const StandardDirLabelTable& base = BaseStandardDirLabels();
  EXPECT_EQ(base[sdtNamed], "Named Folder");
  EXPECT_EQ(base[sdtSystemDrive], "SYSTEMDRIVE");
  EXPECT_EQ(base[sdtApplication], "Application Folder");
  for (const std::string& label : base) EXPECT_LE(label.size(), 18u) << label;

  EXPECT_EQ(WindowsDriveFromDirectory("e:\\WINNT"), "E:");
  EXPECT_EQ(WindowsDriveFromDirectory("C:\\WINDOWS"), "C:");
  EXPECT_EQ(WindowsDriveFromDirectory(""), "C:");
  EXPECT_EQ(WindowsDriveFromDirectory("\\\\srv\\win"), "C:");

  StandardDirLabelTable on_e = AdjustStandardDirLabels(base, "E:");
  EXPECT_EQ(on_e[sdtDefaultTemp], "E:\\TEMP");
  EXPECT_EQ(on_e[sdtDefaultVXDir], "E:\\VX");
  EXPECT_EQ(on_e[sdtRoot], "E:\\");
  for (int32_t kind : {sdtNamed, sdtWindows, sdtTemp, sdtSystemDrive, sdtCurrent}) {
    EXPECT_EQ(on_e[kind], base[kind]);
  }
  // Only an exact upper-case "C:" at the start is replaced.
  StandardDirLabelTable odd = base;
  odd[0] = "c:\\x";
  odd[1] = "XC:\\";
  EXPECT_EQ(AdjustStandardDirLabels(odd, "D:")[0], "c:\\x");
  EXPECT_EQ(AdjustStandardDirLabels(odd, "D:")[1], "XC:\\");

  EXPECT_EQ(StandardDirLabels(),
            AdjustStandardDirLabels(base, WindowsDriveFromDirectory(platform::WindowsDirectory())));
}

TEST(NormaliseStandardDirText, TrimsAndAppliesTheTrailingBackslashRule) {
  EXPECT_EQ(NormaliseStandardDirText("C:\\TEMP\\"), "C:\\TEMP");
  EXPECT_EQ(NormaliseStandardDirText("  D:\t"), "D:\\");
  EXPECT_EQ(NormaliseStandardDirText("D:\\"), "D:\\");
  EXPECT_EQ(NormaliseStandardDirText("C:\\TEMP\\\\"), "C:\\TEMP\\");
  EXPECT_EQ(NormaliseStandardDirText("C:"), "C:\\");
  EXPECT_EQ(NormaliseStandardDirText("\\"), "");
  EXPECT_EQ(NormaliseStandardDirText(" \\ "), "");
  EXPECT_EQ(NormaliseStandardDirText(" \r\n"), "");
  EXPECT_EQ(NormaliseStandardDirText("tmp"), "tmp");
  // The trim after the cut: "x \" loses its backslash, then its blank.
  EXPECT_EQ(NormaliseStandardDirText("x \\"), "x");
}

// Environment variables of the kinds the listing reads, set for one test.
class StandardDirs : public ::testing::Test {
 protected:
  ScopedEnv tmp_{"TMP", std::nullopt};
  ScopedEnv temp_{"TEMP", std::nullopt};
  ScopedEnv home_drive_{"HOMEDRIVE", std::nullopt};
  ScopedEnv home_path_{"HOMEPATH", std::nullopt};
  ScopedEnv system_drive_{"SYSTEMDRIVE", std::nullopt};
  ScopedEnv vx_temp_{"VXTEMP", std::nullopt};
  ScopedEnv vx_keep_{"VXKEEP", std::nullopt};
  ScopedEnv vx_dir_{"VXDIR", std::nullopt};
};

TEST_F(StandardDirs, EnvironmentKindsResolveToNormalisedAbsolutePaths) {
  platform::SetEnvironmentVariable("TEMP", "C:\\TEMP\\");
  EXPECT_EQ(ResolveStandardDir(sdtTemp, ""), "C:\\TEMP");
  platform::SetEnvironmentVariable("TEMP", "  D: ");
  EXPECT_EQ(ResolveStandardDir(sdtTemp, ""), "D:\\");
  platform::SetEnvironmentVariable("TEMP", "D:\\");
  EXPECT_EQ(ResolveStandardDir(sdtTemp, ""), "D:\\");
  platform::SetEnvironmentVariable("TEMP", "C:\\TEMP\\\\");
  EXPECT_EQ(ResolveStandardDir(sdtTemp, ""), "C:\\TEMP\\");
  platform::SetEnvironmentVariable("TMP", "C:\\A\\.\\B\\..\\C");
  EXPECT_EQ(ResolveStandardDir(sdtTmp, ""), "C:\\A\\C");
  platform::SetEnvironmentVariable("SYSTEMDRIVE", "C:");
  EXPECT_EQ(ResolveStandardDir(sdtSystemDrive, ""), "C:\\");
  platform::SetEnvironmentVariable("HOMEDRIVE", "H:");
  platform::SetEnvironmentVariable("HOMEPATH", "\\");
  EXPECT_EQ(ResolveStandardDir(sdtHomePath, ""), "H:\\");
  EXPECT_EQ(ResolveStandardDir(sdtNamed, "E:\\Named\\"), "E:\\Named");
  EXPECT_EQ(ResolveStandardDir(sdtNamed, ""), "");
  EXPECT_EQ(ResolveStandardDir(sdtVXKeep, ""), "");

  // A value that does not fit the 2048-character buffer reads as unset.
  platform::SetEnvironmentVariable("VXDIR", "C:\\" + std::string(2044, 'a'));
  EXPECT_EQ(EnvValue("VXDIR").size(), 2047u);
  platform::SetEnvironmentVariable("VXDIR", "C:\\" + std::string(2045, 'a'));
  EXPECT_EQ(EnvValue("VXDIR"), "");
  EXPECT_EQ(ResolveStandardDir(sdtVXDir, ""), "");
}

TEST_F(StandardDirs, RelativeTextsResolveAgainstTheCurrentDirectory) {
  test::ScratchDir scratch;
#ifndef _WIN32
  test::ScopedDriveMap drives({{'M', scratch.Path()}});
  const std::string current = "M:\\";
#else
  const std::string current = scratch.Path();
#endif
  test::ScopedCurrentDirectory cd(current);
  ASSERT_TRUE(cd.ok());
  const std::string drive = current.substr(0, 2);
  ASSERT_EQ(drive[1], ':');

  platform::SetEnvironmentVariable("VXTEMP", "tmp");
  EXPECT_EQ(ResolveStandardDir(sdtVXTemp, ""), AppendFileName(current, "tmp"));
  platform::SetEnvironmentVariable("HOMEPATH", "\\Users\\x\\");
  EXPECT_EQ(ResolveStandardDir(sdtHomePath, ""), drive + "\\Users\\x");
  EXPECT_EQ(ResolveStandardDir(sdtCurrent, ""), NormaliseStandardDirText(current));
}

TEST_F(StandardDirs, TheProgramsOwnDirectory) {
  const std::string program = platform::ProgramFileName();
  const std::string dir = ResolveStandardDir(sdtApplication, "");
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(SafeDirExists(dir)) << dir;
  EXPECT_EQ(program.compare(0, dir.size(), dir), 0) << dir << " / " << program;
}

TEST(ResolveStandardDir, AnUnknownKindIsAProgrammingErrorWithItsText) {
  for (int32_t kind : {16, -1}) {
    try {
      ResolveStandardDir(kind, "C:\\x");
      ADD_FAILURE() << kind << " resolved";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), "program error: unexpected case of sdt") << kind;
    }
  }
}

TEST(IsDirWriteable, AWriteableDirectoryKeepsNoProbeBehind) {
  test::ScratchDir scratch;
  EXPECT_TRUE(IsDirWriteable(scratch.Path()));
  EXPECT_TRUE(IsDirWriteable(scratch.Path() + "\\"));
  EXPECT_TRUE(platform::FindFiles(scratch.File("*")).empty());
  EXPECT_FALSE(IsDirWriteable(scratch.File("missing")));
  EXPECT_FALSE(IsDirWriteable(""));
  EXPECT_FALSE(IsDirWriteable(" \t"));
}

TEST(IsDirWriteable, AnExistingFileOfTheProbesNameIsLeftAsItWas) {
  test::ScratchDir scratch;
  std::ofstream(scratch.File("g_we8~2.$@$")) << "keep me";
  ASSERT_TRUE(platform::CreateDirectory(scratch.File("g_we8~3.$@$")));
  EXPECT_TRUE(IsDirWriteable(scratch.Path()));
  std::ifstream kept(scratch.File("g_we8~2.$@$"));
  std::string content;
  std::getline(kept, content);
  EXPECT_EQ(content, "keep me");
  EXPECT_EQ(platform::FindFiles(scratch.File("*")).size(), 2u);
}

TEST(IsDirWriteable, ADirectoryNobodyMayWriteToIsNot) {
  // Even an administrator cannot create files in the kernel's process table.
#ifdef _WIN32
  const std::string locked = "Z:\\proc";
#else
  const std::string locked = "/proc";
#endif
  if (!SafeDirExists(locked)) VX_SKIP_OR_FAIL(locked + " is not visible here");
  EXPECT_FALSE(IsDirWriteable(locked));
  EXPECT_EQ(DescribeStandardDirLine("Named Folder", locked, true, IsDirWriteable(locked)),
            "Named Folder = " + locked + "    Exists, Non-Writeable");
}

TEST(DescribeStandardDirLine, TheThreeStates) {
  EXPECT_EQ(DescribeStandardDirLine("VXKEEP Folder", "", false, false),
            "VXKEEP Folder = UNDEFINED");
  EXPECT_EQ(DescribeStandardDirLine("C:\\TEMP", "C:\\TEMP", false, false),
            "C:\\TEMP = C:\\TEMP    NonExistent");
  EXPECT_EQ(DescribeStandardDirLine("TEMP Folder", "D:\\T", true, true),
            "TEMP Folder = D:\\T    Exists, Writeable");
  EXPECT_EQ(DescribeStandardDirLine("TEMP Folder", "D:\\T", true, false),
            "TEMP Folder = D:\\T    Exists, Non-Writeable");
}

TEST_F(StandardDirs, TheListingHasFifteenLinesEndingInCrLf) {
  test::ScratchDir scratch;
  platform::SetEnvironmentVariable("TEMP", scratch.Path() + "\\");
  platform::SetEnvironmentVariable("VXTEMP", scratch.File("missing"));
  const std::string listing = DescribeStandardDirs();
  ASSERT_GE(listing.size(), 2u);
  EXPECT_EQ(listing.substr(listing.size() - 2), "\r\n");

  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = listing.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(listing.substr(start, end - start));
  }
  EXPECT_EQ(start, listing.size());
  ASSERT_EQ(lines.size(), 15u);
  for (int32_t kind = 1; kind < kStandardDirKindCount; ++kind) {
    const std::string& line = lines[static_cast<size_t>(kind - 1)];
    EXPECT_EQ(line.rfind(StandardDirLabels()[kind] + " = ", 0), 0u) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
  EXPECT_EQ(lines[sdtTemp - 1], "TEMP Folder = " + scratch.Path() + "    Exists, Writeable");
  EXPECT_EQ(lines[sdtVXTemp - 1], "VXTEMP Folder = " + scratch.File("missing") + "    NonExistent");
  EXPECT_EQ(lines[sdtVXKeep - 1], "VXKEEP Folder = UNDEFINED");
  EXPECT_EQ(lines[sdtTmp - 1], "TMP Folder = UNDEFINED");
  EXPECT_TRUE(platform::FindFiles(scratch.File("*")).empty());
}

}  // namespace
}  // namespace vx
