#include "ui/program.h"

#include <charconv>

namespace vx {

std::string FormatVersion(float version) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, version, std::chars_format::fixed, 2);
  return std::string(buffer, result.ptr);
}

}  // namespace vx
