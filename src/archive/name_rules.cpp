#include "archive/name_rules.h"

#include <cstddef>

namespace vx {

namespace {

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
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
    std::string part = TrimBlanks(masks.substr(start, end - start));
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

}  // namespace vx
