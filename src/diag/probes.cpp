#include "diag/probes.h"

#include <memory>

#include "diag/exe_flavour.h"
#include "platform/account.h"
#include "platform/environment.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/rounding.h"
#include "platform/system.h"
#include "sysinfo/cpu_id.h"
#include "sysinfo/windows_version.h"
#include "util/byte_size.h"
#include "util/environment_utils.h"
#include "util/standard_dirs.h"
#include "util/startup.h"

namespace vx {

namespace {

bool IsNtFamily() {
  try {
    return platform::GetVersionInfo().platform_id == platform::kPlatformWin32NT;
  } catch (const platform::EOSError&) {
    return false;
  }
}

// The settings file's lines; a read error reaches the caller.
std::vector<std::string> ReadSettingsLines(const std::string& path) {
  std::unique_ptr<platform::TFileStream> file = platform::TFileStream::OpenRead(path);
  std::string bytes;
  char buffer[16384];
  for (;;) {
    int64_t got = file->Read(buffer, sizeof buffer);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return TextFileLines(bytes);
}

// Texts of the system-information routines, which raise when the system
// refuses a query: the refusal's message takes the line's place.
template <typename Query>
std::string TextOrError(Query query) {
  try {
    return query();
  } catch (const platform::EOSError& error) {
    return error.Message();
  }
}

}  // namespace

std::string Wow64Text(platform::Wow64Answer answer) {
  switch (answer) {
    case platform::Wow64Answer::kEntryMissing:
      return "IsWow64Process not present in kernel32.dll";
    case platform::Wow64Answer::kCallFailed:
      return "IsWow64 call failed";
    case platform::Wow64Answer::kWow64:
      return "Process is running on Wow64";
    case platform::Wow64Answer::kNotWow64:
      break;
  }
  return "Process is NOT running on Wow64";
}

bool Wow64Status(std::string& text) {
  platform::Wow64Answer answer = platform::QueryWow64();
  text = Wow64Text(answer);
  return answer == platform::Wow64Answer::kWow64;
}

bool UserIsAdministrator() {
  return IsNtFamily() && platform::UserInAdministratorsGroup();
}

bool CanWriteToRegistry(platform::RegistryRoot root) {
  std::optional<platform::RegistryKey> key = platform::RegistryKey::Open(
      root, "\\SoftWare\\TestRegAccess", platform::RegistryAccess::kReadWrite, true);
  if (!key) return false;
  return key->WriteString("Test", "TestString");
}

bool TitleHidesExtension(const std::string& title) {
  return title.find('.') == std::string::npos;
}

bool FileExtensionsHidden() {
  std::optional<std::string> title = platform::FileTitle(platform::ProgramFileName());
  return title && TitleHidesExtension(*title);
}

std::string LocaleLanguage() {
  std::string text = platform::UserLocaleText(platform::kLocaleEnglishLanguage);
  return text.empty() ? "Unknown" : text;
}

std::string LocaleDecimalSeparator() {
  std::string text = platform::UserLocaleText(platform::kLocaleDecimalSeparator);
  return text.empty() ? "Unknown" : text;
}

std::string DriveLine(char letter, int64_t size, int64_t free) {
  // Rounded to the nearest integer, halves to the even neighbour, in integers
  // so that no build's floating point moves a tie. Sizes stay below 2^57.
  const uint64_t percent = size > 0 && free >= 0 ? RoundHalfEven(static_cast<uint64_t>(free) * 100,
                                                                 static_cast<uint64_t>(size))
                                                 : 0;
  return std::string("Drive ") + letter + ":   size = " + FormatByteSize(size) +
         "   free = " + FormatByteSize(free) + "   " + std::to_string(percent) + "% free";
}

std::string DriveSummaryFrom(const std::function<DiskSpace(int32_t drive)>& space) {
  std::string text;
  for (int32_t drive = 3; drive <= 6; ++drive) {
    DiskSpace figures = space(drive);
    if (figures.total <= 0) continue;
    if (!text.empty()) text += "\r\n";
    text += DriveLine(static_cast<char>('A' + drive - 1), figures.total, figures.free);
  }
  return text;
}

std::string DriveSummary() {
  // GetDiskSpace keeps the system's critical-error boxes away while it asks.
  return DriveSummaryFrom(GetDiskSpace);
}

bool BindPsapi() {
  return platform::BindProcessStatusLibrary();
}

int64_t WorkingSetKb() {
  if (!BindPsapi()) return -1;
  std::optional<uint64_t> bytes = platform::WorkingSetBytes();
  if (!bytes) return -1;
  return static_cast<int64_t>(*bytes / 1024);
}

DiagnosticFacts GatherDiagnosticFacts(const DiagnosticRequest& request) {
  DiagnosticFacts f;
  f.request = request;
  platform::LocalNow now = platform::CurrentLocalTime();
  // The locale counts its day names from Monday.
  uint32_t day_item = platform::kLocaleDayName1 + (now.day_of_week + 6u) % 7u;
  f.date_time = FormatReportDateTime(
      now.when, platform::UserLocaleText(day_item),
      platform::UserLocaleText(platform::kLocaleMonthName1 + (now.when.month + 11u) % 12u));
  f.compiler = CompilerVersionText();
  f.program_file = platform::ProgramFileName();
  f.help_file = ChangeFileExt(f.program_file, ".chm");
  f.help_file_exists = !f.help_file.empty() && SafeFileExists(f.help_file);
  f.nt_family = IsNtFamily();
  if (f.nt_family) {
    f.user_is_administrator = UserIsAdministrator();
    f.can_write_local_machine = CanWriteToRegistry(platform::RegistryRoot::kLocalMachine);
    f.can_write_current_user = CanWriteToRegistry(platform::RegistryRoot::kCurrentUser);
  }
  f.flib_dvt_buffer = GetEnvVar("FLIB_DVT_BUFFER", "");
  f.file_extensions_hidden = FileExtensionsHidden();
  f.locale_language = LocaleLanguage();
  f.menu_font_face = platform::MenuFontFaceName();
  f.menu_font_size = platform::MenuFontPointSize();
  platform::ScreenMetrics screen = platform::PrimaryScreen();
  f.screen_dpi = screen.pixels_per_inch;
  f.screen_width = screen.width;
  f.screen_height = screen.height;
  f.locale_decimal_separator = LocaleDecimalSeparator();
  f.program_decimal_separator = ProgramDecimalSeparator();
  f.physical_memory_mb = PhysicalMemoryMB();
  f.drive_summary = DriveSummary();
  f.logical_processor_count = LogicalProcessorCount();
  Wow64Status(f.wow64_text);
  f.windows_version = TextOrError([] { return WindowsVersionText(); });
  f.cpu_description = TextOrError([] { return CpuDescription(); });
  try {
    f.processor_counts = GetProcessorCounts();
  } catch (const platform::EOSError&) {
    // The topology could not be examined: the count Windows reports is all there is.
    uint32_t logical = platform::NumberOfProcessors();
    f.processor_counts = {logical, logical, 1};
  }
  if (std::optional<platform::HeapFigures> heap = platform::RuntimeHeapFigures()) {
    f.heap_used_bytes = heap->used;
  }
  if (std::optional<platform::HeapFigures> heap = platform::RuntimeHeapFigures()) {
    f.heap_unused_bytes = heap->unused;
  }
  f.working_set_kb = WorkingSetKb();
  f.comspec = CommandInterpreter();
  f.comspec_exists = !f.comspec.empty() && SafeFileExists(f.comspec);
  f.product_block = CheckProductDirectory();
  for (const std::string& name : PathSearchNames()) f.path_lines.push_back(PathSearchLine(name));
  f.special_folders = DescribeStandardDirs();
  f.environment = platform::EnvironmentStrings();
  if (!request.settings_file.empty() && platform::FileExists(request.settings_file)) {
    f.settings_lines = ReadSettingsLines(request.settings_file);
  }
  return f;
}

}  // namespace vx
