// Local dates and times: of files, of now, packed the MS-DOS way, and their
// text in the user's locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx::platform {

// A local date and time as the file system keeps it for a file.
struct LocalDateTime {
  uint16_t year = 0;
  uint16_t month = 0;  // 1..12
  uint16_t day = 0;    // 1..31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
};

// Opens the file for reading (others may read and write meanwhile) and
// returns its last-write time in local time; nullopt when the file cannot be
// opened.
std::optional<LocalDateTime> FileLastWriteTime(const std::string& path);

// The current local date and time.
LocalDateTime CurrentLocalDateTime();

// The MS-DOS date and time of a local time (two-second steps); both 0 outside
// the years 1980-2107.
void PackDosDateTime(const LocalDateTime& when, uint16_t& dos_date, uint16_t& dos_time);

// The local time an MS-DOS date and time stand for; nullopt when a field is
// out of range (month 13, 30 February, hour 24...).
std::optional<LocalDateTime> UnpackDosDateTime(uint16_t dos_date, uint16_t dos_time);

// The user's short date, a blank and the long time.
std::string FormatLocaleDateTime(const LocalDateTime& when);

}  // namespace vx::platform
