#include "archive/name_rules.h"

#include <cstddef>

namespace vx {

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Delphi's Trim: every control character and blank at both ends.
std::string Trim(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

// Up to and including the last "\"; the file portion is the rest.
size_t FilePortionStart(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? 0 : slash + 1;
}

// A component that Windows would resolve to the directory itself or its
// parent once trailing dots and blanks are stripped ("", ".", "..", ". ").
bool IsDotComponent(const std::string& component) {
  for (char c : component) {
    if (c != '.' && c != ' ') return false;
  }
  return true;
}

}  // namespace

char AnsiUpperChar(char c) {
  auto b = static_cast<unsigned char>(c);
  if (b >= 'a' && b <= 'z') return static_cast<char>(b - 32);
  // Code page 1252: the accented lower-case letters sit 32 above their capitals
  // (except the division sign), and four letters have capitals elsewhere.
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 32);
  switch (b) {
    case 0x9A:
      return static_cast<char>(0x8A);  // s caron
    case 0x9C:
      return static_cast<char>(0x8C);  // oe
    case 0x9E:
      return static_cast<char>(0x8E);  // z caron
    case 0xFF:
      return static_cast<char>(0x9F);  // y diaeresis
    default:
      return c;
  }
}

std::string AnsiUpperCase(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) c = AnsiUpperChar(c);
  return upper;
}

bool AnsiSameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AnsiUpperChar(a[i]) != AnsiUpperChar(b[i])) return false;
  }
  return true;
}

std::string ToBackslashes(const std::string& name) {
  std::string result = name;
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
}

size_t PathRootLength(const std::string& path) {
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // "\\server\share\": two components after the double separator.
    size_t i = 2;
    for (int32_t component = 0; component < 2; ++component) {
      while (i < path.size() && !IsSeparator(path[i])) ++i;
      if (i < path.size()) ++i;
    }
    return i;
  }
  if (!path.empty() && IsSeparator(path[0])) return 1;
  return 0;
}

std::string DropDriveOrShare(const std::string& path) {
  size_t start = 0;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    start = 2;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    start = PathRootLength(path);
  } else {
    return path;
  }
  // What follows is relative to the drive or share, like the names it meets.
  while (start < path.size() && IsSeparator(path[start])) ++start;
  return path.substr(start);
}

bool PatternMatch(const std::string& name, const std::string& pattern) {
  if (name.empty()) return pattern.empty();
  if (pattern == "*" || pattern == "*.*") return true;
  // Greedy scan that returns to the latest "*" on a mismatch: the same answer
  // as trying every continuation point in turn, in time n*m at worst.
  size_t n = 0;
  size_t p = 0;
  size_t star = std::string::npos;
  size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_name = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MatchMask(const std::string& item_name, const std::string& masks) {
  const std::string name = AnsiUpperCase(ToBackslashes(item_name));
  const size_t name_split = FilePortionStart(name);
  const std::string name_dir = name.substr(0, name_split);
  const std::string name_file = name.substr(name_split);

  size_t start = 0;
  while (start <= masks.size()) {
    size_t end = masks.find(';', start);
    if (end == std::string::npos) end = masks.size();
    std::string part = Trim(masks.substr(start, end - start));
    start = end + 1;
    if (part.empty()) continue;

    part = AnsiUpperCase(DropDriveOrShare(ToBackslashes(part)));
    const size_t part_split = FilePortionStart(part);
    const std::string part_dir = part.substr(0, part_split);
    if (!part_dir.empty() && !PatternMatch(name_dir, part_dir)) continue;
    if (PatternMatch(name_file, part.substr(part_split))) return true;
  }
  return false;
}

std::string SafeRelativePath(const std::string& name, bool restore_path) {
  // Names are zero-terminated strings to every file function: whatever
  // follows a NUL byte would never reach the file system.
  std::string path = ToBackslashes(name.substr(0, name.find('\0')));
  if (path.empty() || path.back() == '\\') return "";
  if (!restore_path) path = path.substr(FilePortionStart(path));

  // Peel roots until none is left: "\\server\share\", "C:", "\". An index
  // moves forward instead of erasing, so a long run of prefixes stays linear.
  size_t start = 0;
  for (;;) {
    size_t separators = 0;
    while (start + separators < path.size() && path[start + separators] == '\\') ++separators;
    if (separators == 2) {
      // A server and a share name follow.
      start += 2;
      for (int32_t component = 0; component < 2; ++component) {
        while (start < path.size() && path[start] != '\\') ++start;
        if (start < path.size()) ++start;
      }
    } else if (separators > 0) {
      start += separators;
    } else if (path.size() - start >= 2 && IsDriveLetter(path[start]) && path[start + 1] == ':') {
      start += 2;
    } else {
      break;
    }
  }

  std::string result;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(start, end - start);
    start = end + 1;
    if (IsDotComponent(component)) continue;
    // A drive prefix inside the path ("a\C:x") would make the rest drive
    // relative on Windows.
    if (component.size() >= 2 && IsDriveLetter(component[0]) && component[1] == ':') {
      component.erase(0, 2);
      if (IsDotComponent(component)) continue;
    }
    if (!result.empty()) result += '\\';
    result += component;
  }
  return result;
}

std::string TrimBaseDirectory(const std::string& directory) {
  if (directory.size() > 1 && IsSeparator(directory.back()) &&
      directory[directory.size() - 2] != ':') {
    return directory.substr(0, directory.size() - 1);
  }
  return directory;
}

std::string JoinItemPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (IsSeparator(directory.back())) return directory + name;
  return directory + '\\' + name;
}

std::string ExtractFileDir(const std::string& path) {
  size_t i = path.size();
  while (i > 0 && !IsSeparator(path[i - 1])) --i;
  if (i == 0) return "";
  // Keep the separator of a root ("C:\", "\").
  size_t root = PathRootLength(path);
  if (i <= root) return path.substr(0, root);
  return path.substr(0, i - 1);
}

uint8_t Percent(int32_t done, int32_t total) {
  if (total > 16384000) {
    done = static_cast<int32_t>((static_cast<uint32_t>(done) + 128u) / 256u);
    total = static_cast<int32_t>((static_cast<uint32_t>(total) + 128u) / 256u);
  }
  if (total <= 0 || done <= 0) return 0;
  if (done < total) return static_cast<uint8_t>(static_cast<int64_t>(done) * 100 / total);
  return 100;
}

}  // namespace vx
