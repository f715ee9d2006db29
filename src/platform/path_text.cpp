#include "platform/path_text.h"

#include <cstdint>

namespace vx {

namespace {

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool HasDrivePrefix(const std::string& path) {
  return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':';
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// One past the last "\" or ":", or 0.
size_t AfterLastDelimiter(const std::string& path) {
  const size_t cut = path.find_last_of("\\:");
  return cut == std::string::npos ? 0 : cut + 1;
}

}  // namespace

bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string ToBackslashes(const std::string& name) {
  std::string result = name;
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
}

size_t PathRootLength(const std::string& path) {
  if (HasDrivePrefix(path)) return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // "\\server\share\": two components after the double separator.
    size_t i = 2;
    for (int32_t component = 0; component < 2; ++component) {
      while (i < path.size() && !IsPathSeparator(path[i])) ++i;
      if (i < path.size()) ++i;
    }
    return i;
  }
  if (!path.empty() && IsPathSeparator(path[0])) return 1;
  return 0;
}

std::string DropDriveOrShare(const std::string& path) {
  size_t start = 0;
  if (HasDrivePrefix(path)) {
    start = 2;
  } else if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    start = PathRootLength(path);
  } else {
    return path;
  }
  // What follows is relative to the drive or share, like the names it meets.
  while (start < path.size() && IsPathSeparator(path[start])) ++start;
  return path.substr(start);
}

std::string JoinPath(const std::string& dir, const std::string& rel) {
  std::string head = dir;
  if (!head.empty() && head.back() == '\\') head.pop_back();
  size_t skip = 0;
  while (skip < rel.size() && rel[skip] == '\\') ++skip;
  std::string tail = rel.substr(skip);
  if (head.size() == 2 && head[1] == ':') return head + tail;
  return head + "\\" + tail;
}

std::string AppendFileName(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (IsPathSeparator(dir.back())) return dir + name;
  return dir + '\\' + name;
}

std::string FileDirectory(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

std::string ExtractFilePath(const std::string& path) {
  return path.substr(0, AfterLastDelimiter(path));
}

std::string ExtractFileDir(const std::string& path) {
  size_t i = path.size();
  while (i > 0 && !IsPathSeparator(path[i - 1])) --i;
  if (i == 0) return "";
  // Keep the separator of a root ("C:\", "\").
  const size_t root = PathRootLength(path);
  if (i <= root) return path.substr(0, root);
  return path.substr(0, i - 1);
}

std::string FileNamePart(const std::string& path) {
  return path.substr(AfterLastDelimiter(path));
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const size_t dot = path.find_last_of(".\\/:");
  if (dot == std::string::npos || path[dot] != '.') return path + extension;
  return path.substr(0, dot) + extension;
}

std::string ReduceBackslashes(const std::string& path) {
  std::string result;
  result.reserve(path.size());
  size_t i = 0;
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\') {
    result = "\\\\";
    i = 2;  // path[2] is no backslash, so the pair stays whole
  }
  for (; i < path.size(); ++i) {
    if (path[i] == '\\' && !result.empty() && result.back() == '\\') continue;
    result += path[i];
  }
  return result;
}

std::string TrimBaseDirectory(const std::string& directory) {
  if (directory.size() > 1 && IsPathSeparator(directory.back()) &&
      directory[directory.size() - 2] != ':') {
    return directory.substr(0, directory.size() - 1);
  }
  return directory;
}

}  // namespace vx
