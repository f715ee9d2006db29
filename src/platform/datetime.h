// File dates and their text in the user's locale.
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

// The user's short date, a blank and the long time.
std::string FormatLocaleDateTime(const LocalDateTime& when);

}  // namespace vx::platform
