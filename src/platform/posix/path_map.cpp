// The drive table and the translation between Windows-model paths and Linux
// paths; also the two files.h functions that are pure path arithmetic on top
// of it (current directory and full path).
#include "platform/posix/path_map.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/posix/posix_support.h"
#include "platform/text.h"

namespace vx::platform {

namespace fs = std::filesystem;

namespace {

struct DriveState {
  std::mutex mutex;
  bool loaded = false;
  DriveTable table;
};

DriveState& State() {
  static DriveState state;
  return state;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

char DriveLetter(const std::string& path) {
  return AsciiUpper(path[0]);
}

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

std::string CleanDirectory(const std::string& directory) {
  std::error_code ignored;
  fs::path path = fs::absolute(fs::path(directory), ignored).lexically_normal();
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

// The parts of a path split at either separator, with "." dropped and ".."
// taking back the part before it; like Windows, never above the start.
std::vector<std::string> Components(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    std::string part = text.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  return parts;
}

std::string JoinComponents(std::string base, const std::vector<std::string>& parts,
                           char separator) {
  for (const std::string& part : parts) {
    if (base.empty() || base.back() != separator) base += separator;
    base += part;
  }
  return base;
}

bool EndsInSeparator(const std::string& path) {
  return !path.empty() && IsSeparator(path.back());
}

std::string HostCurrentDirectory() {
  std::error_code error;
  fs::path current = fs::current_path(error);
  return error ? std::string() : current.string();
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

DriveTable ParseDriveMap(const std::string& text) {
  DriveTable table;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = Trim(text.substr(start, end - start));
    start = end + 1;
    if (entry.size() < 3 || !std::isalpha(static_cast<unsigned char>(entry[0]))) continue;
    size_t equals = entry[1] == ':' ? 2 : 1;
    if (entry[equals] != '=') continue;
    std::string directory = Trim(entry.substr(equals + 1));
    if (directory.empty()) continue;
    table[DriveLetter(entry)] = CleanDirectory(directory);
  }
  return table;
}

DriveTable DriveMap() {
  DriveState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.loaded) {
    const char* drives = std::getenv("VX_DRIVES");
    state.table = ParseDriveMap(drives != nullptr ? drives : "");
    state.loaded = true;
  }
  return state.table;
}

void SetDriveMap(const DriveTable& table) {
  DriveTable cleaned;
  for (const auto& [letter, directory] : table) {
    if (!std::isalpha(static_cast<unsigned char>(letter)) || directory.empty()) continue;
    cleaned[AsciiUpper(letter)] = CleanDirectory(directory);
  }
  DriveState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.table = std::move(cleaned);
  state.loaded = true;
}

std::optional<std::string> ToHostPath(const std::string& path) {
  if (HasDriveLetter(path)) {
    const char letter = DriveLetter(path);
    DriveTable table = DriveMap();
    auto drive = table.find(letter);
    if (drive == table.end()) return std::nullopt;
    std::string rest = path.substr(2);
    std::vector<std::string> parts;
    if (!rest.empty() && IsSeparator(rest[0])) {
      parts = Components(rest);
    } else {
      // "X:name" is relative to the current directory when that is on drive X.
      std::string current = FromHostPath(HostCurrentDirectory());
      if (HasDriveLetter(current) && DriveLetter(current) == letter) {
        parts = Components(current.substr(2) + "\\" + rest);
      } else {
        parts = Components(rest);
      }
    }
    std::string host = JoinComponents(drive->second, parts, '/');
    if (EndsInSeparator(path) && !parts.empty()) host += '/';
    return host;
  }
  if (path.size() >= 2 && path[0] == '\\' && IsSeparator(path[1])) return std::nullopt;
  if (!path.empty() && path[0] == '\\') {
    // The root of the current drive, as Windows reads it.
    std::string current = FromHostPath(HostCurrentDirectory());
    if (HasDriveLetter(current)) return ToHostPath(current.substr(0, 2) + path);
  }
  std::string host = path;
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

std::string FromHostPath(const std::string& host_path) {
  if (host_path.empty() || host_path[0] != '/') return host_path;
  std::string normal = fs::path(host_path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  char best_letter = 0;
  size_t best_length = 0;
  for (const auto& [letter, root] : DriveMap()) {
    for (const std::string& candidate : {root, RealPath(root)}) {
      size_t length = 0;
      if (candidate == "/") {
        length = 1;
      } else if (normal.compare(0, candidate.size(), candidate) == 0 &&
                 (normal.size() == candidate.size() || normal[candidate.size()] == '/')) {
        length = candidate.size() + 1;
      }
      if (length > best_length) {
        best_length = length;
        best_letter = letter;
      }
    }
  }
  if (best_letter == 0) return host_path;
  std::string result = std::string(1, best_letter) + ":\\";
  if (best_length <= normal.size()) result += normal.substr(best_length);
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
}

std::string GetCurrentDirectory() {
  std::string host = HostCurrentDirectory();
  if (host.empty()) {
    posix::RecordError(posix::WindowsError(errno));
    return {};
  }
  return FromHostPath(host);
}

bool SetCurrentDirectory(const std::string& path) {
  std::optional<std::string> host = ToHostPath(path);
  if (!host) {
    posix::RecordError(kErrorPathNotFound);
    return false;
  }
  if (chdir(host->c_str()) != 0) return posix::FailFromErrno(*host);
  return true;
}

std::string FullPathName(const std::string& path) {
  if (path.empty()) {
    posix::RecordError(kErrorPathNotFound);
    return {};
  }
  const bool trailing = EndsInSeparator(path);
  std::string current = GetCurrentDirectory();
  std::string drive;  // "X:" when the result is in the drive form
  std::vector<std::string> parts;
  if (HasDriveLetter(path)) {
    drive = path.substr(0, 2);
    std::string rest = path.substr(2);
    if (!rest.empty() && IsSeparator(rest[0])) {
      parts = Components(rest);
    } else if (HasDriveLetter(current) && DriveLetter(current) == DriveLetter(path)) {
      parts = Components(current.substr(2) + "\\" + rest);
    } else {
      parts = Components(rest);
    }
  } else if (path.size() >= 2 && path[0] == '\\' && IsSeparator(path[1])) {
    // A network path: only the part after server and share is resolved.
    std::vector<std::string> all = Components(path);
    if (all.size() < 2) return path;
    std::string share = "\\\\" + all[0] + "\\" + all[1];
    parts = Components(path.substr(share.size()));
    std::string result = JoinComponents(share, parts, '\\');
    if (trailing && !parts.empty()) result += '\\';
    return result;
  } else if (HasDriveLetter(current) && path[0] != '/') {
    drive = current.substr(0, 2);
    parts = path[0] == '\\' ? Components(path) : Components(current.substr(2) + "\\" + path);
  } else {
    // A Linux path, or a relative one while the current directory is on no drive.
    std::string joined = path;
    for (char& c : joined) {
      if (c == '\\') c = '/';
    }
    if (joined[0] != '/') joined = HostCurrentDirectory() + "/" + joined;
    std::string mapped = FromHostPath(JoinComponents("/", Components(joined), '/'));
    if (trailing && !EndsInSeparator(mapped)) mapped += HasDriveLetter(mapped) ? '\\' : '/';
    return mapped;
  }
  std::string result = JoinComponents(drive + "\\", parts, '\\');
  if (trailing && !parts.empty()) result += '\\';
  return result;
}

}  // namespace vx::platform
