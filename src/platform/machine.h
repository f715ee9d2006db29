// Facts about the machine and the running process that the diagnostic
// report states: WOW64, locale texts, the local time, the screen, the menu
// font, the process's working set and its heap. On Linux each answers what
// the system can tell, or reports absence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/datetime.h"

namespace vx::platform {

// The answer of IsWow64Process, looked up in kernel32 at run time (it is
// missing before the WOW64 era). Linux has no such entry.
enum class Wow64Answer { kEntryMissing, kCallFailed, kNotWow64, kWow64 };
Wow64Answer QueryWow64();

// Locale items of the user's default locale (the Windows LOCALE_* numbers).
constexpr uint32_t kLocaleDecimalSeparator = 0x000E;  // LOCALE_SDECIMAL
constexpr uint32_t kLocaleEnglishLanguage = 0x1001;   // LOCALE_SENGLANGUAGE
constexpr uint32_t kLocaleDayName1 = 0x002A;          // LOCALE_SDAYNAME1, Monday; +6 Sunday
constexpr uint32_t kLocaleMonthName1 = 0x0038;        // LOCALE_SMONTHNAME1, January
// The item's text without its terminating zero; "" when the query gives none.
std::string UserLocaleText(uint32_t item);

// The current local date and time and the day of the week (0 = Sunday).
struct LocalNow {
  LocalDateTime when;
  uint16_t day_of_week = 0;
};
LocalNow CurrentLocalTime();

// The primary screen: logical pixels per inch and size in pixels; 0 where
// there is no screen to ask.
struct ScreenMetrics {
  int32_t pixels_per_inch = 0;
  int32_t width = 0;
  int32_t height = 0;
};
ScreenMetrics PrimaryScreen();

// The size in points of the system menu font; 0 when it cannot be read.
int32_t MenuFontPointSize();

// Binds the process-status library (PSAPI.dll) at first use and keeps it
// for the rest of the run; false (and nothing kept) when it cannot be
// loaded, so a later call tries again.
bool BindProcessStatusLibrary();
// The process's working-set size in bytes; nullopt when it cannot be read.
std::optional<uint64_t> WorkingSetBytes();

// The C runtime heap: bytes in blocks handed out to the program, and bytes
// the heap holds in free blocks. nullopt when the runtime cannot tell.
struct HeapFigures {
  uint64_t used = 0;
  uint64_t unused = 0;
};
std::optional<HeapFigures> RuntimeHeapFigures();

}  // namespace vx::platform
