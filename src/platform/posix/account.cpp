// Linux has no Administrators group: the nearest answer is whether the
// program runs as root. Files show their whole names.
#include "platform/account.h"

#include <unistd.h>

namespace vx::platform {

bool UserInAdministratorsGroup() {
  return geteuid() == 0;
}

std::optional<std::string> FileTitle(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  std::string title = cut == std::string::npos ? path : path.substr(cut + 1);
  if (title.empty()) return std::nullopt;
  return title;
}

}  // namespace vx::platform
