// Environment variables through GetEnvironmentVariableA and friends.
#include "platform/environment.h"

#include "platform/win32/windows_api.h"

namespace vx::platform {

std::optional<std::string> GetEnvironmentVariable(const std::string& name) {
  std::string value(256, '\0');
  for (;;) {
    // A zero result means unset or empty; only the error code tells them apart.
    SetLastError(NO_ERROR);
    DWORD length =
        GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        win32::RecordLastError();
        return std::nullopt;
      }
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // too small: `length` includes the terminating zero
  }
}

bool SetEnvironmentVariable(const std::string& name, const std::string& value) {
  if (SetEnvironmentVariableA(name.c_str(), value.c_str())) return true;
  win32::RecordLastError();
  return false;
}

bool UnsetEnvironmentVariable(const std::string& name) {
  if (SetEnvironmentVariableA(name.c_str(), nullptr)) return true;
  win32::RecordLastError();
  return false;
}

std::vector<std::string> EnvironmentStrings() {
  std::vector<std::string> strings;
  char* block = GetEnvironmentStringsA();
  if (block == nullptr) {
    win32::RecordLastError();
    return strings;
  }
  // A sequence of zero-terminated strings, ended by an empty one.
  for (const char* entry = block; *entry != '\0'; entry += strings.back().size() + 1) {
    strings.emplace_back(entry);
  }
  FreeEnvironmentStringsA(block);
  return strings;
}

}  // namespace vx::platform
