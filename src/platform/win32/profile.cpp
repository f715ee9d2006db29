// Profile files through GetPrivateProfileStringA.
#include "platform/profile.h"

#include "platform/win32/windows_api.h"

namespace vx::platform {

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& default_value,
                                    const std::string& file_name) {
  char buffer[kProfileValueLimit + 1];
  DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                          buffer, sizeof buffer, file_name.c_str());
  return std::string(buffer, length);
}

}  // namespace vx::platform
