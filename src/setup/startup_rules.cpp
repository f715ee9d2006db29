#include "setup/startup_rules.h"

#include <limits>

#include "archive/progress.h"
#include "platform/text.h"

namespace vx {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

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

int32_t BytesToMB(int64_t bytes) {
  if (bytes <= 0) return 0;
  const uint64_t mb = RoundHalfEven(static_cast<uint64_t>(bytes), uint64_t{1} << 20);
  if (mb > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
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
  // Lines end in CR LF, the last one in nothing; a NUL shows as a blank.
  std::string text;
  text.reserve(file_bytes.size() + file_bytes.size() / 32);
  bool first = true;
  for (std::string_view line : SplitLines(file_bytes)) {
    if (!first) text += "\r\n";
    first = false;
    for (char c : line) text += c == '\0' ? ' ' : c;
  }
  return text;
}

}  // namespace vx
