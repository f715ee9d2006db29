// The once-only start-up step: the process-wide user-interface settings it
// adjusts and the three machine values it keeps for the diagnostic report.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace vx {

// Windows 98/Me, or NT 5 (2000) and later; false for 95, NT 4.0 and older and
// for systems that are not Windows.
bool IsWin98Or2000OrLater(const platform::OsVersionInfo& version);
bool IsWin98Or2000OrLater();

// Keyboard cues (access-key underlines) are switched on for NT 5 and later.
bool WantsKeyboardCues(const platform::OsVersionInfo& version);

// The 32-bit value `name` under HKEY_CURRENT_USER\Software\VESTRIX (the key
// is created when missing); true when it is a REG_DWORD other than 0, false
// when it is 0, absent, of another type, or the key cannot be opened.
bool ReadUserFlag(const std::string& name);

// Whole mebibytes of `bytes`, via kibibytes, kept within a signed 32-bit value.
int32_t PhysicalMemoryMBFromBytes(uint64_t bytes);

// Runs the start-up step once per process (later calls do nothing): clears
// the foreground lock time-out on Windows 98/2000 and later unless the user
// set "FlashTaskBar",
// switches keyboard cues on for NT 5 and later, and keeps the three values
// below. Every font the program creates names its face and no file dialog
// is opened without an initial directory (the save dialog is given the
// current one), so there is no default face or dialog directory to keep.
void StartupSummary();

// The values StartupSummary kept; 0 or "" before it has run.
int32_t LogicalProcessorCount();
int32_t PhysicalMemoryMB();
const std::string& CommandInterpreter();  // COMSPEC, trimmed; "" when unset

}  // namespace vx
