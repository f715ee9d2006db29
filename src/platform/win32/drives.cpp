// Drive type and space through the Windows API, with critical-error boxes
// suppressed around every probe.
#include "platform/drives.h"

#include "platform/win32/windows_api.h"

namespace vx::platform {

CriticalErrorsSuppressed::CriticalErrorsSuppressed()
    : previous_mode_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}

CriticalErrorsSuppressed::~CriticalErrorsSuppressed() {
  SetErrorMode(previous_mode_);
}

namespace {

const char* RootOrCurrent(const std::string& root) {
  return root.empty() ? nullptr : root.c_str();
}

}  // namespace

bool GetDiskFreeSpace(const std::string& root, int64_t& free_bytes, int64_t& total_bytes) {
  free_bytes = -1;
  total_bytes = -1;
  CriticalErrorsSuppressed suppressed;
  // The Ex form knows drives above 2 GiB but is missing from the first
  // Windows 95 release, so it is looked up rather than linked.
  using GetDiskFreeSpaceExFunction =
      BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  static const auto get_disk_free_space_ex =
      win32::OptionalExport<GetDiskFreeSpaceExFunction>("KERNEL32.DLL", "GetDiskFreeSpaceExA");
  if (get_disk_free_space_ex != nullptr) {
    ULARGE_INTEGER available, total, total_free;
    if (get_disk_free_space_ex(RootOrCurrent(root), &available, &total, &total_free)) {
      free_bytes = static_cast<int64_t>(available.QuadPart);
      total_bytes = static_cast<int64_t>(total.QuadPart);
      return true;
    }
  }
  DWORD sectors_per_cluster, bytes_per_sector, free_clusters, total_clusters;
  if (!GetDiskFreeSpaceA(RootOrCurrent(root), &sectors_per_cluster, &bytes_per_sector,
                         &free_clusters, &total_clusters)) {
    win32::RecordLastError();
    return false;
  }
  const int64_t cluster_bytes = static_cast<int64_t>(sectors_per_cluster) * bytes_per_sector;
  free_bytes = static_cast<int64_t>(free_clusters) * cluster_bytes;
  total_bytes = static_cast<int64_t>(total_clusters) * cluster_bytes;
  return true;
}

uint32_t GetDriveType(const std::string& root) {
  CriticalErrorsSuppressed suppressed;
  return GetDriveTypeA(RootOrCurrent(root));
}

}  // namespace vx::platform
