// The whole report built on the machine the test runs on (Linux, or Windows
// under Wine) with a product directory of three real executables of
// different flavours, a settings file and FLIB_DVT_BUFFER set: every line
// whose content the test can know is compared, the others are checked for
// their shape.
#include <gtest/gtest.h>

#include <regex>

#include "diag/diag_test_support.h"
#include "diag/exe_flavour.h"
#include "diag/probes.h"
#include "diag/report.h"
#include "platform/environment.h"
#include "platform/exception.h"
#include "platform/system.h"
#include "sysinfo/cpu_id.h"
#include "sysinfo/processor_counts.h"
#include "sysinfo/windows_version.h"
#include "util/drive_probes.h"
#include "util/standard_dirs.h"
#include "util/startup.h"
#include "util/util_test_helpers.h"

namespace vx {
namespace {

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// Walks the report's lines in order.
class LineCursor {
 public:
  explicit LineCursor(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  std::string Next() {
    if (at_ >= lines_.size()) {
      ADD_FAILURE() << "the report ends early";
      return "<missing>";
    }
    return lines_[at_++];
  }
  const std::string& Peek() const {
    static const std::string none;
    return at_ < lines_.size() ? lines_[at_] : none;
  }
  void Expect(const std::string& line) { EXPECT_EQ(Next(), line); }
  void ExpectMatch(const std::string& pattern) {
    std::string line = Next();
    EXPECT_TRUE(std::regex_match(line, std::regex(pattern))) << line << "\n  !~ " << pattern;
  }
  bool AtEnd() const { return at_ == lines_.size(); }

 private:
  std::vector<std::string> lines_;
  size_t at_ = 0;
};

TEST(BuildDiagnosticReport, DescribesThisMachineAndTheProduct) {
  std::vector<uint8_t> plain = test::FixtureBytes("plain");
  std::vector<uint8_t> dvclal = test::FixtureBytes("dvclal");
  VX_REQUIRE_FIXTURE(plain, "plain");
  VX_REQUIRE_FIXTURE(dvclal, "dvclal");
  StartupSummary();

  test::ScratchDir product, work, settings_dir;
  const std::string sep = "\\";
  std::vector<uint8_t> kelda = plain, sorvin = plain, mirelt = dvclal;
  test::PadLayout pad = test::FindPad(plain);
  test::WriteAt(kelda, pad.boundary + 5, "Lahey Computer Systems Inc.");
  test::WriteAt(sorvin, pad.boundary + 5, "LF95V _ILLIGAL_ DEADLOCK ERROR VESTRIX");
  test::WriteAt(mirelt, test::FindPad(dvclal).boundary + 5, "Borland\\Delphi");
  test::WriteFile(product.File("KELDA.EXE"), kelda);
  test::WriteFile(product.File("SORVIN.EXE"), sorvin);
  test::WriteFile(product.File("MIRELT.EXE"), mirelt);
  std::string settings = settings_dir.File("SETUP.INI");
  test::WriteFile(settings, {'[', 'S', ']', '\r', '\n', 'a', '=', '1', '\r', '\n', 'b', '=', '2'});

  test::ScopedEnv vxdir("VXDIR", product.Path());
  test::ScopedEnv flib("FLIB_DVT_BUFFER", "4096");
  test::ScopedEnv path("path", product.Path());
  test::ScopedCurrentDirectory cd(work.Path());
  ASSERT_TRUE(cd.ok());

  const std::string temp = "C:\\Documents and Settings\\tester\\Local Settings\\Temp";
  std::string report = BuildDiagnosticReport("Setup", temp, "", settings, 1.5f);
  std::cout << "---- report as built ----\n" << report << "\n---- end of report ----\n";
  ASSERT_FALSE(report.ends_with("\r\n"));
  EXPECT_EQ(report.find('\n'), report.find("\r\n") + 1) << "every line break is CR LF";

  LineCursor lines(SplitCrLf(report));
  lines.ExpectMatch(R"([^ ,]+, [^ ,]+ [1-9][0-9]?, [0-9]{4}, (1[0-2]|[1-9]):[0-5][0-9] (AM|PM))");
  lines.Expect("Program: Setup");
  lines.Expect("Version 1.50,  13/Mar/2007");
  lines.Expect("Compiler version: " + CompilerVersionText());
  lines.Expect(
      "Compiler flags: LongStrings PStrIsAnsi RangeChecking NoOptimization NotCheckCore UseCHM");
  std::string program = platform::ProgramFileName();
  lines.Expect("File: " + Lower(program));
  lines.Expect("Help File: " + program.substr(0, program.rfind('.')) + ".chm [not found]");
  bool nt = platform::GetVersionInfo().platform_id == platform::kPlatformWin32NT;
  if (nt) {
    lines.ExpectMatch("User (has|does NOT have) Administrator rights");
    lines.ExpectMatch("User (can|CANNOT) write to HKEY_LOCAL_MACHINE registry keys");
    lines.Expect("User can write to HKEY_CURRENT_USER registry keys");
  }
  lines.Expect("Environment variable FLIB_DVT_BUFFER is set to \"4096\"");
  lines.Expect("File extensions are visible in Explorer");
  lines.Expect("Locale language: " + LocaleLanguage());
  lines.Expect("System menufont: " + platform::MenuFontFaceName() +
               "  size: " + std::to_string(platform::MenuFontPointSize()));
#ifdef _WIN32
  lines.ExpectMatch(R"(Screen DPI: [1-9][0-9]*   \(pixelsperinch\))");
  lines.ExpectMatch(R"(Screen size: [1-9][0-9]*x[1-9][0-9]* pixels)");
#else
  lines.Expect("Screen DPI: 0   (pixelsperinch)");
  lines.Expect("Screen size: 0x0 pixels");
#endif
  lines.Expect("Windows Locale decimal separator: " + DescribeSeparator(LocaleDecimalSeparator()));
  lines.Expect("Program decimal separator: " +
               DescribeSeparator(std::string(1, ProgramDecimalSeparator())));
  lines.Expect(std::to_string(PhysicalMemoryMB()) + " megabytes RAM available to Windows");
  if (lines.Peek().empty()) {
    lines.Next();  // no drive C: to F: here
  } else {
    while (lines.Peek().starts_with("Drive ")) {
      lines.ExpectMatch(
          R"(Drive [C-F]:   size = [^ ]+( bytes)?   free = [^ ]+( bytes)?   [0-9]+% free)");
    }
  }
#ifdef _WIN32
  EXPECT_TRUE(report.find("\r\nDrive C:   size = ") != std::string::npos) << "Wine's C: drive";
#endif
  int32_t logical = LogicalProcessorCount();
  lines.Expect(logical > 1 ? "Windows detected " + std::to_string(logical) + " logical CPUs"
                           : "Windows detected 1 logical CPU");
  std::string wow64;
  Wow64Status(wow64);
  lines.Expect(wow64);
  lines.Expect(WindowsVersionText());
  lines.Expect(CpuDescription());
  ProcessorCounts counts = GetProcessorCounts();
  lines.Expect(PluralCount(counts.physical, "physical CPU") + ", " +
               PluralCount(counts.cores, "CPU core") + ", " +
               PluralCount(counts.logical, "logical CPU"));
  lines.Expect(counts.logical > counts.cores ? "Hyper-threading is enabled."
                                             : "Hyper-threading is not enabled.");
  lines.ExpectMatch("Heap Used: [1-9][0-9]* Kb");
  lines.ExpectMatch("Heap Unused: [0-9]+ Kb");
  lines.ExpectMatch("Memory Used \\[working set\\]: [1-9][0-9]* Kb");
  const std::string warn = "**** WARNING **** ";
  std::string comspec = CommandInterpreter();
  if (comspec.empty()) {
    lines.Expect(warn + "COMSPEC environment variable is not set !");
  } else {
    lines.Expect("COMSPEC: " + Lower(comspec));
    if (nt && Lower(comspec).find("cmd.exe") == std::string::npos) {
      lines.Expect(warn + "expected COMSPEC to be cmd.exe");
    }
    if (!SafeFileExists(comspec)) lines.Expect(warn + "COMSPEC does not exist");
  }
#ifdef _WIN32
  EXPECT_EQ(Lower(comspec), "c:\\windows\\system32\\cmd.exe");
#endif

  const std::string dir = product.Path();
  lines.Expect("VESTRIX directory is " + dir);
  auto exe_line = [&](const std::string& name, const std::string& flavour, const std::string& cls) {
    std::string p = dir + sep + name + ".EXE";
    return name + " is " + p + "  " + flavour + "  " + FileDateText(p) + "  flavour: " + cls;
  };
  lines.Expect(exe_line("KELDA", "Lahey LF90", "Old Lahey"));
  lines.Expect(exe_line("SORVIN", "Lahey LF95(Vestrix)", "New Fujitsu"));
  lines.Expect(exe_line("MIRELT", "Delphi", ""));
  lines.Expect(warn + "KELDA and SORVIN have different Lahey/Fujitsu flavours");

  lines.Expect("Program Temp Dir: " + temp);
  const std::string advice = "; suggest you set Windows TEMP and TMP environment to C:\\TEMP";
  lines.Expect(warn + "Temp Dir is rather long" + advice);
  lines.Expect(warn + "Temp Dir contains spaces" + advice);
  lines.Expect("Program Keep Dir: ");
  lines.Expect("Program Ini Name: " + settings);
  lines.Expect("");
  for (const std::string& name : PathSearchNames()) {
    if (name == "KELDA.EXE" || name == "SORVIN.EXE") {
      lines.Expect("First " + name + " on the DOS path is: " + dir + sep + name);
    } else {
      lines.Expect(name + " is not on the DOS path.");
    }
  }
  lines.Expect("");
  lines.Expect("Special Folders:");
  std::vector<std::string> folders = SplitCrLf(DescribeStandardDirs());
  ASSERT_EQ(folders.back(), "");  // every folder line ends with CR LF
  for (const std::string& folder : folders) lines.Expect(folder);
  lines.Expect("Complete Contents of Environment:");
  bool saw_flib = false;
  for (const std::string& entry : platform::EnvironmentStrings()) {
    if (entry.empty()) break;
    saw_flib = saw_flib || entry == "FLIB_DVT_BUFFER=4096";
    lines.Expect(entry);
  }
  EXPECT_TRUE(saw_flib);
  lines.Expect("");
  lines.Expect("Complete Contents of INI file: " + settings);
  lines.Expect("[S]");
  lines.Expect("a=1");
  lines.Expect("b=2");
  EXPECT_TRUE(lines.AtEnd()) << "unexpected line: " << lines.Peek();
}

TEST(BuildDiagnosticReport, ASettingsFileThatIsNotThereIsLeftOut) {
  test::ScratchDir scratch;
  std::string report = BuildDiagnosticReport("Setup", "", "", scratch.File("absent.ini"), 1.5f);
  EXPECT_EQ(report.find("Complete Contents of INI file"), std::string::npos);
  EXPECT_NE(report.find("\r\nProgram Ini Name: " + scratch.File("absent.ini") + "\r\n"),
            std::string::npos);
  report = BuildDiagnosticReport("Setup", "", "", "", 1.5f);
  EXPECT_NE(report.find("\r\nProgram Ini Name: \r\n\r\n"), std::string::npos);
  EXPECT_EQ(report.find("Complete Contents of INI file"), std::string::npos);
}

#ifndef _WIN32
// A settings file that exists but cannot be read ends the report with the
// read error: /proc/self/mem opens, and reading its first page fails.
TEST(BuildDiagnosticReport, ASettingsFileReadErrorReachesTheCaller) {
  EXPECT_THROW(BuildDiagnosticReport("Setup", "", "", "/proc/self/mem", 1.5f), EStreamError);
}
#endif

}  // namespace
}  // namespace vx
