// The shell's special folders (CSIDL numbers). Linux has none of them.
#pragma once

#include <cstdint>
#include <string>

namespace vx::platform {

constexpr int32_t kCsidlPersonal = 5;  // the user's documents
constexpr int32_t kCsidlAppData = 26;  // the user's application data

// The file-system path of a special folder; "" when the shell has none.
std::string SpecialFolderPath(int32_t csidl);

}  // namespace vx::platform
