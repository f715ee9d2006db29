#include "platform/account.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32/windows_api.h"
// After <windows.h>, which they need.
#include <commdlg.h>

namespace vx::platform {

namespace {

// The token of the thread when it impersonates (opened with the process's
// own rights, so the impersonated user's lack of rights does not hide it),
// else the process's token; nullptr when neither can be opened.
HANDLE OpenEffectiveToken() {
  HANDLE token = nullptr;
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return token;
  if (::GetLastError() != ERROR_NO_TOKEN) return nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return token;
  return nullptr;
}

bool GroupsContainAdministrators(HANDLE token) {
  DWORD size = 0;
  if (::GetTokenInformation(token, TokenGroups, nullptr, 0, &size) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  void* buffer = std::malloc(size);
  if (buffer == nullptr) return false;
  bool found = false;
  if (::GetTokenInformation(token, TokenGroups, buffer, size, &size)) {
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (::AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                   DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
      const auto* groups = static_cast<const TOKEN_GROUPS*>(buffer);
      // Attributes are not looked at: a disabled or deny-only group counts.
      for (DWORD i = 0; i < groups->GroupCount && !found; ++i) {
        found = ::EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
      }
      ::FreeSid(administrators);
    }
  }
  std::free(buffer);
  return found;
}

}  // namespace

bool UserInAdministratorsGroup() {
  HANDLE token = OpenEffectiveToken();
  if (token == nullptr) return false;
  bool result = GroupsContainAdministrators(token);
  ::CloseHandle(token);
  return result;
}

std::optional<std::string> FileTitle(const std::string& path) {
  char title[MAX_PATH] = {};
  if (::GetFileTitleA(path.c_str(), title, sizeof title) != 0) return std::nullopt;
  return std::string(title, strnlen(title, sizeof title));
}

}  // namespace vx::platform
