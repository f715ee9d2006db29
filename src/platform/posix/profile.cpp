// The profile-file reader on Linux, giving the answers Windows gives: lines
// end in CR LF, LF or CR; "[name]" starts a section (the name runs to the last
// "]" of the line); "key=value" lines belong to the section above them; other
// lines are ignored. Blanks here are space, tab, line feed, vertical tab, form
// feed, carriage return and Ctrl-Z.
#include "platform/profile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "platform/files.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_support.h"
#include "platform/text.h"

namespace vx::platform {

namespace {

constexpr const char* kBlanks = " \t\n\v\f\r\x1a";

std::string_view Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(kBlanks);
  return text.substr(begin, end - begin + 1);
}

std::string TrimRight(const std::string& text) {
  size_t end = text.find_last_not_of(kBlanks);
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string Limited(std::string_view text) {
  return std::string(text.substr(0, std::min(text.size(), kProfileValueLimit)));
}

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 mark
  bool in_section = false;
  bool section_seen = false;
  for (std::string_view raw_line : SplitLines(text)) {
    std::string_view line = Trim(raw_line);
    if (!line.empty() && line[0] == '[') {
      size_t close = line.rfind(']');
      if (close != std::string_view::npos && close > 0) {
        // Only the first section of a name counts.
        if (section_seen) return std::nullopt;
        in_section = AsciiSameText(Trim(line.substr(1, close - 1)), section);
        section_seen = in_section;
        continue;
      }
    }
    if (!in_section) continue;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos || !AsciiSameText(Trim(line.substr(0, equals)), key)) {
      continue;
    }
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    return Limited(value);
  }
  return std::nullopt;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& default_value,
                                    const std::string& file_name) {
  std::string fallback = Limited(TrimRight(default_value));
  std::optional<std::string> host = ToHostPath(file_name);
  if (!host) {
    posix::RecordError(kErrorPathNotFound);
    return fallback;
  }
  std::ifstream file(*host, std::ios::binary);
  if (!file) {
    posix::FailFromErrno(*host);
    return fallback;
  }
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::optional<std::string> value = FindValue(text, Trim(section), Trim(key));
  if (!value) {
    posix::RecordError(kErrorFileNotFound);
    return fallback;
  }
  return *value;
}

}  // namespace vx::platform
