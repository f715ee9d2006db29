#include "diag/report.h"

#include <cstdio>

#include "diag/probes.h"
#include "platform/text.h"
#include "util/environment_utils.h"

namespace vx {

namespace {

constexpr const char* kWarning = "**** WARNING **** ";
constexpr const char* kReleaseDate = "13/Mar/2007";
constexpr const char* kBuildFlags =
    " LongStrings PStrIsAnsi RangeChecking NoOptimization NotCheckCore UseCHM";
constexpr size_t kLongTempDir = 40;

// Collects the report's lines; Join puts CR LF between them.
class Lines {
 public:
  void Add(const std::string& line) {
    if (!first_) text_ += "\r\n";
    text_ += line;
    first_ = false;
  }
  void Warn(const std::string& text) { Add(kWarning + text); }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
  bool first_ = true;
};

}  // namespace

std::string PluralCount(uint32_t count, const std::string& noun) {
  if (count == 1) return "1 " + noun;
  return std::to_string(count) + " " + noun + "s";
}

std::string DescribeSeparator(const std::string& separator) {
  if (separator == ",") return separator + "  (comma)";
  if (separator == ".") return separator + "  (period)";
  return separator;
}

std::string PathSearchLineFor(const std::string& file_name, const std::string& found) {
  if (found.empty()) return file_name + " is not on the DOS path.";
  return "First " + file_name + " on the DOS path is: " + found;
}

std::string PathSearchLine(const std::string& file_name) {
  return PathSearchLineFor(file_name, FindOnPath(file_name));
}

const std::vector<std::string>& PathSearchNames() {
  static const std::vector<std::string> names = {
      "LF90.EXE", "LF95.EXE",    "KELDA.EXE",  "PRAXOLE.EXE", "SORVIN.EXE",
      "QBT.BAT",  "LINDRAK.EXE", "OSKARN.EXE", "TERVAL.EXE",  "WINDRUM.EXE"};
  return names;
}

std::string FormatReportDateTime(const platform::LocalDateTime& when, const std::string& day_name,
                                 const std::string& month_name) {
  uint32_t hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
  char clock[16];
  std::snprintf(clock, sizeof clock, "%u:%02u %s", hour12, static_cast<unsigned>(when.minute),
                when.hour < 12 ? "AM" : "PM");
  return day_name + ", " + month_name + " " + std::to_string(when.day) + ", " +
         std::to_string(when.year) + ", " + clock;
}

std::vector<std::string> TextFileLines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (std::string_view line : SplitLines(bytes)) lines.emplace_back(line);
  return lines;
}

std::string CompilerVersionText() {
#if defined(__clang__)
  std::string text = "Clang " __clang_version__ " (clang";
#elif defined(__GNUC__)
  // __VERSION__ may be only a package name such as "12-posix"; the numbers
  // say exactly which release built the program.
  std::string text = "GNU C++ " + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) +
                     "." + std::to_string(__GNUC_PATCHLEVEL__) + " (" __VERSION__;
#else
  std::string text = "unknown C++ compiler (";
#endif
#if defined(__MINGW32__)
  text += ", MinGW-w64";
#else
  text += ", Linux";
#endif
  text += sizeof(void*) == 8 ? ", 64-bit)" : ", 32-bit)";
  return text;
}

std::string FormatDiagnosticReport(const DiagnosticFacts& f) {
  const DiagnosticRequest& r = f.request;
  Lines out;
  out.Add(f.date_time);
  out.Add("Program: " + r.program_name);
  out.Add("Version " + FormatVersion(r.version) + ",  " + kReleaseDate);
  out.Add("Compiler version: " + f.compiler);
  out.Add(std::string("Compiler flags:") + kBuildFlags);
  out.Add("File: " + AsciiLower(f.program_file));
  out.Add("Help File: " + f.help_file + (f.help_file_exists ? " [exists]" : " [not found]"));
  if (f.nt_family) {
    out.Add(f.user_is_administrator ? "User has Administrator rights"
                                    : "User does NOT have Administrator rights");
    out.Add(f.can_write_local_machine ? "User can write to HKEY_LOCAL_MACHINE registry keys"
                                      : "User CANNOT write to HKEY_LOCAL_MACHINE registry keys");
    out.Add(f.can_write_current_user ? "User can write to HKEY_CURRENT_USER registry keys"
                                     : "User CANNOT write to HKEY_CURRENT_USER registry keys");
  }
  if (f.flib_dvt_buffer.empty()) {
    out.Add("Environment variable FLIB_DVT_BUFFER is not set.");
  } else {
    out.Add("Environment variable FLIB_DVT_BUFFER is set to \"" + f.flib_dvt_buffer + "\"");
  }
  if (f.file_extensions_hidden) {
    out.Warn("File extensions are hidden in Explorer");
  } else {
    out.Add("File extensions are visible in Explorer");
  }
  out.Add("Locale language: " + f.locale_language);
  out.Add("System menufont: " + f.menu_font_face + "  size: " + std::to_string(f.menu_font_size));
  out.Add("Screen DPI: " + std::to_string(f.screen_dpi) + "   (pixelsperinch)");
  out.Add("Screen size: " + std::to_string(f.screen_width) + "x" + std::to_string(f.screen_height) +
          " pixels");
  out.Add("Windows Locale decimal separator: " + DescribeSeparator(f.locale_decimal_separator));
  out.Add("Program decimal separator: " +
          DescribeSeparator(std::string(1, f.program_decimal_separator)));
  out.Add(std::to_string(f.physical_memory_mb) + " megabytes RAM available to Windows");
  out.Add(f.drive_summary);
  if (f.logical_processor_count > 1) {
    out.Add("Windows detected " + std::to_string(f.logical_processor_count) + " logical CPUs");
  } else {
    out.Add("Windows detected 1 logical CPU");
  }
  out.Add(f.wow64_text);
  out.Add(f.windows_version);
  out.Add(f.cpu_description);
  const ProcessorCounts& counts = f.processor_counts;
  out.Add(PluralCount(counts.physical, "physical CPU") + ", " +
          PluralCount(counts.cores, "CPU core") + ", " +
          PluralCount(counts.logical, "logical CPU"));
  out.Add(counts.logical > counts.cores ? "Hyper-threading is enabled."
                                        : "Hyper-threading is not enabled.");
  out.Add("Heap Used: " + std::to_string(f.heap_used_bytes / 1024) + " Kb");
  out.Add("Heap Unused: " + std::to_string(f.heap_unused_bytes / 1024) + " Kb");
  out.Add("Memory Used [working set]: " + std::to_string(f.working_set_kb) + " Kb");
  if (f.comspec.empty()) {
    out.Warn("COMSPEC environment variable is not set !");
  } else {
    std::string lower = AsciiLower(f.comspec);
    out.Add("COMSPEC: " + lower);
    if (f.nt_family && lower.find("cmd.exe") == std::string::npos) {
      out.Warn("expected COMSPEC to be cmd.exe");
    }
    if (!f.comspec_exists) out.Warn("COMSPEC does not exist");
  }
  out.Add(f.product_block);
  out.Add("Program Temp Dir: " + r.temp_dir);
  if (r.temp_dir.size() > kLongTempDir) {
    out.Warn(
        "Temp Dir is rather long; suggest you set Windows TEMP and TMP environment to C:\\TEMP");
  }
  if (r.temp_dir.find(' ') != std::string::npos) {
    out.Warn(
        "Temp Dir contains spaces; suggest you set Windows TEMP and TMP environment to C:\\TEMP");
  }
  out.Add("Program Keep Dir: " + r.keep_dir);
  out.Add("Program Ini Name: " + r.settings_file);
  out.Add("");
  for (const std::string& line : f.path_lines) out.Add(line);
  out.Add("");
  out.Add("Special Folders:");
  // The listing ends each folder line with CR LF itself, so an empty line
  // follows it.
  out.Add(f.special_folders);
  out.Add("Complete Contents of Environment:");
  for (const std::string& entry : f.environment) {
    if (entry.empty()) break;  // the block ends at its first empty entry
    out.Add(entry);
  }
  if (f.settings_lines) {
    out.Add("");
    out.Add("Complete Contents of INI file: " + r.settings_file);
    for (const std::string& line : *f.settings_lines) out.Add(line);
  }
  return out.Take();
}

std::string BuildDiagnosticReport(const std::string& program_name, const std::string& temp_dir,
                                  const std::string& keep_dir, const std::string& settings_file,
                                  float version) {
  DiagnosticRequest request{program_name, temp_dir, keep_dir, settings_file, version};
  return FormatDiagnosticReport(GatherDiagnosticFacts(request));
}

}  // namespace vx
