// The Linux answers: the user's locale from the environment, the local time,
// the resident set for the working set and the allocator's own statistics
// for the heap. There is no WOW64, no screen and no menu font to ask.
#include "platform/machine.h"

#include <langinfo.h>
#include <locale.h>
#include <malloc.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's allocator statistics (its header is not always installed).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
extern "C" size_t __sanitizer_get_free_bytes();
#endif

#include <ctime>
#include <fstream>

namespace vx::platform {

Wow64Answer QueryWow64() {
  return Wow64Answer::kEntryMissing;
}

std::string UserLocaleText(uint32_t item) {
  nl_item wanted;
  if (item == kLocaleDecimalSeparator) {
    wanted = RADIXCHAR;
  } else if (item == kLocaleEnglishLanguage) {
    wanted = _NL_IDENTIFICATION_LANGUAGE;
  } else if (item >= kLocaleDayName1 && item < kLocaleDayName1 + 7) {
    // Windows counts from Monday, the C library from Sunday.
    wanted = static_cast<nl_item>(DAY_1 + (item - kLocaleDayName1 + 1) % 7);
  } else if (item >= kLocaleMonthName1 && item < kLocaleMonthName1 + 12) {
    wanted = static_cast<nl_item>(MON_1 + (item - kLocaleMonthName1));
  } else {
    return "";
  }
  locale_t user = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) return "";
  const char* text = nl_langinfo_l(wanted, user);
  std::string result = text != nullptr ? text : "";
  freelocale(user);
  return result;
}

LocalNow CurrentLocalTime() {
  time_t now = time(nullptr);
  struct tm local;
  LocalNow result;
  if (localtime_r(&now, &local) == nullptr) return result;
  result.when = {
      static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
      static_cast<uint16_t>(local.tm_mday),        static_cast<uint16_t>(local.tm_hour),
      static_cast<uint16_t>(local.tm_min),         static_cast<uint16_t>(local.tm_sec)};
  result.day_of_week = static_cast<uint16_t>(local.tm_wday);
  return result;
}

ScreenMetrics PrimaryScreen() {
  return {};
}

int32_t MenuFontPointSize() {
  return 0;
}

bool BindProcessStatusLibrary() {
  return true;  // /proc is always there
}

std::optional<uint64_t> WorkingSetBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t size_pages = 0;
  uint64_t resident_pages = 0;
  if (!(statm >> size_pages >> resident_pages)) return std::nullopt;
  long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) return std::nullopt;
  return resident_pages * static_cast<uint64_t>(page);
}

std::optional<HeapFigures> RuntimeHeapFigures() {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer replaces the allocator; its own statistics are the heap's.
  HeapFigures sanitized;
  sanitized.used = __sanitizer_get_current_allocated_bytes();
  sanitized.unused = __sanitizer_get_free_bytes();
  return sanitized;
#endif
  struct mallinfo2 info = mallinfo2();
  HeapFigures figures;
  figures.used = info.uordblks + info.hblkhd;  // small blocks and separately mapped big ones
  figures.unused = info.fordblks;
  return figures;
}

}  // namespace vx::platform
