// Small probes of the account and the machine for the diagnostic report.
// Each answers with a flag or a text and absorbs every failure into its
// answer; none stops the report. GatherDiagnosticFacts runs them all, in
// report order, and fills the report's record of facts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "diag/report.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "util/drive_probes.h"

namespace vx {

// True when the process runs under WOW64; `text` is one of four fixed lines.
bool Wow64Status(std::string& text);
std::string Wow64Text(platform::Wow64Answer answer);

// False off the NT family and whenever the token cannot be read.
bool UserIsAdministrator();

// Creates (or opens) the probe key "\SoftWare\TestRegAccess" under `root`
// and writes "Test" = "TestString" in it; true when that succeeds. The key
// and its value are left in the registry.
bool CanWriteToRegistry(platform::RegistryRoot root);

// True when the shell shows the program's own file without its extension.
bool FileExtensionsHidden();
// The rule on the shell's title of the file: no "." at all means hidden.
bool TitleHidesExtension(const std::string& title);

// The user's locale's language name in English and its decimal separator;
// "Unknown" when the locale gives none.
std::string LocaleLanguage();
std::string LocaleDecimalSeparator();

// "Drive C:   size = 80GB   free = 20GB   25% free"; the percentage rounds
// halves to the even neighbour.
std::string DriveLine(char letter, int64_t size, int64_t free);
// One line per drive C: to F: whose size is above zero, joined by CR LF;
// `space` answers for a drive number (3 = C:).
std::string DriveSummaryFrom(const std::function<DiskSpace(int32_t drive)>& space);
std::string DriveSummary();

// Binds the process-status library at first use.
bool BindPsapi();
// The working set in KiB (truncating); -1 when it cannot be read.
int64_t WorkingSetKb();

// Runs every probe of the report, in report order, and returns the facts.
// Raises as BuildDiagnosticReport documents.
DiagnosticFacts GatherDiagnosticFacts(const DiagnosticRequest& request);

}  // namespace vx
