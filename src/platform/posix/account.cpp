// Linux has no Administrators group: the nearest answer is whether the
// program runs as root. Files show their whole names.
#include "platform/account.h"

#include <unistd.h>

namespace vx::platform {

bool UserInAdministratorsGroup() {
  return geteuid() == 0;
}

std::optional<std::string> FileTitle(const std::string&) {
  return std::nullopt;  // no shell that would hide extensions
}

}  // namespace vx::platform
