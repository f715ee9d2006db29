#include "platform/datetime.h"

#include <algorithm>

namespace vx::platform {

void PackDosDateTime(const LocalDateTime& when, uint16_t& dos_date, uint16_t& dos_time) {
  dos_date = 0;
  dos_time = 0;
  if (when.year < 1980 || when.year > 2107) return;
  dos_date = static_cast<uint16_t>(((when.year - 1980) << 9) | (when.month << 5) | when.day);
  // A leap second still fits the last two-second step.
  dos_time = static_cast<uint16_t>((when.hour << 11) | (when.minute << 5) |
                                   (std::min<uint16_t>(when.second, 59) / 2));
}

std::optional<LocalDateTime> UnpackDosDateTime(uint16_t dos_date, uint16_t dos_time) {
  LocalDateTime when;
  when.year = static_cast<uint16_t>(1980 + (dos_date >> 9));
  when.month = static_cast<uint16_t>((dos_date >> 5) & 15);
  when.day = static_cast<uint16_t>(dos_date & 31);
  when.hour = static_cast<uint16_t>(dos_time >> 11);
  when.minute = static_cast<uint16_t>((dos_time >> 5) & 63);
  when.second = static_cast<uint16_t>((dos_time & 31) * 2);
  static const uint16_t kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (when.year % 4 == 0 && when.year % 100 != 0) || when.year % 400 == 0;
  if (when.month < 1 || when.month > 12 || when.day < 1 ||
      when.day > kDaysInMonth[when.month - 1] + (when.month == 2 && leap ? 1 : 0) ||
      when.hour > 23 || when.minute > 59 || when.second > 59) {
    return std::nullopt;
  }
  return when;
}

}  // namespace vx::platform
