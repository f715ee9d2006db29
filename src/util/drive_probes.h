// Drive, file and directory probes that never let Windows show its
// critical-error boxes ("drive not ready", "insert a disk"): a drive that is
// absent or not ready simply makes the answer false or -1.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

// 1 for "A" (or "a") through 26 for "Z"; -1 for anything else.
int32_t DriveNumber(char c);

// True when the drive's size can be read.
bool DriveReady(char letter);

// Existence tests that first check, for a "X:..." path, that drive X is ready.
bool SafeFileExists(const std::string& path);
bool SafeDirExists(const std::string& path);

// Total and free bytes of a drive; -1 where a figure is not available.
struct DiskSpace {
  int64_t total = -1;
  int64_t free = -1;
};
// `drive`: 1 = A: .. 26 = Z:, 0 = the current drive; any other number is no drive.
DiskSpace GetDiskSpace(int32_t drive);

// The file's last-write date and time in the user's locale, or "not found"
// when the file cannot be opened for reading.
std::string FileDateText(const std::string& path);

}  // namespace vx
