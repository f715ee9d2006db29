#include "platform/registry.h"

#include "platform/win32/windows_api.h"

namespace vx::platform {

namespace {

HKEY Key(intptr_t handle) {
  return reinterpret_cast<HKEY>(handle);
}

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Key paths are relative to the root; a leading backslash only says so.
std::string RelativeKeyPath(const std::string& path) {
  size_t start = 0;
  while (start < path.size() && path[start] == '\\') ++start;
  return path.substr(start);
}

}  // namespace

std::optional<RegistryKey> RegistryKey::Open(RegistryRoot root, const std::string& path,
                                             RegistryAccess access, bool create) {
  HKEY root_key = RootKey(root);
  const std::string relative = RelativeKeyPath(path);
  REGSAM sam = access == RegistryAccess::kRead ? KEY_READ : KEY_READ | KEY_WRITE;
  HKEY opened = nullptr;
  LONG status;
  if (create) {
    status = ::RegCreateKeyExA(root_key, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam,
                               nullptr, &opened, nullptr);
  } else {
    status = ::RegOpenKeyExA(root_key, relative.c_str(), 0, sam, &opened);
  }
  if (status != ERROR_SUCCESS) {
    win32::RecordError(static_cast<uint32_t>(status));
    ::SetLastError(static_cast<DWORD>(status));  // after the record, which clears it
    return std::nullopt;
  }
  return RegistryKey(reinterpret_cast<intptr_t>(opened));
}

bool RegistryKey::DeleteKey(RegistryRoot root, const std::string& path) {
  const std::string relative = RelativeKeyPath(path);
  if (relative.empty()) return false;
  const LONG status = ::RegDeleteKeyA(RootKey(root), relative.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    if (handle_ != 0) ::RegCloseKey(Key(handle_));
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

RegistryKey::~RegistryKey() {
  if (handle_ != 0) ::RegCloseKey(Key(handle_));
}

bool RegistryKey::ValueExists(const std::string& name) const {
  return ::RegQueryValueExA(Key(handle_), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

std::optional<uint32_t> RegistryKey::ReadDword(const std::string& name) const {
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  LONG status = ::RegQueryValueExA(Key(handle_), name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value), &size);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
  return value;
}

std::optional<std::string> RegistryKey::ReadString(const std::string& name) const {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(Key(handle_), name.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  // One more byte than asked for: a value stored without its terminator.
  std::string value(size + 1, '\0');
  DWORD read = size;
  if (::RegQueryValueExA(Key(handle_), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(value.data()), &read) != ERROR_SUCCESS ||
      read > size) {
    return std::nullopt;
  }
  value.resize(read);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value;
}

bool RegistryKey::WriteDword(const std::string& name, uint32_t value) {
  DWORD data = value;
  return ::RegSetValueExA(Key(handle_), name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

bool RegistryKey::WriteString(const std::string& name, const std::string& value) {
  return ::RegSetValueExA(Key(handle_), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const std::string& name) {
  return ::RegDeleteValueA(Key(handle_), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace vx::platform
