// The Windows registry: open or create a key, read and write its values,
// delete a key. The Linux backend has no registry: every key is absent and
// cannot be created or deleted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx::platform {

enum class RegistryRoot { kCurrentUser, kLocalMachine };
enum class RegistryAccess { kRead, kReadWrite };

// An open registry key, closed when the object dies.
class RegistryKey {
 public:
  // Opens `path` under `root` (a leading backslash is allowed); with
  // `create`, a missing key is created. nullopt when it cannot be opened.
  static std::optional<RegistryKey> Open(RegistryRoot root, const std::string& path,
                                         RegistryAccess access, bool create);
  // Deletes the key `path` under `root`, which must have no subkeys; true
  // when it is gone (or was never there).
  static bool DeleteKey(RegistryRoot root, const std::string& path);

  RegistryKey(RegistryKey&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey();

  bool ValueExists(const std::string& name) const;
  // The value when it exists and is a REG_DWORD; nullopt otherwise.
  std::optional<uint32_t> ReadDword(const std::string& name) const;
  // The value when it exists and is a REG_SZ or REG_EXPAND_SZ (unexpanded);
  // nullopt otherwise.
  std::optional<std::string> ReadString(const std::string& name) const;
  bool WriteDword(const std::string& name, uint32_t value);
  bool WriteString(const std::string& name, const std::string& value);
  bool DeleteValue(const std::string& name);

 private:
  explicit RegistryKey(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;  // HKEY
};

}  // namespace vx::platform
