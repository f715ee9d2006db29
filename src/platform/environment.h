// Environment variables in the Windows model: names are looked up without
// regard to case, values are ANSI text, and an unset variable is told apart
// from one set to the empty string.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

// The value of one variable; std::nullopt when it is not set.
std::optional<std::string> GetEnvironmentVariable(const std::string& name);

// Sets a variable for this process (and the programs it starts); false when
// the system refuses the name.
bool SetEnvironmentVariable(const std::string& name, const std::string& value);
bool UnsetEnvironmentVariable(const std::string& name);

// The whole environment block as "NAME=value" strings, in the order the
// operating system keeps them (on Windows this includes the hidden "=C:=..."
// entries that record the current directory of each drive).
std::vector<std::string> EnvironmentStrings();

}  // namespace vx::platform
