// Linux has no registry: every key is absent and none can be created, so
// callers take their "cannot open" path.
#include "platform/registry.h"

#include "platform/files.h"
#include "platform/posix/posix_support.h"

namespace vx::platform {

std::optional<RegistryKey> RegistryKey::Open(RegistryRoot, const std::string&, RegistryAccess,
                                             bool) {
  posix::RecordError(kErrorFileNotFound);
  return std::nullopt;
}

bool RegistryKey::DeleteKey(RegistryRoot, const std::string&) {
  return false;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  handle_ = other.handle_;
  other.handle_ = 0;
  return *this;
}

RegistryKey::~RegistryKey() = default;

bool RegistryKey::ValueExists(const std::string&) const {
  return false;
}
std::optional<uint32_t> RegistryKey::ReadDword(const std::string&) const {
  return std::nullopt;
}
std::optional<std::string> RegistryKey::ReadString(const std::string&) const {
  return std::nullopt;
}
bool RegistryKey::WriteDword(const std::string&, uint32_t) {
  return false;
}
bool RegistryKey::WriteString(const std::string&, const std::string&) {
  return false;
}
bool RegistryKey::DeleteValue(const std::string&) {
  return false;
}

}  // namespace vx::platform
