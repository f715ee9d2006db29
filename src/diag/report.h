// The diagnostic report: a plain-text description of the program, the
// account, the machine, the installed VESTRIX product and the environment,
// for the user to paste into a problem report.
//
// BuildDiagnosticReport is the entry point: it gathers every fact afresh
// (diag/probes.h) and formats them here. The formatting is a pure function of
// one record of facts, so every line and every rule is tested without a
// machine behind it. A program window that shows the report (and appends the
// KELDA tool's own report to it) calls BuildDiagnosticReport once per opening.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/datetime.h"
#include "sysinfo/processor_counts.h"
#include "ui/program.h"

namespace vx {

// What the calling program says about itself. The setup program passes
// "Setup", 1.5, empty directories and the path of its settings file.
struct DiagnosticRequest {
  std::string program_name;
  std::string temp_dir;       // may be empty
  std::string keep_dir;       // may be empty
  std::string settings_file;  // full path; may be empty
  float version = 0.0f;
};

// Every fact the report states, in report order.
struct DiagnosticFacts {
  DiagnosticRequest request;
  std::string date_time;     // already in the report's long form
  std::string compiler;      // the compiler and version that built the program
  std::string program_file;  // the program's full path, as the system gives it
  std::string help_file;     // may be empty
  bool help_file_exists = false;
  bool nt_family = false;  // the lines on administrator rights and registry access
  bool user_is_administrator = false;
  bool can_write_local_machine = false;
  bool can_write_current_user = false;
  std::string flib_dvt_buffer;  // "" when unset
  bool file_extensions_hidden = false;
  std::string locale_language;
  std::string menu_font_face;
  int32_t menu_font_size = 0;
  int32_t screen_dpi = 0;
  int32_t screen_width = 0;
  int32_t screen_height = 0;
  std::string locale_decimal_separator;
  char program_decimal_separator = '.';
  int32_t physical_memory_mb = 0;
  std::string drive_summary;  // zero to four lines
  int32_t logical_processor_count = 0;
  std::string wow64_text;
  std::string windows_version;
  std::string cpu_description;
  ProcessorCounts processor_counts;
  uint64_t heap_used_bytes = 0;
  uint64_t heap_unused_bytes = 0;
  int64_t working_set_kb = 0;
  std::string comspec;  // trimmed; "" when unset
  bool comspec_exists = false;
  std::string product_block;                               // several lines
  std::vector<std::string> path_lines;                     // one per program looked up on the PATH
  std::string special_folders;                             // every line ends in CR LF
  std::vector<std::string> environment;                    // "NAME=value", in the block's order
  std::optional<std::vector<std::string>> settings_lines;  // when the file exists
};

// The report text from the facts: lines joined by CR LF, no final CR LF.
std::string FormatDiagnosticReport(const DiagnosticFacts& facts);

// Gathers the facts of this machine and formats them. A read error in the
// settings file or in an existing product executable raises EStreamError (or
// EFileError) and no report is made; every other failure becomes text.
std::string BuildDiagnosticReport(const std::string& program_name, const std::string& temp_dir,
                                  const std::string& keep_dir, const std::string& settings_file,
                                  float version);

// --- the pieces of the report, exposed for their tests ---

// "1 physical CPU", "2 physical CPUs", "0 physical CPUs".
std::string PluralCount(uint32_t count, const std::string& noun);

// "," and "." with "  (comma)" or "  (period)" after them; other texts unchanged.
std::string DescribeSeparator(const std::string& separator);

// Where `file_name` is first found on the PATH (FindOnPath); `found` is the
// result of that search ("" when nothing was found).
std::string PathSearchLine(const std::string& file_name);
std::string PathSearchLineFor(const std::string& file_name, const std::string& found);

// The ten programs looked up on the PATH, in report order.
const std::vector<std::string>& PathSearchNames();

// "Tuesday, March 13, 2007, 4:05 PM" from a local time and the locale's
// full names of its weekday and month.
std::string FormatReportDateTime(const platform::LocalDateTime& when, const std::string& day_name,
                                 const std::string& month_name);

// The lines of a text file's bytes, without their terminators (CR LF, LF or
// a lone CR). A final line without a terminator counts; an empty file has none.
std::vector<std::string> TextFileLines(const std::string& bytes);

// The compiler and version that built this program.
std::string CompilerVersionText();

}  // namespace vx
