// The name and exact version of Windows as one line of text.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace vx {

// "Windows XP", "Windows 98", ...; "" for a version without a name.
std::string WindowsVersionName(uint32_t platform_id, uint32_t major, uint32_t minor);

// Name, " (NT." or " (9x.", major.minor.build, ") ", service pack; for a
// system that is not Windows the name and prefix are left out.
std::string WindowsVersionText(const platform::OsVersionInfo& version);

// The text for the running system; a failing version query raises EOSError.
std::string WindowsVersionText();

}  // namespace vx
