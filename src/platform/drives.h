// Drives in the Windows model: roots such as "C:\", their type and their
// free and total space. On Linux a drive letter exists only when the drive
// table (VX_DRIVES, see posix/path_map.h) maps it to a directory.
#pragma once

#include <cstdint>
#include <string>

namespace vx::platform {

// The Windows DRIVE_* numbers.
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;  // no such drive
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdRom = 5;
constexpr uint32_t kDriveRamDisk = 6;

// While an object of this class lives, the process error mode is
// SEM_FAILCRITICALERRORS, so a drive that is empty or not ready makes the call
// fail instead of showing the system's "insert a disk" box. The previous mode
// comes back when the object dies. The error mode is process-wide: callers
// rely on no other thread probing drives meanwhile. Nothing to do on Linux.
class CriticalErrorsSuppressed {
 public:
  CriticalErrorsSuppressed();
  ~CriticalErrorsSuppressed();
  CriticalErrorsSuppressed(const CriticalErrorsSuppressed&) = delete;
  CriticalErrorsSuppressed& operator=(const CriticalErrorsSuppressed&) = delete;

 private:
  uint32_t previous_mode_;
};

// Bytes available to the calling user and total bytes of the drive holding
// `root` ("C:\"; empty means the drive of the current directory). Prefers
// GetDiskFreeSpaceExA when the system has it and falls back to
// GetDiskFreeSpaceA. On failure both figures are -1 and the result is false.
bool GetDiskFreeSpace(const std::string& root, int64_t& free_bytes, int64_t& total_bytes);

// The kDrive... type of the drive with that root (empty: the current drive).
uint32_t GetDriveType(const std::string& root);

}  // namespace vx::platform
