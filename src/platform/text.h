// Text helpers every layer shares: lines and ASCII case. ASCII only on
// purpose: switches, drive letters, section names and file signatures are
// compared the same way in every code page and locale.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vx {

constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);

// Equal but for the case of the ASCII letters.
bool AsciiSameText(std::string_view a, std::string_view b);

// The lines of a text: CR LF, CR and LF each end one. A last line without a
// break counts; a break at the very end does not start an empty line, so
// "" has no lines and "a\r\n" has one. The views point into `text`.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace vx
