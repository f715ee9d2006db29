#include "setup/startup_rules.h"

#include <limits>

namespace vx {

namespace {

bool IsPathDelimiter(char c) {
  return c == '\\' || c == ':';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  for (size_t i = path.size(); i > 0; --i) {
    const char c = path[i - 1];
    if (c == '.') return path.substr(0, i - 1) + extension;
    if (IsPathDelimiter(c)) break;
  }
  return path + extension;
}

std::string ExtractFilePath(const std::string& path) {
  const size_t last = path.find_last_of("\\:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

int32_t ParseDiskNeededMB(const std::string& text) {
  constexpr int32_t kMissing = -1;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return kMissing;
  // One more than the largest magnitude, for the negative limit.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit =
        base == 16 ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return kMissing;
    value = value * base + digit;
    if (value > kLimit) return kMissing;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return kMissing;
  return static_cast<int32_t>(value);
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

int32_t BytesToMB(int64_t bytes) {
  if (bytes <= 0) return 0;
  constexpr int64_t kHalf = int64_t{1} << 19;
  int64_t mb = bytes >> 20;
  const int64_t rest = bytes & ((int64_t{1} << 20) - 1);
  if (rest > kHalf || (rest == kHalf && (mb & 1) != 0)) ++mb;
  if (mb > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(mb);
}

std::string FatalErrorText(const std::string& problem) {
  return "A fatal error has occurred while running Setup. Problem is:\r\n\r\n" + problem +
         "\r\n\r\n" + "Setup will be terminated";
}

std::string InstDirCaption(const std::string& inst_dir) {
  return "Install in directory: " + inst_dir;
}

std::string SpaceNeededCaption(int32_t needed_mb, char drive, int32_t free_mb) {
  return "Required disk space " + std::to_string(needed_mb) + " megabytes" + "\r\n" +
         "Available disk space on " + std::string(1, drive) + ": " + std::to_string(free_mb) +
         " megabytes";
}

std::string MemoText(const std::string& file_bytes) {
  std::string text;
  text.reserve(file_bytes.size() + file_bytes.size() / 32);
  for (size_t i = 0; i < file_bytes.size(); ++i) {
    const char c = file_bytes[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < file_bytes.size() && file_bytes[i + 1] == '\n') ++i;
      // A break after the last line ends it; it does not start an empty one.
      if (i + 1 < file_bytes.size()) text += "\r\n";
    } else {
      text += c == '\0' ? ' ' : c;
    }
  }
  return text;
}

}  // namespace vx
