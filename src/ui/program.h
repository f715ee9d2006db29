// The program's name and version, as its log, its boxes and its diagnostic
// report name them.
#pragma once

#include <string>

namespace vx {

constexpr const char* kProgramName = "Setup";
constexpr float kProgramVersion = 1.5f;

// The version with two decimals and a point, whatever the locale: 1.5 -> "1.50".
std::string FormatVersion(float version);

}  // namespace vx
