#include "directory_snapshot.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace vx::test {

namespace fs = std::filesystem;

DirectorySnapshot DirectorySnapshot::Take(const fs::path& root) {
  DirectorySnapshot snapshot;
  std::error_code error;
  snapshot.exists = fs::is_directory(root, error);
  if (!snapshot.exists) return snapshot;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    SnapshotEntry entry;
    entry.directory = it->is_directory(error);
    if (!entry.directory) {
      entry.size = fs::file_size(path, error);
      std::ifstream in(path, std::ios::binary);
      entry.contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      entry.write_time = fs::last_write_time(path, error);
      entry.writable =
          (fs::status(path, error).permissions() & fs::perms::owner_write) != fs::perms::none;
    }
    snapshot.entries[fs::relative(path, root, error).generic_string()] = entry;
  }
  return snapshot;
}

std::string DirectorySnapshot::DifferencesFrom(const DirectorySnapshot& other) const {
  std::ostringstream out;
  if (exists != other.exists) {
    out << "the directory " << (exists ? "exists" : "is absent") << ", was "
        << (other.exists ? "present" : "absent") << "\n";
  }
  for (const auto& [name, entry] : entries) {
    auto found = other.entries.find(name);
    if (found == other.entries.end()) {
      out << "+ " << name << "\n";
      continue;
    }
    const SnapshotEntry& was = found->second;
    if (entry.directory != was.directory) out << "~ " << name << " kind\n";
    if (entry.size != was.size)
      out << "~ " << name << " size " << entry.size << " was " << was.size << "\n";
    if (entry.contents != was.contents) out << "~ " << name << " contents\n";
    if (entry.write_time != was.write_time) out << "~ " << name << " write time\n";
    if (entry.writable != was.writable) out << "~ " << name << " read-only\n";
  }
  for (const auto& [name, entry] : other.entries) {
    if (entries.count(name) == 0) out << "- " << name << "\n";
  }
  return out.str();
}

std::string DirectorySnapshot::Listing() const {
  std::ostringstream out;
  if (!exists) return "(no directory)\n";
  for (const auto& [name, entry] : entries) {
    if (entry.directory) {
      out << name << "/\n";
    } else {
      const std::time_t time = std::chrono::system_clock::to_time_t(
          std::chrono::time_point_cast<std::chrono::system_clock::duration>(
              std::chrono::file_clock::to_sys(entry.write_time)));
      char when[32] = "?";
      if (const std::tm* utc = std::gmtime(&time)) {
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", utc);
      }
      out << name << "  " << entry.size << " bytes  " << when
          << (entry.writable ? "" : "  read-only") << "\n";
    }
  }
  return out.str();
}

}  // namespace vx::test
