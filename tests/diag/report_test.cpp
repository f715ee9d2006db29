#include "diag/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "diag/diag_test_support.h"
#include "diag/probes.h"
#include "platform/exception.h"
#include "support/test_support.h"
#include "util/util_test_helpers.h"

namespace vx {
namespace {

TEST(PluralCount, OneIsSingularEverythingElsePlural) {
  struct Case {
    uint32_t count;
    const char* expected;
  } cases[] = {{0, "0 physical CPUs"},
               {1, "1 physical CPU"},
               {2, "2 physical CPUs"},
               {4294967295u, "4294967295 physical CPUs"}};
  for (const Case& c : cases) EXPECT_EQ(PluralCount(c.count, "physical CPU"), c.expected);
}

TEST(DescribeSeparator, NamesCommaAndPeriodOnly) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{",", ",  (comma)"}, {".", ".  (period)"},  {"'", "'"}, {"", ""},
               {",,", ",,"},        {"Unknown", "Unknown"}};
  for (const Case& c : cases) EXPECT_EQ(DescribeSeparator(c.in), c.out) << c.in;
}

TEST(PathSearchLine, SaysWhereTheFileWasFound) {
  EXPECT_EQ(PathSearchLineFor("LF95.EXE", ""), "LF95.EXE is not on the DOS path.");
  EXPECT_EQ(PathSearchLineFor("KELDA.EXE", "C:\\VX\\KELDA.EXE"),
            "First KELDA.EXE on the DOS path is: C:\\VX\\KELDA.EXE");
  EXPECT_EQ(PathSearchLineFor("QBT.BAT", "QBT.BAT"), "First QBT.BAT on the DOS path is: QBT.BAT");
}

TEST(PathSearchLine, SearchesTheCurrentDirectoryThenThePath) {
  test::ScratchDir here, on_path;
  test::WriteFile(on_path.File("SORVIN.EXE"), {'x'});
  test::WriteFile(here.File("QBT.BAT"), {'x'});
  test::ScopedCurrentDirectory cd(here.Path());
  ASSERT_TRUE(cd.ok());
  test::ScopedEnv path("path", on_path.Path());
  EXPECT_EQ(PathSearchLine("QBT.BAT"), "First QBT.BAT on the DOS path is: QBT.BAT");
  EXPECT_EQ(PathSearchLine("SORVIN.EXE"),
            "First SORVIN.EXE on the DOS path is: " + on_path.Path() + "\\SORVIN.EXE");
  EXPECT_EQ(PathSearchLine("WINDRUM.EXE"), "WINDRUM.EXE is not on the DOS path.");
}

TEST(FormatReportDateTime, TwelveHourClockWithoutLeadingZeros) {
  struct Case {
    uint16_t hour, minute;
    const char* clock;
  } cases[] = {{0, 0, "12:00 AM"},  {0, 59, "12:59 AM"}, {1, 5, "1:05 AM"},  {11, 59, "11:59 AM"},
               {12, 0, "12:00 PM"}, {13, 5, "1:05 PM"},  {16, 5, "4:05 PM"}, {23, 9, "11:09 PM"}};
  for (const Case& c : cases) {
    platform::LocalDateTime when{2007, 3, 13, c.hour, c.minute, 42};
    EXPECT_EQ(FormatReportDateTime(when, "Tuesday", "March"),
              std::string("Tuesday, March 13, 2007, ") + c.clock);
  }
  EXPECT_EQ(FormatReportDateTime({2026, 12, 8, 9, 0, 0}, "Dienstag", "Dezember"),
            "Dienstag, Dezember 8, 2026, 9:00 AM");
}

TEST(FormatVersion, TwoDecimalsWithAPoint) {
  struct Case {
    float version;
    const char* text;
  } cases[] = {{1.5f, "1.50"}, {1.0f, "1.00"}, {0.0f, "0.00"}, {12.25f, "12.25"}, {2.999f, "3.00"}};
  for (const Case& c : cases) EXPECT_EQ(FormatVersion(c.version), c.text);
}

TEST(TextFileLines, SplitsAtEveryKindOfLineEnd) {
  using V = std::vector<std::string>;
  struct Case {
    std::string bytes;
    V lines;
  } cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\n", {"one"}},
      {"a\r\nb\r\nc\r\n", {"a", "b", "c"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\r\n", {"a", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"[Settings]\r\n\r\nx=1", {"[Settings]", "", "x=1"}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
  };
  for (const Case& c : cases) EXPECT_EQ(TextFileLines(c.bytes), c.lines);
}

TEST(CompilerVersionText, NamesTheCompilerAndItsVersion) {
  std::string text = CompilerVersionText();
  std::string release = std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." +
                        std::to_string(__GNUC_PATCHLEVEL__);
  EXPECT_NE(text.find(release), std::string::npos) << text;
  EXPECT_NE(text.find(__VERSION__), std::string::npos) << text;
}

// --- the whole report over a scripted machine ---

DiagnosticFacts ScriptedMachine() {
  DiagnosticFacts f;
  f.request = {"Setup", "", "", "C:\\VX\\SETUP.INI", 1.5f};
  f.date_time = "Tuesday, March 13, 2007, 4:05 PM";
  f.compiler = "GNU C++ 12.2";
  f.program_file = "C:\\Program Files\\VX\\SETUP.EXE";
  f.help_file = "C:\\Program Files\\VX\\SETUP.chm";
  f.help_file_exists = true;
  f.nt_family = true;
  f.user_is_administrator = true;
  f.can_write_local_machine = false;
  f.can_write_current_user = true;
  f.flib_dvt_buffer = "";
  f.file_extensions_hidden = false;
  f.locale_language = "English";
  f.menu_font_face = "Tahoma";
  f.menu_font_size = 8;
  f.screen_dpi = 96;
  f.screen_width = 1024;
  f.screen_height = 768;
  f.locale_decimal_separator = ",";
  f.program_decimal_separator = '.';
  f.physical_memory_mb = 2047;
  f.drive_summary = "Drive C:   size = 80GB   free = 20GB   25% free";
  f.logical_processor_count = 4;
  f.wow64_text = "Process is NOT running on Wow64";
  f.windows_version = "Windows XP (NT.5.1.2600) Service Pack 2";
  f.cpu_description = "GenuineIntel, type 0, family 6, model 15, stepping 6, 2400.0 MHz";
  f.processor_counts = {4, 2, 1};
  f.heap_used_bytes = 10 * 1024 + 1023;
  f.heap_unused_bytes = 2047;
  f.working_set_kb = 10000;
  f.comspec = "C:\\WINDOWS\\SYSTEM32\\CMD.EXE";
  f.comspec_exists = true;
  f.product_block = "VESTRIX directory is C:\\VX\r\nC:\\VX\\KELDA.EXE does not exist !";
  for (const std::string& name : PathSearchNames())
    f.path_lines.push_back(name + " is not on the DOS path.");
  f.special_folders = "Windows Directory = C:\\WINDOWS\r\nTMP = UNDEFINED\r\n";
  f.environment = {"=C:=C:\\", "PATH=C:\\WINDOWS", "TEMP=C:\\TEMP"};
  f.settings_lines = std::vector<std::string>{"[Settings]", "InstTitle=VESTRIX", "zipname=vx.zip"};
  return f;
}

const char* const kScriptedReport[] = {
    "Tuesday, March 13, 2007, 4:05 PM",
    "Program: Setup",
    "Version 1.50,  13/Mar/2007",
    "Compiler version: GNU C++ 12.2",
    "Compiler flags: LongStrings PStrIsAnsi RangeChecking NoOptimization NotCheckCore UseCHM",
    "File: c:\\program files\\vx\\setup.exe",
    "Help File: C:\\Program Files\\VX\\SETUP.chm [exists]",
    "User has Administrator rights",
    "User CANNOT write to HKEY_LOCAL_MACHINE registry keys",
    "User can write to HKEY_CURRENT_USER registry keys",
    "Environment variable FLIB_DVT_BUFFER is not set.",
    "File extensions are visible in Explorer",
    "Locale language: English",
    "System menufont: Tahoma  size: 8",
    "Screen DPI: 96   (pixelsperinch)",
    "Screen size: 1024x768 pixels",
    "Windows Locale decimal separator: ,  (comma)",
    "Program decimal separator: .  (period)",
    "2047 megabytes RAM available to Windows",
    "Drive C:   size = 80GB   free = 20GB   25% free",
    "Windows detected 4 logical CPUs",
    "Process is NOT running on Wow64",
    "Windows XP (NT.5.1.2600) Service Pack 2",
    "GenuineIntel, type 0, family 6, model 15, stepping 6, 2400.0 MHz",
    "1 physical CPU, 2 CPU cores, 4 logical CPUs",
    "Hyper-threading is enabled.",
    "Heap Used: 10 Kb",
    "Heap Unused: 1 Kb",
    "Memory Used [working set]: 10000 Kb",
    "COMSPEC: c:\\windows\\system32\\cmd.exe",
    "VESTRIX directory is C:\\VX",
    "C:\\VX\\KELDA.EXE does not exist !",
    "Program Temp Dir: ",
    "Program Keep Dir: ",
    "Program Ini Name: C:\\VX\\SETUP.INI",
    "",
    "LF90.EXE is not on the DOS path.",
    "LF95.EXE is not on the DOS path.",
    "KELDA.EXE is not on the DOS path.",
    "PRAXOLE.EXE is not on the DOS path.",
    "SORVIN.EXE is not on the DOS path.",
    "QBT.BAT is not on the DOS path.",
    "LINDRAK.EXE is not on the DOS path.",
    "OSKARN.EXE is not on the DOS path.",
    "TERVAL.EXE is not on the DOS path.",
    "WINDRUM.EXE is not on the DOS path.",
    "",
    "Special Folders:",
    "Windows Directory = C:\\WINDOWS",
    "TMP = UNDEFINED",
    "",
    "Complete Contents of Environment:",
    "=C:=C:\\",
    "PATH=C:\\WINDOWS",
    "TEMP=C:\\TEMP",
    "",
    "Complete Contents of INI file: C:\\VX\\SETUP.INI",
    "[Settings]",
    "InstTitle=VESTRIX",
    "zipname=vx.zip",
};

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

std::vector<std::string> ScriptedLines() {
  return {std::begin(kScriptedReport), std::end(kScriptedReport)};
}

TEST(FormatDiagnosticReport, EveryLineInOrderOnAScriptedMachine) {
  std::string report = FormatDiagnosticReport(ScriptedMachine());
  EXPECT_EQ(report, JoinCrLf(ScriptedLines()));
  EXPECT_NE(report.substr(report.size() - 2), "\r\n");
}

// Each case changes the scripted machine and says how the lines change:
// `from` is the first line that differs, `remove` how many of the expected
// lines go, `insert` what takes their place; `also` is a second such edit.
struct LineEdit {
  std::string from;
  size_t remove = 0;
  std::vector<std::string> insert;
};
struct ReportCase {
  ReportCase(const char* title, std::function<void(DiagnosticFacts&)> change, const char* from,
             size_t remove, std::vector<std::string> insert,
             std::optional<LineEdit> also = std::nullopt)
      : title(title),
        change(std::move(change)),
        from(from),
        remove(remove),
        insert(std::move(insert)),
        also(std::move(also)) {}
  const char* title;
  std::function<void(DiagnosticFacts&)> change;
  const char* from;
  size_t remove;
  std::vector<std::string> insert;
  std::optional<LineEdit> also;
};

const std::string kWarn = "**** WARNING **** ";
const std::string kTempAdvice = "; suggest you set Windows TEMP and TMP environment to C:\\TEMP";

const ReportCase kReportCases[] = {
    {"95/98/Me family: no rights lines and no cmd.exe test",
     [](auto& f) {
       f.nt_family = false;
       f.comspec = "C:\\COMMAND.COM";
     },
     "User has Administrator rights",
     3,
     {},
     LineEdit{"COMSPEC: c:\\windows\\system32\\cmd.exe", 1, {"COMSPEC: c:\\command.com"}}},
    {"not an administrator, both roots writable",
     [](auto& f) {
       f.user_is_administrator = false;
       f.can_write_local_machine = true;
     },
     "User has Administrator rights",
     2,
     {"User does NOT have Administrator rights",
      "User can write to HKEY_LOCAL_MACHINE registry keys"}},
    {"current user root not writable",
     [](auto& f) { f.can_write_current_user = false; },
     "User can write to HKEY_CURRENT_USER registry keys",
     1,
     {"User CANNOT write to HKEY_CURRENT_USER registry keys"}},
    {"help file missing and its path empty",
     [](auto& f) {
       f.help_file = "";
       f.help_file_exists = false;
     },
     "Help File: C:\\Program Files\\VX\\SETUP.chm [exists]",
     1,
     {"Help File:  [not found]"}},
    {"FLIB_DVT_BUFFER set",
     [](auto& f) { f.flib_dvt_buffer = "8192 x"; },
     "Environment variable FLIB_DVT_BUFFER is not set.",
     1,
     {"Environment variable FLIB_DVT_BUFFER is set to \"8192 x\""}},
    {"extensions hidden",
     [](auto& f) { f.file_extensions_hidden = true; },
     "File extensions are visible in Explorer",
     1,
     {kWarn + "File extensions are hidden in Explorer"}},
    {"other separators",
     [](auto& f) {
       f.locale_decimal_separator = "Unknown";
       f.program_decimal_separator = ',';
     },
     "Windows Locale decimal separator: ,  (comma)",
     2,
     {"Windows Locale decimal separator: Unknown", "Program decimal separator: ,  (comma)"}},
    {"no drive qualifies: an empty line",
     [](auto& f) { f.drive_summary = ""; },
     "Drive C:   size = 80GB   free = 20GB   25% free",
     1,
     {""}},
    {"one logical CPU from Windows",
     [](auto& f) { f.logical_processor_count = 1; },
     "Windows detected 4 logical CPUs",
     1,
     {"Windows detected 1 logical CPU"}},
    {"zero logical CPUs from Windows",
     [](auto& f) { f.logical_processor_count = 0; },
     "Windows detected 4 logical CPUs",
     1,
     {"Windows detected 1 logical CPU"}},
    {"two logical CPUs",
     [](auto& f) { f.logical_processor_count = 2; },
     "Windows detected 4 logical CPUs",
     1,
     {"Windows detected 2 logical CPUs"}},
    {"equal core and logical counts",
     [](auto& f) {
       f.processor_counts = {4, 4, 2};
     },
     "1 physical CPU, 2 CPU cores, 4 logical CPUs",
     2,
     {"2 physical CPUs, 4 CPU cores, 4 logical CPUs", "Hyper-threading is not enabled."}},
    {"all counts one",
     [](auto& f) {
       f.processor_counts = {1, 1, 1};
     },
     "1 physical CPU, 2 CPU cores, 4 logical CPUs",
     2,
     {"1 physical CPU, 1 CPU core, 1 logical CPU", "Hyper-threading is not enabled."}},
    {"working set unknown",
     [](auto& f) { f.working_set_kb = -1; },
     "Memory Used [working set]: 10000 Kb",
     1,
     {"Memory Used [working set]: -1 Kb"}},
    {"COMSPEC unset",
     [](auto& f) { f.comspec = ""; },
     "COMSPEC: c:\\windows\\system32\\cmd.exe",
     1,
     {kWarn + "COMSPEC environment variable is not set !"}},
    {"COMSPEC not cmd.exe and absent on NT",
     [](auto& f) {
       f.comspec = "D:\\4NT\\4NT.EXE";
       f.comspec_exists = false;
     },
     "COMSPEC: c:\\windows\\system32\\cmd.exe",
     1,
     {"COMSPEC: d:\\4nt\\4nt.exe", kWarn + "expected COMSPEC to be cmd.exe",
      kWarn + "COMSPEC does not exist"}},
    {"COMSPEC.COM on 95: no cmd.exe warning, only absence",
     [](auto& f) {
       f.nt_family = false;
       f.comspec = "C:\\COMMAND.COM";
       f.comspec_exists = false;
     },
     "User has Administrator rights",
     3,
     {},
     LineEdit{"COMSPEC: c:\\windows\\system32\\cmd.exe",
              1,
              {"COMSPEC: c:\\command.com", kWarn + "COMSPEC does not exist"}}},
    {"COMSPEC without cmd.exe on NT, existing",
     [](auto& f) { f.comspec = "C:\\4DOS\\4DOS.COM"; },
     "COMSPEC: c:\\windows\\system32\\cmd.exe",
     1,
     {"COMSPEC: c:\\4dos\\4dos.com", kWarn + "expected COMSPEC to be cmd.exe"}},
    {"temp dir of exactly 40 characters",
     [](auto& f) { f.request.temp_dir = "C:\\" + std::string(37, 'T'); },
     "Program Temp Dir: ",
     1,
     {"Program Temp Dir: C:\\" + std::string(37, 'T')}},
    {"temp dir of 41 characters",
     [](auto& f) { f.request.temp_dir = "C:\\" + std::string(38, 'T'); },
     "Program Temp Dir: ",
     1,
     {"Program Temp Dir: C:\\" + std::string(38, 'T'),
      kWarn + "Temp Dir is rather long" + kTempAdvice}},
    {"temp dir with a blank",
     [](auto& f) { f.request.temp_dir = "C:\\MY TEMP"; },
     "Program Temp Dir: ",
     1,
     {"Program Temp Dir: C:\\MY TEMP", kWarn + "Temp Dir contains spaces" + kTempAdvice}},
    {"temp dir long and with blanks",
     [](auto& f) { f.request.temp_dir = "C:\\Documents and Settings\\x\\Local Settings\\Temp"; },
     "Program Temp Dir: ",
     1,
     {"Program Temp Dir: C:\\Documents and Settings\\x\\Local Settings\\Temp",
      kWarn + "Temp Dir is rather long" + kTempAdvice,
      kWarn + "Temp Dir contains spaces" + kTempAdvice}},
    {"keep dir given",
     [](auto& f) { f.request.keep_dir = "D:\\KEEP"; },
     "Program Keep Dir: ",
     1,
     {"Program Keep Dir: D:\\KEEP"}},
    {"the environment walk stops at an empty entry",
     [](auto& f) {
       f.environment = {"A=1", "", "B=2"};
     },
     "=C:=C:\\",
     3,
     {"A=1"}},
    {"empty settings file: the blank line and the header only",
     [](auto& f) { f.settings_lines = std::vector<std::string>{}; },
     "[Settings]",
     3,
     {}},
};

class ReportEdgeTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ReportEdgeTest, ChangesOnlyItsOwnLines) {
  const ReportCase& c = GetParam();
  DiagnosticFacts facts = ScriptedMachine();
  c.change(facts);
  std::vector<std::string> lines = ScriptedLines();
  std::vector<LineEdit> edits = {{c.from, c.remove, c.insert}};
  if (c.also) edits.push_back(*c.also);
  for (const LineEdit& edit : edits) {
    auto at = std::find(lines.begin(), lines.end(), edit.from);
    ASSERT_NE(at, lines.end()) << edit.from;
    at = lines.erase(at, at + static_cast<std::ptrdiff_t>(edit.remove));
    lines.insert(at, edit.insert.begin(), edit.insert.end());
  }
  EXPECT_EQ(FormatDiagnosticReport(facts), JoinCrLf(lines)) << c.title;
}

INSTANTIATE_TEST_SUITE_P(Items, ReportEdgeTest, ::testing::ValuesIn(kReportCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(FormatDiagnosticReport, WithoutSettingsFileItEndsWithTheLastEnvironmentEntry) {
  DiagnosticFacts facts = ScriptedMachine();
  facts.settings_lines.reset();
  std::string report = FormatDiagnosticReport(facts);
  EXPECT_TRUE(report.ends_with("PATH=C:\\WINDOWS\r\nTEMP=C:\\TEMP")) << report;
  facts.settings_lines = std::vector<std::string>{};
  report = FormatDiagnosticReport(facts);
  EXPECT_TRUE(
      report.ends_with("TEMP=C:\\TEMP\r\n\r\nComplete Contents of INI file: C:\\VX\\SETUP.INI"))
      << report;
}

}  // namespace
}  // namespace vx
