// setup.exe with switches under Wine: the unattended installation on real
// packages (exit code, installed tree, shortcuts, log, and never a visible
// window), a bad command line, and the diagnostic report written to a file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "setup_driver.h"
#include "support/test_support.h"

namespace vx::e2e {
namespace {

namespace fs = std::filesystem;

// The log's lines without their CR LF and without the time in front
// ("2026-12-08 16:40:05  "); a line not ended by CR LF fails the test.
std::vector<std::string> LogLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = bytes.substr(start, end - start);
    if (line.size() >= 21 && line[4] == '-' && line[13] == ':' && line.substr(19, 2) == "  ") {
      line = line.substr(21);
    } else if (line.empty() || line[0] != '\t') {
      ADD_FAILURE() << "a log line without its time: " << line;
    }
    lines.push_back(line);
  }
  EXPECT_EQ(start, bytes.size()) << "the log's last line has no CR LF";
  return lines;
}

bool HasLineStarting(const std::vector<std::string>& lines, const std::string& start) {
  for (const std::string& line : lines) {
    if (line.rfind(start, 0) == 0) return true;
  }
  return false;
}

// A package in a scratch folder installing into a fresh short directory in
// the root of C:, removed afterwards.
class SilentE2E : public testing::Test {
 public:
  void SetUp() override {
    const std::string stage = test::HostToPlatformPath(VX_STAGE_DIR);
    for (const char* name : kPackageFiles) {
      std::error_code error;
      fs::copy_file(stage + "\\" + name, File(name), fs::copy_options::overwrite_existing, error);
      ASSERT_FALSE(error) << "the staged package lacks " << name;
    }
    std::random_device random;
    inst_dir_ = "C:\\VS" + std::to_string(random() % 100000);
    WriteSettings("vestrix.exe");
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(inst_dir_, error);
  }

  std::string File(const std::string& name) const { return scratch_.Path() + "\\" + name; }
  const std::string& InstDir() const { return inst_dir_; }

  void WriteSettings(const std::string& exe_name, const std::string& inst_dir = "") {
    WriteWholeFile(File("setup.INI"), "[Settings]\r\nInstTitle=VESTRIX 1.5\r\nInstDir=" +
                                          (inst_dir.empty() ? inst_dir_ : inst_dir) +
                                          "\r\nDiskNeededMB=1\r\nshortcuttitle=VESTRIX\r\n"
                                          "zipname=vestrix.zip\r\nexename=" +
                                          exe_name + "\r\n");
  }

  // Runs setup.exe with `arguments` to its end, watching that none of its
  // windows ever becomes visible; the exit code, or -1 when it did not end.
  int64_t RunHidden(const std::string& arguments) {
    return RunWatchingWindows(process, File("setup.exe"), scratch_.Path(), arguments,
                              windows_seen);
  }

  SetupProcess process;
  std::vector<std::string> windows_seen;

 private:
  test::ScratchDir scratch_;
  std::string inst_dir_;
};

std::vector<fs::path> ShortcutFiles() {
  const char* profile = std::getenv("USERPROFILE");
  const char* app_data = std::getenv("APPDATA");
  if (profile == nullptr || app_data == nullptr) return {};
  return {fs::path(profile) / "Desktop" / "VESTRIX.lnk",
          fs::path(app_data) / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "VESTRIX.lnk"};
}

TEST_F(SilentE2E, SilentInstallWritesTheTreeShortcutsAndLogWithoutAWindow) {
  const std::vector<fs::path> shortcuts = ShortcutFiles();
  ASSERT_EQ(shortcuts.size(), 2u) << "no user profile";
  for (const fs::path& shortcut : shortcuts) fs::remove(shortcut);
  const std::string log = File("install.log");

  EXPECT_EQ(RunHidden("/SILENT /LOG=\"" + log + "\""), 0);
  EXPECT_EQ(windows_seen, std::vector<std::string>{});

  const auto product = SampleProductTree();
  ASSERT_FALSE(product.empty()) << "no product tree beside the stage";
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(InstDir())) {
    files += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_EQ(files, product.size() + 2);  // and the uninstaller with its record
  for (const auto& [name, source] : product) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadWholeFile(fs::path(InstDir()) / name), ReadWholeFile(source));
  }
  const std::string wide_dir = [this] {
    std::string out;
    for (char c : InstDir()) out += std::string{c, '\0'};
    return out;
  }();
  for (const fs::path& shortcut : shortcuts) {
    EXPECT_NE(ReadWholeFile(shortcut).find(wide_dir), std::string::npos) << shortcut;
  }

  const std::string text = ReadWholeFile(log);
  std::cout << "The log of the silent installation:\n" << text;
  const std::vector<std::string> lines = LogLines(text);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.front(), "Setup 1.50 started, command line: /SILENT /LOG=\"" + log + "\"");
  EXPECT_EQ(lines.back(), "End, exit code 0 (installed)");
  EXPECT_TRUE(HasLineStarting(lines, "Settings read from " + File("setup.INI") +
                                         ": InstTitle=VESTRIX 1.5, InstDir=" + InstDir()));
  EXPECT_TRUE(HasLineStarting(lines, "Installation directory: " + InstDir()));
  // The members include the folders' own entries.
  EXPECT_TRUE(HasLineStarting(lines, "Archive " + File("vestrix.zip") + ": "));
  for (const auto& [name, source] : product) {
    std::string member = name;
    for (char& c : member) c = c == '\\' ? '/' : c;
    EXPECT_TRUE(HasLineStarting(
        lines,
        "Member " + member + " (" + std::to_string(fs::file_size(source)) + " bytes): extracted"))
        << member;
  }
  for (const fs::path& shortcut : shortcuts) {
    EXPECT_TRUE(HasLineStarting(lines, "Shortcut written: ")) << shortcut;
  }
  EXPECT_TRUE(
      HasLineStarting(lines, "Message (information): Installation of VESTRIX 1.5 is complete"));
}

TEST_F(SilentE2E, EachFailureEndsWithItsExitCodeAndLogsWhy) {
  struct Case {
    const char* what;
    std::function<void(SilentE2E&)> arrange;
    std::string arguments;  // after /S /LOG=...
    int64_t code;
    std::string line;  // a log line starts so
  };
  const std::vector<Case> cases = {
      {"help file missing", [](SilentE2E& t) { fs::remove(t.File("setup.chm")); }, "", 1,
       "Message (error): "},
      {"directory with a space", [](SilentE2E&) {}, "/DIR=\"C:\\VS DIR\"", 2,
       "Message (error): Bad directory name:  C:\\VS DIR"},
      {"archive unreadable",
       [](SilentE2E& t) { WriteWholeFile(t.File("vestrix.zip"), "PK\x03\x04 broken"); }, "", 3,
       "Message (error): Cannot unzip file "},
      {"member fails",
       [](SilentE2E& t) {
         // A byte of the first member's data changed.
         std::string zip = ReadWholeFile(t.File("vestrix.zip"));
         auto word = [&zip](size_t at) {
           return static_cast<uint8_t>(zip[at]) | static_cast<uint8_t>(zip[at + 1]) << 8;
         };
         const size_t data = 30 + word(26) + word(28);
         zip[data + 10] = static_cast<char>(zip[data + 10] ^ 0x5A);
         WriteWholeFile(t.File("vestrix.zip"), zip);
       },
       "", 4, "Message (warning): Cannot extract "},
      {"main executable missing", [](SilentE2E& t) { t.WriteSettings("nothere.exe"); }, "", 5,
       "Message (warning): Problem: file \""},
      {"unknown switch", [](SilentE2E&) {}, "/BOGUS", 64,
       "Message (error): Unknown switch: /BOGUS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    c.arrange(*this);
    const std::string log = File("case.log");
    windows_seen.clear();
    EXPECT_EQ(RunHidden("/s /LOG=" + log + (c.arguments.empty() ? "" : " " + c.arguments)), c.code);
    EXPECT_EQ(windows_seen, std::vector<std::string>{});
    const std::vector<std::string> lines = LogLines(ReadWholeFile(log));
    EXPECT_TRUE(HasLineStarting(lines, c.line)) << ReadWholeFile(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("End, exit code " + std::to_string(c.code) + " (", 0), 0u)
        << lines.back();
    fs::remove(log);
    TearDown();
  }
}

TEST_F(SilentE2E, BadSwitchWithoutSilentShowsTheSwitchesAndEnds) {
  ASSERT_TRUE(process.Start(File("setup.exe"), File(""), "/DIR"));
  HWND box = WaitForWindow(process.Id(), "#32770", kWindowDeadline);
  ASSERT_NE(box, nullptr);
  const std::string text = TextOf(GetDlgItem(box, kMessageTextId));
  EXPECT_EQ(text.rfind("Missing value: /DIR\r\n", 0), 0u) << text;
  for (const char* name : {"/SILENT", "/DIR=", "/LOG=", "/DIAG=", "/?", "64  bad command line"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  Click(GetDlgItem(box, IDOK));
  DWORD code = 0;
  ASSERT_TRUE(process.WaitForExit(kExitDeadline, code));
  EXPECT_EQ(code, 64u);
  EXPECT_FALSE(fs::exists(InstDir()));
}

TEST_F(SilentE2E, SwitchListOnRequestAndUnwritableLogEndTheProgram) {
  ASSERT_TRUE(process.Start(File("setup.exe"), File(""), "/?"));
  HWND box = WaitForWindow(process.Id(), "#32770", kWindowDeadline);
  ASSERT_NE(box, nullptr);
  const std::string text = TextOf(GetDlgItem(box, kMessageTextId));
  EXPECT_EQ(text.rfind("Usage: SETUP [/SILENT] [/DIR=path] [/LOG=file]\r\n", 0), 0u) << text;
  Click(GetDlgItem(box, IDOK));
  DWORD code = 99;
  ASSERT_TRUE(process.WaitForExit(kExitDeadline, code));
  EXPECT_EQ(code, 0u);

  // Silent, a log that cannot be made: start-up problem, nothing installed.
  EXPECT_EQ(RunHidden("/SILENT /LOG=" + File("no\\such\\dir\\x.log")), 1);
  EXPECT_EQ(windows_seen, std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(InstDir()));
}

TEST_F(SilentE2E, InteractiveRunWithLogAndDirectoryLogsWhatTheWindowDoes) {
  constexpr int kInstallBtn = 104;
  WriteSettings("vestrix.exe", InstDir() + "X");  // replaced by /DIR
  const std::string log = File("gui.log");
  ASSERT_TRUE(
      process.Start(File("setup.exe"), File(""), "/LOG=" + log + " /DIR=\"" + InstDir() + "\""));
  HWND window = WaitForWindow(process.Id(), "TForm1", kWindowDeadline);
  ASSERT_NE(window, nullptr);
  Sleep(300);
  Click(GetDlgItem(window, kInstallBtn));
  HWND box = WaitForWindow(process.Id(), "#32770", kWindowDeadline);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(box, kMessageTextId)), "Installation of VESTRIX 1.5 is complete");
  Click(GetDlgItem(box, IDOK));
  DWORD code = 99;
  ASSERT_TRUE(process.WaitForExit(kExitDeadline, code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(fs::exists(InstDir() + "\\vestrix.exe"));
  EXPECT_FALSE(fs::exists(InstDir() + "X"));

  const std::vector<std::string> lines = LogLines(ReadWholeFile(log));
  for (const std::string& line :
       {"Directory from the command line: " + InstDir(), "Installation directory: " + InstDir(),
        std::string("Member vestrix.exe ("),
        std::string("Message (information): Installation of VESTRIX 1.5 is complete"),
        std::string("End, exit code 0 (installed)")}) {
    EXPECT_TRUE(HasLineStarting(lines, line)) << line;
  }
}

TEST_F(SilentE2E, DiagWritesTheReportWithTheToolsLines) {
  // The product installed silently first, then reported on.
  ASSERT_EQ(RunHidden("/SILENT"), 0);
  if (!fs::exists(InstDir() + "\\KELDA.EXE")) GTEST_SKIP() << "the sample product has no KELDA.EXE";
  char saved[4096];
  const DWORD had = GetEnvironmentVariableA("VXDIR", saved, sizeof saved);
  SetEnvironmentVariableA("VXDIR", InstDir().c_str());
  const std::string report_file = File("diag.txt");
  windows_seen.clear();
  const int64_t code = RunHidden("/DIAG=" + report_file);
  SetEnvironmentVariableA("VXDIR", had > 0 && had < sizeof saved ? saved : nullptr);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(windows_seen, std::vector<std::string>{});

  const std::string report = ReadWholeFile(report_file);
  ASSERT_GE(report.size(), 2u);
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
  for (const std::string& line : std::vector<std::string>{
           "Program: Setup", "VESTRIX directory is " + InstDir(),
           "Program Ini Name: " + File("setup.INI"), "Complete Contents of Environment:",
           "Contents of RPT file from KELDA: " + InstDir() + "\\kelda.rpt", "Request: RPT",
           "Models translated: 0"}) {
    EXPECT_NE(report.find("\r\n" + line + "\r\n"), std::string::npos) << line;
  }
  EXPECT_FALSE(fs::exists(InstDir() + "\\kelda.rpt"));
  EXPECT_FALSE(fs::exists(InstDir() + "\\kelrpt.sti"));

  // A report that cannot be written ends with 1 and says why in the log.
  const std::string log = File("diag.log");
  EXPECT_EQ(RunHidden("/DIAG=" + File("no\\such\\dir\\d.txt") + " /LOG=" + log), 1);
  EXPECT_TRUE(HasLineStarting(LogLines(ReadWholeFile(log)),
                              "Message (error): Cannot write the diagnostic report to "));
}

TEST_F(SilentE2E, PackageManagerSwitchSetWithADirectoryEndingInABackslash) {
  const std::string log = File("pm.log");
  EXPECT_EQ(RunHidden("/SP- /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /LOG=\"" + log + "\" /DIR=\"" +
                      InstDir() + "\\\""),
            0);
  EXPECT_EQ(windows_seen, std::vector<std::string>{});
  EXPECT_TRUE(fs::exists(InstDir() + "\\vestrix.exe"));
  const std::vector<std::string> lines = LogLines(ReadWholeFile(log));
  EXPECT_TRUE(HasLineStarting(lines, "Directory from the command line: " + InstDir() + "\\"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "End, exit code 0 (installed)");
}

TEST_F(SilentE2E, QuitInTheWindowEndsWithSixAndTheLogSaysSo) {
  constexpr int kQuitBtn = 106;
  const std::string log = File("quit.log");
  ASSERT_TRUE(process.Start(File("setup.exe"), File(""), "/LOG=\"" + log + "\""));
  HWND window = WaitForWindow(process.Id(), "TForm1", kWindowDeadline);
  ASSERT_NE(window, nullptr);
  Sleep(300);
  Click(GetDlgItem(window, kQuitBtn));
  HWND box = WaitForWindow(process.Id(), "#32770", kWindowDeadline);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(box, kMessageTextId)), "Install of VESTRIX 1.5 is NOT complete");
  Click(GetDlgItem(box, IDOK));
  DWORD code = 99;
  ASSERT_TRUE(process.WaitForExit(kExitDeadline, code));
  EXPECT_EQ(code, 6u);
  const std::vector<std::string> lines = LogLines(ReadWholeFile(log));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "End, exit code 6 (cancelled by the user)");
  std::printf("log of a quit run:\n%s", ReadWholeFile(log).c_str());
}

TEST_F(SilentE2E, OutputOverThePackagesOwnFilesIsABadCommandLine) {
  const std::string settings = ReadWholeFile(File("setup.INI"));
  EXPECT_EQ(RunHidden("/SILENT /LOG=setup.INI"), 64);
  EXPECT_EQ(RunHidden("/SILENT /DIAG=\"" + File("SETUP.ini") + "\""), 64);
  EXPECT_EQ(RunHidden("/SILENT /DIAG=vestrix.zip"), 64);
  EXPECT_EQ(windows_seen, std::vector<std::string>{});
  EXPECT_EQ(ReadWholeFile(File("setup.INI")), settings);
  EXPECT_FALSE(fs::exists(InstDir()));
}

TEST_F(SilentE2E, DiagWithAToolThatCannotStartStaysWindowlessAndReportsIt) {
  test::ScratchDir product;
  WriteWholeFile(product.Path() + "\\Kelda.Exe", "not a program");
  char saved[4096];
  const DWORD had = GetEnvironmentVariableA("VXDIR", saved, sizeof saved);
  SetEnvironmentVariableA("VXDIR", product.Path().c_str());
  const std::string report_file = File("diag.txt");
  const std::string log = File("diag.log");
  const int64_t code = RunHidden("/DIAG=" + report_file + " /LOG=" + log);
  SetEnvironmentVariableA("VXDIR", had > 0 && had < sizeof saved ? saved : nullptr);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(windows_seen, std::vector<std::string>{});
  EXPECT_NE(ReadWholeFile(report_file).find("\r\nError: Cannot ShellExecute:"), std::string::npos);
  const std::vector<std::string> lines = LogLines(ReadWholeFile(log));
  EXPECT_TRUE(HasLineStarting(lines, "Message (error): "));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "End, exit code 0 (diagnostic report written)");
  std::printf("log of a report with a tool that cannot start:\n%s", ReadWholeFile(log).c_str());
}

}  // namespace
}  // namespace vx::e2e

namespace vx::e2e {
namespace {

// The sample product packed in today's methods installs as the deflated one does.
TEST_F(SilentE2E, PackagesInNewerMethodsInstallTheProduct) {
  for (const char* package : {"vestrix-zstd.zip", "vestrix-lzma.zip"}) {
    SCOPED_TRACE(package);
    const std::string archive = test::HostToPlatformPath(VX_PACKAGES_DIR) + "\\" + package;
    if (!fs::exists(archive)) VX_SKIP_OR_FAIL(std::string(package) + " was not built (zstd, 7zz)");
    fs::copy_file(archive, File("vestrix.zip"), fs::copy_options::overwrite_existing);
    std::error_code error;
    fs::remove_all(InstDir(), error);
    EXPECT_EQ(RunHidden("/SILENT"), 0);
    for (const auto& [name, source] : SampleProductTree()) {
      EXPECT_EQ(ReadWholeFile(fs::path(InstDir()) / name), ReadWholeFile(source)) << name;
    }
  }
}

}  // namespace
}  // namespace vx::e2e
