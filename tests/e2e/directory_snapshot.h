// What a directory tree holds, to tell whether a run left it as it found it:
// every entry's relative name, and for each file its size, contents, last
// write time and whether it can be written. Portable, so the native tests of
// the installation journal use it as well as the Windows end-to-end cases.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace vx::test {

struct SnapshotEntry {
  bool directory = false;
  uint64_t size = 0;
  std::string contents;
  std::filesystem::file_time_type write_time{};
  bool writable = true;
  bool operator==(const SnapshotEntry&) const = default;
};

class DirectorySnapshot {
 public:
  // The tree below `root` (empty when `root` does not exist; `exists` says
  // which). Names use "/" and are relative to `root`.
  static DirectorySnapshot Take(const std::filesystem::path& root);

  bool exists = false;
  std::map<std::string, SnapshotEntry> entries;

  bool operator==(const DirectorySnapshot&) const = default;
  // The names that differ from `other`, with how; "" when none do.
  std::string DifferencesFrom(const DirectorySnapshot& other) const;
  // The entries one per line, for a failure message or a listing.
  std::string Listing() const;
};

}  // namespace vx::test
