#include "setup/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vx {
namespace {

using Args = std::vector<std::string>;

TEST(SetupCommandLineTest, SplitsOnBlanksAndKeepsQuotedBlanksAndBackslashes) {
  struct Case {
    std::string text;
    Args arguments;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"   \t ", {}},
      {"/SILENT", {"/SILENT"}},
      {"  /S   /LOG=C:\\x.log ", {"/S", "/LOG=C:\\x.log"}},
      {"/DIR=\"C:\\My Product\" /S", {"/DIR=C:\\My Product", "/S"}},
      {"\"/DIR=C:\\My Product\"", {"/DIR=C:\\My Product"}},
      {"/DIR=C:\\A\\ /S", {"/DIR=C:\\A\\", "/S"}},
      // Backslashes are literal, so a quoted value may end in one.
      {"/DIR=\"C:\\VESTRIX\\\" /S /LOG=C:\\x.log", {"/DIR=C:\\VESTRIX\\", "/S", "/LOG=C:\\x.log"}},
      {"\"C:\\x\\\\\" /S", {"C:\\x\\\\", "/S"}},
      {"/LOG=\"a \\\"b\\\"\"", {"/LOG=a \\b\\"}},
      {"/DIR=\"\" /S", {"/DIR=", "/S"}},
      {"\"\"", {""}},
      {"/DIR=\"C:\\open", {"/DIR=C:\\open"}},  // an unclosed quote runs to the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SplitCommandLine(c.text), c.arguments);
  }
}

TEST(SetupCommandLineTest, TheProgramsOwnPathIsSkippedQuotedOrNot) {
  const std::string module = "C:\\Program Files\\VX\\setup.exe";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\"C:\\Program Files\\VX\\setup.exe\" /S", "/S"},
      {"C:\\Program Files\\VX\\setup.exe /S /DIR=\"C:\\A B\\\"", "/S /DIR=\"C:\\A B\\\""},
      {"  c:\\program files\\vx\\SETUP.EXE\t/S", "/S"},  // any case
      {"C:\\Program Files\\VX\\setup.exe", ""},
      {"setup /S", "/S"},  // started by another name
      {"\"setup\" /S", "/S"},
      {"C:\\Program Files\\VX\\setup.exe2 /S", "Files\\VX\\setup.exe2 /S"},  // not the module
      {"", ""},
  };
  for (const auto& [line, arguments] : cases) {
    EXPECT_EQ(ArgumentText(line, module), arguments) << line;
  }
}

TEST(SetupCommandLineTest, AcceptsEverySwitchInAnyCaseAndOrder) {
  struct Case {
    Args arguments;
    bool silent;
    bool show_switches;
    std::optional<std::string> dir, log, diag;
  };
  const std::vector<Case> cases = {
      {{}, false, false, {}, {}, {}},
      {{"/SILENT"}, true, false, {}, {}, {}},
      {{"/silent"}, true, false, {}, {}, {}},
      {{"/s"}, true, false, {}, {}, {}},
      {{"-S"}, true, false, {}, {}, {}},
      {{"/?"}, false, true, {}, {}, {}},
      {{"/dir=C:\\VX", "/S"}, true, false, "C:\\VX", {}, {}},
      {{"/Log=C:\\s.log", "/DiR=D:\\P Q", "/sIlEnT"}, true, false, "D:\\P Q", "C:\\s.log", {}},
      {{"/DIR=\"C:\\Quoted Dir\""}, false, false, "C:\\Quoted Dir", {}, {}},
      {{"/DIAG=C:\\diag.txt"}, false, false, {}, {}, "C:\\diag.txt"},
      {{"/DIAG=r.txt", "/LOG=l.txt"}, false, false, {}, "l.txt", "r.txt"},
      {{"/DIR=a=b"}, false, false, "a=b", {}, {}},  // only the first '=' separates
      // What package managers send for the common installers.
      {{"/SP-", "/VERYSILENT", "/SUPPRESSMSGBOXES", "/NORESTART", "/LOG=C:\\i.log", "/DIR=C:\\P\\"},
       true,
       false,
       "C:\\P\\",
       "C:\\i.log",
       {}},
      {{"/verysilent"}, true, false, {}, {}, {}},
      {{"/SuppressMsgBoxes"}, true, false, {}, {}, {}},
      {{"/DIR=" + std::string(5000, 'd')}, false, false, std::string(5000, 'd'), {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    TSetupCommandLine line;
    line.Silent = !c.silent;  // must be reset by the parser
    std::string error = "stale";
    ASSERT_TRUE(ParseSetupCommandLine(c.arguments, line, error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(line.Silent, c.silent);
    EXPECT_EQ(line.ShowSwitches, c.show_switches);
    EXPECT_EQ(line.Dir, c.dir);
    EXPECT_EQ(line.Log, c.log);
    EXPECT_EQ(line.Diag, c.diag);
    EXPECT_EQ(line.Empty(), c.arguments.empty());
  }
}

TEST(SetupCommandLineTest, RefusesUnknownAndMalformedSwitchesNamingThem) {
  struct Case {
    Args arguments;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"/QUIET"}, "Unknown switch: /QUIET"},
      {{"/SILENTLY"}, "Unknown switch: /SILENTLY"},
      {{"/S", "C:\\VX"}, "Unknown argument: C:\\VX"},
      {{"/"}, "Unknown argument: /"},
      {{""}, "Unknown argument: "},
      {{"/DIR"}, "Missing value: /DIR"},
      {{"/DIR="}, "Missing value: /DIR="},
      {{"/LOG=\"\""}, "Missing value: /LOG=\"\""},
      {{"/DIAG"}, "Missing value: /DIAG"},
      {{"/SILENT=yes"}, "The switch takes no value: /SILENT=yes"},
      {{"/?=x"}, "The switch takes no value: /?=x"},
      {{"/S", "/silent"}, "Switch given twice: /silent"},
      {{"/DIR=a", "/dir=b"}, "Switch given twice: /dir=b"},
      {{"/VERYSILENT", "/verysilent"}, "Switch given twice: /verysilent"},
      {{"/LOG", "/LOG=x"}, "Switch given twice: /LOG=x"},
      {{"/LOG=x", "/LOG"}, "Switch given twice: /LOG"},
      {{"/NORESTART=1"}, "The switch takes no value: /NORESTART=1"},
      {{"/SP"}, "Unknown switch: /SP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    TSetupCommandLine line;
    std::string error;
    EXPECT_FALSE(ParseSetupCommandLine(c.arguments, line, error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(SetupCommandLineTest, ExitCodesAreTheDocumentedNumbersAndListed) {
  const std::vector<std::pair<int32_t, int32_t>> codes = {
      {secInstalled, 0},      {secStartupProblem, 1},  {secDirectoryRefused, 2},
      {secArchiveProblem, 3}, {secMemberFailed, 4},    {secMainExeMissing, 5},
      {secCancelled, 6},      {secFilesInUse, 7},      {secBadCommandLine, 64},
  };
  const std::string listing = SetupSwitchesText();
  for (const auto& [code, number] : codes) {
    EXPECT_EQ(code, number);
    EXPECT_NE(ExitCodeMeaning(code), "unknown");
    // The "/?" list names every code with its meaning.
    EXPECT_NE(listing.find("\r\n" + std::to_string(number) + "  " + ExitCodeMeaning(code)),
              std::string::npos)
        << number;
  }
  EXPECT_EQ(ExitCodeMeaning(8), "unknown");
  EXPECT_NE(listing.find("/VERYSILENT"), std::string::npos);
  for (const char* name : {"/SILENT", "/S", "/DIR=", "/LOG=", "/DIAG=", "/?"}) {
    EXPECT_NE(listing.find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace vx
