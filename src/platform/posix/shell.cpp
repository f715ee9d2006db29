// Linux has no shell: no special folders, no shell link object and no
// version resources. Every question gets the answer "absent".
#include "platform/shell.h"

namespace vx::platform {

std::string SpecialFolderPath(int32_t) {
  return "";
}

bool SpecialFolderLocation(intptr_t, int32_t, std::string& path) {
  path.clear();
  return false;
}

ComApartment::ComApartment() = default;
ComApartment::~ComApartment() = default;

std::unique_ptr<ShellLink> CreateShellLink() {
  throw EComError("Class not registered", kClassNotRegistered);
}

std::string ShellLinkTarget(const std::string&) {
  return "";
}

VersionInfoResult ReadVersionString(const std::string&, const std::string&, std::string& value) {
  value.clear();
  return VersionInfoResult::vrCannotOpen;
}

std::string SystemDirectory() {
  return "";
}

}  // namespace vx::platform
