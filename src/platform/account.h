// The account the program runs under and how the shell presents its files.
#pragma once

#include <optional>
#include <string>

namespace vx::platform {

// Whether the access token the calling thread acts with (its own when it
// impersonates, else the process's) lists the Administrators group
// (S-1-5-32-544), whatever the group's attributes: a group held only for
// deny still counts. False when the token cannot be read. On Linux: whether
// the effective user is root.
bool UserInAdministratorsGroup();

// The title the shell shows for the file (without its extension when
// Explorer hides extensions); nullopt when the system reports an error. On
// Linux always nullopt.
std::optional<std::string> FileTitle(const std::string& path);

}  // namespace vx::platform
