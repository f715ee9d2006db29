// The file functions built on the backend's own: the same on every system.
#include "platform/files.h"
#include "platform/path_text.h"

namespace vx::platform {

bool CreateDirs(const std::string& directory) {
  const size_t root = PathRootLength(directory);
  for (size_t i = root; i <= directory.size(); ++i) {
    if (i < directory.size() && !IsPathSeparator(directory[i])) continue;
    // A doubled separator names no new level.
    if (i == root || IsPathSeparator(directory[i - 1])) continue;
    const std::string level = directory.substr(0, i);
    if (DirectoryExists(level)) continue;
    // Another process may create the level meanwhile; that is no failure.
    if (!CreateDirectory(level) && !DirectoryExists(level)) return false;
  }
  return true;
}

std::string ReadWholeFile(const std::string& path) {
  auto file = TFileStream::OpenRead(path);
  std::string bytes(static_cast<size_t>(file->Size()), '\0');
  file->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

}  // namespace vx::platform
